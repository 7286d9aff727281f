// The XMP of a media file through the toolkit's file handlers.
//
// Both opens pass kXMPFiles_OptimizeFileLayout along with the read or update flag; the
// handlers accept it and never rewrite the media data for it, so an edit writes only the
// metadata's own bytes.

#include "veltmetadata/FileProvider.h"

#include "FormatCacheSeam.h"
#include "ProviderAssert.h"
#include "veltcore/Strings.h"
#include "veltmetadata/Lifecycle.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata {

namespace {
constexpr XMP_OptionBits kReadFlags = kXMPFiles_OpenForRead | kXMPFiles_OptimizeFileLayout;
constexpr XMP_OptionBits kUpdateFlags = kXMPFiles_OpenForUpdate | kXMPFiles_OptimizeFileLayout;
}  // namespace

FileProvider::FileProvider(const UTF16String& filePath) : TypicalProviderImpl(nullptr) {
  ResetFilePath(filePath);
}

FileProvider::~FileProvider() = default;

void FileProvider::ResetFilePath(const UTF16String& filePath) {
  if (filePath == mFilePath) return;
  mFilePath = filePath;
  ReloadFile();
}

void FileProvider::ReloadFile() {
  SXMPMeta meta;
  bool found = false;
  if (!mFilePath.empty()) {
    try {
      // The handler that opens the file is the one format detection would pick: its format
      // goes to the format cache, so that asking for it next does not open the file again.
      const auto stamp = utility::internal::StampOf(mFilePath);
      SXMPFiles file(veltcore::string::UTF16to8(mFilePath), kXMP_UnknownFile, kReadFlags);
      XMP_FileFormat format = kXMP_UnknownFile;
      if (stamp && file.GetFileInfo(nullptr, nullptr, &format, nullptr))
        utility::internal::RecordOpenedFormat(mFilePath, *stamp, format);
      found = file.GetXMP(&meta, nullptr, nullptr);
    } catch (...) {
      VELT_PROVIDER_ASSERT("veltmetadata::FileProvider::ReloadFile", "false",
                           providers::CurrentExceptionText("", "", ""));
    }
  }
  ResetMetaData(found ? meta.GetInternalRef() : nullptr, true);
}

void FileProvider::WriteChanges(const std::vector<Path>& /*changes*/) {
  constexpr const char* kFunction = "veltmetadata::FileProvider::WriteChanges";
  __XMPMeta__* meta = MetaDataAccess();
  const bool disabled = IsXMPWritingDisabled();
  if (meta == nullptr || disabled) {
    VELT_PROVIDER_ASSERT(kFunction, "meta && !IsXMPWritingDisabled()", "");
    return;
  }
  std::unique_ptr<SXMPFiles> file;
  try {
    file = std::make_unique<SXMPFiles>(veltcore::string::UTF16to8(mFilePath), kXMP_UnknownFile,
                                       kUpdateFlags);
  } catch (...) {
    VELT_PROVIDER_ASSERT(
        kFunction, "false",
        providers::CurrentExceptionText("FileProvider::WriteChanges xmp exception: ",
                                        "FileProvider::WriteChanges std exception: ", ""));
    return;
  }
  try {
    file->PutXMP(SXMPMeta(meta));
    file->CloseFile(0);
  } catch (...) {
    VELT_PROVIDER_ASSERT(
        kFunction, "false",
        providers::CurrentExceptionText("FileProvider::WriteChanges xmp exception: ",
                                        "FileProvider::WriteChanges std exception: ", ""));
  }
}

}  // namespace veltmetadata
