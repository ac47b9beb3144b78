#include "EventLoop.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tindrel::daemon {

EventLoop::EventLoop()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) == 0)
        signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    ::signal(SIGPIPE, SIG_IGN);
}

EventLoop::~EventLoop()
{
    if (signalFd_ >= 0)
        ::close(signalFd_);
}

void EventLoop::watch(int fd, short events, Handler handler) { watched_[fd] = {events, std::move(handler)}; }

void EventLoop::unwatch(int fd) { watched_.erase(fd); }

int EventLoop::run()
{
    auto lastTick = std::chrono::steady_clock::now();
    while (!stopped_) {
        std::vector<pollfd> fds;
        fds.push_back({signalFd_, POLLIN, 0});
        for (const auto &[fd, entry] : watched_)
            fds.push_back({fd, entry.first, 0});
        const int n = ::poll(fds.data(), fds.size(), 250);
        if (n < 0 && errno != EINTR)
            return -1;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd_, &info, sizeof info) == sizeof info)
                return static_cast<int>(info.ssi_signo);
        }
        for (std::size_t i = 1; n > 0 && i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            // A handler may unwatch itself or others.
            const auto it = watched_.find(fds[i].fd);
            if (it != watched_.end()) {
                Handler handler = it->second.second;
                handler(fds[i].revents);
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= std::chrono::seconds(1)) {
            lastTick = now;
            if (tick_)
                tick_();
        }
    }
    return 0;
}

}   // namespace tindrel::daemon
