#include "control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tindrel::control {

namespace {

std::string errnoText(const char *what, const std::string &path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool fillAddress(const std::string &path, sockaddr_un &address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Whether something accepts connections on the socket file at path.
bool someoneListens(const sockaddr_un &address)
{
    UniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe)
        return false;
    return connect(probe.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 ||
           (errno != ECONNREFUSED && errno != ENOENT);
}

}   // namespace

ControlServer::StartResult ControlServer::start(const std::string &path, const SimCalls &calls,
                                                std::chrono::milliseconds clientTimeout)
{
    StartResult result;
    const auto failWith = [&result](TindrelReturnCode code, std::string detail) -> StartResult {
        result.code = code;
        result.detail = std::move(detail);
        return std::move(result);
    };
    if (path.empty())
        return failWith(TINDREL_EINVALIDARG, "no control socket path given");
    sockaddr_un address{};
    if (!fillAddress(path, address))
        return failWith(TINDREL_EINVALIDARG, "control socket path " + path + " is longer than " +
                                                 std::to_string(sizeof address.sun_path - 1) + " bytes");

    std::unique_ptr<ControlServer> server(new ControlServer(path, calls, clientTimeout));
    server->listener_.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!server->listener_)
        return failWith(TINDREL_EIO, errnoText("cannot make a socket for", path));
    // The socket file takes the socket's mode at bind: only we may connect.
    fchmod(server->listener_.get(), S_IRUSR | S_IWUSR);
    const auto bindSocket = [&] {
        return bind(server->listener_.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    };
    if (!bindSocket()) {
        if (errno != EADDRINUSE)
            return failWith(errno == EACCES ? TINDREL_EACCESS : TINDREL_EIO, errnoText("cannot listen on", path));
        struct stat info { };
        if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
            return failWith(TINDREL_EEXIST, path + " exists and is not a socket; it is left alone");
        if (someoneListens(address))
            return failWith(TINDREL_EBUSY, "another program already listens on " + path);
        // Left behind by a process that has ended.
        if (unlink(path.c_str()) != 0 || !bindSocket())
            return failWith(TINDREL_EIO, errnoText("cannot listen on", path));
    }
    chmod(path.c_str(), S_IRUSR | S_IWUSR);
    struct stat bound { };
    if (stat(path.c_str(), &bound) == 0) {
        server->socketDevice_ = bound.st_dev;
        server->socketInode_ = bound.st_ino;
    }
    if (listen(server->listener_.get(), 8) != 0)
        return failWith(TINDREL_EIO, errnoText("cannot listen on", path));
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return failWith(TINDREL_EIO, errnoText("cannot make a wake-up pipe for", path));
    server->wakeRead_.reset(wake[0]);
    server->wakeWrite_.reset(wake[1]);
    server->thread_ = std::thread(&ControlServer::run, server.get());
    result.server = std::move(server);
    return result;
}

ControlServer::ControlServer(std::string path, const SimCalls &calls, std::chrono::milliseconds clientTimeout)
    : path_(std::move(path))
    , calls_(calls)
    , clientTimeout_(clientTimeout)
{ }

ControlServer::~ControlServer()
{
    if (thread_.joinable()) {
        const char stop = 's';
        while (write(wakeWrite_.get(), &stop, 1) < 0 && errno == EINTR) { }
        thread_.join();
    }
    // Remove the socket file only if it is still the one this server made.
    struct stat info { };
    if (listener_ && stat(path_.c_str(), &info) == 0 && info.st_dev == socketDevice_ && info.st_ino == socketInode_)
        unlink(path_.c_str());
}

bool ControlServer::waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{fd, events, 0}, {wakeRead_.get(), POLLIN, 0}};
        const int n = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || fds[1].revents != 0)
            return false;
        if (fds[0].revents != 0)
            return true;   // ready, or an error the next read or write reports
    }
}

void ControlServer::run()
{
    while (true) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        UniqueFd client(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == ENOBUFS) {
                // Out of resources: back off instead of spinning on the pending connection.
                pollfd wake{wakeRead_.get(), POLLIN, 0};
                if (poll(&wake, 1, 200) > 0)
                    return;
            }
            continue;
        }
        try {
            serve(client.get());
        } catch (...) {
            // Out of memory while serving one client: drop that client, keep serving.
        }
    }
}

void ControlServer::serve(int client)
{
    const auto deadline = std::chrono::steady_clock::now() + clientTimeout_;
    std::string reply;

    ucred peer{};
    socklen_t peerLength = sizeof peer;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) != 0 || peer.uid != geteuid()) {
        reply = errorReply(TINDREL_EACCESS, "only the user running this program may control it");
    } else {
        std::string line;
        bool complete = false;
        while (!complete) {
            if (!waitFor(client, POLLIN, deadline))
                return;   // stopping, or the client took too long
            char chunk[1024];
            const ssize_t n = recv(client, chunk, sizeof chunk, 0);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                return;
            }
            if (n == 0) {
                if (line.empty())
                    return;        // connected and left without asking anything
                complete = true;   // a last line without its newline
                break;
            }
            line.append(chunk, static_cast<size_t>(n));
            const size_t newline = line.find('\n');
            if (newline != std::string::npos) {
                line.resize(newline);
                complete = true;
            } else if (line.size() > kMaxRequestLine + 1) {
                break;
            }
        }
        reply = complete ? handleLine(line, calls_)
                         : errorReply(TINDREL_EINVALIDARG,
                                      "request longer than " + std::to_string(kMaxRequestLine) + " bytes");
    }
    reply.push_back('\n');
    size_t sent = 0;
    while (sent < reply.size()) {
        if (!waitFor(client, POLLOUT, deadline))
            return;
        const ssize_t n = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

}   // namespace tindrel::control
