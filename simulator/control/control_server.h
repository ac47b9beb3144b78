// The control server: listens on a Unix-domain socket on its own thread and
// answers one request per connection (see control_protocol.h). Destroying the
// server closes the socket, removes its file and joins the thread, also while
// a client is connected.
#ifndef TINDREL_CONTROL_SERVER_H
#define TINDREL_CONTROL_SERVER_H

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "UniqueFd.h"
#include "control_protocol.h"

namespace tindrel::control {

class ControlServer {
public:
    struct StartResult {
        std::unique_ptr<ControlServer> server;   // null on failure
        TindrelReturnCode code = TINDREL_OK;
        std::string detail;
    };

    // Binds path (mode 0600; a socket left behind by an ended process is
    // replaced, anything else at the path is not) and starts serving.
    // clientTimeout bounds how long one client may take to send its request
    // and read the reply.
    static StartResult start(const std::string &path, const SimCalls &calls,
                             std::chrono::milliseconds clientTimeout = std::chrono::seconds(10));

    ~ControlServer();
    ControlServer(const ControlServer &) = delete;
    ControlServer &operator=(const ControlServer &) = delete;

    const std::string &path() const { return path_; }

private:
    ControlServer(std::string path, const SimCalls &calls, std::chrono::milliseconds clientTimeout);
    void run();
    void serve(int client);
    // Waits until fd is ready for events or the server is told to stop;
    // false on stop, timeout or error.
    bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline);

    std::string path_;
    SimCalls calls_;
    std::chrono::milliseconds clientTimeout_;
    UniqueFd listener_;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::thread thread_;
};

}   // namespace tindrel::control

#endif
