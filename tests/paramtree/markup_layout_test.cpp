#include "paramtree/markup_layout.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

const TMarkupRun* FindText(const TMarkupLayout& layout, const std::string& text) {
    for (const auto& run : layout.Runs) {
        if (run.Kind == TMarkupRunKind::Text && run.Text == text)
            return &run;
    }
    return nullptr;
}

TEST(MarkupLayoutTest, DrawsImageAndStyledTextAndSkipsOwnCodes) {
    auto layout = ParseMarkupLayout("<XID=100><img src=\"IDX:3\"> <b><font color=\"clPurple\">"
                                    "Project:</font></b> <a href=\"ChangeProjName\">Alpha</a>");
    ASSERT_FALSE(layout.Runs.empty());
    EXPECT_EQ(layout.Runs[0].Kind, TMarkupRunKind::Image);
    EXPECT_EQ(layout.Runs[0].Image.Source, TMarkupImageSource::Index);
    EXPECT_EQ(layout.Runs[0].Image.Index, 3);

    const TMarkupRun* label = FindText(layout, "Project:");
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->Style.Bold);
    EXPECT_EQ(label->Style.Colour, (TMarkupColour{false, 0x800080, 0}));
    EXPECT_EQ(label->ParamIndex, -1);

    const TMarkupRun* value = FindText(layout, "Alpha");
    ASSERT_TRUE(value);
    EXPECT_FALSE(value->Style.Bold);
    EXPECT_FALSE(value->Style.Colour);
    ASSERT_EQ(value->ParamIndex, 0);
    EXPECT_EQ(layout.Params[0].Href, "ChangeProjName");
    EXPECT_EQ(LayoutPlainText(layout), " Project: Alpha");
}

TEST(MarkupLayoutTest, ColoursByHashAndByNameAgree) {
    auto byHash = ParseMarkupLayout("<font color=\"#00FF00\">x</font>");
    auto byName = ParseMarkupLayout("<font color=\"clLime\">x</font>");
    ASSERT_TRUE(FindText(byHash, "x") && FindText(byName, "x"));
    EXPECT_EQ(FindText(byHash, "x")->Style.Colour, (TMarkupColour{false, 0x00FF00, 0}));
    EXPECT_EQ(FindText(byHash, "x")->Style.Colour, FindText(byName, "x")->Style.Colour);
}

TEST(MarkupLayoutTest, ColourNames) {
    EXPECT_EQ(ParseMarkupColour("clNavy"), (TMarkupColour{false, 0x000080, 0}));
    EXPECT_EQ(ParseMarkupColour("clHighlight"), (TMarkupColour{true, 0, 13}));
    EXPECT_EQ(ParseMarkupColour("clNoSuchColour"), (TMarkupColour{false, 0, 0}));
    EXPECT_EQ(ParseMarkupColour("#12345"), std::nullopt);
    EXPECT_EQ(ParseMarkupColour("#zz0000"), std::nullopt);
    EXPECT_EQ(ParseMarkupColour("red"), std::nullopt);
    // FONT COLOR: anything not starting with "c" is used only from its "#".
    EXPECT_EQ(ParseFontColour("x#FF0000"), (TMarkupColour{false, 0xFF0000, 0}));
    EXPECT_EQ(ParseFontColour("red"), std::nullopt);
    EXPECT_EQ(ParseFontColour("Cyan"), (TMarkupColour{false, 0, 0}));
}

TEST(MarkupLayoutTest, UnquotedColourAndBgcolorAreNotConfused) {
    auto layout = ParseMarkupLayout("<font color=#303090 bgcolor=\"clYellow\">p</font>q");
    const TMarkupRun* p = FindText(layout, "p");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Style.Colour, (TMarkupColour{false, 0x303090, 0}));
    EXPECT_EQ(p->Style.Background, (TMarkupColour{false, 0xFFFF00, 0}));
    const TMarkupRun* q = FindText(layout, "q");
    ASSERT_TRUE(q);
    EXPECT_FALSE(q->Style.Colour); // </font> restores the control's font
}

TEST(MarkupLayoutTest, TextRunsDecodeEntitiesOnce) {
    auto layout = ParseMarkupLayout("a &lt;b&gt; &amp;lt; &quot;q&quot;");
    EXPECT_EQ(LayoutPlainText(layout), "a <b> &lt; \"q\"");
}

TEST(MarkupLayoutTest, BrokenAndHiddenMarkup) {
    EXPECT_EQ(LayoutPlainText(ParseMarkupLayout("text <b unclosed")), "text <b unclosed");
    EXPECT_EQ(LayoutPlainText(ParseMarkupLayout("a<z>hidden<b>x</b></z>b")), "ab");
    EXPECT_EQ(LayoutPlainText(ParseMarkupLayout("<#shown> as text")), "shown as text");
    EXPECT_EQ(LayoutPlainText(ParseMarkupLayout("<unknown attr=\"1\">x</unknown>")), "x");
    EXPECT_EQ(LayoutPlainText(ParseMarkupLayout("1<br>2<p align=\"right\">3</p>4")), "1\n23\n4");
}

TEST(MarkupLayoutTest, ImagesInsideAnAnchorBelongToTheParameter) {
    auto layout = ParseMarkupLayout(
        "<a href=\"pick\"><img src=\"file://pics/a.bmp\" width=\"10\" height=\"12\" "
        "align=\"middle\"></a><img src=\"nowhere\">");
    ASSERT_EQ(layout.Runs.size(), 2u);
    EXPECT_EQ(layout.Runs[0].ParamIndex, 0);
    EXPECT_EQ(layout.Runs[0].Image.Source, TMarkupImageSource::File);
    EXPECT_EQ(layout.Runs[0].Image.Location, "pics/a.bmp");
    EXPECT_EQ(layout.Runs[0].Image.Width, 10);
    EXPECT_EQ(layout.Runs[0].Image.Height, 12);
    EXPECT_EQ(layout.Runs[0].Image.Align, TMarkupImageAlign::Middle);
    EXPECT_EQ(layout.Runs[1].ParamIndex, -1);
    EXPECT_EQ(layout.Runs[1].Image.Index, -1); // an unknown source draws nothing
}

TEST(MarkupLayoutTest, StylesEndAtTheirClosingTags) {
    auto layout = ParseMarkupLayout("<i><u><sub>a</sup>b</u></i><s><sh>c</sh></s>d");
    EXPECT_TRUE(FindText(layout, "a")->Style.Subscript);
    EXPECT_FALSE(FindText(layout, "b")->Style.Subscript);
    EXPECT_TRUE(FindText(layout, "b")->Style.Underline);
    EXPECT_TRUE(FindText(layout, "c")->Style.Shadow);
    EXPECT_TRUE(FindText(layout, "c")->Style.StrikeOut);
    EXPECT_EQ(FindText(layout, "d")->Style, TMarkupStyle{});
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

TEST(MarkupLayoutTest, RandomMarkupNeverBreaksTheLayout) {
    const std::string alphabet = "<>&\"=/ #;abisuzfontcolrhpimgsrcidx:AHREF0123456789";
    uint32_t state = 777;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(next() % 60);
        for (int i = 0; i < length; ++i)
            text += alphabet[next() % alphabet.size()];
        TMarkupLayout layout = ParseMarkupLayout(text);
        for (const TMarkupRun& run : layout.Runs) {
            EXPECT_LT(run.ParamIndex, static_cast<int>(layout.Params.size())) << text;
            EXPECT_GE(run.ListLevel, 0);
        }
    }
}

} // namespace
} // namespace pelmora
