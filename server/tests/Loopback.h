// Loopback sockets for tests that talk to a daemon on this machine.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tindrel::server::testing {

// A port nobody listens on just now.
inline std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A free port other than the one given.
inline std::uint16_t freePortBesides(std::uint16_t taken)
{
    std::uint16_t port = freePort();
    while (port == taken)
        port = freePort();
    return port;
}

// The page at / on the port, or nothing when nobody answers there.
inline std::optional<std::string> httpGet(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return std::nullopt;
    }
    std::string reply;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return reply;
}

}   // namespace tindrel::server::testing
