#pragma once

// The device library's manager, with its attach and detach events carried
// to the main thread. Each event waits on its library thread until the main
// thread has handled it, because the channel handle it carries is only
// borrowed for the length of the callback.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "Exit.h"
#include "tindrel22_core.h"

namespace tindrel::cli {

class ManagerEvents {
public:
    using Handler = std::function<void(TindrelHandle channel, bool attached)>;

    explicit ManagerEvents(Handler handler);
    ~ManagerEvents();   // stop()
    ManagerEvents(const ManagerEvents &) = delete;
    ManagerEvents &operator=(const ManagerEvents &) = delete;

    // Creates and opens the manager; with remote, also looks for network servers.
    std::optional<Failure> open(bool remote);

    // Main thread: handles events until stopWhen() says so (checked after
    // each event and each wake) or the deadline passes.
    void serve(std::chrono::steady_clock::time_point deadline, const std::function<bool()> &stopWhen);
    // Any thread: makes serve look at stopWhen() again.
    void wake();

    // Time of the last event handled (or of open, before the first).
    std::chrono::steady_clock::time_point lastEvent() const { return lastEvent_; }

    // Main thread: closes and deletes the manager. Events waiting are let go
    // unhandled; once it returns no callback touches this object.
    void stop();

private:
    struct Work {
        TindrelHandle channel;
        bool attached;
        bool done = false;
    };
    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle channel);
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle channel);
    static void deliver(void *ctx, TindrelHandle channel, bool attached);
    void handOff(TindrelHandle channel, bool attached);

    Handler handler_;
    TindrelManagerHandle manager_ = nullptr;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Work *> queue_;
    bool closing_ = false;
    bool woken_ = false;
    int inFlight_ = 0;   // callbacks inside handOff
    std::chrono::steady_clock::time_point lastEvent_ = std::chrono::steady_clock::now();
};

}   // namespace tindrel::cli
