// Helpers for the simulator tests: rigs written inline and waiting on events.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tindrel22.h"
#include "tindrel22extra.h"
#include "tindrelsim.h"

namespace simtest {

// Generous deadline for anything the library does on its threads.
constexpr auto kDeadline = std::chrono::seconds(10);

// Collects values from library threads; tests wait for a condition on them.
template <class T>
class Recorder {
public:
    void add(T v)
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            items_.push_back(std::move(v));
        }
        cv_.notify_all();
    }
    bool waitFor(const std::function<bool(const std::vector<T> &)> &pred, std::chrono::milliseconds d = kDeadline)
    {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, d, [&] { return pred(items_); });
    }
    bool waitCount(size_t n)
    {
        return waitFor([n](const std::vector<T> &v) { return v.size() >= n; });
    }
    std::vector<T> items() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return items_;
    }
    size_t size() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return items_.size();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lk(m_);
        items_.clear();
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<T> items_;
};

// The last error's detail text on this thread, by the two-call pattern.
std::string lastErrorDetail(TindrelReturnCode *code = nullptr);

// Returns once every manager callback queued so far has returned: closing a
// manager does not wait for a callback in progress, so a test that closes
// one calls this before its callback's context goes away. Needs at least one
// channel present.
void drainManagerEvents();

// Loads a rig or fails the test.
void loadRig(const std::string &json);

// A channel handle of a class, deleted at scope end.
class Channel {
public:
    explicit Channel(Tindrel_ChannelClass cls);
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;
    TindrelHandle h = nullptr;
    template <class T>
    T as() const
    {
        return reinterpret_cast<T>(h);
    }
};

}   // namespace simtest
