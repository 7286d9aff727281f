// veltmeta packet [--normalize] FILE: reads a raw XMP packet and prints every leaf as JSON
// ([namespace URI, XMP path, value] per leaf, in document order), or with --normalize the
// packet as the toolkit writes it. Warnings about recoveries made while reading go to stderr
// and do not change the exit status.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "Session.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Warnings.h"

namespace {

using veltmeta::JsonString;

void PrintLeaves(const SXMPMeta& meta) {
  SXMPIterator it(meta, kXMP_IterJustLeafNodes);
  std::string ns, path, value;
  XMP_OptionBits options = 0;
  bool first = true;
  std::printf("[");
  while (it.Next(&ns, &path, &value, &options)) {
    if (options & kXMP_SchemaNode) continue;
    std::printf("%s\n  [%s, %s, %s]", first ? "" : ",", JsonString(ns).c_str(),
                JsonString(path).c_str(), JsonString(value).c_str());
    first = false;
  }
  std::printf("%s]\n", first ? "" : "\n");
}

int RunPacket(const std::vector<std::string>& args) {
  bool normalize = false;
  std::string file;
  for (const auto& arg : args) {
    if (arg == "--normalize") {
      normalize = true;
    } else if (file.empty() && (arg.empty() || arg[0] != '-' || arg == "-")) {
      file = arg;
    } else {
      std::fprintf(stderr, "veltmeta packet: unexpected argument '%s'\n", arg.c_str());
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: veltmeta packet [--normalize] FILE\n");
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "veltmeta packet: cannot read '%s'\n", file.c_str());
    return 1;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  XMP_WarningScope warnings([](const std::string& message) {
    std::fprintf(stderr, "veltmeta packet: warning: %s\n", message.c_str());
  });
  try {
    veltmeta::Session session(veltmeta::Session::Scope::kXMPCore);
    SXMPMeta meta;
    meta.ParseFromBuffer(bytes);
    if (normalize) {
      std::string packet;
      meta.SerializeToBuffer(&packet, 0, 1);  // a complete packet with minimal padding
      std::printf("%s\n", packet.c_str());
    } else {
      PrintLeaves(meta);
    }
  } catch (const XMP_Error& e) {
    std::fprintf(stderr, "veltmeta packet: '%s' is not a valid XMP packet: %s\n", file.c_str(),
                 e.GetErrMsg());
    return 1;
  }
  return 0;
}

}  // namespace

static veltmeta::CommandRegistrar kReg{
    {"packet", "packet [--normalize] FILE",
     "print every leaf of an XMP packet as JSON, or the re-serialized packet", &RunPacket}};
