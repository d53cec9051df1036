#include "compose/compose_text.h"

#include <gtest/gtest.h>

namespace pelmora::compose {
namespace {

struct TFieldCase {
    const char* Name;
    const char* Field;
    std::vector<std::pair<std::string, std::string>> Items;
};

class AddressFields : public ::testing::TestWithParam<TFieldCase> {};

TEST_P(AddressFields, SplitIntoNamesAndAddresses) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const TAddressItem& item : SplitAddressField(GetParam().Field, true))
        items.emplace_back(item.Name, item.Address);
    EXPECT_EQ(items, GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AddressFields,
    ::testing::Values(
        TFieldCase{"CommaSeparates", "a@x.org, b@y.org", {{"a@x.org", "a@x.org"}, {"b@y.org", "b@y.org"}}},
        TFieldCase{"NameThenAddress", " Ann Lee (ann@x.org) ; bob@y.org;", {{"Ann Lee", "ann@x.org"}, {"bob@y.org", "bob@y.org"}}},
        TFieldCase{"AddressThenNameFailsLater", "ann@x.org (Ann)", {{"ann@x.org", "Ann"}}},
        TFieldCase{"Empty", "  ;; ", {}},
        TFieldCase{"Unclosed", "Ann (ann@x.org", {{"Ann", "ann@x.org"}}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SubjectPrefix, NeverDoubled) {
    EXPECT_EQ(SubjectWithPrefix("Hello", "Re:"), "Re: Hello");
    EXPECT_EQ(SubjectWithPrefix(" RE: Hello", "Re:"), "RE: Hello");
    EXPECT_EQ(SubjectWithPrefix("re:Hello", "Re:"), "re:Hello");
    EXPECT_EQ(SubjectWithPrefix("Fwd: Hello", "Fw:"), "Fwd: Hello");
    EXPECT_EQ(SubjectWithPrefix("FW: Hello", "Fw:"), "FW: Hello");
    EXPECT_EQ(SubjectWithPrefix("Re: Hello", "Fw:"), "Fw: Re: Hello");
    EXPECT_EQ(SubjectWithPrefix("Regatta", "Re:"), "Re: Regatta");
    EXPECT_EQ(SubjectWithPrefix("", "Re:"), "Re:");
}

struct TNameCase {
    const char* Name;
    const char* Sender;
    const char* Safe;
};

class HostileNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(HostileNames, StayInsideTheirDirectory) {
    const std::string safe = SafeLocalName(GetParam().Sender, "fallback");
    EXPECT_EQ(safe, GetParam().Safe);
    EXPECT_EQ(safe.find('/'), std::string::npos);
    EXPECT_NE(safe, "..");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileNames,
    ::testing::Values(TNameCase{"Plain", "report.pdf", "report.pdf"},
                      TNameCase{"ParentDirectories", "../../.bashrc", "_.bashrc"},
                      TNameCase{"AbsolutePath", "/etc/passwd", "passwd"},
                      TNameCase{"WindowsPath", "C:\\Users\\x\\evil.exe", "evil.exe"},
                      TNameCase{"OnlyDots", "...", "fallback"},
                      TNameCase{"Empty", "", "fallback"},
                      TNameCase{"TrailingSlash", "dir/", "fallback"},
                      TNameCase{"ControlCharacters", "a\x01\nb.txt", "a__b.txt"},
                      TNameCase{"Utf8Kept", "Über.txt", "Über.txt"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RunnableTypes, DesktopEntriesScriptsAndProgramsAreNamed) {
    EXPECT_EQ(RunnableType("invoice.DESKTOP"), "desktop entry");
    EXPECT_EQ(RunnableType("x.sh"), "shell script");
    EXPECT_EQ(RunnableType("setup.exe"), "Windows program");
    EXPECT_EQ(RunnableType("photo.jpg"), "");
    EXPECT_EQ(RunnableType("noextension"), "");
}

TEST(PlainAndHtml, ConversionsKeepTheText) {
    EXPECT_EQ(PlainToHtml("a < b\r\nline two\r\n\r\nnext"), "a &lt; b<BR>line two<P>next");
    EXPECT_EQ(HtmlToPlain("<p>One&nbsp;two</p><script>alert(1)</script>"), "One two");
    EXPECT_TRUE(IsImageFile("x.PNG"));
    EXPECT_FALSE(IsImageFile("x.png.exe"));
}

TEST(BodyBackground, OneAttributeReplacesTheWholeBodyTag) {
    const std::string page = "<html><Body Text=\"navy\" bgcolor=red>x</body></html>";
    EXPECT_EQ(WithBodyColour(page, 255, 0, 0), "<html><BODY BGCOLOR=\"#FF0000\">x</body></html>");
    EXPECT_EQ(WithBodyImage(WithBodyColour(page, 1, 2, 3), "/home/me/bg.png"),
              "<html><BODY BACKGROUND=\"/home/me/bg.png\">x</body></html>");
    EXPECT_EQ(WithBodyColour("<p>no body</p>", 0, 0, 0), "<p>no body</p>");
    EXPECT_EQ(WithBodyImage("<body>x", "a\"b.png"), "<BODY BACKGROUND=\"a%22b.png\">x");
    EXPECT_EQ(HtmlSourceForEditing("<meta content=\"MICROSOFT DHTML Editing\">"),
              "<meta content=\"Sorvath Pelmora Editing\">");
}

} // namespace
} // namespace pelmora::compose
