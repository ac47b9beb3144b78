#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "FirmwareUpgrade.h"
#include "tindrel22_core.h"

// The device tree: computers, devices, hub ports and channels, built from the
// device library's attach events. Nodes copy every value they show; they never
// keep a library handle, so a node stays valid after its device is gone.
//
// All nodes live on the main thread. Children are owned by their parent.
class TindrelTreeNode {
public:
    using Children = std::vector<std::unique_ptr<TindrelTreeNode>>;

    TindrelTreeNode();
    explicit TindrelTreeNode(QString name);
    virtual ~TindrelTreeNode();
    TindrelTreeNode(const TindrelTreeNode &) = delete;
    TindrelTreeNode &operator=(const TindrelTreeNode &) = delete;

    // A number unique to this node among all nodes made by this process, so a
    // deferred piece of work can tell its node from a later one that happens
    // to reuse the same address.
    uint64_t uid() const { return uid_; }

    TindrelTreeNode *parent() const { return parent_; }
    const Children &children() const { return children_; }
    int indexOfChild(const TindrelTreeNode *child) const;

    const QString &name() const { return name_; }
    void setName(QString name);

    std::optional<int32_t> serialNumber;
    std::optional<int32_t> channel;
    std::optional<int32_t> version;

    // Per-kind identity; the base kind compares by identity only.
    virtual bool isEqual(const TindrelTreeNode &other) const;

    // Appends a child and makes this node its parent.
    TindrelTreeNode *addChild(std::unique_ptr<TindrelTreeNode> child);
    // Same result as addChild followed by sort(), without re-sorting a list
    // that is already in order.
    TindrelTreeNode *insertChildSorted(std::unique_ptr<TindrelTreeNode> child);
    // Takes a child (with its subtree) out of this node; nullptr if it is not one.
    std::unique_ptr<TindrelTreeNode> removeChild(const TindrelTreeNode *child);
    // Stable sort of the own children by name, serial number, channel.
    void sort();
    // Strict ordering used by sort(): absent numbers come before present ones.
    static bool lessForSort(const TindrelTreeNode &a, const TindrelTreeNode &b);

    virtual bool canExpand() const;
    virtual bool shouldExpand() const;

    QString nameForTable() const { return name_; }
    std::optional<int32_t> serialNumberForTable() const { return serialNumber; }
    virtual std::optional<int32_t> channelForTable() const;
    std::optional<int32_t> versionForTable() const { return version; }
    virtual int childCountForTable() const;
    virtual TindrelTreeNode *childForTable(int index) const;

    // Depth-first pre-order search of tree's descendants (tree itself is not
    // compared): the first child that says it is equal to sought.
    static TindrelTreeNode *FindNode(const TindrelTreeNode &sought, const TindrelTreeNode &tree);

    // A text that is equal for two nodes exactly when isEqual says they are,
    // for the kinds the tree looks up (computers, devices, hub ports); absent
    // for kinds that compare by identity or through their parents.
    virtual std::optional<QString> identityKey() const;

private:
    // A child's sort keys may have changed: remember whether the list is
    // still in order, so the next insertion knows if it must re-sort.
    void childKeyMayHaveChanged(const TindrelTreeNode *child);
    void keysMayHaveChanged();

    uint64_t uid_;
    TindrelTreeNode *parent_ = nullptr;
    Children children_;
    QString name_;
    bool childrenUnsorted_ = false;
};

// The local machine or one remote server.
class ComputerNode : public TindrelTreeNode {
public:
    ComputerNode() = default;
    // Reads the computer's identity from any channel handle on it.
    explicit ComputerNode(TindrelHandle channel);

    bool isRemote = false;
    QString serverName;
    QString serverUniqueName;
    QString serverPeerName;
    QString serverHostName;

    bool isEqual(const TindrelTreeNode &other) const override;
    bool isEqualToComputerNode(const ComputerNode &other) const;
    bool shouldExpand() const override { return true; }
    std::optional<QString> identityKey() const override;

    // "Remote Server: <server> (<host>)" or "Local Tindrels".
    void updateName();
};

class TindrelDevice : public TindrelTreeNode {
public:
    TindrelDevice() = default;
    // Reads a device handle (as Tindrel_getParent returns it).
    explicit TindrelDevice(TindrelHandle device);

    bool hubPortDevice = false;
    bool isRemote = false;
    int32_t devSerial = 0;
    int32_t devClass = 0;
    int32_t hubPort = 0;
    int32_t serverMajor = 0;
    int32_t serverMinor = 0;
    int32_t devId = 0;
    QString devname;
    QString serverName;
    QString serverUniqueName;
    QString serverPeerName;
    std::optional<FirmwareUpgrade> fw;

    bool isEqual(const TindrelTreeNode &other) const override;
    bool isEqualToTindrelDevice(const TindrelDevice &other) const;
    bool canExpand() const override;
    bool shouldExpand() const override { return devClass == TINDREL_DEVCLASS_HUB; }
    std::optional<int32_t> channelForTable() const override;
    std::optional<QString> identityKey() const override;

    // A newer shipped image, a device in restore mode, or a device showing
    // itself through its firmware loader.
    bool hasFirmwareUpgrade() const;
    static bool isLoaderDeviceId(int32_t devId);
};

// One port of a hub: holds the devices the library reports on that port.
class HubPortNode : public TindrelTreeNode {
public:
    HubPortNode(int32_t portNumber, int32_t hubSerial);

    int32_t devSerial = 0;

    bool isEqual(const TindrelTreeNode &other) const override;
    bool isEqualToHubPortNode(const HubPortNode &other) const;
    bool shouldExpand() const override { return xlnkDeviceAttached(); }
    int childCountForTable() const override;
    TindrelTreeNode *childForTable(int index) const override;
    std::optional<QString> identityKey() const override;

    // A real (not port-mode) device is plugged into the port.
    bool xlnkDeviceAttached() const;
};

class TindrelChannel : public TindrelTreeNode {
public:
    TindrelChannel() = default;
    explicit TindrelChannel(TindrelHandle channel);

    int32_t chClass = 0;
    int32_t chSubClass = 0;
    QString chClsName;

    bool isEqual(const TindrelTreeNode &other) const override;
    bool isEqualToTindrelChannel(const TindrelChannel &other) const;
};
