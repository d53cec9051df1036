#include "mime/encoded_words.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pelmora {
namespace {

TEST(EncodeWord, PlainWordStaysPlain) {
    EXPECT_EQ(EncodeWord("Hello", "iso-8859-1"), "Hello");
    EXPECT_EQ(EncodeWord("a.b-c@d", "iso-8859-1"), "a.b-c@d");
}

TEST(EncodeWord, AnythingSpecialMakesOneWord) {
    EXPECT_EQ(EncodeWord("Hello World", "iso-8859-1"), "=?iso-8859-1?Q?Hello=20World?=");
    EXPECT_EQ(EncodeWord("caf\xC3\xA9", "utf-8"), "=?utf-8?Q?caf=C3=A9?=");
    EXPECT_EQ(EncodeWord("why?", "utf-8"), "=?utf-8?Q?why=3F?=");
}

struct TWordsCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TWordsCase& row, std::ostream* os) { *os << row.Name; }
    std::string Input;
    std::string Expected;
};

class DecodeWordsTest : public testing::TestWithParam<TWordsCase> {};

TEST_P(DecodeWordsTest, GivesExpectedText) { EXPECT_EQ(DecodeWords(GetParam().Input), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeWordsTest,
    testing::Values(
        TWordsCase{"PlainTrimmed", "  plain text ", "plain text"},
        TWordsCase{"QWord", "=?iso-8859-1?Q?Hello=20World?=", "Hello World"},
        TWordsCase{"QUnderscoreIsSpace", "=?x?Q?a_b?=", "a b"},
        TWordsCase{"LowerCaseLetter", "=?x?q?a_b?=", "a b"},
        TWordsCase{"BWord", "=?utf-8?B?Y2Fmw6k=?=", "caf\xC3\xA9"},
        TWordsCase{"UWord", "=?x?U?#86)C?=", "abc"},
        TWordsCase{"UnknownLetterReadAsQ", "=?x?Z?a=41?=", "aA"},
        TWordsCase{"TextStartingWithEquals", "=?x?Q?=3Dabc?=", "=abc"},
        TWordsCase{"SurroundingTextKept", "Re: =?x?Q?caf=E9?= ok", "Re: caf\xE9 ok"},
        TWordsCase{"WhiteSpaceBetweenWordsStays", "=?x?Q?a?= =?x?Q?b?=", "a b"},
        TWordsCase{"QuestionMarkLaterNotAClose", "=?x?Q?a?= what?= no", "a what?= no"},
        TWordsCase{"UnclosedWordLeftAlone", "=?x?Q?abc", "=?x?Q?abc"},
        TWordsCase{"BZeroByteEnds", "=?x?B?YQBi?=", "a"},
        TWordsCase{"DecodedTextNotDecodedAgain", "=?x?Q?=3D=3Fx=3FQ=3Fy=3F=3D?=", "=?x?Q?y?="}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(EncodedWords, RoundTrip) {
    for (std::string text : {"Hello World", "caf\xC3\xA9 \"quoted\" (c) <a> _x_ ?=", "plain"}) {
        EXPECT_EQ(DecodeWords(EncodeWord(text, "utf-8")), text);
    }
}

} // namespace
} // namespace pelmora
