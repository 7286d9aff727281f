// veltmeta set FILE PREFIX:NAME=VALUE...: writes simple properties into a media file's XMP
// and reports each change ("dc:format: 'image/png' -> 'image/jpeg'"). An existing alt-text
// property (dc:title...) gets its x-default item set. Nothing is written when any assignment
// is malformed, names an unknown prefix or an array, or the file cannot be read or written;
// the error is one line and the exit status 1.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "xmp/SXMPFiles.h"
#include "xmp/SXMPMeta.h"

namespace {

struct Assignment {
  std::string mNamespace;
  std::string mPath;  // prefix:name
  std::string mValue;
};

// Parses "prefix:name=value"; returns an error text ("" when fine).
std::string ParseAssignment(const std::string& arg, Assignment* out) {
  const std::size_t eq = arg.find('=');
  const std::size_t colon = arg.find(':');
  if (eq == std::string::npos || colon == std::string::npos || colon > eq || colon == 0 ||
      colon + 1 == eq) {
    return "'" + arg + "' is not PREFIX:NAME=VALUE";
  }
  const std::string prefix = arg.substr(0, colon);
  if (!SXMPMeta::GetNamespaceURI(prefix, &out->mNamespace))
    return "unknown prefix '" + prefix + "'";
  out->mPath = arg.substr(0, eq);
  out->mValue = arg.substr(eq + 1);
  return "";
}

// Applies one assignment and returns its report line; throws XMP_Error for arrays and
// structures, which set does not write.
std::string Apply(SXMPMeta& meta, const Assignment& a) {
  std::string old;
  XMP_OptionBits options = 0;
  const bool existed = meta.GetProperty(a.mNamespace, a.mPath, &old, &options);
  if (existed && (options & kXMP_PropArrayIsAltText)) {
    meta.GetLocalizedText(a.mNamespace, a.mPath, "", "x-default", nullptr, &old);
    meta.SetLocalizedText(a.mNamespace, a.mPath, "", "x-default", a.mValue);
  } else if (existed && (options & kXMP_PropCompositeMask)) {
    throw XMP_Error(kXMPErr_BadParam, a.mPath + " is an array or structure, not a simple property");
  } else {
    meta.SetProperty(a.mNamespace, a.mPath, a.mValue);
  }
  if (!existed) return a.mPath + ": (none) -> '" + a.mValue + "'";
  if (old == a.mValue) return a.mPath + ": '" + old + "' (unchanged)";
  return a.mPath + ": '" + old + "' -> '" + a.mValue + "'";
}

int RunSet(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: veltmeta set FILE PREFIX:NAME=VALUE...\n");
    return 2;
  }
  SXMPMeta::Initialize();
  SXMPFiles::Initialize();
  const std::string& path = args[0];
  int status = 0;
  try {
    std::vector<Assignment> assignments(args.size() - 1);
    for (std::size_t i = 1; i < args.size(); ++i) {
      std::string error = ParseAssignment(args[i], &assignments[i - 1]);
      if (!error.empty()) throw XMP_Error(kXMPErr_BadParam, error);
    }
    SXMPFiles file(path, kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
    SXMPMeta meta;
    file.GetXMP(&meta);
    std::vector<std::string> report;
    for (const Assignment& a : assignments)
      report.push_back(Apply(meta, a));
    file.PutXMP(meta);
    file.CloseFile();
    for (const std::string& line : report)
      std::printf("%s: %s\n", path.c_str(), line.c_str());
  } catch (const XMP_Error& e) {
    std::fprintf(stderr, "veltmeta set: cannot write '%s': %s\n", path.c_str(), e.GetErrMsg());
    status = 1;
  }
  SXMPFiles::Terminate();
  SXMPMeta::Terminate();
  return status;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{{"set", "set FILE PREFIX:NAME=VALUE...",
                                        "write simple XMP properties into a media file", &RunSet}};
