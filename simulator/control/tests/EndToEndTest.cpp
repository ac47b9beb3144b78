// The tindrelsim executable against the control server of this process,
// which drives the simulated device library.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TempDir.h"
#include "tindrel22.h"
#include "tindrelsim.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 10s;

const char kRig[] = R"RIG({
  "computers": [
    {"id": "srv", "name": "benchsrv", "host": "benchsrv.local", "type": 2, "present": false}
  ],
  "devices": [
    {"id": "din", "deviceId": 55, "class": 2, "name": "Test Inputs", "serial": 424242,
     "channels": [{"class": "DigitalInput", "count": 2}]},
    {"id": "remote", "server": "srv", "deviceId": 16, "class": 2, "name": "Remote LEDs", "serial": 515151,
     "channels": [{"class": "DigitalOutput"}]}
  ]
})RIG";

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built tool with the arguments and collects what it prints.
ToolResult runTool(const std::vector<std::string> &args)
{
    ToolResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<std::string> argvStrings = {TINDRELSIM_TOOL_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : argvStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, TINDRELSIM_TOOL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned == 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string *sinks[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0 && poll(fds, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0)
                    continue;
                char chunk[4096];
                const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
                if (n > 0) {
                    sinks[i]->append(chunk, static_cast<size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.status = WEXITSTATUS(status);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

// Attach and detach events of a manager, counted.
struct ManagerEvents {
    std::mutex mutex;
    std::condition_variable changed;
    int attached = 0;
    int detached = 0;

    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle)
    {
        auto *self = static_cast<ManagerEvents *>(ctx);
        std::lock_guard lock(self->mutex);
        ++self->attached;
        self->changed.notify_all();
    }
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle)
    {
        auto *self = static_cast<ManagerEvents *>(ctx);
        std::lock_guard lock(self->mutex);
        ++self->detached;
        self->changed.notify_all();
    }
    bool waitFor(int attaches, int detaches)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kDeadline, [&] { return attached >= attaches && detached >= detaches; });
    }
};

// An open manager for the length of a test.
class Manager {
public:
    explicit Manager(ManagerEvents &events)
    {
        TindrelManager_create(&handle_);
        TindrelManager_setOnAttachHandler(handle_, &ManagerEvents::onAttach, &events);
        TindrelManager_setOnDetachHandler(handle_, &ManagerEvents::onDetach, &events);
        TindrelManager_open(handle_);
    }
    ~Manager()
    {
        TindrelManager_close(handle_);
        TindrelManager_delete(&handle_);
    }
    Manager(const Manager &) = delete;
    Manager &operator=(const Manager &) = delete;

private:
    TindrelManagerHandle handle_ = nullptr;
};

// Error events of one channel handle.
struct ErrorEvents {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<int32_t, std::string>> seen;

    static void onError(TindrelHandle, void *ctx, int32_t code, const char *text)
    {
        auto *self = static_cast<ErrorEvents *>(ctx);
        std::lock_guard lock(self->mutex);
        self->seen.emplace_back(code, text ? text : "");
        self->changed.notify_all();
    }
};

nlohmann::json simList()
{
    size_t len = 0;
    TindrelSim_list(nullptr, &len);
    std::string text(len, '\0');
    if (TindrelSim_list(text.data(), &len) != TINDREL_OK)
        return {};
    text.resize(text.find('\0'));
    return nlohmann::json::parse(text, nullptr, false);
}

std::optional<bool> deviceAttached(const nlohmann::json &list, const std::string &id)
{
    if (!list.is_object() || !list.contains("devices"))
        return std::nullopt;
    for (const auto &device : list["devices"])
        if (device.value("id", "") == id)
            return device.value("attached", false);
    return std::nullopt;
}

class ToolEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char err[512] = "";
        ASSERT_EQ(TindrelSim_loadRigText(kRig, "end-to-end rig", err, sizeof err), TINDREL_OK) << err;
        socketPath = (dir.path() / "panel.sock").string();
        ASSERT_EQ(TindrelSim_startControlServer(socketPath.c_str()), TINDREL_OK);
    }
    void TearDown() override
    {
        EXPECT_EQ(TindrelSim_stopControlServer(), TINDREL_OK);
        TindrelSim_clear();
    }
    ToolResult tool(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--socket", socketPath});
        return runTool(args);
    }

    TempDir dir;
    std::string socketPath;
};

}   // namespace

TEST_F(ToolEndToEnd, ListsDetachesAndAttachesDevices)
{
    ManagerEvents events;
    Manager manager(events);
    ASSERT_TRUE(events.waitFor(2, 0)) << "the two local input channels attach";

    const ToolResult list = tool({"list"});
    ASSERT_EQ(list.status, 0) << list.err;
    const nlohmann::json listed = nlohmann::json::parse(list.out, nullptr, false);
    EXPECT_EQ(deviceAttached(listed, "din"), true) << list.out;
    EXPECT_EQ(deviceAttached(listed, "remote"), false) << "its server is down";

    const ToolResult detach = tool({"detach", "din"});
    ASSERT_EQ(detach.status, 0) << detach.err;
    EXPECT_TRUE(events.waitFor(2, 2)) << "both channels detach";
    EXPECT_EQ(deviceAttached(simList(), "din"), false);

    const ToolResult attach = tool({"attach", "din"});
    ASSERT_EQ(attach.status, 0) << attach.err;
    EXPECT_TRUE(events.waitFor(4, 2));
    EXPECT_EQ(deviceAttached(simList(), "din"), true);

    // Remote devices reach the manager only while servers are discovered.
    ASSERT_EQ(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE), TINDREL_OK);
    const ToolResult addServer = tool({"add-server", "srv"});
    ASSERT_EQ(addServer.status, 0) << addServer.err;
    EXPECT_TRUE(events.waitFor(5, 2)) << "the remote device's channel attaches";
    const ToolResult removeServer = tool({"remove-server", "srv"});
    ASSERT_EQ(removeServer.status, 0) << removeServer.err;
    EXPECT_TRUE(events.waitFor(5, 3));
    TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
}

TEST_F(ToolEndToEnd, RefusalsCarryTheLibrarysDetail)
{
    const ToolResult unknown = tool({"detach", "nosuchdevice"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("nosuchdevice"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("(code "), std::string::npos) << unknown.err;

    const ToolResult usage = tool({"detach"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage: detach <deviceId>"), std::string::npos) << usage.err;
}

TEST_F(ToolEndToEnd, MotorConditionsReachOnlyMotorsTheDeviceHas)
{
    const std::string rig = dir.write("motors.json", R"({"devices": [
        {"id": "bldc", "deviceId": 108, "class": 2, "name": "Brushless", "serial": 10801,
         "channels": [{"class": "BLDCMotor"}]},
        {"id": "relay", "deviceId": 30, "class": 2, "name": "Relay", "serial": 3001,
         "channels": [{"class": "DigitalOutput"}]}]})");
    ASSERT_EQ(tool({"load", rig}).status, 0);

    const ToolResult held = tool({"motor", "bldc", "0", "hold", "1"});
    EXPECT_EQ(held.status, 0) << held.err;
    const ToolResult noMotor = tool({"motor", "relay", "0", "hold", "1"});
    EXPECT_EQ(noMotor.status, 1);
    EXPECT_NE(noMotor.err.find("Device \"relay\" has no motor"), std::string::npos) << noMotor.err;
    const ToolResult otherIndex = tool({"motor", "bldc", "7", "load", "0.5"});
    EXPECT_EQ(otherIndex.status, 1);
    EXPECT_NE(otherIndex.err.find("has no motor 7"), std::string::npos) << otherIndex.err;
}

TEST_F(ToolEndToEnd, InjectsAnErrorEventOnAChannel)
{
    ErrorEvents errors;   // outlives the channel, whose handler points at it
    struct OwnedChannel {
        TindrelHandle handle = nullptr;
        ~OwnedChannel()
        {
            Tindrel_close(handle);
            Tindrel_delete(&handle);
        }
    } owned;
    ASSERT_EQ(createTypedTindrelChannelHandle(&owned.handle, TINDREL_CHCLASS_DIGITALINPUT), TINDREL_OK);
    TindrelHandle channel = owned.handle;
    Tindrel_setDeviceSerialNumber(channel, 424242);
    Tindrel_setChannel(channel, 1);
    Tindrel_setOnErrorHandler(channel, &ErrorEvents::onError, &errors);
    ASSERT_EQ(Tindrel_openWaitForAttachment(channel, 5000), TINDREL_OK);

    const ToolResult raised = tool({"error", "din", "5", "1", "0x1005", "too", "hot"});
    EXPECT_EQ(raised.status, 0) << raised.err;
    {
        std::unique_lock lock(errors.mutex);
        ASSERT_TRUE(errors.changed.wait_for(lock, kDeadline, [&] { return !errors.seen.empty(); }));
        EXPECT_EQ(errors.seen.front().first, 0x1005);
        EXPECT_EQ(errors.seen.front().second, "too hot");
    }
}

TEST_F(ToolEndToEnd, LoadsARigFileAndReportsAMalformedOne)
{
    const std::string good = dir.write("other.json", R"({"devices": [{"id": "solo", "deviceId": 30, "class": 2,
        "name": "Relay", "serial": 77, "channels": [{"class": "DigitalOutput"}]}]})");
    const ToolResult loaded = tool({"load", good});
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(deviceAttached(simList(), "solo"), true);
    EXPECT_EQ(deviceAttached(simList(), "din"), std::nullopt);

    const std::string bad = dir.write("bad.json", "{\"devices\": [\n  {\"id\": }\n]}\n");
    const ToolResult refused = tool({"load", bad});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(bad + ":2:"), std::string::npos) << refused.err;
    EXPECT_EQ(deviceAttached(simList(), "solo"), true) << "the old rig stays";
}

TEST_F(ToolEndToEnd, ShowsWhatTheDisplaysShow)
{
    const char *rig = R"({"devices": [
      {"id": "lcd", "deviceId": 88, "class": 2, "serial": 8801, "name": "Text", "channels": [
        {"class": "LCD", "subclass": 81, "properties": {"Width": 8, "Height": 2}}]},
      {"id": "strip", "deviceId": 154, "class": 2, "serial": 15401, "name": "Strip", "channels": [{"class": "LEDArray"}]},
      {"id": "spi", "deviceId": 160, "class": 2, "serial": 16001, "name": "Bus", "channels": [{"class": "DataAdapter"}]}]})";
    char err[256] = "";
    ASSERT_EQ(TindrelSim_loadRigText(rig, "display rig", err, sizeof err), TINDREL_OK) << err;
    TindrelLCDHandle lcd = nullptr;
    TindrelLEDArrayHandle strip = nullptr;
    ASSERT_EQ(TindrelLCD_create(&lcd), TINDREL_OK);
    ASSERT_EQ(TindrelLEDArray_create(&strip), TINDREL_OK);
    Tindrel_setDeviceSerialNumber(reinterpret_cast<TindrelHandle>(lcd), 8801);
    Tindrel_setDeviceSerialNumber(reinterpret_cast<TindrelHandle>(strip), 15401);
    ASSERT_EQ(Tindrel_openWaitForAttachment(reinterpret_cast<TindrelHandle>(lcd), 5000), TINDREL_OK);
    ASSERT_EQ(Tindrel_openWaitForAttachment(reinterpret_cast<TindrelHandle>(strip), 5000), TINDREL_OK);
    EXPECT_EQ(TindrelLCD_writeText(lcd, TINDREL_LCD_FONT_5x8, 0, 1, "Hello"), TINDREL_OK);
    // Nothing shows before the flush.
    EXPECT_EQ(tool({"lcd-text", "lcd", "0"}).out, "");
    EXPECT_EQ(TindrelLCD_flush(lcd), TINDREL_OK);
    const Tindrel_LEDColor colours[] = {{255, 0, 0, 0}, {0, 0, 255, 0}};
    EXPECT_EQ(TindrelLEDArray_setGamma(strip, 1.0), TINDREL_OK);
    EXPECT_EQ(TindrelLEDArray_setLEDs(strip, 1, 2, colours, 2, 0), TINDREL_OK);

    const ToolResult text = tool({"lcd-text", "lcd", "0"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "         | Hello   \n");
    // The picture: the text's dots darker than the lit background; without
    // backlight all of it dark.
    const std::string image = (dir.path() / "lcd.pgm").string();
    auto levelsOfImage = [&]() {
        std::map<int, int> counts;
        const ToolResult picture = tool({"lcd-image", "lcd", "0", image});
        EXPECT_EQ(picture.status, 0) << picture.err;
        EXPECT_EQ(picture.out, "48x18\n");
        std::ifstream in(image);
        std::string magic;
        int w = 0, h = 0, max = 0;
        in >> magic >> w >> h >> max;
        EXPECT_EQ(magic + " " + std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(max),
                  "P2 48x18 255");
        for (int level = 0; in >> level;)
            ++counts[level];
        return counts;
    };
    std::map<int, int> counts = levelsOfImage();
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GT(counts.rbegin()->first - counts.begin()->first, 40) << "the text stands out";
    EXPECT_LT(counts.begin()->second, counts.rbegin()->second) << "fewer text dots than background";
    EXPECT_EQ(TindrelLCD_setBacklight(lcd, 0.0), TINDREL_OK);
    counts = levelsOfImage();
    EXPECT_EQ(counts, (std::map<int, int>{{0, 48 * 18}}));

    const ToolResult leds = tool({"leds", "strip", "0"});
    ASSERT_EQ(leds.status, 0) << leds.err;
    EXPECT_EQ(leds.out, "00000000 FF000000 0000FF00\n");
    EXPECT_EQ(tool({"leds", "lcd", "0"}).status, 1) << "an LCD has no LEDs";

    // What went over a bus adapter, as it went.
    TindrelDataAdapterHandle bus = nullptr;
    ASSERT_EQ(TindrelDataAdapter_create(&bus), TINDREL_OK);
    Tindrel_setDeviceSerialNumber(reinterpret_cast<TindrelHandle>(bus), 16001);
    ASSERT_EQ(Tindrel_openWaitForAttachment(reinterpret_cast<TindrelHandle>(bus), 5000), TINDREL_OK);
    const uint8_t identify[] = {0x9F}, bytes[] = {0xAA, 0x0F};
    uint8_t reply[8] = {};
    size_t replyLength = sizeof reply;
    EXPECT_EQ(TindrelDataAdapter_sendPacketWaitResponse(bus, identify, 1, reply, &replyLength), TINDREL_OK);
    EXPECT_EQ(TindrelDataAdapter_sendPacket(bus, bytes, 2), TINDREL_OK);
    const ToolResult log = tool({"bus-log", "spi"});
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_EQ(log.out, "SPI sent 9F reply 7D 1E 83 10 | SPI sent AA 0F\n");
    EXPECT_EQ(tool({"bus-log", "lcd"}).status, 1) << "a display has no bus";
    Tindrel_close(reinterpret_cast<TindrelHandle>(bus));
    TindrelDataAdapter_delete(&bus);

    Tindrel_close(reinterpret_cast<TindrelHandle>(lcd));
    Tindrel_close(reinterpret_cast<TindrelHandle>(strip));
    TindrelLCD_delete(&lcd);
    TindrelLEDArray_delete(&strip);
}

TEST(ControlServerLifecycle, OneServerPerProcessAndStopIsIdempotent)
{
    TempDir dir;
    const std::string path = (dir.path() / "one.sock").string();
    ASSERT_EQ(TindrelSim_startControlServer(path.c_str()), TINDREL_OK);
    EXPECT_EQ(TindrelSim_startControlServer((dir.path() / "two.sock").c_str()), TINDREL_EBUSY);
    size_t len = 0;
    TindrelReturnCode code = 0;
    const char *description = nullptr;
    ASSERT_EQ(Tindrel_getLastError(&code, &description, nullptr, &len), TINDREL_OK);
    std::string detail(len, '\0');
    ASSERT_EQ(Tindrel_getLastError(&code, &description, detail.data(), &len), TINDREL_OK);
    EXPECT_EQ(code, TINDREL_EBUSY);
    EXPECT_NE(detail.find(path), std::string::npos) << detail;

    EXPECT_EQ(TindrelSim_stopControlServer(), TINDREL_OK);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(TindrelSim_stopControlServer(), TINDREL_OK);

    // Without a path the server takes the default one of this process.
    ASSERT_EQ(TindrelSim_startControlServer(nullptr), TINDREL_OK);
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    const std::string expected =
        runtime && runtime[0] == '/'
            ? std::string(runtime) + "/tindrelsim-" + std::to_string(getpid()) + ".sock"
            : "/tmp/tindrelsim-" + std::to_string(getuid()) + "-" + std::to_string(getpid()) + ".sock";
    EXPECT_EQ(access(expected.c_str(), F_OK), 0) << expected;
    EXPECT_EQ(TindrelSim_stopControlServer(), TINDREL_OK);
}
