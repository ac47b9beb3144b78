// Finding servers through the machine's mDNS responder, over avahi-client.
// Each browse has a connection and an event thread of its own, so that
// stopping one joins only its own thread; publishing shares one connection.
#include "discovery.h"
#include "discovery_record.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <net/if.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

namespace tsim::remote {
namespace {

// How long publish() waits for the responder to claim the name on the network.
constexpr auto kPublishWait = std::chrono::seconds(10);

void logLine(const std::string &text) { std::fprintf(stderr, "tindrel22: discovery: %s\n", text.c_str()); }

std::string avahiError(AvahiClient *client) { return avahi_strerror(avahi_client_errno(client)); }

// A connection to the responder and the thread its callbacks run on.
// Destroying it stops the thread first (joining it), then frees the client
// with every browser, resolver and entry group made on it.
class Session {
public:
    static std::unique_ptr<Session> open(AvahiClientCallback callback, void *userdata, std::string &err)
    {
        auto session = std::unique_ptr<Session>(new Session);
        session->poll_ = avahi_threaded_poll_new();
        if (!session->poll_) {
            err = "cannot make the mDNS event loop";
            return nullptr;
        }
        int error = 0;
        session->client_ =
            avahi_client_new(avahi_threaded_poll_get(session->poll_), AvahiClientFlags(0), callback, userdata, &error);
        if (!session->client_) {
            err = std::string("no mDNS responder (avahi-daemon) answers on the system bus: ") + avahi_strerror(error);
            return nullptr;
        }
        if (avahi_threaded_poll_start(session->poll_) < 0) {
            err = "cannot start the mDNS event thread";
            return nullptr;
        }
        session->running_ = true;
        return session;
    }
    ~Session()
    {
        if (running_)
            avahi_threaded_poll_stop(poll_);
        if (client_)
            avahi_client_free(client_);
        if (poll_)
            avahi_threaded_poll_free(poll_);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    AvahiClient *client() const { return client_; }
    // Holds the event thread off while the client is used from another thread.
    class Lock {
    public:
        explicit Lock(const Session &s)
            : poll_(s.poll_)
        {
            avahi_threaded_poll_lock(poll_);
        }
        ~Lock() { avahi_threaded_poll_unlock(poll_); }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        AvahiThreadedPoll *poll_;
    };

private:
    Session() = default;
    AvahiThreadedPoll *poll_ = nullptr;
    AvahiClient *client_ = nullptr;
    bool running_ = false;
};

// ---- publishing ----

void onPublisherClient(AvahiClient *, AvahiClientState state, void *)
{
    if (state == AVAHI_CLIENT_FAILURE)
        logLine("lost the mDNS responder; published servers are no longer announced");
}

struct GroupWait {
    std::string name;
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<AvahiEntryGroupState> settled;   // established, collision or failure
};

void onGroup(AvahiEntryGroup *, AvahiEntryGroupState state, void *userdata)
{
    auto *wait = static_cast<GroupWait *>(userdata);
    if (state != AVAHI_ENTRY_GROUP_ESTABLISHED && state != AVAHI_ENTRY_GROUP_COLLISION &&
        state != AVAHI_ENTRY_GROUP_FAILURE)
        return;
    std::lock_guard lock(wait->mutex);
    if (wait->settled == AVAHI_ENTRY_GROUP_ESTABLISHED && state == AVAHI_ENTRY_GROUP_COLLISION)
        logLine("another server on the network now claims the name \"" + wait->name +
                "\"; it is no longer announced here");
    wait->settled = state;
    wait->changed.notify_all();
}

class AvahiPublication : public Publication {
public:
    AvahiPublication(std::shared_ptr<Session> session, std::unique_ptr<GroupWait> wait, AvahiEntryGroup *group)
        : session_(std::move(session))
        , wait_(std::move(wait))
        , group_(group)
    { }
    ~AvahiPublication() override
    {
        Session::Lock lock(*session_);
        avahi_entry_group_free(group_);
    }

private:
    std::shared_ptr<Session> session_;
    std::unique_ptr<GroupWait> wait_;   // the group's callback data
    AvahiEntryGroup *group_;
};

std::unique_ptr<Publication> publishOn(const std::shared_ptr<Session> &session, const ServiceRecord &record,
                                       std::string &err)
{
    const auto fail = [&](const std::string &why) {
        err = "cannot publish \"" + record.name + "\" over mDNS: " + why;
        return nullptr;
    };
    if (const std::string problem = recordProblem(record); !problem.empty())
        return fail(problem);
    auto wait = std::make_unique<GroupWait>();
    wait->name = record.name;
    AvahiEntryGroup *group = nullptr;
    {
        Session::Lock lock(*session);
        group = avahi_entry_group_new(session->client(), onGroup, wait.get());
        if (!group)
            return fail(avahiError(session->client()));
        AvahiStringList *txt = nullptr;
        for (const auto &[key, value] : record.txt)
            txt = avahi_string_list_add_pair(txt, key.c_str(), value.c_str());
        // Built newest first: browsers get the keys back in our order.
        int rc = avahi_entry_group_add_service_strlst(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                      record.name.c_str(), kServiceType, nullptr, nullptr,
                                                      static_cast<uint16_t>(record.port), txt);
        avahi_string_list_free(txt);
        if (rc == 0)
            rc = avahi_entry_group_commit(group);
        if (rc < 0) {
            avahi_entry_group_free(group);
            if (rc == AVAHI_ERR_COLLISION)
                return fail("the name is already in use on this machine");
            return fail(avahi_strerror(rc));
        }
    }
    std::unique_lock lock(wait->mutex);
    const bool settled = wait->changed.wait_for(lock, kPublishWait, [&] { return wait->settled.has_value(); });
    const auto state = wait->settled;
    lock.unlock();
    if (state == AVAHI_ENTRY_GROUP_ESTABLISHED)
        return std::make_unique<AvahiPublication>(session, std::move(wait), group);
    std::string why;
    {
        Session::Lock sessionLock(*session);
        why = avahiError(session->client());
        avahi_entry_group_free(group);
    }
    if (!settled)
        return fail("the responder did not confirm the name within " +
                    std::to_string(std::chrono::seconds(kPublishWait).count()) + " s");
    if (state == AVAHI_ENTRY_GROUP_COLLISION)
        return fail("another server on the network already uses the name");
    return fail(why);
}

// ---- browsing ----

// Which browsing's handler this thread is running, if any.
thread_local const void *tl_inHandlerOf = nullptr;

// One announcement of a name: per interface, protocol and domain.
struct Instance {
    AvahiIfIndex interface;
    AvahiProtocol protocol;
    std::string domain;
    AvahiServiceResolver *resolver = nullptr;
    std::optional<ServiceRecord> resolved;
};

struct Browser {
    BrowseHandlers handlers;
    std::atomic<bool> stopped{false};
    std::map<std::string, std::vector<Instance>> instances;   // by name
    std::map<std::string, ServiceRecord> reported;            // what found() last said
    // Last: destroyed first, stopping the thread before the rest goes.
    std::unique_ptr<Session> session;

    template <typename Handler, typename Arg>
    void call(const Handler &handler, const Arg &arg)
    {
        if (stopped || !handler)
            return;
        tl_inHandlerOf = this;
        handler(arg);
        tl_inHandlerOf = nullptr;
    }

    // Tells the handlers what changed for the name: its best announcement
    // (IPv4 before IPv6) when it has one, lost when none is left.
    void update(const std::string &name)
    {
        const ServiceRecord *best = nullptr;
        bool any = false;
        if (const auto it = instances.find(name); it != instances.end()) {
            any = !it->second.empty();
            for (const Instance &instance : it->second) {
                if (!instance.resolved)
                    continue;
                if (!best || (instance.protocol == AVAHI_PROTO_INET && best->address.find(':') != std::string::npos))
                    best = &*instance.resolved;
            }
        }
        const auto old = reported.find(name);
        if (best && (old == reported.end() || old->second != *best)) {
            reported[name] = *best;
            call(handlers.found, *best);
        } else if (!any && old != reported.end()) {
            reported.erase(old);
            call(handlers.lost, name);
        }
    }

    Instance *find(AvahiServiceResolver *resolver, std::string &name)
    {
        for (auto &[n, list] : instances)
            for (Instance &instance : list)
                if (instance.resolver == resolver) {
                    name = n;
                    return &instance;
                }
        return nullptr;
    }

    void loseAll()
    {
        instances.clear();
        while (!reported.empty()) {
            const std::string name = reported.begin()->first;
            reported.erase(reported.begin());
            call(handlers.lost, name);
        }
    }
};

std::string addressText(const AvahiAddress *address, AvahiIfIndex interface)
{
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof text, address);
    std::string out = text;
    // A link-local IPv6 address is only usable with its interface.
    const auto *bytes = address->data.ipv6.address;
    if (address->proto == AVAHI_PROTO_INET6 && bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80) {
        char name[IF_NAMESIZE] = {};
        if (interface >= 0 && if_indextoname(static_cast<unsigned>(interface), name))
            out += std::string("%") + name;
    }
    return out;
}

void onResolved(AvahiServiceResolver *resolver, AvahiIfIndex interface, AvahiProtocol, AvahiResolverEvent event,
                const char *name, const char *, const char *, const char *hostName, const AvahiAddress *address,
                uint16_t port, AvahiStringList *txt, AvahiLookupResultFlags, void *userdata)
{
    auto *browser = static_cast<Browser *>(userdata);
    std::string key;
    Instance *instance = browser->find(resolver, key);
    if (!instance)
        return;
    if (event == AVAHI_RESOLVER_FAILURE) {
        logLine(std::string("cannot resolve \"") + (name ? name : "") +
                "\": " + avahiError(browser->session->client()));
        avahi_service_resolver_free(resolver);
        instance->resolver = nullptr;
        instance->resolved.reset();
        browser->update(key);
        return;
    }
    ServiceRecord record;
    record.name = key;
    record.host = hostName ? hostName : "";
    record.address = addressText(address, interface);
    record.port = port;
    for (AvahiStringList *item = txt; item; item = avahi_string_list_get_next(item)) {
        char *k = nullptr, *v = nullptr;
        if (avahi_string_list_get_pair(item, &k, &v, nullptr) < 0)
            continue;
        record.txt.emplace_back(k, v ? v : "");
        avahi_free(k);
        avahi_free(v);
    }
    instance->resolved = std::move(record);
    browser->update(key);
}

void onBrowsed(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
               const char *name, const char *type, const char *domain, AvahiLookupResultFlags, void *userdata)
{
    auto *browser = static_cast<Browser *>(userdata);
    if (event == AVAHI_BROWSER_FAILURE) {
        logLine("browsing stopped: " + avahiError(browser->session->client()));
        browser->loseAll();
        return;
    }
    if (event != AVAHI_BROWSER_NEW && event != AVAHI_BROWSER_REMOVE)
        return;
    auto &list = browser->instances[name];
    const auto same = [&](const Instance &i) {
        return std::tie(i.interface, i.protocol, i.domain) == std::tie(interface, protocol, domain);
    };
    if (event == AVAHI_BROWSER_NEW) {
        // The address family of the announcement: IPv4 ones give IPv4 addresses.
        AvahiServiceResolver *resolver =
            avahi_service_resolver_new(browser->session->client(), interface, protocol, name, type, domain, protocol,
                                       AvahiLookupFlags(0), onResolved, browser);
        if (!resolver)
            logLine(std::string("cannot resolve \"") + name + "\": " + avahiError(browser->session->client()));
        list.push_back(Instance{interface, protocol, domain, resolver, std::nullopt});
        return;
    }
    for (auto it = list.begin(); it != list.end(); ++it)
        if (same(*it)) {
            if (it->resolver)
                avahi_service_resolver_free(it->resolver);
            list.erase(it);
            break;
        }
    const std::string key = name;
    if (list.empty())
        browser->instances.erase(key);
    browser->update(key);
}

void onBrowserClient(AvahiClient *, AvahiClientState state, void *userdata)
{
    if (state != AVAHI_CLIENT_FAILURE)
        return;
    auto *browser = static_cast<Browser *>(userdata);
    logLine("lost the mDNS responder; no more servers are found");
    browser->loseAll();
}

class AvahiBrowsing : public Browsing {
public:
    explicit AvahiBrowsing(std::shared_ptr<Browser> browser)
        : browser_(std::move(browser))
    { }
    ~AvahiBrowsing() override
    {
        browser_->stopped = true;
        if (tl_inHandlerOf == browser_.get()) {
            // Inside one of our handlers: the event thread cannot join
            // itself, so another thread stops it once the handler returns.
            std::thread([browser = std::move(browser_)]() mutable { browser.reset(); }).detach();
        }
    }

private:
    std::shared_ptr<Browser> browser_;
};

class AvahiDiscovery : public Discovery {
public:
    explicit AvahiDiscovery(std::shared_ptr<Session> session)
        : session_(std::move(session))
    { }

    std::unique_ptr<Publication> publish(const ServiceRecord &record, std::string &err) override
    {
        return publishOn(session_, record, err);
    }

    std::unique_ptr<Browsing> browse(BrowseHandlers handlers, std::string &err) override
    {
        auto browser = std::make_shared<Browser>();
        browser->handlers = std::move(handlers);
        browser->session = Session::open(onBrowserClient, browser.get(), err);
        if (!browser->session)
            return nullptr;
        Session::Lock lock(*browser->session);
        if (!avahi_service_browser_new(browser->session->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, kServiceType,
                                       nullptr, AvahiLookupFlags(0), onBrowsed, browser.get())) {
            err = "cannot browse for servers: " + avahiError(browser->session->client());
            return nullptr;
        }
        return std::make_unique<AvahiBrowsing>(std::move(browser));
    }

    std::string describe() const override { return "mDNS (Avahi)"; }

private:
    std::shared_ptr<Session> session_;
};

}   // namespace

std::unique_ptr<Discovery> makeAvahiDiscovery(std::string &err)
{
    std::shared_ptr<Session> session = Session::open(onPublisherClient, nullptr, err);
    if (!session)
        return nullptr;
    return std::make_unique<AvahiDiscovery>(std::move(session));
}

}   // namespace tsim::remote
