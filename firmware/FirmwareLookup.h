#pragma once

#include <optional>
#include <vector>

#include "FirmwareUpgrade.h"
#include "tindrel22_core.h"

namespace tindrel::fw {

// The newest shipped image for a device handle, or none when a library call
// fails, nothing matches, or a device showing itself through its loader
// cannot be identified. For a loader device (IDs 102, 103, 143, 145) this
// opens the loader and asks what the device really is, which takes up to
// about two seconds: call it off the main thread. Any thread.
std::optional<FirmwareUpgrade> latestFirmwareForTindrel(TindrelHandle device, const std::vector<FirmwareUpgrade> &list);

}   // namespace tindrel::fw
