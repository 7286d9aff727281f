#include "xmp/SXMPFiles.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "FileHandler.h"
#include "HandlerRegistry.h"
#include "PacketCleanup.h"
#include "XMPMetaObject.h"
#include "io/Storage.h"
#include "xmp/SXMPUtils.h"
#include "xmp/XMP_Warnings.h"

namespace {

using namespace xmpfiles;

std::atomic<int> sInitCount{0};

enum class Access { kReading, kWriting };

XMP_ErrorID ToErrorId(ErrorKind kind, Access access) {
  switch (kind) {
    case ErrorKind::kBadFormat:
      return kXMPErr_BadFileFormat;
    case ErrorKind::kIO:
      return access == Access::kWriting ? kXMPErr_WriteError : kXMPErr_ReadError;
    case ErrorKind::kUnsupported:
      return kXMPErr_Unavailable;
    case ErrorKind::kBadParam:
      return kXMPErr_BadParam;
  }
  return kXMPErr_Unknown;
}

[[noreturn]] void Rethrow(const FileError& e, const std::string& path, Access access) {
  throw XMP_Error(ToErrorId(e.Kind(), access), "'" + path + "': " + e.what());
}

// Checks what the OS says about the path before opening, for precise errors.
void CheckOpenable(const std::string& path, [[maybe_unused]] bool update) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw XMP_Error(kXMPErr_NoFile, "file '" + path + "' does not exist");
    }
    throw XMP_Error(kXMPErr_FilePermission,
                    "cannot access '" + path + "': " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) throw XMP_Error(kXMPErr_FilePermission, "'" + path + "' is a folder");
  if (!S_ISREG(st.st_mode))
    throw XMP_Error(kXMPErr_FilePermission, "'" + path + "' is not a regular file");
}

}  // namespace

struct SXMPFiles::Impl {
  std::string mPath;
  XMP_OptionBits mOpenFlags = 0;
  XMP_FileFormat mFormat = kXMP_UnknownFile;
  const FileHandler* mHandler = nullptr;
  std::unique_ptr<Storage> mStorage;
  bool mLoaded = false;
  std::optional<FoundPacket> mFound;
  // The file's XMP as UTF-8 packets ready for the parser; both empty when there is none.
  // Each is a part of the packet in mFound as stored when that needs no change (no copy of
  // a large packet), else the converted text held beside it.
  std::string_view mStandard;
  std::string_view mExtended;
  std::string mStandardText;
  std::string mExtendedText;
  // Why the file's XMP cannot be read; set when reading failed.
  std::optional<XMP_Error> mUnreadable;
  bool mParsed = false;  // the packets were parsed once without error
  std::optional<std::string> mNewPacket;

  // Reads and decodes the packet once. Warnings raised meanwhile reach the caller's scope,
  // prefixed with the file's path.
  void Load() {
    if (mLoaded) return;
    mLoaded = true;
    std::vector<std::string> warnings;
    {
      XMP_WarningScope scope([&](const std::string& m) { warnings.push_back(m); });
      try {
        Decode();
      } catch (const FileError& e) {
        mUnreadable =
            XMP_Error(ToErrorId(e.Kind(), Access::kReading), "'" + mPath + "': " + e.what());
      } catch (const XMP_Error& e) {
        mUnreadable = XMP_Error(e.GetID(), "'" + mPath + "': " + e.GetErrMsg());
      }
    }
    for (const std::string& w : warnings)
      XMP_ReportWarning("'" + mPath + "': " + w);
  }

  void Decode() {
    mFound = mHandler->Read(*mStorage);
    if (!mFound) return;
    if (!mFound->mUnreadablePart.empty()) {
      XMP_ReportWarning(mFound->mUnreadablePart + "; it is left out, and an update is refused");
    }
    if (IsBlankBlock(mFound->mPacket)) {
      XMP_ReportWarning("the " + std::string(mHandler->Name()) +
                        " XMP block holds no packet, only padding; read as no XMP");
      return;
    }
    mStandard = Prepare(mFound->mPacket, mStandardText);
    if (mStandard.empty()) {
      throw XMP_Error(kXMPErr_BadXMP, "the " + std::string(mHandler->Name()) + " XMP block of " +
                                          std::to_string(mFound->mPacket.size()) +
                                          " bytes holds no XMP packet");
    }
    if (!mFound->mExtended.empty()) mExtended = Prepare(mFound->mExtended, mExtendedText);
  }

  // CleanPacket(ToUtf8Packet(raw)): a part of `raw` when neither changes a byte, else the
  // new text, kept in `owned`.
  static std::string_view Prepare(std::string_view raw, std::string& owned) {
    if (!IsUtf8Packet(raw)) {
      owned = ToUtf8Packet(raw);
      raw = owned;
    }
    if (std::optional<std::string_view> part = CleanPacketView(raw)) return *part;
    owned = CleanPacket(raw);
    return owned;
  }

  // Parses the packets into `meta` (erased first); the extended part completes the standard
  // packet: its properties win where both have one, and the pointer to it is dropped. The
  // large extended part is parsed in place and the small standard packet merged into it.
  // Decode has prepared both packets already, so the parser does not prepare them again.
  void Parse(SXMPMeta& meta) {
    try {
      if (mExtended.empty()) {
        xmpcore::ParseDecodedPacket(meta, mStandard);
      } else {
        xmpcore::ParseDecodedPacket(meta, mExtended);
        SXMPMeta standard;
        xmpcore::ParseDecodedPacket(standard, mStandard);
        SXMPUtils::ApplyTemplate(&meta, standard, kXMPTemplate_AddNewProperties);
        meta.DeleteProperty(kXMP_NS_XMP_Note, "xmpNote:HasExtendedXMP");
      }
    } catch (const XMP_Error& e) {
      mUnreadable =
          XMP_Error(e.GetID(), "'" + mPath + "': the XMP packet cannot be read: " + e.GetErrMsg());
      throw *mUnreadable;
    }
    mParsed = true;
  }

  // Raises the reason when the file's XMP, or part of it, cannot be read.
  void RequireReadable() {
    Load();
    if (mUnreadable) throw *mUnreadable;
    if (mFound && !mFound->mUnreadablePart.empty()) {
      throw XMP_Error(kXMPErr_BadFileFormat, "'" + mPath + "': " + mFound->mUnreadablePart);
    }
    if (!mParsed && !mStandard.empty()) {
      SXMPMeta scratch;
      Parse(scratch);
    }
  }
};

// ---- Process-wide ----

bool SXMPFiles::Initialize(XMP_OptionBits options, const char* pluginFolder) {
  if (options != 0) throw XMP_Error(kXMPErr_BadOptions, "SXMPFiles::Initialize takes no options");
  (void)pluginFolder;  // every handler is built in
  ++sInitCount;
  (void)Handlers();
  return true;
}

void SXMPFiles::Terminate() {
  int n = sInitCount.load();
  while (n > 0 && !sInitCount.compare_exchange_weak(n, n - 1)) {
  }
}

void SXMPFiles::GetVersionInfo(XMP_VersionInfo* info) {
  if (info == nullptr) return;
  *info = XMP_VersionInfo{};
  info->major = VELT_VERSION_MAJOR;
  info->minor = VELT_VERSION_MINOR;
  info->micro = VELT_VERSION_PATCH;
  info->message = "veltmetadata XMP Files " VELT_VERSION;
}

bool SXMPFiles::GetFormatInfo(XMP_FileFormat format, XMP_OptionBits* handlerFlags) {
  const FileHandler* h = FindHandler(format);
  if (h == nullptr) return false;
  if (handlerFlags != nullptr) *handlerFlags = h->Flags();
  return true;
}

XMP_FileFormat SXMPFiles::CheckFileFormat(const std::string& filePath) {
  try {
    DiskStorage file(filePath, false);
    std::string ext = LowerExtension(filePath);
    const FileHandler* h =
        DetectHandler(file, ext, kXMP_UnknownFile, kXMPFiles_OpenUseSmartHandler);
    return h == nullptr ? kXMP_UnknownFile : h->FormatOf(ext);
  } catch (const std::exception&) {
    return kXMP_UnknownFile;
  }
}

bool SXMPFiles::GetAssociatedResources(const std::string& filePath,
                                       std::vector<std::string>* resources, XMP_FileFormat format,
                                       XMP_OptionBits options) {
  if (resources == nullptr)
    throw XMP_Error(kXMPErr_BadParam, "GetAssociatedResources: no output list");
  std::error_code ec;
  if (!std::filesystem::is_regular_file(filePath, ec)) return false;
  if (format == kXMP_UnknownFile) {
    format = CheckFileFormat(filePath);
    if (format == kXMP_UnknownFile) return false;
  } else if (FindHandler(format) == nullptr) {
    return false;
  }
  (void)options;
  resources->push_back(filePath);
  if (format == kXMP_StandaloneXMPFile) return true;
  std::filesystem::path sidecar(filePath);
  for (const char* ext : {".xmp", ".XMP"}) {
    sidecar.replace_extension(ext);
    if (sidecar.string() != filePath && std::filesystem::is_regular_file(sidecar, ec)) {
      resources->push_back(sidecar.string());
      break;
    }
  }
  return true;
}

// ---- One file ----

SXMPFiles::SXMPFiles() = default;

SXMPFiles::SXMPFiles(const std::string& filePath, XMP_FileFormat format, XMP_OptionBits openFlags) {
  if (!OpenFile(filePath, format, openFlags)) {
    throw XMP_Error(kXMPErr_NoFileHandler, "OpenFile returned false");
  }
}

SXMPFiles::SXMPFiles(const char* filePath, XMP_FileFormat format, XMP_OptionBits openFlags)
    : SXMPFiles(std::string(filePath == nullptr ? "" : filePath), format, openFlags) {}

SXMPFiles::~SXMPFiles() = default;

bool SXMPFiles::OpenFile(const std::string& filePath, XMP_FileFormat format,
                         XMP_OptionBits openFlags) {
  if (mImpl) throw XMP_Error(kXMPErr_BadObject, "SXMPFiles already has a file open");
  if (filePath.empty()) throw XMP_Error(kXMPErr_BadParam, "OpenFile: empty file path");
  const bool update = (openFlags & kXMPFiles_OpenForUpdate) != 0;
  CheckOpenable(filePath, update);
  auto impl = std::make_unique<Impl>();
  impl->mPath = filePath;
  impl->mOpenFlags = openFlags;
  try {
    impl->mStorage = std::make_unique<DiskStorage>(filePath, update);
  } catch (const FileError& e) {
    throw XMP_Error(kXMPErr_FilePermission, e.what());
  }
  const std::string ext = LowerExtension(filePath);
  std::uint32_t detectFlags = openFlags;
  // Strict opens trust only the handler of the format named.
  if ((openFlags & kXMPFiles_OpenStrictly) && format != kXMP_UnknownFile) {
    detectFlags |= kXMPFiles_ForceGivenHandler;
  }
  // Scanning yields read-only access, so it is no fall-back for an update.
  if (update) detectFlags &= ~(kXMPFiles_OpenUsePacketScanning | kXMPFiles_OpenLimitedScanning);
  if (openFlags & kXMPFiles_OpenUseSmartHandler) {
    detectFlags &= ~(kXMPFiles_OpenUsePacketScanning | kXMPFiles_OpenLimitedScanning);
  }
  try {
    impl->mHandler = DetectHandler(*impl->mStorage, ext, format, detectFlags);
  } catch (const FileError& e) {
    Rethrow(e, filePath, Access::kReading);
  }
  if (impl->mHandler == nullptr) return false;
  impl->mFormat = impl->mHandler->FormatOf(ext);
  mImpl = std::move(impl);
  return true;
}

void SXMPFiles::CloseFile(XMP_OptionBits closeFlags) {
  if (!mImpl) return;
  std::unique_ptr<Impl> impl = std::move(mImpl);
  (void)closeFlags;  // every rewrite already goes through a temporary file
  // The lock taken at open (exclusive for an update) is released when the storage goes.
  if (!impl->mNewPacket || !(impl->mOpenFlags & kXMPFiles_OpenForUpdate)) return;
  try {
    impl->mHandler->Write(*impl->mStorage, PacketText(*impl->mNewPacket));
    // Whatever path the handler took, the file and its folder entry are on disk now.
    impl->mStorage->Flush();
  } catch (const FileError& e) {
    Rethrow(e, impl->mPath, Access::kWriting);
  }
}

bool SXMPFiles::GetFileInfo(std::string* filePath, XMP_OptionBits* openFlags,
                            XMP_FileFormat* format, XMP_OptionBits* handlerFlags) const {
  if (!mImpl) return false;
  if (filePath != nullptr) *filePath = mImpl->mPath;
  if (openFlags != nullptr) *openFlags = mImpl->mOpenFlags;
  if (format != nullptr) *format = mImpl->mFormat;
  if (handlerFlags != nullptr) *handlerFlags = mImpl->mHandler->Flags();
  return true;
}

bool SXMPFiles::GetXMP(SXMPMeta* meta, std::string* packet, XMP_PacketInfo* info) {
  if (meta != nullptr) meta->Erase();
  if (!mImpl) throw XMP_Error(kXMPErr_BadObject, "GetXMP: no file is open");
  mImpl->Load();
  if (mImpl->mUnreadable) throw *mImpl->mUnreadable;
  if (mImpl->mStandard.empty()) return false;
  const FoundPacket& found = *mImpl->mFound;
  if (meta != nullptr) {
    mImpl->Parse(*meta);
  } else {
    mImpl->RequireReadable();
  }
  if (packet != nullptr) *packet = found.mPacket;
  if (info != nullptr) {
    info->offset = found.mInfo.mOffset;
    info->length = found.mInfo.mLength;
    info->padSize = found.mInfo.mPadSize;
    info->writeable = found.mInfo.mWritable;
  }
  return true;
}

void SXMPFiles::PutXMP(const SXMPMeta& meta) {
  std::string packet;
  meta.SerializeToBuffer(&packet, 0, 0);
  PutXMP(packet);
}

void SXMPFiles::PutXMP(const std::string& packet) {
  if (!mImpl) throw XMP_Error(kXMPErr_BadObject, "PutXMP: no file is open");
  if (!(mImpl->mOpenFlags & kXMPFiles_OpenForUpdate)) {
    throw XMP_Error(kXMPErr_BadParam, "PutXMP: '" + mImpl->mPath + "' is not open for update");
  }
  if (mImpl->mHandler->IsReadOnly()) {
    throw XMP_Error(kXMPErr_Unavailable, "PutXMP: the " + std::string(mImpl->mHandler->Name()) +
                                             " handler cannot write '" + mImpl->mPath + "'");
  }
  // Never replace XMP we could not read, unless the caller asked for exactly that.
  if (!(mImpl->mOpenFlags & kXMPFiles_OpenReplaceUnreadableXMP)) {
    try {
      mImpl->RequireReadable();
    } catch (const XMP_Error& e) {
      throw XMP_Error(e.GetID(), std::string(e.GetErrMsg()) +
                                     "; not replacing it (open with "
                                     "kXMPFiles_OpenReplaceUnreadableXMP to overwrite it)");
    }
  }
  mImpl->mNewPacket = packet;
}

bool SXMPFiles::CanPutXMP(const SXMPMeta&) const {
  return CanPutXMP(std::string());
}

bool SXMPFiles::CanPutXMP(const std::string&) const {
  if (!mImpl || !(mImpl->mOpenFlags & kXMPFiles_OpenForUpdate) || mImpl->mHandler->IsReadOnly()) {
    return false;
  }
  if (mImpl->mOpenFlags & kXMPFiles_OpenReplaceUnreadableXMP) return true;
  try {
    mImpl->RequireReadable();
  } catch (const XMP_Error&) {
    return false;
  }
  return true;
}
