// Network servers: discovery of the rig's remote computers, their
// announcement records, passwords and host name resolution.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <string_view>
#include <strings.h>
#include <sys/socket.h>
#include <thread>

#include "engine.h"
#include "remote/link.h"
#include "tindrel22extra.h"

// An announcement's key/value record.
struct _kv {
    std::vector<std::pair<std::string, std::string>> items;
};

using namespace tsim;

namespace tsim {

remote::Links &Engine::netLinks()
{
    std::lock_guard<std::mutex> lk(linksMade);
    if (!links)
        links = remote::makeLinks(*this);
    return *links;
}

void Engine::updateAnnouncements()
{
    std::vector<std::shared_ptr<const ServerInfo>> all = rig.servers;
    all.insert(all.end(), linkAnnouncements.begin(), linkAnnouncements.end());
    for (auto &s : all) {
        ServerRuntime &rt = servers[s.get()];
        bool should = rt.on && discovery.count(s->type);
        if (should == rt.announced)
            continue;
        rt.announced = should;
        logLine(TINDREL_LOG_INFO, "server %s: %s (%s:%d)", should ? "added" : "removed", s->name.c_str(),
                s->host.c_str(), s->port);
        uint64_t ep = epochOf(netGate);
        std::shared_ptr<const ServerInfo> info = s;
        managerEvents.post([this, info, should, ep] {
            TindrelServer rec{info->name.c_str(), info->stype.c_str(), info->type, 0,
                              info->addr.c_str(), info->host.c_str(),  info->port};
            _kv kv{info->announce};
            invokeHandler(netGate, netHandlers, should ? 0 : 1, ep, [&](const TindrelHandler &hd) {
                if (should)
                    reinterpret_cast<TindrelNet_OnServerAddedCallback>(hd.fn)(hd.ctx, &rec, &kv);
                else
                    reinterpret_cast<TindrelNet_OnServerRemovedCallback>(hd.fn)(hd.ctx, &rec);
            });
        });
    }
}

}   // namespace tsim

// Host names compare without regard to case or a final dot.
static bool sameHostName(std::string_view a, std::string_view b)
{
    if (!a.empty() && a.back() == '.')
        a.remove_suffix(1);
    if (!b.empty() && b.back() == '.')
        b.remove_suffix(1);
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

static bool knownServerType(TindrelServerType t) { return t >= TINDRELSERVER_DEVICELISTENER && t <= TINDRELSERVER_SBC; }

extern "C" {

TindrelReturnCode TindrelNet_enableServerDiscovery(TindrelServerType serverType)
{
    if (!knownServerType(serverType))
        return fail(TINDREL_EINVALIDARG, "Server type %d is not known", static_cast<int>(serverType));
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> lk(e.m);
        e.ensureRig();
        e.discovery.insert(serverType);
        e.refresh();
    }
    if (serverType == TINDRELSERVER_DEVICE || serverType == TINDRELSERVER_DEVICEREMOTE)
        e.netLinks().browse(true);
    return TINDREL_OK;
}

TindrelReturnCode TindrelNet_disableServerDiscovery(TindrelServerType serverType)
{
    if (!knownServerType(serverType))
        return fail(TINDREL_EINVALIDARG, "Server type %d is not known", static_cast<int>(serverType));
    Engine &e = engine();
    bool browse;
    {
        std::lock_guard<std::mutex> lk(e.m);
        e.discovery.erase(serverType);
        e.refresh();
        browse = e.discovery.count(TINDRELSERVER_DEVICE) || e.discovery.count(TINDRELSERVER_DEVICEREMOTE);
    }
    if (!browse)
        e.netLinks().browse(false);
    return TINDREL_OK;
}

TindrelReturnCode TindrelNet_setServerPassword(const char *serverName, const char *password)
{
    if (!serverName || !password)
        return fail(TINDREL_EFAULT, "Server name and password must not be NULL");
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> lk(e.m);
        e.passwords[serverName] = password;
        e.refresh();
    }
    e.netLinks().passwordsChanged();
    return TINDREL_OK;
}

static TindrelReturnCode setNetHandler(int slot, void (*fn)(), void *ctx)
{
    Engine &e = engine();
    std::unique_lock<std::mutex> lk(e.netGate.m);
    e.netHandlers[static_cast<size_t>(slot)] = {fn, ctx};
    if (!fn)
        e.netGate.waitIdle(lk);
    return TINDREL_OK;
}

TindrelReturnCode TindrelNet_setOnServerAddedHandler(TindrelNet_OnServerAddedCallback fptr, void *ctx)
{
    return setNetHandler(0, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode TindrelNet_setOnServerRemovedHandler(TindrelNet_OnServerRemovedCallback fptr, void *ctx)
{
    return setNetHandler(1, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode TindrelNet_getServerAddressList(const char *hostname, int addressFamily, char *addressList[],
                                                  uint32_t *count)
{
    if (!hostname || !addressList || !count)
        return fail(TINDREL_EFAULT, "Host name, address list and count must not be NULL");
    if (addressFamily != AF_INET && addressFamily != AF_INET6)
        return fail(TINDREL_EINVALIDARG, "Address family %d is not supported (2 for IPv4, %d for IPv6)", addressFamily,
                    AF_INET6);
    // The host is asked on the local network, as discovery finds it: the
    // computers of the rig that are up answer to their host names.
    std::vector<std::string> found;
    int delayMs = 0;
    bool known = false;
    {
        Engine &e = engine();
        std::lock_guard<std::mutex> lk(e.m);
        e.ensureRig();
        for (auto &s : e.rig.servers) {
            if (!sameHostName(s->host, hostname) || !e.servers[s.get()].on)
                continue;
            known = true;
            delayMs = std::max(delayMs, s->resolveMs);
            for (const std::string &a : s->resolvesTo) {
                in6_addr probe{};
                if (inet_pton(addressFamily, a.c_str(), &probe) == 1 &&
                    std::find(found.begin(), found.end(), a) == found.end())
                    found.push_back(a);
            }
        }
    }
    // The answer takes its time, as on a real network; nothing is held meanwhile.
    if (delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (!known)
        return fail(TINDREL_ENOENT, "Cannot resolve %s: no computer on the local network answers to it", hostname);
    if (found.empty())
        return fail(TINDREL_ENOENT, "Cannot resolve %s: it has no address of family %d", hostname, addressFamily);
    // Strings stay valid until the next call on this thread.
    thread_local std::vector<std::string> results;
    results.assign(found.begin(), found.begin() + std::min<size_t>(found.size(), *count));
    for (size_t i = 0; i < results.size(); ++i)
        addressList[i] = results[i].data();
    *count = static_cast<uint32_t>(results.size());
    return TINDREL_OK;
}

// Key/value records live in this library because it makes them.
int32_t kvgeti32(kv_t kv, const char *key, int32_t def)
{
    if (!kv || !key)
        return def;
    for (auto &[k, v] : kv->items)
        if (k == key) {
            char *end = nullptr;
            errno = 0;
            long long n = std::strtoll(v.c_str(), &end, 0);
            if (errno || end == v.c_str() || *end || n < INT32_MIN || n > INT32_MAX)
                return def;
            return static_cast<int32_t>(n);
        }
    return def;
}

const char *kvgetstrc(kv_t kv, const char *key, const char *def)
{
    if (!kv || !key)
        return def;
    for (auto &[k, v] : kv->items)
        if (k == key)
            return v.c_str();
    return def;
}

}   // extern "C"
