// The engine: the loaded rig, presence of devices and servers, open
// handles, managers, discovery, and the threads that deliver events.
#pragma once

#include <optional>
#include <queue>
#include <random>
#include <unordered_map>

#include "sim_internal.h"

namespace tsim {

namespace remote {
class Links;
class NetServer;
}   // namespace remote

// One dictionary file of the local network server.
struct DictionaryFile {
    int32_t sn = 0;
    std::string label;
    bool enabled = false;
};
std::optional<DictionaryFile> readDictionaryFile(const std::string &path);
// The parsable "*.dpc" files of a directory.
std::vector<DictionaryFile> readDictionaryFiles(const std::string &directory);

// A motor's simulated shaft (behaviour/motor_channels.cpp).
struct ShaftRecord;

struct ServerRuntime {
    bool on = false;
    bool announced = false;
};

class Engine {
public:
    Engine();

    std::mutex m;                       // guards everything below
    std::condition_variable attachCv;   // a handle attached

    // Rig and presence.
    bool rigLoaded = false;
    Rig rig;
    std::vector<ChannelPtr> channels;
    std::unordered_map<const DeviceInfo *, bool> devOn;
    std::unordered_map<const DeviceInfo *, bool> loaderMode;      // rebooted into its firmware loader
    std::unordered_map<const DeviceInfo *, uint64_t> rebootGen;   // invalidates pending reboot timers
    std::set<std::pair<const DeviceInfo *, int>> portsOff;        // hub ports switched off
    // Firmware: versions written by upgrades, devices that come back as
    // another after their next restart, transfers under way, planned faults.
    struct UpgradeFault {
        TindrelSimUpgradeFault kind = TINDRELSIM_UPGRADE_OK;
        int count = 0;   // transfers still to spoil
    };
    std::unordered_map<const DeviceInfo *, int> installedVersion;
    std::unordered_map<const DeviceInfo *, std::shared_ptr<const DeviceInfo>> pendingSwap;
    std::unordered_map<const DeviceInfo *, int> transferring;
    std::unordered_map<const DeviceInfo *, UpgradeFault> upgradeFaults;
    std::unordered_map<const ServerInfo *, ServerRuntime> servers;
    std::map<std::string, std::shared_ptr<const DeviceInfo>> devById;
    std::map<std::string, std::shared_ptr<const ServerInfo>> serverById;
    // The motor shafts of the rig's devices by device id and motor index,
    // shared by every channel that drives or senses one; made on first use
    // and dropped with the rig, so a new rig starts with shafts at rest.
    std::map<std::pair<std::string, int>, std::shared_ptr<ShaftRecord>> shafts;

    // Handles and managers.
    std::vector<_Tindrel *> openHandles;
    std::vector<_TindrelManager *> managers;

    // Discovery.
    std::set<int> discovery;
    std::map<std::string, std::string> passwords;
    CallbackGate netGate;
    std::vector<TindrelHandler> netHandlers = std::vector<TindrelHandler>(2);   // added, removed
    // Network servers reached over sockets: the links to them (made when
    // discovery first starts), and the servers discovery found, announced
    // like the rig's own.
    std::unique_ptr<remote::Links> links;
    std::vector<std::shared_ptr<const ServerInfo>> linkAnnouncements;
    remote::Links &netLinks();   // made on first use; call without the lock
    std::mutex linksMade;
    // This process's own device server, when it serves its devices.
    std::unique_ptr<remote::NetServer> netServer;
    std::mutex serving;   // guards netServer; never held with the lock above

    // Event threads: managers and discovery on one, channel attach, detach
    // and error events on another, value events on the generator.
    Dispatcher managerEvents, channelEvents;

    void ensureRig();                     // loads the default rig on first use
    TindrelReturnCode install(Rig &&r);   // replaces the rig
    void refresh();                       // recomputes presence, queues events
    bool matches(const _Tindrel *h, const Channel &c) const;
    void tryAttach(_Tindrel *h);
    // After h closed, having held `had` (or nothing): gives remote channels
    // back and lets another open handle have the channel.
    void handleClosed(_Tindrel *h, const ChannelPtr &had);
    void attach(_Tindrel *h, const ChannelPtr &c);
    void detachHolder(Channel &c, bool notify);   // every handle on it
    void detachHandle(Channel &c, _Tindrel *h, bool notify);
    void queueManagerEvent(_TindrelManager *mg, const ChannelPtr &c, bool attach);
    void queueChannelEvent(_Tindrel *h, int slot, EventArgs args);
    void updateAnnouncements();
    bool devicePresent(const DeviceInfo *d) const;
    int versionOf(const DeviceInfo &d) const;   // the rig's, or the last one written
    // The device goes off for a restart: leaves its loader, and a device
    // whose upgrade makes it another is replaced by that one. Returns the
    // device that comes back.
    const DeviceInfo *restartOff(const DeviceInfo *d);
    // The device's loader is busy (its channel open or a transfer running).
    bool loaderBusy(const DeviceInfo *d) const;
    bool visible(const Channel &c) const;
    ChannelPtr findChannel(const std::string &deviceId, int cls, int index, std::string &err) const;

    // The local server's dictionaries (dictionary_files.cpp): the directory
    // watched, and the devices made from its files by serial number.
    std::optional<std::string> dictionaryDirOverride;
    std::map<int32_t, std::shared_ptr<const DeviceInfo>> fileDictionaries;
    bool dictionaryWatcher = false;
    std::string dictionaryDirectory() const;
    void watchDictionaries();   // starts the watcher once there is a directory to watch
    void offerDictionaries(const std::vector<DictionaryFile> &files);
    // Injected call failures: the share of device calls on attached channels
    // that fail, drawn from a seeded generator, and the failures made so far
    // by channel class (reads and changes apart).
    double failShare = 0;
    std::mt19937 failRng;
    std::map<int, uint64_t> failedReads, failedChanges;
    // With the lock held, after the channel checks: fails the call (last
    // error set) with the share given, else TINDREL_OK.
    TindrelReturnCode maybeFailCall(const Channel &c, bool read);

    // Generator: periodic value events and delayed work.
    void schedule(const ChannelPtr &c);
    void after(std::chrono::milliseconds delay, std::function<void()> fn);   // runs with the lock held

private:
    struct Tick {
        std::chrono::steady_clock::time_point due;
        ChannelPtr ch;
        uint64_t gen;
        bool operator<(const Tick &o) const { return due > o.due; }
    };
    struct Pending {
        _Tindrel *h;
        uint64_t epoch;
        int slot;
        Invoker inv;
        EventArgs args;
    };
    void generatorLoop();
    void tick(Channel &c, std::vector<Pending> &out);

    std::priority_queue<Tick> ticks_;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> timers_;
    std::condition_variable genCv_;
    std::thread generator_;
};

uint64_t epochOf(CallbackGate &g);

// Test control: how long each manager callback waits after it was picked.
extern std::atomic<int> managerCallbackDelayMs;

}   // namespace tsim
