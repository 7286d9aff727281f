// The main job: reads each file through a file provider, merges several through one
// aggregate provider (or, with --each, shows one set of panels per file) and prints the
// header and panels as text or JSON. A file that cannot be read is named on stderr in one
// line; the others are still shown.
#include "MainJob.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <map>

#include "Command.h"
#include "MainJobPanels.h"
#include "PropertyArgs.h"
#include "TextConversion.h"
#include "veltmetadata/Errors.h"
#include "veltmetadata/ExtensionPackages.h"
#include "veltmetadata/MetadataUtils.h"
#include "xmp/XMP_Const.h"

namespace veltmeta {

namespace {

struct Options {
  bool mEach = false;
  bool mJson = false;
  bool mVerbose = false;
  std::vector<std::string> mFiles;
};

// The name a user knows a file format by; the handler's code for the rarer ones.
std::string FormatName(unsigned int format) {
  static const std::map<std::string, std::string> kNames = {
      {"MPG4", "MPEG-4"},     {"MOV", "QuickTime"}, {"WAV", "WAV"},   {"AVI", "AVI"},
      {"MP3", "MP3"},         {"TIFF", "TIFF"},     {"PNG", "PNG"},   {"JPEG", "JPEG"},
      {"XMP", "XMP sidecar"}, {"GIF", "GIF"},       {"PDF", "PDF"},   {"HEIF", "HEIF"},
      {"AVIF", "AVIF"},       {"WEBP", "WebP"},     {"AIFF", "AIFF"}, {"PSD", "Photoshop"}};
  std::string code = XMP_FourCCString(format);
  while (!code.empty() && code.back() == ' ')
    code.pop_back();
  const auto it = kNames.find(code);
  return it == kNames.end() ? code : it->second;
}

// "no such file", with the command the user may have meant when the name looks like one.
std::string NoSuchFile(const std::string& file) {
  if (file.find_first_of("./") == std::string::npos) {
    for (const Command& command : Commands()) {
      if (file != command.mName && EditDistance(file, command.mName) <= 2)
        return "no such file (did you mean 'veltmeta " + command.mName + "'?)";
    }
  }
  return "no such file";
}

// Why `file` cannot be read at all, or "" when it can be opened.
std::string Problem(const std::string& file) {
  if (!IsUTF8(file)) return "its name is not UTF-8";
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    return errno == ENOENT   ? NoSuchFile(file)
           : errno == EACCES ? "permission denied"
                             : std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (::access(file.c_str(), R_OK) != 0) return "permission denied";
  return "";
}

void PrintError(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "veltmeta: cannot read '%s': %s\n", ShownName(file).c_str(), reason.c_str());
}

// Terminal columns of stdout, or 0 when it is no terminal.
std::size_t TerminalWidth() {
  if (::isatty(STDOUT_FILENO) == 0) return 0;
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

// A progress bar on stderr, only when stderr is a terminal and there is more than one file.
class Progress {
 public:
  explicit Progress(std::size_t total)
      : mTotal(total), mShown(total > 1 && ::isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (mShown) std::fputs("\r\033[K", stderr);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Step(std::size_t done) {
    if (!mShown) return;
    const std::size_t filled = done * 30 / mTotal;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(30 - filled, ' ').c_str(), done, mTotal);
    std::fflush(stderr);
  }

 private:
  std::size_t mTotal;
  bool mShown;
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "veltmeta: %s\nusage: %s\n       veltmeta --help for every command\n",
               problem.c_str(), kMainJobUsage);
  return 2;
}

// Parses the options; returns -1 to go on, else the exit status.
int Parse(const std::vector<std::string>& args, Options& options) {
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.mFiles.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--each") {
      options.mEach = true;
    } else if (arg == "--json") {
      options.mJson = true;
    } else if (arg == "--verbose" || arg == "-v") {
      options.mVerbose = true;
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  return options.mFiles.empty() ? Usage("no file given") : -1;
}

// One file once it has been opened.
struct Opened {
  ShownFile mShown;
  std::shared_ptr<ToolFileProvider> mProvider;
};

// Opens `file` through a file provider; prints why and returns false when it cannot.
// The file is opened once: the provider's read leaves its format in the format cache, which
// then answers without opening it again (a file no handler takes is detected, and refused).
bool Open(const std::string& file, ToolSession& session, Opened& opened) {
  if (const std::string problem = Problem(file); !problem.empty()) {
    PrintError(file, problem);
    return false;
  }
  opened.mProvider = std::make_shared<ToolFileProvider>(file, false, session);
  const std::u16string path = ToUTF16(file);
  const unsigned int format = veltmetadata::utility::GetXMPFormat(path);
  if (format == kXMP_UnknownFile) {
    PrintError(file, "not a media file veltmeta can read");
    return false;
  }
  if (!opened.mProvider->ReadError().empty()) {
    PrintError(file, "its XMP is damaged (" +
                         WithoutFileName(WithoutMarkers(opened.mProvider->ReadError()), file) +
                         ")");
    return false;
  }
  opened.mShown.mName = ShownName(file);
  opened.mShown.mFormat = FormatName(format);
  opened.mShown.mHasXMP = opened.mProvider->HadXMP();
  std::vector<std::u16string> associated;
  veltmetadata::utility::GetAssociatedFiles(path, associated);
  for (const auto& name : associated)
    opened.mShown.mAssociated.push_back(ShownName(ToUTF8(name)));
  return true;
}

std::string Render(const std::vector<ShownFile>& files,
                   const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                   const std::vector<veltmetadata::ViewDefinitionPtr>& views,
                   const Options& options, const PanelOptions& layout) {
  return options.mJson ? PanelsJson(files, provider, views)
                       : PanelsText(files, provider, views, layout);
}

// One line of a note: the library's line breaks become "; ".
std::string OneLine(const std::string& text) {
  std::string out;
  for (const char c : WithoutMarkers(text))
    out += c == '\n' ? std::string("; ") : std::string(1, c);
  return out;
}

void PrintNotes(ToolSession& session, std::size_t errorsBefore) {
  for (const auto& report : session.TakeAssertions())
    std::fprintf(stderr, "veltmeta: note: %s\n",
                 OneLine(report.mMessage.empty() ? report.mCondition : report.mMessage).c_str());
  const auto errors = veltmetadata::GetErrorInfos();
  for (std::size_t i = errorsBefore; i < errors.size(); ++i)
    std::fprintf(stderr, "veltmeta: note: %s\n", OneLine(errors[i].mMessage).c_str());
}

}  // namespace

bool IsMainJobOption(const std::string& arg) {
  return arg == "--each" || arg == "--json" || arg == "--verbose" || arg == "-v" || arg == "--";
}

std::string ShownName(const std::string& file) {
  std::string out;
  for (std::size_t i = 0; i < file.size();) {
    const std::size_t length = UTF8SequenceLength(file, i);
    if (length == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(file[i]));
      out += escaped;
      ++i;
    } else {
      out.append(file, i, length);
      i += length;
    }
  }
  return out;
}

std::string WithoutMarkers(const std::string& text) {
  static const std::map<std::string, std::string> kEntities = {
      {"quot", "\""}, {"apos", "'"}, {"amp", "&"}, {"lt", "<"}, {"gt", ">"}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, 2, "#{") == 0) {
      const std::size_t close = text.find('}', i);
      if (close != std::string::npos) {
        const auto it = kEntities.find(text.substr(i + 2, close - i - 2));
        out += it == kEntities.end() ? "" : it->second;
        i = close + 1;
        continue;
      }
    }
    if (text.compare(i, 4, "$$$/") == 0) {
      // "$$$/Key/Name=Text": the text after '=' stands for the key.
      const std::size_t equals = text.find('=', i);
      const std::size_t space = text.find(' ', i);
      i = equals != std::string::npos && equals < space ? equals + 1 : std::min(space, text.size());
      continue;
    }
    out += text[i++];
  }
  return out;
}

int RunMainJob(const std::vector<std::string>& args) {
  Options options;
  if (const int status = Parse(args, options); status >= 0) return status;
  std::setlocale(LC_TIME, "");
  ToolSession session;
  veltmetadata::LoadAllViewDefinitions();
  session.TakeAssertions();  // package problems belong to `veltmeta errors`
  const std::size_t errorsBefore = veltmetadata::GetErrorInfos().size();
  const auto views = PanelOrder();
  PanelOptions layout;
  layout.mPruneAlways = true;
  layout.mAlignLabels = true;
  layout.mWrapWidth = TerminalWidth();

  int status = 0;
  Progress progress(options.mFiles.size());
  std::vector<Opened> opened;
  std::string output = options.mJson && options.mEach ? "[" : "";
  std::size_t shown = 0;
  for (std::size_t i = 0; i < options.mFiles.size(); ++i) {
    Opened file;
    if (!Open(options.mFiles[i], session, file)) {
      status = 1;
    } else if (options.mEach) {
      const std::string panels = Render({file.mShown}, file.mProvider, views, options, layout);
      output +=
          options.mJson ? (shown == 0 ? "\n" : ",\n") + panels : (shown == 0 ? "" : "\n") + panels;
      ++shown;
      std::fputs(output.c_str(), stdout);
      output.clear();
    } else {
      opened.push_back(std::move(file));
    }
    progress.Step(i + 1);
  }
  if (!options.mEach && !opened.empty()) {
    std::vector<ShownFile> files;
    veltmetadata::ProviderList list;
    for (const Opened& file : opened) {
      files.push_back(file.mShown);
      list.push_back(file.mProvider);
    }
    std::shared_ptr<veltmetadata::MetaDataProvider> provider = list.front();
    if (list.size() > 1) {
      provider = std::make_shared<veltmetadata::AggregateProvider>(
          veltmetadata::ProviderRange{list.begin(), list.end()});
    }
    output = Render(files, provider, views, options, layout);
  }
  if (options.mJson && options.mEach) output += "\n]";
  if (options.mJson && (options.mEach || !opened.empty())) output += "\n";
  std::fputs(output.c_str(), stdout);
  if (options.mVerbose) {
    PrintNotes(session, errorsBefore);
  } else {
    session.TakeAssertions();
  }
  return status;
}

}  // namespace veltmeta
