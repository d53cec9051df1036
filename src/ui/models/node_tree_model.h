#pragma once
// TNodeTreeModel: a Qt item model over a TNodeTree (one column). Items are the tree's TNode
// handles; the model follows the tree through its observer calls. The display text is the
// node text without mark-up (cut to 255 characters); MarkupRole gives the stored text for
// the view that draws it. Selection, expansion and update requests of the tree come out as
// signals. The tree is not owned and must outlive the model.

#include "paramtree/node_tree.h"

#include <QAbstractItemModel>
#include <QVector>

namespace pelmora {

class TNodeTreeModel : public QAbstractItemModel, private TNodeTreeObserver {
    Q_OBJECT
public:
    enum TRole { MarkupRole = Qt::UserRole + 1, ImageIndexRole, SelectedIndexRole };

    TNodeTreeModel(TNodeTree& tree, QObject* parent);
    ~TNodeTreeModel() override;

    TNodeTree& Tree() const { return NodeTree; }
    TNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TNode* node) const;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    void NodeSelected(const QModelIndex& index);
    void NodeExpandRequested(const QModelIndex& index, bool expanded);
    void TreeUpdateBegun();
    void TreeUpdateEnded();

private:
    QModelIndex ParentIndexOf(TNode* parent) const;
    void SaveLayout();
    void RestoreLayout();

    void NodesAboutToBeInserted(TNode* parent, int first, int last) override;
    void NodesInserted(TNode* parent, int first, int last) override;
    void NodesAboutToBeRemoved(TNode* parent, int first, int last) override;
    void NodesRemoved(TNode* parent, int first, int last) override;
    void NodeAboutToBeMoved(TNode* node, TNode* newParent, int newRow) override;
    void NodeMoved(TNode* node) override;
    void NodeChanged(TNode* node) override;
    void LayoutAboutToBeChanged() override;
    void LayoutChanged() override;
    void AboutToBeReset() override;
    void Reset() override;
    void SelectionChanged(TNode* selected) override;
    void ExpandRequested(TNode* node, bool expanded) override;
    void UpdateBegun() override;
    void UpdateEnded() override;

    TNodeTree& NodeTree; // Not owned.
    // Persistent indexes and their nodes while the tree rearranges itself.
    QModelIndexList SavedIndexes;
    QVector<TNode*> SavedNodes;
};

} // namespace pelmora
