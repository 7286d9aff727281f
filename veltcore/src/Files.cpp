#include "veltcore/Files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>

namespace veltcore::filesupport {

namespace fs = std::filesystem;

std::filesystem::path ToPath(const UTF16String& path) {
  UTF8String utf8;
  if (string::UTF16to8(path, utf8) != string::kConversionOK) return {};
  return fs::path(utf8);
}

std::filesystem::path ToPath(std::string_view utf8Path) {
  return fs::path(std::string(utf8Path));
}

UTF16String ToUTF16(const std::filesystem::path& path) {
  return string::UTF8to16(path.string());
}

namespace {

fs::path Absolute(const fs::path& p) {
  if (p.empty()) return p;
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  return ec ? p : abs.lexically_normal();
}

UTF8String Str(const fs::path& p) {
  return p.string();
}

bool IsFile(const fs::path& p) {
  std::error_code ec;
  return !p.empty() && fs::is_regular_file(p, ec);
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return !p.empty() && fs::is_directory(p, ec);
}

fs::path EnvPath(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? fs::path(value) : fs::path();
}

}  // namespace

// --- File ---------------------------------------------------------------------------

File::File(const std::filesystem::path& path) : mPath(Absolute(path)) {}
File::File(const UTF16String& path) : mPath(Absolute(ToPath(path))) {}
File::File(std::string_view utf8Path) : mPath(Absolute(ToPath(utf8Path))) {}
File::File(const Dir& folder, const UTF16String& name) : mPath(folder.Path() / ToPath(name)) {}

UTF16String File::FullPath() const {
  return ToUTF16(mPath);
}
UTF8String File::FullPathUTF8() const {
  return Str(mPath);
}
UTF16String File::GetName() const {
  return ToUTF16(mPath.filename());
}
UTF16String File::GetTitle() const {
  return ToUTF16(mPath.stem());
}
UTF16String File::GetExtension() const {
  return ToUTF16(mPath.extension());
}
bool File::Exists() const {
  return IsFile(mPath);
}
Dir File::Parent() const {
  return Dir(mPath.parent_path());
}

bool File::Delete() const {
  std::error_code ec;
  fs::remove(mPath, ec);
  return !IsFile(mPath);
}

// --- Dir ----------------------------------------------------------------------------

Dir::Dir(const std::filesystem::path& path) : mPath(Absolute(path)) {}
Dir::Dir(const UTF16String& path) : mPath(Absolute(ToPath(path))) {}
Dir::Dir(std::string_view utf8Path) : mPath(Absolute(ToPath(utf8Path))) {}

UTF16String Dir::FullPath() const {
  return ToUTF16(mPath);
}
UTF8String Dir::FullPathUTF8() const {
  return Str(mPath);
}
UTF16String Dir::GetName() const {
  return ToUTF16(mPath.has_filename() ? mPath.filename() : mPath.parent_path().filename());
}
bool Dir::Exists() const {
  return IsDir(mPath);
}

bool Dir::EnsureExists() const {
  if (mPath.empty()) return false;
  std::error_code ec;
  fs::create_directories(mPath, ec);
  return IsDir(mPath);
}

Dir Dir::Parent() const {
  return Dir(mPath.parent_path());
}

bool Dir::Delete() const {
  if (mPath.empty()) return false;
  std::error_code ec;
  fs::remove_all(mPath, ec);
  return !fs::exists(mPath, ec);
}

Dir Dir::SubDir(const UTF16String& name) const {
  return Dir(mPath / ToPath(name));
}
Dir Dir::SubDir(std::string_view utf8Name) const {
  return Dir(mPath / ToPath(utf8Name));
}
File Dir::GetFile(const UTF16String& name) const {
  return File(mPath / ToPath(name));
}
File Dir::GetFile(std::string_view utf8Name) const {
  return File(mPath / ToPath(utf8Name));
}

std::vector<File> Dir::Files() const {
  std::vector<File> files;
  std::error_code ec;
  if (!IsDir(mPath)) return files;
  for (fs::directory_iterator it(mPath, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsFile(it->path())) files.emplace_back(it->path());
  }
  std::sort(files.begin(), files.end(),
            [](const File& a, const File& b) { return a.Path() < b.Path(); });
  return files;
}

std::vector<Dir> Dir::SubDirs() const {
  std::vector<Dir> dirs;
  std::error_code ec;
  if (!IsDir(mPath)) return dirs;
  for (fs::directory_iterator it(mPath, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsDir(it->path())) dirs.emplace_back(it->path());
  }
  std::sort(dirs.begin(), dirs.end(),
            [](const Dir& a, const Dir& b) { return a.Path() < b.Path(); });
  return dirs;
}

Dir Dir::PrefDir() {
  if (fs::path p = EnvPath("VELTCORE_PREFS_DIR"); !p.empty()) return Dir(p);
  if (fs::path p = EnvPath("XDG_CONFIG_HOME"); !p.empty()) return Dir(p);
  if (fs::path home = EnvPath("HOME"); !home.empty()) return Dir(home / ".config");
  return Dir(fs::temp_directory_path() / ".config");
}

Dir Dir::GlobalPrefDir() {
  return PrefDir();
}

Dir DirHelper::SystemDir(int selector) {
  if (selector != kCommonAppData) return Dir();
  if (fs::path p = EnvPath("VELTCORE_SYSTEM_DIR"); !p.empty()) return Dir(p);
  return Dir(fs::path("/usr/local/share"));
}

namespace commondirs {
Dir PluginsDir() {
  if (fs::path p = EnvPath("VELTCORE_PLUGINS_DIR"); !p.empty()) return Dir(p);
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&PluginsDir), &info) && info.dli_fname)
    return Dir(fs::path(info.dli_fname).parent_path() / "plugins");
  return Dir(fs::current_path() / "plugins");
}
}  // namespace commondirs

// --- SafeSave -----------------------------------------------------------------------

namespace {
std::mutex sHookMutex;
std::function<bool(std::string_view)> sFailureHook;

bool Injected(std::string_view point) {
  std::lock_guard<std::mutex> lock(sHookMutex);
  return sFailureHook && sFailureHook(point);
}

UTF8String RandomSuffix() {
  static std::mutex mutex;
  static std::mt19937_64 rng{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  std::ostringstream s;
  s << std::hex << rng();
  return s.str();
}

// fsync()s a file by path; false when it cannot be opened or synced.
bool SyncFile(const fs::path& p) {
  const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

void SyncDir(const fs::path& p) {
  const int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}
}  // namespace

void SafeSave::SetFailureHook(std::function<bool(std::string_view)> hook) {
  std::lock_guard<std::mutex> lock(sHookMutex);
  sFailureHook = std::move(hook);
}

SafeSave::SafeSave(const File& target) : mTarget(target) {
  const fs::path folder = target.Path().parent_path();
  if (!IsDir(folder)) return;
  // Appended piece by piece: GCC 12 misreads prepending to a temporary string as an
  // overlapping copy (-Wrestrict) in optimised builds.
  std::string name = ".";
  name += target.Path().filename().string();
  name += ".tmp-";
  name += RandomSuffix();
  const fs::path temp = folder / name;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ::close(fd);
  mTemp = File(temp);
  mValid = true;
}

SafeSave::~SafeSave() {
  if (mValid && !mDone) mTemp.Delete();
}

bool SafeSave::Commit() {
  if (!mValid || mDone) return false;
  mDone = true;
  bool ok = !Injected("flush") && SyncFile(mTemp.Path());
  if (ok) {
    // Keep the target's permission bits on the new file.
    struct stat st {};
    if (::stat(mTarget.Path().c_str(), &st) == 0) ::chmod(mTemp.Path().c_str(), st.st_mode & 07777);
    ok = !Injected("rename") && ::rename(mTemp.Path().c_str(), mTarget.Path().c_str()) == 0;
  }
  if (!ok) {
    mTemp.Delete();
    return false;
  }
  SyncDir(mTarget.Path().parent_path());
  return true;
}

// --- Byte streams -------------------------------------------------------------------

IPlatformByteStream::IPlatformByteStream(const File& file) {
  if (IsFile(file.Path())) mIn.open(file.Path(), std::ios::binary);
}

std::int64_t IPlatformByteStream::Length() {
  if (!IsOpen()) return -1;
  const auto here = mIn.tellg();
  mIn.seekg(0, std::ios::end);
  const auto length = mIn.tellg();
  mIn.seekg(here);
  return length < 0 ? -1 : static_cast<std::int64_t>(length);
}

std::size_t IPlatformByteStream::Read(void* buffer, std::size_t size) {
  if (!mIn.is_open()) return 0;
  mIn.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(mIn.gcount());
}

std::string IPlatformByteStream::ReadAll() {
  if (!IsOpen()) return std::string();
  std::ostringstream out;
  out << mIn.rdbuf();
  return out.str();
}

OPlatformByteStream::OPlatformByteStream(const File& file) {
  mOut.open(file.Path(), std::ios::binary | std::ios::trunc);
}

bool OPlatformByteStream::Write(const void* data, std::size_t size) {
  if (!IsOpen()) return false;
  mOut.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return mOut.good();
}

OPlatformByteStream& OPlatformByteStream::operator<<(std::uint16_t unit) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(unit & 0xFF),
                                  static_cast<unsigned char>(unit >> 8)};
  Write(bytes, 2);
  return *this;
}

bool OPlatformByteStream::Flush() {
  if (!IsOpen()) return false;
  mOut.flush();
  return mOut.good();
}

// --- FileUtils ----------------------------------------------------------------------

bool FileUtils::Copy(const File& from, const File& to) {
  if (!IsFile(from.Path())) return false;
  std::error_code ec;
  fs::copy_file(from.Path(), to.Path(), fs::copy_options::overwrite_existing, ec);
  return !ec;
}

bool FileUtils::SimpleWriteStringToFile(const File& file, std::string_view text) {
  if (file.Path().empty() || IsDir(file.Path())) return false;
  OPlatformByteStream out(file);
  return out.Write(text.data(), text.size()) && out.Flush();
}

bool FileUtils::SimpleWriteStringToFile(const UTF16String& path, std::string_view text) {
  return SimpleWriteStringToFile(File(path), text);
}

std::optional<std::string> FileUtils::ReadFile(const File& file) {
  IPlatformByteStream in(file);
  if (!in.IsOpen()) return std::nullopt;
  return in.ReadAll();
}

bool FileUtils::EnsureDirectoryExists(const Dir& folder) {
  return folder.EnsureExists();
}
bool FileUtils::EnsureDirectoryExists(const UTF16String& path) {
  return Dir(path).EnsureExists();
}

bool FileUtils::FileOrDirExists(const UTF16String& path) {
  const fs::path p = ToPath(path);
  std::error_code ec;
  return !p.empty() && fs::exists(p, ec);
}

bool FileUtils::FileOrDirExists(std::string_view utf8Path) {
  std::error_code ec;
  return !utf8Path.empty() && fs::exists(ToPath(utf8Path), ec);
}

bool FileUtils::RemoveFile(const File& file) {
  if (!IsFile(file.Path())) return false;
  return file.Delete();
}

int FileUtils::GetModifiedTime(std::string_view utf8Path, std::int64_t& time) {
  time = 0;
  struct stat st {};
  const std::string path(utf8Path);
  if (path.empty()) return ENOENT;
  if (::stat(path.c_str(), &st) != 0) return errno ? errno : EIO;
  time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
  return 0;
}

int FileUtils::GetFileStamp(std::string_view utf8Path, FileStamp& stamp) {
  stamp = FileStamp{};
  // A name with a NUL in it would be cut short by the system and name another file.
  if (utf8Path.empty() || utf8Path.find('\0') != std::string_view::npos) return ENOENT;
  // The format cache asks for a stamp on every look-up: a path of ordinary length is
  // terminated in a buffer on the stack instead of a new string.
  char buffer[512];
  std::string longPath;
  const char* path = buffer;
  if (utf8Path.size() < sizeof buffer) {
    std::copy(utf8Path.begin(), utf8Path.end(), buffer);
    buffer[utf8Path.size()] = '\0';
  } else {
    longPath.assign(utf8Path);
    path = longPath.c_str();
  }
  struct stat st {};
  if (::stat(path, &st) != 0) return errno ? errno : EIO;
  stamp.mModifiedTime =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 10000000 + st.st_mtim.tv_nsec / 100;
  stamp.mSize = static_cast<std::uint64_t>(st.st_size);
  stamp.mDevice = static_cast<std::uint64_t>(st.st_dev);
  stamp.mInode = static_cast<std::uint64_t>(st.st_ino);
  return 0;
}

}  // namespace veltcore::filesupport
