#include "paramtree/node_tree.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

// Records notifications as short strings.
class TRecorder : public TNodeTreeObserver {
public:
    std::vector<std::string> Events;
    void NodesAboutToBeInserted(TNode*, int first, int) override {
        Events.push_back("+?" + std::to_string(first));
    }
    void NodesInserted(TNode*, int first, int) override {
        Events.push_back("+" + std::to_string(first));
    }
    void NodesAboutToBeRemoved(TNode*, int first, int) override {
        Events.push_back("-?" + std::to_string(first));
    }
    void NodesRemoved(TNode*, int first, int) override {
        Events.push_back("-" + std::to_string(first));
    }
    void NodeChanged(TNode* node) override { Events.push_back("~" + node->Text()); }
    void SelectionChanged(TNode* node) override {
        Events.push_back("sel:" + (node ? node->Text() : std::string("none")));
    }
    void LayoutAboutToBeChanged() override { Events.push_back("layout?"); }
    void LayoutChanged() override { Events.push_back("layout"); }
};

std::string Order(const TNodeTree& tree) {
    std::string out;
    tree.Walk([&](TNode& node) {
        out += std::string(static_cast<size_t>(node.Level()), '.') + node.Text() + " ";
    });
    return out;
}

// a(a1, a2(a21)), b
void Build(TNodeTree& tree) {
    TNode* a = tree.Add(nullptr, "a");
    tree.Add(a, "a1");
    TNode* a2 = tree.Add(a, "a2");
    tree.Add(a2, "a21");
    tree.Add(nullptr, "b");
}

TEST(NodeTreeTest, WalksDepthFirstWithLevelsAndIndexes) {
    TNodeTree tree;
    Build(tree);
    EXPECT_EQ(Order(tree), "a .a1 .a2 ..a21 b ");
    EXPECT_EQ(tree.Count(), 5);
    TNode* a21 = tree.AtAbsoluteIndex(3);
    ASSERT_TRUE(a21);
    EXPECT_EQ(a21->Text(), "a21");
    EXPECT_EQ(tree.AbsoluteIndex(a21), 3);
    EXPECT_EQ(tree.Previous(tree.Top(1)), a21);
    EXPECT_EQ(tree.Next(a21), tree.Top(1));
    EXPECT_EQ(tree.Last()->Text(), "b");
    EXPECT_EQ(tree.Top(1)->Index(), 1);
    EXPECT_EQ(tree.Top(0)->NextSibling(), tree.Top(1));
    EXPECT_EQ(tree.AtAbsoluteIndex(5), nullptr);
    EXPECT_EQ(tree.FindFirst([](const TNode& n) { return n.Text() == "a2"; })->ChildCount(), 1);
}

TEST(NodeTreeTest, FindsNodesByCode) {
    TNodeTree tree;
    TNode* account = tree.Add(nullptr, "<XID=001><IMG src=\"idx:0\"> a");
    TNode* profile = tree.Add(account, "<IMG src=\"idx:6\"><XID=101> p");
    tree.Add(nullptr, "<XID= 101 >second");
    tree.Add(nullptr, "<XID=x12>not a number");
    EXPECT_EQ(tree.FindByCode(1), account);
    EXPECT_EQ(tree.FindByCode(101), profile); // depth-first: the first one
    EXPECT_EQ(tree.FindByCode(12), nullptr);
}

TEST(NodeTreeTest, InsertsAndNotifiesBeforeAndAfter) {
    TNodeTree tree;
    Build(tree);
    TRecorder recorder;
    tree.AddObserver(&recorder);
    tree.InsertBefore(tree.Top(1), "between");
    tree.AddFirst("first");
    tree.SetText(tree.First(), "first!");
    tree.SetText(tree.First(), "first!"); // unchanged: no notification
    EXPECT_EQ(Order(tree), "first! a .a1 .a2 ..a21 between b ");
    EXPECT_EQ(recorder.Events, (std::vector<std::string>{"+?1", "+1", "+?0", "+0", "~first!"}));
    tree.RemoveObserver(&recorder);
}

TEST(NodeTreeTest, DeleteRemovesChildrenAndSelection) {
    TNodeTree tree;
    Build(tree);
    TRecorder recorder;
    tree.AddObserver(&recorder);
    TNode* a = tree.First();
    tree.Select(a->Child(1)->Child(0));
    tree.Delete(a);
    EXPECT_EQ(Order(tree), "b ");
    EXPECT_EQ(tree.Selected(), nullptr);
    EXPECT_EQ(recorder.Events, (std::vector<std::string>{"sel:a21", "sel:none", "-?0", "-0"}));
    tree.RemoveObserver(&recorder);
}

TEST(NodeTreeTest, MoveKeepsIdentityAndRefusesCycles) {
    TNodeTree tree;
    Build(tree);
    TNode* a = tree.First();
    TNode* a2 = a->Child(1);
    EXPECT_FALSE(tree.Move(a, a2, 0));
    ASSERT_TRUE(tree.Move(a2, tree.Top(1), 0));
    EXPECT_EQ(Order(tree), "a .a1 b .a2 ..a21 ");
    ASSERT_TRUE(tree.Move(tree.First(), nullptr, 2)); // to the end of the top level
    EXPECT_EQ(Order(tree), "b .a2 ..a21 a .a1 ");
    EXPECT_EQ(a2->Parent(), tree.First());
}

TEST(NodeTreeTest, SortIsStableAndReachesEveryLevel) {
    TNodeTree tree;
    TNode* z = tree.Add(nullptr, "z");
    tree.Add(z, "c");
    tree.Add(z, "B1");
    tree.Add(z, "b2");
    tree.Add(nullptr, "y");
    TRecorder recorder;
    tree.AddObserver(&recorder);
    auto byFirstLetter = [](const TNode& l, const TNode& r) {
        return std::tolower(l.Text()[0]) < std::tolower(r.Text()[0]);
    };
    tree.Sort(nullptr, byFirstLetter, false);
    EXPECT_EQ(Order(tree), "y z .c .B1 .b2 ");
    tree.SortAll(byFirstLetter);
    EXPECT_EQ(Order(tree), "y z .B1 .b2 .c ");
    EXPECT_EQ(recorder.Events,
              (std::vector<std::string>{"layout?", "layout", "layout?", "layout"}));
    tree.RemoveObserver(&recorder);
}

TEST(NodeTreeTest, TakeNodesIsOneResetAndKeepsNodesWorking) {
    TNodeTree source;
    Build(source);
    TNodeTree tree;
    tree.Add(nullptr, "old");
    tree.Select(tree.First());
    TRecorder recorder;
    tree.AddObserver(&recorder);
    tree.TakeNodes(source);
    EXPECT_TRUE(source.Empty());
    EXPECT_EQ(Order(tree), "a .a1 .a2 ..a21 b ");
    EXPECT_EQ(recorder.Events, (std::vector<std::string>{"sel:none"}));
    // Nodes now answer for their new tree.
    EXPECT_EQ(tree.Top(1)->Index(), 1);
    EXPECT_EQ(tree.First()->NextSibling(), tree.Top(1));
    tree.RemoveObserver(&recorder);
}

TEST(NodeTreeTest, WideTreesWalkInLinearTime) {
    TNodeTree tree;
    TNode* book = tree.Add(nullptr, "book");
    for (int i = 0; i < 100000; ++i)
        tree.Add(book, "entry");
    EXPECT_EQ(tree.Count(), 100001);
    EXPECT_EQ(tree.AbsoluteIndex(tree.Last()), 100000);
}

TEST(NodeTreeTest, VeryDeepTreeIsDestroyedWithoutRecursion) {
    auto tree = std::make_unique<TNodeTree>();
    TNode* node = tree->Add(nullptr, "root");
    for (int i = 0; i < 200000; ++i)
        node = tree->Add(node, "n");
    EXPECT_EQ(node->Level(), 200000);
    tree.reset();
}

} // namespace
} // namespace pelmora
