#include "HandlerRegistry.h"

#include <algorithm>

#include "veltcore/Strings.h"

namespace xmpfiles {

namespace {

std::vector<std::unique_ptr<FileHandler>> MakeAll() {
  // Adding a handler: declare its factory in HandlerRegistry.h and list it here. Order
  // matters only between handlers that accept the same bytes: the raw variants of TIFF
  // (decided by extension) come before plain TIFF.
  using Factory = std::unique_ptr<FileHandler> (*)();
  const Factory factories[] = {
      &MakeJpegHandler,      &MakePngHandler,     &MakeGifHandler,      &MakeDngHandler,
      &MakeCameraRawHandler, &MakeTiffHandler,    &MakeIsoMediaHandler, &MakeRiffHandler,
      &MakeMp3Handler,       &MakeSidecarHandler, &MakePsdHandler,      &MakeAiffHandler,
      &MakeWebPHandler,      &MakeHeifHandler,    &MakeAvifHandler,
  };
  std::vector<std::unique_ptr<FileHandler>> all;
  for (Factory f : factories)
    all.push_back(f());
  return all;
}

bool HasExtension(const FileHandler& h, std::string_view ext) {
  if (ext.empty()) return false;
  auto exts = h.Extensions();
  return std::find(exts.begin(), exts.end(), ext) != exts.end();
}

}  // namespace

const std::vector<std::unique_ptr<FileHandler>>& Handlers() {
  static const std::vector<std::unique_ptr<FileHandler>> sHandlers = MakeAll();
  return sHandlers;
}

const FileHandler& ScanningHandler() {
  static const std::unique_ptr<FileHandler> sScanner = MakeScanningHandler();
  return *sScanner;
}

const FileHandler* FindHandler(std::uint32_t format) {
  for (const auto& h : Handlers()) {
    if (h->Serves(format)) return h.get();
  }
  return nullptr;
}

std::string LowerExtension(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return veltcore::string::ToLowerAscii(name.substr(dot + 1));
}

const FileHandler* DetectHandler(Storage& file, std::string_view extension, std::uint32_t format,
                                 std::uint32_t openFlags) {
  std::uint8_t buffer[kDetectBytes];
  const std::span<const std::uint8_t> head(buffer, file.ReadSome(0, buffer, kDetectBytes));
  const std::uint64_t size = file.Size();

  auto accepts = [&](const FileHandler& h) { return h.CheckFormat(head, extension, size); };

  if (openFlags & kOpenForceGivenHandler) {
    const FileHandler* h = FindHandler(format);
    return (h != nullptr && accepts(*h)) ? h : nullptr;
  }
  if (format != kFormatUnknown) {
    const FileHandler* h = FindHandler(format);
    if (h != nullptr && accepts(*h)) return h;
  }
  for (const auto& h : Handlers()) {
    if (HasExtension(*h, extension) && accepts(*h)) return h.get();
  }
  for (const auto& h : Handlers()) {
    if (!HasExtension(*h, extension) && accepts(*h)) return h.get();
  }
  const FileHandler& scanner = ScanningHandler();
  if (openFlags & (kOpenUsePacketScanning | kOpenLimitedScanning)) return &scanner;
  return nullptr;
}

}  // namespace xmpfiles
