#include "DeviceTreeModel.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include <QBrush>
#include <QColor>

#include "DeviceTree.h"
#include "TindrelTreeNode.h"

namespace tindrel {

namespace {

QVariant number(std::optional<int32_t> v) { return v ? QVariant(*v) : QVariant(); }

struct ColumnSpec {
    const char *id;
    const char *title;
    QVariant (*value)(const TindrelTreeNode &);
};

const std::array<ColumnSpec, DeviceTreeModel::ColumnCount> columns{{
    {"NameColumn", "Name", [](const TindrelTreeNode &n) { return QVariant(n.nameForTable()); }},
    {"SerialColumn", "Serial Number", [](const TindrelTreeNode &n) { return number(n.serialNumberForTable()); }},
    {"ChannelColumn", "Channel", [](const TindrelTreeNode &n) { return number(n.channelForTable()); }},
    {"VersionColumn", "Version", [](const TindrelTreeNode &n) { return number(n.versionForTable()); }},
}};

}   // namespace

QIcon TreeIcons::iconFor(TreeIcon which) const
{
    switch (which) {
    case TreeIcon::Usb:
        return usbImage;
    case TreeIcon::Net:
        return netImage;
    case TreeIcon::Xlnk:
        return xlnkImage;
    case TreeIcon::None:
        break;
    }
    return {};
}

DeviceTreeModel::DeviceTreeModel(DeviceTree &tree, TreeIcons icons, QObject *parent)
    : QAbstractItemModel(parent)
    , tree_(tree)
    , icons_(std::move(icons))
{
    publish(&tree_.root(), nullptr, 0);
}

DeviceTreeModel::~DeviceTreeModel() = default;

QString DeviceTreeModel::columnId(int column)
{
    if (column < 0 || column >= ColumnCount)
        return {};
    return QString::fromLatin1(columns[static_cast<size_t>(column)].id);
}

std::vector<TindrelTreeNode *> DeviceTreeModel::shownChildren(const TindrelTreeNode *node) const
{
    std::vector<TindrelTreeNode *> out;
    // The invisible root always shows its children; any other node only when
    // it can expand (a device with a single channel is a leaf row).
    if (node != &tree_.root() && !node->canExpand())
        return out;
    const int n = node->childCountForTable();
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        if (TindrelTreeNode *c = node->childForTable(i))
            out.push_back(c);
    return out;
}

void DeviceTreeModel::publish(TindrelTreeNode *node, TindrelTreeNode *parent, int row)
{
    Entry &e = entries_[node];
    e.parent = parent;
    e.row = row;
    e.children = shownChildren(node);
    // Entries of an unordered_map keep their address while others are added.
    const std::vector<TindrelTreeNode *> &kids = e.children;
    for (size_t i = 0; i < kids.size(); ++i)
        publish(kids[i], node, static_cast<int>(i));
}

void DeviceTreeModel::unpublish(const TindrelTreeNode *node)
{
    const auto it = entries_.find(node);
    if (it == entries_.end())
        return;
    const std::vector<TindrelTreeNode *> kids = std::move(it->second.children);
    entries_.erase(it);
    for (const TindrelTreeNode *k : kids)
        unpublish(k);
}

void DeviceTreeModel::renumber(Entry &entry, size_t from)
{
    for (size_t i = from; i < entry.children.size(); ++i)
        entries_[entry.children[i]].row = static_cast<int>(i);
}

QModelIndex DeviceTreeModel::indexForNode(const TindrelTreeNode *node) const
{
    if (!node || node == &tree_.root())
        return {};
    const auto it = entries_.find(node);
    if (it == entries_.end())
        return {};
    return createIndex(it->second.row, 0, const_cast<TindrelTreeNode *>(node));
}

TindrelTreeNode *DeviceTreeModel::nodeForIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return &tree_.root();
    return static_cast<TindrelTreeNode *>(index.internalPointer());
}

QModelIndex DeviceTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= ColumnCount || row < 0)
        return {};
    if (parent.isValid() && parent.column() != 0)
        return {};
    const auto it = entries_.find(nodeForIndex(parent));
    if (it == entries_.end() || static_cast<size_t>(row) >= it->second.children.size())
        return {};
    return createIndex(row, column, it->second.children[static_cast<size_t>(row)]);
}

QModelIndex DeviceTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const auto it = entries_.find(nodeForIndex(child));
    if (it == entries_.end())
        return {};
    return indexForNode(it->second.parent);
}

int DeviceTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const auto it = entries_.find(nodeForIndex(parent));
    return it == entries_.end() ? 0 : static_cast<int>(it->second.children.size());
}

int DeviceTreeModel::columnCount(const QModelIndex &) const { return ColumnCount; }

bool DeviceTreeModel::hasChildren(const QModelIndex &parent) const { return rowCount(parent) > 0; }

QVariant DeviceTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    const TindrelTreeNode &node = *nodeForIndex(index);
    switch (role) {
    case Qt::DisplayRole:
        return columns[static_cast<size_t>(index.column())].value(node);
    case Qt::DecorationRole:
        if (index.column() == NameColumn) {
            const QIcon icon = icons_.iconFor(treeIconFor(node));
            if (!icon.isNull())
                return icon;
        }
        return {};
    case Qt::ForegroundRole:
        if (isUpgradeRow(node))
            return QBrush(QColor(Qt::red));
        return {};
    default:
        return {};
    }
}

QVariant DeviceTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(columns[static_cast<size_t>(section)].title);
    if (role == ColumnIdRole)
        return columnId(section);
    return {};
}

void DeviceTreeModel::nodeChanged(const TindrelTreeNode *node)
{
    const QModelIndex first = indexForNode(node);
    if (first.isValid())
        emit dataChanged(first, first.siblingAtColumn(ColumnCount - 1));
}

void DeviceTreeModel::removeRun(TindrelTreeNode *node, const QModelIndex &parentIndex, int first, int last)
{
    beginRemoveRows(parentIndex, first, last);
    Entry &e = entries_.at(node);
    for (int i = first; i <= last; ++i)
        unpublish(e.children[static_cast<size_t>(i)]);
    e.children.erase(e.children.begin() + first, e.children.begin() + last + 1);
    renumber(e, static_cast<size_t>(first));
    endRemoveRows();
}

void DeviceTreeModel::insertRun(TindrelTreeNode *node, const QModelIndex &parentIndex, int at,
                                const std::vector<TindrelTreeNode *> &items)
{
    beginInsertRows(parentIndex, at, at + static_cast<int>(items.size()) - 1);
    Entry &e = entries_.at(node);
    e.children.insert(e.children.begin() + at, items.begin(), items.end());
    for (size_t i = 0; i < items.size(); ++i)
        publish(items[i], node, at + static_cast<int>(i));
    renumber(e, static_cast<size_t>(at));
    endInsertRows();
}

void DeviceTreeModel::reorder(TindrelTreeNode *node, const QModelIndex &parentIndex,
                              std::vector<TindrelTreeNode *> order)
{
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    Entry &e = entries_.at(node);
    e.children = std::move(order);
    renumber(e, 0);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList to;
    to.reserve(persistent.size());
    for (const QModelIndex &old : persistent) {
        auto *n = static_cast<TindrelTreeNode *>(old.internalPointer());
        const auto it = entries_.find(n);
        to.append(it == entries_.end() ? QModelIndex() : createIndex(it->second.row, old.column(), n));
    }
    changePersistentIndexList(persistent, to);
    emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
}

void DeviceTreeModel::refresh(TindrelTreeNode *node)
{
    if (!node || !entries_.count(node))
        return;
    const QModelIndex parentIndex = indexForNode(node);
    const std::vector<TindrelTreeNode *> now = shownChildren(node);
    const std::vector<TindrelTreeNode *> &old = entries_.at(node).children;

    if (now != old) {
        const size_t p =
            static_cast<size_t>(std::mismatch(old.begin(), old.end(), now.begin(), now.end()).first - old.begin());
        if (now.size() == old.size() + 1 &&
            std::equal(old.begin() + static_cast<long>(p), old.end(), now.begin() + static_cast<long>(p) + 1)) {
            // The usual case: one new row.
            insertRun(node, parentIndex, static_cast<int>(p), {now[p]});
        } else if (old.size() == now.size() + 1 &&
                   std::equal(now.begin() + static_cast<long>(p), now.end(), old.begin() + static_cast<long>(p) + 1)) {
            removeRun(node, parentIndex, static_cast<int>(p), static_cast<int>(p));
        } else {
            const std::unordered_set<const TindrelTreeNode *> nowSet(now.begin(), now.end());
            // Rows that went, in runs from the back so the numbers stay right.
            for (int i = static_cast<int>(old.size()) - 1; i >= 0;) {
                if (nowSet.count(old[static_cast<size_t>(i)])) {
                    --i;
                    continue;
                }
                int first = i;
                while (first > 0 && !nowSet.count(old[static_cast<size_t>(first - 1)]))
                    --first;
                removeRun(node, parentIndex, first, i);
                i = first - 1;
            }
            // Rows that stayed but changed their order.
            const std::unordered_set<const TindrelTreeNode *> kept(old.begin(), old.end());
            std::vector<TindrelTreeNode *> keptInNewOrder;
            for (TindrelTreeNode *n : now)
                if (kept.count(n))
                    keptInNewOrder.push_back(n);
            if (keptInNewOrder != old)
                reorder(node, parentIndex, std::move(keptInNewOrder));
            // New rows, in runs.
            for (size_t j = 0; j < now.size();) {
                if (kept.count(now[j])) {
                    ++j;
                    continue;
                }
                std::vector<TindrelTreeNode *> run;
                const size_t at = j;
                while (j < now.size() && !kept.count(now[j]))
                    run.push_back(now[j++]);
                insertRun(node, parentIndex, static_cast<int>(at), run);
            }
        }
    }
    nodeChanged(node);
}

}   // namespace tindrel
