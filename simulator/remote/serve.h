// The device server: offers the local channels of this process's rig to
// clients over TCP (see wire.h), each opened on the client's behalf by a
// handle of the server's own.
#pragma once

#include <memory>
#include <string>

namespace tsim::remote {

struct ServeOptions {
    std::string bindAddress;   // empty: every interface
    int port = 0;              // 0: any free port
    std::string password;      // empty: none asked
    std::string name;          // the server's name as clients show it
    std::string host;          // the host name it reports
};

class NetServer {
public:
    // Null, with err, when the port cannot be had.
    static std::unique_ptr<NetServer> start(const ServeOptions &options, std::string &err);
    virtual ~NetServer() = default;
    virtual int port() const = 0;
};

}   // namespace tsim::remote
