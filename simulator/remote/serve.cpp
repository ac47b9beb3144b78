#include "serve.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "../engine.h"
#include "wire.h"

namespace tsim::remote {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxSessions = 32;
// Value events beyond this much unsent output are dropped (a link too slow
// for the channel's rate); everything else is always sent.
constexpr size_t kOutLimit = 4u << 20;
constexpr auto kStateEvery = std::chrono::milliseconds(50);
constexpr auto kSilentLimit = std::chrono::seconds(10);

uint64_t nowNs()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

void noEvent() { }

class Server;
struct Session;

// A channel a client opened: the server's own handle on it.
struct Served final : EventSink {
    Session *session = nullptr;
    uint32_t key = 0;
    TindrelHandle handle = nullptr;
    std::vector<double> sentValues, sentMins, sentMaxs;   // server thread only
    void deliver(_Tindrel *h, int slot, const EventArgs &args) override;
};

struct Session {
    Server *server = nullptr;
    int fd = -1;
    std::string peer;
    wire::Decoder in;
    bool authed = false, closing = false;
    Clock::time_point lastHeard = Clock::now();
    std::map<uint32_t, std::unique_ptr<Served>> served;   // server thread only
    std::set<uint32_t> devicesSent;                       // under Server::m_
    std::mutex outM;
    std::string out;
    size_t outPos = 0;
    uint64_t dropped = 0;
    void send(const wire::Message &m, bool droppable = false);
    bool wantsWrite()
    {
        std::lock_guard<std::mutex> lk(outM);
        return outPos < out.size();
    }
};

// The values of the channel the handle holds, if attached.
std::optional<wire::State> stateOf(TindrelHandle ch, uint32_t key)
{
    auto *h = reinterpret_cast<_Tindrel *>(ch);
    std::lock_guard<std::mutex> lk(engine().m);
    if (!h->ch)
        return std::nullopt;
    return wire::State{key, h->ch->values, h->ch->mins, h->ch->maxs};
}

class Server final : public NetServer {
public:
    Server(ServeOptions options, int listener)
        : options_(std::move(options))
        , listener_(listener)
        , wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        sockaddr_storage a{};
        socklen_t n = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &n);
        port_ = ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port
                                              : reinterpret_cast<sockaddr_in *>(&a)->sin_port);
        TindrelManager_create(&manager_);
        TindrelManager_setOnAttachHandler(manager_, &Server::onAttach, this);
        TindrelManager_setOnDetachHandler(manager_, &Server::onDetach, this);
        TindrelManager_open(manager_);
        thread_ = std::thread([this] { run(); });
    }
    ~Server() override
    {
        // No manager callback after this; then the loop ends and closes its clients.
        TindrelManager_close(manager_);
        TindrelManager_delete(&manager_);
        stop_ = true;
        wake();
        thread_.join();
        ::close(listener_);
        ::close(wake_);
    }
    int port() const override { return port_; }
    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }

private:
    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        static_cast<Server *>(ctx)->published(reinterpret_cast<_Tindrel *>(ch)->ident, true);
    }
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        static_cast<Server *>(ctx)->published(reinterpret_cast<_Tindrel *>(ch)->ident, false);
    }

    // Channels of devices of this machine are offered; those of servers the
    // rig itself simulates, and firmware loaders, are not.
    static bool offered(const ChannelInfo &ci)
    {
        for (const DeviceInfo *d = ci.device.get(); d; d = d->parent.get())
            if (d->server)
                return false;
        return !ci.loaderOnly && ci.cls->cls != TINDREL_CHCLASS_FIRMWAREUPGRADE;
    }

    uint32_t keyOf(const void *p)
    {
        auto [it, fresh] = keys_.try_emplace(p, nextKey_);
        if (fresh)
            ++nextKey_;
        return it->second;
    }

    void published(const std::shared_ptr<const ChannelInfo> &info, bool present)
    {
        if (!info || !offered(*info))
            return;
        std::lock_guard<std::mutex> lk(m_);
        const uint32_t key = keyOf(info.get());
        if (present) {
            channels_[key] = info;
            for (auto &s : sessions_)
                if (s->authed)
                    offer(*s, key, *info);
        } else if (channels_.erase(key)) {
            for (auto &s : sessions_)
                if (s->authed)
                    s->send(wire::ChannelGone{key});
        }
    }

    // With m_ held.
    uint32_t offerDevice(Session &s, const std::shared_ptr<const DeviceInfo> &d)
    {
        const uint32_t key = keyOf(d.get());
        if (s.devicesSent.count(key))
            return key;
        const uint32_t parent = d->parent ? offerDevice(s, d->parent) : 0;
        wire::DeviceRecord r;
        r.key = key;
        r.parent = parent;
        r.sku = d->sku;
        r.name = d->name;
        r.label = d->label;
        r.fwString = d->fwString;
        r.className = d->className;
        r.deviceId = d->deviceId;
        r.deviceClass = d->deviceClass;
        {
            std::lock_guard<std::mutex> elk(engine().m);
            r.version = engine().versionOf(*d);
        }
        r.serial = d->serial;
        r.hubPort = d->hubPort;
        r.xlnkId = d->xlnkId;
        r.hubPortDevice = d->hubPortDevice;
        s.send(r);
        s.devicesSent.insert(key);
        return key;
    }

    void offer(Session &s, uint32_t key, const ChannelInfo &ci)
    {
        wire::ChannelRecord r;
        r.key = key;
        r.device = offerDevice(s, ci.device);
        r.cls = static_cast<int32_t>(ci.cls->cls);
        r.subclass = ci.subclass;
        r.index = ci.index;
        r.name = ci.name;
        for (int p : ci.unsupported)
            r.unsupported.push_back(static_cast<uint16_t>(p));
        s.send(r);
    }

    void run();
    void accept();
    void readFrom(Session &s);
    void writeTo(Session &s);
    void handle(Session &s, wire::Message &&m);
    void hello(Session &s, const wire::Hello &h);
    void open(Session &s, const wire::Open &o);
    void closeServed(Session &s, uint32_t key);
    void set(Session &s, const wire::Set &m);
    void pushState(Served &sv, bool always);
    void end(Session &s);

    ServeOptions options_;
    int listener_, wake_, port_ = 0;
    std::atomic<bool> stop_{false};
    TindrelManagerHandle manager_ = nullptr;
    std::mutex m_;   // guards the members below and the sessions list
    std::map<const void *, uint32_t> keys_;
    uint32_t nextKey_ = 1;
    std::map<uint32_t, std::shared_ptr<const ChannelInfo>> channels_;
    std::vector<std::unique_ptr<Session>> sessions_;
    std::thread thread_;
};

void Session::send(const wire::Message &m, bool droppable)
{
    bool wasIdle;
    {
        std::lock_guard<std::mutex> lk(outM);
        if (droppable && out.size() - outPos > kOutLimit) {
            ++dropped;
            return;
        }
        wasIdle = outPos == out.size();
        wire::encode(m, out);
    }
    if (wasIdle)
        server->wake();
}

void Served::deliver(_Tindrel *, int slot, const EventArgs &args)
{
    if (slot == SLOT_ATTACH) {
        if (auto st = stateOf(handle, key))
            session->send(*st);
        session->send(wire::Attachment{key, true});
    } else if (slot == SLOT_DETACH) {
        session->send(wire::Attachment{key, false});
    } else {
        session->send(wire::Event{key, static_cast<uint16_t>(slot), nowNs(), args}, slot != SLOT_ERROR);
    }
}

void Server::run()
{
    auto lastStates = Clock::now();
    std::vector<pollfd> fds;
    while (!stop_) {
        fds.clear();
        fds.push_back({wake_, POLLIN, 0});
        fds.push_back({listener_, POLLIN, 0});
        std::vector<Session *> order;
        {
            std::lock_guard<std::mutex> lk(m_);
            for (auto &s : sessions_) {
                fds.push_back(
                    {s->fd, static_cast<short>((s->closing ? 0 : POLLIN) | (s->wantsWrite() ? POLLOUT : 0)), 0});
                order.push_back(s.get());
            }
        }
        ::poll(fds.data(), fds.size(), 50);
        if (fds[0].revents & POLLIN) {
            uint64_t n;
            [[maybe_unused]] auto r = ::read(wake_, &n, sizeof n);
        }
        if (fds[1].revents & POLLIN)
            accept();
        const auto now = Clock::now();
        std::vector<Session *> ended;
        for (size_t i = 0; i < order.size(); ++i) {
            Session &s = *order[i];
            const short ev = fds[i + 2].revents;
            if (ev & POLLIN)
                readFrom(s);
            if (s.fd >= 0 && (ev & POLLOUT))
                writeTo(s);
            if (s.fd >= 0 && (ev & (POLLERR | POLLHUP | POLLNVAL)) && !(ev & POLLIN))
                ::close(std::exchange(s.fd, -1));
            if (s.fd >= 0 && s.closing && !s.wantsWrite())
                ::close(std::exchange(s.fd, -1));
            if (s.fd >= 0 && now - s.lastHeard > kSilentLimit) {
                logLine(TINDREL_LOG_INFO, "network server: %s fell silent; closing its connection", s.peer.c_str());
                ::close(std::exchange(s.fd, -1));
            }
            if (s.fd < 0)
                ended.push_back(&s);
        }
        for (Session *s : ended)
            end(*s);
        if (now - lastStates >= kStateEvery) {
            lastStates = now;
            std::lock_guard<std::mutex> lk(m_);
            for (auto &s : sessions_)
                for (auto &[key, sv] : s->served)
                    pushState(*sv, false);
        }
    }
    std::vector<Session *> all;
    {
        std::lock_guard<std::mutex> lk(m_);
        for (auto &s : sessions_)
            all.push_back(s.get());
    }
    for (Session *s : all) {
        if (s->fd >= 0)
            ::close(std::exchange(s->fd, -1));
        end(*s);
    }
}

void Server::accept()
{
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr *>(&a), &n, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    char text[INET6_ADDRSTRLEN] = "?";
    if (a.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&a)->sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(&a)->sin6_addr, text, sizeof text);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lk(m_);
    if (sessions_.size() >= kMaxSessions) {
        logLine(TINDREL_LOG_WARNING, "network server: refusing %s: %zu clients already", text, kMaxSessions);
        ::close(fd);
        return;
    }
    auto s = std::make_unique<Session>();
    s->server = this;
    s->fd = fd;
    s->peer = text;
    sessions_.push_back(std::move(s));
}

void Server::readFrom(Session &s)
{
    char buf[65536];
    for (int rounds = 0; rounds < 16 && s.fd >= 0; ++rounds) {
        const ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            ::close(std::exchange(s.fd, -1));
            return;
        }
        if (n < 0)
            return;
        s.lastHeard = Clock::now();
        s.in.feed(buf, static_cast<size_t>(n));
        while (!s.closing) {
            auto m = s.in.next();
            if (!m)
                break;
            handle(s, std::move(*m));
        }
        if (!s.in.error().empty()) {
            logLine(TINDREL_LOG_WARNING, "network server: closing the connection of %s: it sent %s", s.peer.c_str(),
                    s.in.error().c_str());
            ::close(std::exchange(s.fd, -1));
            return;
        }
        if (s.closing)
            return;
    }
}

void Server::writeTo(Session &s)
{
    std::lock_guard<std::mutex> lk(s.outM);
    while (s.outPos < s.out.size()) {
        const ssize_t n = ::send(s.fd, s.out.data() + s.outPos, s.out.size() - s.outPos, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            ::close(std::exchange(s.fd, -1));
            return;
        }
        s.outPos += static_cast<size_t>(n);
    }
    s.out.clear();
    s.outPos = 0;
}

void Server::handle(Session &s, wire::Message &&m)
{
    if (auto *h = std::get_if<wire::Hello>(&m))
        return hello(s, *h);
    if (!s.authed) {
        logLine(TINDREL_LOG_WARNING, "network server: %s spoke before saying hello", s.peer.c_str());
        s.closing = true;
        return;
    }
    if (auto *o = std::get_if<wire::Open>(&m))
        return open(s, *o);
    if (auto *c = std::get_if<wire::Close>(&m))
        return closeServed(s, c->key);
    if (auto *st = std::get_if<wire::Set>(&m))
        return set(s, *st);
    if (auto *p = std::get_if<wire::Ping>(&m)) {
        if (!p->answer)
            s.send(wire::Ping{p->token, true});
        return;
    }
    logLine(TINDREL_LOG_WARNING, "network server: %s sent a message only servers send", s.peer.c_str());
    s.closing = true;
}

// Compares all of both strings, so the time taken tells nothing of the password.
bool sameSecret(const std::string &a, const std::string &b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        diff |= static_cast<unsigned char>((i < a.size() ? a[i] : 0) ^ (i < b.size() ? b[i] : 0));
    return diff == 0;
}

void Server::hello(Session &s, const wire::Hello &h)
{
    if (s.authed) {
        s.closing = true;
        return;
    }
    if (h.magic != wire::kMagic || h.version != wire::kVersion) {
        s.send(wire::Denied{TINDREL_EBADVERSION,
                            strprintf("The server \"%s\" speaks protocol version %d, the client version %d",
                                      options_.name.c_str(), wire::kVersion, h.version)});
        s.closing = true;
        return;
    }
    if (!options_.password.empty() && !sameSecret(h.password, options_.password)) {
        logLine(TINDREL_LOG_WARNING, "network server: %s gave a wrong password", s.peer.c_str());
        s.send(wire::Denied{TINDREL_EACCESS,
                            h.password.empty() ? strprintf("The server \"%s\" needs a password", options_.name.c_str())
                                               : strprintf("The server \"%s\" refused the password given for it",
                                                           options_.name.c_str())});
        s.closing = true;
        return;
    }
    s.authed = true;
    logLine(TINDREL_LOG_INFO, "network server: %s (%s) connected", s.peer.c_str(), h.client.c_str());
    s.send(wire::Welcome{options_.name, options_.name + "@" + options_.host, options_.host, 2, 3});
    std::lock_guard<std::mutex> lk(m_);
    for (auto &[key, info] : channels_)
        offer(s, key, *info);
}

void Server::open(Session &s, const wire::Open &o)
{
    std::shared_ptr<const ChannelInfo> info;
    {
        std::lock_guard<std::mutex> lk(m_);
        auto it = channels_.find(o.key);
        if (it != channels_.end())
            info = it->second;
    }
    if (!info) {
        s.send(wire::Reply{o.request, TINDREL_ENOENT, "The server offers no such channel (it may just have gone)"});
        return;
    }
    if (s.served.count(o.key)) {
        s.send(wire::Reply{o.request, TINDREL_OK, {}});
        return;
    }
    auto sv = std::make_unique<Served>();
    sv->session = &s;
    sv->key = o.key;
    if (TindrelReturnCode rc = createHandle(info->cls->cls, &sv->handle)) {
        s.send(wire::Reply{o.request, rc, "The server could not make a handle for the channel"});
        return;
    }
    auto *h = reinterpret_cast<_Tindrel *>(sv->handle);
    const DeviceInfo &d = *info->device;
    h->serial = d.serial;
    h->hubPort = d.deviceClass == TINDREL_DEVCLASS_XLNK ? d.hubPort : 0;
    h->channel = info->index;
    h->hubPortDevice = d.hubPortDevice;
    h->where = Where::Local;
    h->sink = sv.get();
    for (auto &hd : h->handlers)
        hd = {&noEvent, nullptr};
    Tindrel_open(sv->handle);
    s.served[o.key] = std::move(sv);
    s.send(wire::Reply{o.request, TINDREL_OK, {}});
}

void Server::closeServed(Session &s, uint32_t key)
{
    auto it = s.served.find(key);
    if (it == s.served.end())
        return;
    // Waits for an event the handle is delivering; the sink goes after.
    Tindrel_close(it->second->handle);
    Tindrel_delete(&it->second->handle);
    s.served.erase(it);
}

void Server::set(Session &s, const wire::Set &m)
{
    auto it = s.served.find(m.key);
    if (it == s.served.end()) {
        s.send(wire::Reply{m.request, TINDREL_ENOTATTACHED, "The channel is not open on the server"});
        return;
    }
    const ClassDesc *cls = reinterpret_cast<_Tindrel *>(it->second->handle)->cls;
    if (m.prop >= cls->props.size() || !cls->props[m.prop].writable()) {
        s.send(wire::Reply{m.request, TINDREL_EINVALIDARG,
                           strprintf("%s has no settable property %u", cls->name, static_cast<unsigned>(m.prop))});
        return;
    }
    TindrelReturnCode rc = writeProp(it->second->handle, cls, m.prop, m.value);
    std::string detail;
    if (rc) {
        TindrelReturnCode code;
        const char *description = nullptr;
        char text[512] = "";
        size_t len = sizeof text;
        if (Tindrel_getLastError(&code, &description, text, &len) == TINDREL_OK)
            detail = text;
    }
    // The new values reach the client before the answer does.
    pushState(*it->second, true);
    s.send(wire::Reply{m.request, rc, detail});
}

void Server::pushState(Served &sv, bool always)
{
    auto st = stateOf(sv.handle, sv.key);
    if (!st)
        return;
    if (!always && st->values == sv.sentValues && st->mins == sv.sentMins && st->maxs == sv.sentMaxs)
        return;
    sv.sentValues = st->values;
    sv.sentMins = st->mins;
    sv.sentMaxs = st->maxs;
    sv.session->send(*st);
}

void Server::end(Session &s)
{
    while (!s.served.empty())
        closeServed(s, s.served.begin()->first);
    if (s.authed)
        logLine(TINDREL_LOG_INFO, "network server: %s disconnected%s", s.peer.c_str(),
                s.dropped ? strprintf(" (%llu value events dropped on a slow link)",
                                      static_cast<unsigned long long>(s.dropped))
                                .c_str()
                          : "");
    std::lock_guard<std::mutex> lk(m_);
    sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(), [&](auto &p) { return p.get() == &s; }),
                    sessions_.end());
}

}   // namespace

std::unique_ptr<NetServer> NetServer::start(const ServeOptions &options, std::string &err)
{
    const bool v6 = options.bindAddress.find(':') != std::string::npos;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        err = std::strerror(errno);
        return nullptr;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage a{};
    socklen_t len;
    if (v6) {
        auto *a6 = reinterpret_cast<sockaddr_in6 *>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(static_cast<uint16_t>(options.port));
        if (::inet_pton(AF_INET6, options.bindAddress.c_str(), &a6->sin6_addr) != 1) {
            err = "\"" + options.bindAddress + "\" is not an address";
            ::close(fd);
            return nullptr;
        }
        len = sizeof *a6;
    } else {
        auto *a4 = reinterpret_cast<sockaddr_in *>(&a);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(static_cast<uint16_t>(options.port));
        a4->sin_addr.s_addr = htonl(INADDR_ANY);
        if (!options.bindAddress.empty() && ::inet_pton(AF_INET, options.bindAddress.c_str(), &a4->sin_addr) != 1) {
            err = "\"" + options.bindAddress + "\" is not an address";
            ::close(fd);
            return nullptr;
        }
        len = sizeof *a4;
    }
    if (options.port < 0 || options.port > 65535) {
        err = "port " + std::to_string(options.port) + " is out of range";
        ::close(fd);
        return nullptr;
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(fd, 16) != 0) {
        err = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    engine();   // the engine and its rig exist before the first client
    {
        std::lock_guard<std::mutex> lk(engine().m);
        engine().ensureRig();
    }
    return std::make_unique<Server>(options, fd);
}

}   // namespace tsim::remote
