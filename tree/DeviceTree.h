#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QString>

#include "TindrelTreeNode.h"

// The root of the device tree ("Tindrels") with the placement of attached
// channels and the removal of detached devices.
//
// Lookups give exactly the node TindrelTreeNode::FindNode would give, but go
// through an index of the computers, devices and hub ports in the tree, so a
// tree of thousands of channels does not walk every node for each event.
// Identity fields of nodes in the tree must not change while they are in it.
class DeviceTree {
public:
    struct AttachResult {
        bool placed = false;          // false for a channel that is not shown (class 13)
        bool computerAdded = false;   // a new computer row: the root's children changed
        ComputerNode *computer = nullptr;
        TindrelTreeNode *refresh = nullptr;   // the existing node whose children changed
        TindrelTreeNode *top = nullptr;       // the found node, or the topmost new node
        TindrelChannel *channel = nullptr;
    };

    struct DetachResult {
        bool removed = false;
        // The device's former parent, when it is still in the tree.
        TindrelTreeNode *parent = nullptr;
        // The parent still has children and should not expand: collapse it.
        bool collapseParent = false;
        // The parent was emptied and taken out of this node.
        TindrelTreeNode *prunedFrom = nullptr;
        // What was taken out of the tree; alive until the result is dropped,
        // so a view can still tell which rows went.
        std::unique_ptr<TindrelTreeNode> removedDevice;
        std::unique_ptr<TindrelTreeNode> removedParent;
    };

    // Called once for every device node an attach creates, with the device
    // handle it was read from (valid only during the call) and the node.
    using NewDeviceHook = std::function<void(TindrelHandle device, TindrelDevice *node)>;

    DeviceTree();
    ~DeviceTree();
    DeviceTree(const DeviceTree &) = delete;
    DeviceTree &operator=(const DeviceTree &) = delete;

    TindrelTreeNode &root() { return *root_; }
    const TindrelTreeNode &root() const { return *root_; }

    AttachResult attach(TindrelHandle channel, const NewDeviceHook &onNewDevice = {});
    DetachResult detach(TindrelHandle channel);

    // Puts a node made elsewhere (with its subtree) under parent, in sorted
    // place, and indexes it. parent must be the root or a node in this tree.
    TindrelTreeNode *insert(TindrelTreeNode &parent, std::unique_ptr<TindrelTreeNode> node);
    // Takes a node (with its subtree) out of the tree.
    std::unique_ptr<TindrelTreeNode> remove(const TindrelTreeNode &node);

    // The first node under subtree (pre-order) equal to sought.
    TindrelTreeNode *find(const TindrelTreeNode &sought, const TindrelTreeNode &subtree) const;

    // The device node with this address and uid, if it is still in the tree.
    TindrelDevice *liveDevice(const TindrelTreeNode *node, uint64_t uid) const;

    // Number of nodes below the root (for checks and statistics).
    size_t indexedNodeCount() const { return live_.size(); }

private:
    void indexSubtree(TindrelTreeNode &node);
    void unindexSubtree(const TindrelTreeNode &node);

    std::unique_ptr<TindrelTreeNode> root_;
    QHash<QString, std::vector<TindrelTreeNode *>> byKey_;
    QHash<const TindrelTreeNode *, uint64_t> live_;
};
