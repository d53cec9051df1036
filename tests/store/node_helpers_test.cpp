#include "store/node_helpers.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(NodeHelpersTest, NodeNumber) {
    EXPECT_EQ(NodeNumber("<XID=001><IMG src=\"idx:0\"> x"), 1);
    EXPECT_EQ(NodeNumber("<IMG src=\"idx:6\"><XID=101> <b>"), 101);
    EXPECT_EQ(NodeNumber("<XID= 100000 >"), 100000);
    EXPECT_EQ(NodeNumber("<XID=-1><b>"), -1);
    EXPECT_EQ(NodeNumber("<XID=12a>"), -1);
    EXPECT_EQ(NodeNumber("<XID=>"), -1);
    EXPECT_EQ(NodeNumber("<XID=99999999999>"), -1);
    EXPECT_EQ(NodeNumber("no code"), -1);
    EXPECT_EQ(NodeNumber("<XID=5"), -1);
}

TEST(NodeHelpersTest, CaptionsWithoutCounts) {
    const std::string account =
        "<XID=001><IMG src=\"idx:2\"> <b><font color=\"clNavy\">Jan &amp; Co</font></b> "
        "<font color=\"clBlack\">(jan@x.nl)</font> (12/3)<img src=\"idx:7\">";
    EXPECT_EQ(PlainCaption(CaptionBase(account)), "Jan & Co (jan@x.nl)");
    const std::string project =
        "<XID=1000><IMG src=\"idx:3\"> <font color=\"#251080\"><b>A &lt;b&gt;</b></FONT> (0/0)";
    EXPECT_EQ(PlainCaption(CaptionBase(project)), "A <b>");
    EXPECT_EQ(CaptionBase("  no counts  "), "no counts");
}

TEST(NodeHelpersTest, ParamValue) {
    EXPECT_EQ(ParamValue("<XID=104>POP3 server:: <a href=\"EditPOP3\"> pop.x.nl </a>"), "pop.x.nl");
    EXPECT_EQ(ParamValue("<XID=106><XPWD=x>L: <a href=\"P\">*hidden*</a><XPWD=y>"), "*hidden*");
    EXPECT_EQ(ParamValue("<a href=\"x\" class=\"LIST\" props=\"a,b\">b</a>"), "b");
    EXPECT_EQ(ParamValue("<a href=\"x\">open"), "");
}

TEST(NodeHelpersTest, PasswordMarkers) {
    std::string text = "<XID=106><XPWD=0>POP3 Password: <a href=\"EditPOP3Password\">*hidden*</a>";
    EXPECT_EQ(ReadPassword(text), "0");
    for (const std::string password : {"first", "a>b&c\"d"}) {
        text = RemovePasswordMarker(text) + PasswordMarker(password);
        EXPECT_EQ(ReadPassword(text), password);
    }
    size_t markers = 0;
    for (size_t pos = 0; (pos = text.find("<XPWD=", pos)) != std::string::npos; ++pos)
        ++markers;
    EXPECT_EQ(markers, 1u);
    EXPECT_EQ(ParamValue(text), "*hidden*");
    EXPECT_EQ(ReadPassword("no marker"), "");
    EXPECT_EQ(RemovePasswordMarker("no marker"), "no marker");
}

TEST(NodeHelpersTest, SetNodeIcon) {
    EXPECT_EQ(SetNodeIcon("<XID=1><IMG SRC=\"idx:0\"> a<img src=\"idx:7\">", 2),
              "<XID=1><IMG SRC=\"idx:2\"> a<img src=\"idx:7\">");
    EXPECT_EQ(SetNodeIcon("<XID=111><img src=\"idx:12\"> b", 5), "<XID=111><img src=\"idx:5\"> b");
    EXPECT_EQ(SetNodeIcon("no image", 5), "no image");
}

TEST(NodeHelpersTest, AccountOfAndKinds) {
    TNodeTree tree;
    TNode* account = tree.Add(nullptr, "<XID=001>a");
    TNode* profile = tree.Add(account, "<XID=101>p");
    TNode* param = tree.Add(tree.Add(profile, "<XID=102>s"), "<XID=104>x");
    TNode* project = tree.Add(account, "<XID=1000>p");
    TNode* other = tree.Add(nullptr, "<XID=100>not an account");
    EXPECT_EQ(AccountOf(param), account);
    EXPECT_EQ(AccountOf(account), account);
    EXPECT_TRUE(IsAccountNode(account));
    EXPECT_FALSE(IsAccountNode(other));
    EXPECT_TRUE(IsProjectNode(project));
    EXPECT_FALSE(IsProjectNode(profile));
    EXPECT_EQ(FindBelow(account, 104), param);
    EXPECT_EQ(FindChild(account, 1000), project);
    EXPECT_EQ(FindTopLevel(tree, 100), other);
}

} // namespace
} // namespace pelmora
