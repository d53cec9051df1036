#pragma once
// TNodeTree: an ordered tree of node texts (the account tree, the project tree, address
// books). The tree owns its nodes; TNode pointers stay valid until the node is deleted or
// the tree cleared, so views may keep them as handles. Every change is reported to the
// observers before and after it happens, in the order a Qt item model needs.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class TNodeTree;

class TNode {
public:
    const std::string& Text() const { return TextValue; }
    int ImageIndex() const { return ImageValue; }
    int SelectedIndex() const { return SelectedValue; }
    int64_t Data() const { return DataValue; }
    bool Expanded() const { return ExpandedValue; }

    TNode* Parent() const { return ParentNode; } // nullptr for a top-level node
    int Level() const;                           // 0 for a top-level node
    int Index() const;                           // position among its siblings
    int ChildCount() const { return static_cast<int>(Children.size()); }
    TNode* Child(int index) const; // nullptr when out of range
    TNode* FirstChild() const { return Child(0); }
    TNode* NextSibling() const;
    TNode* PrevSibling() const;
    bool IsAncestorOf(const TNode* other) const;

private:
    friend class TNodeTree;
    std::string TextValue;
    int ImageValue = -1;
    int SelectedValue = -1;
    int64_t DataValue = 0;
    bool ExpandedValue = false;
    TNode* ParentNode = nullptr; // Not owned.
    TNodeTree* Owner = nullptr;  // Not owned.
    const std::vector<std::unique_ptr<TNode>>& Siblings() const;
    std::vector<std::unique_ptr<TNode>> Children;
};

// Notifications of a TNodeTree. "parent" is nullptr for the top level.
class TNodeTreeObserver {
public:
    virtual ~TNodeTreeObserver() = default;
    virtual void NodesAboutToBeInserted(TNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodesInserted(TNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodesAboutToBeRemoved(TNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodesRemoved(TNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodeAboutToBeMoved(TNode* /*node*/, TNode* /*newParent*/, int /*newRow*/) {}
    virtual void NodeMoved(TNode* /*node*/) {}
    virtual void NodeChanged(TNode* /*node*/) {}
    // The order of children changed somewhere (sorting); nodes keep their identity.
    virtual void LayoutAboutToBeChanged() {}
    virtual void LayoutChanged() {}
    virtual void AboutToBeReset() {}
    virtual void Reset() {}
    virtual void SelectionChanged(TNode* /*selected*/) {}
    virtual void ExpandRequested(TNode* /*node*/, bool /*expanded*/) {}
    // BeginUpdate/EndUpdate nesting reached 1 / went back to 0: views may pause painting.
    virtual void UpdateBegun() {}
    virtual void UpdateEnded() {}
};

class TNodeTree {
    friend class TNode;

public:
    using TCompare = std::function<bool(const TNode& a, const TNode& b)>;

    TNodeTree() = default;
    ~TNodeTree();
    TNodeTree(const TNodeTree&) = delete;
    TNodeTree& operator=(const TNodeTree&) = delete;

    // Observers are not owned and must be removed before they are destroyed.
    void AddObserver(TNodeTreeObserver* observer);
    void RemoveObserver(TNodeTreeObserver* observer);

    int TopCount() const { return static_cast<int>(Roots.size()); }
    TNode* Top(int index) const;
    TNode* First() const { return Top(0); }
    TNode* Last() const; // the last node in depth-first order
    bool Empty() const { return Roots.empty(); }
    int Count() const; // every node
    int ChildCount(const TNode* parent) const;
    TNode* Child(const TNode* parent, int index) const;

    // Depth-first order: a node, its children, then its next sibling.
    TNode* Next(const TNode* node) const;
    TNode* Previous(const TNode* node) const;
    int AbsoluteIndex(const TNode* node) const; // -1 for nullptr
    TNode* AtAbsoluteIndex(int index) const;
    // The first node in depth-first order for which `match` is true.
    TNode* FindFirst(const std::function<bool(const TNode&)>& match) const;
    // The first node in depth-first order whose text carries "<XID=" + code + ">".
    TNode* FindByCode(int code) const;
    // Every node in depth-first order.
    std::vector<TNode*> DepthFirst() const;
    // Calls `visit` for every node in depth-first order.
    void Walk(const std::function<void(TNode&)>& visit) const;

    // Adds a node as the last child of `parent` (nullptr: last top-level node).
    TNode* Add(TNode* parent, std::string text);
    // Adds a node at `index` among the children of `parent` (clamped).
    TNode* InsertAt(TNode* parent, int index, std::string text);
    // Adds a node right before `sibling`, under the same parent.
    TNode* InsertBefore(TNode* sibling, std::string text);
    // Adds a node as the first top-level node.
    TNode* AddFirst(std::string text);

    void SetText(TNode* node, std::string text);
    void SetImageIndex(TNode* node, int image);
    void SetSelectedIndex(TNode* node, int image);
    void SetData(TNode* node, int64_t data);

    // Removes a node with all its children. The selection moves off a removed node.
    void Delete(TNode* node);
    void Clear();
    // Replaces this tree's nodes by those of `other`, which is left empty; observers of this
    // tree see one reset.
    void TakeNodes(TNodeTree& other);
    // Moves a node (with its children) to `index` among the children of `newParent`.
    // Refused (false) when newParent is the node itself or lies below it.
    bool Move(TNode* node, TNode* newParent, int index);

    // Sorts the children of `parent` (nullptr: the top level) with a strict weak order;
    // the sort is stable. With `recurse`, every level below is sorted too.
    void Sort(TNode* parent, const TCompare& less, bool recurse);
    // Sorts only the children of `parent` for which `sortable` is true, among the places
    // they hold; the others keep their places.
    void SortAmong(TNode* parent, const std::function<bool(const TNode&)>& sortable,
                   const TCompare& less);
    // Sorts the whole tree, every level.
    void SortAll(const TCompare& less) { Sort(nullptr, less, true); }

    TNode* Selected() const { return SelectedNode; }
    void Select(TNode* node);
    void Expand(TNode* node, bool expanded = true);

    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return UpdateDepth > 0; }

private:
    std::vector<std::unique_ptr<TNode>>& SiblingsOf(TNode* parent);
    const std::vector<std::unique_ptr<TNode>>& SiblingsOf(const TNode* parent) const;
    template <typename F> void Notify(F&& call);
    static void DestroyIteratively(std::vector<std::unique_ptr<TNode>>& nodes);

    std::vector<std::unique_ptr<TNode>> Roots;
    std::vector<TNodeTreeObserver*> Observers; // Not owned.
    TNode* SelectedNode = nullptr;             // Not owned.
    int UpdateDepth = 0;
};

} // namespace pelmora
