#pragma once

// Files and folders by path. Exported from the library because its public API names them
// (WriteSchemaFile takes a File); the rest of the core services layer stays hidden.

#include <filesystem>
#include <string_view>
#include <vector>

#include "veltcore/Export.h"
#include "veltcore/StringTypes.h"

namespace veltcore::filesupport {

class Dir;

// A file by path. The path need not exist; every query answers a neutral value for a file
// that does not exist or cannot be read. Paths are UTF-16 or UTF-8 (both accepted).
class VELT_EXPORT File {
 public:
  File() = default;
  explicit File(const std::filesystem::path& path);
  explicit File(const UTF16String& path);
  explicit File(std::string_view utf8Path);
  File(const Dir& folder, const UTF16String& name);

  UTF16String FullPath() const;      // absolute, UTF-16
  UTF8String FullPathUTF8() const;   // absolute, UTF-8
  UTF16String GetName() const;       // "photo.jpg"
  UTF16String GetTitle() const;      // "photo"
  UTF16String GetExtension() const;  // ".jpg" (with its dot; empty when there is none)
  bool Exists() const;               // an existing regular file (or symlink to one)
  Dir Parent() const;
  bool Delete() const;  // true when the file is gone afterwards
  const std::filesystem::path& Path() const { return mPath; }

 private:
  std::filesystem::path mPath;
};

// A folder by path, with the same neutral behaviour as File.
class VELT_EXPORT Dir {
 public:
  Dir() = default;
  explicit Dir(const std::filesystem::path& path);
  explicit Dir(const UTF16String& path);
  explicit Dir(std::string_view utf8Path);

  UTF16String FullPath() const;
  UTF8String FullPathUTF8() const;
  UTF16String GetName() const;
  bool Exists() const;
  // Creates the folder and its parents when missing. True when it exists afterwards.
  bool EnsureExists() const;
  Dir Parent() const;
  // Deletes the folder with everything in it. True when it is gone afterwards.
  bool Delete() const;
  // A sub-folder or file of this folder (need not exist).
  Dir SubDir(const UTF16String& name) const;
  Dir SubDir(std::string_view utf8Name) const;
  File GetFile(const UTF16String& name) const;
  File GetFile(std::string_view utf8Name) const;
  // The regular files and the sub-folders of this folder, sorted by name so that iteration
  // is repeatable; empty when the folder does not exist or cannot be read.
  std::vector<File> Files() const;
  std::vector<Dir> SubDirs() const;
  const std::filesystem::path& Path() const { return mPath; }

  // The user's preferences root: $VELTCORE_PREFS_DIR, else $XDG_CONFIG_HOME, else ~/.config.
  static Dir PrefDir();
  // The preferences root shared by all of the host's applications (same folder as PrefDir).
  static Dir GlobalPrefDir();

 private:
  std::filesystem::path mPath;
};

}  // namespace veltcore::filesupport
