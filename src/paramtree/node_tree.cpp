#include "paramtree/node_tree.h"

#include "paramtree/markup.h"

#include <algorithm>

namespace pelmora {

int TNode::Level() const {
    int level = 0;
    for (const TNode* p = ParentNode; p; p = p->ParentNode)
        ++level;
    return level;
}

const std::vector<std::unique_ptr<TNode>>& TNode::Siblings() const {
    return ParentNode ? ParentNode->Children : Owner->Roots;
}

int TNode::Index() const {
    const auto& siblings = Siblings();
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this)
            return static_cast<int>(i);
    }
    return -1;
}

TNode* TNode::Child(int index) const {
    if (index < 0 || index >= ChildCount())
        return nullptr;
    return Children[static_cast<size_t>(index)].get();
}

TNode* TNode::NextSibling() const {
    const auto& siblings = Siblings();
    size_t index = static_cast<size_t>(Index() + 1);
    return index < siblings.size() ? siblings[index].get() : nullptr;
}

TNode* TNode::PrevSibling() const {
    int index = Index();
    return index > 0 ? Siblings()[static_cast<size_t>(index - 1)].get() : nullptr;
}

bool TNode::IsAncestorOf(const TNode* other) const {
    for (const TNode* p = other ? other->ParentNode : nullptr; p; p = p->ParentNode) {
        if (p == this)
            return true;
    }
    return false;
}

TNodeTree::~TNodeTree() {
    DestroyIteratively(Roots);
}

void TNodeTree::DestroyIteratively(std::vector<std::unique_ptr<TNode>>& nodes) {
    // Destroying a very deep tree recursively would exhaust the stack.
    std::vector<std::unique_ptr<TNode>> pending = std::move(nodes);
    nodes.clear();
    while (!pending.empty()) {
        std::unique_ptr<TNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->Children)
            pending.push_back(std::move(child));
        node->Children.clear();
    }
}

void TNodeTree::AddObserver(TNodeTreeObserver* observer) {
    if (observer && std::find(Observers.begin(), Observers.end(), observer) == Observers.end())
        Observers.push_back(observer);
}

void TNodeTree::RemoveObserver(TNodeTreeObserver* observer) {
    Observers.erase(std::remove(Observers.begin(), Observers.end(), observer), Observers.end());
}

template <typename F> void TNodeTree::Notify(F&& call) {
    // A copy, so an observer may remove itself while being notified.
    auto observers = Observers;
    for (TNodeTreeObserver* observer : observers)
        call(*observer);
}

std::vector<std::unique_ptr<TNode>>& TNodeTree::SiblingsOf(TNode* parent) {
    return parent ? parent->Children : Roots;
}

const std::vector<std::unique_ptr<TNode>>& TNodeTree::SiblingsOf(const TNode* parent) const {
    return parent ? parent->Children : Roots;
}

TNode* TNodeTree::Top(int index) const {
    if (index < 0 || index >= TopCount())
        return nullptr;
    return Roots[static_cast<size_t>(index)].get();
}

TNode* TNodeTree::Last() const {
    if (Roots.empty())
        return nullptr;
    TNode* node = Roots.back().get();
    while (!node->Children.empty())
        node = node->Children.back().get();
    return node;
}

int TNodeTree::Count() const {
    return static_cast<int>(DepthFirst().size());
}

int TNodeTree::ChildCount(const TNode* parent) const {
    return static_cast<int>(SiblingsOf(parent).size());
}

TNode* TNodeTree::Child(const TNode* parent, int index) const {
    const auto& siblings = SiblingsOf(parent);
    if (index < 0 || index >= static_cast<int>(siblings.size()))
        return nullptr;
    return siblings[static_cast<size_t>(index)].get();
}

TNode* TNodeTree::Next(const TNode* node) const {
    if (!node)
        return nullptr;
    if (!node->Children.empty())
        return node->Children.front().get();
    while (node) {
        const auto& siblings = SiblingsOf(node->ParentNode);
        auto it = std::find_if(siblings.begin(), siblings.end(),
                               [node](const auto& n) { return n.get() == node; });
        if (it != siblings.end() && std::next(it) != siblings.end())
            return std::next(it)->get();
        node = node->ParentNode;
    }
    return nullptr;
}

TNode* TNodeTree::Previous(const TNode* node) const {
    if (!node)
        return nullptr;
    const auto& siblings = SiblingsOf(node->ParentNode);
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [node](const auto& n) { return n.get() == node; });
    if (it == siblings.begin() || it == siblings.end())
        return node->ParentNode;
    TNode* prev = std::prev(it)->get();
    while (!prev->Children.empty())
        prev = prev->Children.back().get();
    return prev;
}

int TNodeTree::AbsoluteIndex(const TNode* node) const {
    if (!node)
        return -1;
    int index = 0;
    for (TNode* n : DepthFirst()) {
        if (n == node)
            return index;
        ++index;
    }
    return -1;
}

TNode* TNodeTree::AtAbsoluteIndex(int index) const {
    if (index < 0)
        return nullptr;
    for (TNode* node : DepthFirst()) {
        if (index-- == 0)
            return node;
    }
    return nullptr;
}

TNode* TNodeTree::FindFirst(const std::function<bool(const TNode&)>& match) const {
    for (TNode* node : DepthFirst()) {
        if (match(*node))
            return node;
    }
    return nullptr;
}

std::vector<TNode*> TNodeTree::DepthFirst() const {
    // One pass with an explicit stack: stepping with Next() would search each sibling list.
    std::vector<TNode*> order;
    std::vector<TNode*> pending;
    for (auto it = Roots.rbegin(); it != Roots.rend(); ++it)
        pending.push_back(it->get());
    while (!pending.empty()) {
        TNode* node = pending.back();
        pending.pop_back();
        order.push_back(node);
        for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it)
            pending.push_back(it->get());
    }
    return order;
}

void TNodeTree::TakeNodes(TNodeTree& other) {
    if (&other == this)
        return;
    Notify([](TNodeTreeObserver& o) { o.AboutToBeReset(); });
    bool hadSelection = SelectedNode != nullptr;
    SelectedNode = nullptr;
    DestroyIteratively(Roots);
    Roots = std::move(other.Roots);
    other.Roots.clear();
    if (other.SelectedNode) {
        other.SelectedNode = nullptr;
        other.Notify([](TNodeTreeObserver& o) { o.SelectionChanged(nullptr); });
    }
    other.Notify([](TNodeTreeObserver& o) { o.Reset(); });
    for (TNode* node : DepthFirst())
        node->Owner = this;
    Notify([](TNodeTreeObserver& o) { o.Reset(); });
    if (hadSelection)
        Notify([](TNodeTreeObserver& o) { o.SelectionChanged(nullptr); });
}

TNode* TNodeTree::FindByCode(int code) const {
    for (TNode* node : DepthFirst()) {
        if (NodeCode(node->Text()) == code)
            return node;
    }
    return nullptr;
}

void TNodeTree::Walk(const std::function<void(TNode&)>& visit) const {
    for (TNode* node : DepthFirst())
        visit(*node);
}

TNode* TNodeTree::Add(TNode* parent, std::string text) {
    return InsertAt(parent, ChildCount(parent), std::move(text));
}

TNode* TNodeTree::InsertAt(TNode* parent, int index, std::string text) {
    auto& siblings = SiblingsOf(parent);
    index = std::clamp(index, 0, static_cast<int>(siblings.size()));
    Notify([&](TNodeTreeObserver& o) { o.NodesAboutToBeInserted(parent, index, index); });
    auto node = std::make_unique<TNode>();
    node->TextValue = std::move(text);
    node->ParentNode = parent;
    node->Owner = this;
    TNode* raw = node.get();
    siblings.insert(siblings.begin() + index, std::move(node));
    Notify([&](TNodeTreeObserver& o) { o.NodesInserted(parent, index, index); });
    return raw;
}

TNode* TNodeTree::InsertBefore(TNode* sibling, std::string text) {
    if (!sibling)
        return Add(nullptr, std::move(text));
    const auto& siblings = SiblingsOf(sibling->ParentNode);
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [sibling](const auto& n) { return n.get() == sibling; });
    int index = static_cast<int>(it - siblings.begin());
    return InsertAt(sibling->ParentNode, index, std::move(text));
}

TNode* TNodeTree::AddFirst(std::string text) {
    return InsertAt(nullptr, 0, std::move(text));
}

void TNodeTree::SetText(TNode* node, std::string text) {
    if (!node || node->TextValue == text)
        return;
    node->TextValue = std::move(text);
    Notify([&](TNodeTreeObserver& o) { o.NodeChanged(node); });
}

void TNodeTree::SetImageIndex(TNode* node, int image) {
    if (!node || node->ImageValue == image)
        return;
    node->ImageValue = image;
    Notify([&](TNodeTreeObserver& o) { o.NodeChanged(node); });
}

void TNodeTree::SetSelectedIndex(TNode* node, int image) {
    if (!node || node->SelectedValue == image)
        return;
    node->SelectedValue = image;
    Notify([&](TNodeTreeObserver& o) { o.NodeChanged(node); });
}

void TNodeTree::SetData(TNode* node, int64_t data) {
    if (node)
        node->DataValue = data;
}

void TNodeTree::Delete(TNode* node) {
    if (!node)
        return;
    if (SelectedNode && (SelectedNode == node || node->IsAncestorOf(SelectedNode))) {
        SelectedNode = nullptr;
        Notify([&](TNodeTreeObserver& o) { o.SelectionChanged(nullptr); });
    }
    TNode* parent = node->ParentNode;
    auto& siblings = SiblingsOf(parent);
    auto it = std::find_if(siblings.begin(), siblings.end(),
                           [node](const auto& n) { return n.get() == node; });
    if (it == siblings.end())
        return;
    int index = static_cast<int>(it - siblings.begin());
    Notify([&](TNodeTreeObserver& o) { o.NodesAboutToBeRemoved(parent, index, index); });
    std::vector<std::unique_ptr<TNode>> removed;
    removed.push_back(std::move(*it));
    siblings.erase(it);
    DestroyIteratively(removed);
    Notify([&](TNodeTreeObserver& o) { o.NodesRemoved(parent, index, index); });
}

void TNodeTree::Clear() {
    Notify([](TNodeTreeObserver& o) { o.AboutToBeReset(); });
    bool hadSelection = SelectedNode != nullptr;
    SelectedNode = nullptr;
    DestroyIteratively(Roots);
    Notify([](TNodeTreeObserver& o) { o.Reset(); });
    if (hadSelection)
        Notify([](TNodeTreeObserver& o) { o.SelectionChanged(nullptr); });
}

bool TNodeTree::Move(TNode* node, TNode* newParent, int index) {
    if (!node || node == newParent || node->IsAncestorOf(newParent))
        return false;
    auto& from = SiblingsOf(node->ParentNode);
    auto it =
        std::find_if(from.begin(), from.end(), [node](const auto& n) { return n.get() == node; });
    if (it == from.end())
        return false;
    auto& to = SiblingsOf(newParent);
    index = std::clamp(index, 0, static_cast<int>(to.size()));
    Notify([&](TNodeTreeObserver& o) { o.NodeAboutToBeMoved(node, newParent, index); });
    int oldIndex = static_cast<int>(it - from.begin());
    std::unique_ptr<TNode> owned = std::move(*it);
    from.erase(it);
    if (&from == &to && oldIndex < index)
        --index; // the row given counts the node's old place
    node->ParentNode = newParent;
    to.insert(to.begin() + index, std::move(owned));
    Notify([&](TNodeTreeObserver& o) { o.NodeMoved(node); });
    return true;
}

void TNodeTree::Sort(TNode* parent, const TCompare& less, bool recurse) {
    Notify([](TNodeTreeObserver& o) { o.LayoutAboutToBeChanged(); });
    std::vector<std::vector<std::unique_ptr<TNode>>*> pending{&SiblingsOf(parent)};
    while (!pending.empty()) {
        auto* siblings = pending.back();
        pending.pop_back();
        std::stable_sort(siblings->begin(), siblings->end(),
                         [&less](const auto& a, const auto& b) { return less(*a, *b); });
        if (recurse) {
            for (auto& child : *siblings)
                pending.push_back(&child->Children);
        }
    }
    Notify([](TNodeTreeObserver& o) { o.LayoutChanged(); });
}

void TNodeTree::SortAmong(TNode* parent, const std::function<bool(const TNode&)>& sortable,
                          const TCompare& less) {
    auto& siblings = SiblingsOf(parent);
    std::vector<size_t> places;
    std::vector<std::unique_ptr<TNode>> picked;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (sortable(*siblings[i]))
            places.push_back(i);
    }
    if (places.size() < 2)
        return;
    Notify([](TNodeTreeObserver& o) { o.LayoutAboutToBeChanged(); });
    for (size_t place : places)
        picked.push_back(std::move(siblings[place]));
    std::stable_sort(picked.begin(), picked.end(),
                     [&less](const auto& a, const auto& b) { return less(*a, *b); });
    for (size_t i = 0; i < places.size(); ++i)
        siblings[places[i]] = std::move(picked[i]);
    Notify([](TNodeTreeObserver& o) { o.LayoutChanged(); });
}

void TNodeTree::Select(TNode* node) {
    if (SelectedNode == node)
        return;
    SelectedNode = node;
    Notify([&](TNodeTreeObserver& o) { o.SelectionChanged(node); });
}

void TNodeTree::Expand(TNode* node, bool expanded) {
    if (!node)
        return;
    node->ExpandedValue = expanded;
    Notify([&](TNodeTreeObserver& o) { o.ExpandRequested(node, expanded); });
}

void TNodeTree::BeginUpdate() {
    if (UpdateDepth++ == 0)
        Notify([](TNodeTreeObserver& o) { o.UpdateBegun(); });
}

void TNodeTree::EndUpdate() {
    if (UpdateDepth == 0)
        return;
    if (--UpdateDepth == 0)
        Notify([](TNodeTreeObserver& o) { o.UpdateEnded(); });
}

} // namespace pelmora
