// Benchmark: how fast the main window's tree fills from a 10,000-channel rig,
// and how long the main thread is ever kept from its other work meanwhile.
//
//   tree_bench [--channels N] [--hubs-only] [--rig FILE]
//
// The default rig mixes local USB boards and hubs; --hubs-only uses the
// simulator's big rig (hubs of six ports with 20-channel devices).
//
// Reports the time from opening the manager to the last row placed, and the
// longest gap between ticks of a 1 ms timer on the main thread (a stall),
// then the same for unplugging everything. Goals: all rows within 1 s, no
// stall over 100 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <QTreeView>

#include "LibraryEvents.h"
#include "RecordingAlertService.h"
#include "ViewController.h"
#include "rigs/big_rig.h"
#include "tindrelsim.h"

namespace {

struct BenchRig {
    std::string text;
    size_t nodes = 1;   // tree nodes once all is placed: the computer, ...
    int channels = 0;
};

// Local USB boards of 4 channels and hubs with port devices of 5 channels,
// about half the channels each.
BenchRig makeRig(int channels)
{
    BenchRig rig;
    std::string devices;
    auto add = [&](const std::string &d) {
        if (!devices.empty())
            devices += ",\n";
        devices += d;
    };
    int made = 0, serial = 10000, n = 0;
    while (made < channels) {
        const int left = channels - made;
        if (n % 2 == 0) {
            const int count = std::min(4, left);
            add("{\"id\": \"b" + std::to_string(n) +
                "\", \"deviceId\": 40, \"class\": 1, \"name\": \"Digital Board\", "
                "\"serial\": " +
                std::to_string(serial++) +
                ", \"version\": 100, \"channels\": [{\"class\": 5, \"count\": " + std::to_string(count) + "}]}");
            made += count;
            rig.nodes += 1 + static_cast<size_t>(count);
        } else {
            const std::string hub = "h" + std::to_string(n);
            add("{\"id\": \"" + hub + "\", \"deviceId\": 41, \"class\": 8, \"name\": \"Port Hub\", \"serial\": " +
                std::to_string(serial++) + ", \"version\": 100, \"channels\": [{\"class\": 13}]}");
            for (int port = 0; port < 4 && made < channels; ++port) {
                const int count = std::min(5, channels - made);
                add("{\"id\": \"" + hub + "p" + std::to_string(port) +
                    "\", \"deviceId\": 42, \"class\": 21, "
                    "\"name\": \"Port Output\", \"parent\": \"" +
                    hub + "\", \"hubPort\": " + std::to_string(port) +
                    ", \"version\": 100, \"channels\": [{\"class\": 6, \"count\": " + std::to_string(count) + "}]}");
                made += count;
                rig.nodes += 2 + static_cast<size_t>(count);   // port, device, channels
            }
            rig.nodes += 1;
        }
        ++n;
    }
    rig.text = "{\"devices\": [\n" + devices + "\n]}";
    rig.channels = made;
    return rig;
}

BenchRig makeHubRig(int channels)
{
    BenchRig rig;
    rig.text = tindrel_rigs::bigRig(channels);
    const size_t devices = static_cast<size_t>((channels + 19) / 20);
    const size_t hubs = (devices + 5) / 6;
    rig.nodes += hubs + devices * (2 + 20);   // hub; port, device and 20 channels each
    rig.channels = static_cast<int>(devices) * 20;
    return rig;
}

int channelNodes(const TindrelTreeNode &node)
{
    int n = dynamic_cast<const TindrelChannel *>(&node) ? 1 : 0;
    for (const auto &c : node.children())
        n += channelNodes(*c);
    return n;
}

// Longest gap between ticks of a 1 ms timer: how long the main thread was busy.
class StallMeter : public QObject {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start()
    {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        timer_.start(1);
    }
    double longestMs() const { return static_cast<double>(longest_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
};

// Runs the event loop until done() holds; returns the milliseconds it took.
template <class Done>
double runUntil(Done done, int deadlineMs = 60000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < deadlineMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}   // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption channelsOption(QStringLiteral("channels"), QStringLiteral("Channels in the rig."),
                                            QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption rigOption(QStringLiteral("rig"), QStringLiteral("Use this rig file instead."),
                                       QStringLiteral("file"));
    const QCommandLineOption hubsOption(QStringLiteral("hubs-only"), QStringLiteral("Hubs of 20-channel devices."));
    parser.addOption(channelsOption);
    parser.addOption(rigOption);
    parser.addOption(hubsOption);
    parser.process(app);
    bool ok = false;
    const int channels = parser.value(channelsOption).toInt(&ok);
    if (!ok || channels < 1) {
        std::fprintf(stderr, "tree_bench: --channels needs a positive number\n");
        return 2;
    }

    char err[1024] = {};
    const BenchRig rig = parser.isSet(hubsOption) ? makeHubRig(channels) : makeRig(channels);
    TindrelReturnCode rc =
        parser.isSet(rigOption)
            ? TindrelSim_loadRigFile(parser.value(rigOption).toLocal8Bit().constData(), err, sizeof err)
            : TindrelSim_loadRigText(rig.text.c_str(), "bench rig", err, sizeof err);
    if (rc != TINDREL_OK) {
        std::fprintf(stderr, "tree_bench: rig not loaded: %s\n", err);
        return 2;
    }

    // Floor: the same events handed to the main thread and dropped there.
    {
        int seen = 0;
        tindrel::LibraryEvents::Handlers handlers;
        handlers.attach = [&seen](TindrelHandle) { ++seen; };
        tindrel::LibraryEvents bare(std::move(handlers));
        QElapsedTimer t;
        t.start();
        TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
        bare.openManager();
        int lastSeen = -1;
        QElapsedTimer quiet;
        quiet.start();
        runUntil([&] {
            if (seen != lastSeen) {
                lastSeen = seen;
                quiet.restart();
            }
            return seen > 0 && quiet.elapsed() > 300;
        });
        std::printf("hand-off only          %d events in %.1f ms (the library and the thread hand-off)\n", seen,
                    static_cast<double>(t.nsecsElapsed()) / 1e6 - static_cast<double>(quiet.elapsed()));
        bare.stop();
    }

    tindrel::RecordingAlertService alerts;
    tindrel::ViewController::Options options;
    options.alerts = &alerts;
    tindrel::ViewController vc(std::move(options));
    vc.window()->show();
    QCoreApplication::processEvents();

    // With a rig file the node count is not known: wait until it has not
    // grown for half a second (that wait is not counted).
    const size_t expectedNodes = parser.isSet(rigOption) ? 0 : rig.nodes;

    StallMeter meter;
    meter.start();
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    vc.applicationDidFinishLaunching();
    size_t lastSeen = 0;
    QElapsedTimer quiet;
    quiet.start();
    runUntil([&] {
        // O(1) per look, so watching costs the main thread nothing noticeable.
        const size_t nodes = vc.tindrels().indexedNodeCount();
        if (nodes != lastSeen) {
            lastSeen = nodes;
            quiet.restart();
        }
        return expectedNodes > 0 ? nodes >= expectedNodes : (nodes > 0 && quiet.elapsed() > 500);
    });
    // The last rows reach the view with its next batch.
    runUntil([&] { return vc.viewUpToDate(); });
    const double fillMs = static_cast<double>(sinceOpen.nsecsElapsed()) / 1e6 -
                          (expectedNodes > 0 ? 0.0 : static_cast<double>(quiet.elapsed()));
    const double fillStall = meter.longestMs();
    const int placed = channelNodes(vc.tindrels().root());
    const int expected = parser.isSet(rigOption) ? placed : rig.channels;
    const int shownRows = vc.treeModel()->rowCount(vc.treeModel()->index(0, 0));

    std::printf("channels placed        %d of %d (top-level rows shown %d)\n", placed, expected, shownRows);
    std::printf("open -> last row       %.1f ms   (goal < 1000 ms)\n", fillMs);
    std::printf("longest main stall     %.1f ms   (goal < 100 ms)\n", fillStall);

    meter.start();
    QElapsedTimer unplug;
    unplug.start();
    TindrelSim_clear();
    runUntil([&] { return vc.tindrels().root().children().empty() && vc.viewUpToDate(); });
    std::printf("unplug all -> empty    %.1f ms, longest stall %.1f ms\n",
                static_cast<double>(unplug.nsecsElapsed()) / 1e6, meter.longestMs());

    vc.applicationWillTerminate();
    const bool met = placed == expected && fillMs < 1000 && fillStall < 100;
    std::printf("%s\n", met ? "goals met" : "goals NOT met");
    return 0;
}
