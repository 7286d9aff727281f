// veltmeta dump [-j N] FILE...: for each file, the detected format and every leaf of its XMP,
// as a JSON array with one object per file: {"file", "format" (four-character code), "xmp"
// ([namespace URI, XMP path, value] per leaf, in document order)}. A file that cannot be read
// gets a one-line error on stderr; the others are still dumped, and the exit status is 1.
// Warnings about recoveries made while reading (a legacy chunk read, a duplicate packet
// ignored) go to stderr, one a line; they do not change the exit status.
//
// Files are read on N threads (default: the number of cores) and printed in argument order,
// each as soon as it and the files before it are done.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "TextConversion.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Warnings.h"

namespace {

// What one file gives: its JSON object ("" when it could not be read) and its stderr lines.
// Outputs are reused from file to file, so their buffers keep the capacity they grew to and
// a batch of similar files allocates (and faults in) its output memory once.
struct FileOutput {
  std::string mJson;
  std::string mMessages;
};

// Reads one file into `r` (cleared first); errors and warnings become its stderr lines.
void DumpFile(const std::string& path, FileOutput& r) {
  r.mJson.clear();
  r.mMessages.clear();
  XMP_WarningScope warnings([&r](const std::string& message) {
    r.mMessages += "veltmeta dump: warning: ";
    r.mMessages += message;
    r.mMessages += '\n';
  });
  try {
    SXMPFiles file(path, kXMP_UnknownFile, kXMPFiles_OpenForRead | kXMPFiles_OpenUsePacketScanning);
    XMP_FileFormat format = kXMP_UnknownFile;
    file.GetFileInfo(nullptr, nullptr, &format);
    std::string& out = r.mJson;
    out += "  {\"file\": ";
    veltmeta::AppendJsonString(out, path);
    out += ", \"format\": ";
    veltmeta::AppendJsonString(out, XMP_FourCCString(format));
    out += ", \"xmp\": [";
    SXMPMeta meta;
    bool any = false;
    if (file.GetXMP(&meta)) {
      SXMPIterator it(meta, kXMP_IterJustLeafNodes);
      std::string ns, xpath, value;
      // Leaves come schema by schema: the namespace is escaped once per run of them.
      std::string lastNs, lastNsJson;
      XMP_OptionBits options = 0;
      while (it.Next(&ns, &xpath, &value, &options)) {
        if (options & kXMP_SchemaNode) continue;
        out += any ? ",\n    [" : "\n    [";
        if (ns != lastNs || lastNsJson.empty()) {
          lastNs = ns;
          lastNsJson.clear();
          veltmeta::AppendJsonString(lastNsJson, ns);
        }
        out += lastNsJson;
        out += ", ";
        veltmeta::AppendJsonString(out, xpath);
        out += ", ";
        veltmeta::AppendJsonString(out, value);
        out += ']';
        any = true;
      }
    }
    file.CloseFile();
    out += any ? "\n  ]}" : "]}";
  } catch (const XMP_Error& e) {
    r.mJson.clear();
    r.mMessages += "veltmeta dump: cannot read '";
    r.mMessages += path;
    r.mMessages += "': ";
    r.mMessages += veltmeta::WithoutFileName(e.GetErrMsg(), path);
    r.mMessages += '\n';
  }
}

// Runs DumpFile over `paths` on `jobs` threads (the calling one among them) and hands the
// outputs to `print` in order. There is no printing thread to wake: the thread that finishes
// the file next in order prints it, and any finished files after it, while the others go on
// reading. Workers stay at most `window` files ahead of printing, each file filling the
// output slot of its number modulo the window, so memory does not grow with the number of
// files and the slots' buffers are reused.
template <typename Print>
void DumpInOrder(const std::vector<std::string>& paths, unsigned jobs, Print print) {
  if (jobs <= 1 || paths.size() <= 1) {
    FileOutput output;
    for (std::size_t i = 0; i < paths.size(); ++i) {
      DumpFile(paths[i], output);
      print(i, output);
    }
    return;
  }
  const std::size_t window = 4u * jobs;
  std::vector<FileOutput> slots(window);
  std::vector<char> done(window, 0);  // slot i % window holds file i, ready to print
  std::mutex mutex;
  std::condition_variable room;
  std::size_t next = 0, printed = 0;
  bool printing = false;  // a thread is printing; it also prints what finishes meanwhile
  auto work = [&] {
    std::unique_lock lock(mutex);
    while (true) {
      room.wait(lock, [&] { return next >= paths.size() || next < printed + window; });
      if (next >= paths.size()) return;
      const std::size_t i = next++;
      lock.unlock();
      DumpFile(paths[i], slots[i % window]);
      lock.lock();
      done[i % window] = 1;
      if (printing) continue;
      printing = true;
      while (printed < paths.size() && done[printed % window]) {
        const std::size_t k = printed;
        lock.unlock();
        print(k, slots[k % window]);
        lock.lock();
        done[k % window] = 0;
        printed = k + 1;
        room.notify_all();
      }
      printing = false;
    }
  };
  std::vector<std::thread> workers;
  for (unsigned k = 1; k < jobs; ++k)
    workers.emplace_back(work);
  work();
  for (std::thread& t : workers)
    t.join();
}

void Progress(std::size_t done, std::size_t total) {
  const int width = 30;
  int filled = static_cast<int>(width * done / total);
  std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled,
               "==============================", width - filled, "", done, total);
  if (done == total) std::fprintf(stderr, "\n");
  std::fflush(stderr);
}

// Parses "-j N" / "-jN" before the files; 0 jobs when the value is bad.
std::vector<std::string> ParseJobs(const std::vector<std::string>& args, unsigned* jobs) {
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (files.empty() && a.rfind("-j", 0) == 0) {
      std::string value = a.size() > 2 ? a.substr(2) : (i + 1 < args.size() ? args[++i] : "");
      char* end = nullptr;
      long n = std::strtol(value.c_str(), &end, 10);
      *jobs = value.empty() || *end != '\0' || n < 1 || n > 1024 ? 0 : static_cast<unsigned>(n);
      continue;
    }
    files.push_back(a);
  }
  return files;
}

int RunDump(const std::vector<std::string>& args) {
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::vector<std::string> files = ParseJobs(args, &jobs);
  if (files.empty() || jobs == 0) {
    std::fprintf(stderr, "usage: veltmeta dump [-j N] FILE...\n");
    return 2;
  }
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  const bool bar = files.size() > 1 && ::isatty(STDERR_FILENO);
  // Into a pipe or file, output goes in large writes rather than one per few kilobytes.
  if (!::isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1u << 16);
  int status = 0;
  bool first = true;
  std::fputs("[", stdout);
  DumpInOrder(files, jobs, [&](std::size_t i, const FileOutput& output) {
    if (!output.mMessages.empty()) {
      if (bar) std::fputs("\n", stderr);
      std::fwrite(output.mMessages.data(), 1, output.mMessages.size(), stderr);
    }
    if (output.mJson.empty()) {
      status = 1;
    } else {
      std::fputs(first ? "\n" : ",\n", stdout);
      std::fwrite(output.mJson.data(), 1, output.mJson.size(), stdout);
      first = false;
    }
    if (bar) Progress(i + 1, files.size());
  });
  std::fputs(first ? "]\n" : "\n]\n", stdout);
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
  return status;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"dump", "dump [-j N] FILE...",
     "print the format and every XMP leaf of media files as JSON (N threads)", &RunDump}};
