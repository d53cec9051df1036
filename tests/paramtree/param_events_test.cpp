#include "paramtree/param_events.h"

#include "paramtree/markup.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

const std::string kStyle = "<XID=201>Number style: <a href=\"TrackingNumberStyle\" class=\"LIST\" "
                           "props=\"Random,Date-Based,Incremental\">Date-Based</a>";

class ParamEventsTest : public testing::Test {
protected:
    void SetUp() override {
        Events.OnParamSelect = [this](TNode*, const std::string& h, const std::string& v) {
            Log.push_back("select " + h + "=" + v);
        };
        Events.OnParamChanged = [this](TNode*, const std::string& h, const std::string& o,
                                       const std::string& n) {
            Log.push_back("changed " + h + " " + o + "->" + n);
        };
    }
    TNodeTree Tree;
    TMarkupTreeEvents Events;
    std::vector<std::string> Log;
};

TEST_F(ParamEventsTest, ListOffersPropsWithCurrentValueSelected) {
    TNode* node = Tree.Add(nullptr, kStyle);
    auto requests = ClickParam(Tree, node, "TrackingNumberStyle", Events);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Kind, TParamEditorKind::List);
    EXPECT_EQ(requests[0].Entries,
              (std::vector<std::string>{"Random", "Date-Based", "Incremental"}));
    EXPECT_EQ(requests[0].SelectedEntry, 1);

    auto sorted = ClickParam(Tree, node, "TrackingNumberStyle", Events, true);
    ASSERT_EQ(sorted.size(), 1u);
    EXPECT_EQ(sorted[0].Entries, (std::vector<std::string>{"Date-Based", "Incremental", "Random"}));
    EXPECT_EQ(sorted[0].SelectedEntry, 0);
}

TEST_F(ParamEventsTest, ChoosingWritesAndReportsChangeOnlyWhenDifferent) {
    TNode* node = Tree.Add(nullptr, kStyle);
    ASSERT_TRUE(CommitEditorText(Tree, node, "TrackingNumberStyle", "Random", Events));
    EXPECT_EQ(ReadParam(node->Text(), "TrackingNumberStyle"), "Random");
    ASSERT_TRUE(CommitEditorText(Tree, node, "TrackingNumberStyle", "Random", Events));
    EXPECT_EQ(Log, (std::vector<std::string>{"select TrackingNumberStyle=Random",
                                             "changed TrackingNumberStyle Date-Based->Random",
                                             "select TrackingNumberStyle=Random"}));
}

TEST_F(ParamEventsTest, EditValueIsStoredEscapedAndEditedPlain) {
    TNode* node = Tree.Add(nullptr, "Note: <a href=\"n\" class=\"edit\">-not set-</a>");
    ASSERT_TRUE(CommitEditorText(Tree, node, "n", "a < b & c", Events));
    EXPECT_EQ(node->Text(), "Note: <a href=\"n\" class=\"edit\">a &lt; b &amp; c</a>");
    auto requests = ClickParam(Tree, node, "n", Events);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Kind, TParamEditorKind::Edit);
    EXPECT_EQ(requests[0].Value, "a < b & c"); // editing again does not double-escape
}

TEST_F(ParamEventsTest, MenuChoiceDropsAcceleratorsAndStaysWellFormed) {
    TNode* node = Tree.Add(nullptr, "<a href=\"m\" class=\"MENU\" props=\"One,Two\">One</a>");
    auto requests = ClickParam(Tree, node, "m", Events);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Kind, TParamEditorKind::Menu);
    EXPECT_EQ(requests[0].Entries, (std::vector<std::string>{"One", "Two"}));
    ASSERT_TRUE(CommitMenuChoice(Tree, node, "m", "&Two <x>", Events));
    EXPECT_EQ(UnescapeParam(*ReadParam(node->Text(), "m")), "Two <x>");
}

TEST_F(ParamEventsTest, ClickHandlerValueIsWrittenOnlyWhenChanged) {
    TNode* node = Tree.Add(nullptr, "<a href=\"t\"> No </a>");
    int changes = 0;
    struct TCounter : TNodeTreeObserver {
        int* Count;
        void NodeChanged(TNode*) override { ++*Count; }
    } counter;
    counter.Count = &changes;
    Tree.AddObserver(&counter);

    Events.OnParamClick = [](TNode*, const std::string&, std::string&) {};
    EXPECT_TRUE(ClickParam(Tree, node, "t", Events).empty()); // no class: no editor
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(Log.empty());

    Events.OnParamClick = [](TNode*, const std::string&, std::string& v) {
        v = v == "Yes" ? "No" : "Yes";
    };
    ClickParam(Tree, node, "t", Events);
    EXPECT_EQ(node->Text(), "<a href=\"t\">Yes</a>");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Log, std::vector<std::string>{"changed t  No ->Yes"});
    Tree.RemoveObserver(&counter);
}

TEST_F(ParamEventsTest, PopupHandlerDecidesAndPrepareSetsStart) {
    TNode* node = Tree.Add(nullptr, "<a href=\"admin\">-not set-</a>");
    Events.OnParamPopup = [](TNode*, const std::string&, std::vector<std::string>& values,
                             bool& doPopup) {
        values = {"B (b@x.nl)", "A (a@x.nl)"};
        doPopup = true;
    };
    Events.OnParamPrepare = [](TNode*, const std::string&, std::string& value) {
        value = "prepared";
    };
    auto requests = ClickParam(Tree, node, "admin", Events, true);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Entries, (std::vector<std::string>{"A (a@x.nl)", "B (b@x.nl)"}));
    EXPECT_EQ(requests[0].Value, "prepared");

    Events.OnParamPopup = [](TNode*, const std::string&, std::vector<std::string>&, bool&) {};
    EXPECT_TRUE(ClickParam(Tree, node, "admin", Events).empty());
}

TEST_F(ParamEventsTest, SpinAndDateRequests) {
    TNode* spin = Tree.Add(nullptr, "<a href=\"s\" class=\"SPIN\">42</a>");
    TNode* bad = Tree.Add(nullptr, "<a href=\"s\" class=\"SPIN\">many</a>");
    TNode* date = Tree.Add(nullptr, "<a href=\"d\" class=\"date\">1-2-2026</a>");
    EXPECT_EQ(ClickParam(Tree, spin, "s", Events).at(0).SpinValue, 42);
    EXPECT_EQ(ClickParam(Tree, bad, "s", Events).at(0).SpinValue, std::nullopt);
    auto request = ClickParam(Tree, date, "d", Events).at(0);
    EXPECT_EQ(request.Kind, TParamEditorKind::Date);
    EXPECT_EQ(request.Value, "1-2-2026");
}

TEST_F(ParamEventsTest, CommitOnUnreadableParameterChangesNothing) {
    TNode* node = Tree.Add(nullptr, "<a href=\"x\" class=\"EDIT\">value without end");
    EXPECT_FALSE(CommitEditorText(Tree, node, "x", "new", Events));
    EXPECT_EQ(node->Text(), "<a href=\"x\" class=\"EDIT\">value without end");
    EXPECT_TRUE(Log.empty());
}

} // namespace
} // namespace pelmora
