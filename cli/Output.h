#pragma once

#include <string>

namespace tindrel::cli {

// Writes to a file descriptor for at most a given time, so that a stalled
// reader never holds up the caller for long.
class Output {
public:
    enum class Result { Written, Pending, Closed, Failed };
    explicit Output(int fd)
        : fd_(fd)
    { }
    // Writes data, waiting for the descriptor at most waitMs in all. *sent:
    // the bytes that went out (all of data when Written; fewer when Pending,
    // the reader being slower; Closed: the reader has gone).
    Result write(const std::string &data, int waitMs, size_t *sent);
    int fd() const { return fd_; }

private:
    int fd_;
};

}   // namespace tindrel::cli
