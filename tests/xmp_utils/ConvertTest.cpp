// Value conversions: dates in every partial form, booleans and numbers, with bad texts.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "xmp/SXMPUtils.h"

namespace {

XMP_DateTime Date(const std::string& text) {
  return SXMPUtils::ConvertToDate(text);
}

// Runs `body` with the process time zone set to `zone`, restoring the old one afterwards.
template <typename Body>
void WithTimeZone(const char* zone, Body body) {
  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", zone, 1);
  tzset();
  body();
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(DateConversion, PartialFormsKeepExactlyTheirParts) {
  XMP_DateTime year = Date("2024");
  EXPECT_TRUE(year.hasDate);
  EXPECT_FALSE(year.hasTime);
  EXPECT_EQ(year.year, 2024);
  EXPECT_EQ(year.month, 0);
  EXPECT_EQ(Date("2024-02").month, 2);
  EXPECT_EQ(Date("2024-02").day, 0);

  XMP_DateTime minutes = Date("2024-02-29T13:05");
  EXPECT_TRUE(minutes.hasTime);
  EXPECT_FALSE(minutes.hasTimeZone);
  EXPECT_EQ(minutes.hour, 13);
  EXPECT_EQ(minutes.minute, 5);

  XMP_DateTime full = Date("2024-02-29T13:05:09.25-07:30");
  EXPECT_EQ(full.second, 9);
  EXPECT_EQ(full.nanoSecond, 250000000);
  EXPECT_TRUE(full.hasTimeZone);
  EXPECT_EQ(full.tzSign, kXMP_TimeWestOfUTC);
  EXPECT_EQ(full.tzHour, 7);
  EXPECT_EQ(full.tzMinute, 30);

  // "Z" and "+00:00" are the same instant but keep their spelling.
  EXPECT_EQ(Date("2024-01-01T00:00Z").tzSign, kXMP_TimeIsUTC);
  EXPECT_EQ(Date("2024-01-01T00:00+00:00").tzSign, kXMP_TimeEastOfUTC);

  XMP_DateTime timeOnly = Date("T08:30:15");
  EXPECT_FALSE(timeOnly.hasDate);
  EXPECT_EQ(timeOnly.second, 15);

  XMP_DateTime bc = Date("-0044-03-15");
  EXPECT_EQ(bc.year, -44);
  EXPECT_EQ(bc.day, 15);
  EXPECT_EQ(Date("12345-06").year, 12345);
}

TEST(DateConversion, TextRoundTripsInCanonicalForm) {
  for (const char* text :
       {"2024", "2024-02", "2024-02-29", "2024-02-29T13:05", "2024-02-29T13:05:09",
        "2024-02-29T13:05:09.123456789Z", "2024-02-29T13:05:09.5+05:45", "-0044-03-15",
        "0000-01-01", "T08:30", "12345-12-31T23:59:59-12:00", "2024-01-01T00:00+00:00"}) {
    EXPECT_EQ(SXMPUtils::ConvertFromDate(Date(text)), text);
  }
  // Zero seconds are dropped, fractions lose trailing zeros, digits past nanoseconds too.
  EXPECT_EQ(SXMPUtils::ConvertFromDate(Date("2024-02-29T13:05:00Z")), "2024-02-29T13:05Z");
  EXPECT_EQ(SXMPUtils::ConvertFromDate(Date("2024-02-29T13:05:01.1000")), "2024-02-29T13:05:01.1");
  EXPECT_EQ(SXMPUtils::ConvertFromDate(Date(" 2024-02-29T13:05:01.1234567891 ")),
            "2024-02-29T13:05:01.123456789");
  EXPECT_EQ(SXMPUtils::ConvertFromDate(Date("2024-02-29T13:05+0530")), "2024-02-29T13:05+05:30");
}

TEST(DateConversion, InvalidTextsAndRecordsRaiseClearErrors) {
  for (const char* bad : {"",
                          "   ",
                          "24",
                          "2024-",
                          "2024-13",
                          "2024-00-10",
                          "2023-02-29",
                          "2024-04-31",
                          "2024-01-01T",
                          "2024-01-01T24:00",
                          "2024-01-01T10:60",
                          "2024-01-01T10:00:61",
                          "2024-01-01T10:00:00.",
                          "2024-01-01T10:00+25:00",
                          "2024-01-01 10:00:00",
                          "2024:01:01",
                          "2024-01-01T10:00Zjunk",
                          "20240101",
                          "--2024",
                          "2024-1-1",
                          "2024-01T10:00"}) {
    try {
      SXMPUtils::ConvertToDate(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const XMP_Error& e) {
      EXPECT_EQ(e.GetID(), kXMPErr_BadValue) << bad;
      EXPECT_NE(std::string(e.GetErrMsg()).find("invalid date"), std::string::npos) << bad;
    }
  }
  XMP_DateTime record = Date("2024-01-31");
  record.day = 32;
  EXPECT_THROW(SXMPUtils::ConvertFromDate(record), XMP_Error);
  record = Date("2024-01-31T10:00Z");
  record.tzSign = 2;
  EXPECT_THROW(SXMPUtils::ConvertFromDate(record), XMP_Error);
}

TEST(DateConversion, ZoneMovesKeepTheInstant) {
  WithTimeZone("EST5EDT,M3.2.0,M11.1.0", [] {  // New York rules, without tzdata
    // Summer: UTC-4. The move crosses midnight and a month end.
    XMP_DateTime time = Date("2024-07-01T02:30:10.5+02:00");
    SXMPUtils::ConvertToLocalTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "2024-06-30T20:30:10.5-04:00");
    // Winter offset at that instant, not today's.
    time = Date("2024-01-15T12:00Z");
    SXMPUtils::ConvertToLocalTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "2024-01-15T07:00-05:00");
    SXMPUtils::ConvertToUTCTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "2024-01-15T12:00Z");
    // Leap day and a year before 0 move through the calendar correctly.
    time = Date("-0001-12-31T23:00-02:00");
    SXMPUtils::ConvertToUTCTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "0000-01-01T01:00Z");
    time = Date("2024-02-28T23:30-01:00");
    SXMPUtils::ConvertToUTCTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "2024-02-29T00:30Z");
    // Partial dates have no instant and stay as they are.
    time = Date("2024-02");
    SXMPUtils::ConvertToLocalTime(&time);
    EXPECT_EQ(SXMPUtils::ConvertFromDate(time), "2024-02");

    XMP_DateTime now = SXMPUtils::CurrentDateTime();
    EXPECT_TRUE(now.hasDate && now.hasTime && now.hasTimeZone);
    EXPECT_EQ(now.tzSign, kXMP_TimeWestOfUTC);
    EXPECT_EQ(SXMPUtils::CompareDateTime(Date("2024-01-01T12:00+01:00"), Date("2024-01-01T11:00Z")),
              0);
    EXPECT_LT(SXMPUtils::CompareDateTime(Date("-0001"), Date("0001")), 0);
  });
}

TEST(ValueConversion, BooleansAndNumbers) {
  EXPECT_EQ(SXMPUtils::ConvertFromBool(true), "True");
  EXPECT_EQ(SXMPUtils::ConvertFromBool(false), "False");
  for (const char* yes : {"True", "true", "TRUE", " t ", "Yes", "y", "on", "1"}) {
    EXPECT_TRUE(SXMPUtils::ConvertToBool(yes)) << yes;
  }
  for (const char* no : {"False", "false", "F", "no", "N", "OFF", "0"}) {
    EXPECT_FALSE(SXMPUtils::ConvertToBool(no)) << no;
  }
  for (const char* bad : {"", "2", "truth", "nope"}) {
    EXPECT_THROW(SXMPUtils::ConvertToBool(bad), XMP_Error) << bad;
  }

  EXPECT_EQ(SXMPUtils::ConvertToInt(" -2147483648 "), INT32_MIN);
  EXPECT_EQ(SXMPUtils::ConvertToInt("+007"), 7);
  EXPECT_EQ(SXMPUtils::ConvertToInt("0x7fffffff"), INT32_MAX);
  EXPECT_EQ(SXMPUtils::ConvertToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(SXMPUtils::ConvertToInt64("9223372036854775807"), INT64_MAX);
  for (const char* bad : {"", "2147483648", "-2147483649", "1.5", "12a", "--1", "0x", "- 1"}) {
    EXPECT_THROW(SXMPUtils::ConvertToInt(bad), XMP_Error) << bad;
  }
  EXPECT_THROW(SXMPUtils::ConvertToInt64("9223372036854775808"), XMP_Error);
  EXPECT_EQ(SXMPUtils::ConvertFromInt64(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(SXMPUtils::ConvertFromInt(-7), "-7");

  for (double value : {0.1, -2.5e-300, 1.0 / 3, 1e21, 123456789.0, -0.0}) {
    EXPECT_EQ(SXMPUtils::ConvertToFloat(SXMPUtils::ConvertFromFloat(value)), value);
  }
  EXPECT_EQ(SXMPUtils::ConvertFromFloat(0.1), "0.1");
  EXPECT_EQ(SXMPUtils::ConvertToFloat(" +.5 "), 0.5);
  EXPECT_EQ(SXMPUtils::ConvertToFloat("-2E3"), -2000.0);
  for (const char* bad : {"", "1,5", "abc", "1e999", "inf", "nan", "1.5x"}) {
    EXPECT_THROW(SXMPUtils::ConvertToFloat(bad), XMP_Error) << bad;
  }
  EXPECT_THROW(SXMPUtils::ConvertFromFloat(1.0 / 0.0), XMP_Error);
}

}  // namespace
