// Measures how fast the simulated library delivers events:
//   1. value events per second to a no-op handler, 100 voltage inputs at
//      their minimum data interval;
//   2. time until every attach event of a 10,000-channel rig has reached a
//      manager.
// Usage: tindrel22_bench [--seconds N] [--write-rig PATH]
//   --write-rig writes the 10,000-channel rig to PATH and exits.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "big_rig.h"
#include "tindrel22.h"
#include "tindrelsim.h"

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<long> valueEvents{0};

void noOp(TindrelVoltageInputHandle, void *, double) { valueEvents.fetch_add(1, std::memory_order_relaxed); }

bool load(const std::string &rig)
{
    char err[512] = {};
    if (TindrelSim_loadRigText(rig.c_str(), "bench rig", err, sizeof err) != TINDREL_OK) {
        std::fprintf(stderr, "cannot load the rig: %s\n", err);
        return false;
    }
    return true;
}

int valueRate(double seconds)
{
    const int n = 100;
    std::string rig = R"({"devices": [{"id": "v", "deviceId": 93, "class": 2, "name": "Inputs", "serial": 1,
        "channels": [{"class": "VoltageInput", "count": 100,
                      "behaviour": {"waveform": "sine", "amplitude": 1, "offset": 2, "period": 1}}]}]})";
    if (!load(rig))
        return 1;
    std::vector<TindrelVoltageInputHandle> handles(n);
    for (int i = 0; i < n; ++i) {
        TindrelVoltageInput_create(&handles[i]);
        TindrelHandle h = reinterpret_cast<TindrelHandle>(handles[i]);
        Tindrel_setChannel(h, i);
        TindrelVoltageInput_setOnVoltageChangeHandler(handles[i], noOp, nullptr);
        if (Tindrel_openWaitForAttachment(h, 5000) != TINDREL_OK) {
            std::fprintf(stderr, "channel %d did not attach\n", i);
            return 1;
        }
        uint32_t min = 0;
        TindrelVoltageInput_getMinDataInterval(handles[i], &min);
        TindrelVoltageInput_setDataInterval(handles[i], min);
    }
    valueEvents = 0;
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    long count = valueEvents.load();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("value events: %ld in %.2f s = %.0f events/s (100 channels at the minimum interval; ideal %d/s)\n",
                count, elapsed, count / elapsed, n * 1000);
    for (auto &h : handles)
        TindrelVoltageInput_delete(&h);
    return 0;
}

struct AttachCount {
    std::mutex m;
    std::condition_variable cv;
    long n = 0;
};

void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle)
{
    auto *a = static_cast<AttachCount *>(ctx);
    {
        std::lock_guard<std::mutex> lk(a->m);
        ++a->n;
    }
    a->cv.notify_one();
}

int attachTime()
{
    std::string rig = tindrel_rigs::bigRig(10000);
    auto t0 = Clock::now();
    if (!load(rig))
        return 1;
    auto t1 = Clock::now();
    size_t len = 0;
    TindrelSim_list(nullptr, &len);
    AttachCount count;
    TindrelManagerHandle mg = nullptr;
    TindrelManager_create(&mg);
    TindrelManager_setOnAttachHandler(mg, onAttach, &count);
    auto t2 = Clock::now();
    TindrelManager_open(mg);
    long expected = 0;
    {
        // Channels of the rig: one hub channel per hub, twenty per device.
        int devices = (10000 + 19) / 20;
        expected = devices * 20 + (devices + 5) / 6;
        std::unique_lock<std::mutex> lk(count.m);
        if (!count.cv.wait_for(lk, std::chrono::seconds(60), [&] { return count.n >= expected; })) {
            std::fprintf(stderr, "only %ld of %ld attach events arrived\n", count.n, expected);
            return 1;
        }
    }
    auto t3 = Clock::now();
    TindrelManager_close(mg);
    TindrelManager_delete(&mg);
    auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
    std::printf("rig of %ld channels: parsed and attached in %.1f ms; all attach events delivered %.1f ms after "
                "the manager opened\n",
                expected, ms(t0, t1), ms(t2, t3));
    TindrelSim_clear();
    return 0;
}

}   // namespace

int main(int argc, char **argv)
{
    double seconds = 2;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
            if (seconds <= 0) {
                std::fprintf(stderr, "--seconds needs a positive number\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--write-rig") && i + 1 < argc) {
            std::ofstream out(argv[++i]);
            out << tindrel_rigs::bigRig(10000);
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", argv[i]);
                return 1;
            }
            return 0;
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--write-rig PATH]\n", argv[0]);
            return 2;
        }
    }
    if (int rc = valueRate(seconds))
        return rc;
    return attachTime();
}
