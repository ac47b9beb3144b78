// tindrel22networkserver: the Tindrel network server daemon. It reads its
// configuration, serves the devices of this machine to clients over TCP
// (asking for the configured password), publishes itself for discovery,
// serves the built-in web server's status page on the loopback interface,
// logs, and ends cleanly on SIGTERM.
//   tindrel22networkserver -c CONFIGURATION
#include "DaemonConfig.h"
#include "EventLoop.h"
#include "WebServer.h"
#include "discovery.h"
#include "tindrelsim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>

using namespace tindrel::daemon;

namespace {

constexpr std::size_t kMaxClients = 64;
constexpr int kClientTimeoutSeconds = 10;

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

class Log {
public:
    explicit Log(const std::string &path, const std::string &level)
        : file_(path.empty() ? nullptr : std::fopen(path.c_str(), "a"))
        , debug_(level == "debug")
    {
        if (!file_ && !path.empty())
            std::fprintf(stderr, "tindrel22networkserver: cannot open the log %s: %s; logging to standard error\n",
                         path.c_str(), std::strerror(errno));
    }
    ~Log()
    {
        if (file_)
            std::fclose(file_);
    }
    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;
    void line(const char *level, const std::string &text)
    {
        if (!debug_ && std::strcmp(level, "debug") == 0)
            return;
        FILE *out = file_ ? file_ : stderr;
        std::fprintf(out, "%s [%s] %s\n", timestamp().c_str(), level, text.c_str());
        std::fflush(out);
    }

private:
    FILE *file_;
    bool debug_;
};

struct Client {
    std::string request;
    std::chrono::steady_clock::time_point since;
    std::string peer;
};

int listenLoopback(std::uint16_t port, std::string &error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

}   // namespace

int main(int argc, char **argv)
{
    std::string configPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc) {
            configPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: tindrel22networkserver -c CONFIGURATION\n");
            return 2;
        }
    }
    if (configPath.empty()) {
        std::fprintf(stderr, "usage: tindrel22networkserver -c CONFIGURATION\n");
        return 2;
    }
    auto loaded = loadDaemonConfig(configPath);
    if (auto *error = std::get_if<std::string>(&loaded)) {
        std::fprintf(stderr, "tindrel22networkserver: refusing to start: %s\n", error->c_str());
        return 2;
    }
    const DaemonConfig config = std::get<DaemonConfig>(loaded);
    Log log(config.logFile, config.logLevel);
    EventLoop loop;
    if (!loop.ready()) {
        log.line("error", "cannot set up signal handling");
        return 1;
    }
    // The device library logs its side (clients, their channels) to the same place.
    const Tindrel_LogLevel libraryLevel = config.logLevel == "debug"     ? TINDREL_LOG_DEBUG
                                          : config.logLevel == "info"    ? TINDREL_LOG_INFO
                                          : config.logLevel == "warning" ? TINDREL_LOG_WARNING
                                                                         : TINDREL_LOG_ERROR;
    if (config.logFile.empty() || TindrelLog_enable(libraryLevel, config.logFile.c_str()) != TINDREL_OK)
        TindrelLog_enable(libraryLevel, nullptr);
    const std::string startedAt = timestamp();
    log.line("info", "starting with " + configPath);
    for (const auto &[key, value] : describe(config))
        log.line("debug", key + " = " + value);
    if (!config.enabled)
        log.line("info", "the server is disabled (tindrel.enabled is false): no devices are served");

    // The devices, and the record that lets panels find them.
    std::unique_ptr<tsim::remote::Publication> publication;
    bool serving = false;
    if (config.enabled) {
        char host[256] = "";
        ::gethostname(host, sizeof host - 1);
        const std::string name = config.publishName.empty() ? std::string(host) : config.publishName;
        TindrelSimNetworkServerOptions options{nullptr, config.port, config.password.c_str(), name.c_str(), host};
        int port = 0;
        if (TindrelSim_startNetworkServer(&options, &port) != TINDREL_OK) {
            TindrelReturnCode code;
            const char *description = nullptr;
            char detail[512] = "";
            size_t len = sizeof detail;
            Tindrel_getLastError(&code, &description, detail, &len);
            log.line("error", detail);
            std::fprintf(stderr, "tindrel22networkserver: %s\n", detail);
            return 1;
        }
        serving = true;
        log.line("info", "serving devices as \"" + name + "\" on port " + std::to_string(port) +
                             (config.passwordSet ? " (password required)" : ""));
        if (config.publish) {
            std::string error;
            auto discovery = tsim::remote::makeDiscovery(error);
            if (discovery) {
                tsim::remote::ServiceRecord record;
                record.name = name;
                record.host = std::string(host);
                record.port = port;
                record.txt = {{"version", "2.3"}, {"auth", config.passwordSet ? "password" : "none"}};
                publication = discovery->publish(record, error);
                if (publication)
                    log.line("info", "published as \"" + name + "\" through " + discovery->describe());
            }
            if (!publication)
                log.line("warning", "not published, panels must be told where it is: " + error);
        }
    }

    FILE *accessLog = nullptr;
    int listener = -1;
    std::map<int, Client> clients;
    const std::string page = statusPage(config, configPath, startedAt);
    const auto closeClient = [&](int fd) {
        loop.unwatch(fd);
        ::close(fd);
        clients.erase(fd);
    };
    if (config.webserverEnabled) {
        std::string error;
        listener = listenLoopback(config.webserverPort, error);
        if (listener < 0) {
            log.line("error",
                     "cannot serve the web server on 127.0.0.1:" + std::to_string(config.webserverPort) + ": " + error);
            std::fprintf(stderr, "tindrel22networkserver: cannot listen on 127.0.0.1:%u: %s\n", config.webserverPort,
                         error.c_str());
            return 1;
        }
        if (!config.accessLog.empty())
            accessLog = std::fopen(config.accessLog.c_str(), "a");
        log.line("info", "web server on http://127.0.0.1:" + std::to_string(config.webserverPort) + "/");
        loop.watch(listener, POLLIN, [&](short) {
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const int fd =
                ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            if (clients.size() >= kMaxClients) {
                ::close(fd);
                return;
            }
            char address[INET_ADDRSTRLEN] = "?";
            ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
            clients[fd] = {{}, std::chrono::steady_clock::now(), address};
            loop.watch(fd, POLLIN, [&, fd](short revents) {
                Client &client = clients[fd];
                char buffer[2048];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0 || (revents & (POLLERR | POLLHUP))) {
                    closeClient(fd);
                    return;
                }
                client.request.append(buffer, static_cast<std::size_t>(n));
                const HttpReply reply = answer(client.request, page);
                if (reply.status == 0)
                    return;
                // The reply is small; a client that does not take it in time loses it.
                const int flags = ::fcntl(fd, F_GETFL);
                ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
                const timeval limit{2, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
                [[maybe_unused]] const auto sent = ::send(fd, reply.text.data(), reply.text.size(), MSG_NOSIGNAL);
                if (accessLog) {
                    const std::string line = client.request.substr(0, client.request.find("\r\n"));
                    std::fprintf(accessLog, "%s %s \"%s\" %d\n", client.peer.c_str(), timestamp().c_str(), line.c_str(),
                                 reply.status);
                    std::fflush(accessLog);
                }
                closeClient(fd);
            });
        });
    }
    loop.onTick([&] {
        const auto now = std::chrono::steady_clock::now();
        std::vector<int> stale;
        for (const auto &[fd, client] : clients) {
            if (now - client.since > std::chrono::seconds(kClientTimeoutSeconds))
                stale.push_back(fd);
        }
        for (const int fd : stale)
            closeClient(fd);
    });

    const int signal = loop.run();
    publication.reset();
    if (serving)
        TindrelSim_stopNetworkServer();
    while (!clients.empty())
        closeClient(clients.begin()->first);
    if (listener >= 0)
        ::close(listener);
    if (accessLog)
        std::fclose(accessLog);
    log.line("info", signal > 0 ? "stopping on signal " + std::to_string(signal) : std::string("stopping"));
    return signal >= 0 ? 0 : 1;
}
