#pragma once

// SIGINT and SIGTERM as a request to stop: blocked in every thread (call
// blockStopSignals() before the first library call, so the library's threads
// inherit the mask) and received by one thread that runs a callback.

#include <atomic>
#include <functional>
#include <thread>

namespace tindrel::cli {

void blockStopSignals();

class StopSignals {
public:
    // onStop runs on the watcher thread when a signal arrives.
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    bool received() const { return received_.load(); }
    int signalNumber() const { return signal_.load(); }

private:
    std::function<void()> onStop_;
    std::atomic<bool> received_{false};
    std::atomic<bool> quit_{false};
    std::atomic<int> signal_{0};
    std::thread thread_;
};

}   // namespace tindrel::cli
