// Stand-ins for the server administration services, for tests.
#pragma once

#include "ServerServices.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace tindrel::platform::fakes {

class FakeProcessTable : public ProcessTable {
public:
    std::optional<std::vector<ProcessRecord>> snapshot() override
    {
        std::lock_guard lock(mutex);
        ++snapshots;
        if (onSnapshot)
            onSnapshot(snapshots);
        if (!readable)
            return std::nullopt;
        return records;
    }
    void set(std::vector<ProcessRecord> r)
    {
        std::lock_guard lock(mutex);
        records = std::move(r);
    }
    std::recursive_mutex mutex;
    std::vector<ProcessRecord> records;
    bool readable = true;
    int snapshots = 0;
    // Called (under the lock) before each snapshot with the snapshot count,
    // so a test can let a process appear or go after some polls.
    std::function<void(int)> onSnapshot;
};

// Plays back outcomes in order (the last one repeats) and keeps every input.
class FakeHelperLauncher : public HelperLauncher {
public:
    HelperOutcome runOnce(std::span<const std::byte> input) override
    {
        std::lock_guard lock(mutex);
        inputs.emplace_back(input.begin(), input.end());
        if (onRun)
            onRun(inputs.back());
        if (outcomes.empty())
            return {HelperOutcome::Kind::Exited, 0};
        const HelperOutcome next = outcomes.front();
        if (outcomes.size() > 1)
            outcomes.pop_front();
        return next;
    }
    std::size_t runs()
    {
        std::lock_guard lock(mutex);
        return inputs.size();
    }
    std::mutex mutex;
    std::deque<HelperOutcome> outcomes;
    std::vector<std::vector<std::byte>> inputs;
    std::function<void(const std::vector<std::byte> &)> onRun;
};

class FakePanelAuthority : public PanelAuthority {
public:
    bool isAuthorized(bool allowInteraction) override
    {
        ++checks;
        if (allowInteraction)
            ++interactiveChecks;
        if (allowInteraction && grantOnInteraction)
            granted = true;
        return granted;
    }
    void revoke() override
    {
        ++revokes;
        granted = false;
    }
    std::atomic<bool> granted = false;
    std::atomic<bool> grantOnInteraction = true;
    std::atomic<int> checks = 0;
    std::atomic<int> interactiveChecks = 0;
    std::atomic<int> revokes = 0;
};

// Sleeps no time; counts the milliseconds asked for.
class FakeSleeper : public Sleeper {
public:
    void sleepMs(int ms) override { slept += ms; }
    std::atomic<long> slept = 0;
};

}   // namespace tindrel::platform::fakes
