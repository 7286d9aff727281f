#include <cstdlib>
#include <ctime>

#include "ValuesFixture.h"
#include "veltcore/DateFormat.h"
#include "veltmetadata/Namespaces.h"
#include "veltmetadata/ValueFormatting.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class ValueFormattingTest : public ValuesFixture {
 protected:
  void SetUp() override {
    ValuesFixture::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    veltcore::datetime::SetTimeLocaleOverride("");
    RegisterValueFormatter({});
    ValuesFixture::TearDown();
  }

  // The display text of `name` in schema `ns` stored as `stored`.
  static std::string Shown(const char* prefix, const char* ns, const char* name,
                           const std::string& stored) {
    const std::string tag = std::string(prefix) + ":" + name;
    return Display(Packet("<" + tag + ">" + stored + "</" + tag + ">"), Prop(ns, name));
  }
  static std::string Exif(const char* name, const std::string& stored) {
    return Shown("exif", kXMP_NS_EXIF, name, stored);
  }
};

TEST_F(ValueFormattingTest, StoredCameraValuesReadAsDisplayTexts) {
  const struct {
    const char* name;
    const char* stored;
    const char* shown;
  } cases[] = {
      {"FNumber", "28/10", "2.8"},
      {"FNumber", "0/1", ">1024"},
      {"FNumber", "11/1", "11"},
      {"ApertureValue", "6/1", "8"},
      {"ExposureTime", "1/250", "1/250 sec"},
      {"ExposureTime", "1/251", "1/250 sec"},
      {"ExposureTime", "15/10", "1.5 sec"},
      {"ExposureTime", "1/2", "0.5 sec"},
      {"ExposureTime", "4000/1", ">1024 sec"},
      {"ShutterSpeedValue", "8/1", "1/250 sec"},  // 2^-8 = 1/256, a nominal 1/250
      {"SubjectDistance", "4294967295/1", "\xE2\x88\x9E"},
      {"SubjectDistance", "0/1", "Unknown"},
      {"SubjectDistance", "35/10", "3.50"},
      {"SubjectDistance", "35/0", "35/0"},
      {"GPSLatitude", "122,25,30W", "122\xC2\xB0 25' 30\" W"},
      {"GPSLatitude", "37,48.6N", "37\xC2\xB0 48' 36.00\" N"},
      {"GPSLatitude", "10,0,0N", "10\xC2\xB0 N"},
      {"GPSLatitude", "0,0,0S", "0\xC2\xB0"},
      {"GPSLongitude", "garbage", "0\xC2\xB0"},
      {"GPSHPositioningError", "3/0", "3/0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exif(c.name, c.stored), c.shown) << c.name << " " << c.stored;
  }
  EXPECT_EQ(Shown("tiff", kXMP_NS_TIFF, "XResolution", "300/1"), "300.00");
  EXPECT_EQ(FormatRational("3/0", 2), "");
  EXPECT_EQ(FormatRational("1/3", 4), "0.3333");
  EXPECT_EQ(FormatGPSCoordinate(""), "");
  {
    veltcore::debug::AssertionCapture capture;
    EXPECT_EQ(FormatGPSCoordinate("1,2,3,4N"), "1\xC2\xB0 N");
    ASSERT_EQ(capture.Count(), 1u);
    EXPECT_EQ(capture.All()[0].mMessage, "Error parsing GPSCoordinate: too many commas");
  }
  // External properties are never formatted.
  EXPECT_EQ(Shown("xmp", "http://ns.adobe.com/xap/1.0/", "Rating", "3"), "3");
  EXPECT_TRUE(NewErrors().empty());
}

TEST_F(ValueFormattingTest, ExposureTimesSnapWithinTwoPercentElseRound) {
  const struct {
    const char* stored;
    const char* shown;
  } cases[] = {
      {"8159/1000000", "1/125 sec"},  // just inside 1/125 + 2%
      {"8170/1000000", "1/120 sec"},  // just outside: rounded in steps of 1/5 s
      {"7841/1000000", "1/125 sec"},  // just inside 1/125 - 2%
      {"1/64", "1/60 sec"},           // a power of two for a nominal time
      {"1/1024", "1/1000 sec"},      {"1/3", "0.3 sec"},       {"55/100", "0.6 sec"},
      {"123/10", "12.0 sec"},        {"1024/1", "1024.0 sec"}, {"10241/10", ">1024 sec"},
      {"1/70000", "1/70000 sec"},    {"0/1", "0 sec"},         {"-1/5", "0 sec"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Exif("ExposureTime", c.stored), c.shown) << c.stored;
}

TEST_F(ValueFormattingTest, ConstructedAndAliasedValues) {
  const std::string dims =
      "<exif:PixelXDimension>6000</exif:PixelXDimension>"
      "<exif:PixelYDimension>4000</exif:PixelYDimension>";
  const std::string x = "<tiff:XResolution>300/1</tiff:XResolution>";
  const std::string iso =
      "<exif:ISOSpeedRatings><rdf:Seq><rdf:li>400</rdf:li></rdf:Seq></exif:ISOSpeedRatings>";
  const struct {
    const char* mName;  // in the aggregate schema
    std::string mBody;
    const char* mShown;
  } cases[] = {
      {"ImageSize", dims, "6000 x 4000"},
      {"ImageSize", dims + "<tiff:Orientation>6</tiff:Orientation>", "4000 x 6000"},
      {"ImageSize",
       "<tiff:ImageWidth>640</tiff:ImageWidth><tiff:ImageLength>480</tiff:ImageLength>",
       "640 x 480"},
      {"ImageResolution", x + "<tiff:YResolution>300/1</tiff:YResolution>", "300.00"},
      {"ImageResolution",
       x + "<tiff:YResolution>150/1</tiff:YResolution><tiff:Orientation>8</tiff:Orientation>",
       "150.00 x 300.00"},
      {"ShutterSpeed", "<exif:ExposureTime>1/60</exif:ExposureTime>", "1/60 sec"},
      {"PhotographicSensitivity", iso, "ISO 400"},
      {"PhotographicSensitivity",
       iso + "<exifEX:PhotographicSensitivity>65535</exifEX:PhotographicSensitivity>"
             "<exifEX:SensitivityType>2</exifEX:SensitivityType>",
       "REI 400"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Display(Packet(c.mBody), Prop(kAggregateNamespace, c.mName)), c.mShown) << c.mBody;
  GetValueResult result = kGetValueResult_Success;
  EXPECT_EQ(Display(Packet("<exif:PixelXDimension>6000</exif:PixelXDimension>"),
                    Prop(kAggregateNamespace, "ImageSize"), &result),
            "<none>");
  EXPECT_EQ(result, kGetValueResult_NoValue);

  const Path lens = Prop(kXMP_NS_ExifEX, "LensModel");
  EXPECT_EQ(Display(Packet("<aux:Lens>XF 23mm</aux:Lens>"), lens), "XF 23mm");
  EXPECT_EQ(
      Display(Packet("<exifEX:LensModel>Own</exifEX:LensModel><aux:Lens>Other</aux:Lens>"), lens),
      "Own");
}

TEST_F(ValueFormattingTest, HostFormatterComesFirstAndSurvivesTerminate) {
  const SXMPMeta meta = Packet(
      "<exif:ExposureTime>1/250</exif:ExposureTime>"
      "<exif:DateTimeOriginal>2026-12-05T15:04:05Z</exif:DateTimeOriginal>"
      "<exif:FNumber>28/10</exif:FNumber>");
  int calls = 0;
  RegisterValueFormatter([&calls](__XMPMeta__*, const Path& path, UTF8String raw) {
    ++calls;
    return path.mPathDescription == "FNumber" ? UTF8String() : "host:" + raw;
  });
  EXPECT_EQ(Display(meta, Prop(kXMP_NS_EXIF, "ExposureTime")), "host:1/250");
  EXPECT_EQ(Display(meta, Prop(kXMP_NS_EXIF, "DateTimeOriginal")), "host:2026-12-05T15:04:05Z");
  EXPECT_EQ(Display(meta, Prop(kXMP_NS_EXIF, "FNumber")), "2.8");  // empty: the table's turn
  EXPECT_EQ(calls, 3);

  Terminate();
  Initialize();
  EXPECT_FALSE(RegisteredValueFormatter().empty());
  RegisterValueFormatter({});
  EXPECT_TRUE(RegisteredValueFormatter().empty());
  EXPECT_EQ(Display(meta, Prop(kXMP_NS_EXIF, "ExposureTime")), "1/250 sec");
}

TEST_F(ValueFormattingTest, DatesFollowTheUserLocale) {
  const Path original = Prop(kXMP_NS_EXIF, "DateTimeOriginal");
  auto shown = [&](const std::string& stored) {
    return Display(Packet("<exif:DateTimeOriginal>" + stored + "</exif:DateTimeOriginal>"),
                   original);
  };
  veltcore::datetime::SetTimeLocaleOverride("en_US.UTF-8");
  EXPECT_EQ(shown("2026-12-05T15:04:05Z"), "12/05/2026 03:04:05 PM");
  EXPECT_EQ(shown("2026-12-05T15:04:05+02:00"), "12/05/2026 01:04:05 PM");  // TZ is UTC
  EXPECT_EQ(shown("2026-12-05"), "12/05/2026");
  veltcore::datetime::SetTimeLocaleOverride("de_DE.UTF-8");
  EXPECT_EQ(shown("2026-12-05T15:04:05Z"), "05.12.2026 15:04:05");
  EXPECT_EQ(shown("1600-12-31T23:59:59Z"), "1600-12-31T23:59:59Z");  // before 1601: as stored
  EXPECT_EQ(shown("2026"), "2026");                                  // no full date: as stored
  EXPECT_EQ(FormatDate("2026-02-30T25:00"), "2026-02-30T25:00");
  EXPECT_TRUE(NewErrors().empty());

  // The environment decides when no override is set; an uninstalled locale gives ISO forms.
  veltcore::datetime::SetTimeLocaleOverride("");
  const char* saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(FormatDate("2026-12-05T15:04:05Z"), "05.12.2026 15:04:05");
  setenv("LC_ALL", "xx_XX.UTF-8", 1);
  EXPECT_EQ(FormatDate("2026-12-05T15:04:05Z"), "2026-12-05 15:04:05");
  if (saved) {
    setenv("LC_ALL", savedValue.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }

  // A stored text that is no date is reported and shown as stored.
  EXPECT_EQ(shown("not a date"), "not a date");
  EXPECT_EQ(NewErrors().size(), 1u);
}

}  // namespace
}  // namespace velttest
