// tindrel upgrade: every device that has a newer shipped firmware image is
// upgraded, one after another, with progress and a summary.
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "DeviceTree.h"
#include "Enumerate.h"
#include "FirmwareCatalogue.h"
#include "FirmwareLookup.h"
#include "FirmwareUpgrader.h"
#include "Lookup.h"
#include "ManagerEvents.h"
#include "Signals.h"
#include "UpgradeDecision.h"

// The shipped images are a resource of the firmware library.
static void initShippedFirmware() { Q_INIT_RESOURCE(firmware_images); }

namespace tindrel::cli {

namespace {

constexpr OptionSpec kOptions[] = {{"dry-run", false}, {"settle", true}, {"local", false}};

// A library reference on a device handle from a manager event, so the
// device can be looked up after the event has been handled.
class Retained {
public:
    explicit Retained(TindrelHandle h)
        : h_(h && Tindrel_retain(h) == TINDREL_OK ? h : nullptr)
    { }
    ~Retained()
    {
        if (h_)
            Tindrel_release(&h_);
    }
    Retained(const Retained &) = delete;
    Retained &operator=(const Retained &) = delete;
    TindrelHandle get() const { return h_; }

private:
    TindrelHandle h_;
};

// Progress arrives on a library thread; the main thread prints the latest.
class Progress : public fw::ProgressTarget {
public:
    void progressFromLibrary(double p) override { value_ = p; }
    double value() const { return value_.load(); }

private:
    std::atomic<double> value_{0};
};

std::string deviceText(const TindrelDevice &d)
{
    std::string out = d.devname.toStdString() + " (serial " + std::to_string(d.devSerial);
    if (d.devClass == TINDREL_DEVCLASS_XLNK)
        out += ", hub port " + std::to_string(d.hubPort);
    if (d.isRemote)
        out += ", on " + d.serverName.toStdString();
    return out + ")";
}

void devicesOf(TindrelTreeNode &node, std::vector<TindrelDevice *> &out)
{
    for (const auto &child : node.children()) {
        if (auto *d = dynamic_cast<TindrelDevice *>(child.get()))
            out.push_back(d);
        devicesOf(*child, out);
    }
}

}   // namespace

int runUpgrade(Words words)
{
    std::string problem;
    auto args = parseArguments(words, kOptions, &problem);
    if (!args)
        return report(kExitUsage, "upgrade: " + problem);
    if (!args->positional.empty() || args->address().any())
        return report(kExitUsage, "usage: tindrel upgrade [--dry-run] [--local] [--settle MS]");
    long long settleMs = kDefaultSettleMs;
    if (auto f = numberOption(*args, "settle", 0, 60000, &settleMs))
        return report(f->status, f->message);

    initShippedFirmware();
    const std::vector<FirmwareUpgrade> catalogue = fw::loadFirmwares(QStringLiteral(":/firmware"));
    if (catalogue.empty())
        return report(kExitFile, "upgrade: no shipped firmware images found");

    std::atomic<bool> cancel{false};
    StopSignals stopSignals([&] { cancel = true; });

    // The tree, with a reference on each new device's handle for its lookup.
    DeviceTree tree;
    std::map<const TindrelDevice *, std::unique_ptr<Retained>> handles;
    {
        ManagerEvents manager([&](TindrelHandle ch, bool attached) {
            if (!attached) {
                const auto result = tree.detach(ch);
                if (result.removedDevice)
                    std::erase_if(handles, [&](const auto &e) {
                        for (const TindrelTreeNode *n = e.first; n; n = n->parent())
                            if (n == result.removedDevice.get())
                                return true;
                        return false;
                    });
                return;
            }
            tree.attach(ch, [&](TindrelHandle device, TindrelDevice *node) {
                handles[node] = std::make_unique<Retained>(device);
            });
        });
        if (auto f = manager.open(!args->has("local")))
            return report(f->status, f->message);
        settle(manager, static_cast<int>(settleMs), [&] { return cancel.load(); });
        manager.stop();
    }

    // Lookups off the manager's callbacks (a device showing its loader is
    // opened to ask what it is).
    std::vector<TindrelDevice *> devices;
    devicesOf(tree.root(), devices);
    std::vector<TindrelDevice *> due;
    for (TindrelDevice *d : devices) {
        const auto it = handles.find(d);
        if (it == handles.end() || !it->second->get())
            continue;
        d->fw = fw::latestFirmwareForTindrel(it->second->get(), catalogue);
        if (d->hasFirmwareUpgrade())
            due.push_back(d);
    }
    handles.clear();

    if (due.empty()) {
        std::printf("Every device has the newest shipped firmware (%zu devices checked).\n", devices.size());
        return kExitOk;
    }
    std::printf("%zu of %zu devices have a newer shipped image:\n", due.size(), devices.size());
    for (const TindrelDevice *d : due)
        std::printf("  %s: version %d -> %d\n", deviceText(*d).c_str(), d->version.value_or(0), d->fw->version);
    if (args->has("dry-run"))
        return kExitOk;

    struct Outcome {
        const TindrelDevice *device;
        const char *result;
    };
    std::vector<Outcome> outcomes;
    int failed = 0;
    for (size_t i = 0; i < due.size(); ++i) {
        const TindrelDevice &d = *due[i];
        if (cancel) {
            outcomes.push_back({&d, "not started (interrupted)"});
            ++failed;
            continue;
        }
        fw::DecisionInput in;
        in.isRemote = d.isRemote;
        in.serverMajor = d.serverMajor;
        in.serverMinor = d.serverMinor;
        in.devId = d.devId;
        in.devClass = d.devClass;
        in.deviceVersion = d.version.value_or(0);
        in.imageVersion = d.fw->version;
        const fw::UpgradeDecision decision = fw::upgradeDecision(in);
        if (decision.kind == fw::UpgradeDecision::Kind::Refuse) {
            report(kExitUpgradeFailed, deviceText(d) + ": " + decision.text.toStdString());
            outcomes.push_back({&d, "refused"});
            ++failed;
            continue;
        }
        std::fprintf(stderr, "[%zu/%zu] upgrading %s to version %d\n", i + 1, due.size(), deviceText(d).c_str(),
                     d.fw->version);
        const fw::UpgradeTarget target = fw::UpgradeTarget::fromNode(d);
        Progress progress;
        std::atomic<bool> done{false};
        bool ok = false;
        std::thread worker([&] {
            ok = fw::upgradeFirmware(target, &progress, {std::cerr, std::cerr}, &cancel);
            done = true;
        });
        int shown = -1;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int percent = static_cast<int>(std::lround(std::clamp(progress.value(), 0.0, 1.0) * 100));
            if (percent / 10 != shown / 10) {
                std::fprintf(stderr, "  %3d%%\n", percent);
                shown = percent;
            }
        }
        worker.join();
        outcomes.push_back({&d, ok ? "upgraded" : (cancel ? "failed (interrupted)" : "failed")});
        if (!ok)
            ++failed;
    }

    std::printf("\nSummary:\n");
    for (const Outcome &o : outcomes)
        std::printf("  %-60s %d -> %d  %s\n", deviceText(*o.device).c_str(), o.device->version.value_or(0),
                    o.device->fw->version, o.result);
    std::printf("%zu upgraded, %d failed\n", outcomes.size() - static_cast<size_t>(failed), failed);
    return failed ? kExitUpgradeFailed : kExitOk;
}

}   // namespace tindrel::cli
