// `veltmeta packet FILE` and `veltmeta packet --normalize FILE`.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "XMPMetaObject.h"
#include "xmp/SXMPMeta.h"

namespace {

std::string RunPacket(const std::string& args, int* status) {
  return velttest::RunCommand(std::string(VELTMETA_BIN) + " packet " + args + " 2>&1", status);
}

TEST(XMPPacketTool, PrintsLeavesAsJsonAndNormalizedPacket) {
  std::string fixture = velttest::DataFile("xmp_core/exiftool_basic.xmp").string();
  int status = -1;
  std::string json = RunPacket("'" + fixture + "'", &status);
  EXPECT_EQ(status, 0) << json;
  EXPECT_EQ(json.front(), '[');
  for (const char* line :
       {"[\"http://purl.org/dc/elements/1.1/\", \"dc:creator[2]\", \"Bob\"]",
        "[\"http://purl.org/dc/elements/1.1/\", \"dc:title[2]/?xml:lang\", \"fr\"]",
        "[\"http://purl.org/dc/elements/1.1/\", \"dc:title[2]\", \"Coucher \\\"de\\\" soleil\"]",
        "[\"http://purl.org/dc/elements/1.1/\", \"dc:description[1]\", \"Line1\\nLine2",
        "[\"http://ns.adobe.com/xap/1.0/mm/\", \"xmpMM:History[1]/stEvt:action\", \"saved\"]",
        "\"Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:CiAdrCity\", \"Paris\"]"}) {
    EXPECT_NE(json.find(line), std::string::npos) << line << "\n" << json;
  }
  // Document order: the creator items come in sequence.
  EXPECT_LT(json.find("dc:creator[1]"), json.find("dc:creator[2]"));

  std::string packet = RunPacket("--normalize '" + fixture + "'", &status);
  EXPECT_EQ(status, 0);
  SXMPMeta original;
  original.ParseFromBuffer(velttest::ReadFile(fixture));
  SXMPMeta normalized;
  ASSERT_NO_THROW(normalized.ParseFromBuffer(packet)) << packet;
  EXPECT_TRUE(xmpcore::NodesEqual(xmpcore::Tree(original), xmpcore::Tree(normalized)));
}

TEST(XMPPacketTool, BadInputGivesOneLineErrorAndNonZeroStatus) {
  velttest::TempDir dir;
  velttest::WriteFile(dir / "bad.xmp", "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF>");
  int status = 0;
  std::string out = RunPacket("'" + (dir / "bad.xmp").string() + "'", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("not a valid XMP packet"), std::string::npos) << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  out = RunPacket("'" + (dir / "missing.xmp").string() + "'", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("cannot read"), std::string::npos);
  RunPacket("", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
