#pragma once

// The device tree of whatever the library reports, built from a manager's
// attach events as the main window builds it, and its channel rows (for
// the tests that open windows the way the tree's double-click does).
#include <DeviceTree.h>
#include <TindrelTreeNode.h>
#include <tindrel22.h>
#include <tindrelsim.h>

#include <QApplication>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QWidget>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace tindrel::testing {

// Read the tree only after close().
class ManagedTree {
public:
    ManagedTree()
    {
        TindrelManager_create(&manager_);
        TindrelManager_setOnAttachHandler(manager_, &ManagedTree::attached, this);
        TindrelManager_open(manager_);
    }
    ~ManagedTree() { close(); }
    ManagedTree(const ManagedTree &) = delete;
    ManagedTree &operator=(const ManagedTree &) = delete;

    void close()
    {
        if (!manager_)
            return;
        TindrelManager_close(manager_);
        TindrelManager_delete(&manager_);
    }

    // The channels reported so far for which pred(channel class, remote) holds.
    int count(const std::function<bool(int cls, bool remote)> &pred)
    {
        const std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto &[cls, remote] : seen_)
            n += pred(cls, remote) ? 1 : 0;
        return n;
    }

    DeviceTree tree;

private:
    static void attached(TindrelManagerHandle, void *ctx, TindrelHandle channel)
    {
        auto *self = static_cast<ManagedTree *>(ctx);
        const std::lock_guard lock(self->mutex_);
        self->tree.attach(channel);
        Tindrel_ChannelClass cls{};
        Tindrel_getChannelClass(channel, &cls);
        int remote = 0;
        Tindrel_getIsRemote(channel, &remote);
        self->seen_.emplace_back(static_cast<int>(cls), remote != 0);
    }

    std::mutex mutex_;
    std::vector<std::pair<int, bool>> seen_;   // guarded
    TindrelManagerHandle manager_ = nullptr;
};

// A row that opens a channel's window: the channel's own row, or the row of
// a device with a single channel, which stands for it.
struct ChannelRow {
    TindrelTreeNode *row = nullptr;
    const TindrelChannel *channel = nullptr;
    const TindrelDevice *device = nullptr;
    bool remote() const { return device->isRemote; }
};

inline QList<ChannelRow> channelRows(const TindrelTreeNode &root)
{
    QList<ChannelRow> out;
    std::function<void(const TindrelTreeNode &)> walk = [&](const TindrelTreeNode &node) {
        for (const auto &child : node.children()) {
            if (auto *channel = dynamic_cast<const TindrelChannel *>(child.get())) {
                auto *device = dynamic_cast<const TindrelDevice *>(&node);
                auto *row = const_cast<TindrelTreeNode *>(node.canExpand() ? child.get() : &node);
                if (device)
                    out.append({row, channel, device});
                continue;
            }
            walk(*child);
        }
    };
    walk(root);
    return out;
}

// The devices of the simulator's list, each with its channels and whether
// they are attached.
inline QJsonArray listedDevices()
{
    size_t length = 0;
    TindrelSim_list(nullptr, &length);
    QByteArray text(static_cast<qsizetype>(length), '\0');
    if (TindrelSim_list(text.data(), &length) != TINDREL_OK)
        return {};
    return QJsonDocument::fromJson(text.left(text.indexOf('\0'))).object()[u"devices"].toArray();
}

// The top-level windows of type W that are shown.
template <class W>
QList<W *> shownWindows()
{
    QList<W *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *typed = dynamic_cast<W *>(w); typed && typed->isVisible())
            out.append(typed);
    return out;
}

}   // namespace tindrel::testing
