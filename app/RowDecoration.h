#pragma once

class TindrelTreeNode;

namespace tindrel {

// The picture drawn to the left of a row's name.
enum class TreeIcon { None, Usb, Net, Xlnk };

// Which picture a row shows, by the kind of its node.
TreeIcon treeIconFor(const TindrelTreeNode &node);

// True for a device row that offers a firmware upgrade: the whole row is red.
bool isUpgradeRow(const TindrelTreeNode &node);

}   // namespace tindrel
