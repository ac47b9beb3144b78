#pragma once

#include <functional>
#include <optional>

#include "DeviceTree.h"
#include "Exit.h"
#include "ManagerEvents.h"

namespace tindrel::cli {

inline constexpr int kDefaultSettleMs = 500;

// Handles the manager's events until none has come for settleMs (the
// library reports what is present one event at a time, with no end mark),
// at most settleMs + 10 s, or until stop() says so.
void settle(ManagerEvents &manager, int settleMs, const std::function<bool()> &stop = {});

// The device tree as the library reports it now.
std::optional<Failure> collectTree(DeviceTree &tree, bool remote, int settleMs);

}   // namespace tindrel::cli
