#include "Output.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace tindrel::cli {

Output::Result Output::write(const std::string &data, const std::atomic<bool> &stop, size_t *written, int graceMs)
{
    using Clock = std::chrono::steady_clock;
    size_t done = 0;
    struct Report {
        size_t &done;
        size_t *out;
        ~Report()
        {
            if (out)
                *out = done;
        }
    } report{done, written};
    std::optional<Clock::time_point> giveUpAt;
    while (done < data.size()) {
        if (stop && !giveUpAt)
            giveUpAt = Clock::now() + std::chrono::milliseconds(graceMs);
        if (giveUpAt && Clock::now() >= *giveUpAt)
            return Result::Stopped;
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready < 0 && errno != EINTR)
            return Result::Failed;
        if (ready <= 0)
            continue;
        if (p.revents & (POLLERR | POLLHUP))
            return Result::Closed;
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return errno == EPIPE ? Result::Closed : Result::Failed;
        }
        done += static_cast<size_t>(n);
    }
    return Result::Written;
}

}   // namespace tindrel::cli
