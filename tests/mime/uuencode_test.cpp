#include "mime/uuencode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pelmora {
namespace {

struct TUuCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TUuCase& row, std::ostream* os) { *os << row.Name; }
    std::string Line;
    std::string Expected;
    bool Valid;
};

class UudecodeLineTest : public testing::TestWithParam<TUuCase> {};

TEST_P(UudecodeLineTest, GivesExpectedBytes) {
    std::string out = "prefix";
    EXPECT_EQ(UudecodeLineTo(GetParam().Line, out), GetParam().Valid);
    EXPECT_EQ(out, "prefix" + GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UudecodeLineTest,
    testing::Values(TUuCase{"ThreeBytes", "#86)C", "abc", true},
                    TUuCase{"GraveIsZero", "#86)C`", "abc", true},
                    TUuCase{"SpaceIsZero", "#86) ", std::string("ab@"), true},
                    TUuCase{"MissingBitsAreZero", "#86", std::string("a`\0", 3), true},
                    TUuCase{"CountZeroGivesNothing", "`", "", true},
                    TUuCase{"EmptyLine", "", "", true},
                    TUuCase{"ForeignCharacterDropsLine", "#8a)C", "", false},
                    TUuCase{"ForeignCountDropsLine", "a86)C", "", false},
                    TUuCase{"FullLineUsesSixtyCharacters",
                            "M" + std::string(60, '!') + "~~~",
                            [] {
                                std::string s;
                                for (int i = 0; i < 15; ++i) s += std::string("\x04\x10\x41", 3);
                                return s;
                            }(),
                            true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Uudecode, BodyTrimsEachLine) {
    std::string out;
    UudecodeBodyTo("  #86)C\r\n`\r\n#9&5F\r\n", out);
    EXPECT_EQ(out, "abcdef");
}

} // namespace
} // namespace pelmora
