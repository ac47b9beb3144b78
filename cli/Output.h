#pragma once

#include <atomic>
#include <string>

namespace tindrel::cli {

// Writes to a file descriptor without ever blocking for long: it waits for
// the descriptor in short steps and gives up once `stop` has been set for
// `graceMs`, or when the reader has gone.
class Output {
public:
    enum class Result { Written, Stopped, Closed, Failed };
    explicit Output(int fd)
        : fd_(fd)
    { }
    // *written: bytes that went out (all of data when Written).
    Result write(const std::string &data, const std::atomic<bool> &stop, size_t *written, int graceMs = 1000);
    int fd() const { return fd_; }

private:
    int fd_;
};

}   // namespace tindrel::cli
