#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltcore/Strings.h"

namespace veltcore::filesupport {

class Dir;

// A file by path. The path need not exist; every query answers a neutral value for a file
// that does not exist or cannot be read. Paths are UTF-16 or UTF-8 (both accepted).
class File {
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
class Dir {
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

struct DirHelper {
  // Well-known machine-wide folders. Selector 44 (kCommonAppData) is $VELTCORE_SYSTEM_DIR,
  // else "/usr/local/share". Any other selector gives an empty Dir.
  static constexpr int kCommonAppData = 44;
  static Dir SystemDir(int selector);
};

namespace commondirs {
// Plug-ins folder: $VELTCORE_PLUGINS_DIR, else "plugins" next to the loaded library image.
Dir PluginsDir();
}  // namespace commondirs

// Writes a file safely: the new content goes to a temporary file in the target's folder;
// Commit() flushes it to disk and renames it over the target, so that a failure at any point
// leaves the old file untouched. A SafeSave destroyed without Commit() removes its temporary.
class SafeSave {
 public:
  explicit SafeSave(const File& target);
  ~SafeSave();
  SafeSave(const SafeSave&) = delete;
  SafeSave& operator=(const SafeSave&) = delete;

  // The temporary file to write to (created empty by the constructor). Invalid when the
  // folder cannot be written: then Commit() fails.
  const File& TempFile() const { return mTemp; }
  bool IsValid() const { return mValid; }
  // fsync()s the temporary and renames it over the target. True on success; on failure the
  // target is as it was and the temporary is removed.
  bool Commit();

  // Failure injection for tests: called at the named steps of Commit ("flush", "rename") with
  // the point's name; returning true makes that step fail. Process-wide; null to disable.
  static void SetFailureHook(std::function<bool(std::string_view)> hook);

 private:
  File mTarget;
  File mTemp;
  bool mValid = false;
  bool mDone = false;
};

// Whole-file byte streams.
class IPlatformByteStream {
 public:
  explicit IPlatformByteStream(const File& file);
  bool IsOpen() const { return mIn.is_open() && mIn.good(); }
  // Length of the file in bytes, or -1 when it cannot be read.
  std::int64_t Length();
  // Reads up to `size` bytes; returns the number read.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads the whole file (empty when it cannot be read).
  std::string ReadAll();

 private:
  std::ifstream mIn;
};

class OPlatformByteStream {
 public:
  // Opens for writing, replacing the content.
  explicit OPlatformByteStream(const File& file);
  bool IsOpen() const { return mOut.is_open() && mOut.good(); }
  bool Write(const void* data, std::size_t size);
  // Writes one 16-bit unit, least significant byte first (little-endian), whatever the
  // machine. So the unit 0xFEFF gives the bytes FF FE and 0xFFFE gives FE FF.
  OPlatformByteStream& operator<<(std::uint16_t unit);
  bool Flush();

 private:
  std::ofstream mOut;
};

// What one stat() tells about a file: enough to see that it changed even when a rewrite
// within one tick of the file system's clock keeps its modification time.
struct FileStamp {
  std::int64_t mModifiedTime = 0;  // 100-ns units since 1970-01-01 UTC, as GetModifiedTime
  std::uint64_t mSize = 0;         // bytes
  std::uint64_t mDevice = 0;       // the file system holding the file
  std::uint64_t mInode = 0;        // the file's number on that file system (new on replace)
  bool operator==(const FileStamp&) const = default;
};

struct FileUtils {
  // Copies a file, replacing the target. True on success.
  static bool Copy(const File& from, const File& to);
  // Writes the text (its bytes as they are) to the file, replacing its content.
  static bool SimpleWriteStringToFile(const File& file, std::string_view text);
  static bool SimpleWriteStringToFile(const UTF16String& path, std::string_view text);
  // Reads a whole file; nullopt when it cannot be read.
  static std::optional<std::string> ReadFile(const File& file);
  // Creates the folder and its parents when missing. True when it exists afterwards.
  static bool EnsureDirectoryExists(const Dir& folder);
  static bool EnsureDirectoryExists(const UTF16String& path);
  static bool FileOrDirExists(const UTF16String& path);
  static bool FileOrDirExists(std::string_view utf8Path);
  // Removes a file. True when it existed and is gone.
  static bool RemoveFile(const File& file);
  // Last modification time in 100-ns units since 1970-01-01 UTC. Returns 0 on success, or a
  // non-zero code (the errno) with `time` left at 0.
  static int GetModifiedTime(std::string_view utf8Path, std::int64_t& time);
  // Modification time, size, device and inode from one stat(), without allocating for paths
  // under 512 bytes. Returns 0 on success, or a non-zero code (the errno; ENOENT for an empty
  // path or one holding a NUL) with `stamp` left all zero.
  static int GetFileStamp(std::string_view utf8Path, FileStamp& stamp);
};

// Path helpers: UTF-16 and UTF-8 to a filesystem path and back (invalid text gives an empty path).
std::filesystem::path ToPath(const UTF16String& path);
std::filesystem::path ToPath(std::string_view utf8Path);
UTF16String ToUTF16(const std::filesystem::path& path);

}  // namespace veltcore::filesupport
