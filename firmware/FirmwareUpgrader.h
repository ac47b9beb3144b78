#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>

#include "DeviceAddress.h"
#include "FirmwareUpgrade.h"
#include "tindrel22_core.h"

class TindrelDevice;

namespace tindrel::fw {

// Everything the upgrade needs from a device node, copied on the main
// thread: the worker never reads the node, which the tree may drop while
// the device reboots.
struct UpgradeTarget {
    bool hasFirmwareUpgrade = false;
    FirmwareUpgrade fw;
    DeviceAddress address;
    int32_t devClass = 0;
    // Class of the handle that asks the device to reboot into its loader:
    // the hub class for a hub, else the class of the node's first channel.
    Tindrel_ChannelClass normalClass = TINDREL_CHCLASS_NOTHING;
    bool showsLoader = false;   // the first child is the firmware-upgrade channel

    static UpgradeTarget fromNode(const TindrelDevice &node);
};

// Receives the library's progress values on a library thread; it must only
// hand them on (never touch a widget or controller state there).
class ProgressTarget {
public:
    virtual ~ProgressTarget() = default;
    virtual void progressFromLibrary(double progress) = 0;
};

inline constexpr size_t kMaxImageBytes = 32768;
inline constexpr int kRetries = 3;

struct Console {
    std::ostream &out;
    std::ostream &err;
};

// Sends the image to the device, with up to kRetries repeated attempts;
// true on success. Blocking: for a worker thread. A set cancel flag ends it
// after the step under way, as a failure.
bool upgradeFirmware(const UpgradeTarget &target, ProgressTarget *progress, Console console,
                     const std::atomic<bool> *cancel = nullptr);

// Switches a hub-port device's port off and on again; true on success.
bool powerCycleHubPort(const UpgradeTarget &target, Console console);

}   // namespace tindrel::fw
