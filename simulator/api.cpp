// The generic calls: handles, matching settings, open and close, identity,
// properties, handlers and the manager.
#include <cmath>
#include <cstring>

#include "engine.h"
#include "remote/link.h"

using namespace tsim;

namespace {

_Tindrel *H(TindrelHandle h) { return reinterpret_cast<_Tindrel *>(h); }

TindrelReturnCode nullHandle(const char *call) { return fail(TINDREL_EFAULT, "Handle is NULL (%s)", call); }

#define CHECK_HANDLE(h)                                                                                                \
    do {                                                                                                               \
        if (!(h))                                                                                                      \
            return nullHandle(__func__);                                                                               \
    } while (0)
#define CHECK_OUT(p)                                                                                                   \
    do {                                                                                                               \
        if (!(p))                                                                                                      \
            return fail(TINDREL_EFAULT, "Result pointer is NULL (%s)", __func__);                                      \
    } while (0)

// The identity a getter reports: the attached channel of an open handle, the
// channel a manager event is about, or (for device handles) the device.
const DeviceInfo *deviceOf(_Tindrel *h)
{
    if (h->kind == HandleKind::Device)
        return h->dev.get();
    if (h->borrowed || h->ch)
        return h->ident ? h->ident->device.get() : nullptr;
    return nullptr;
}

const ChannelInfo *channelOf(_Tindrel *h)
{
    if (h->kind == HandleKind::Channel && (h->borrowed || h->ch))
        return h->ident.get();
    return nullptr;
}

TindrelReturnCode notAttached(_Tindrel *h, const char *what)
{
    if (h->kind == HandleKind::Device)
        return fail(TINDREL_EUNSUPPORTED, "%s is not a property of a device handle", what);
    return fail(TINDREL_ENOTATTACHED, "%s: the %s handle is not attached to a channel", what,
                h->cls ? h->cls->name : "channel");
}

// Reads one identity field under the engine lock.
template <class Get>
TindrelReturnCode deviceField(TindrelHandle ch, const char *what, Get get)
{
    CHECK_HANDLE(ch);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    const DeviceInfo *d = deviceOf(H(ch));
    if (!d)
        return notAttached(H(ch), what);
    return get(*d);
}

template <class Get>
TindrelReturnCode stringField(TindrelHandle ch, const char **out, const char *what, Get get)
{
    CHECK_OUT(out);
    *out = "";
    return deviceField(ch, what, [&](const DeviceInfo &d) -> TindrelReturnCode {
        *out = get(d);
        return TINDREL_OK;
    });
}

TindrelReturnCode notRemote(const char *what)
{
    return fail(TINDREL_EUNSUPPORTED, "%s: the channel is local, not on a network server", what);
}

template <class Get>
TindrelReturnCode serverField(TindrelHandle ch, const char *what, Get get)
{
    return deviceField(ch, what, [&](const DeviceInfo &d) -> TindrelReturnCode {
        if (!d.server)
            return notRemote(what);
        return get(*d.server);
    });
}

// Makes (or reuses) the device handle for d, kept in slot of owner.
_Tindrel *deviceHandle(_Tindrel *owner, _Tindrel *&slot, const std::shared_ptr<const DeviceInfo> &d)
{
    if (!d)
        return nullptr;
    if (slot && slot->dev == d)
        return slot;
    if (slot)
        owner->oldRelatives.push_back(slot);
    slot = new _Tindrel;
    slot->kind = HandleKind::Device;
    slot->dev = d;
    return slot;
}

std::shared_ptr<const DeviceInfo> deviceShared(_Tindrel *h)
{
    if (h->kind == HandleKind::Device)
        return h->dev;
    if ((h->borrowed || h->ch) && h->ident)
        return h->ident->device;
    return nullptr;
}

}   // namespace

namespace tsim {

TindrelReturnCode createHandle(Tindrel_ChannelClass cls, TindrelHandle *out)
{
    CHECK_OUT(out);
    const ClassDesc *cd = classByNumber(cls);
    if (!cd) {
        *out = nullptr;
        return fail(TINDREL_EINVALIDARG, "Channel class %d is not known", static_cast<int>(cls));
    }
    auto *h = new _Tindrel;
    h->cls = cd;
    h->handlers.resize(SLOT_FIRST_EVENT + cd->events.size());
    *out = reinterpret_cast<TindrelHandle>(h);
    return TINDREL_OK;
}

static TindrelReturnCode checkChannel(_Tindrel *h, const ClassDesc *cls, const char *what)
{
    if (h->kind != HandleKind::Channel || h->borrowed)
        return fail(TINDREL_EBADCLASS, "%s %s needs an open %s handle", cls->name, what, cls->name);
    if (h->cls != cls)
        return fail(TINDREL_EBADCLASS, "%s %s called with a %s handle", cls->name, what, h->cls->name);
    if (!h->ch)
        return fail(TINDREL_ENOTATTACHED, "%s %s: the channel is not attached", cls->name, what);
    return TINDREL_OK;
}

static TindrelReturnCode checkSupported(const Channel &c, int prop)
{
    if (c.supports(prop))
        return TINDREL_OK;
    const ClassDesc &cls = *c.info->cls;
    return fail(TINDREL_EUNSUPPORTED, "Not supported on this device (%s %s on device %d)", cls.name,
                cls.props[static_cast<size_t>(prop)].name, c.info->device->deviceId);
}

TindrelReturnCode readProp(TindrelHandle ch, const ClassDesc *cls, int prop, Which which, double *out)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    const PropDesc &p = cls->props[static_cast<size_t>(prop)];
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    if (TindrelReturnCode rc = checkChannel(h, cls, p.name))
        return rc;
    Channel &c = *h->ch;
    if (TindrelReturnCode rc = checkSupported(c, prop))
        return rc;
    if (TindrelReturnCode rc = e.maybeFailCall(c, true))
        return rc;
    const std::vector<double> &src = which == Which::Value ? c.values : which == Which::Min ? c.mins : c.maxs;
    const double *v = &src[static_cast<size_t>(p.slot)];
    if (v[0] == TINDREL_UNKNOWN_VALUE || std::isnan(v[0]))
        return fail(TINDREL_EUNKNOWNVAL, "%s %s%s is not known yet", cls->name,
                    which == Which::Min   ? "minimum "
                    : which == Which::Max ? "maximum "
                                          : "",
                    p.name);
    std::copy(v, v + p.width, out);
    return TINDREL_OK;
}

TindrelReturnCode writeProp(TindrelHandle ch, const ClassDesc *cls, int prop, double value)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    const PropDesc &p = cls->props[static_cast<size_t>(prop)];
    Engine &e = engine();
    std::unique_lock<std::mutex> lk(e.m);
    if (TindrelReturnCode rc = checkChannel(h, cls, p.name))
        return rc;
    Channel &c = *h->ch;
    if (TindrelReturnCode rc = checkSupported(c, prop))
        return rc;
    if (TindrelReturnCode rc = e.maybeFailCall(c, false))
        return rc;
    if (!std::isfinite(value))
        return fail(TINDREL_EINVALIDARG, "Value %g is not a number for %s", value, p.name);
    double lo = c.mins[static_cast<size_t>(p.slot)], hi = c.maxs[static_cast<size_t>(p.slot)];
    if (lo <= hi && (value < lo || value > hi))
        return fail(TINDREL_EINVALIDARG, "Value %g is out of range for %s (%g - %g)", value, p.name, lo, hi);
    if (c.remote) {
        // The server decides; nothing of the engine is held meanwhile.
        std::shared_ptr<remote::LinkEnd> link = c.remote->link.lock();
        const uint32_t key = c.remote->key;
        lk.unlock();
        if (!link)
            return fail(TINDREL_ECLOSED, "The channel's network server is gone");
        return link->set(key, prop, value);
    }
    if (p.integral)
        value = std::round(value);
    if (cls->hooks && cls->hooks->beforeSet)
        if (TindrelReturnCode rc = cls->hooks->beforeSet(c, prop, value))
            return rc;
    c.values[static_cast<size_t>(p.slot)] = value;
    if (cls->hooks && cls->hooks->afterSet)
        cls->hooks->afterSet(c, prop);
    logLine(TINDREL_LOG_DEBUG, "%s %s := %g", cls->name, p.name, value);
    if (prop == cls->dataInterval && h->deliverValues) {
        h->ch->tickGen++;   // the old schedule ends; the new interval takes effect at once
        e.schedule(h->ch);
    }
    return TINDREL_OK;
}

TindrelReturnCode setEventHandler(TindrelHandle ch, const ClassDesc *cls, int event, void (*fn)(), void *ctx)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel || h->cls != cls)
        return fail(TINDREL_EBADCLASS, "%s handler set on a %s handle", cls->events[static_cast<size_t>(event)].name,
                    h->cls ? h->cls->name : "device");
    std::unique_lock<std::mutex> lk(h->gate.m);
    h->handlers[static_cast<size_t>(SLOT_FIRST_EVENT + event)] = {fn, ctx};
    if (!fn)
        h->gate.waitIdle(lk);
    return TINDREL_OK;
}

TindrelReturnCode withChannel(TindrelHandle ch, const ClassDesc *cls,
                              const std::function<TindrelReturnCode(Channel &, Raised &)> &fn, CallKind kind)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    if (TindrelReturnCode rc = checkChannel(h, cls, "call"))
        return rc;
    if (h->ch->remote && kind != CallKind::ReadValues)
        return fail(TINDREL_EUNSUPPORTED, "%s: this call does not reach channels on network servers (server \"%s\")",
                    cls->name, h->ch->info->device->server ? h->ch->info->device->server->name.c_str() : "?");
    if (kind != CallKind::Control)
        if (TindrelReturnCode rc = e.maybeFailCall(*h->ch, kind != CallKind::Change))
            return rc;
    Raised raised;
    TindrelReturnCode rc = fn(*h->ch, raised);
    // Every handle on the channel hears of it (more than this one only where
    // clients share the channel).
    for (_Tindrel *to : h->ch->openHandles())
        for (const auto &[ev, args] : raised)
            e.queueChannelEvent(to, SLOT_FIRST_EVENT + ev, args);
    return rc;
}

}   // namespace tsim

static TindrelReturnCode setCommonHandler(TindrelHandle ch, int slot, void (*fn)(), void *ctx)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel)
        return fail(TINDREL_EBADCLASS, "Handlers can only be set on channel handles");
    std::unique_lock<std::mutex> lk(h->gate.m);
    h->handlers[static_cast<size_t>(slot)] = {fn, ctx};
    if (!fn)
        h->gate.waitIdle(lk);
    return TINDREL_OK;
}

// Matching settings may change only while the handle is closed.
template <class Set>
static TindrelReturnCode setMatch(TindrelHandle ch, const char *what, Set set)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel || h->borrowed)
        return fail(TINDREL_EUNSUPPORTED, "%s can only be set on a channel handle made by create", what);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    if (h->open)
        return fail(TINDREL_EBUSY, "%s cannot change while the channel is open", what);
    return set(*h);
}

static TindrelReturnCode closeHandle(_Tindrel *h)
{
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> lk(e.m);
        if (!h->open)
            return TINDREL_OK;
        h->open = false;
        e.openHandles.erase(std::remove(e.openHandles.begin(), e.openHandles.end(), h), e.openHandles.end());
        {
            std::lock_guard<std::mutex> glk(h->gate.m);
            ++h->gate.epoch;
        }
        logLine(TINDREL_LOG_INFO, "close: %s handle", h->cls->name);
        ChannelPtr c = h->ch;
        if (c)
            e.detachHandle(*c, h, false);
        e.handleClosed(h, c);
    }
    std::unique_lock<std::mutex> glk(h->gate.m);
    h->gate.waitIdle(glk);
    return TINDREL_OK;
}

extern "C" {

TindrelReturnCode Tindrel_getLibraryVersion(const char **version)
{
    CHECK_OUT(version);
    *version = "Tindrel22 - Version 1.22.0 (simulated devices)";
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_retain(TindrelHandle ch)
{
    CHECK_HANDLE(ch);
    retainHandle(H(ch));
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_release(TindrelHandle *ch)
{
    CHECK_OUT(ch);
    CHECK_HANDLE(*ch);
    releaseHandle(H(*ch));
    *ch = nullptr;
    return TINDREL_OK;
}

TindrelReturnCode createTypedTindrelChannelHandle(TindrelHandle *ch, Tindrel_ChannelClass chclass)
{
    return createHandle(chclass, ch);
}

TindrelReturnCode Tindrel_delete(TindrelHandle *ch)
{
    CHECK_OUT(ch);
    if (!*ch)
        return TINDREL_OK;
    _Tindrel *h = H(*ch);
    if (h->kind != HandleKind::Channel || h->borrowed)
        return fail(TINDREL_EUNSUPPORTED, "Only handles made by create can be deleted; use Tindrel_release");
    closeHandle(h);
    {
        // No callback of this handle may start any more.
        std::unique_lock<std::mutex> glk(h->gate.m);
        for (auto &hd : h->handlers)
            hd = {};
        ++h->gate.epoch;
        h->gate.waitIdle(glk);
    }
    releaseHandle(h);
    *ch = nullptr;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_setDeviceSerialNumber(TindrelHandle ch, int32_t serialNumber)
{
    return setMatch(ch, "Serial number", [&](_Tindrel &h) -> TindrelReturnCode {
        if (serialNumber < -1)
            return fail(TINDREL_EINVALIDARG, "Serial number %d is invalid (-1 for any, or 0 and above)", serialNumber);
        h.serial = serialNumber;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setHubPort(TindrelHandle ch, int hubPort)
{
    return setMatch(ch, "Hub port", [&](_Tindrel &h) -> TindrelReturnCode {
        if (hubPort < -1 || hubPort > 15)
            return fail(TINDREL_EINVALIDARG, "Hub port %d is out of range (-1 for any, 0 - 15)", hubPort);
        h.hubPort = hubPort;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setIsHubPortDevice(TindrelHandle ch, int isHubPortDevice)
{
    return setMatch(ch, "Hub port device flag", [&](_Tindrel &h) -> TindrelReturnCode {
        h.hubPortDevice = isHubPortDevice != 0;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setChannel(TindrelHandle ch, int channel)
{
    return setMatch(ch, "Channel index", [&](_Tindrel &h) -> TindrelReturnCode {
        if (channel < -1)
            return fail(TINDREL_EINVALIDARG, "Channel index %d is invalid (-1 for any, or 0 and above)", channel);
        h.channel = channel;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setIsRemote(TindrelHandle ch, int isRemote)
{
    return setMatch(ch, "Remote flag", [&](_Tindrel &h) -> TindrelReturnCode {
        if (isRemote)
            h.where = Where::Remote;
        else if (h.where == Where::Remote)
            h.where = Where::Any;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setIsLocal(TindrelHandle ch, int isLocal)
{
    return setMatch(ch, "Local flag", [&](_Tindrel &h) -> TindrelReturnCode {
        if (isLocal)
            h.where = Where::Local;
        else if (h.where == Where::Local)
            h.where = Where::Any;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setServerName(TindrelHandle ch, const char *serverName)
{
    return setMatch(ch, "Server name", [&](_Tindrel &h) -> TindrelReturnCode {
        h.hasServerName = serverName != nullptr;
        h.serverName = serverName ? serverName : "";
        if (serverName)
            h.where = Where::Remote;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_setDeviceLabel(TindrelHandle ch, const char *label)
{
    return setMatch(ch, "Device label", [&](_Tindrel &h) -> TindrelReturnCode {
        if (label && std::strlen(label) > 16)
            return fail(TINDREL_EINVALIDARG, "Device label \"%s\" is longer than 16 bytes", label);
        h.hasLabel = label != nullptr;
        h.label = label ? label : "";
        return TINDREL_OK;
    });
}

// Getters of matching settings report the attached channel's value when
// attached, otherwise the setting.
extern "C++" template <class T, class FromDevice, class FromSetting>
TindrelReturnCode matchField(TindrelHandle ch, T *out, FromDevice fromDevice, FromSetting fromSetting)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(out);
    std::lock_guard<std::mutex> lk(engine().m);
    const DeviceInfo *d = deviceOf(H(ch));
    *out = d ? fromDevice(*d) : fromSetting(*H(ch));
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getDeviceSerialNumber(TindrelHandle ch, int32_t *serialNumber)
{
    return matchField(
        ch, serialNumber, [](const DeviceInfo &d) { return d.serial; }, [](const _Tindrel &h) { return h.serial; });
}

TindrelReturnCode Tindrel_getHubPort(TindrelHandle ch, int *hubPort)
{
    return matchField(
        ch, hubPort, [](const DeviceInfo &d) { return d.deviceClass == TINDREL_DEVCLASS_XLNK ? d.hubPort : 0; },
        [](const _Tindrel &h) { return h.hubPort; });
}

TindrelReturnCode Tindrel_getIsHubPortDevice(TindrelHandle ch, int *isHubPortDevice)
{
    return matchField(
        ch, isHubPortDevice, [](const DeviceInfo &d) { return int(d.hubPortDevice); },
        [](const _Tindrel &h) { return int(h.hubPortDevice); });
}

TindrelReturnCode Tindrel_getChannel(TindrelHandle ch, int *channel)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(channel);
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    if (h->kind == HandleKind::Device)
        return notAttached(h, "Channel index");
    const ChannelInfo *c = channelOf(h);
    *channel = c ? c->index : h->channel;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getIsRemote(TindrelHandle ch, int *isRemote)
{
    return matchField(
        ch, isRemote, [](const DeviceInfo &d) { return int(d.server != nullptr); },
        [](const _Tindrel &h) { return int(h.where == Where::Remote); });
}

TindrelReturnCode Tindrel_getIsLocal(TindrelHandle ch, int *isLocal)
{
    return matchField(
        ch, isLocal, [](const DeviceInfo &d) { return int(d.server == nullptr); },
        [](const _Tindrel &h) { return int(h.where == Where::Local); });
}

TindrelReturnCode Tindrel_getServerName(TindrelHandle ch, const char **serverName)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(serverName);
    *serverName = "";
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    if (const DeviceInfo *d = deviceOf(h)) {
        if (!d->server)
            return notRemote("Server name");
        *serverName = d->server->name.c_str();
        return TINDREL_OK;
    }
    *serverName = h->hasServerName ? h->serverName.c_str() : nullptr;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getDeviceLabel(TindrelHandle ch, const char **label)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(label);
    *label = "";
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    if (const DeviceInfo *d = deviceOf(h)) {
        *label = d->label.c_str();
        return TINDREL_OK;
    }
    *label = h->hasLabel ? h->label.c_str() : nullptr;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_open(TindrelHandle ch)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel || h->borrowed)
        return fail(TINDREL_EUNSUPPORTED, "Only channel handles made by create can be opened");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    if (h->open)
        return TINDREL_OK;
    h->open = true;
    {
        std::lock_guard<std::mutex> glk(h->gate.m);
        ++h->gate.epoch;
    }
    e.openHandles.push_back(h);
    logLine(TINDREL_LOG_INFO, "open: %s handle (serial %d, hub port %d, channel %d%s%s%s)", h->cls->name, h->serial,
            h->hubPort, h->channel, h->hubPortDevice ? ", hub port device" : "",
            h->where == Where::Remote  ? ", remote"
            : h->where == Where::Local ? ", local"
                                       : "",
            h->hasLabel ? (", label " + h->label).c_str() : "");
    e.tryAttach(h);
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_openWaitForAttachment(TindrelHandle ch, uint32_t timeoutMs)
{
    if (TindrelReturnCode rc = Tindrel_open(ch))
        return rc;
    _Tindrel *h = H(ch);
    Engine &e = engine();
    TindrelReturnCode code = TINDREL_OK;
    std::string detail;
    // A named server that refuses this client ends the wait at once.
    const auto refused = [&] { return h->hasServerName && e.netLinks().refusal(h->serverName, code, detail); };
    {
        std::unique_lock<std::mutex> lk(e.m);
        if (e.attachCv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                [&] { return h->ch || !h->open || refused(); }) &&
            h->ch)
            return TINDREL_OK;
    }
    closeHandle(h);
    if (refused())
        return fail(code, "%s", detail.c_str());
    return fail(TINDREL_ETIMEDOUT, "No matching %s channel attached within %u ms", h->cls->name, timeoutMs);
}

TindrelReturnCode Tindrel_close(TindrelHandle ch)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel || h->borrowed)
        return fail(TINDREL_EUNSUPPORTED, "Only channel handles made by create can be closed");
    return closeHandle(h);
}

TindrelReturnCode Tindrel_getAttached(TindrelHandle ch, int *attached)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(attached);
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    *attached = h->kind == HandleKind::Device || h->borrowed || h->ch != nullptr;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_setOnAttachHandler(TindrelHandle ch, Tindrel_OnAttachCallback fptr, void *ctx)
{
    return setCommonHandler(ch, SLOT_ATTACH, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode Tindrel_setOnDetachHandler(TindrelHandle ch, Tindrel_OnDetachCallback fptr, void *ctx)
{
    return setCommonHandler(ch, SLOT_DETACH, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode Tindrel_setOnErrorHandler(TindrelHandle ch, Tindrel_OnErrorCallback fptr, void *ctx)
{
    return setCommonHandler(ch, SLOT_ERROR, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode Tindrel_getDeviceID(TindrelHandle ch, int32_t *deviceID)
{
    CHECK_OUT(deviceID);
    return deviceField(ch, "Device ID", [&](const DeviceInfo &d) -> TindrelReturnCode {
        *deviceID = d.deviceId;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getDeviceClass(TindrelHandle ch, int32_t *deviceClass)
{
    CHECK_OUT(deviceClass);
    return deviceField(ch, "Device class", [&](const DeviceInfo &d) -> TindrelReturnCode {
        *deviceClass = d.deviceClass;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getDeviceClassName(TindrelHandle ch, const char **name)
{
    return stringField(ch, name, "Device class name", [](const DeviceInfo &d) { return d.className.c_str(); });
}

TindrelReturnCode Tindrel_getDeviceName(TindrelHandle ch, const char **name)
{
    return stringField(ch, name, "Device name", [](const DeviceInfo &d) { return d.name.c_str(); });
}

TindrelReturnCode Tindrel_getDeviceSKU(TindrelHandle ch, const char **sku)
{
    return stringField(ch, sku, "Device SKU", [](const DeviceInfo &d) { return d.sku.c_str(); });
}

TindrelReturnCode Tindrel_getDeviceFirmwareUpgradeString(TindrelHandle ch, const char **fwString)
{
    return stringField(ch, fwString, "Firmware upgrade string", [](const DeviceInfo &d) { return d.fwString.c_str(); });
}

TindrelReturnCode Tindrel_getDeviceVersion(TindrelHandle ch, int *version)
{
    CHECK_OUT(version);
    return deviceField(ch, "Device version", [&](const DeviceInfo &d) -> TindrelReturnCode {
        *version = engine().versionOf(d);
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getDeviceXLNKID(TindrelHandle ch, uint32_t *xlnkId)
{
    CHECK_OUT(xlnkId);
    return deviceField(ch, "Device XLNK ID", [&](const DeviceInfo &d) -> TindrelReturnCode {
        if (d.deviceClass != TINDREL_DEVCLASS_XLNK)
            return fail(TINDREL_EUNSUPPORTED, "Device XLNK ID: %s is not a hub port device", d.name.c_str());
        *xlnkId = d.xlnkId;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getChannelClass(TindrelHandle ch, Tindrel_ChannelClass *channelClass)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(channelClass);
    _Tindrel *h = H(ch);
    if (h->kind == HandleKind::Device)
        return notAttached(h, "Channel class");
    *channelClass = h->cls->cls;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getChannelClassName(TindrelHandle ch, const char **name)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(name);
    _Tindrel *h = H(ch);
    if (h->kind == HandleKind::Device) {
        *name = "";
        return notAttached(h, "Channel class name");
    }
    *name = h->cls->libraryName;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getChannelName(TindrelHandle ch, const char **name)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(name);
    *name = "";
    std::lock_guard<std::mutex> lk(engine().m);
    const ChannelInfo *c = channelOf(H(ch));
    if (!c)
        return notAttached(H(ch), "Channel name");
    *name = c->name.c_str();
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getChannelSubclass(TindrelHandle ch, int32_t *subclass)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(subclass);
    std::lock_guard<std::mutex> lk(engine().m);
    const ChannelInfo *c = channelOf(H(ch));
    if (!c)
        return notAttached(H(ch), "Channel subclass");
    *subclass = c->subclass;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getServerUniqueName(TindrelHandle ch, const char **name)
{
    CHECK_OUT(name);
    *name = "";
    return serverField(ch, "Server unique name", [&](const ServerInfo &s) -> TindrelReturnCode {
        *name = s.uniqueName.c_str();
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getServerPeerName(TindrelHandle ch, const char **name)
{
    CHECK_OUT(name);
    *name = "";
    return serverField(ch, "Server peer name", [&](const ServerInfo &s) -> TindrelReturnCode {
        *name = s.peerName.c_str();
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getServerHostname(TindrelHandle ch, const char **hostname)
{
    CHECK_OUT(hostname);
    *hostname = "";
    return serverField(ch, "Server host name", [&](const ServerInfo &s) -> TindrelReturnCode {
        *hostname = s.host.c_str();
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getServerVersion(TindrelHandle ch, int *major, int *minor)
{
    CHECK_OUT(major);
    CHECK_OUT(minor);
    return serverField(ch, "Server version", [&](const ServerInfo &s) -> TindrelReturnCode {
        *major = s.verMajor;
        *minor = s.verMinor;
        return TINDREL_OK;
    });
}

TindrelReturnCode Tindrel_getParent(TindrelHandle ch, TindrelHandle *parent)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(parent);
    *parent = nullptr;
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    auto d = deviceShared(h);
    if (!d)
        return notAttached(h, "Parent");
    std::shared_ptr<const DeviceInfo> target = h->kind == HandleKind::Device ? d->parent : d;
    *parent = reinterpret_cast<TindrelHandle>(deviceHandle(h, h->parentHandle, target));
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getHub(TindrelHandle ch, TindrelHandle *hub)
{
    CHECK_HANDLE(ch);
    CHECK_OUT(hub);
    *hub = nullptr;
    std::lock_guard<std::mutex> lk(engine().m);
    _Tindrel *h = H(ch);
    auto d = deviceShared(h);
    if (!d)
        return notAttached(h, "Hub");
    std::shared_ptr<const DeviceInfo> p = d->parent;
    while (p && p->deviceClass != TINDREL_DEVCLASS_HUB)
        p = p->parent;
    *hub = reinterpret_cast<TindrelHandle>(deviceHandle(h, h->hubHandle, p));
    return TINDREL_OK;
}

// ---------------------------------------------------------------- manager

namespace {

std::atomic<int> failingManagerCreates{0};
std::atomic<int> failingManagerOpens{0};

bool takeManagerFailure(std::atomic<int> &count)
{
    int n = count.load();
    while (n > 0)
        if (count.compare_exchange_weak(n, n - 1))
            return true;
    return false;
}

}   // namespace

extern "C" TindrelReturnCode TindrelSim_failManagerCalls(int createCount, int openCount)
{
    failingManagerCreates = createCount > 0 ? createCount : 0;
    failingManagerOpens = openCount > 0 ? openCount : 0;
    return TINDREL_OK;
}

TindrelReturnCode TindrelManager_create(TindrelManagerHandle *manager)
{
    CHECK_OUT(manager);
    if (takeManagerFailure(failingManagerCreates))
        return fail(TINDREL_EUNEXPECTED, "The manager could not be created: the USB subsystem is not available");
    *manager = new _TindrelManager;
    return TINDREL_OK;
}

TindrelReturnCode TindrelManager_delete(TindrelManagerHandle *manager)
{
    CHECK_OUT(manager);
    if (!*manager)
        return TINDREL_OK;
    TindrelManager_close(*manager);
    releaseManager(*manager);   // a callback still running keeps it alive until it returns
    *manager = nullptr;
    return TINDREL_OK;
}

static TindrelReturnCode setManagerHandler(TindrelManagerHandle mg, int slot, void (*fn)(), void *ctx)
{
    if (!mg)
        return nullHandle("TindrelManager_setOn...Handler");
    std::unique_lock<std::mutex> lk(mg->gate.m);
    mg->handlers[static_cast<size_t>(slot)] = {fn, ctx};
    return TINDREL_OK;
}

TindrelReturnCode TindrelManager_setOnAttachHandler(TindrelManagerHandle manager, TindrelManager_OnAttachCallback fptr,
                                                    void *ctx)
{
    return setManagerHandler(manager, 0, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode TindrelManager_setOnDetachHandler(TindrelManagerHandle manager, TindrelManager_OnDetachCallback fptr,
                                                    void *ctx)
{
    return setManagerHandler(manager, 1, reinterpret_cast<void (*)()>(fptr), ctx);
}

TindrelReturnCode TindrelManager_open(TindrelManagerHandle manager)
{
    if (!manager)
        return nullHandle(__func__);
    if (takeManagerFailure(failingManagerOpens))
        return fail(TINDREL_EUNEXPECTED, "The manager could not be opened: the USB subsystem is not available");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    if (manager->open)
        return TINDREL_OK;
    manager->open = true;
    {
        std::lock_guard<std::mutex> glk(manager->gate.m);
        ++manager->gate.epoch;
    }
    e.managers.push_back(manager);
    retainManager(manager);
    logLine(TINDREL_LOG_INFO, "manager opened");
    for (auto &c : e.channels)
        if (c->present)
            e.queueManagerEvent(manager, c, true);
    return TINDREL_OK;
}

TindrelReturnCode TindrelManager_close(TindrelManagerHandle manager)
{
    if (!manager)
        return nullHandle(__func__);
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> lk(e.m);
        if (!manager->open)
            return TINDREL_OK;
        manager->open = false;
        e.managers.erase(std::remove(e.managers.begin(), e.managers.end(), manager), e.managers.end());
        logLine(TINDREL_LOG_INFO, "manager closed");
    }
    {
        std::lock_guard<std::mutex> glk(manager->gate.m);
        ++manager->gate.epoch;   // queued events are dropped; none starts after this
    }
    releaseManager(manager);
    return TINDREL_OK;
}

}   // extern "C"

// ---------------------------------------------------------------- device control

namespace {

constexpr auto kRebootTime = std::chrono::milliseconds(300);

// The device of an attached channel handle, for device control calls.
TindrelReturnCode attachedDevice(TindrelHandle ch, const char *what, std::shared_ptr<const DeviceInfo> &dev)
{
    CHECK_HANDLE(ch);
    _Tindrel *h = H(ch);
    if (h->kind != HandleKind::Channel || h->borrowed || !h->ch)
        return fail(TINDREL_ENOTATTACHED, "%s needs an attached channel handle", what);
    dev = h->ch->info->device;
    return TINDREL_OK;
}

// A loader left alone returns to the device's own firmware after its
// timeout; one that is open or writing an image waits until it is done.
void armLoaderTimeout(Engine &e, const std::shared_ptr<const DeviceInfo> &dev, uint64_t gen,
                      std::chrono::milliseconds timeout)
{
    e.after(timeout, [&e, dev, gen, timeout] {
        auto it = e.rebootGen.find(dev.get());
        if (it == e.rebootGen.end() || it->second != gen || !e.devOn.count(dev.get()))
            return;   // another reboot, or a new rig, came first
        if (e.loaderBusy(dev.get())) {
            armLoaderTimeout(e, dev, gen, timeout);
            return;
        }
        e.loaderMode[dev.get()] = false;
        e.refresh();
    });
}

// Leaves the device away (or in its loader) and brings it back after delay.
// A device whose upgrade makes it another comes back as that one.
void restartDevice(Engine &e, const std::shared_ptr<const DeviceInfo> &dev, bool intoLoader,
                   std::chrono::milliseconds back)
{
    uint64_t gen = ++e.rebootGen[dev.get()];
    if (intoLoader) {
        e.loaderMode[dev.get()] = true;
        e.refresh();
        armLoaderTimeout(e, dev, gen, back);
        return;
    }
    const DeviceInfo *next = e.restartOff(dev.get());
    e.devOn[dev.get()] = false;
    e.refresh();
    e.after(back, [&e, dev, next, gen] {
        auto it = e.rebootGen.find(dev.get());
        if (it == e.rebootGen.end() || it->second != gen || !e.devOn.count(next))
            return;   // another reboot, or a new rig, came first
        e.devOn[next] = true;
        e.loaderMode[next] = false;
        e.refresh();
    });
}

}   // namespace

extern "C" {

TindrelReturnCode Tindrel_reboot(TindrelHandle ch)
{
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    std::shared_ptr<const DeviceInfo> dev;
    if (TindrelReturnCode rc = attachedDevice(ch, "Tindrel_reboot", dev))
        return rc;
    logLine(TINDREL_LOG_INFO, "reboot: %s (serial %d)", dev->name.c_str(), dev->serial);
    restartDevice(e, dev, false, kRebootTime);
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_rebootFirmwareUpgrade(TindrelHandle ch, uint32_t upgradeTimeoutMs)
{
    if (upgradeTimeoutMs < 100 || upgradeTimeoutMs > 60000)
        return fail(TINDREL_EINVALIDARG, "Value %u is out of range for the upgrade timeout (100 - 60000 ms)",
                    upgradeTimeoutMs);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    std::shared_ptr<const DeviceInfo> dev;
    if (TindrelReturnCode rc = attachedDevice(ch, "Tindrel_rebootFirmwareUpgrade", dev))
        return rc;
    logLine(TINDREL_LOG_INFO, "reboot into firmware upgrade mode: %s (serial %d)", dev->name.c_str(), dev->serial);
    // The loader waits for an image until the timeout, then restarts the device.
    restartDevice(e, dev, true, std::chrono::milliseconds(upgradeTimeoutMs));
    return TINDREL_OK;
}

TindrelReturnCode TindrelHub_setPortPower(TindrelHubHandle hub, int port, int state)
{
    TindrelHandle ch = reinterpret_cast<TindrelHandle>(hub);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    std::shared_ptr<const DeviceInfo> dev;
    if (TindrelReturnCode rc = attachedDevice(ch, "TindrelHub_setPortPower", dev))
        return rc;
    if (H(ch)->cls->cls != TINDREL_CHCLASS_HUB)
        return fail(TINDREL_EBADCLASS, "TindrelHub_setPortPower called with a %s handle", H(ch)->cls->name);
    int ports = 0;
    for (auto &d : e.rig.devices)
        if (d->parent == dev)
            ports = std::max(ports, d->hubPort + 1);
    ports = std::max(ports, 6);
    if (port < 0 || port >= ports)
        return fail(TINDREL_EINVALIDARG, "Hub port %d is out of range (0 - %d)", port, ports - 1);
    if (state) {
        e.portsOff.erase({dev.get(), port});
    } else if (e.portsOff.insert({dev.get(), port}).second) {
        // The devices on the port lose power: each restarts when it comes back.
        for (auto &d : e.rig.devices)
            if (d->parent == dev && d->hubPort == port && d->deviceClass == TINDREL_DEVCLASS_XLNK && e.devOn[d.get()]) {
                ++e.rebootGen[d.get()];
                if (const DeviceInfo *next = e.restartOff(d.get()); next != d.get())
                    e.devOn[next] = true;
            }
    }
    logLine(TINDREL_LOG_INFO, "hub %d port %d power %s", dev->serial, port, state ? "on" : "off");
    e.refresh();
    return TINDREL_OK;
}

}   // extern "C"
