// veltmeta set FILE... PROPERTY=VALUE...: writes typed properties into the XMP of one or
// more media files through one provider per file under one aggregate, so that every file
// records its own "saved" history event. PROPERTY is a property argument (see
// PropertyArgs.h); VALUE is checked against the property's definition first; an empty
// VALUE deletes; PROPERTY<=FILE takes the value from a file, PROPERTY<=- from standard input.
//
// Everything that can be checked is checked before anything is written: malformed or
// unknown properties and wrong-typed values exit with 2, missing, unreadable, read-only or
// unwritable files with 1, one line on stderr and no file touched. A write that fails is
// reported per file (exit 1); that file stays as it was.
//
// Written values become recently used values of their properties (`veltmeta recent`) unless
// --no-recent is given.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Command.h"
#include "FolderLocks.h"
#include "PropertyArgs.h"
#include "RecentValues.h"
#include "TextConversion.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPUtils.h"

namespace {

using veltmetadata::Path;

struct Assignment {
  std::string mProperty;  // as given
  Path mPath;
  std::string mValue;
};

struct Failure {
  int mStatus;
  std::string mMessage;
};

// "PREFIX:...=..." with an XML-name prefix; a file path never starts that way unless it is
// a bare name with a colon before an equals sign.
bool IsAssignment(const std::string& arg) {
  const std::size_t colon = arg.find(':');
  const std::size_t eq = arg.find('=');
  if (colon == std::string::npos || colon == 0 || eq == std::string::npos || eq < colon) {
    return false;
  }
  const auto start = static_cast<unsigned char>(arg[0]);
  if (!std::isalpha(start) && start != '_') return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const auto c = static_cast<unsigned char>(arg[i]);
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
  }
  return true;
}

// The bytes of a value file, or of standard input for "-".
bool ReadValueSource(const std::string& source, std::string* value) {
  if (source == "-") {
    value->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream in(source, std::ios::binary);
  if (!in) return false;
  value->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// XMP text is UTF-8 without control characters other than tab, line feed and return.
std::string CheckText(const std::string& property, const std::string& value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "%02X", c);
      return property + ": the value holds control character 0x" + code + " at byte " +
             std::to_string(i) + "; XMP cannot store it";
    }
  }
  try {
    SXMPMeta probe;
    probe.SetProperty(kXMP_NS_DC, "dc:source", value);
  } catch (const XMP_Error&) {
    return property + ": the value is not valid UTF-8 text";
  }
  return "";
}

bool IsDecimalInteger(const std::string& text) {
  std::size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

// Checks (and for booleans normalises) a value against the property's definition.
std::string CheckType(Assignment& a) {
  auto def = veltmetadata::PathEntryDefinition(a.mPath);
  const auto type = def && def->mType ? veltmetadata::TypeIdDefinition(*def->mType) : nullptr;
  if (type && !type->mFields.empty()) {
    return a.mProperty + " is a structure; set its fields (" + a.mProperty + "/PREFIX:FIELD)";
  }
  const std::string& v = a.mValue;
  if (def && def->mType && *def->mType == "date") {
    try {
      SXMPUtils::ConvertToDate(v);
      return "";
    } catch (const XMP_Error&) {
      return a.mProperty + ": " + v + " is not an ISO 8601 date (YYYY-MM-DDThh:mm:ss+hh:mm)";
    }
  }
  const auto primitive = veltmetadata::PrimitiveTypeOfPath(a.mPath);
  if (!primitive) return a.mProperty + " has no value type that veltmeta can write";
  switch (*primitive) {
    case veltmetadata::kPrimitiveType_Integer:
      if (!IsDecimalInteger(v)) return a.mProperty + ": " + v + " is not an integer";
      try {
        SXMPUtils::ConvertToInt64(v);
      } catch (const XMP_Error&) {
        return a.mProperty + ": " + v + " is out of range";
      }
      return "";
    case veltmetadata::kPrimitiveType_Real:
      try {
        SXMPUtils::ConvertToFloat(v);
        return "";
      } catch (const XMP_Error&) {
        return a.mProperty + ": " + v + " is not a number";
      }
    case veltmetadata::kPrimitiveType_Boolean: {
      std::string lower;
      for (char c : v)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      // Panels show booleans as Yes and No: what a user reads there is accepted too.
      if (lower == "true" || lower == "1" || lower == "yes")
        a.mValue = "True";
      else if (lower == "false" || lower == "0" || lower == "no")
        a.mValue = "False";
      else
        return a.mProperty + ": " + v + " is not a boolean (True or False)";
      return "";
    }
    case veltmetadata::kPrimitiveType_ClosedChoice: {
      auto choices = def->mChoices;
      if (choices.empty() && type) choices = type->mChoices;
      // The stored value, or the label a panel shows for it (stored as its value).
      std::string allowed;
      for (const auto& choice : choices) {
        if (choice && choice->mRawValue == v) return "";
      }
      for (const auto& choice : choices) {
        if (!choice) continue;
        const std::string label = veltmeta::ToUTF8(choice->mLabel);
        if (!label.empty() && label.size() == v.size() && veltmeta::EditDistance(label, v) == 0) {
          a.mValue = choice->mRawValue;
          return "";
        }
        allowed += (allowed.empty() ? "" : ", ") + choice->mRawValue;
        if (!label.empty() && label != choice->mRawValue) allowed += " (" + label + ")";
      }
      return a.mProperty + ": " + v + " is not one of its choices: " + allowed;
    }
    default:
      return "";
  }
}

// Parses "PROPERTY=VALUE" or "PROPERTY<=SOURCE" into `a`.
Failure ParseAssignment(const std::string& arg, Assignment& a) {
  const std::size_t eq = arg.find('=');
  const bool fromSource = eq > 0 && arg[eq - 1] == '<';
  a.mProperty = arg.substr(0, fromSource ? eq - 1 : eq);
  if (std::string error = veltmeta::ParseProperty(a.mProperty, &a.mPath); !error.empty()) {
    return {2, error};
  }
  a.mValue = arg.substr(eq + 1);
  if (fromSource) {
    const std::string source = a.mValue;
    if (!ReadValueSource(source, &a.mValue)) {
      return {2, a.mProperty + ": cannot read the value from " +
                     (source == "-" ? std::string("standard input") : source)};
    }
  }
  if (std::string error = CheckText(a.mProperty, a.mValue); !error.empty()) return {2, error};
  if (!a.mValue.empty()) {
    if (std::string error = CheckType(a); !error.empty()) return {2, error};
  }
  return {0, ""};
}

// A value as the report shows it: long values by their size, line breaks escaped.
std::string Shown(const std::string& value) {
  std::string out;
  if (value.size() > 200) {
    out.append("<").append(std::to_string(value.size())).append(" bytes>");
    return out;
  }
  for (char c : value) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

std::string CurrentValue(__XMPMeta__* meta, const Path& path) {
  std::string text;
  veltmetadata::GetValueResult result = veltmetadata::kGetValueResult_NoValue;
  veltmetadata::GetValue(meta, path, text, &result);
  switch (result) {
    case veltmetadata::kGetValueResult_Success:
      return Shown(text);
    case veltmetadata::kGetValueResult_MultipleValues:
      return "<multiple values>";
    case veltmetadata::kGetValueResult_NoValue:
      return "<no value>";
    default:
      return "<unreadable value>";
  }
}

// What a commit did: the report lines, and the values written (property as given, value),
// in assignment order.
struct CommitResult {
  std::vector<std::string> mReport;
  std::vector<std::pair<std::string, std::string>> mWritten;
};

// Applies the assignments through one update access on the aggregate; its end is the
// commit, which writes every file.
CommitResult ApplyAndCommit(const veltmeta::ToolProviders& providers,
                            const std::vector<Assignment>& assignments) {
  CommitResult result;
  veltmetadata::MetaDataUpdateAccess access(providers.mAggregate);
  for (const Assignment& a : assignments) {
    const std::string before = CurrentValue(*access, a.mPath);
    const bool changed = a.mValue.empty() ? veltmetadata::DeleteValue(*access, a.mPath)
                                          : veltmetadata::SetValue(*access, a.mPath, a.mValue);
    if (!changed) {
      result.mReport.push_back(a.mProperty + ": unchanged");
      continue;
    }
    access.AddChange(a.mPath);
    const std::string after = a.mValue.empty() ? "<no value>" : CurrentValue(*access, a.mPath);
    result.mReport.push_back(a.mProperty + ": " + before + " -> " + after);
    if (!a.mValue.empty()) result.mWritten.emplace_back(a.mProperty, a.mValue);
  }
  return result;
}

// Puts each written value at the front of its property's recent values. A failure there
// does not undo the write; it is reported as a warning.
void RecordWritten(const std::vector<std::pair<std::string, std::string>>& written) {
  std::string error;
  if (!written.empty() && !veltmeta::RecordRecentValues(written, error))
    std::fprintf(stderr, "veltmeta set: values written, but not kept as recent: %s\n",
                 error.c_str());
}

int RunSet(const std::vector<std::string>& options) {
  std::vector<std::string> args;
  bool recordRecent = true;
  for (const std::string& arg : options) {
    if (arg == "--no-recent")
      recordRecent = false;
    else
      args.push_back(arg);
  }
  // The session first: prefixes of schemas the library loads (lumara, zpx) are known only then.
  veltmeta::ToolSession session;
  std::size_t first = 0;
  while (first < args.size() && !IsAssignment(args[first]))
    ++first;
  if (first == 0 || first == args.size()) {
    std::fprintf(stderr,
                 "usage: veltmeta set [--no-recent] FILE... PROPERTY=VALUE... "
                 "(PROPERTY<=FILE, PROPERTY<=- for standard input)\n");
    return 2;
  }
  const std::vector<std::string> files(args.begin(), args.begin() + static_cast<long>(first));
  std::vector<Assignment> assignments(args.size() - first);
  for (std::size_t i = first; i < args.size(); ++i) {
    if (!IsAssignment(args[i])) {
      const std::size_t colon = args[i].find(':');
      if (colon != std::string::npos && colon < args[i].find('='))
        std::fprintf(stderr, "veltmeta set: unknown prefix '%s' in '%s'\n",
                     args[i].substr(0, colon).c_str(), args[i].c_str());
      else
        std::fprintf(stderr, "veltmeta set: '%s' is not PROPERTY=VALUE\n", args[i].c_str());
      return 2;
    }
    const Failure failure = ParseAssignment(args[i], assignments[i - first]);
    if (failure.mStatus != 0) {
      std::fprintf(stderr, "veltmeta set: %s\n", failure.mMessage.c_str());
      return failure.mStatus;
    }
  }
  const veltmeta::FolderLocks locks(files);
  for (const std::string& file : files) {
    if (std::string error = veltmeta::CheckMediaFile(file, true); !error.empty()) {
      std::fprintf(stderr, "veltmeta set: %s\n", error.c_str());
      return 1;
    }
  }
  session.TakeAssertions();
  const veltmeta::ToolProviders providers = veltmeta::OpenProviders(files, true, session);
  for (const auto& provider : providers.mFiles) {
    if (!provider->ReadError().empty()) {
      std::fprintf(stderr, "veltmeta set: %s: its XMP cannot be read (%s); nothing written\n",
                   provider->File().c_str(), provider->ReadError().c_str());
      return 1;
    }
  }
  const CommitResult result = ApplyAndCommit(providers, assignments);
  std::size_t failed = 0;
  for (const auto& provider : providers.mFiles) {
    if (provider->WriteError().empty()) continue;
    std::fprintf(stderr, "veltmeta set: %s: not written: %s\n", provider->File().c_str(),
                 provider->WriteError().c_str());
    ++failed;
  }
  if (failed == providers.mFiles.size()) return 1;  // nothing changed anywhere
  for (const std::string& line : result.mReport)
    std::printf("%s\n", line.c_str());
  if (recordRecent) RecordWritten(result.mWritten);
  return failed == 0 ? 0 : 1;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"set", "set [--no-recent] FILE... PROPERTY=VALUE...",
     "write typed XMP properties into media files (empty VALUE deletes)", &RunSet}};
