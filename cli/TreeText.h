#pragma once

// The device tree as `tindrel list` prints it: an indented table for people,
// JSON for programs, and the address of every channel in it. Pure functions
// of the tree's nodes.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "OpenSettings.h"
#include "TindrelTreeNode.h"

namespace tindrel::cli {

// A channel of the tree with the address that opens exactly it.
struct ChannelEntry {
    const TindrelChannel *node = nullptr;
    const TindrelDevice *device = nullptr;
    OpenSettings address;
};

// The address of a channel node, from the device and computer above it.
OpenSettings addressOf(const TindrelChannel &channel);
const TindrelDevice *deviceOf(const TindrelTreeNode &node);

// Every channel under root, in tree order.
std::vector<ChannelEntry> channelsOf(const TindrelTreeNode &root);

// Columns: DEVICE / CHANNEL (indented), SERIAL, PORT, CH, CLASS, VERSION, ADDRESS.
std::string treeTable(const TindrelTreeNode &root);

// {"computers": [ {"kind": "computer", ..., "children": [...]}, ... ]}.
nlohmann::ordered_json treeJson(const TindrelTreeNode &root);
nlohmann::ordered_json addressJson(const OpenSettings &address);
nlohmann::ordered_json channelJson(const ChannelEntry &entry);

}   // namespace tindrel::cli
