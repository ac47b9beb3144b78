// Internal model of the simulated device library: rig records, channels,
// handles, managers and the engine that ties them together.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tindrel22.h"
#include "tindrelsim.h"

namespace tsim {

// ---------------------------------------------------------------- errors

// Records code and detail as the calling thread's last error, logs it and
// returns the code, so failures read `return fail(CODE, "...", ...)`.
TindrelReturnCode fail(TindrelReturnCode code, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
TindrelReturnCode ok();
std::string strprintf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vstrprintf(const char *fmt, va_list ap);

// Library log (TindrelLog_enable). Cheap when disabled.
void logLine(Tindrel_LogLevel level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------- class table

enum class PropKind { RO, RW, RWR, ROR, ROV };

struct PropDesc {
    const char *name;
    PropKind kind;
    int width;   // number of doubles (1, or axes for ROV)
    double lo, hi, init;
    bool integral;   // stored values are rounded
    int slot;        // first index into Channel::values
    bool ranged() const { return kind == PropKind::RWR || kind == PropKind::ROR || kind == PropKind::ROV; }
    bool writable() const { return kind == PropKind::RW || kind == PropKind::RWR; }
};

// Argument shapes of value events. Each has an invoker that calls the
// application's function with the right C signature.
struct EventArgs {
    double d[16] = {};
    double ts = 0;   // timestamp, ms since the session started
    int i[4] = {};
    uint64_t u64 = 0;
    std::string s[2];
    std::vector<uint32_t> raw;
    Tindrel_UnitInfo unit{};
    Tindrel_IRCodeInfo ir{};
};
using Invoker = void (*)(void (*fn)(), TindrelHandle h, void *ctx, const EventArgs &a);

enum class TriggerMode { OnChange, Always, Property };

struct EventDesc {
    const char *name;
    Invoker invoke;
    int source = -1;   // property index reported, -1 none
    TriggerMode mode = TriggerMode::OnChange;
    int trigger = -1;   // property index of the change trigger
    int slot = 0;       // handler slot in the handle (after the 3 common ones)
};

struct Channel;
struct ClassHooks;

struct ClassDesc {
    const char *name;          // short name used in rigs and messages ("DigitalOutput")
    const char *libraryName;   // the library's class name ("TindrelDigitalOutput")
    Tindrel_ChannelClass cls;
    std::vector<PropDesc> props;
    std::vector<EventDesc> events;
    int width = 0;           // total value slots
    int dataInterval = -1;   // property index of DataInterval, or -1
    const ClassHooks *hooks = nullptr;
    int prop(const char *n) const;
    int event(const char *n) const;
};

const ClassDesc *classByNumber(int cls);
const ClassDesc *classByName(const std::string &name);
std::vector<const ClassDesc *> allClasses();

// ---------------------------------------------------------------- rig records

struct ServerInfo {
    std::string id, name, uniqueName, peerName, host, addr, stype, password;
    int port = 5661;
    TindrelServerType type = TINDRELSERVER_DEVICE;
    int verMajor = 2, verMinor = 3;
    std::vector<std::pair<std::string, std::string>> announce;
    // What its host name resolves to on the local network, and how long the
    // answer takes; no addresses: the host does not answer.
    std::vector<std::string> resolvesTo;
    int resolveMs = 0;
    bool presentAtLoad = true;
};

struct DeviceInfo {
    std::string id, sku, name, label, fwString, className;
    int deviceId = 0, deviceClass = 0, version = 0, serial = 0, hubPort = 0;
    uint32_t xlnkId = 0;
    bool hubPortDevice = false, presentAtLoad = true;
    std::shared_ptr<const DeviceInfo> parent;   // hub or parent device
    // The device that comes back in this one's place after a successful
    // upgrade (a loader or a device in restore mode comes back as its product).
    std::shared_ptr<const DeviceInfo> afterUpgrade;
    bool identifies = true;                     // its firmware loader learns the device's identity
    std::shared_ptr<const ServerInfo> server;   // null: local
    const DeviceInfo *hub() const;              // nearest hub (class 8) above
};

enum class Wave { Constant, Sine, Square, Ramp, Noise };
struct Behaviour {
    Wave wave = Wave::Constant;
    double amplitude = 0, offset = 0, period = 10, noise = 0;
    bool set = false;   // given in the rig
};

struct ChannelInfo {
    const ClassDesc *cls = nullptr;
    int subclass = 1, index = 0;
    std::string name;
    std::shared_ptr<const DeviceInfo> device;
    Behaviour behaviour;
    std::map<int, double> initial;                     // property index -> value
    std::map<int, std::pair<double, double>> ranges;   // property index -> limits
    std::set<int> unsupported;
    bool loaderOnly = false;       // the firmware loader channel every device has, shown only in loader mode
    bool hearsOwnSignal = false;   // an infrared receiver that also receives its own transmitter
    std::map<std::string, std::string> entries;   // a dictionary's keys and values when it first opens
};

struct Rig {
    std::vector<std::shared_ptr<const ServerInfo>> servers;
    std::vector<std::shared_ptr<const DeviceInfo>> devices;
    std::vector<std::shared_ptr<const ChannelInfo>> channels;
    // The local network server's dictionary files: each enabled one offers
    // a dictionary (empty: none).
    std::string dictionaryDirectory;
};

// Parses rig text. On failure returns false and err holds "source:line:col: problem".
bool parseRig(const std::string &text, const std::string &source, Rig &rig, std::string &err);
const char *defaultRigText();

// ---------------------------------------------------------------- runtime

// Extra runtime state a class keeps beyond its property values.
struct ClassState {
    virtual ~ClassState() = default;
};

// The client side of a channel a network server offers (remote/link.cpp).
struct RemoteEnd;

struct Channel {
    std::shared_ptr<const ChannelInfo> info;
    // Set for a channel of a network server reached over a socket: its
    // values mirror the server's, and changes go to the server.
    std::shared_ptr<RemoteEnd> remote;
    std::vector<double> values, mins, maxs;
    std::vector<double> lastSent;          // per slot: last value an event reported
    double lastTick = 0;                   // session time of the last generator step
    std::vector<bool> overridden;          // per slot: driven from outside
    bool present = false;                  // visible to managers and matching
    struct ::_Tindrel *holder = nullptr;   // the open handle that holds it
    // Further open handles on a channel that several clients share (a
    // server's dictionary); each hears of every change, as the holder does.
    std::vector<struct ::_Tindrel *> clients;
    uint64_t tickGen = 0;   // invalidates scheduled ticks
    std::chrono::steady_clock::time_point sessionStart;
    std::unique_ptr<ClassState> state;   // per session
    std::shared_ptr<ClassState> kept;    // survives sessions (dictionary contents)
    void reset();                        // values back to rig/table start
    bool supports(int prop) const { return !info->unsupported.count(prop); }
    bool shared() const;                                    // open in several handles at once
    std::vector<struct ::_Tindrel *> openHandles() const;   // the holder, then the clients
};
using ChannelPtr = std::shared_ptr<Channel>;

// Hooks with which a class adds behaviour to the generic table-driven code.
struct ClassHooks {
    // Adjusts a channel's record after the rig is read (for example marks
    // properties a subclass lacks as unsupported).
    void (*prepare)(ChannelInfo &c) = nullptr;
    // Before a set of property p to v that passed the range check (engine
    // lock held). Returns 0 or a failure code (with fail()).
    TindrelReturnCode (*beforeSet)(Channel &c, int p, double v) = nullptr;
    // After property p was stored; may change other values.
    void (*afterSet)(Channel &c, int p) = nullptr;
    // One simulation step of dt seconds at session time t (engine lock held).
    void (*step)(Channel &c, double dt, double t, std::vector<std::pair<int, EventArgs>> &extra) = nullptr;
    // Makes ClassState for a new session.
    std::unique_ptr<ClassState> (*makeState)(const Channel &c) = nullptr;
    // The unit of a sensor value, reported with sensor events.
    void (*unit)(const Channel &c, Tindrel_UnitInfo &u) = nullptr;
    // Event slot for errors raised by step (pushed with this index).
    static constexpr int kErrorEvent = -1;
};

}   // namespace tsim

// A callback registration: function and context.
struct TindrelHandler {
    void (*fn)() = nullptr;
    void *ctx = nullptr;
};

// Guards callbacks: which threads are running one now, and an epoch that
// invalidates queued events when the handle closes or re-opens.
struct CallbackGate {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::thread::id> running;
    uint64_t epoch = 0;
    // Waits until no other thread runs a callback of this gate (lock held).
    void waitIdle(std::unique_lock<std::mutex> &lk);
};

enum { SLOT_ATTACH = 0, SLOT_DETACH = 1, SLOT_ERROR = 2, SLOT_FIRST_EVENT = 3 };

// Takes a handle's events in place of the application's callbacks: the
// network server's handles pass them on to their client. Called where the
// callback would be (engine lock not held), under the handle's gate.
struct EventSink {
    virtual ~EventSink() = default;
    virtual void deliver(struct ::_Tindrel *h, int slot, const tsim::EventArgs &args) = 0;
};

enum class HandleKind { Channel, Device };
enum class Where { Any, Local, Remote };

struct _Tindrel {
    std::atomic<int> refs{1};
    HandleKind kind = HandleKind::Channel;
    const tsim::ClassDesc *cls = nullptr;
    // matching settings
    int serial = -1, hubPort = -1, channel = -1;
    bool hubPortDevice = false;
    Where where = Where::Any;
    bool hasServerName = false, hasLabel = false;
    std::string serverName, label;
    // state (engine lock)
    bool open = false;
    bool borrowed = false;                                              // made for a manager callback
    tsim::ChannelPtr ch;                                                // attached channel
    bool deliverValues = false;                                         // attach callback done: value events flow
    std::shared_ptr<const tsim::ChannelInfo> ident;                     // identity of the last attached channel
    std::vector<std::shared_ptr<const tsim::ChannelInfo>> pastIdents;   // keeps returned strings valid
    std::shared_ptr<const tsim::DeviceInfo> dev;                        // device handles
    _Tindrel *parentHandle = nullptr;                                   // lazily made, owned reference
    _Tindrel *hubHandle = nullptr;
    std::vector<_Tindrel *> oldRelatives;   // replaced parent/hub handles, released with this one
    // callbacks
    CallbackGate gate;
    std::vector<TindrelHandler> handlers;   // SLOT_* then class events
    EventSink *sink = nullptr;              // set: every event goes there instead
};

struct _TindrelManager {
    std::atomic<int> refs{1};
    CallbackGate gate;
    std::vector<TindrelHandler> handlers = std::vector<TindrelHandler>(2);   // attach, detach
    bool open = false;
};

namespace tsim {

void retainHandle(_Tindrel *h);
void releaseHandle(_Tindrel *h);
void retainManager(_TindrelManager *m);
void releaseManager(_TindrelManager *m);

// Runs queued work in order on one library thread.
class Dispatcher {
public:
    Dispatcher();
    ~Dispatcher();
    void post(std::function<void()> fn);
    bool onThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::function<void()>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

// Calls call(handler) for handlers[slot] if it is still set and the event's
// epoch is current, marking the call in flight meanwhile so that removal and
// close can wait for it. Returns whether it ran.
template <class Call>
bool invokeHandler(CallbackGate &gate, const std::vector<TindrelHandler> &handlers, size_t slot, uint64_t epoch,
                   Call &&call)
{
    TindrelHandler h;
    {
        std::lock_guard<std::mutex> lk(gate.m);
        if (epoch != gate.epoch || slot >= handlers.size() || !handlers[slot].fn)
            return false;
        h = handlers[slot];
        gate.running.push_back(std::this_thread::get_id());
    }
    call(h);
    {
        std::lock_guard<std::mutex> lk(gate.m);
        for (auto it = gate.running.begin(); it != gate.running.end(); ++it)
            if (*it == std::this_thread::get_id()) {
                gate.running.erase(it);
                break;
            }
    }
    gate.cv.notify_all();
    return true;
}

class Engine;
// The engine of this process. Made on first use; lives until the process ends.
Engine &engine();

}   // namespace tsim

namespace tsim {

enum class Which { Value, Min, Max };

// Generic operations behind the generated per-class calls (engine.cpp).
TindrelReturnCode createHandle(Tindrel_ChannelClass cls, TindrelHandle *out);
TindrelReturnCode readProp(TindrelHandle h, const ClassDesc *cls, int prop, Which which, double *out);
TindrelReturnCode writeProp(TindrelHandle h, const ClassDesc *cls, int prop, double value);
TindrelReturnCode setEventHandler(TindrelHandle h, const ClassDesc *cls, int event, void (*fn)(), void *ctx);
// Runs fn on the attached channel of h under the engine lock. Events fn
// adds to `events` go to h's handlers afterwards, in order.
// kind tells injected failures of reads from those of changes; test
// control calls are never failed on purpose.
using Raised = std::vector<std::pair<int, EventArgs>>;
// ReadValues: a read that needs nothing but the property values.
enum class CallKind { Change, Read, ReadValues, Control };
TindrelReturnCode withChannel(TindrelHandle h, const ClassDesc *cls,
                              const std::function<TindrelReturnCode(Channel &, Raised &)> &fn,
                              CallKind kind = CallKind::Change);
// Seconds since the channel's session started.
double sessionTime(const Channel &c);
// The rig waveform's value for axis of property p at session time t.
double waveValue(const Channel &c, const PropDesc &p, int axis, double t);
// Behaviour helpers used by the hand-written calls (behaviour.cpp).
TindrelReturnCode stepperFailsafe(Channel &c, bool enable, uint32_t ms);
TindrelReturnCode addPositionOffset(Channel &c, double offset);
void sensorUnit(const Channel &c, Tindrel_UnitInfo &u);
// Hooks of the classes whose behaviour lives with their calls (methods.cpp).
const ClassHooks *methodHooksFor(Tindrel_ChannelClass cls);
// Runs fn once on a library thread unless h closes first (then never).
void postOneShot(TindrelHandle h, std::function<void()> fn);
// Value of property p (by index) of a channel, and its slot's limits.
inline double &value(Channel &c, int p)
{
    return c.values[static_cast<size_t>(c.info->cls->props[static_cast<size_t>(p)].slot)];
}

}   // namespace tsim
