#include "mime/mail_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <ostream>
#include <string>

namespace pelmora {
namespace {

constexpr double OneSecond = 1.0 / 86400.0;

struct TDateCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TDateCase& row, std::ostream* os) { *os << row.Name; }
    const char* Text;
    int Year, Month, Day, Hour, Minute, Second;
    int ZoneMinutes; // east of UTC
};

class ParseMailDateTest : public testing::TestWithParam<TDateCase> {};

TEST_P(ParseMailDateTest, ReadsLocalTime) {
    const TDateCase& c = GetParam();
    double utc = 0;
    ASSERT_TRUE(EncodeDayCount(c.Year, c.Month, c.Day, utc));
    double expectedSeconds = (utc - 25569) * 86400.0 + c.Hour * 3600 + c.Minute * 60 + c.Second -
                             c.ZoneMinutes * 60.0;
    double parsed = ParseMailDate(c.Text);
    ASSERT_NE(parsed, 0.0) << c.Text;
    EXPECT_NEAR(UnixSecondsFromLocal(parsed), expectedSeconds, 0.1) << c.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseMailDateTest,
    testing::Values(TDateCase{"Gmt", "Tue, 05 Mar 2024 14:07:09 GMT", 2024, 3, 5, 14, 7, 9, 0},
                    TDateCase{"EastZone", "Tue, 05 Mar 2024 14:07:09 +0200", 2024, 3, 5, 14, 7, 9, 120},
                    TDateCase{"WestZoneWithMinutes", "Tue, 05 Mar 2024 14:07:09 -0330", 2024, 3, 5, 14, 7, 9, -210},
                    TDateCase{"NoWeekday", "5 Mar 2024 14:07:09 +0000", 2024, 3, 5, 14, 7, 9, 0},
                    TDateCase{"NoSecondsWithZone", "Tue, 05 Mar 2024 14:07 +0100", 2024, 3, 5, 14, 7, 0, 60},
                    TDateCase{"TwoDigitYear99", "Fri, 31 Dec 99 23:59:59 GMT", 1999, 12, 31, 23, 59, 59, 0},
                    TDateCase{"TwoDigitYear05", "Sat, 01 Jan 05 00:00:00 GMT", 2005, 1, 1, 0, 0, 0, 0},
                    TDateCase{"CommentAfterZone", "Tue, 05 Mar 2024 14:07:09 +0100 (CET)", 2024, 3, 5, 14, 7, 9, 60},
                    TDateCase{"NumericSlashes", "05/03/2024 10:00:00 GMT", 2024, 3, 5, 10, 0, 0, 0},
                    TDateCase{"NamedZoneEst", "Tue, 05 Mar 2024 14:07:09 EST", 2024, 3, 5, 14, 7, 9, -300},
                    TDateCase{"NamedZonePdtAnyCase", "Tue, 05 Mar 2024 14:07:09 pdt", 2024, 3, 5, 14, 7, 9, -420},
                    TDateCase{"UnknownZoneNameIsUtc", "Tue, 05 Mar 2024 14:07:09 XYZT", 2024, 3, 5, 14, 7, 9, 0},
                    TDateCase{"LowerCaseMonthAndDay", "tue, 05 mar 2024 14:07:09 +0000", 2024, 3, 5, 14, 7, 9, 0},
                    TDateCase{"UpperCaseFullMonth", "05 DECEMBER 2024 14:07:09 +0000", 2024, 12, 5, 14, 7, 9, 0},
                    TDateCase{"Rfc850", "Sunday, 06-Nov-94 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, 0},
                    TDateCase{"Asctime", "Sun Nov  6 08:49:37 1994", 1994, 11, 6, 8, 49, 37, 0},
                    TDateCase{"ThreeDigitYear", "Sat, 01 Jan 105 00:00:00 GMT", 2005, 1, 1, 0, 0, 0, 0},
                    TDateCase{"TwoDigitYear00", "Sat, 01 Jan 00 00:00:00 GMT", 2000, 1, 1, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ParseMailDate, InvalidGivesZero) {
    for (const char* text : {"", "garbage", "Tue, 31 Apr 2024 10:00:00 GMT", "Tue, 00 Mar 2024 10:00:00 GMT",
                             "Tue, 05 Mar 2024 10:00:00 +2500", "Tue, 05 Mar 2024 10:00:00 +0160",
                             "Tue, 05 13 2024 10:00:00 GMT", "Tue, 05 Mar 0 10:00:00 GMT",
                             "05 Mrz 2024 00:00:00 GMT"}) {
        EXPECT_EQ(ParseMailDate(text), 0.0) << text;
    }
}

TEST(FormatMailDate, WritesFieldsAndCurrentZone) {
    double date = 0;
    ASSERT_TRUE(EncodeDayCount(2024, 3, 5, date));
    std::string text = FormatMailDate(date + (14 * 3600 + 7 * 60 + 9) / 86400.0);
    EXPECT_EQ(text.substr(0, 26), "Tue, 05 Mar 2024 14:07:09 ");
    EXPECT_TRUE(std::regex_match(text.substr(26), std::regex("GMT|[+-][0-9]{4}"))) << text;
    ASSERT_TRUE(EncodeDayCount(1999, 12, 26, date));
    EXPECT_EQ(FormatMailDate(date).substr(0, 26), "Sun, 26 Dec 1999 00:00:00 ");
}

TEST(FormatMailDate, ParsesBackToTheSameTime) {
    double now = NowLocal();
    EXPECT_NEAR(ParseMailDate(FormatMailDate(now)), now, OneSecond);
}

// Dates on both sides of a summer-time change read and write with the offset of their own
// date, not today's.
TEST(MailDate, OffsetOfTheDateItself) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    double winter = ParseMailDate("Mon, 15 Jan 2024 12:00:00 +0000");
    double summer = ParseMailDate("Mon, 15 Jul 2024 12:00:00 +0000");
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(winter, year, month, day, hour, minute, second, dayOfWeek);
    EXPECT_EQ(hour, 13);
    DecodeDayCount(summer, year, month, day, hour, minute, second, dayOfWeek);
    EXPECT_EQ(hour, 14);
    EXPECT_EQ(FormatMailDate(summer), "Mon, 15 Jul 2024 14:00:00 +0200");
    EXPECT_EQ(FormatMailDate(winter), "Mon, 15 Jan 2024 13:00:00 +0100");
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(MailDate, StampHasFourteenDigits) {
    double date = 0;
    ASSERT_TRUE(EncodeDayCount(2026, 1, 2, date));
    EXPECT_EQ(LocalStamp14(date + (3 * 3600 + 4 * 60 + 5) / 86400.0), "20260102030405");
}

} // namespace
} // namespace pelmora
