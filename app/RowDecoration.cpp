#include "RowDecoration.h"

#include "TindrelTreeNode.h"

namespace tindrel {

TreeIcon treeIconFor(const TindrelTreeNode &node)
{
    if (const auto *device = dynamic_cast<const TindrelDevice *>(&node)) {
        switch (device->devClass) {
        case TINDREL_DEVCLASS_HUB:
            // Hubs with device ID 123 or 67 show no picture.
            return (device->devId == 123 || device->devId == 67) ? TreeIcon::None : TreeIcon::Usb;
        case 24:
            return TreeIcon::None;
        case TINDREL_DEVCLASS_XLNK:
            return TreeIcon::Xlnk;
        default:
            return TreeIcon::Usb;
        }
    }
    if (const auto *computer = dynamic_cast<const ComputerNode *>(&node))
        return computer->isRemote ? TreeIcon::Net : TreeIcon::None;
    if (dynamic_cast<const HubPortNode *>(&node))
        return TreeIcon::Xlnk;
    return TreeIcon::None;
}

bool isUpgradeRow(const TindrelTreeNode &node)
{
    const auto *device = dynamic_cast<const TindrelDevice *>(&node);
    return device && device->hasFirmwareUpgrade();
}

}   // namespace tindrel
