#pragma once

// FileProvider: the XMP of a media file, read and written through the toolkit's file
// handlers. A file that cannot be opened or holds no XMP leaves the provider without
// metadata (so nothing can be added to it through this provider). Writing back opens the
// file for update, puts the whole metadata and closes it; the handlers keep the media data
// where it is. Failures are reported as assertions and leave the file as it was.

#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/TypicalProvider.h"

namespace veltmetadata {

class VELT_EXPORT FileProvider : public TypicalProviderImpl {
 public:
  // Starts without metadata, then ResetFilePath(filePath). An empty path never touches the
  // file system.
  explicit FileProvider(const UTF16String& filePath = UTF16String());
  ~FileProvider() override;

  const UTF16String& FilePath() const { return mFilePath; }
  // Switches to another file and reads it; the current path again does nothing at all.
  void ResetFilePath(const UTF16String& filePath);
  // Reads the file again (for a file changed on disk) and notifies, with or without XMP.
  void ReloadFile();

 protected:
  // Writes the whole metadata into the file. Refused (assertion) while XMP writing is
  // disabled library-wide.
  void WriteChanges(const std::vector<Path>& changes) override;

 private:
  UTF16String mFilePath;
};

}  // namespace veltmetadata
