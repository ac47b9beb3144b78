// The daemon's single-threaded main loop: descriptors with a handler each,
// polled together, and SIGTERM/SIGINT through a signal descriptor. New
// services (a device server over TCP) add their listening sockets and
// connections here the same way the web server does.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>

namespace tindrel::daemon {

class EventLoop {
public:
    using Handler = std::function<void(short revents)>;
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop &) = delete;
    EventLoop &operator=(const EventLoop &) = delete;

    bool ready() const { return signalFd_ >= 0; }
    void watch(int fd, short events, Handler handler);
    void unwatch(int fd);
    // Called about once a second, for time-outs.
    void onTick(std::function<void()> tick) { tick_ = std::move(tick); }
    // Runs until SIGTERM or SIGINT arrives, or stop(); returns the signal (0 after stop()).
    int run();
    void stop() { stopped_ = true; }

private:
    int signalFd_ = -1;
    bool stopped_ = false;
    std::map<int, std::pair<short, Handler>> watched_;
    std::function<void()> tick_;
};

}   // namespace tindrel::daemon
