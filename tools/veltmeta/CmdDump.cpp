// veltmeta dump FILE...: for each file, the detected format and every leaf of its XMP, as a
// JSON array with one object per file: {"file", "format" (four-character code), "xmp"
// ([namespace URI, XMP path, value] per leaf, in document order)}. A file that cannot be read
// gets a one-line error on stderr; the others are still dumped, and the exit status is 1.
// Warnings about recoveries made while reading (a legacy chunk read, a duplicate packet
// ignored) go to stderr, one a line; they do not change the exit status.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Warnings.h"

namespace {

std::string FormatCode(XMP_FileFormat format) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<char>(format >> (24 - 8 * i));
  return s;
}

// The JSON object of one file; throws XMP_Error when the file cannot be read.
std::string DumpFile(const std::string& path) {
  SXMPFiles file(path, kXMP_UnknownFile, kXMPFiles_OpenForRead | kXMPFiles_OpenUsePacketScanning);
  XMP_FileFormat format = kXMP_UnknownFile;
  file.GetFileInfo(nullptr, nullptr, &format);
  SXMPMeta meta;
  std::string leaves;
  if (file.GetXMP(&meta)) {
    SXMPIterator it(meta, kXMP_IterJustLeafNodes);
    std::string ns, xpath, value;
    XMP_OptionBits options = 0;
    while (it.Next(&ns, &xpath, &value, &options)) {
      if (options & kXMP_SchemaNode) continue;
      leaves += (leaves.empty() ? "\n    [" : ",\n    [") + veltmeta::JsonString(ns) + ", " +
                veltmeta::JsonString(xpath) + ", " + veltmeta::JsonString(value) + "]";
    }
  }
  file.CloseFile();
  return "  {\"file\": " + veltmeta::JsonString(path) +
         ", \"format\": " + veltmeta::JsonString(FormatCode(format)) + ", \"xmp\": [" + leaves +
         (leaves.empty() ? "]}" : "\n  ]}");
}

void Progress(std::size_t done, std::size_t total) {
  const int width = 30;
  int filled = static_cast<int>(width * done / total);
  std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled,
               "==============================", width - filled, "", done, total);
  if (done == total) std::fprintf(stderr, "\n");
  std::fflush(stderr);
}

int RunDump(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: veltmeta dump FILE...\n");
    return 2;
  }
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  const bool bar = args.size() > 1 && ::isatty(STDERR_FILENO);
  int status = 0;
  bool first = true;
  XMP_WarningScope warnings([bar](const std::string& message) {
    if (bar) std::fprintf(stderr, "\n");
    std::fprintf(stderr, "veltmeta dump: warning: %s\n", message.c_str());
  });
  std::printf("[");
  for (std::size_t i = 0; i < args.size(); ++i) {
    try {
      std::string object = DumpFile(args[i]);
      std::printf("%s\n%s", first ? "" : ",", object.c_str());
      first = false;
    } catch (const XMP_Error& e) {
      if (bar) std::fprintf(stderr, "\n");
      std::fprintf(stderr, "veltmeta dump: cannot read '%s': %s\n", args[i].c_str(), e.GetErrMsg());
      status = 1;
    }
    if (bar) Progress(i + 1, args.size());
  }
  std::printf("%s]\n", first ? "" : "\n");
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
  return status;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"dump", "dump FILE...", "print the format and every XMP leaf of media files as JSON",
     &RunDump}};
