#include "TindrelTreeNode.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<uint64_t> nextUid{1};

// Getters whose call fails leave the field at its default: a node is still
// made and shown, just with a blank or zero value.
QString readString(TindrelReturnCode (*getter)(TindrelHandle, const char **), TindrelHandle h)
{
    const char *s = nullptr;
    if (getter(h, &s) != TINDREL_OK || !s)
        return {};
    return QString::fromUtf8(s);
}

int32_t readInt(TindrelReturnCode (*getter)(TindrelHandle, int32_t *), TindrelHandle h)
{
    int32_t v = 0;
    return getter(h, &v) == TINDREL_OK ? v : 0;
}

int readPlainInt(TindrelReturnCode (*getter)(TindrelHandle, int *), TindrelHandle h)
{
    int v = 0;
    return getter(h, &v) == TINDREL_OK ? v : 0;
}

// Compares optional numbers with absent before any present value.
int compareOptional(const std::optional<int32_t> &a, const std::optional<int32_t> &b)
{
    if (a.has_value() != b.has_value())
        return a.has_value() ? 1 : -1;
    if (!a)
        return 0;
    return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

QChar sep() { return QChar(0x1f); }

}   // namespace

// ---------------------------------------------------------------- base node

TindrelTreeNode::TindrelTreeNode()
    : uid_(nextUid.fetch_add(1, std::memory_order_relaxed))
{ }

TindrelTreeNode::TindrelTreeNode(QString name)
    : TindrelTreeNode()
{
    name_ = std::move(name);
}

TindrelTreeNode::~TindrelTreeNode() = default;

int TindrelTreeNode::indexOfChild(const TindrelTreeNode *child) const
{
    for (size_t i = 0; i < children_.size(); ++i)
        if (children_[i].get() == child)
            return static_cast<int>(i);
    return -1;
}

void TindrelTreeNode::setName(QString name)
{
    name_ = std::move(name);
    keysMayHaveChanged();
}

bool TindrelTreeNode::isEqual(const TindrelTreeNode &other) const { return this == &other; }

TindrelTreeNode *TindrelTreeNode::addChild(std::unique_ptr<TindrelTreeNode> child)
{
    child->parent_ = this;
    children_.push_back(std::move(child));
    if (children_.size() > 1 && !childrenUnsorted_ && lessForSort(*children_.back(), *children_[children_.size() - 2]))
        childrenUnsorted_ = true;
    keysMayHaveChanged();
    return children_.back().get();
}

TindrelTreeNode *TindrelTreeNode::insertChildSorted(std::unique_ptr<TindrelTreeNode> child)
{
    if (childrenUnsorted_) {
        TindrelTreeNode *raw = addChild(std::move(child));
        sort();
        return raw;
    }
    // Upper bound: the new child goes after every child that sorts equal,
    // exactly where a stable sort of the appended list would put it.
    auto pos = std::upper_bound(children_.begin(), children_.end(), child,
                                [](const std::unique_ptr<TindrelTreeNode> &a,
                                   const std::unique_ptr<TindrelTreeNode> &b) { return lessForSort(*a, *b); });
    child->parent_ = this;
    TindrelTreeNode *raw = children_.insert(pos, std::move(child))->get();
    keysMayHaveChanged();
    return raw;
}

std::unique_ptr<TindrelTreeNode> TindrelTreeNode::removeChild(const TindrelTreeNode *child)
{
    const int i = indexOfChild(child);
    if (i < 0)
        return nullptr;
    std::unique_ptr<TindrelTreeNode> out = std::move(children_[static_cast<size_t>(i)]);
    children_.erase(children_.begin() + i);
    out->parent_ = nullptr;
    keysMayHaveChanged();
    return out;
}

bool TindrelTreeNode::lessForSort(const TindrelTreeNode &a, const TindrelTreeNode &b)
{
    // Plain code-unit comparison: "Port 10" sorts before "Port 2".
    const int byName = QString::compare(a.nameForTable(), b.nameForTable(), Qt::CaseSensitive);
    if (byName != 0)
        return byName < 0;
    const int bySerial = compareOptional(a.serialNumberForTable(), b.serialNumberForTable());
    if (bySerial != 0)
        return bySerial < 0;
    return compareOptional(a.channelForTable(), b.channelForTable()) < 0;
}

void TindrelTreeNode::sort()
{
    std::stable_sort(children_.begin(), children_.end(),
                     [](const std::unique_ptr<TindrelTreeNode> &a, const std::unique_ptr<TindrelTreeNode> &b) {
                         return lessForSort(*a, *b);
                     });
    childrenUnsorted_ = false;
}

void TindrelTreeNode::keysMayHaveChanged()
{
    // A device's channel column depends on its children, and its name can
    // change, so the parent's order may no longer hold.
    if (parent_)
        parent_->childKeyMayHaveChanged(this);
}

void TindrelTreeNode::childKeyMayHaveChanged(const TindrelTreeNode *child)
{
    if (childrenUnsorted_)
        return;
    const int i = indexOfChild(child);
    if (i < 0)
        return;
    const size_t u = static_cast<size_t>(i);
    if ((u > 0 && lessForSort(*children_[u], *children_[u - 1])) ||
        (u + 1 < children_.size() && lessForSort(*children_[u + 1], *children_[u])))
        childrenUnsorted_ = true;
}

bool TindrelTreeNode::canExpand() const { return !children_.empty(); }

bool TindrelTreeNode::shouldExpand() const { return false; }

std::optional<int32_t> TindrelTreeNode::channelForTable() const { return channel; }

int TindrelTreeNode::childCountForTable() const { return static_cast<int>(children_.size()); }

TindrelTreeNode *TindrelTreeNode::childForTable(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= children_.size())
        return nullptr;
    return children_[static_cast<size_t>(index)].get();
}

TindrelTreeNode *TindrelTreeNode::FindNode(const TindrelTreeNode &sought, const TindrelTreeNode &tree)
{
    for (const auto &child : tree.children_) {
        if (child->isEqual(sought))
            return child.get();
        if (TindrelTreeNode *deeper = FindNode(sought, *child))
            return deeper;
    }
    return nullptr;
}

std::optional<QString> TindrelTreeNode::identityKey() const { return std::nullopt; }

// ---------------------------------------------------------------- computer

ComputerNode::ComputerNode(TindrelHandle channel)
{
    int remote = 0;
    if (Tindrel_getIsRemote(channel, &remote) != TINDREL_OK)
        remote = 0;
    isRemote = remote != 0;
    if (isRemote) {
        serverName = readString(Tindrel_getServerName, channel);
        serverUniqueName = readString(Tindrel_getServerUniqueName, channel);
        serverPeerName = readString(Tindrel_getServerPeerName, channel);
        serverHostName = readString(Tindrel_getServerHostname, channel);
    }
    updateName();
}

void ComputerNode::updateName()
{
    setName(isRemote ? QStringLiteral("Remote Server: %1 (%2)").arg(serverName, serverHostName)
                     : QStringLiteral("Local Tindrels"));
}

bool ComputerNode::isEqual(const TindrelTreeNode &other) const
{
    if (this == &other)
        return true;
    const auto *o = dynamic_cast<const ComputerNode *>(&other);
    return o && isEqualToComputerNode(*o);
}

bool ComputerNode::isEqualToComputerNode(const ComputerNode &other) const
{
    if (isRemote != other.isRemote)
        return false;
    return !isRemote || serverUniqueName == other.serverUniqueName;
}

std::optional<QString> ComputerNode::identityKey() const
{
    return QStringLiteral("C") + sep() + (isRemote ? QStringLiteral("R") + serverUniqueName : QStringLiteral("L"));
}

// ---------------------------------------------------------------- device

TindrelDevice::TindrelDevice(TindrelHandle device)
{
    devname = readString(Tindrel_getDeviceName, device);
    devSerial = readInt(Tindrel_getDeviceSerialNumber, device);
    const int devVersion = readPlainInt(Tindrel_getDeviceVersion, device);
    devClass = readInt(Tindrel_getDeviceClass, device);
    hubPortDevice = readPlainInt(Tindrel_getIsHubPortDevice, device) != 0;
    isRemote = readPlainInt(Tindrel_getIsRemote, device) != 0;
    devId = readInt(Tindrel_getDeviceID, device);
    if (isRemote) {
        serverName = readString(Tindrel_getServerName, device);
        serverUniqueName = readString(Tindrel_getServerUniqueName, device);
        serverPeerName = readString(Tindrel_getServerPeerName, device);
        int major = 0, minor = 0;
        if (Tindrel_getServerVersion(device, &major, &minor) == TINDREL_OK) {
            serverMajor = major;
            serverMinor = minor;
        }
    }
    setName(devname);
    version = devVersion;
    if (devClass != TINDREL_DEVCLASS_XLNK) {
        serialNumber = devSerial;
        hubPort = 0;
    } else {
        // The serial column of a hub-port device stays blank; devSerial
        // still holds the hub's serial number.
        hubPort = readPlainInt(Tindrel_getHubPort, device);
    }
}

bool TindrelDevice::isEqual(const TindrelTreeNode &other) const
{
    if (this == &other)
        return true;
    const auto *o = dynamic_cast<const TindrelDevice *>(&other);
    return o && isEqualToTindrelDevice(*o);
}

bool TindrelDevice::isEqualToTindrelDevice(const TindrelDevice &other) const
{
    if (devSerial != other.devSerial || devClass != other.devClass || hubPort != other.hubPort ||
        isRemote != other.isRemote || devId != other.devId)
        return false;
    if (isRemote && serverUniqueName != other.serverUniqueName)
        return false;
    return devname == other.devname;
}

std::optional<QString> TindrelDevice::identityKey() const
{
    const QChar s = sep();
    return QStringLiteral("D") + s + QString::number(devSerial) + s + QString::number(devClass) + s +
           QString::number(hubPort) + s + (isRemote ? QStringLiteral("R") : QStringLiteral("L")) + s +
           QString::number(devId) + s + (isRemote ? serverUniqueName : QString()) + s + devname;
}

bool TindrelDevice::canExpand() const
{
    const auto &kids = children();
    if (kids.empty())
        return false;
    if (kids.size() >= 2)
        return true;
    return dynamic_cast<const TindrelChannel *>(kids.front().get()) == nullptr;
}

std::optional<int32_t> TindrelDevice::channelForTable() const
{
    // A device with a single channel is a leaf row standing for that channel.
    if (children().size() == 1 && !canExpand())
        return children().front()->channelForTable();
    return channel;
}

bool TindrelDevice::isLoaderDeviceId(int32_t id) { return id == 102 || id == 103 || id == 143 || id == 145; }

bool TindrelDevice::hasFirmwareUpgrade() const
{
    if (!fw)
        return false;
    if (fw->version > version.value_or(0))
        return true;
    return devClass == TINDREL_DEVCLASS_FIRMWARE_UPGRADE || isLoaderDeviceId(devId);
}

// ---------------------------------------------------------------- hub port

HubPortNode::HubPortNode(int32_t portNumber, int32_t hubSerial)
    : TindrelTreeNode(QStringLiteral("Port %1").arg(portNumber))
    , devSerial(hubSerial)
{ }

bool HubPortNode::isEqual(const TindrelTreeNode &other) const
{
    if (this == &other)
        return true;
    const auto *o = dynamic_cast<const HubPortNode *>(&other);
    return o && isEqualToHubPortNode(*o);
}

bool HubPortNode::isEqualToHubPortNode(const HubPortNode &other) const
{
    return devSerial == other.devSerial && name() == other.name();
}

std::optional<QString> HubPortNode::identityKey() const
{
    return QStringLiteral("P") + sep() + QString::number(devSerial) + sep() + name();
}

namespace {
bool isRealDevice(const TindrelTreeNode &n)
{
    const auto *d = dynamic_cast<const TindrelDevice *>(&n);
    return d && !d->hubPortDevice;
}
}   // namespace

bool HubPortNode::xlnkDeviceAttached() const
{
    return std::any_of(children().begin(), children().end(), [](const auto &c) { return isRealDevice(*c); });
}

int HubPortNode::childCountForTable() const
{
    const auto real =
        std::count_if(children().begin(), children().end(), [](const auto &c) { return isRealDevice(*c); });
    return real > 0 ? static_cast<int>(real) : static_cast<int>(children().size());
}

TindrelTreeNode *HubPortNode::childForTable(int index) const
{
    if (!xlnkDeviceAttached())
        return TindrelTreeNode::childForTable(index);
    int seen = 0;
    for (const auto &c : children()) {
        if (!isRealDevice(*c))
            continue;
        if (seen++ == index)
            return c.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------- channel

TindrelChannel::TindrelChannel(TindrelHandle ch)
{
    setName(readString(Tindrel_getChannelName, ch));
    channel = readPlainInt(Tindrel_getChannel, ch);
    Tindrel_ChannelClass cls = TINDREL_CHCLASS_NOTHING;
    if (Tindrel_getChannelClass(ch, &cls) == TINDREL_OK)
        chClass = static_cast<int32_t>(cls);
    chClsName = readString(Tindrel_getChannelClassName, ch);
    chSubClass = readInt(Tindrel_getChannelSubclass, ch);
}

bool TindrelChannel::isEqual(const TindrelTreeNode &other) const
{
    if (this == &other)
        return true;
    const auto *o = dynamic_cast<const TindrelChannel *>(&other);
    return o && isEqualToTindrelChannel(*o);
}

bool TindrelChannel::isEqualToTindrelChannel(const TindrelChannel &other) const
{
    if (channel != other.channel || chClass != other.chClass)
        return false;
    if (!parent() && !other.parent())
        return true;
    return parent() && other.parent() && parent()->isEqual(*other.parent());
}
