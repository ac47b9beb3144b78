// The engine: presence, matching, attach and detach, and the generator
// thread that produces value events.
#include "engine.h"

#include "remote/link.h"
#include "remote/serve.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tsim {

using Clock = std::chrono::steady_clock;

uint64_t epochOf(CallbackGate &g)
{
    std::lock_guard<std::mutex> lk(g.m);
    return g.epoch;
}

std::atomic<int> managerCallbackDelayMs{0};

Engine &engine()
{
    // Never destroyed: library threads may still deliver events while the
    // process exits, and must not find a destroyed engine.
    static Engine *e = new Engine;
    return *e;
}

Engine::Engine()
    : generator_([this] { generatorLoop(); })
{
    generator_.detach();
}

// ---------------------------------------------------------------- injected failures

TindrelReturnCode Engine::maybeFailCall(const Channel &c, bool read)
{
    if (failShare <= 0 || std::uniform_real_distribution<double>(0, 1)(failRng) >= failShare)
        return TINDREL_OK;
    struct Failure {
        TindrelReturnCode code;
        const char *detail;
    };
    static constexpr Failure kFailures[] = {
        {TINDREL_ETIMEDOUT, "Timed out waiting for the device to answer"},
        {TINDREL_EIO, "The device did not acknowledge the request (input/output error)"},
        {TINDREL_EBUSY, "The device is busy with another request; try again"},
        {TINDREL_EINTERRUPTED, "The request was interrupted before the device answered"},
    };
    const Failure &f = kFailures[std::uniform_int_distribution<size_t>(0, std::size(kFailures) - 1)(failRng)];
    const int cls = static_cast<int>(c.info->cls->cls);
    ++(read ? failedReads : failedChanges)[cls];
    return fail(f.code, "%s (%s channel %d, serial number %d)", f.detail, c.info->cls->name, c.info->index,
                c.info->device->serial);
}

// ---------------------------------------------------------------- channels

bool Channel::shared() const { return info->cls->cls == TINDREL_CHCLASS_DICTIONARY; }

std::vector<_Tindrel *> Channel::openHandles() const
{
    std::vector<_Tindrel *> all;
    if (holder)
        all.push_back(holder);
    all.insert(all.end(), clients.begin(), clients.end());
    return all;
}

void Channel::reset()
{
    const ClassDesc &cls = *info->cls;
    // Values driven from outside stay as they were driven.
    const std::vector<double> before = std::move(values);
    values.assign(static_cast<size_t>(cls.width), 0.0);
    mins.assign(values.size(), 0.0);
    maxs.assign(values.size(), 0.0);
    if (overridden.size() != values.size())
        overridden.assign(values.size(), false);
    for (size_t i = 0; i < cls.props.size(); ++i) {
        const PropDesc &p = cls.props[i];
        double lo = p.lo, hi = p.hi, v = p.init;
        if (auto r = info->ranges.find(static_cast<int>(i)); r != info->ranges.end()) {
            lo = r->second.first;
            hi = r->second.second;
        }
        if (auto it = info->initial.find(static_cast<int>(i)); it != info->initial.end())
            v = it->second;
        for (int a = 0; a < p.width; ++a) {
            size_t s = static_cast<size_t>(p.slot + a);
            mins[s] = lo;
            maxs[s] = hi;
            values[s] = overridden[s] && s < before.size() ? before[s] : v;
        }
    }
    lastSent.assign(values.size(), NAN);
    sessionStart = Clock::now();
    lastTick = 0;
    state.reset();
    if (cls.hooks && cls.hooks->makeState)
        state = cls.hooks->makeState(*this);
}

double sessionTime(const Channel &c) { return std::chrono::duration<double>(Clock::now() - c.sessionStart).count(); }

// ---------------------------------------------------------------- rig

void Engine::ensureRig()
{
    if (rigLoaded)
        return;
    Rig r;
    std::string err;
    const char *path = std::getenv("TINDREL_RIG");
    bool loaded = false;
    if (path && *path) {
        FILE *f = std::fopen(path, "rb");
        if (!f) {
            std::fprintf(stderr, "tindrel22: cannot read rig %s named by TINDREL_RIG; using the default rig\n", path);
        } else {
            std::string text;
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                text.append(buf, n);
            std::fclose(f);
            if (parseRig(text, path, r, err))
                loaded = true;
            else
                std::fprintf(stderr, "tindrel22: %s; using the default rig\n", err.c_str());
        }
    }
    if (!loaded) {
        r = Rig{};
        if (!parseRig(defaultRigText(), "default rig", r, err)) {
            std::fprintf(stderr, "tindrel22: %s\n", err.c_str());
            r = Rig{};
        }
    }
    install(std::move(r));
}

TindrelReturnCode Engine::install(Rig &&r)
{
    // Channels of servers reached over the network are not the rig's: they
    // stay, with their devices and servers.
    std::vector<ChannelPtr> linked;
    std::unordered_map<const DeviceInfo *, bool> linkedDevices;
    std::unordered_map<const ServerInfo *, ServerRuntime> linkedServers;
    for (auto &c : channels)
        if (c->remote) {
            linked.push_back(c);
            for (const DeviceInfo *d = c->info->device.get(); d; d = d->parent.get()) {
                linkedDevices[d] = devOn[d];
                if (d->server)
                    linkedServers[d->server.get()] = servers[d->server.get()];
            }
        }
    for (auto &s : linkAnnouncements)
        linkedServers[s.get()] = servers[s.get()];
    // Everything present goes away first, so handles and managers see detaches.
    devOn.clear();
    std::erase_if(servers, [&](auto &kv) { return !linkedServers.count(kv.first); });
    std::vector<ChannelPtr> old;
    old.swap(channels);
    std::erase_if(old, [](const ChannelPtr &c) { return c->remote != nullptr; });
    for (auto &c : old) {
        if (c->present)
            logLine(TINDREL_LOG_INFO, "detach: %s channel %d (%s) of %s (serial %d)", c->info->cls->name,
                    c->info->index, c->info->name.c_str(), c->info->device->name.c_str(), c->info->device->serial);
        if (c->holder)
            detachHolder(*c, true);
        if (c->present)
            for (auto *mg : managers)
                if (mg->open)
                    queueManagerEvent(mg, c, false);
    }
    updateAnnouncements();

    rig = std::move(r);
    rigLoaded = true;
    devById.clear();
    serverById.clear();
    shafts.clear();
    loaderMode.clear();
    rebootGen.clear();
    portsOff.clear();
    installedVersion.clear();
    pendingSwap.clear();
    transferring.clear();
    upgradeFaults.clear();
    fileDictionaries.clear();
    for (auto &s : rig.servers) {
        serverById[s->id] = s;
        servers[s.get()].on = s->presentAtLoad;
    }
    for (auto &d : rig.devices) {
        devById[d->id] = d;
        devOn[d.get()] = d->presentAtLoad;
    }
    devOn.insert(linkedDevices.begin(), linkedDevices.end());
    // Every device can reboot into its firmware loader, which shows a
    // firmware-upgrade channel; add one where the rig lists none.
    const ClassDesc *loader = classByNumber(TINDREL_CHCLASS_FIRMWAREUPGRADE);
    std::set<const DeviceInfo *> hasLoader;
    for (auto &ci : rig.channels)
        if (ci->cls == loader)
            hasLoader.insert(ci->device.get());
    for (auto &d : rig.devices)
        if (!hasLoader.count(d.get())) {
            auto ci = std::make_shared<ChannelInfo>();
            ci->cls = loader;
            ci->name = "Firmware Upgrade";
            ci->device = d;
            ci->loaderOnly = true;
            rig.channels.push_back(std::move(ci));
        }
    channels.reserve(rig.channels.size() + linked.size());
    for (auto &ci : rig.channels) {
        auto c = std::make_shared<Channel>();
        c->info = ci;
        c->reset();
        channels.push_back(std::move(c));
    }
    channels.insert(channels.end(), linked.begin(), linked.end());
    logLine(TINDREL_LOG_INFO, "rig loaded: %zu servers, %zu devices, %zu channels", rig.servers.size(),
            rig.devices.size(), rig.channels.size());
    refresh();
    watchDictionaries();
    return TINDREL_OK;
}

bool Engine::devicePresent(const DeviceInfo *d) const
{
    for (; d; d = d->parent.get()) {
        auto it = devOn.find(d);
        if (it == devOn.end() || !it->second)
            return false;
        if (d->deviceClass == TINDREL_DEVCLASS_XLNK && d->parent && portsOff.count({d->parent.get(), d->hubPort}))
            return false;
        if (d->server) {
            auto s = servers.find(d->server.get());
            if (s == servers.end() || !s->second.on)
                return false;
        }
    }
    return true;
}

int Engine::versionOf(const DeviceInfo &d) const
{
    auto it = installedVersion.find(&d);
    return it == installedVersion.end() ? d.version : it->second;
}

const DeviceInfo *Engine::restartOff(const DeviceInfo *d)
{
    loaderMode[d] = false;
    auto swap = pendingSwap.find(d);
    if (swap == pendingSwap.end())
        return d;
    const DeviceInfo *next = swap->second.get();
    pendingSwap.erase(swap);
    devOn[d] = false;
    loaderMode[next] = false;
    return next;
}

bool Engine::loaderBusy(const DeviceInfo *d) const
{
    if (transferring.count(d))
        return true;
    for (auto &c : channels)
        if (c->info->device.get() == d && c->info->cls->cls == TINDREL_CHCLASS_FIRMWAREUPGRADE && c->holder)
            return true;
    return false;
}

bool Engine::visible(const Channel &c) const
{
    if (c.remote && !c.remote->offered)
        return false;
    const DeviceInfo *d = c.info->device.get();
    if (!devicePresent(d))
        return false;
    // A device in its firmware loader shows only its firmware-upgrade channel.
    auto lm = loaderMode.find(d);
    bool inLoader = lm != loaderMode.end() && lm->second;
    bool isLoaderChannel = c.info->cls->cls == TINDREL_CHCLASS_FIRMWAREUPGRADE;
    if (inLoader ? !isLoaderChannel : c.info->loaderOnly)
        return false;
    if (const ServerInfo *s = d->server.get()) {
        if (!discovery.count(TINDRELSERVER_DEVICE) && !discovery.count(TINDRELSERVER_DEVICEREMOTE))
            return false;
        if (!s->password.empty()) {
            auto p = passwords.find(s->name);
            if (p == passwords.end() || p->second != s->password)
                return false;
        }
    }
    return true;
}

void Engine::refresh()
{
    for (auto &cp : channels) {
        Channel &c = *cp;
        bool v = visible(c);
        if (v == c.present)
            continue;
        c.present = v;
        const DeviceInfo &d = *c.info->device;
        if (v) {
            logLine(TINDREL_LOG_INFO, "attach: %s channel %d (%s) of %s (serial %d%s%s)", c.info->cls->name,
                    c.info->index, c.info->name.c_str(), d.name.c_str(), d.serial, d.server ? ", server " : "",
                    d.server ? d.server->name.c_str() : "");
        } else {
            logLine(TINDREL_LOG_INFO, "detach: %s channel %d (%s) of %s (serial %d)", c.info->cls->name, c.info->index,
                    c.info->name.c_str(), d.name.c_str(), d.serial);
            if (c.holder)
                detachHolder(c, true);
        }
        for (auto *mg : managers)
            if (mg->open)
                queueManagerEvent(mg, cp, v);
    }
    for (auto *h : openHandles)
        if (!h->ch)
            tryAttach(h);
    updateAnnouncements();
}

ChannelPtr Engine::findChannel(const std::string &deviceId, int cls, int index, std::string &err) const
{
    auto d = devById.find(deviceId);
    if (d == devById.end()) {
        err = strprintf("No device \"%s\" in the rig", deviceId.c_str());
        return nullptr;
    }
    for (auto &c : channels)
        if (c->info->device == d->second && c->info->cls->cls == cls && c->info->index == index)
            return c;
    err = strprintf("Device \"%s\" has no channel of class %d with index %d", deviceId.c_str(), cls, index);
    return nullptr;
}

// ---------------------------------------------------------------- matching

bool Engine::matches(const _Tindrel *h, const Channel &c) const
{
    const ChannelInfo &ci = *c.info;
    const DeviceInfo &d = *ci.device;
    if (h->cls != ci.cls)
        return false;
    if (h->serial != TINDREL_SERIALNUMBER_ANY && h->serial != d.serial)
        return false;
    int port = d.deviceClass == TINDREL_DEVCLASS_XLNK ? d.hubPort : 0;
    if (h->hubPort != TINDREL_HUBPORT_ANY && h->hubPort != port)
        return false;
    if (h->channel != TINDREL_CHANNEL_ANY && h->channel != ci.index)
        return false;
    if (h->hubPortDevice != d.hubPortDevice)
        return false;
    if (h->where == Where::Local && d.server)
        return false;
    if (h->where == Where::Remote && !d.server)
        return false;
    if (h->hasServerName && (!d.server || d.server->name != h->serverName))
        return false;
    if (h->hasLabel && d.label != h->label)
        return false;
    return true;
}

void Engine::tryAttach(_Tindrel *h)
{
    for (auto &c : channels) {
        if (!c->present || (c->holder && !c->shared()) || !matches(h, *c))
            continue;
        if (c->remote) {
            // The server opens it first; the handle attaches when it says so.
            RemoteEnd &r = *c->remote;
            if (r.reservedFor == h)
                return;
            if (r.reservedFor || c->holder)
                continue;
            if (auto link = r.link.lock()) {
                r.reservedFor = h;
                link->requestOpen(r.key);
                return;
            }
            continue;
        }
        attach(h, c);
        return;
    }
}

void Engine::handleClosed(_Tindrel *h, const ChannelPtr &had)
{
    // A remote channel it held, or was waiting for, goes back to its server.
    for (auto &c : channels) {
        if (!c->remote || (c != had && c->remote->reservedFor != h))
            continue;
        c->remote->reservedFor = nullptr;
        if (auto link = c->remote->link.lock())
            link->requestClose(c->remote->key);
    }
    if (had && had->present)
        for (auto *o : openHandles)
            if (!o->ch && matches(o, *had)) {
                tryAttach(o);
                if (o->ch || (had->remote && had->remote->reservedFor == o))
                    break;
            }
}

void Engine::attach(_Tindrel *h, const ChannelPtr &c)
{
    h->ch = c;
    // A further client of a shared channel joins the session under way.
    const bool joining = c->holder != nullptr;
    if (joining)
        c->clients.push_back(h);
    else
        c->holder = h;
    if (h->ident && h->ident != c->info)
        h->pastIdents.push_back(h->ident);
    h->ident = c->info;
    h->deliverValues = false;
    if (!joining) {
        // A remote channel keeps the values its server sent.
        if (!c->remote)
            c->reset();
        else
            c->remote->reservedFor = nullptr;
        c->tickGen++;
    }
    logLine(TINDREL_LOG_INFO, "open handle attached: %s channel %d of %s (serial %d)", c->info->cls->name,
            c->info->index, c->info->device->name.c_str(), c->info->device->serial);
    uint64_t ep = epochOf(h->gate);
    uint64_t gen = c->tickGen;
    retainHandle(h);
    channelEvents.post([this, h, c, ep, gen] {
        invokeHandler(h->gate, h->handlers, SLOT_ATTACH, ep, [&](const TindrelHandler &hd) {
            if (h->sink)
                h->sink->deliver(h, SLOT_ATTACH, {});
            else
                reinterpret_cast<Tindrel_OnAttachCallback>(hd.fn)(h, hd.ctx);
        });
        {
            std::lock_guard<std::mutex> lk(m);
            // Only the latest attachment starts value events (a quick detach
            // and re-attach queues two of these).
            if (h->ch == c && c->tickGen == gen && epochOf(h->gate) == ep) {
                h->deliverValues = true;
                if (c->holder == h)
                    schedule(c);
            }
        }
        releaseHandle(h);
    });
    attachCv.notify_all();
}

void Engine::detachHolder(Channel &c, bool notify)
{
    for (_Tindrel *h : c.openHandles())
        detachHandle(c, h, notify);
}

void Engine::detachHandle(Channel &c, _Tindrel *h, bool notify)
{
    if (h == c.holder) {
        c.holder = nullptr;
        // The session goes on with the next client, if any.
        if (!c.clients.empty()) {
            c.holder = c.clients.front();
            c.clients.erase(c.clients.begin());
        } else {
            c.tickGen++;
        }
    } else {
        c.clients.erase(std::remove(c.clients.begin(), c.clients.end(), h), c.clients.end());
    }
    h->ch.reset();
    h->deliverValues = false;
    if (notify)
        queueChannelEvent(h, SLOT_DETACH, {});
}

void Engine::queueChannelEvent(_Tindrel *h, int slot, EventArgs args)
{
    uint64_t ep = epochOf(h->gate);
    retainHandle(h);
    channelEvents.post([h, slot, ep, args = std::move(args)] {
        invokeHandler(h->gate, h->handlers, static_cast<size_t>(slot), ep, [&](const TindrelHandler &hd) {
            if (h->sink)
                h->sink->deliver(h, slot, args);
            else if (slot == SLOT_DETACH)
                reinterpret_cast<Tindrel_OnDetachCallback>(hd.fn)(h, hd.ctx);
            else if (slot == SLOT_ERROR)
                reinterpret_cast<Tindrel_OnErrorCallback>(hd.fn)(h, hd.ctx, args.i[0], args.s[0].c_str());
            else
                h->cls->events[static_cast<size_t>(slot - SLOT_FIRST_EVENT)].invoke(hd.fn, h, hd.ctx, args);
        });
        releaseHandle(h);
    });
}

void Engine::queueManagerEvent(_TindrelManager *mg, const ChannelPtr &c, bool isAttach)
{
    uint64_t ep = epochOf(mg->gate);
    retainManager(mg);
    std::shared_ptr<const ChannelInfo> info = c->info;
    managerEvents.post([mg, ep, info, isAttach] {
        // The handle is the library's; the callback borrows it and may retain it.
        auto *h = new _Tindrel;
        h->cls = info->cls;
        h->borrowed = true;
        h->ident = info;
        invokeHandler(mg->gate, mg->handlers, isAttach ? 0 : 1, ep, [&](const TindrelHandler &hd) {
            if (const int delay = managerCallbackDelayMs.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            if (isAttach)
                reinterpret_cast<TindrelManager_OnAttachCallback>(hd.fn)(mg, hd.ctx, h);
            else
                reinterpret_cast<TindrelManager_OnDetachCallback>(hd.fn)(mg, hd.ctx, h);
        });
        releaseHandle(h);
        releaseManager(mg);
    });
}

// ---------------------------------------------------------------- generator

void Engine::schedule(const ChannelPtr &c)
{
    if (c->remote)
        return;   // its server makes its values
    ticks_.push({Clock::now(), c, c->tickGen});
    genCv_.notify_one();
}

void Engine::after(std::chrono::milliseconds delay, std::function<void()> fn)
{
    timers_.emplace(Clock::now() + delay, std::move(fn));
    genCv_.notify_one();
}

double waveValue(const Channel &c, const PropDesc &p, int axis, double t)
{
    thread_local std::mt19937 rng{std::random_device{}()};
    thread_local std::normal_distribution<double> gauss{0.0, 1.0};
    const Behaviour &b = c.info->behaviour;
    double phase = b.period > 0 ? t / b.period + axis * 0.25 : 0;
    double v = b.offset;
    switch (b.wave) {
    case Wave::Constant:
        break;
    case Wave::Sine:
        v += b.amplitude * std::sin(2 * M_PI * phase);
        break;
    case Wave::Square:
        v += b.amplitude * (std::sin(2 * M_PI * phase) >= 0 ? 1 : -1);
        break;
    case Wave::Ramp:
        v += b.amplitude * (2 * (phase - std::floor(phase)) - 1);
        break;
    case Wave::Noise:
        v += b.amplitude * gauss(rng);
        break;
    }
    if (b.noise > 0)
        v += b.noise * gauss(rng);
    size_t s = static_cast<size_t>(p.slot + axis);
    if (c.mins[s] <= c.maxs[s])
        v = std::clamp(v, c.mins[s], c.maxs[s]);
    if (p.integral)
        v = std::round(v);
    return v;
}

void postOneShot(TindrelHandle ch, std::function<void()> fn)
{
    auto *h = reinterpret_cast<_Tindrel *>(ch);
    uint64_t ep = epochOf(h->gate);
    retainHandle(h);
    engine().channelEvents.post([h, ep, fn = std::move(fn)] {
        {
            std::lock_guard<std::mutex> lk(h->gate.m);
            if (ep != h->gate.epoch) {
                h->gate.cv.notify_all();
                releaseHandle(h);
                return;
            }
            h->gate.running.push_back(std::this_thread::get_id());
        }
        fn();
        {
            std::lock_guard<std::mutex> lk(h->gate.m);
            auto it = std::find(h->gate.running.begin(), h->gate.running.end(), std::this_thread::get_id());
            if (it != h->gate.running.end())
                h->gate.running.erase(it);
        }
        h->gate.cv.notify_all();
        releaseHandle(h);
    });
}

void Engine::tick(Channel &c, std::vector<Pending> &out)
{
    const ClassDesc &cls = *c.info->cls;
    double t = sessionTime(c);
    Raised extra;
    double dt = t - c.lastTick;
    c.lastTick = t;
    // Measured values follow the rig's waveform unless driven from outside:
    // every read-only property an event reports, and every axis property.
    if (c.info->behaviour.set) {
        for (size_t pi = 0; pi < cls.props.size(); ++pi) {
            const PropDesc &p = cls.props[pi];
            if (p.writable() || p.init == TINDREL_UNKNOWN_VALUE)
                continue;
            bool reported = p.kind == PropKind::ROV;
            for (const EventDesc &e : cls.events)
                reported |= e.source == static_cast<int>(pi);
            if (!reported)
                continue;
            for (int a = 0; a < p.width; ++a)
                if (!c.overridden[static_cast<size_t>(p.slot + a)])
                    c.values[static_cast<size_t>(p.slot + a)] = waveValue(c, p, a, t);
        }
    }
    if (cls.hooks && cls.hooks->step)
        cls.hooks->step(c, dt, t, extra);
    _Tindrel *h = c.holder;
    uint64_t ep = epochOf(h->gate);
    for (size_t i = 0; i < cls.events.size(); ++i) {
        const EventDesc &e = cls.events[i];
        if (e.source < 0 || !c.supports(e.source))
            continue;
        const PropDesc &p = cls.props[static_cast<size_t>(e.source)];
        const double *v = &c.values[static_cast<size_t>(p.slot)];
        if (v[0] == TINDREL_UNKNOWN_VALUE)
            continue;
        double *last = &c.lastSent[static_cast<size_t>(p.slot)];
        bool fire = e.mode == TriggerMode::Always || std::isnan(last[0]);
        if (!fire) {
            double delta = 0;
            for (int a = 0; a < p.width; ++a)
                delta = std::max(delta, std::fabs(v[a] - last[a]));
            if (e.mode == TriggerMode::OnChange) {
                fire = delta != 0;
            } else {
                double trig = c.values[static_cast<size_t>(cls.props[static_cast<size_t>(e.trigger)].slot)];
                fire = trig <= 0 || delta >= trig;
            }
        }
        if (!fire)
            continue;
        std::copy(v, v + p.width, last);
        Pending pd{h, ep, SLOT_FIRST_EVENT + static_cast<int>(i), e.invoke, {}};
        // Several-valued events report consecutive properties (axes, levels).
        size_t avail = c.values.size() - static_cast<size_t>(p.slot);
        std::copy(v, v + std::min<size_t>(16, avail), pd.args.d);
        pd.args.ts = t * 1000.0;
        if (cls.hooks && cls.hooks->unit)
            cls.hooks->unit(c, pd.args.unit);
        pd.args.i[0] = static_cast<int>(std::lround(v[0]));
        retainHandle(h);
        out.push_back(std::move(pd));
    }
    for (auto &[ev, args] : extra) {
        retainHandle(h);
        if (ev == ClassHooks::kErrorEvent)
            out.push_back({h, ep, SLOT_ERROR, nullptr, std::move(args)});
        else
            out.push_back({h, ep, SLOT_FIRST_EVENT + ev, cls.events[static_cast<size_t>(ev)].invoke, std::move(args)});
    }
}

void Engine::generatorLoop()
{
    std::vector<Pending> batch;
    std::unique_lock<std::mutex> lk(m);
    for (;;) {
        auto now = Clock::now();
        auto next = Clock::time_point::max();
        if (!ticks_.empty())
            next = ticks_.top().due;
        if (!timers_.empty())
            next = std::min(next, timers_.begin()->first);
        if (next > now) {
            if (next == Clock::time_point::max())
                genCv_.wait(lk);
            else
                genCv_.wait_until(lk, next);
            continue;
        }
        while (!timers_.empty() && timers_.begin()->first <= now) {
            auto fn = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
            fn();
        }
        while (!ticks_.empty() && ticks_.top().due <= now) {
            Tick t = ticks_.top();
            ticks_.pop();
            Channel &c = *t.ch;
            if (t.gen != c.tickGen || !c.holder || !c.holder->deliverValues)
                continue;
            tick(c, batch);
            const ClassDesc &cls = *c.info->cls;
            double ms = cls.dataInterval >= 0
                            ? c.values[static_cast<size_t>(cls.props[static_cast<size_t>(cls.dataInterval)].slot)]
                            : 50.0;
            auto interval = std::chrono::microseconds(static_cast<int64_t>(std::max(ms, 1.0) * 1000));
            t.due += interval;
            if (t.due < now - std::chrono::milliseconds(100))
                t.due = now + interval;   // fell far behind: resynchronise rather than burst
            ticks_.push(std::move(t));
        }
        if (batch.empty())
            continue;
        lk.unlock();
        for (Pending &p : batch) {
            invokeHandler(
                p.h->gate, p.h->handlers, static_cast<size_t>(p.slot), p.epoch, [&](const TindrelHandler &hd) {
                    if (p.h->sink)
                        p.h->sink->deliver(p.h, p.slot, p.args);
                    else if (p.inv)
                        p.inv(hd.fn, p.h, hd.ctx, p.args);
                    else
                        reinterpret_cast<Tindrel_OnErrorCallback>(hd.fn)(p.h, hd.ctx, p.args.i[0], p.args.s[0].c_str());
                });
            releaseHandle(p.h);
        }
        batch.clear();
        lk.lock();
    }
}

}   // namespace tsim
