#pragma once

#include <unordered_map>
#include <vector>

#include <QAbstractItemModel>
#include <QIcon>

#include "RowDecoration.h"

class DeviceTree;
class TindrelTreeNode;

namespace tindrel {

// The pictures of the name column.
struct TreeIcons {
    QIcon usbImage;
    QIcon netImage;
    QIcon xlnkImage;
    QIcon iconFor(TreeIcon which) const;
};

// Shows a DeviceTree in an item view. A row's children are what the node
// gives through childCountForTable/childForTable (none when the node cannot
// expand), so a hub port with a plugged-in device shows only that device.
//
// The model keeps its own copy of the rows it has announced; refresh(node)
// brings one node's rows in line with the tree with precise insert, remove
// and move notifications, so a view keeps its expansion and selection.
// Nodes taken out of the tree must stay alive until the refresh that drops
// their rows has run (DeviceTree::DetachResult holds them for that).
class DeviceTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, SerialColumn, ChannelColumn, VersionColumn, ColumnCount };
    // headerData role giving a column's identifier ("NameColumn", ...).
    static constexpr int ColumnIdRole = Qt::UserRole + 1;

    DeviceTreeModel(DeviceTree &tree, TreeIcons icons, QObject *parent = nullptr);
    ~DeviceTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The node's row is redrawn and its shown children follow the tree.
    void refresh(TindrelTreeNode *node);
    // The node's row is redrawn (its values changed, not its children).
    void nodeChanged(const TindrelTreeNode *node);

    QModelIndex indexForNode(const TindrelTreeNode *node) const;
    TindrelTreeNode *nodeForIndex(const QModelIndex &index) const;

    // Column identifier of a column number; empty for any other.
    static QString columnId(int column);

private:
    struct Entry {
        TindrelTreeNode *parent = nullptr;
        int row = 0;
        std::vector<TindrelTreeNode *> children;
    };

    std::vector<TindrelTreeNode *> shownChildren(const TindrelTreeNode *node) const;
    void publish(TindrelTreeNode *node, TindrelTreeNode *parent, int row);
    void unpublish(const TindrelTreeNode *node);
    void renumber(Entry &entry, size_t from);
    void removeRun(TindrelTreeNode *node, const QModelIndex &parentIndex, int first, int last);
    void insertRun(TindrelTreeNode *node, const QModelIndex &parentIndex, int at,
                   const std::vector<TindrelTreeNode *> &items);
    void reorder(TindrelTreeNode *node, const QModelIndex &parentIndex, std::vector<TindrelTreeNode *> order);

    DeviceTree &tree_;
    TreeIcons icons_;
    std::unordered_map<const TindrelTreeNode *, Entry> entries_;
};

}   // namespace tindrel
