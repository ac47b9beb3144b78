#include "BenchHarness.h"

#include "EventRecorder.h"
#include "ExampleWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <thread>
#include <unistd.h>

namespace tindrel::bench {

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

double heapInUseMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

double growthPerMinute(const std::vector<std::pair<double, double>> &samples, double seconds)
{
    std::vector<std::pair<double, double>> late;
    for (const auto &m : samples)
        if (m.first >= seconds / 2)
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

void quietOffscreenWarnings()
{
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            standard(type, context, text);
    });
}

bool waitForAttach(const std::vector<ExampleWindow *> &windows, int deadlineMs)
{
    QElapsedTimer wait;
    wait.start();
    for (ExampleWindow *w : windows)
        while (w->toolBar()->isHidden()) {
            if (wait.elapsed() > deadlineMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    return true;
}

int runAndReport(const std::vector<ExampleWindow *> &windows, const std::vector<QString> &files, int seconds,
                 const QString &folder, quint64 takenBefore)
{
    ExampleWindow::resetPostedPeak();
    // The probe: a thread posts a call every 10 ms; the main thread notes
    // how long each waited.
    using Clock = std::chrono::steady_clock;
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(seconds) * 100 + 1000);   // no growth of its own
    std::atomic<bool> stop{false};
    std::atomic<int> probesInFlight{0};
    int probePeak = 0;
    QObject *app = QCoreApplication::instance();
    std::thread prober([&] {
        while (!stop) {
            const auto posted = Clock::now();
            ++probesInFlight;
            QMetaObject::invokeMethod(
                app,
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
        if (std::getenv("TINDREL_BENCH_TRACE"))
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
    int errors = 0;
    for (ExampleWindow *w : windows) {
        w->flushValues();
        for (const auto &stream : w->streams())
            taken += stream->eventCount();
        errors = std::max(errors, w->errorCount());
        if (!w->recorder()) {
            std::fprintf(stderr, "a window stopped recording\n");
            continue;
        }
        w->recorder()->drain();
        written += w->recorder()->written();
    }
    // Closing stops the callbacks first and then writes what they
    // delivered: everything delivered is then on disk.
    for (ExampleWindow *w : windows) {
        w->close();
        for (const auto &stream : w->streams())
            delivered += stream->deliveredCount();
    }
    quint64 fileLines = 0;
    for (const QString &path : files) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            fileLines += static_cast<quint64>(std::max<qsizetype>(0, f.readAll().count('\n') - 1));
    }

    const double elapsed = run.elapsed() / 1000.0;
    const long long lost =
        static_cast<long long>(delivered) - static_cast<long long>(takenBefore) - static_cast<long long>(fileLines);
    std::printf("windows %zu, %.0f s, recording to %s\n", windows.size(), elapsed, qPrintable(folder));
    std::printf("probe every 10 ms: %zu answered, median %.2f ms, p99 %.2f ms, max %.2f ms\n", latencies.size(),
                percentile(latencies, 0.5), percentile(latencies, 0.99),
                latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()));
    std::printf("value events: delivered by the library %llu (%.0f/s), taken by the main thread %llu, "
                "recorded %llu (in files %llu, besides %llu before recording), lost %lld\n",
                static_cast<unsigned long long>(delivered), static_cast<double>(delivered) / elapsed,
                static_cast<unsigned long long>(taken), static_cast<unsigned long long>(written),
                static_cast<unsigned long long>(fileLines), static_cast<unsigned long long>(takenBefore), lost);
    std::printf("posted-call queue: peak %d window calls in flight, peak %d probes\n",
                ExampleWindow::postedInFlightPeak(), probePeak);
    std::printf("resident memory: %.1f MiB at start, %.1f MiB at end, growth %.2f MiB/min in the second half\n",
                startMiB, memory.empty() ? startMiB : memory.back().second, growthPerMinute(memory, elapsed));
    std::printf("heap in use: %.1f MiB at end, growth %.2f MiB/min in the second half\n",
                heap.empty() ? 0.0 : heap.back().second, growthPerMinute(heap, elapsed));
    std::printf("error events logged (most in one class): %d\n", errors);
    return lost == 0 ? 0 : 1;
}

}   // namespace tindrel::bench
