// The client side of network servers: for each server discovery finds, a
// link that logs in, mirrors the channels the server offers into the
// engine as remote channels, and carries their opens, changes and events.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "../sim_internal.h"

namespace tsim {
class Engine;
}

namespace tsim::remote {

// What the engine asks of the link a remote channel came from.
class LinkEnd {
public:
    virtual ~LinkEnd() = default;
    // Both queue a message and return at once (engine lock held or not).
    virtual void requestOpen(uint32_t key) = 0;
    virtual void requestClose(uint32_t key) = 0;
    // Sets a property on the server and waits for its answer, a short while
    // at most (engine lock not held). Fails as the server's call failed.
    virtual TindrelReturnCode set(uint32_t key, int prop, double value) = 0;
    virtual std::string serverName() const = 0;
};

struct LinkStats {
    uint64_t events = 0, bytes = 0, connections = 0;
    double latencyP50Ms = 0, latencyP99Ms = 0, latencyMaxMs = 0;
};

class Links {
public:
    virtual ~Links() = default;
    // Starts or stops browsing for servers (engine lock not held).
    virtual void browse(bool on) = 0;
    // Passwords changed: links the servers refused try again now.
    virtual void passwordsChanged() = 0;
    // Why the named server refused this client, if it did (engine lock
    // held or not).
    virtual bool refusal(const std::string &serverName, TindrelReturnCode &code, std::string &detail) = 0;
    virtual bool stats(const std::string &serverName, LinkStats &out) = 0;
};

std::unique_ptr<Links> makeLinks(Engine &engine);

}   // namespace tsim::remote

namespace tsim {

struct RemoteEnd {
    std::weak_ptr<remote::LinkEnd> link;
    uint32_t key = 0;
    bool offered = true;                        // the server still offers it
    struct ::_Tindrel *reservedFor = nullptr;   // the client handle the server is opening it for
};

}   // namespace tsim
