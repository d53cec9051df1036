#include "mime/quoted_printable.h"

#include <gtest/gtest.h>

#include <random>
#include <ostream>
#include <string>

namespace pelmora {
namespace {

struct TQpCase {
    const char* Name;
    // Names the row in test listings instead of dumping its bytes.
    friend void PrintTo(const TQpCase& row, std::ostream* os) { *os << row.Name; }
    std::string Input;
    std::string Expected;
};

std::string Letters(std::size_t n) { return std::string(n, 'x'); }

std::string Repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
}

class QpBodyEncode : public testing::TestWithParam<TQpCase> {};

TEST_P(QpBodyEncode, GivesExpectedText) {
    EXPECT_EQ(EncodeQuotedPrintable(GetParam().Input, TQpMode::Body), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QpBodyEncode,
    testing::Values(
        TQpCase{"Empty", "", ""},
        TQpCase{"ShortLineGetsLineBreak", "abc", "abc\r\n"},
        TQpCase{"FinalBreakNotDoubled", "abc\r\n", "abc\r\n"},
        TQpCase{"HundredLettersSplitAt71", Letters(100), Letters(71) + "=\r\n" + Letters(29) + "\r\n"},
        TQpCase{"SeventyOneLettersStayWhole", Letters(71), Letters(71) + "\r\n"},
        TQpCase{"TripleNeverCut", Letters(70) + "\xE9", Letters(70) + "=\r\n=E9\r\n"},
        TQpCase{"InnerSpaceLiteral", "a b", "a b\r\n"},
        TQpCase{"SpaceBeforeBreakEscaped", "a \r\nb", "a=20\r\nb\r\n"},
        TQpCase{"WhiteRunBeforeBreakEscaped", "a\t \r\n", "a=09=20\r\n"},
        TQpCase{"SpaceAtVeryEndLiteral", "end ", "end \r\n"},
        TQpCase{"EqualsEscaped", "a=b", "a=3Db\r\n"},
        TQpCase{"LoneLineFeedEscaped", "a\nb", "a=0Ab\r\n"},
        TQpCase{"LoneCarriageReturnEscaped", "a\rb", "a=0Db\r\n"},
        TQpCase{"TrailingCarriageReturnEscaped", "a\r", "a=0D\r\n"},
        TQpCase{"HighBytesEscapedUpperHex", "\xC3\xA9", "=C3=A9\r\n"},
        TQpCase{"EscapedRunCountsTowardLength", std::string(30, '='),
                Repeat("=3D", 23) + "=\r\n" + Repeat("=3D", 7) + "\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(QpHeaderEncode, EscapesEverythingAWordMayNotHold) {
    EXPECT_EQ(EncodeQuotedPrintable("Hello World", TQpMode::Header), "Hello=20World");
    EXPECT_EQ(EncodeQuotedPrintable("a_b?c=d\"'()<>", TQpMode::Header),
              "a=5Fb=3Fc=3Dd=22=27=28=29=3C=3E");
    EXPECT_EQ(EncodeQuotedPrintable("x\ty\r\n", TQpMode::Header), "x=09y=0D=0A");
    EXPECT_EQ(EncodeQuotedPrintable("caf\xC3\xA9", TQpMode::Header), "caf=C3=A9");
    // Header mode never breaks lines.
    EXPECT_EQ(EncodeQuotedPrintable(Letters(200), TQpMode::Header), Letters(200));
}

class QpDecode : public testing::TestWithParam<TQpCase> {};

TEST_P(QpDecode, GivesExpectedBytes) { EXPECT_EQ(DecodeQuotedPrintable(GetParam().Input), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, QpDecode,
    testing::Values(TQpCase{"UpperHex", "=41=42", "AB"},
                    TQpCase{"LowerHexAccepted", "caf=e9", "caf\xE9"},
                    TQpCase{"MixedCaseHex", "=c3=A9", "\xC3\xA9"},
                    TQpCase{"SoftBreakJoins", "ab=\r\ncd", "abcd"},
                    TQpCase{"HardBreakKept", "ab\r\ncd", "ab\r\ncd"},
                    TQpCase{"StrayEqualsKept", "a=ZZb", "a=ZZb"},
                    TQpCase{"HalfBadEscapeKept", "a=4Gb", "a=4Gb"},
                    TQpCase{"SoftBreakAfterWhiteSpace", "a= \t\r\nb", "ab"},
                    TQpCase{"EqualsAtEndStops", "abc=", "abc"},
                    TQpCase{"EqualsWithOneCharKept", "abc=4", "abc=4"},
                    TQpCase{"NoEscapes", "plain text", "plain text"},
                    TQpCase{"SoftBreakBeforeBareLineFeed", "ab=\ncd", "abcd"},
                    TQpCase{"EqualsBeforeLoneCarriageReturnKept", "ab=\rcd", "ab=\rcd"},
                    TQpCase{"EscapeRunInLongLine", std::string(40, 'x') + "=C3=A9=C3=A9" + std::string(40, 'y'),
                            std::string(40, 'x') + "\xC3\xA9\xC3\xA9" + std::string(40, 'y')},
                    TQpCase{"EndlessBlanksAfterEqualsAreText", "a=" + std::string(1000, ' ') + "\r\nb",
                            "a=" + std::string(1000, ' ') + "\r\nb"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(QuotedPrintable, BodyRoundTripKeepsEveryByte) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& c : bytes) {
            // Bias toward the characters with special rules.
            static const char special[] = " \t\r\n=xX";
            c = random() % 3 == 0 ? special[random() % 7] : static_cast<char>(random() % 256);
        }
        std::string encoded = EncodeQuotedPrintable(bytes, TQpMode::Body);
        std::string decoded = DecodeQuotedPrintable(encoded);
        // The encoder ends every text with a line break; a text that did not end in one
        // decodes with it added.
        std::string expected = bytes;
        if (!expected.empty() && (expected.size() < 2 || expected.substr(expected.size() - 2) != "\r\n"))
            expected += "\r\n";
        ASSERT_EQ(decoded, expected) << "round " << round;
        std::size_t start = 0;
        while (start < encoded.size()) {
            std::size_t end = encoded.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            ASSERT_LE(end - start, 72u) << "encoded line too long";
            start = end + 2;
        }
    }
}

// A text handed over in two pieces decodes as it does whole, wherever it is cut: through an
// escape, between "=" and the blanks of a soft break, between CR and LF.
TEST(QuotedPrintable, PiecesDecodeAsTheWhole) {
    const std::string text = "Gr=C3=BC=c3=9Fe =\r\nan alle=  \t\r\nund a=3Db= =ZZ x=4\r\n" +
                             std::string(40, 'z') + "=\n=E9=\r=";
    const std::string whole = DecodeQuotedPrintable(text);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        TQuotedPrintableDecoder decoder;
        std::string buffer(TQuotedPrintableDecoder::MaxOutput(text.size()), '#');
        std::size_t n = decoder.Decode(std::string_view(text).substr(0, cut), buffer.data());
        n += decoder.Decode(std::string_view(text).substr(cut), buffer.data() + n);
        n += decoder.Finish(buffer.data() + n);
        ASSERT_EQ(buffer.substr(0, n), whole) << "cut at " << cut;
    }
}

TEST(QuotedPrintable, HeaderRoundTripKeepsEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(all, TQpMode::Header)), all);
}

} // namespace
} // namespace pelmora
