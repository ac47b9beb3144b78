// Devices across a real socket: the network server daemon serves a small rig
// of its own, and this process reaches it through the device library as a
// panel does, finding it through a private discovery directory.
#include "DaemonProcess.h"
#include "TempDir.h"
#include "discovery.h"
#include "tindrel22.h"
#include "tindrelsim.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tindrel::server::testing::Daemon;
using tindrel::server::testing::freePort;
using tindrel::server::testing::TempDir;

namespace {

constexpr auto kDeadline = 20s;

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit = kDeadline)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string lastErrorDetail()
{
    TindrelReturnCode code;
    const char *description = nullptr;
    char detail[512] = "";
    size_t len = sizeof detail;
    Tindrel_getLastError(&code, &description, detail, &len);
    return detail;
}

// Counts a handle's events from the library's threads.
struct Watch {
    std::atomic<int> attaches{0}, detaches{0}, voltages{0};
    std::atomic<bool> ordered{true};
    double lastTs = -1;   // event thread only
    std::mutex m;
    std::vector<std::pair<int, std::string>> errors;
    std::string error(size_t i)
    {
        std::lock_guard<std::mutex> lk(m);
        return i < errors.size() ? errors[i].second : std::string();
    }
    size_t errorCount()
    {
        std::lock_guard<std::mutex> lk(m);
        return errors.size();
    }
};

class RemoteDevices : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TINDREL_DISCOVERY", ("dir:" + dir.file("discovery")).c_str(), 1);
        if (const char *log = std::getenv("TINDREL_TEST_LOG"))
            TindrelLog_enable(TINDREL_LOG_DEBUG, log);
        char err[256];
        ASSERT_EQ(TindrelSim_loadRigText(R"({"devices": []})", "empty", err, sizeof err), TINDREL_OK) << err;
        ASSERT_EQ(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICEREMOTE), TINDREL_OK);
    }
    void TearDown() override
    {
        if (voltage) {
            Tindrel_close(reinterpret_cast<TindrelHandle>(voltage));
            TindrelVoltageInput_delete(&voltage);
        }
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICEREMOTE);
    }
    // Opens the daemon's voltage input by server name, with events counted.
    void openVoltage(const std::string &server)
    {
        ASSERT_EQ(TindrelVoltageInput_create(&voltage), TINDREL_OK);
        auto ch = reinterpret_cast<TindrelHandle>(voltage);
        Tindrel_setServerName(ch, server.c_str());
        Tindrel_setOnAttachHandler(
            ch, [](TindrelHandle, void *w) { ++static_cast<Watch *>(w)->attaches; }, &watch);
        Tindrel_setOnDetachHandler(
            ch, [](TindrelHandle, void *w) { ++static_cast<Watch *>(w)->detaches; }, &watch);
        Tindrel_setOnErrorHandler(
            ch,
            [](TindrelHandle, void *w, int32_t code, const char *detail) {
                auto *watch = static_cast<Watch *>(w);
                std::lock_guard<std::mutex> lk(watch->m);
                watch->errors.emplace_back(code, detail);
            },
            &watch);
        TindrelVoltageInput_setOnVoltageChangeHandler(
            voltage,
            [](TindrelVoltageInputHandle, void *w, double) {
                auto *watch = static_cast<Watch *>(w);
                ++watch->voltages;
            },
            &watch);
        ASSERT_EQ(Tindrel_open(ch), TINDREL_OK);
    }
    bool attached()
    {
        int a = 0;
        Tindrel_getAttached(reinterpret_cast<TindrelHandle>(voltage), &a);
        return a != 0;
    }

    TempDir dir;
    Watch watch;
    TindrelVoltageInputHandle voltage = nullptr;
};

TEST_F(RemoteDevices, AttachIdentityPropertiesAndEventsCrossTheSocket)
{
    Daemon daemon(dir, "Bench Server", freePort(), "", true);
    daemon.start();
    openVoltage("Bench Server");
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 1; })) << daemon.log();
    auto ch = reinterpret_cast<TindrelHandle>(voltage);

    int remote = 0;
    int32_t serial = 0;
    const char *name = nullptr, *server = nullptr;
    EXPECT_EQ(Tindrel_getIsRemote(ch, &remote), TINDREL_OK);
    EXPECT_EQ(remote, 1);
    Tindrel_getDeviceSerialNumber(ch, &serial);
    EXPECT_EQ(serial, 730001);
    Tindrel_getDeviceName(ch, &name);
    EXPECT_STREQ(name, "Bench Module");
    Tindrel_getServerName(ch, &server);
    EXPECT_STREQ(server, "Bench Server");

    // A change goes to the server, and what reads back is the server's.
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(voltage, 20), TINDREL_OK) << lastErrorDetail();
    uint32_t interval = 0;
    EXPECT_EQ(TindrelVoltageInput_getDataInterval(voltage, &interval), TINDREL_OK);
    EXPECT_EQ(interval, 20u);
    uint32_t lowest = 0;
    EXPECT_EQ(TindrelVoltageInput_getMinDataInterval(voltage, &lowest), TINDREL_OK);
    EXPECT_GE(lowest, 1u);
    // The limits are the server's, and a value outside them is refused with why.
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(voltage, 0), TINDREL_EINVALIDARG);
    EXPECT_NE(lastErrorDetail().find("DataInterval"), std::string::npos);
    // What the server's device lacks, it lacks here too.
    EXPECT_EQ(TindrelVoltageInput_setVoltageRange(voltage, TINDREL_VOLTAGE_RANGE_10mV), TINDREL_EUNSUPPORTED);

    // The ramp's values arrive, about fifty a second.
    ASSERT_TRUE(waitUntil([&] { return watch.voltages.load() >= 50; })) << daemon.log();
    double volts = 0;
    EXPECT_EQ(TindrelVoltageInput_getVoltage(voltage, &volts), TINDREL_OK);
    EXPECT_GE(volts, 0.5);
    EXPECT_LE(volts, 4.5);
    // The sensor's unit is worked out from the server's values.
    Tindrel_UnitInfo unit{};
    EXPECT_EQ(TindrelVoltageInput_getSensorUnit(voltage, &unit), TINDREL_OK) << lastErrorDetail();
    TindrelSimLinkStats stats{};
    ASSERT_EQ(TindrelSim_getNetworkLinkStats("Bench Server", &stats), TINDREL_OK);
    EXPECT_GE(stats.events, 50u);
    EXPECT_EQ(stats.connections, 1u);
    EXPECT_EQ(watch.errorCount(), 0u) << watch.error(0);
}

TEST_F(RemoteDevices, AWrongPasswordIsRefusedWithTheAccessErrorUntilTheRightOneIsGiven)
{
    Daemon daemon(dir, "Locked Server", freePort(), "s3cret", true);
    daemon.start();
    ASSERT_EQ(TindrelNet_setServerPassword("Locked Server", "guess"), TINDREL_OK);

    TindrelDigitalOutputHandle out = nullptr;
    ASSERT_EQ(TindrelDigitalOutput_create(&out), TINDREL_OK);
    auto ch = reinterpret_cast<TindrelHandle>(out);
    Tindrel_setServerName(ch, "Locked Server");
    // The server is found, then refuses; the wait ends with why.
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch, 8000), TINDREL_EACCESS);
    EXPECT_NE(lastErrorDetail().find("refused the password"), std::string::npos) << lastErrorDetail();

    // A handle left open hears of it as an error event.
    openVoltage("Locked Server");
    ASSERT_TRUE(waitUntil([&] { return watch.errorCount() >= 1; })) << daemon.log();
    EXPECT_NE(watch.error(0).find("refused the password"), std::string::npos);
    EXPECT_FALSE(attached());

    ASSERT_EQ(TindrelNet_setServerPassword("Locked Server", "s3cret"), TINDREL_OK);
    ASSERT_TRUE(waitUntil([&] { return attached(); })) << daemon.log();
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch, 8000), TINDREL_OK);
    EXPECT_EQ(TindrelDigitalOutput_setState(out, 1), TINDREL_OK) << lastErrorDetail();
    int state = 0;
    EXPECT_EQ(TindrelDigitalOutput_getState(out, &state), TINDREL_OK);
    EXPECT_EQ(state, 1);
    Tindrel_close(ch);
    TindrelDigitalOutput_delete(&out);
    EXPECT_NE(daemon.log().find("gave a wrong password"), std::string::npos);
}

TEST_F(RemoteDevices, AKilledServerDetachesItsDevicesAndTheyComeBackWithIt)
{
    const int port = freePort();
    auto daemon = std::make_unique<Daemon>(dir, "Flaky Server", port, "", true);
    daemon->start();
    openVoltage("Flaky Server");
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 1; })) << daemon->log();

    daemon->stop(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return watch.detaches.load() == 1; }));
    EXPECT_FALSE(attached());
    // A change while it is gone fails at once.
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(voltage, 100), TINDREL_ENOTATTACHED);

    daemon->start();
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 2; })) << daemon->log();
    const int before = watch.voltages.load();
    ASSERT_TRUE(waitUntil([&] { return watch.voltages.load() > before + 5; }));
}

// A TCP relay between the library and the daemon that can slow down to a
// trickle or stop passing bytes altogether, as a bad network does.
class Relay {
public:
    explicit Relay(int target)
        : target_(target)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listener_, 4);
        socklen_t n = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Relay()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }
    std::atomic<bool> stalled{false};
    std::atomic<size_t> bytesPerTick{1u << 20};   // one tick: 10 ms

private:
    void run()
    {
        int client = -1, server = -1;
        while (!stop_) {
            if (client < 0) {
                pollfd p{listener_, POLLIN, 0};
                if (::poll(&p, 1, 50) != 1)
                    continue;
                client = ::accept(listener_, nullptr, nullptr);
                server = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(static_cast<uint16_t>(target_));
                if (::connect(server, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
                    ::close(client);
                    ::close(server);
                    client = server = -1;
                }
                continue;
            }
            std::this_thread::sleep_for(10ms);
            if (stalled)
                continue;
            if (!pass(client, server, bytesPerTick) || !pass(server, client, bytesPerTick)) {
                ::close(client);
                ::close(server);
                client = server = -1;
            }
        }
        if (client >= 0) {
            ::close(client);
            ::close(server);
        }
    }
    static bool pass(int from, int to, size_t most)
    {
        std::vector<char> buf(std::min<size_t>(most, 1u << 20));
        const ssize_t n = ::recv(from, buf.data(), buf.size(), MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        return ::send(to, buf.data(), static_cast<size_t>(n), MSG_NOSIGNAL) == n;
    }
    int target_, listener_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(RemoteDevices, AThrottledOrStalledLinkSlowsEventsButNeverHangsTheCaller)
{
    // The daemon is not published; the relay is, in its place.
    const int port = freePort();
    Daemon daemon(dir, "Far Server", port, "", false);
    daemon.start();
    Relay relay(port);
    auto discovery = tsim::remote::makeDirectoryDiscovery(dir.file("discovery"));
    std::string err;
    auto record = discovery->publish({"Far Server", "far.example", "127.0.0.1", relay.port(), {}}, err);
    ASSERT_TRUE(record) << err;

    openVoltage("Far Server");
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 1; })) << daemon.log();
    ASSERT_EQ(TindrelVoltageInput_setDataInterval(voltage, 5), TINDREL_OK) << lastErrorDetail();

    // A trickle of about 20 kB a second: events keep coming, in their order.
    relay.bytesPerTick = 200;
    const int before = watch.voltages.load();
    ASSERT_TRUE(waitUntil([&] { return watch.voltages.load() > before + 20; }));

    // Stalled: a change gives up after a short wait, and the next fails at once.
    relay.stalled = true;
    std::this_thread::sleep_for(300ms);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(voltage, 50), TINDREL_ETIMEDOUT);
    EXPECT_NE(lastErrorDetail().find("Far Server"), std::string::npos);
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(voltage, 50), TINDREL_ETIMEDOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
    // Silent for long enough, the server counts as gone...
    ASSERT_TRUE(waitUntil([&] { return watch.detaches.load() == 1; }));
    // ...and comes back when the network does.
    relay.stalled = false;
    relay.bytesPerTick = 1u << 20;
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 2; })) << daemon.log();
}

TEST_F(RemoteDevices, AHostileClientLosesItsConnectionAndNobodyElseNotices)
{
    const int port = freePort();
    Daemon daemon(dir, "Sturdy Server", port, "", true);
    daemon.start();
    openVoltage("Sturdy Server");
    ASSERT_TRUE(waitUntil([&] { return watch.attaches.load() == 1; })) << daemon.log();

    for (const std::string &junk : {std::string("GET / HTTP/1.0\r\n\r\n"), std::string("\xff\xff\xff\x7f\x01", 5),
                                    std::string("\x05\0\0\0\x03\x01\x02\x03\x04", 9)}) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
        char buf[256];
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 10000), 1);
        // Closed by the server (anything it said first is read and dropped).
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) { }
        EXPECT_EQ(n, 0);
        ::close(fd);
    }
    const int before = watch.voltages.load();
    ASSERT_TRUE(waitUntil([&] { return watch.voltages.load() > before + 5; }));
    EXPECT_EQ(watch.detaches.load(), 0);
    EXPECT_NE(daemon.log().find("closing the connection"), std::string::npos) << daemon.log();
}

}   // namespace
