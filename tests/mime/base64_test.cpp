#include "mime/base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <ostream>
#include <string>

namespace pelmora {
namespace {

struct TBase64Case {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TBase64Case& row, std::ostream* os) { *os << row.Name; }
    std::string Input;
    std::string Expected;
};

class Base64Encode : public testing::TestWithParam<TBase64Case> {};

TEST_P(Base64Encode, GivesExpectedLines) { EXPECT_EQ(EncodeBase64(GetParam().Input), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64Encode,
    testing::Values(TBase64Case{"Empty", "", ""},
                    TBase64Case{"OneByteTwoFills", "a", "YQ==\r\n"},
                    TBase64Case{"TwoBytesOneFill", "ab", "YWI=\r\n"},
                    TBase64Case{"ThreeBytesNoFill", "abc", "YWJj\r\n"},
                    TBase64Case{"FiftySevenBytesOneFullLine", std::string(57, '\0'),
                                std::string(76, 'A') + "\r\n"},
                    TBase64Case{"FiftyEightBytesSecondShortLine", std::string(58, '\0'),
                                std::string(76, 'A') + "\r\nAA==\r\n"},
                    TBase64Case{"HighBytes", "\xFF\xFE\xFD", "//79\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

class Base64DecodeLine : public testing::TestWithParam<TBase64Case> {};

TEST_P(Base64DecodeLine, GivesExpectedBytes) {
    EXPECT_EQ(DecodeBase64Line(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64DecodeLine,
    testing::Values(TBase64Case{"FullGroup", "YWJj", "abc"},
                    TBase64Case{"FourthFill", "YWI=", "ab"},
                    TBase64Case{"ThirdFill", "YQ==", "a"},
                    TBase64Case{"FirstFillGivesNothing", "====", ""},
                    TBase64Case{"MissingPaddingStillGivesBytes", "YWJjZA", "abcd"},
                    TBase64Case{"MissingOnePadding", "YWJjZGU", "abcde"},
                    TBase64Case{"SixLoneBitsGiveNothing", "YWJjZ", "abc"},
                    TBase64Case{"FilledGroupsInARow", "YQ==Yg==", "ab"},
                    // An "=" that finishes no group is skipped, not taken as the group's end.
                    TBase64Case{"EqualsAfterFirstCharacterSkipped", "Y=WJj", "abc"},
                    TBase64Case{"LoneEqualsAfterSecondSkipped", "YW=JjZGVm", "abcdef"},
                    TBase64Case{"PaddingSplitByBlanks", "YQ= =Yg==", "ab"},
                    TBase64Case{"ForeignCharactersSkipped", "Y W\tJ!j", "abc"},
                    TBase64Case{"CarriageReturnSkipped", "YWJj\r", "abc"},
                    TBase64Case{"OnlyForeign", "!!!!", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Base64, BodyDecodesLineByLine) {
    EXPECT_EQ(DecodeBase64Body("YWJj\r\nZGVm\r\n"), "abcdef");
    // Bits left over at the end of a line continue on the next one; padding left out at the
    // end still gives the last bytes.
    EXPECT_EQ(DecodeBase64Body("YWJjZG\r\nVm\r\n"), "abcdef");
    EXPECT_EQ(DecodeBase64Body("YW\r\nJjZGVmZw\r\n"), "abcdefg");
    EXPECT_EQ(DecodeBase64Body("YWJjZGVmZw\r\n"), "abcdefg");
    EXPECT_EQ(DecodeBase64Body("  YWJj  \r\n\r\nZGVm"), "abcdef");
    EXPECT_EQ(DecodeBase64Body("YQ=\r\n=\r\nYg=="), "ab");
}

// Long runs go through the wide path (32 characters at a time where the processor allows);
// a foreign character or a line break at any place in a run must fall back without losing
// or shifting a byte.
TEST(Base64, ForeignCharacterAnywhereInALongRun) {
    std::string bytes;
    for (int i = 0; i < 150; ++i) bytes += static_cast<char>(i * 7 + 3);
    std::string encoded = EncodeBase64(bytes);
    encoded.erase(std::remove(encoded.begin(), encoded.end(), '\r'), encoded.end());
    encoded.erase(std::remove(encoded.begin(), encoded.end(), '\n'), encoded.end());
    for (const char* foreign : {"\n", "\r\n", " ", "\x80", "~"}) {
        for (std::size_t at = 0; at <= encoded.size(); ++at) {
            std::string damaged = encoded;
            damaged.insert(at, foreign);
            ASSERT_EQ(DecodeBase64Body(damaged), bytes) << "at " << at;
        }
    }
}

TEST(Base64, RoundTripKeepsEveryByte) {
    std::mt19937 random(11);
    for (std::size_t length : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 1000u, 2281u, 65537u}) {
        std::string bytes(length, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        std::string encoded = EncodeBase64(bytes);
        ASSERT_EQ(DecodeBase64Body(encoded), bytes) << length;
        // Lines of 76 characters, the last one shorter.
        std::size_t start = 0;
        while (start < encoded.size()) {
            std::size_t end = encoded.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            ASSERT_LE(end - start, 76u);
            if (end + 2 < encoded.size()) {
                ASSERT_EQ(end - start, 76u);
            }
            start = end + 2;
        }
    }
}

} // namespace
} // namespace pelmora
