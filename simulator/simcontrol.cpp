// The test-control calls: load rigs, plug and unplug, inject errors, drive inputs.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "behaviour/common.h"
#include "behaviour/motor_shaft.h"
#include "engine.h"

using namespace tsim;

namespace {

void copyErr(char *err, size_t errLen, const std::string &msg)
{
    if (err && errLen > 0) {
        std::snprintf(err, errLen, "%s", msg.c_str());
    }
}

TindrelReturnCode loadText(const std::string &text, const std::string &source, char *err, size_t errLen)
{
    Rig r;
    std::string msg;
    if (!parseRig(text, source, r, msg)) {
        copyErr(err, errLen, msg);
        return fail(TINDREL_EINVALIDARG, "%s", msg.c_str());
    }
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    return e.install(std::move(r));
}

// Plugs or unplugs a device by rig id.
TindrelReturnCode plug(const char *deviceId, bool on)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    auto d = e.devById.find(deviceId);
    if (d == e.devById.end())
        return fail(TINDREL_ENOENT, "No device \"%s\" in the rig", deviceId);
    e.devOn[d->second.get()] = on;
    e.loaderMode[d->second.get()] = false;
    e.refresh();
    return TINDREL_OK;
}

TindrelReturnCode serverOn(const char *serverId, bool on)
{
    if (!serverId)
        return fail(TINDREL_EFAULT, "Server id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    auto s = e.serverById.find(serverId);
    if (s == e.serverById.end())
        return fail(TINDREL_ENOENT, "No computer \"%s\" in the rig", serverId);
    e.servers[s->second.get()].on = on;
    e.refresh();
    return TINDREL_OK;
}

}   // namespace

extern "C" {

TindrelReturnCode TindrelSim_loadRigFile(const char *path, char *err, size_t errLen)
{
    if (!path)
        return fail(TINDREL_EFAULT, "Rig path is NULL");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::string msg = strprintf("%s: cannot read the file: %s", path, std::strerror(errno));
        copyErr(err, errLen, msg);
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return loadText(ss.str(), path, err, errLen);
}

TindrelReturnCode TindrelSim_loadRigText(const char *text, const char *sourceName, char *err, size_t errLen)
{
    if (!text)
        return fail(TINDREL_EFAULT, "Rig text is NULL");
    return loadText(text, sourceName ? sourceName : "rig", err, errLen);
}

TindrelReturnCode TindrelSim_loadDefaultRig(void) { return loadText(defaultRigText(), "default rig", nullptr, 0); }

const char *TindrelSim_defaultRigText(void) { return defaultRigText(); }

TindrelReturnCode TindrelSim_clear(void) { return loadText("{}", "empty rig", nullptr, 0); }

TindrelReturnCode TindrelSim_attachDevice(const char *deviceId) { return plug(deviceId, true); }

TindrelReturnCode TindrelSim_delayManagerCallbacks(int delayMs)
{
    managerCallbackDelayMs = delayMs > 0 ? delayMs : 0;
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_detachDevice(const char *deviceId) { return plug(deviceId, false); }

TindrelReturnCode TindrelSim_failCalls(double share, uint32_t seed)
{
    if (!(share >= 0 && share <= 1))
        return fail(TINDREL_EINVALIDARG, "Share of failing calls %g is out of range (0 - 1)", share);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.failShare = share;
    e.failRng.seed(seed);
    e.failedReads.clear();
    e.failedChanges.clear();
    return TINDREL_OK;
}

uint64_t TindrelSim_failedCalls(Tindrel_ChannelClass channelClass, TindrelSimCallKind kind)
{
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    auto sum = [channelClass](const std::map<int, uint64_t> &counts) {
        uint64_t n = 0;
        for (const auto &[cls, count] : counts)
            if (channelClass == TINDREL_CHCLASS_NOTHING || cls == static_cast<int>(channelClass))
                n += count;
        return n;
    };
    uint64_t n = 0;
    if (kind != TINDRELSIM_CALLS_CHANGES)
        n += sum(e.failedReads);
    if (kind != TINDRELSIM_CALLS_READS)
        n += sum(e.failedChanges);
    return n;
}

TindrelReturnCode TindrelSim_addServer(const char *serverId) { return serverOn(serverId, true); }

TindrelReturnCode TindrelSim_removeServer(const char *serverId) { return serverOn(serverId, false); }

TindrelReturnCode TindrelSim_setUpgradeFault(const char *deviceId, TindrelSimUpgradeFault fault, int count)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    if (fault < TINDRELSIM_UPGRADE_OK || fault > TINDRELSIM_UPGRADE_UNPLUG)
        return fail(TINDREL_EINVALIDARG, "Unknown upgrade fault %d", static_cast<int>(fault));
    if (count < 0)
        return fail(TINDREL_EINVALIDARG, "A count of %d transfers is not valid", count);
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    auto d = e.devById.find(deviceId);
    if (d == e.devById.end())
        return fail(TINDREL_ENOENT, "No device \"%s\" in the rig", deviceId);
    if (fault == TINDRELSIM_UPGRADE_OK || count == 0)
        e.upgradeFaults.erase(d->second.get());
    else
        e.upgradeFaults[d->second.get()] = {fault, count};
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_injectError(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                         int32_t code, const char *description)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    std::string msg;
    ChannelPtr c = e.findChannel(deviceId, channelClass, channelIndex, msg);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    logLine(TINDREL_LOG_WARNING, "error event 0x%04x on %s channel %d of %s: %s", static_cast<unsigned>(code),
            c->info->cls->name, channelIndex, deviceId, description ? description : "");
    if (!c->holder)
        return fail(TINDREL_ENOTATTACHED, "No open handle holds that channel");
    EventArgs a;
    a.i[0] = code;
    a.s[0] = description ? description : "";
    e.queueChannelEvent(c->holder, SLOT_ERROR, std::move(a));
    return TINDREL_OK;
}

static TindrelReturnCode findProp(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                  const char *property, ChannelPtr &c, const PropDesc *&p)
{
    if (!deviceId || !property)
        return fail(TINDREL_EFAULT, "Device id and property must not be NULL");
    Engine &e = engine();
    e.ensureRig();
    std::string msg;
    c = e.findChannel(deviceId, channelClass, channelIndex, msg);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    int idx = c->info->cls->prop(property);
    if (idx < 0)
        return fail(TINDREL_EINVALIDARG, "%s has no property \"%s\"", c->info->cls->name, property);
    p = &c->info->cls->props[static_cast<size_t>(idx)];
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_setInputValue(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                           const char *property, double value)
{
    std::lock_guard<std::mutex> lk(engine().m);
    ChannelPtr c;
    const PropDesc *p = nullptr;
    if (TindrelReturnCode rc = findProp(deviceId, channelClass, channelIndex, property, c, p))
        return rc;
    for (int a = 0; a < p->width; ++a) {
        size_t s = static_cast<size_t>(p->slot + a);
        c->values[s] = p->integral ? std::round(value) : value;
        c->overridden[s] = true;
    }
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_turnShaft(const char *deviceId, int channelIndex, double countsPerSecond)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    if (!std::isfinite(countsPerSecond))
        return fail(TINDREL_EINVALIDARG, "Shaft speed must be a finite number of counts per second");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    std::string msg;
    ChannelPtr c = e.findChannel(deviceId, TINDREL_CHCLASS_ENCODER, channelIndex, msg);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    for (const auto &other : e.channels)
        if (other->info->device == c->info->device && other->info->index == channelIndex &&
            drivesShaft(other->info->cls->cls))
            return fail(TINDREL_EINVALIDSTATE,
                        "Encoder %d of \"%s\" counts its motor's shaft: drive the motor, or set its load or hold",
                        channelIndex, deviceId);
    behaviour::driveShaft(*c, countsPerSecond);
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_setGuardSupply(const char *deviceId, int channelIndex, double volts, double celsius)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    std::string msg;
    ChannelPtr c = e.findChannel(deviceId, TINDREL_CHCLASS_POWERGUARD, channelIndex, msg);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    return behaviour::driveGuardSupply(*c, volts, celsius);
}

TindrelReturnCode TindrelSim_getPropertyValue(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                              const char *property, double *value)
{
    if (!value)
        return fail(TINDREL_EFAULT, "Value pointer is NULL");
    std::lock_guard<std::mutex> lk(engine().m);
    ChannelPtr c;
    const PropDesc *p = nullptr;
    if (TindrelReturnCode rc = findProp(deviceId, channelClass, channelIndex, property, c, p))
        return rc;
    *value = c->values[static_cast<size_t>(p->slot)];
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_setLastError(TindrelReturnCode code, const char *detail)
{
    return fail(code, "%s", detail ? detail : "");
}

TindrelReturnCode TindrelSim_list(char *buf, size_t *len)
{
    if (!len)
        return fail(TINDREL_EFAULT, "Length pointer is NULL");
    Engine &e = engine();
    nlohmann::json out;
    {
        std::lock_guard<std::mutex> lk(e.m);
        e.ensureRig();
        out["computers"] = nlohmann::json::array();
        for (auto &s : e.rig.servers)
            out["computers"].push_back({{"id", s->id},
                                        {"name", s->name},
                                        {"host", s->host},
                                        {"type", static_cast<int>(s->type)},
                                        {"present", e.servers[s.get()].on}});
        out["devices"] = nlohmann::json::array();
        for (auto &d : e.rig.devices) {
            nlohmann::json chans = nlohmann::json::array();
            for (auto &c : e.channels)
                if (c->info->device == d)
                    chans.push_back({{"class", c->info->cls->name},
                                     {"index", c->info->index},
                                     {"name", c->info->name},
                                     {"attached", c->present},
                                     {"open", c->holder != nullptr}});
            nlohmann::json dj = {{"id", d->id},
                                 {"name", d->name},
                                 {"serial", d->serial},
                                 {"deviceId", d->deviceId},
                                 {"class", d->deviceClass},
                                 {"attached", e.devicePresent(d.get())},
                                 {"channels", chans}};
            if (d->parent) {
                dj["parent"] = d->parent->id;
                dj["hubPort"] = d->hubPort;
                dj["hubPortDevice"] = d->hubPortDevice;
            }
            if (d->server)
                dj["server"] = d->server->id;
            out["devices"].push_back(std::move(dj));
        }
    }
    std::string text = out.dump(1);
    size_t need = text.size() + 1;
    if (!buf || *len < need) {
        *len = need;
        return buf ? fail(TINDREL_ENOSPC, "The list needs %zu bytes", need) : TINDREL_OK;
    }
    std::memcpy(buf, text.c_str(), need);
    *len = need;
    return TINDREL_OK;
}

}   // extern "C"

TindrelReturnCode TindrelSim_watchDictionaryDirectory(const char *directory)
{
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    if (directory)
        e.dictionaryDirOverride = std::string(directory);
    else
        e.dictionaryDirOverride.reset();
    // Dictionaries of files outside the new directory go at the next look.
    if (e.dictionaryDirectory().empty())
        e.offerDictionaries({});
    e.watchDictionaries();
    return TINDREL_OK;
}
