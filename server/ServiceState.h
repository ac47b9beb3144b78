// Whether the daemon runs, judged from the process table.
#pragma once

#include "ServerServices.h"

#include <string_view>

namespace tindrel::server {

// Names are compared on their first 16 characters.
bool sameProcessName(std::string_view a, std::string_view b);

// True when exactly one live process has the name; none, several, or a
// table that cannot be read count as not running.
bool isRunning(platform::ProcessTable &table, std::string_view name);

// Check at once, then every 50 ms until the time-out (ms) is used up.
bool waitForRunning(platform::ProcessTable &table, platform::Sleeper &sleeper, std::string_view name, int timeoutMs);
bool waitForStopped(platform::ProcessTable &table, platform::Sleeper &sleeper, std::string_view name, int timeoutMs);

inline constexpr int kStartTimeoutMs = 5000;
inline constexpr int kStopTimeoutMs = 10000;
inline constexpr int kPollIntervalMs = 50;

}   // namespace tindrel::server
