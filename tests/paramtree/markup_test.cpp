#include "paramtree/markup.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

struct TStripCase {
    const char* Name;
    const char* Text;
    const char* Plain;
};

class StripMarkupTest : public testing::TestWithParam<TStripCase> {};

TEST_P(StripMarkupTest, GivesTheCaption) {
    EXPECT_EQ(StripMarkup(GetParam().Text), GetParam().Plain);
}

INSTANTIATE_TEST_SUITE_P(
    NodeTexts, StripMarkupTest,
    testing::Values(
        TStripCase{"AccountNode",
                   "<XID=001><IMG src=\"idx:0\"> <b><font color=\"clNavy\">Default Account</font>"
                   "</b> <font color=\"clBlack\">(a@b.nl)</font> (0/0)",
                   " Default Account (a@b.nl) (0/0)"},
        TStripCase{"ParameterNode", "<XID=104>POP3 server:: <a href=\"EditPOP3\">pop.x.nl</a>",
                   "POP3 server:: pop.x.nl"},
        TStripCase{"PasswordMarkerHidden",
                   "<XID=106><XPWD=s3cret>POP3 Password: <a href=\"EditPOP3Password\">*hidden*</a>",
                   "POP3 Password: *hidden*"},
        TStripCase{"BreaksAndRules", "a<br>b<HR>c<Br>", "a\r\nb\r\nc\r\n"},
        TStripCase{"UnclosedTagStays", "abc <b>def <font", "abc def <font"},
        TStripCase{"EntitiesNotDecoded", "a &lt;b&gt; &amp;", "a &lt;b&gt; &amp;"},
        TStripCase{"UnknownTagRemoved", "<foo bar=\"1\">x</foo>", "x"},
        TStripCase{"Empty", "", ""}),
    [](const auto& info) { return info.param.Name; });

TEST(ParamTest, ReadFindsValueByNameIgnoringCase) {
    const std::string text =
        "<XID=103>Active Pickup: <a href=\"ScheduleMail\">Yes</a> <A HREF=\"Other\">v2</A>";
    EXPECT_EQ(ReadParam(text, "schedulemail"), "Yes");
    EXPECT_EQ(ReadParam(text, "other"), "v2");
    EXPECT_EQ(ReadParam(text, "Schedule"), std::nullopt); // a prefix is not the name
    EXPECT_EQ(ReadParam(text, "Missing"), std::nullopt);
    EXPECT_EQ(ReadParam("<a href=\"x\">open value", "x"), std::nullopt);
    EXPECT_EQ(ReadParam("<a href=\"x", "x"), std::nullopt);
}

TEST(ParamTest, WriteReplacesOnlyTheValue) {
    std::string text = "<XID=102>Request Read-Receipts: <a href=\"RequestReceipts\"> No </a>!";
    ASSERT_TRUE(WriteParam(text, "RequestReceipts", "Yes"));
    EXPECT_EQ(text, "<XID=102>Request Read-Receipts: <a href=\"RequestReceipts\">Yes</a>!");
    ASSERT_TRUE(WriteParam(text, "requestreceipts", ""));
    EXPECT_EQ(ReadParam(text, "RequestReceipts"), "");
    ASSERT_TRUE(WriteParam(text, "RequestReceipts", "No"));
    EXPECT_EQ(ReadParam(text, "RequestReceipts"), "No");
}

TEST(ParamTest, WriteTargetsTheNamedAnchorAmongSeveral) {
    std::string text = "<a href=\"Edit\">same</a> <a href=\"EditPOP3\">same</a>";
    ASSERT_TRUE(WriteParam(text, "EditPOP3", "new"));
    EXPECT_EQ(text, "<a href=\"Edit\">same</a> <a href=\"EditPOP3\">new</a>");
}

TEST(ParamTest, WriteLeavesBrokenAnchorsAlone) {
    for (std::string text :
         {std::string("<a href=\"x\">no closing"), std::string("<a href=\"x\">v<b>bold</b></a>"),
          std::string("no anchor at all")}) {
        std::string before = text;
        EXPECT_FALSE(WriteParam(text, "x", "new")) << before;
        EXPECT_EQ(text, before);
    }
}

TEST(ParamTest, DetailsGiveClassPropsAndValue) {
    const std::string text =
        "<XID=201>Number style: <a href=\"TrackingNumberStyle\" class=\"list\" "
        "props=\"Date-Based,Incremental,Random\">Date-Based</a>";
    auto details = ParamDetails(text, "trackingnumberstyle");
    ASSERT_TRUE(details);
    EXPECT_EQ(details->Class, "LIST");
    EXPECT_EQ(details->Props, "Date-Based,Incremental,Random");
    EXPECT_EQ(details->Value, "Date-Based");
    EXPECT_FALSE(ParamDetails(text, "Other"));
    EXPECT_FALSE(ParamDetails("<a href=\"x\">never closed", "x"));
    // A value without quotes reads as empty and matches nothing.
    EXPECT_FALSE(ParamDetails("<a href=x>v</a>", "x"));
    // Tags that only begin with "a" are not anchors.
    EXPECT_FALSE(ParamDetails("<abbr href=\"x\">v</abbr>", "x"));
}

TEST(EscapeTest, RoundTripsEveryValue) {
    for (std::string value :
         {"a<b>c", "Tom & \"Jerry\"", "&lt; literally", "&amp;quot;", "", "plain"}) {
        std::string escaped = EscapeParam(value);
        EXPECT_EQ(escaped.find_first_of("<>\""), std::string::npos) << escaped;
        EXPECT_EQ(UnescapeParam(escaped), value);
    }
    EXPECT_EQ(EscapeParam("<&>\""), "&lt;&amp;&gt;&quot;");
    EXPECT_EQ(UnescapeParam("&lt;&gt;&amp;&quot;&unknown;&"), "<>&\"&unknown;&");
}

TEST(EscapeTest, EscapedValueSurvivesWriteAndRead) {
    std::string text = "<XID=104>Note: <a href=\"ProjectDescription\">-not set-</a>";
    ASSERT_TRUE(WriteParam(text, "ProjectDescription", EscapeParam("x < y & \"z\"")));
    EXPECT_EQ(UnescapeParam(*ReadParam(text, "ProjectDescription")), "x < y & \"z\"");
    EXPECT_EQ(StripMarkup(text), "Note: x &lt; y &amp; &quot;z&quot;");
}

TEST(PropsTest, SplitsCommaText) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitProps("Date-Based,Incremental,Random"),
              (V{"Date-Based", "Incremental", "Random"}));
    EXPECT_EQ(SplitProps("Two words, other"), (V{"Two words", "other"}));
    EXPECT_EQ(SplitProps("&quot;a,b&quot;,c"), (V{"a,b", "c"}));
    EXPECT_EQ(SplitProps(""), V{});
    EXPECT_EQ(SplitProps("a,,b"), (V{"a", "", "b"}));
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

// Texts made of the characters the grammar cares about, from a fixed seed so a failure
// repeats. Every function must stay within the text and keep its promises on all of them.
TEST(MarkupPropertyTest, RandomMarkupKeepsEveryPromise) {
    const std::string alphabet = "<>&\"=/ #;aAxhrefltgmpquoXID0123456789";
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(next() % 40);
        for (int i = 0; i < length; ++i)
            text += alphabet[next() % alphabet.size()];
        if (round % 3 == 0)
            text = "<a href=\"x\">" + text + "</a>" + text;

        EXPECT_EQ(UnescapeParam(EscapeParam(text)), text);
        StripMarkup(text);
        SplitProps(text);
        NodeCode(text);
        ParamDetails(text, "x");
        std::string written = text;
        if (WriteParam(written, "x", "new&lt;")) {
            EXPECT_EQ(ReadParam(written, "x"), "new&lt;") << text;
        } else {
            EXPECT_EQ(written, text);
        }
    }
}

} // namespace
} // namespace pelmora
