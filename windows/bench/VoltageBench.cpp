// Benchmark: N voltage input windows at the shortest data interval, each
// recording to a file, for a given time. Reports the main thread's response
// to a probe posted every 10 ms, events delivered against events recorded,
// the peak depth of the posted-call queue and resident memory.
//
//   voltagebench [windows=50] [seconds=120] [folder for the recordings=/tmp]
#include "EventRecorder.h"
#include "ExampleWindow.h"
#include "RecordingAlertService.h"
#include "VoltageInputController.h"
#include "WindowEnvironment.h"

#include <tindrelsim.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tindrel;

namespace {

double residentMiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the program holds from the allocator, apart from what the allocator
// keeps for reuse: growth here is the program's, growth of resident memory
// alone is the allocator's.
double heapInUseMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

std::string rigWithChannels(int n)
{
    return R"({"devices": [{"id": "bench", "deviceId": 7, "class": 2, "serial": 424242, "sku": "TDR5002_0",
      "name": "Bench Sensor Box", "channels": [{"class": "VoltageInput", "count": )" +
           std::to_string(n) +
           R"(, "behaviour": {"waveform": "sine", "amplitude": 1, "offset": 2.5, "period": 3, "noise": 0.01}}]}]})";
}

// Growth per minute: the slope of the samples after the first half minute.
double growthPerMinute(const std::vector<std::pair<double, double>> &samples)
{
    std::vector<std::pair<double, double>> late;
    for (const auto &m : samples)
        if (m.first >= 30)
            late.push_back(m);
    if (late.size() < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto &[x, y] : late) {
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double k = static_cast<double>(late.size());
    return (k * sxy - sx * sy) / (k * sxx - sx * sx) * 60.0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

}   // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int seconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 120;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    QTemporaryDir out(folder + QStringLiteral("/voltagebench-XXXXXX"));

    char err[256] = {};
    const std::string rig = rigWithChannels(n);
    if (TindrelSim_loadRigText(rig.c_str(), "bench", err, sizeof err) != TINDREL_OK) {
        std::fprintf(stderr, "rig: %s\n", err);
        return 1;
    }

    RecordingAlertService alerts;
    QSettings defaults(out.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    std::vector<std::unique_ptr<VoltageInputController>> windows;
    for (int c = 0; c < n; ++c) {
        defaults.setValue("n", 424242);
        defaults.setValue("c", c);
        WindowEnvironment env{alerts, defaults, {QStringLiteral("voltagebench")}};
        windows.emplace_back(makeWindow<VoltageInputController>());
        windows.back()->setUp(env);
        windows.back()->show();
        if (!windows.back()->startRecording(out.filePath(QStringLiteral("window%1.csv").arg(c)))) {
            std::fprintf(stderr, "cannot record into %s\n", qPrintable(out.path()));
            return 1;
        }
    }
    // Wait for every attach, then go to the shortest data interval.
    QElapsedTimer wait;
    wait.start();
    for (auto &w : windows)
        while (w->dataBox->isHidden() && wait.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (auto &w : windows)
        w->dataIntervalBox->row->slider->triggerAction(QAbstractSlider::SliderToMinimum);
    ExampleWindow::resetPostedPeak();

    // The probe: a thread posts a call every 10 ms; the main thread notes
    // how long each waited.
    using Clock = std::chrono::steady_clock;
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(seconds) * 100 + 1000);   // no growth of its own
    std::atomic<bool> stop{false};
    std::atomic<int> probesInFlight{0};
    int probePeak = 0;
    std::thread prober([&] {
        while (!stop) {
            const auto posted = Clock::now();
            ++probesInFlight;
            QMetaObject::invokeMethod(
                &app,
                [&, posted] {
                    probePeak = std::max(probePeak, probesInFlight.load());
                    --probesInFlight;
                    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    const double startMiB = residentMiB();
    std::vector<std::pair<double, double>> memory;   // (s, MiB)
    std::vector<std::pair<double, double>> heap;     // (s, MiB)
    QElapsedTimer run;
    run.start();
    QTimer sampler;
    sampler.setInterval(5000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        memory.emplace_back(run.elapsed() / 1000.0, residentMiB());
        heap.emplace_back(run.elapsed() / 1000.0, heapInUseMiB());
        if (std::getenv("VOLTAGEBENCH_TRACE"))
            std::fprintf(stderr, "%.0f s: resident %.2f MiB, heap %.2f MiB\n", memory.back().first,
                         memory.back().second, heap.back().second);
    });
    sampler.start();
    // A loop of its own: quitting the application would close the windows.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    stop = true;
    prober.join();
    QCoreApplication::processEvents();

    quint64 delivered = 0, taken = 0, written = 0;
    for (auto &w : windows) {
        w->flushValues();
        for (const auto &stream : w->streams())
            taken += stream->eventCount();
        if (!w->recorder()) {
            std::fprintf(stderr, "a window stopped recording\n");
            continue;
        }
        w->recorder()->drain();
        written += w->recorder()->written();
    }
    // Closing stops the callbacks first and then writes what they
    // delivered: everything delivered is then on disk.
    for (auto &w : windows) {
        w->close();
        for (const auto &stream : w->streams())
            delivered += stream->deliveredCount();
    }
    quint64 fileLines = 0;
    for (int c = 0; c < n; ++c) {
        QFile f(out.filePath(QStringLiteral("window%1.csv").arg(c)));
        if (f.open(QIODevice::ReadOnly))
            fileLines += static_cast<quint64>(std::max<qsizetype>(0, f.readAll().count('\n') - 1));
    }

    const double slope = growthPerMinute(memory);
    const double heapSlope = growthPerMinute(heap);
    const double seconds_ = run.elapsed() / 1000.0;
    std::printf("windows %d, %.0f s, recording to %s\n", n, seconds_, qPrintable(out.path()));
    std::printf("probe every 10 ms: %zu answered, median %.2f ms, p99 %.2f ms, max %.2f ms\n", latencies.size(),
                percentile(latencies, 0.5), percentile(latencies, 0.99),
                latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()));
    std::printf("value events: delivered by the library %llu (%.0f/s), taken by the main thread %llu, "
                "recorded %llu (in files %llu), lost %lld\n",
                static_cast<unsigned long long>(delivered), static_cast<double>(delivered) / seconds_,
                static_cast<unsigned long long>(taken), static_cast<unsigned long long>(written),
                static_cast<unsigned long long>(fileLines),
                static_cast<long long>(delivered) - static_cast<long long>(fileLines));
    std::printf("posted-call queue: peak %d window calls in flight, peak %d probes\n",
                ExampleWindow::postedInFlightPeak(), probePeak);
    std::printf("resident memory: %.1f MiB at start, %.1f MiB at end, growth %.2f MiB/min after the first 30 s\n",
                startMiB, memory.empty() ? startMiB : memory.back().second, slope);
    std::printf("error events logged: %d\n", windows.empty() ? 0 : windows.front()->errorCount());
    std::printf("heap in use: %.1f MiB at end, growth %.2f MiB/min after the first 30 s\n",
                heap.empty() ? 0.0 : heap.back().second, heapSlope);
    return 0;
}
