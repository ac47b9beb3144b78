// Finding network servers: a server publishes a service record while it
// runs, and panels browse for the records of the servers that are up.
// Two ways share this interface: the machine's mDNS responder (Avahi), and
// a directory of record files for machines without one (containers, CI).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tsim::remote {

// The service type device servers publish under.
inline constexpr const char *kServiceType = "_tindrel22._tcp";

struct ServiceRecord {
    std::string name;      // the publish name, unique on the network ("Bench A")
    std::string host;      // host name ("lab-pc.local")
    std::string address;   // numeric address to connect to ("192.0.2.7", "::1")
    int port = 0;
    std::vector<std::pair<std::string, std::string>> txt;   // announcement keys
    bool operator==(const ServiceRecord &) const = default;
};

// Withdraws its record when destroyed.
class Publication {
public:
    virtual ~Publication() = default;
};

// Stops browsing when destroyed; no handler runs after the destructor returns.
class Browsing {
public:
    virtual ~Browsing() = default;
};

struct BrowseHandlers {
    // A server appeared, or its record changed (same name, new contents).
    std::function<void(const ServiceRecord &)> found;
    // A server's record went away (the name found earlier).
    std::function<void(const std::string &name)> lost;
};

class Discovery {
public:
    virtual ~Discovery() = default;
    // Null, with err saying why, when the record cannot be published.
    virtual std::unique_ptr<Publication> publish(const ServiceRecord &record, std::string &err) = 0;
    // Handlers run on a thread of the discovery's own, one at a time.
    virtual std::unique_ptr<Browsing> browse(BrowseHandlers handlers, std::string &err) = 0;
    virtual std::string describe() const = 0;   // for logs: "mDNS (Avahi)", "directory /run/..."
};

// The machine's mDNS responder; null, with err, when none answers.
std::unique_ptr<Discovery> makeAvahiDiscovery(std::string &err);
// Record files in a directory (made if missing).
std::unique_ptr<Discovery> makeDirectoryDiscovery(const std::string &directory);
// What this process uses: TINDREL_DISCOVERY="avahi" or "dir:PATH" when set;
// otherwise the responder when one answers, else the directory
// TINDREL_DISCOVERY_DIR or /run/tindrel22/discovery.
// Null, with err, only when TINDREL_DISCOVERY names a way that cannot be
// used (no responder answers, an empty path, an unknown value).
std::unique_ptr<Discovery> makeDiscovery(std::string &err);
// The same, logging err to stderr.
std::unique_ptr<Discovery> makeDiscovery();

}   // namespace tsim::remote
