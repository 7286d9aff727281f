#pragma once

// Updates interrupted at a chosen write step, shared by the durability tests and the
// kill-point matrix (bench/xmp_files_av): a failed step, a disk that fills up during a
// write, or the process killed there. No test framework here, so that a benchmark program
// can use it too.

#include <filesystem>
#include <string>
#include <vector>

namespace faulttest {

enum class Fault {
  kFail,       // the step fails before doing anything (I/O error, size limit)
  kFirstByte,  // a write step runs out of space after its first byte
  kLastByte,   // a write step runs out of space before its last byte
  kKill,       // the process is killed at the step
  kSizeLimit,  // a real file-size limit (RLIMIT_FSIZE) a few bytes above the file's size;
               // `step` is ignored
};
const char* FaultName(Fault fault);

// Writes dc:title `title` into `file` through SXMPFiles (open for update, put, close).
// Without a fault (step < 0) returns true when it succeeds. With one, the fault hits write
// step `step` (counted from 0 over every step the io layer reports); kKill runs the update
// in a child process killed there. Returns true when the update still completed.
bool UpdateWithFault(const std::filesystem::path& file, const std::string& title, int step = -1,
                     Fault fault = Fault::kFail);

// The number of write steps the update takes, counted on `file` (which it updates).
int CountSteps(const std::filesystem::path& file, const std::string& title);

// The dc:title our reader finds: "" when there is none, "error: ..." when reading fails.
std::string ReadTitle(const std::filesystem::path& file);

// The samples of the matrix (under tests/data/xmp_files): every writable format, movies
// with moov first and last.
const std::vector<std::string>& MatrixSamples();

// A copy of `sample` in `dir` (the sidecar is made, there is no file of it) holding
// dc:title `title`.
std::filesystem::path PrepareSample(const std::filesystem::path& dir, const std::string& sample,
                                    const std::string& title);

// A title long enough that no update fits it in place.
std::string LongTitle(const std::string& word);

}  // namespace faulttest
