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
    EXPECT_EQ(EncodeWord("Hello World", "iso-8859-1"), "=?utf-8?Q?Hello_World?=");
    EXPECT_EQ(EncodeWord("caf\xC3\xA9 au lait", "utf-8"), "=?utf-8?Q?caf=C3=A9_au_lait?=");
    EXPECT_EQ(EncodeWord("why?", "utf-8"), "=?utf-8?Q?why=3F?=");
    EXPECT_EQ(EncodeWord("Gr\xFC\xDF Gott", "iso-8859-1"), "=?iso-8859-1?Q?Gr=FC=DF_Gott?=");
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
        TWordsCase{"UnknownLetterIsText", "=?x?Z?a=41?=", "=?x?Z?a=41?="},
        TWordsCase{"TextStartingWithEquals", "=?x?Q?=3Dabc?=", "=abc"},
        TWordsCase{"SurroundingTextKept", "Re: =?iso-8859-1?Q?caf=E9?= ok", "Re: caf\xC3\xA9 ok"},
        TWordsCase{"AdjacentWordsJoined", "=?x?Q?a?= \r\n\t=?x?Q?b?=", "ab"},
        TWordsCase{"SpaceInsideWordsKept", "=?x?Q?a_?= =?x?Q?b?=", "a b"},
        TWordsCase{"TextBetweenWordsKept", "=?x?Q?a?= - =?x?Q?b?=", "a - b"},
        TWordsCase{"CharacterSplitAcrossWords", "=?utf-8?B?0L3Q?= =?utf-8?B?sNC/?=", "\xD0\xBD\xD0\xB0\xD0\xBF"},
        TWordsCase{"Koi8r", "=?koi8-r?B?8NLJ18XU?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        TWordsCase{"ShiftJis", "=?shift_jis?B?g2WDWINn?=", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
        TWordsCase{"Iso2022Jp", "=?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
        TWordsCase{"Windows1251", "=?windows-1251?Q?=CF=F0=E8?=", "\xD0\x9F\xD1\x80\xD0\xB8"},
        TWordsCase{"Gb2312", "=?gb2312?B?1tDOxA==?=", "\xE4\xB8\xAD\xE6\x96\x87"},
        TWordsCase{"LanguageSuffix", "=?utf-8*de?Q?=C3=A4?=", "\xC3\xA4"},
        TWordsCase{"UnknownCharsetReadsAsWindows1252", "=?x-nonsense?Q?caf=E9?=", "caf\xC3\xA9"},
        TWordsCase{"RawLatin1HeaderBytes", "caf\xE9", "caf\xC3\xA9"},
        TWordsCase{"RawUtf8HeaderBytes", "caf\xC3\xA9", "caf\xC3\xA9"},
        TWordsCase{"QuestionMarkLaterNotAClose", "=?x?Q?a?= what?= no", "a what?= no"},
        TWordsCase{"UnclosedWordLeftAlone", "=?x?Q?abc", "=?x?Q?abc"},
        TWordsCase{"BZeroByteDropped", "=?x?B?YQBi?=", "ab"},
        TWordsCase{"QZeroByteDroppedTextAfterKept", "Re: =?utf-8?Q?a=00b?= Nr. 5", "Re: ab Nr. 5"},
        TWordsCase{"DecodedTextNotDecodedAgain", "=?x?Q?=3D=3Fx=3FQ=3Fy=3F=3D?=", "=?x?Q?y?="}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(EncodedWords, RoundTrip) {
    for (std::string text : {"Hello World", "caf\xC3\xA9 \"quoted\" (c) <a> _x_ ?=", "plain"}) {
        EXPECT_EQ(DecodeWords(EncodeWord(text, "utf-8")), text);
    }
}

} // namespace
} // namespace pelmora
