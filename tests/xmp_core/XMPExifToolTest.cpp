// Interoperability with ExifTool, an independent implementation: packets ExifTool wrote are
// read with the right values, and packets we write are read back by ExifTool.

#include <gtest/gtest.h>

#include <sstream>

#include "CoreTestSupport.h"
#include "TestSupport.h"

namespace {

SXMPMeta ParseFile(const std::string& name) {
  std::string packet = velttest::ReadFile(velttest::DataFile("xmp_core/" + name));
  EXPECT_FALSE(packet.empty()) << name;
  SXMPMeta meta;
  meta.ParseFromBuffer(packet);
  return meta;
}

constexpr auto Get = coretest::Value;

TEST(XMPExifTool, ReadsPacketsWrittenByExifTool) {
  SXMPMeta basic = ParseFile("exiftool_basic.xmp");
  std::string lang, title;
  ASSERT_TRUE(
      basic.GetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", &lang, &title, nullptr));
  EXPECT_EQ(title, "Sunset & <Sea>");
  ASSERT_TRUE(
      basic.GetLocalizedText(kXMP_NS_DC, "dc:title", "fr", "fr-FR", &lang, &title, nullptr));
  EXPECT_EQ(lang, "fr");
  EXPECT_EQ(title, "Coucher \"de\" soleil");
  EXPECT_EQ(basic.CountArrayItems(kXMP_NS_DC, "dc:subject"), 2);
  EXPECT_EQ(Get(basic, kXMP_NS_DC, "dc:subject[2]"), "sea, sand");
  EXPECT_EQ(Get(basic, kXMP_NS_DC, "dc:creator[1]"), "Ann Smith");
  EXPECT_EQ(Get(basic, kXMP_NS_DC, "dc:description[1]"), "Line1\nLine2 \xC3\xA9\xE2\x82\xAC");
  XMP_Int32 rating = 0;
  EXPECT_TRUE(basic.GetProperty_Int(kXMP_NS_XMP, "xmp:Rating", &rating));
  EXPECT_EQ(rating, 4);
  XMP_DateTime created;
  ASSERT_TRUE(basic.GetProperty_Date(kXMP_NS_XMP, "xmp:CreateDate", &created));
  EXPECT_EQ(created.year, 2021);
  EXPECT_EQ(created.second, 7);
  EXPECT_EQ(created.tzHour, 2);
  bool fired = false;
  EXPECT_TRUE(basic.GetProperty_Bool(kXMP_NS_EXIF, "exif:Flash/exif:Fired", &fired));
  EXPECT_TRUE(fired);
  EXPECT_EQ(Get(basic, kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action"), "saved");
  EXPECT_EQ(Get(basic, kXMP_NS_IPTCCore, "Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:CiAdrCity"),
            "Paris");

  SXMPMeta shorthand = ParseFile("exiftool_shorthand.xmp");
  EXPECT_EQ(Get(shorthand, kXMP_NS_XMP, "xmp:Label"), "Red");
  EXPECT_EQ(Get(shorthand, kXMP_NS_Photoshop, "photoshop:City"), "Berlin");
  EXPECT_EQ(Get(shorthand, kXMP_NS_EXIF, "exif:Flash/exif:Fired"), "False");

  SXMPMeta structs = ParseFile("exiftool_structs.xmp");
  EXPECT_EQ(structs.CountArrayItems(kXMP_NS_IPTCExt, "Iptc4xmpExt:LocationShown"), 2);
  EXPECT_EQ(Get(structs, kXMP_NS_IPTCExt, "Iptc4xmpExt:LocationShown[2]/Iptc4xmpExt:City"), "Oslo");
  EXPECT_EQ(
      Get(structs, kXMP_NS_MWG_RS, "mwg-rs:Regions/mwg-rs:RegionList[1]/mwg-rs:Area/stArea:x"),
      "0.5");
  EXPECT_EQ(Get(structs, kXMP_NS_MWG_RS, "mwg-rs:Regions/mwg-rs:AppliedToDimensions/stDim:w"),
            "4000");
  EXPECT_EQ(Get(structs, kXMP_NS_XMP_Rights, "xmpRights:WebStatement"),
            "http://example.com/rights");
}

TEST(XMPExifTool, ExifToolReadsPacketsWeWrite) {
  VELT_REQUIRE_COMMANDS("exiftool");
  SXMPMeta meta;
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "A & B <C> \"D\"");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "de", "Titel \xC3\xBC");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "one");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "two, three");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Ann");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:description", "", "x-default", "multi\nline");
  meta.SetProperty_Int(kXMP_NS_XMP, "xmp:Rating", 3);
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "x'y");
  meta.SetStructField(kXMP_NS_EXIF, "exif:Flash", kXMP_NS_EXIF, "Fired", "True");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action", "saved");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[2]/stEvt:action", "converted");
  meta.SetProperty(kXMP_NS_XMP_Rights, "xmpRights:WebStatement", "http://r/?a&b",
                   kXMP_PropValueIsURI);

  const char* tags =
      "-XMP-dc:Title -XMP-dc:Title-de -XMP-dc:Subject -XMP-dc:Creator -XMP-dc:Description "
      "-XMP-xmp:Rating -XMP-xmp:Label -XMP-exif:FlashFired -XMP-xmpMM:HistoryAction "
      "-XMP-xmpRights:WebStatement";
  // (-s3 prints a line break inside a value as ".")
  const std::string expected =
      "A & B <C> \"D\"\nTitel \xC3\xBC\none|two, three\nAnn\nmulti.line\n3\nx'y\nTrue\n"
      "saved|converted\nhttp://r/?a&b\n";
  velttest::TempDir dir;
  for (XMP_OptionBits options : {XMP_OptionBits(0), kXMP_UseCompactFormat, kXMP_UseCanonicalFormat,
                                 kXMP_OmitAllFormatting}) {
    std::string packet;
    meta.SerializeToBuffer(&packet, options);
    auto file = dir / ("out" + std::to_string(options) + ".xmp");
    velttest::WriteFile(file, packet);
    int status = -1;
    std::string out = velttest::RunCommand(
        "exiftool -q -s3 -n -f -sep '|' " + std::string(tags) + " '" + file.string() + "'",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, expected) << "options " << options << "\n" << packet;
  }
}

}  // namespace
