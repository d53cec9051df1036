#include "ui/models/node_tree_model.h"

#include "paramtree/markup.h"
#include "ui/text_convert.h"

namespace pelmora {

namespace {

constexpr qsizetype kCaptionLimit = 255;

} // namespace

TNodeTreeModel::TNodeTreeModel(TNodeTree& tree, QObject* parent)
    : QAbstractItemModel(parent), NodeTree(tree) {
    NodeTree.AddObserver(this);
}

TNodeTreeModel::~TNodeTreeModel() {
    NodeTree.RemoveObserver(this);
}

TNode* TNodeTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TNodeTreeModel::IndexOf(const TNode* node) const {
    if (!node)
        return {};
    return createIndex(node->Index(), 0, const_cast<TNode*>(node));
}

QModelIndex TNodeTreeModel::ParentIndexOf(TNode* parent) const {
    return IndexOf(parent);
}

QModelIndex TNodeTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    TNode* node = NodeTree.Child(NodeOf(parent), row);
    return node ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex TNodeTreeModel::parent(const QModelIndex& child) const {
    const TNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int TNodeTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return NodeTree.ChildCount(NodeOf(parent));
}

int TNodeTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant TNodeTreeModel::data(const QModelIndex& index, int role) const {
    const TNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return ToQt(StripMarkup(node->Text())).left(kCaptionLimit);
    case MarkupRole:
        return ToQt(node->Text());
    case ImageIndexRole:
        return node->ImageIndex();
    case SelectedIndexRole:
        return node->SelectedIndex();
    default:
        return {};
    }
}

Qt::ItemFlags TNodeTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Read-only: captions change only through the tree's own operations.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TNodeTreeModel::SaveLayout() {
    SavedIndexes = persistentIndexList();
    SavedNodes.clear();
    for (const QModelIndex& index : SavedIndexes)
        SavedNodes.append(NodeOf(index));
}

void TNodeTreeModel::RestoreLayout() {
    QModelIndexList now;
    for (TNode* node : SavedNodes)
        now.append(IndexOf(node));
    changePersistentIndexList(SavedIndexes, now);
    SavedIndexes.clear();
    SavedNodes.clear();
}

void TNodeTreeModel::NodesAboutToBeInserted(TNode* parent, int first, int last) {
    beginInsertRows(ParentIndexOf(parent), first, last);
}

void TNodeTreeModel::NodesInserted(TNode*, int, int) {
    endInsertRows();
}

void TNodeTreeModel::NodesAboutToBeRemoved(TNode* parent, int first, int last) {
    beginRemoveRows(ParentIndexOf(parent), first, last);
}

void TNodeTreeModel::NodesRemoved(TNode*, int, int) {
    endRemoveRows();
}

// Moves are reported as a layout change: the node keeps its identity and every persistent
// index follows its node, whatever row arithmetic the move implies.
void TNodeTreeModel::NodeAboutToBeMoved(TNode*, TNode*, int) {
    Q_EMIT layoutAboutToBeChanged();
    SaveLayout();
}

void TNodeTreeModel::NodeMoved(TNode*) {
    RestoreLayout();
    Q_EMIT layoutChanged();
}

void TNodeTreeModel::NodeChanged(TNode* node) {
    const QModelIndex index = IndexOf(node);
    Q_EMIT dataChanged(index, index);
}

void TNodeTreeModel::LayoutAboutToBeChanged() {
    Q_EMIT layoutAboutToBeChanged();
    SaveLayout();
}

void TNodeTreeModel::LayoutChanged() {
    RestoreLayout();
    Q_EMIT layoutChanged();
}

void TNodeTreeModel::AboutToBeReset() {
    beginResetModel();
}

void TNodeTreeModel::Reset() {
    endResetModel();
}

void TNodeTreeModel::SelectionChanged(TNode* selected) {
    Q_EMIT NodeSelected(IndexOf(selected));
}

void TNodeTreeModel::ExpandRequested(TNode* node, bool expanded) {
    Q_EMIT NodeExpandRequested(IndexOf(node), expanded);
}

void TNodeTreeModel::UpdateBegun() {
    Q_EMIT TreeUpdateBegun();
}

void TNodeTreeModel::UpdateEnded() {
    Q_EMIT TreeUpdateEnded();
}

} // namespace pelmora
