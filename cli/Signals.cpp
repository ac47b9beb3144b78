#include "Signals.h"

#include <csignal>
#include <ctime>
#include <pthread.h>

namespace tindrel::cli {

namespace {

sigset_t stopSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}   // namespace

void blockStopSignals()
{
    const sigset_t set = stopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignals::StopSignals(std::function<void()> onStop)
    : onStop_(std::move(onStop))
{
    thread_ = std::thread([this] {
        const sigset_t set = stopSet();
        const timespec poll{0, 100 * 1000 * 1000};
        while (!quit_) {
            const int sig = sigtimedwait(&set, nullptr, &poll);
            if (sig == SIGINT || sig == SIGTERM) {
                signal_ = sig;
                received_ = true;
                if (onStop_)
                    onStop_();
            }
        }
    });
}

StopSignals::~StopSignals()
{
    quit_ = true;
    thread_.join();
}

}   // namespace tindrel::cli
