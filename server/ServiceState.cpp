#include "ServiceState.h"

namespace tindrel::server {
namespace {

bool waitFor(platform::ProcessTable &table, platform::Sleeper &sleeper, std::string_view name, int timeoutMs,
             bool wantRunning)
{
    if (isRunning(table, name) == wantRunning)
        return true;
    for (;;) {
        sleeper.sleepMs(kPollIntervalMs);
        timeoutMs -= kPollIntervalMs;
        if (timeoutMs <= 0)
            return false;
        if (isRunning(table, name) == wantRunning)
            return true;
    }
}

}   // namespace

bool sameProcessName(std::string_view a, std::string_view b) { return a.substr(0, 16) == b.substr(0, 16); }

bool isRunning(platform::ProcessTable &table, std::string_view name)
{
    const auto records = table.snapshot();
    if (!records)
        return false;
    int matches = 0;
    for (const auto &r : *records) {
        if (r.pid > 0 && sameProcessName(r.name, name))
            ++matches;
    }
    return matches == 1;
}

bool waitForRunning(platform::ProcessTable &table, platform::Sleeper &sleeper, std::string_view name, int timeoutMs)
{
    return waitFor(table, sleeper, name, timeoutMs, true);
}

bool waitForStopped(platform::ProcessTable &table, platform::Sleeper &sleeper, std::string_view name, int timeoutMs)
{
    return waitFor(table, sleeper, name, timeoutMs, false);
}

}   // namespace tindrel::server
