// remotebench: value events across the device server's socket against the
// same channels in this process, and the time they take to cross.
//   remotebench [SECONDS] [CHANNELS]
// A rig of voltage inputs at their minimum data interval is read here first,
// then served by the network server daemon on loopback and read through it.
#include "tindrel22.h"
#include "tindrelsim.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::atomic<uint64_t> events{0};

std::string rigText(int channels)
{
    std::string rig = "{\"devices\": [";
    for (int d = 0; d * 4 < channels; ++d) {
        rig += std::string(d ? "," : "") + "{\"id\": \"v" + std::to_string(d) +
               "\", \"deviceId\": 40, \"class\": 1, \"sku\": \"TDR1140_0\", \"name\": \"Bench Module\", "
               "\"version\": 120, \"serial\": " +
               std::to_string(800000 + d) + ", \"channels\": [{\"class\": \"VoltageInput\", \"index\": 0, \"count\": " +
               std::to_string(std::min(4, channels - d * 4)) +
               ", \"behaviour\": {\"waveform\": \"ramp\", \"amplitude\": 2, \"offset\": 2.5, \"period\": 1}}]}";
    }
    return rig + "]}";
}

// Opens every channel (by server when one is named), at its minimum
// interval; counts events for the time given; returns events a second.
double measure(int channels, const char *server, double seconds)
{
    std::vector<TindrelVoltageInputHandle> handles;
    for (int i = 0; i < channels; ++i) {
        TindrelVoltageInputHandle h = nullptr;
        TindrelVoltageInput_create(&h);
        auto ch = reinterpret_cast<TindrelHandle>(h);
        Tindrel_setDeviceSerialNumber(ch, 800000 + i / 4);
        Tindrel_setChannel(ch, i % 4);
        if (server)
            Tindrel_setServerName(ch, server);
        TindrelVoltageInput_setOnVoltageChangeHandler(
            h, [](TindrelVoltageInputHandle, void *, double) { ++events; }, nullptr);
        if (Tindrel_openWaitForAttachment(ch, 20000) != TINDREL_OK) {
            std::fprintf(stderr, "remotebench: channel %d did not attach\n", i);
            std::exit(1);
        }
        uint32_t lowest = 1;
        TindrelVoltageInput_getMinDataInterval(h, &lowest);
        TindrelVoltageInput_setDataInterval(h, lowest);
        handles.push_back(h);
    }
    std::this_thread::sleep_for(1s);   // settle
    const uint64_t before = events.load();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double rate = static_cast<double>(events.load() - before) / elapsed;
    for (auto &h : handles) {
        Tindrel_close(reinterpret_cast<TindrelHandle>(h));
        TindrelVoltageInput_delete(&h);
    }
    return rate;
}

}   // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const int channels = argc > 2 ? std::atoi(argv[2]) : 100;
    const auto dir = std::filesystem::temp_directory_path() / ("remotebench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "discovery");
    const std::string rig = rigText(channels);
    std::ofstream(dir / "rig.json") << rig;
    std::ofstream(dir / "server.pc") << "[tindrel]\nenabled = \"true\"\n[tindrel.network.ipv4]\nport = 47123\n"
                                        "[tindrel.network.publish]\nname = \"Bench Server\"\n"
                                        "[tindrel.www]\nenabled = \"false\"\n[tindrel.logging]\nlevel = \"warning\"\n"
                                        "file = \"" +
                                            (dir / "daemon.log").string() + "\"\n";
    char err[256];
    if (TindrelSim_loadRigText(rig.c_str(), "bench", err, sizeof err) != TINDREL_OK) {
        std::fprintf(stderr, "remotebench: %s\n", err);
        return 1;
    }
    const double local = measure(channels, nullptr, seconds);

    TindrelSim_loadRigText("{\"devices\": []}", "empty", err, sizeof err);
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        ::setenv("TINDREL_RIG", (dir / "rig.json").c_str(), 1);
        ::setenv("TINDREL_DISCOVERY", ("dir:" + (dir / "discovery").string()).c_str(), 1);
        ::execl(TINDREL_DAEMON_PATH, TINDREL_DAEMON_PATH, "-c", (dir / "server.pc").c_str(), nullptr);
        ::_exit(98);
    }
    ::setenv("TINDREL_DISCOVERY", ("dir:" + (dir / "discovery").string()).c_str(), 1);
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICEREMOTE);
    const double remote = measure(channels, "Bench Server", seconds);
    TindrelSimLinkStats stats{};
    TindrelSim_getNetworkLinkStats("Bench Server", &stats);
    TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICEREMOTE);
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
    std::filesystem::remove_all(dir);

    std::printf("channels %d at their minimum data interval, %.0f s each way\n", channels, seconds);
    std::printf("in process:     %10.0f value events/s\n", local);
    std::printf("across socket:  %10.0f value events/s (%.0f %% of in process)\n", remote,
                local > 0 ? 100 * remote / local : 0);
    std::printf("added latency:  median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", stats.latencyP50Ms,
                stats.latencyP99Ms, stats.latencyMaxMs);
    std::printf("link traffic:   %.1f MB received in all, %llu events\n", static_cast<double>(stats.bytes) / 1e6,
                static_cast<unsigned long long>(stats.events));
    return 0;
}
