#include "FaultInjection.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>

#include "io/Storage.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace faulttest {

namespace {

constexpr int kKilledStatus = 77;

// Counts the steps the io layer reports and faults the chosen one.
xmpfiles::WriteFaultHook MakeHook(int* counter, int step, Fault fault) {
  return [counter, step, fault](const xmpfiles::WriteStep& at) -> std::optional<std::uint64_t> {
    if ((*counter)++ != step) return std::nullopt;
    switch (fault) {
      case Fault::kKill:
        ::_exit(kKilledStatus);
      case Fault::kFirstByte:
        return at.mSize > 1 ? 1 : 0;
      case Fault::kLastByte:
        return at.mSize > 1 ? at.mSize - 1 : 0;
      case Fault::kFail:
      case Fault::kSizeLimit:
        break;
    }
    return 0;
  };
}

bool Update(const std::filesystem::path& file, const std::string& title) {
  try {
    SXMPFiles f(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
    SXMPMeta meta;
    f.GetXMP(&meta);
    meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", title);
    f.PutXMP(meta);
    f.CloseFile();
    return true;
  } catch (const XMP_Error&) {
    return false;
  }
}

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kFail:
      return "fail";
    case Fault::kFirstByte:
      return "disk full after the first byte";
    case Fault::kLastByte:
      return "disk full before the last byte";
    case Fault::kKill:
      return "kill";
    case Fault::kSizeLimit:
      return "file-size limit";
  }
  return "?";
}

bool UpdateWithFault(const std::filesystem::path& file, const std::string& title, int step,
                     Fault fault) {
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  int counter = 0;
  if (step < 0) return Update(file, title);
  if (fault == Fault::kSizeLimit) {
    std::error_code ec;
    const auto limit = static_cast<rlim_t>(std::filesystem::file_size(file, ec) + 64);
    pid_t child = ::fork();
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);  // writes past the limit fail with EFBIG instead
      struct rlimit rl {
        limit, limit
      };
      ::setrlimit(RLIMIT_FSIZE, &rl);
      ::_exit(Update(file, title) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (fault != Fault::kKill) {
    xmpfiles::SetWriteFaultHook(MakeHook(&counter, step, fault));
    bool done = Update(file, title);
    xmpfiles::SetWriteFaultHook(nullptr);
    return done;
  }
  pid_t child = ::fork();
  if (child == 0) {
    xmpfiles::SetWriteFaultHook(MakeHook(&counter, step, fault));
    ::_exit(Update(file, title) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int CountSteps(const std::filesystem::path& file, const std::string& title) {
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  int counter = 0;
  xmpfiles::SetWriteFaultHook([&counter](const xmpfiles::WriteStep&) {
    ++counter;
    return std::optional<std::uint64_t>();
  });
  Update(file, title);
  xmpfiles::SetWriteFaultHook(nullptr);
  return counter;
}

std::string ReadTitle(const std::filesystem::path& file) {
  try {
    SXMPFiles f(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead);
    SXMPMeta meta;
    if (!f.GetXMP(&meta)) return "";
    std::string title;
    meta.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", nullptr, &title, nullptr);
    return title;
  } catch (const XMP_Error& e) {
    return std::string("error: ") + e.GetErrMsg();
  }
}

const std::vector<std::string>& MatrixSamples() {
  static const std::vector<std::string> kSamples = {
      "iso/moov_first.mp4", "iso/moov_last.mp4", "iso/movie_first.mov",  "iso/movie.mov",
      "iso/audio.m4a",      "riff/tone.wav",     "riff/odd.wav",         "riff/video.avi",
      "images/sample.jpg",  "images/sample.png", "images/sample-ii.tif", "images/sample.gif",
      "mpeg/v24.mp3",       "sidecar.xmp"};
  return kSamples;
}

std::filesystem::path PrepareSample(const std::filesystem::path& dir, const std::string& sample,
                                    const std::string& title) {
  std::filesystem::path target = dir / std::filesystem::path(sample).filename();
  if (sample == "sidecar.xmp") {
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) return target;
    std::fputs(
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>\n",
        out);
    std::fclose(out);
  } else {
    std::filesystem::copy_file(std::filesystem::path(VELT_TEST_DATA_DIR) / "xmp_files" / sample,
                               target, std::filesystem::copy_options::overwrite_existing);
  }
  UpdateWithFault(target, title);
  return target;
}

std::string LongTitle(const std::string& word) {
  std::string title;
  while (title.size() < 4000)
    title += word + " ";
  return title + word;
}

}  // namespace faulttest
