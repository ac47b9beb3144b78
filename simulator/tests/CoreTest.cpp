#include <unistd.h>
// Handles, matching, attach and detach, identity, errors and threads,
// all through the C interface.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <set>
#include <thread>

#include "TestSupport.h"

using namespace simtest;

namespace {

const char *kRig = R"RIG({
  "computers": [
    {"id": "srv", "name": "benchsrv", "uniqueName": "benchsrv-1", "host": "benchsrv.local", "type": 2,
     "version": [2, 4], "announce": {"name": "Bench", "hversion": 7}, "present": false},
    {"id": "sbc", "name": "TindrelSBC (02:00:00:33:44:55)", "host": "sbc.local", "type": 7, "present": false,
     "announce": {"fversion": "1.2"}}
  ],
  "devices": [
    {"id": "hub", "deviceId": 129, "class": 8, "name": "Hub", "serial": 1000,
     "channels": [{"class": 13}]},
    {"id": "din", "parent": "hub", "hubPort": 2, "deviceId": 55, "class": 21, "name": "Digital Inputs",
     "channels": [{"class": "DigitalInput", "count": 2}]},
    {"id": "portin", "parent": "hub", "hubPort": 4, "hubPortDevice": true, "deviceId": 20, "class": 21,
     "name": "Port Input", "channels": [{"class": "DigitalInput"}]},
    {"id": "led", "deviceId": 16, "class": 2, "name": "LED Driver", "serial": 2000, "label": "desk",
     "channels": [{"class": "DigitalOutput", "subclass": 17, "count": 2},
                  {"class": "DigitalOutput", "index": 2}]},
    {"id": "remote", "server": "srv", "deviceId": 16, "class": 2, "name": "LED Driver", "serial": 2000,
     "channels": [{"class": "DigitalOutput", "subclass": 17}]}
  ]
})RIG";

class Core : public ::testing::Test {
protected:
    void SetUp() override { loadRig(kRig); }
    void TearDown() override
    {
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
        TindrelNet_disableServerDiscovery(TINDRELSERVER_SBC);
        TindrelSim_failCalls(0, 0);
        TindrelSim_clear();
    }
};

// Opens h waiting for attachment; fails the test on error.
void openWait(TindrelHandle h) { ASSERT_EQ(Tindrel_openWaitForAttachment(h, 5000), TINDREL_OK) << lastErrorDetail(); }

struct Attached {
    TindrelHandle h;
    std::string device;
    int index;
};

void onAttach(TindrelHandle h, void *ctx)
{
    const char *name = "";
    int index = -1;
    Tindrel_getDeviceName(h, &name);
    Tindrel_getChannel(h, &index);
    static_cast<Recorder<Attached> *>(ctx)->add({h, name, index});
}

void onDetach(TindrelHandle h, void *ctx) { static_cast<Recorder<Attached> *>(ctx)->add({h, "", -1}); }

void onState(TindrelDigitalInputHandle, void *ctx, int state) { static_cast<Recorder<int> *>(ctx)->add(state); }

}   // namespace

TEST_F(Core, OpenAttachesMatchingChannelAsynchronouslyAndAgainAfterReplug)
{
    Recorder<Attached> attaches, detaches;
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setOnAttachHandler(ch.h, onAttach, &attaches);
    Tindrel_setOnDetachHandler(ch.h, onDetach, &detaches);
    Tindrel_setDeviceSerialNumber(ch.h, 2000);
    Tindrel_setChannel(ch.h, 1);
    ASSERT_EQ(Tindrel_open(ch.h), TINDREL_OK);
    ASSERT_TRUE(attaches.waitCount(1));
    EXPECT_EQ(attaches.items()[0].device, "LED Driver");
    EXPECT_EQ(attaches.items()[0].index, 1);

    ASSERT_EQ(TindrelSim_detachDevice("led"), TINDREL_OK);
    ASSERT_TRUE(detaches.waitCount(1));
    int attached = 1;
    Tindrel_getAttached(ch.h, &attached);
    EXPECT_EQ(attached, 0);

    ASSERT_EQ(TindrelSim_attachDevice("led"), TINDREL_OK);
    ASSERT_TRUE(attaches.waitCount(2));
    EXPECT_EQ(attaches.items()[1].index, 1);
}

TEST_F(Core, MatchingHonoursEveryAddressField)
{
    struct Case {
        const char *what;
        Tindrel_ChannelClass cls;
        std::function<void(TindrelHandle)> address;
        bool attaches;
    };
    const Case cases[] = {
        {"any digital output", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle) {}, true},
        {"wrong serial", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setDeviceSerialNumber(h, 1); },
         false},
        {"label", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setDeviceLabel(h, "desk"); }, true},
        {"wrong label", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setDeviceLabel(h, "attic"); },
         false},
        {"missing channel index", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setChannel(h, 7); },
         false},
        {"hub port 2", TINDREL_CHCLASS_DIGITALINPUT, [](TindrelHandle h) { Tindrel_setHubPort(h, 2); }, true},
        {"hub port 4 needs port mode", TINDREL_CHCLASS_DIGITALINPUT, [](TindrelHandle h) { Tindrel_setHubPort(h, 4); },
         false},
        {"hub port 4 in port mode", TINDREL_CHCLASS_DIGITALINPUT,
         [](TindrelHandle h) {
             Tindrel_setHubPort(h, 4);
             Tindrel_setIsHubPortDevice(h, 1);
         },
         true},
        {"remote while the server is away", TINDREL_CHCLASS_DIGITALOUTPUT,
         [](TindrelHandle h) { Tindrel_setIsRemote(h, 1); }, false},
        {"local", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setIsLocal(h, 1); }, true},
        {"server name", TINDREL_CHCLASS_DIGITALOUTPUT, [](TindrelHandle h) { Tindrel_setServerName(h, "benchsrv"); },
         false},
    };
    for (const Case &c : cases) {
        Channel ch(c.cls);
        c.address(ch.h);
        TindrelReturnCode rc = Tindrel_openWaitForAttachment(ch.h, c.attaches ? 5000 : 50);
        EXPECT_EQ(rc, c.attaches ? TINDREL_OK : TINDREL_ETIMEDOUT) << c.what;
    }
}

TEST_F(Core, RemoteChannelsNeedTheServerAndDiscovery)
{
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setServerName(ch.h, "benchsrv");
    ASSERT_EQ(TindrelSim_addServer("srv"), TINDREL_OK);
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 50), TINDREL_ETIMEDOUT) << "discovery is still off";
    ASSERT_EQ(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE), TINDREL_OK);
    openWait(ch.h);
    int remote = 0, major = 0, minor = 0;
    const char *unique = nullptr, *host = nullptr;
    Tindrel_getIsRemote(ch.h, &remote);
    EXPECT_EQ(remote, 1);
    EXPECT_EQ(Tindrel_getServerUniqueName(ch.h, &unique), TINDREL_OK);
    EXPECT_STREQ(unique, "benchsrv-1");
    EXPECT_EQ(Tindrel_getServerHostname(ch.h, &host), TINDREL_OK);
    EXPECT_STREQ(host, "benchsrv.local");
    EXPECT_EQ(Tindrel_getServerVersion(ch.h, &major, &minor), TINDREL_OK);
    EXPECT_EQ(major * 10 + minor, 24);
}

TEST_F(Core, TimeoutReturnsThreeAndLeavesHandleClosed)
{
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setDeviceSerialNumber(ch.h, 424242);
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 20), TINDREL_ETIMEDOUT);
    TindrelReturnCode code = 0;
    EXPECT_NE(lastErrorDetail(&code).find("20 ms"), std::string::npos);
    EXPECT_EQ(code, 3);
    // Closed again: matching settings may change.
    EXPECT_EQ(Tindrel_setDeviceSerialNumber(ch.h, 2000), TINDREL_OK);
}

TEST_F(Core, ChannelIsHeldByOneHandleUntilClosed)
{
    Recorder<Attached> attaches;
    Channel first(TINDREL_CHCLASS_DIGITALINPUT), second(TINDREL_CHCLASS_DIGITALINPUT);
    for (TindrelHandle h : {first.h, second.h}) {
        Tindrel_setHubPort(h, 4);
        Tindrel_setIsHubPortDevice(h, 1);
    }
    openWait(first.h);
    Tindrel_setOnAttachHandler(second.h, onAttach, &attaches);
    ASSERT_EQ(Tindrel_open(second.h), TINDREL_OK);
    EXPECT_FALSE(attaches.waitFor([](auto &v) { return !v.empty(); }, std::chrono::milliseconds(100)));
    ASSERT_EQ(Tindrel_close(first.h), TINDREL_OK);
    EXPECT_TRUE(attaches.waitCount(1)) << "the freed channel goes to the waiting handle";
}

TEST_F(Core, IdentityAndParentChainOfHubPortChannel)
{
    Channel ch(TINDREL_CHCLASS_DIGITALINPUT);
    Tindrel_setHubPort(ch.h, 2);
    Tindrel_setChannel(ch.h, 1);
    openWait(ch.h);
    int32_t serial = 0, devClass = 0, devId = 0, sub = 0;
    int port = -1, index = -1;
    Tindrel_ChannelClass cls{};
    const char *clsName = nullptr, *chName = nullptr;
    EXPECT_EQ(Tindrel_getDeviceSerialNumber(ch.h, &serial), TINDREL_OK);
    EXPECT_EQ(serial, 1000) << "a hub port device reports its hub's serial number";
    Tindrel_getDeviceClass(ch.h, &devClass);
    Tindrel_getDeviceID(ch.h, &devId);
    Tindrel_getHubPort(ch.h, &port);
    Tindrel_getChannel(ch.h, &index);
    Tindrel_getChannelClass(ch.h, &cls);
    Tindrel_getChannelClassName(ch.h, &clsName);
    Tindrel_getChannelName(ch.h, &chName);
    Tindrel_getChannelSubclass(ch.h, &sub);
    EXPECT_EQ(devClass, 21);
    EXPECT_EQ(devId, 55);
    EXPECT_EQ(port, 2);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(cls, TINDREL_CHCLASS_DIGITALINPUT);
    EXPECT_STREQ(clsName, "TindrelDigitalInput");
    EXPECT_STREQ(chName, "DigitalInput 1");

    TindrelHandle dev = nullptr, hub = nullptr, top = reinterpret_cast<TindrelHandle>(1), viaHub = nullptr;
    ASSERT_EQ(Tindrel_getParent(ch.h, &dev), TINDREL_OK);
    ASSERT_NE(dev, nullptr);
    Tindrel_getDeviceClass(dev, &devClass);
    EXPECT_EQ(devClass, 21);
    ASSERT_EQ(Tindrel_getParent(dev, &hub), TINDREL_OK);
    ASSERT_NE(hub, nullptr);
    Tindrel_getDeviceClass(hub, &devClass);
    Tindrel_getDeviceSerialNumber(hub, &serial);
    EXPECT_EQ(devClass, 8);
    EXPECT_EQ(serial, 1000);
    ASSERT_EQ(Tindrel_getParent(hub, &top), TINDREL_OK);
    EXPECT_EQ(top, nullptr);
    ASSERT_EQ(Tindrel_getHub(ch.h, &viaHub), TINDREL_OK);
    ASSERT_NE(viaHub, nullptr);
    Tindrel_getDeviceClass(viaHub, &devClass);
    EXPECT_EQ(devClass, 8);
    // Device handles have no channel.
    EXPECT_NE(Tindrel_getChannel(dev, &index), TINDREL_OK);
}

TEST_F(Core, LastErrorIsPerThreadWithTwoCallDetail)
{
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setDeviceSerialNumber(ch.h, 2000);
    Tindrel_setChannel(ch.h, 0);
    openWait(ch.h);
    auto out = ch.as<TindrelDigitalOutputHandle>();
    EXPECT_EQ(TindrelDigitalOutput_setDutyCycle(out, 1.5), TINDREL_EINVALIDARG);

    // Another thread's failure does not touch this thread's error.
    std::thread([&] {
        EXPECT_EQ(TindrelDigitalOutput_setDutyCycle(out, -3), TINDREL_EINVALIDARG);
        EXPECT_EQ(lastErrorDetail(), "Value -3 is out of range for DutyCycle (0 - 1)");
    }).join();

    TindrelReturnCode code = 0;
    const char *desc = nullptr;
    size_t len = 0;
    ASSERT_EQ(Tindrel_getLastError(&code, &desc, nullptr, &len), TINDREL_OK);
    const std::string expected = "Value 1.5 is out of range for DutyCycle (0 - 1)";
    EXPECT_EQ(len, expected.size() + 1);
    EXPECT_EQ(code, TINDREL_EINVALIDARG);
    EXPECT_STREQ(desc, Tindrel_strerror(TINDREL_EINVALIDARG));
    char small[8];
    size_t smallLen = sizeof small;
    EXPECT_EQ(Tindrel_getLastError(&code, &desc, small, &smallLen), TINDREL_ENOSPC);
    EXPECT_EQ(smallLen, expected.size() + 1);
    std::vector<char> buf(len);
    ASSERT_EQ(Tindrel_getLastError(&code, &desc, buf.data(), &len), TINDREL_OK);
    EXPECT_EQ(std::string(buf.data()), expected) << "a failed fetch does not change the stored error";
    EXPECT_EQ(Tindrel_getLastError(&code, &desc, buf.data(), nullptr), TINDREL_EFAULT);
}

TEST_F(Core, DigitalOutputValidatesRangesSubclassesAndDevices)
{
    Channel led(TINDREL_CHCLASS_DIGITALOUTPUT), plain(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setChannel(led.h, 0);
    Tindrel_setChannel(plain.h, 2);
    openWait(led.h);
    openWait(plain.h);
    auto l = led.as<TindrelDigitalOutputHandle>();
    auto p = plain.as<TindrelDigitalOutputHandle>();

    double mn = -1, mx = -1, limit = -1;
    EXPECT_EQ(TindrelDigitalOutput_getMinLEDCurrentLimit(l, &mn), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalOutput_getMaxLEDCurrentLimit(l, &mx), TINDREL_OK);
    EXPECT_LT(mn, mx);
    EXPECT_EQ(TindrelDigitalOutput_setLEDCurrentLimit(l, mx), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalOutput_getLEDCurrentLimit(l, &limit), TINDREL_OK);
    EXPECT_DOUBLE_EQ(limit, mx);
    EXPECT_EQ(TindrelDigitalOutput_setLEDCurrentLimit(l, mx + 1), TINDREL_EINVALIDARG);

    // Device 16 offers 1.7, 2.75, 3.9 and 5.0 V only.
    EXPECT_EQ(TindrelDigitalOutput_setLEDForwardVoltage(l, TINDREL_LED_FORWARD_VOLTAGE_3_9V), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalOutput_setLEDForwardVoltage(l, TINDREL_LED_FORWARD_VOLTAGE_3_2V), TINDREL_EINVALIDARG);
    Tindrel_LEDForwardVoltage fv{};
    EXPECT_EQ(TindrelDigitalOutput_getLEDForwardVoltage(l, &fv), TINDREL_OK);
    EXPECT_EQ(fv, TINDREL_LED_FORWARD_VOLTAGE_3_9V);

    // Switching on drives the duty cycle to its maximum and back.
    double duty = -1;
    int state = -1;
    EXPECT_EQ(TindrelDigitalOutput_setState(l, 1), TINDREL_OK);
    TindrelDigitalOutput_getDutyCycle(l, &duty);
    EXPECT_DOUBLE_EQ(duty, 1.0);
    EXPECT_EQ(TindrelDigitalOutput_setDutyCycle(l, 0), TINDREL_OK);
    TindrelDigitalOutput_getState(l, &state);
    EXPECT_EQ(state, 0);

    // A plain output only switches.
    EXPECT_EQ(TindrelDigitalOutput_setLEDCurrentLimit(p, 0.01), TINDREL_EUNSUPPORTED);
    EXPECT_EQ(lastErrorDetail(), "Not supported on this device (DigitalOutput LEDCurrentLimit on device 16)");
    EXPECT_EQ(TindrelDigitalOutput_getDutyCycle(p, &duty), TINDREL_EUNSUPPORTED);
    EXPECT_EQ(TindrelDigitalOutput_setState(p, 1), TINDREL_OK);
    double readBack = 0;
    ASSERT_EQ(TindrelSim_getPropertyValue("led", TINDREL_CHCLASS_DIGITALOUTPUT, 2, "State", &readBack), TINDREL_OK);
    EXPECT_EQ(readBack, 1.0);
}

TEST_F(Core, CallsOnWrongOrUnattachedHandlesFailCleanly)
{
    Channel out(TINDREL_CHCLASS_DIGITALOUTPUT);
    int state = 0;
    EXPECT_EQ(TindrelDigitalOutput_getState(out.as<TindrelDigitalOutputHandle>(), &state), TINDREL_ENOTATTACHED);
    EXPECT_EQ(TindrelDigitalInput_getState(out.as<TindrelDigitalInputHandle>(), &state), TINDREL_EBADCLASS);
    EXPECT_EQ(TindrelDigitalOutput_getState(nullptr, &state), TINDREL_EFAULT);
    EXPECT_EQ(TindrelDigitalOutput_getState(out.as<TindrelDigitalOutputHandle>(), nullptr), TINDREL_EFAULT);
    EXPECT_EQ(Tindrel_setHubPort(out.h, 99), TINDREL_EINVALIDARG);
    TindrelHandle bad = nullptr;
    EXPECT_EQ(createTypedTindrelChannelHandle(&bad, static_cast<Tindrel_ChannelClass>(999)), TINDREL_EINVALIDARG);
    EXPECT_EQ(bad, nullptr);
    TindrelDigitalOutputHandle del = nullptr;
    ASSERT_EQ(TindrelDigitalOutput_create(&del), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalOutput_delete(&del), TINDREL_OK);
    EXPECT_EQ(del, nullptr);
    EXPECT_EQ(TindrelDigitalOutput_delete(&del), TINDREL_OK) << "a second delete does nothing";
}

namespace {

// Opens input 0 of the device on hub port 2, its states recorded.
void openInput(Channel &ch, Recorder<int> &states)
{
    TindrelDigitalInput_setOnStateChangeHandler(ch.as<TindrelDigitalInputHandle>(), onState, &states);
    Tindrel_setHubPort(ch.h, 2);
    Tindrel_setChannel(ch.h, 0);
    openWait(ch.h);
}

}   // namespace

TEST_F(Core, DigitalInputReportsEachStateChange)
{
    Recorder<int> states;
    Channel ch(TINDREL_CHCLASS_DIGITALINPUT);
    openInput(ch, states);
    ASSERT_TRUE(states.waitCount(1)) << "the first state is reported at attach";
    EXPECT_EQ(states.items()[0], 0);
    ASSERT_EQ(TindrelSim_setInputValue("din", TINDREL_CHCLASS_DIGITALINPUT, 0, "State", 1), TINDREL_OK);
    ASSERT_TRUE(states.waitCount(2));
    EXPECT_EQ(states.items()[1], 1);
    // Unchanged input: no event.
    EXPECT_FALSE(states.waitFor([](auto &v) { return v.size() > 2; }, std::chrono::milliseconds(200)));
    // Device 55 offers input mode and power supply.
    auto in = ch.as<TindrelDigitalInputHandle>();
    EXPECT_EQ(TindrelDigitalInput_setPowerSupply(in, TINDREL_POWER_SUPPLY_24V), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalInput_setInputMode(in, static_cast<Tindrel_InputMode>(5)), TINDREL_EINVALIDARG);
}

// An input driven before any program opens it, or between two sessions,
// reads as driven when the channel opens.
TEST_F(Core, AnInputDrivenBeforeTheOpenKeepsItsValue)
{
    ASSERT_EQ(TindrelSim_setInputValue("din", TINDREL_CHCLASS_DIGITALINPUT, 0, "State", 1), TINDREL_OK);
    for (int session = 0; session < 2; ++session) {
        Recorder<int> states;
        Channel ch(TINDREL_CHCLASS_DIGITALINPUT);
        openInput(ch, states);
        ASSERT_TRUE(states.waitCount(1));
        EXPECT_EQ(states.items()[0], 1) << "session " << session;
    }
}

TEST_F(Core, RemovingHandlerWaitsForCallbackInFlight)
{
    struct Ctx {
        std::promise<void> entered;
        std::promise<void> release;
        std::shared_future<void> releaseF{release.get_future().share()};
        std::atomic<bool> finished{false};
        std::atomic<int> calls{0};
        bool first = true;
    } ctx;
    auto cb = [](TindrelDigitalInputHandle, void *p, int) {
        auto *c = static_cast<Ctx *>(p);
        if (c->calls++ == 0) {
            c->entered.set_value();
            c->releaseF.wait();
            c->finished = true;
        }
    };
    Channel ch(TINDREL_CHCLASS_DIGITALINPUT);
    Tindrel_setHubPort(ch.h, 2);
    auto in = ch.as<TindrelDigitalInputHandle>();
    TindrelDigitalInput_setOnStateChangeHandler(in, cb, &ctx);
    openWait(ch.h);
    ASSERT_EQ(ctx.entered.get_future().wait_for(kDeadline), std::future_status::ready);

    auto removal = std::async(std::launch::async, [&] {
        TindrelDigitalInput_setOnStateChangeHandler(in, nullptr, nullptr);
        return ctx.finished.load();
    });
    EXPECT_EQ(removal.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "removal must wait for the running callback";
    ctx.release.set_value();
    EXPECT_TRUE(removal.get()) << "removal returned only after the callback finished";
    int before = ctx.calls;
    TindrelSim_setInputValue("din", TINDREL_CHCLASS_DIGITALINPUT, 0, "State", 1);
    std::this_thread::yield();
    Tindrel_close(ch.h);
    EXPECT_EQ(ctx.calls, before) << "no call after removal";
}

TEST_F(Core, HandlerMayRemoveItselfAndCloseFromInsideACallback)
{
    struct Ctx {
        TindrelHandle h;
        std::promise<TindrelReturnCode> done;
    } ctx;
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    ctx.h = ch.h;
    Tindrel_setOnAttachHandler(
        ch.h,
        [](TindrelHandle h, void *p) {
            auto *c = static_cast<Ctx *>(p);
            TindrelReturnCode rc = Tindrel_setOnAttachHandler(h, nullptr, nullptr);
            if (rc == TINDREL_OK)
                rc = Tindrel_close(h);
            c->done.set_value(rc);
        },
        &ctx);
    ASSERT_EQ(Tindrel_open(ch.h), TINDREL_OK);
    auto f = ctx.done.get_future();
    ASSERT_EQ(f.wait_for(kDeadline), std::future_status::ready) << "deadlock removing a handler from its own call";
    EXPECT_EQ(f.get(), TINDREL_OK);
}

namespace {

struct ManagerSeen {
    Recorder<std::string> attached, detached;
};

std::string describe(TindrelHandle h)
{
    const char *dev = "", *cls = "";
    int index = -1;
    Tindrel_getDeviceName(h, &dev);
    Tindrel_getChannelClassName(h, &cls);
    Tindrel_getChannel(h, &index);
    return std::string(dev) + "/" + cls + "/" + std::to_string(index);
}

void mgrAttach(TindrelManagerHandle, void *ctx, TindrelHandle h)
{
    static_cast<ManagerSeen *>(ctx)->attached.add(describe(h));
}
void mgrDetach(TindrelManagerHandle, void *ctx, TindrelHandle h)
{
    static_cast<ManagerSeen *>(ctx)->detached.add(describe(h));
}

}   // namespace

TEST_F(Core, ManagerSeesEveryChannelAndDeviceDetachDetachesAllItsChannels)
{
    ManagerSeen seen;
    TindrelManagerHandle mg = nullptr;
    ASSERT_EQ(TindrelManager_create(&mg), TINDREL_OK);
    TindrelManager_setOnAttachHandler(mg, mgrAttach, &seen);
    TindrelManager_setOnDetachHandler(mg, mgrDetach, &seen);
    // An open channel is still seen by the manager.
    Channel held(TINDREL_CHCLASS_DIGITALOUTPUT);
    openWait(held.h);
    ASSERT_EQ(TindrelManager_open(mg), TINDREL_OK);
    // hub channel + 2 + 1 digital inputs + 3 outputs (the remote server is away)
    ASSERT_TRUE(seen.attached.waitCount(7));
    auto items = seen.attached.items();
    std::set<std::string> names(items.begin(), items.end());
    EXPECT_TRUE(names.count("Hub/TindrelHub/0"));
    EXPECT_TRUE(names.count("LED Driver/TindrelDigitalOutput/2"));

    // Unplugging the hub takes its port devices along.
    ASSERT_EQ(TindrelSim_detachDevice("hub"), TINDREL_OK);
    ASSERT_TRUE(seen.detached.waitCount(4));
    EXPECT_FALSE(seen.detached.waitFor([](auto &v) { return v.size() > 4; }, std::chrono::milliseconds(100)));
    ASSERT_EQ(TindrelSim_attachDevice("hub"), TINDREL_OK);
    ASSERT_TRUE(seen.attached.waitCount(11));

    ASSERT_EQ(TindrelManager_close(mg), TINDREL_OK);
    size_t before = seen.detached.size();
    TindrelSim_detachDevice("led");
    EXPECT_FALSE(seen.detached.waitFor([&](auto &v) { return v.size() > before; }, std::chrono::milliseconds(100)));
    EXPECT_EQ(TindrelManager_delete(&mg), TINDREL_OK);
    EXPECT_EQ(mg, nullptr);
    drainManagerEvents();
}

TEST_F(Core, ManagerCloseDoesNotDeadlockWhileItsCallbackWaitsForTheClosingThread)
{
    // The callback waits until the closing thread has returned from close:
    // a close that waited for the callback would never return.
    struct Ctx {
        std::promise<void> entered;
        std::promise<void> closed;
        std::shared_future<void> closedF{closed.get_future().share()};
        std::atomic<int> calls{0};
        std::atomic<bool> handleUsable{false};
    } ctx;
    TindrelManagerHandle mg = nullptr;
    TindrelManager_create(&mg);
    TindrelManager_setOnAttachHandler(
        mg,
        [](TindrelManagerHandle, void *p, TindrelHandle h) {
            auto *c = static_cast<Ctx *>(p);
            if (c->calls++ == 0) {
                c->entered.set_value();
                c->closedF.wait();
                const char *name = nullptr;
                c->handleUsable = Tindrel_getDeviceName(h, &name) == TINDREL_OK && name && *name;
            }
        },
        &ctx);
    TindrelManager_open(mg);
    ASSERT_EQ(ctx.entered.get_future().wait_for(kDeadline), std::future_status::ready);
    auto closing = std::async(std::launch::async, [&] {
        TindrelReturnCode rc = TindrelManager_close(mg);
        TindrelManager_delete(&mg);
        return rc;
    });
    ASSERT_EQ(closing.wait_for(kDeadline), std::future_status::ready) << "close deadlocked";
    EXPECT_EQ(closing.get(), TINDREL_OK);
    ctx.closed.set_value();
    // The callback finishes with a valid handle; no further callbacks start.
    drainManagerEvents();
    EXPECT_TRUE(ctx.handleUsable);
    EXPECT_EQ(ctx.calls, 1);
}

TEST_F(Core, ManagerCallsCanBeMadeToFailWithADetail)
{
    ASSERT_EQ(TindrelSim_failManagerCalls(1, 1), TINDREL_OK);
    TindrelManagerHandle mg = nullptr;
    EXPECT_EQ(TindrelManager_create(&mg), TINDREL_EUNEXPECTED);
    EXPECT_NE(lastErrorDetail().find("could not be created"), std::string::npos);
    ASSERT_EQ(TindrelManager_create(&mg), TINDREL_OK);   // only the next call failed
    EXPECT_EQ(TindrelManager_open(mg), TINDREL_EUNEXPECTED);
    EXPECT_NE(lastErrorDetail().find("could not be opened"), std::string::npos);
    EXPECT_EQ(TindrelManager_open(mg), TINDREL_OK);
    TindrelManager_delete(&mg);
    drainManagerEvents();
}

// The outcome of n alternating writes and reads of an output's state.
std::vector<TindrelReturnCode> stateCalls(TindrelDigitalOutputHandle out, int n, std::set<std::string> *details)
{
    std::vector<TindrelReturnCode> codes;
    for (int i = 0; i < n; ++i) {
        int state = 0;
        const TindrelReturnCode rc =
            i % 2 ? TindrelDigitalOutput_getState(out, &state) : TindrelDigitalOutput_setState(out, i % 4 == 0);
        codes.push_back(rc);
        if (rc != TINDREL_OK && details)
            details->insert(lastErrorDetail());
    }
    return codes;
}

TEST_F(Core, ChosenShareOfChannelCallsFailReproduciblyWithDeviceLikeDetails)
{
    Channel led(TINDREL_CHCLASS_DIGITALOUTPUT), unattached(TINDREL_CHCLASS_DIGITALOUTPUT);
    openWait(led.h);
    auto out = led.as<TindrelDigitalOutputHandle>();
    constexpr int kCalls = 2000;

    ASSERT_EQ(TindrelSim_failCalls(0.05, 7), TINDREL_OK);
    std::set<std::string> details;
    const std::vector<TindrelReturnCode> first = stateCalls(out, kCalls, &details);
    const auto failed = static_cast<uint64_t>(std::count_if(first.begin(), first.end(), [](auto rc) { return rc; }));
    EXPECT_GT(failed, kCalls * 0.03);
    EXPECT_LT(failed, kCalls * 0.07);
    std::set<TindrelReturnCode> codes(first.begin(), first.end());
    codes.erase(TINDREL_OK);
    EXPECT_EQ(codes,
              (std::set<TindrelReturnCode>{TINDREL_ETIMEDOUT, TINDREL_EIO, TINDREL_EBUSY, TINDREL_EINTERRUPTED}));
    EXPECT_TRUE(
        details.count("Timed out waiting for the device to answer (DigitalOutput channel 0, serial number 2000)"));
    // Each failure is counted by the class and the kind of call.
    EXPECT_EQ(TindrelSim_failedCalls(TINDREL_CHCLASS_DIGITALOUTPUT, TINDRELSIM_CALLS_ALL), failed);
    EXPECT_EQ(TindrelSim_failedCalls(TINDREL_CHCLASS_NOTHING, TINDRELSIM_CALLS_ALL), failed);
    EXPECT_EQ(TindrelSim_failedCalls(TINDREL_CHCLASS_DIGITALOUTPUT, TINDRELSIM_CALLS_READS) +
                  TindrelSim_failedCalls(TINDREL_CHCLASS_DIGITALOUTPUT, TINDRELSIM_CALLS_CHANGES),
              failed);
    EXPECT_GT(TindrelSim_failedCalls(TINDREL_CHCLASS_DIGITALOUTPUT, TINDRELSIM_CALLS_READS), 0u);
    EXPECT_EQ(TindrelSim_failedCalls(TINDREL_CHCLASS_DIGITALINPUT, TINDRELSIM_CALLS_ALL), 0u);

    // A failed write changes nothing on the device.
    ASSERT_EQ(TindrelSim_failCalls(0, 0), TINDREL_OK);
    ASSERT_EQ(TindrelDigitalOutput_setState(out, 0), TINDREL_OK);
    ASSERT_EQ(TindrelSim_failCalls(1, 7), TINDREL_OK);
    EXPECT_NE(TindrelDigitalOutput_setState(out, 1), TINDREL_OK);
    ASSERT_EQ(TindrelSim_failCalls(0, 0), TINDREL_OK);
    double state = -1;
    ASSERT_EQ(TindrelSim_getPropertyValue("led", TINDREL_CHCLASS_DIGITALOUTPUT, 0, "State", &state), TINDREL_OK);
    EXPECT_EQ(state, 0.0);

    // The same seed fails the same calls; a handle's own checks come first
    // and are not counted; share 0 ends it.
    ASSERT_EQ(TindrelSim_failCalls(0.05, 7), TINDREL_OK);
    EXPECT_EQ(stateCalls(out, kCalls, nullptr), first);
    ASSERT_EQ(TindrelSim_failCalls(0.05, 8), TINDREL_OK);
    EXPECT_NE(stateCalls(out, kCalls, nullptr), first);
    ASSERT_EQ(TindrelSim_failCalls(1, 1), TINDREL_OK);
    int s = 0;
    EXPECT_EQ(TindrelDigitalOutput_getState(unattached.as<TindrelDigitalOutputHandle>(), &s), TINDREL_ENOTATTACHED);
    EXPECT_EQ(TindrelSim_failedCalls(TINDREL_CHCLASS_NOTHING, TINDRELSIM_CALLS_ALL), 0u);
    ASSERT_EQ(TindrelSim_failCalls(0, 0), TINDREL_OK);
    const std::vector<TindrelReturnCode> none = stateCalls(out, 200, nullptr);
    EXPECT_EQ(std::count(none.begin(), none.end(), TINDREL_OK), 200);
    EXPECT_EQ(TindrelSim_failCalls(1.5, 0), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelSim_failCalls(std::nan(""), 0), TINDREL_EINVALIDARG);
}

TEST_F(Core, DelayedManagerCallbackStartedBeforeCloseStillRuns)
{
    // A callback picked for delivery before close runs after close returned,
    // as the library's contract allows; none is picked after it.
    struct Ctx {
        std::atomic<int> calls{0};
    } ctx;
    ASSERT_EQ(TindrelSim_delayManagerCallbacks(200), TINDREL_OK);
    TindrelManagerHandle mg = nullptr;
    TindrelManager_create(&mg);
    TindrelManager_setOnAttachHandler(
        mg, [](TindrelManagerHandle, void *p, TindrelHandle) { ++static_cast<Ctx *>(p)->calls; }, &ctx);
    TindrelManager_open(mg);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));   // the first callback is picked and waits
    TindrelManager_close(mg);
    TindrelManager_delete(&mg);
    EXPECT_EQ(ctx.calls, 0);
    drainManagerEvents();
    TindrelSim_delayManagerCallbacks(0);
    EXPECT_EQ(ctx.calls, 1);
}

namespace {

struct ServerEvent {
    bool added;
    std::string name, host, kvName, fversion;
    int type, hversion;
};

void serverAdded(void *ctx, TindrelServerHandle s, kv_t kv)
{
    static_cast<Recorder<ServerEvent> *>(ctx)->add({true, s->name, s->host, kvgetstrc(kv, "name", "TindrelSBC"),
                                                    kvgetstrc(kv, "fversion", "none"), s->type,
                                                    kvgeti32(kv, "hversion", 0)});
}
void serverRemoved(void *ctx, TindrelServerHandle s)
{
    static_cast<Recorder<ServerEvent> *>(ctx)->add({false, s->name, s->host, "", "", s->type, 0});
}

}   // namespace

TEST_F(Core, DiscoveryAnnouncesServersOfEnabledTypesWithTheirRecords)
{
    Recorder<ServerEvent> events;
    TindrelNet_setOnServerAddedHandler(serverAdded, &events);
    TindrelNet_setOnServerRemovedHandler(serverRemoved, &events);
    ASSERT_EQ(TindrelNet_enableServerDiscovery(TINDRELSERVER_SBC), TINDREL_OK);
    ASSERT_EQ(TindrelSim_addServer("srv"), TINDREL_OK);   // type 2: not enabled, not announced
    ASSERT_EQ(TindrelSim_addServer("sbc"), TINDREL_OK);
    ASSERT_TRUE(events.waitCount(1));
    ServerEvent e = events.items()[0];
    EXPECT_TRUE(e.added);
    EXPECT_EQ(e.name, "TindrelSBC (02:00:00:33:44:55)");
    EXPECT_EQ(e.type, TINDRELSERVER_SBC);
    EXPECT_EQ(e.kvName, "TindrelSBC") << "missing key gives the default";
    EXPECT_EQ(e.fversion, "1.2");
    EXPECT_EQ(e.hversion, 0);

    ASSERT_EQ(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE), TINDREL_OK);
    ASSERT_TRUE(events.waitCount(2));
    EXPECT_EQ(events.items()[1].kvName, "Bench");
    EXPECT_EQ(events.items()[1].hversion, 7);

    ASSERT_EQ(TindrelSim_removeServer("sbc"), TINDREL_OK);
    ASSERT_TRUE(events.waitCount(3));
    EXPECT_FALSE(events.items()[2].added);
    EXPECT_EQ(events.items()[2].host, "sbc.local");
    TindrelNet_setOnServerAddedHandler(nullptr, nullptr);
    TindrelNet_setOnServerRemovedHandler(nullptr, nullptr);
    EXPECT_EQ(TindrelNet_enableServerDiscovery(static_cast<TindrelServerType>(42)), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelSim_addServer("nosuch"), TINDREL_ENOENT);
}

TEST(Net, KvReadersToleratesBadInput)
{
    EXPECT_EQ(kvgeti32(nullptr, "x", 5), 5);
    EXPECT_STREQ(kvgetstrc(nullptr, "x", "d"), "d");
}

TEST(Net, AddressListAnswersOnlyForComputersOfTheRigThatAreUp)
{
    loadRig(R"RIG({"computers": [
      {"id": "a", "name": "a", "host": "board.local", "type": 7, "address": "fe80::9",
       "addresses": ["10.0.0.5", "fe80::1", "10.0.0.6", "10.0.0.5"], "present": false},
      {"id": "quiet", "name": "quiet", "host": "quiet.local", "type": 7, "addresses": []},
      {"id": "plain", "name": "plain", "type": 7, "address": "10.0.0.9"}]})RIG");
    char *addrs[5] = {};
    uint32_t count = 5;
    EXPECT_EQ(TindrelNet_getServerAddressList("board.local", 2, addrs, &count), TINDREL_ENOENT) << "not up yet";
    ASSERT_EQ(TindrelSim_addServer("a"), TINDREL_OK);
    count = 5;
    ASSERT_EQ(TindrelNet_getServerAddressList("BOARD.local.", 2, addrs, &count), TINDREL_OK);
    ASSERT_EQ(count, 2u) << "IPv4 only, each once";
    EXPECT_STREQ(addrs[0], "10.0.0.5");
    EXPECT_STREQ(addrs[1], "10.0.0.6");
    count = 1;
    ASSERT_EQ(TindrelNet_getServerAddressList("board.local", 2, addrs, &count), TINDREL_OK);
    EXPECT_EQ(count, 1u) << "no more than there is room for";
    count = 5;
    ASSERT_EQ(TindrelNet_getServerAddressList("board.local", 10, addrs, &count), TINDREL_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(addrs[0], "fe80::1");
    count = 5;
    ASSERT_EQ(TindrelNet_getServerAddressList("plain.local", 2, addrs, &count), TINDREL_OK);
    ASSERT_EQ(count, 1u) << "without a list the announced address answers";
    EXPECT_STREQ(addrs[0], "10.0.0.9");
    for (const char *silent : {"quiet.local", "localhost", "nosuch.local"}) {
        count = 5;
        EXPECT_EQ(TindrelNet_getServerAddressList(silent, 2, addrs, &count), TINDREL_ENOENT) << silent;
    }
    char err[256] = {};
    EXPECT_NE(TindrelSim_loadRigText(R"({"computers": [{"id": "x", "name": "x", "addresses": ["10.0.0"]}]})", "t", err,
                                     sizeof err),
              TINDREL_OK)
        << "a malformed address is refused";
    TindrelSim_clear();
}

TEST(Log, WritesAttachOpenCloseAndErrors)
{
    char path[] = "/tmp/tindrel-log-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(TindrelLog_enable(TINDREL_LOG_INFO, path), TINDREL_OK);
    loadRig(kRig);
    {
        Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
        ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
        TindrelDigitalOutput_setDutyCycle(ch.as<TindrelDigitalOutputHandle>(), 9);
    }
    TindrelSim_clear();
    TindrelLog_disable();
    FILE *f = fopen(path, "r");
    ASSERT_NE(f, nullptr);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    unlink(path);
    for (const char *word : {"attach:", "open:", "close:", "detach:", "out of range"})
        EXPECT_NE(text.find(word), std::string::npos) << word << " missing from log:\n" << text;
    EXPECT_EQ(TindrelLog_enable(TINDREL_LOG_INFO, "/nonexistent-dir/x.log"), TINDREL_EIO);
}
