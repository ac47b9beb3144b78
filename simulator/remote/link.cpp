#include "link.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "../engine.h"
#include "discovery.h"
#include "wire.h"

namespace tsim::remote {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kConnectTimeout = 3s;
constexpr auto kPingEvery = 1s;
// A server not heard from for this long is gone: its devices detach.
constexpr auto kSilentLimit = 3s;
constexpr auto kRetryEvery = 1s;
constexpr auto kRetryRefused = 5s;
constexpr auto kSetTimeout = 1s;
constexpr size_t kOutLimit = 1u << 20;

uint64_t nowNs()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

// Latency of value events in 10 µs steps up to 100 ms, and beyond.
class LatencyHistogram {
public:
    void add(double ms)
    {
        const size_t b = ms <= 0 ? 0 : std::min(static_cast<size_t>(ms * 100), kBuckets);
        ++counts_[b];
        ++n_;
        max_ = std::max(max_, ms);
    }
    double quantile(double q) const
    {
        if (!n_)
            return 0;
        const uint64_t want = static_cast<uint64_t>(q * static_cast<double>(n_ - 1)) + 1;
        uint64_t seen = 0;
        for (size_t b = 0; b <= kBuckets; ++b)
            if ((seen += counts_[b]) >= want)
                return b == kBuckets ? max_ : (static_cast<double>(b) + 0.5) / 100.0;
        return max_;
    }
    double max() const { return max_; }

private:
    static constexpr size_t kBuckets = 10000;
    std::array<uint64_t, kBuckets + 1> counts_{};
    uint64_t n_ = 0;
    double max_ = 0;
};

class Link final : public LinkEnd, public std::enable_shared_from_this<Link> {
public:
    Link(Engine &e, ServiceRecord record)
        : e_(e)
        , record_(std::move(record))
        , wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    { }
    ~Link() override { ::close(wake_); }
    void start()
    {
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }
    // Ends the link; its devices detach. Not from the link's own thread.
    void stop()
    {
        stop_ = true;
        wake();
        {
            std::lock_guard<std::mutex> lk(m_);
            cv_.notify_all();
        }
        if (thread_.joinable())
            thread_.join();
    }
    void retryNow()
    {
        std::lock_guard<std::mutex> lk(m_);
        retryNow_ = true;
        refusedCode_ = TINDREL_OK;   // asked again with what is set now
        refusedDetail_.clear();
        cv_.notify_all();
        wake();
    }
    const ServiceRecord &record() const { return record_; }

    void requestOpen(uint32_t key) override
    {
        std::lock_guard<std::mutex> lk(m_);
        queue(wire::Open{++nextRequest_, key});
    }
    void requestClose(uint32_t key) override
    {
        std::lock_guard<std::mutex> lk(m_);
        queue(wire::Close{key});
    }
    TindrelReturnCode set(uint32_t key, int prop, double value) override;
    std::string serverName() const override { return record_.name; }

    bool refusal(TindrelReturnCode &code, std::string &detail)
    {
        std::lock_guard<std::mutex> lk(m_);
        if (!refusedCode_)
            return false;
        code = refusedCode_;
        detail = refusedDetail_;
        return true;
    }
    LinkStats stats()
    {
        std::lock_guard<std::mutex> lk(m_);
        LinkStats s = stats_;
        s.latencyP50Ms = latency_.quantile(0.5);
        s.latencyP99Ms = latency_.quantile(0.99);
        s.latencyMaxMs = latency_.max();
        return s;
    }

private:
    struct Pending {
        bool done = false;
        int32_t code = 0;
        std::string detail;
    };

    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }
    // With m_ held.
    void queue(const wire::Message &m)
    {
        if (fd_ < 0)
            return;
        const bool idle = outPos_ == out_.size();
        wire::encode(m, out_);
        if (idle)
            wake();
    }

    void run();
    int connectToServer();
    bool session(int fd);
    void received(wire::Message &&m, bool &welcomed);
    void welcome(const wire::Welcome &w);
    void device(const wire::DeviceRecord &d);
    void channel(const wire::ChannelRecord &c);
    void channelGone(uint32_t key);
    void attachment(const wire::Attachment &a);
    void state(const wire::State &s);
    void events(std::vector<wire::Event> &batch);
    void refused(const wire::Denied &d);
    void dropAll();
    void waitRetry(std::chrono::milliseconds d);

    Engine &e_;
    const ServiceRecord record_;
    const int wake_;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    std::mutex m_;   // guards what follows
    std::condition_variable cv_;
    int fd_ = -1;
    std::string out_;
    size_t outPos_ = 0;
    uint32_t nextRequest_ = 0;
    std::map<uint32_t, Pending> pending_;
    bool stalled_ = false;
    bool retryNow_ = false;
    TindrelReturnCode refusedCode_ = TINDREL_OK;
    std::string refusedDetail_;
    LinkStats stats_;
    LatencyHistogram latency_;

    // Link thread and engine lock: what the server offers, mirrored.
    std::shared_ptr<const ServerInfo> server_;
    std::map<uint32_t, std::shared_ptr<const DeviceInfo>> devices_;
    std::map<uint32_t, ChannelPtr> channels_;
};

TindrelReturnCode Link::set(uint32_t key, int prop, double value)
{
    std::unique_lock<std::mutex> lk(m_);
    if (fd_ < 0)
        return fail(TINDREL_ECLOSED, "The connection to server \"%s\" is closed", record_.name.c_str());
    if (stalled_ || out_.size() - outPos_ > kOutLimit)
        return fail(TINDREL_ETIMEDOUT, "Server \"%s\" is not answering (the network may be slow or down)",
                    record_.name.c_str());
    const uint32_t req = ++nextRequest_;
    pending_[req];
    queue(wire::Set{req, key, static_cast<uint16_t>(prop), value});
    const bool answered = cv_.wait_for(lk, kSetTimeout, [&] { return pending_[req].done || stop_; });
    Pending p = std::move(pending_[req]);
    pending_.erase(req);
    if (!answered || !p.done) {
        stalled_ = true;
        return fail(TINDREL_ETIMEDOUT, "Server \"%s\" did not answer within %lld ms (the network may be slow or down)",
                    record_.name.c_str(), static_cast<long long>(kSetTimeout / 1ms));
    }
    if (p.code)
        return fail(static_cast<TindrelReturnCode>(p.code), "%s", p.detail.c_str());
    return TINDREL_OK;
}

void Link::waitRetry(std::chrono::milliseconds d)
{
    std::unique_lock<std::mutex> lk(m_);
    cv_.wait_for(lk, d, [&] { return stop_ || retryNow_; });
    retryNow_ = false;
}

int Link::connectToServer()
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (::getaddrinfo(record_.address.c_str(), std::to_string(record_.port).c_str(), &hints, &found) != 0 || !found) {
        logLine(TINDREL_LOG_WARNING, "server %s: address %s is not usable", record_.name.c_str(),
                record_.address.c_str());
        return -1;
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int rc = fd < 0 ? -1 : ::connect(fd, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (fd < 0)
        return -1;
    if (rc != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    if (rc != 0) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (::poll(&p, 1, static_cast<int>(kConnectTimeout / 1ms)) != 1 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            ::close(fd);
            return -1;
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void Link::run()
{
    bool quiet = false;   // the failure to connect was logged
    while (!stop_) {
        const int fd = connectToServer();
        if (fd < 0) {
            if (!quiet)
                logLine(TINDREL_LOG_INFO, "server %s: cannot connect to %s port %d; trying again", record_.name.c_str(),
                        record_.address.c_str(), record_.port);
            quiet = true;
            waitRetry(kRetryEvery);
            continue;
        }
        quiet = false;
        const bool wasRefused = session(fd);
        dropAll();
        if (!stop_)
            waitRetry(wasRefused ? kRetryRefused : kRetryEvery);
    }
}

// One connection, until it ends; true when the server refused us.
bool Link::session(int fd)
{
    std::string password;
    {
        std::lock_guard<std::mutex> lk(e_.m);
        auto p = e_.passwords.find(record_.name);
        if (p != e_.passwords.end())
            password = p->second;
    }
    char host[256] = "";
    ::gethostname(host, sizeof host - 1);
    {
        std::lock_guard<std::mutex> lk(m_);
        fd_ = fd;
        out_.clear();
        outPos_ = 0;
        stalled_ = false;
        ++stats_.connections;
        queue(wire::Hello{wire::kMagic, wire::kVersion, std::string("tindrel22 on ") + host, password});
    }
    wire::Decoder in;
    bool welcomed = false, refusedNow = false;
    auto heard = Clock::now(), pinged = Clock::now();
    uint64_t token = 0;
    std::vector<wire::Event> batch;
    while (!stop_) {
        bool wantWrite;
        {
            std::lock_guard<std::mutex> lk(m_);
            wantWrite = outPos_ < out_.size();
        }
        pollfd fds[2] = {{fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}, {wake_, POLLIN, 0}};
        ::poll(fds, 2, 200);
        if (fds[1].revents & POLLIN) {
            uint64_t n;
            [[maybe_unused]] auto r = ::read(wake_, &n, sizeof n);
        }
        if (stop_)
            break;
        const auto now = Clock::now();
        if (fds[0].revents & POLLOUT) {
            std::lock_guard<std::mutex> lk(m_);
            while (outPos_ < out_.size()) {
                const ssize_t n = ::send(fd, out_.data() + outPos_, out_.size() - outPos_, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                outPos_ += static_cast<size_t>(n);
            }
            if (outPos_ == out_.size()) {
                out_.clear();
                outPos_ = 0;
            }
        }
        bool closed = (fds[0].revents & (POLLERR | POLLNVAL)) != 0;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[65536];
            for (int rounds = 0; rounds < 16; ++rounds) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    closed = true;
                    break;
                }
                if (n < 0)
                    break;
                heard = now;
                in.feed(buf, static_cast<size_t>(n));
                {
                    std::lock_guard<std::mutex> lk(m_);
                    stats_.bytes += static_cast<uint64_t>(n);
                    stalled_ = false;
                }
                while (auto m = in.next()) {
                    if (auto *ev = std::get_if<wire::Event>(&*m)) {
                        batch.push_back(std::move(*ev));
                        continue;
                    }
                    events(batch);
                    if (auto *d = std::get_if<wire::Denied>(&*m)) {
                        refused(*d);
                        refusedNow = true;
                        closed = true;
                        break;
                    }
                    received(std::move(*m), welcomed);
                }
                events(batch);
                if (!in.error().empty()) {
                    logLine(TINDREL_LOG_ERROR, "server %s sent %s; closing the connection", record_.name.c_str(),
                            in.error().c_str());
                    closed = true;
                }
                if (closed || static_cast<size_t>(n) < sizeof buf)
                    break;
            }
        }
        if (!closed && now - heard > kSilentLimit) {
            logLine(TINDREL_LOG_WARNING, "server %s has not answered for %lld s; its devices detach",
                    record_.name.c_str(), static_cast<long long>(kSilentLimit / 1s));
            closed = true;
        }
        if (closed)
            break;
        if (now - pinged >= kPingEvery) {
            pinged = now;
            std::lock_guard<std::mutex> lk(m_);
            queue(wire::Ping{++token, false});
        }
    }
    {
        std::lock_guard<std::mutex> lk(m_);
        fd_ = -1;
        // Whoever waits for an answer hears that none will come.
        for (auto &[req, p] : pending_) {
            p.done = true;
            p.code = TINDREL_ECLOSED;
            p.detail = "The connection to server \"" + record_.name + "\" was lost";
        }
        cv_.notify_all();
    }
    ::close(fd);
    return refusedNow;
}

void Link::refused(const wire::Denied &d)
{
    const auto code = static_cast<TindrelReturnCode>(d.code ? d.code : TINDREL_EACCESS);
    logLine(TINDREL_LOG_ERROR, "server %s refused the connection: %s", record_.name.c_str(), d.detail.c_str());
    {
        std::lock_guard<std::mutex> lk(m_);
        refusedCode_ = code;
        refusedDetail_ = d.detail;
    }
    // Handles waiting for a channel of this server hear why none comes.
    std::lock_guard<std::mutex> lk(e_.m);
    EventArgs a;
    a.i[0] = code;
    a.s[0] = d.detail;
    for (_Tindrel *h : e_.openHandles)
        if (!h->ch && h->hasServerName && h->serverName == record_.name)
            e_.queueChannelEvent(h, SLOT_ERROR, a);
    e_.attachCv.notify_all();   // openers waiting for it give up now
}

void Link::received(wire::Message &&m, bool &welcomed)
{
    if (auto *w = std::get_if<wire::Welcome>(&m)) {
        welcomed = true;
        return welcome(*w);
    }
    if (!welcomed) {
        logLine(TINDREL_LOG_ERROR, "server %s spoke before welcoming this client", record_.name.c_str());
        return;
    }
    if (auto *d = std::get_if<wire::DeviceRecord>(&m))
        return device(*d);
    if (auto *c = std::get_if<wire::ChannelRecord>(&m))
        return channel(*c);
    if (auto *g = std::get_if<wire::ChannelGone>(&m))
        return channelGone(g->key);
    if (auto *a = std::get_if<wire::Attachment>(&m))
        return attachment(*a);
    if (auto *s = std::get_if<wire::State>(&m))
        return state(*s);
    if (auto *r = std::get_if<wire::Reply>(&m)) {
        std::lock_guard<std::mutex> lk(m_);
        auto it = pending_.find(r->request);
        if (it != pending_.end()) {
            it->second = {true, r->code, r->detail};
            cv_.notify_all();
        } else if (r->code) {
            logLine(TINDREL_LOG_WARNING, "server %s: %s", record_.name.c_str(), r->detail.c_str());
        }
        return;
    }
    if (auto *p = std::get_if<wire::Ping>(&m)) {
        if (!p->answer) {
            std::lock_guard<std::mutex> lk(m_);
            queue(wire::Ping{p->token, true});
        }
        return;
    }
    logLine(TINDREL_LOG_WARNING, "server %s sent a message only clients send", record_.name.c_str());
}

void Link::welcome(const wire::Welcome &w)
{
    {
        std::lock_guard<std::mutex> lk(m_);
        refusedCode_ = TINDREL_OK;
        refusedDetail_.clear();
    }
    auto s = std::make_shared<ServerInfo>();
    s->id = "net:" + record_.name;
    s->name = record_.name;
    s->uniqueName = w.uniqueName.empty() ? record_.name : w.uniqueName;
    s->peerName = record_.address + ":" + std::to_string(record_.port);
    s->host = record_.host.empty() ? w.host : record_.host;
    s->addr = record_.address;
    s->port = record_.port;
    s->stype = kServiceType;
    s->verMajor = w.major;
    s->verMinor = w.minor;
    s->announce = record_.txt;
    std::lock_guard<std::mutex> lk(e_.m);
    server_ = s;
    e_.servers[s.get()].on = true;
    logLine(TINDREL_LOG_INFO, "server %s (%s): connected", s->name.c_str(), s->host.c_str());
}

void Link::device(const wire::DeviceRecord &r)
{
    std::lock_guard<std::mutex> lk(e_.m);
    if (r.key == 0 || devices_.count(r.key) || (r.parent && !devices_.count(r.parent))) {
        logLine(TINDREL_LOG_WARNING, "server %s: device record %u does not fit; ignored", record_.name.c_str(), r.key);
        return;
    }
    auto d = std::make_shared<DeviceInfo>();
    d->id = "net:" + record_.name + ":" + std::to_string(r.key);
    d->sku = r.sku;
    d->name = r.name;
    d->label = r.label;
    d->fwString = r.fwString;
    d->className = r.className;
    d->deviceId = r.deviceId;
    d->deviceClass = r.deviceClass;
    d->version = r.version;
    d->serial = r.serial;
    d->hubPort = r.hubPort;
    d->xlnkId = r.xlnkId;
    d->hubPortDevice = r.hubPortDevice;
    d->parent = r.parent ? devices_[r.parent] : nullptr;
    d->server = server_;
    e_.devOn[d.get()] = true;
    devices_[r.key] = std::move(d);
}

void Link::channel(const wire::ChannelRecord &r)
{
    std::lock_guard<std::mutex> lk(e_.m);
    const ClassDesc *cls = classByNumber(r.cls);
    auto dev = devices_.find(r.device);
    if (!cls || dev == devices_.end() || channels_.count(r.key)) {
        logLine(TINDREL_LOG_WARNING, "server %s: channel record %u (class %d) does not fit; ignored",
                record_.name.c_str(), r.key, r.cls);
        return;
    }
    auto ci = std::make_shared<ChannelInfo>();
    ci->cls = cls;
    ci->subclass = r.subclass;
    ci->index = r.index;
    ci->name = r.name;
    ci->device = dev->second;
    for (uint16_t p : r.unsupported)
        if (p < cls->props.size())
            ci->unsupported.insert(p);
    auto c = std::make_shared<Channel>();
    c->info = ci;
    c->reset();
    c->remote = std::make_shared<RemoteEnd>();
    c->remote->link = weak_from_this();
    c->remote->key = r.key;
    channels_[r.key] = c;
    e_.channels.push_back(c);
    e_.refresh();
}

void Link::channelGone(uint32_t key)
{
    std::lock_guard<std::mutex> lk(e_.m);
    auto it = channels_.find(key);
    if (it == channels_.end())
        return;
    ChannelPtr c = it->second;
    channels_.erase(it);
    c->remote->offered = false;
    c->remote->reservedFor = nullptr;
    e_.refresh();
    e_.channels.erase(std::remove(e_.channels.begin(), e_.channels.end(), c), e_.channels.end());
}

void Link::attachment(const wire::Attachment &a)
{
    std::lock_guard<std::mutex> lk(e_.m);
    auto it = channels_.find(a.key);
    if (it == channels_.end())
        return;
    Channel &c = *it->second;
    if (a.attached) {
        _Tindrel *h = c.remote->reservedFor;
        if (h && h->open && !h->ch && c.present && !c.holder && e_.matches(h, c)) {
            e_.attach(h, it->second);
        } else if (!c.holder) {
            // Nobody wants it any more (closed meanwhile): give it back.
            c.remote->reservedFor = nullptr;
            std::lock_guard<std::mutex> llk(m_);
            queue(wire::Close{a.key});
        }
    } else if (c.holder) {
        // The server's handle lost the device; when it comes back, the same
        // handle gets it again.
        c.remote->reservedFor = c.holder;
        e_.detachHolder(c, true);
    }
}

void Link::state(const wire::State &s)
{
    std::lock_guard<std::mutex> lk(e_.m);
    auto it = channels_.find(s.key);
    if (it == channels_.end())
        return;
    Channel &c = *it->second;
    if (s.values.size() != c.values.size()) {
        logLine(TINDREL_LOG_WARNING, "server %s: %zu values for a %s channel, which has %zu; ignored",
                record_.name.c_str(), s.values.size(), c.info->cls->name, c.values.size());
        return;
    }
    c.values = s.values;
    c.mins = s.mins;
    c.maxs = s.maxs;
}

void Link::events(std::vector<wire::Event> &batch)
{
    if (batch.empty())
        return;
    const uint64_t now = nowNs();
    {
        std::lock_guard<std::mutex> lk(e_.m);
        for (wire::Event &ev : batch) {
            auto it = channels_.find(ev.key);
            if (it == channels_.end())
                continue;
            Channel &c = *it->second;
            const size_t slots = SLOT_FIRST_EVENT + c.info->cls->events.size();
            if (ev.slot < SLOT_ERROR || ev.slot >= slots) {
                logLine(TINDREL_LOG_WARNING, "server %s: event %u for a %s channel, which has no such event",
                        record_.name.c_str(), ev.slot, c.info->cls->name);
                continue;
            }
            if (c.holder && c.holder->deliverValues)
                e_.queueChannelEvent(c.holder, ev.slot, std::move(ev.args));
        }
    }
    std::lock_guard<std::mutex> lk(m_);
    for (const wire::Event &ev : batch) {
        ++stats_.events;
        if (ev.sentNs && ev.sentNs <= now)
            latency_.add(static_cast<double>(now - ev.sentNs) / 1e6);
    }
    batch.clear();
}

// The connection ended: everything the server offered goes away.
void Link::dropAll()
{
    std::lock_guard<std::mutex> lk(e_.m);
    for (auto &[key, c] : channels_) {
        c->remote->offered = false;
        c->remote->reservedFor = nullptr;
    }
    e_.refresh();
    for (auto &[key, c] : channels_)
        e_.channels.erase(std::remove(e_.channels.begin(), e_.channels.end(), c), e_.channels.end());
    channels_.clear();
    for (auto &[key, d] : devices_)
        e_.devOn.erase(d.get());
    devices_.clear();
    if (server_) {
        e_.servers.erase(server_.get());
        logLine(TINDREL_LOG_INFO, "server %s: disconnected", server_->name.c_str());
    }
    server_.reset();
}

class LinkSet final : public Links {
public:
    explicit LinkSet(Engine &e)
        : e_(e)
    { }
    ~LinkSet() override { browse(false); }

    void browse(bool on) override
    {
        std::unique_ptr<Discovery> endingDiscovery;
        std::unique_ptr<Browsing> ending;
        std::map<std::string, std::shared_ptr<Link>> endingLinks;
        {
            std::lock_guard<std::mutex> lk(m_);
            if (on == static_cast<bool>(browsing_))
                return;
            if (on) {
                if (!discovery_)
                    discovery_ = makeDiscovery();
                if (!discovery_)
                    return;
                std::string err;
                browsing_ = discovery_->browse(
                    {[this](const ServiceRecord &r) { found(r); }, [this](const std::string &name) { lost(name); }},
                    err);
                if (!browsing_)
                    logLine(TINDREL_LOG_ERROR, "cannot browse for network servers (%s): %s",
                            discovery_->describe().c_str(), err.c_str());
                else
                    logLine(TINDREL_LOG_INFO, "browsing for network servers: %s", discovery_->describe().c_str());
                return;
            }
            ending = std::move(browsing_);
            endingDiscovery = std::move(discovery_);   // the next browse asks the environment again
        }
        ending.reset();   // no found() or lost() after this
        endingDiscovery.reset();
        {
            std::lock_guard<std::mutex> lk(m_);
            endingLinks.swap(links_);
        }
        for (auto &[name, l] : endingLinks)
            end(l);
    }
    void passwordsChanged() override
    {
        std::lock_guard<std::mutex> lk(m_);
        for (auto &[name, l] : links_)
            l->retryNow();
    }
    bool refusal(const std::string &name, TindrelReturnCode &code, std::string &detail) override
    {
        auto l = find(name);
        return l && l->refusal(code, detail);
    }
    bool stats(const std::string &name, LinkStats &out) override
    {
        auto l = find(name);
        if (l)
            out = l->stats();
        return static_cast<bool>(l);
    }

private:
    std::shared_ptr<Link> find(const std::string &name)
    {
        std::lock_guard<std::mutex> lk(m_);
        auto it = links_.find(name);
        return it == links_.end() ? nullptr : it->second;
    }
    // On the discovery's thread.
    void found(const ServiceRecord &r)
    {
        std::shared_ptr<Link> old;
        auto l = std::make_shared<Link>(e_, r);
        {
            std::lock_guard<std::mutex> lk(m_);
            auto &slot = links_[r.name];
            if (slot && slot->record() == r)
                return;
            old = std::exchange(slot, l);
        }
        if (old)
            end(old);
        announce(r, true);
        l->start();
    }
    void lost(const std::string &name)
    {
        std::shared_ptr<Link> l;
        {
            std::lock_guard<std::mutex> lk(m_);
            auto it = links_.find(name);
            if (it == links_.end())
                return;
            l = std::move(it->second);
            links_.erase(it);
        }
        end(l);
    }
    void end(const std::shared_ptr<Link> &l)
    {
        l->stop();
        announce(l->record(), false);
    }
    // The server as discovery sees it, for the added and removed callbacks.
    void announce(const ServiceRecord &r, bool up)
    {
        std::lock_guard<std::mutex> lk(e_.m);
        auto &list = e_.linkAnnouncements;
        auto it = std::find_if(list.begin(), list.end(), [&](auto &s) { return s->name == r.name; });
        if (it != list.end()) {
            e_.servers[it->get()].on = false;
            e_.updateAnnouncements();
            e_.servers.erase(it->get());
            list.erase(it);
        }
        if (up) {
            auto s = std::make_shared<ServerInfo>();
            s->id = "net:" + r.name;
            s->name = s->uniqueName = r.name;
            s->host = r.host;
            s->addr = r.address;
            s->port = r.port;
            s->stype = kServiceType;
            s->announce = r.txt;
            list.push_back(s);
            e_.servers[s.get()].on = true;
            e_.updateAnnouncements();
        }
    }

    Engine &e_;
    std::mutex m_;
    std::unique_ptr<Discovery> discovery_;
    std::unique_ptr<Browsing> browsing_;
    std::map<std::string, std::shared_ptr<Link>> links_;
};

}   // namespace

std::unique_ptr<Links> makeLinks(Engine &engine) { return std::make_unique<LinkSet>(engine); }

}   // namespace tsim::remote
