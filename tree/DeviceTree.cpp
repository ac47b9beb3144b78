#include "DeviceTree.h"

#include <algorithm>

namespace {

// Child positions from subtree down to node; empty when node is not below subtree.
std::vector<int> pathBelow(const TindrelTreeNode &subtree, const TindrelTreeNode *node)
{
    std::vector<int> path;
    for (const TindrelTreeNode *n = node; n; n = n->parent()) {
        if (n == &subtree) {
            std::reverse(path.begin(), path.end());
            return path;
        }
        if (!n->parent())
            break;
        path.push_back(n->parent()->indexOfChild(n));
    }
    return {};
}

bool isBelow(const TindrelTreeNode &subtree, const TindrelTreeNode *node)
{
    for (const TindrelTreeNode *n = node ? node->parent() : nullptr; n; n = n->parent())
        if (n == &subtree)
            return true;
    return false;
}

TindrelHandle parentOf(TindrelHandle h)
{
    TindrelHandle parent = nullptr;
    if (Tindrel_getParent(h, &parent) != TINDREL_OK)
        return nullptr;
    return parent;
}

}   // namespace

DeviceTree::DeviceTree()
    : root_(std::make_unique<TindrelTreeNode>(QStringLiteral("Tindrels")))
{ }

DeviceTree::~DeviceTree() = default;

TindrelTreeNode *DeviceTree::find(const TindrelTreeNode &sought, const TindrelTreeNode &subtree) const
{
    const std::optional<QString> key = sought.identityKey();
    if (!key)
        return TindrelTreeNode::FindNode(sought, subtree);
    const auto it = byKey_.constFind(*key);
    if (it == byKey_.constEnd())
        return nullptr;
    TindrelTreeNode *best = nullptr;
    std::vector<int> bestPath;
    for (TindrelTreeNode *candidate : *it) {
        if (!isBelow(subtree, candidate))
            continue;
        if (!best) {
            best = candidate;
            continue;
        }
        // Several equal nodes in different branches: the first in pre-order wins.
        if (bestPath.empty())
            bestPath = pathBelow(subtree, best);
        std::vector<int> path = pathBelow(subtree, candidate);
        if (path < bestPath) {
            best = candidate;
            bestPath = std::move(path);
        }
    }
    return best;
}

TindrelDevice *DeviceTree::liveDevice(const TindrelTreeNode *node, uint64_t uid) const
{
    const auto it = live_.constFind(node);
    if (it == live_.constEnd() || *it != uid)
        return nullptr;
    return dynamic_cast<TindrelDevice *>(const_cast<TindrelTreeNode *>(node));
}

void DeviceTree::indexSubtree(TindrelTreeNode &node)
{
    live_.insert(&node, node.uid());
    if (auto key = node.identityKey())
        byKey_[*key].push_back(&node);
    for (const auto &c : node.children())
        indexSubtree(*c);
}

void DeviceTree::unindexSubtree(const TindrelTreeNode &node)
{
    live_.remove(&node);
    if (auto key = node.identityKey()) {
        auto it = byKey_.find(*key);
        if (it != byKey_.end()) {
            auto &v = *it;
            v.erase(std::remove(v.begin(), v.end(), &node), v.end());
            if (v.empty())
                byKey_.erase(it);
        }
    }
    for (const auto &c : node.children())
        unindexSubtree(*c);
}

TindrelTreeNode *DeviceTree::insert(TindrelTreeNode &parent, std::unique_ptr<TindrelTreeNode> node)
{
    TindrelTreeNode *placed = parent.insertChildSorted(std::move(node));
    indexSubtree(*placed);
    return placed;
}

std::unique_ptr<TindrelTreeNode> DeviceTree::remove(const TindrelTreeNode &node)
{
    if (!node.parent())
        return nullptr;
    std::unique_ptr<TindrelTreeNode> out = node.parent()->removeChild(&node);
    if (out)
        unindexSubtree(*out);
    return out;
}

DeviceTree::AttachResult DeviceTree::attach(TindrelHandle channelHandle, const NewDeviceHook &onNewDevice)
{
    AttachResult result;
    auto channelNode = std::make_unique<TindrelChannel>(channelHandle);
    if (channelNode->chClass == TINDREL_CHCLASS_HUB)
        return result;
    result.placed = true;
    result.channel = channelNode.get();

    auto computerProbe = std::make_unique<ComputerNode>(channelHandle);
    auto *computer = static_cast<ComputerNode *>(find(*computerProbe, *root_));
    if (!computer) {
        computer = static_cast<ComputerNode *>(root_->insertChildSorted(std::move(computerProbe)));
        indexSubtree(*computer);
        result.computerAdded = true;
    }
    result.computer = computer;

    std::vector<std::pair<TindrelHandle, TindrelDevice *>> newDevices;
    std::unique_ptr<TindrelTreeNode> toPlace = std::move(channelNode);
    TindrelHandle parentHandle = parentOf(channelHandle);
    while (parentHandle) {
        auto deviceProbe = std::make_unique<TindrelDevice>(parentHandle);
        if (auto *found = find(*deviceProbe, *computer)) {
            TindrelTreeNode *placed = found->insertChildSorted(std::move(toPlace));
            indexSubtree(*placed);
            result.refresh = result.top = found;
            break;
        }
        TindrelDevice *holder = deviceProbe.get();
        holder->insertChildSorted(std::move(toPlace));
        newDevices.emplace_back(parentHandle, holder);
        if (holder->devClass == TINDREL_DEVCLASS_XLNK) {
            auto portProbe = std::make_unique<HubPortNode>(holder->hubPort, holder->devSerial);
            if (auto *port = find(*portProbe, *computer)) {
                TindrelTreeNode *placed = port->insertChildSorted(std::move(deviceProbe));
                indexSubtree(*placed);
                result.refresh = result.top = port;
                break;
            }
            portProbe->insertChildSorted(std::move(deviceProbe));
            toPlace = std::move(portProbe);
        } else {
            toPlace = std::move(deviceProbe);
        }
        parentHandle = parentOf(parentHandle);
    }
    if (!result.refresh) {
        // The chain of new nodes reached the top: it hangs under the computer.
        TindrelTreeNode *placed = computer->insertChildSorted(std::move(toPlace));
        indexSubtree(*placed);
        result.refresh = computer;
        result.top = placed;
    }
    if (onNewDevice)
        for (const auto &[handle, node] : newDevices)
            onNewDevice(handle, node);
    return result;
}

DeviceTree::DetachResult DeviceTree::detach(TindrelHandle channelHandle)
{
    DetachResult result;
    TindrelHandle deviceHandle = parentOf(channelHandle);
    if (!deviceHandle)
        return result;
    const TindrelDevice probe(deviceHandle);
    TindrelTreeNode *found = find(probe, *root_);
    if (!found)
        return result;   // already gone with an earlier channel of the device

    TindrelTreeNode *parent = found->parent();
    result.removed = true;
    result.removedDevice = parent->removeChild(found);
    unindexSubtree(*result.removedDevice);
    if (!parent->children().empty()) {
        result.parent = parent;
        result.collapseParent = !parent->shouldExpand();
    } else if (TindrelTreeNode *grand = parent->parent()) {
        // One level only: an emptied parent goes, its own parent stays.
        result.removedParent = grand->removeChild(parent);
        unindexSubtree(*result.removedParent);
        result.prunedFrom = grand;
    } else {
        result.parent = parent;
    }
    return result;
}
