#include "Output.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace tindrel::cli {

Output::Result Output::write(const std::string &data, int waitMs, size_t *sent)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    size_t done = 0;
    Result result = Result::Written;
    while (done < data.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            result = Result::Pending;
            break;
        }
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            result = Result::Failed;
            break;
        }
        if (ready <= 0)
            continue;
        if (p.revents & (POLLERR | POLLHUP)) {
            result = Result::Closed;
            break;
        }
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            result = errno == EPIPE ? Result::Closed : Result::Failed;
            break;
        }
        done += static_cast<size_t>(n);
    }
    *sent = done;
    return result;
}

}   // namespace tindrel::cli
