// Benchmark: N voltage input windows at the shortest data interval, each
// recording to a file, for a given time (see BenchHarness.h for what it
// reports).
//
//   voltagebench [windows=50] [seconds=120] [folder for the recordings=/tmp]
#include "BenchHarness.h"
#include "ExampleWindow.h"
#include "RecordingAlertService.h"
#include "VoltageInputController.h"
#include "WindowEnvironment.h"

#include <tindrelsim.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace tindrel;

namespace {

std::string rigWithChannels(int n)
{
    return R"({"devices": [{"id": "bench", "deviceId": 7, "class": 2, "serial": 424242, "sku": "TDR5002_0",
      "name": "Bench Sensor Box", "channels": [{"class": "VoltageInput", "count": )" +
           std::to_string(n) +
           R"(, "behaviour": {"waveform": "sine", "amplitude": 1, "offset": 2.5, "period": 3, "noise": 0.01}}]}]})";
}

}   // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    bench::quietOffscreenWarnings();
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
    std::vector<ExampleWindow *> measured;
    std::vector<QString> files;
    for (int c = 0; c < n; ++c) {
        defaults.setValue("n", 424242);
        defaults.setValue("c", c);
        WindowEnvironment env{alerts, defaults, {QStringLiteral("voltagebench")}};
        windows.emplace_back(makeWindow<VoltageInputController>());
        windows.back()->setUp(env);
        windows.back()->show();
        files.push_back(out.filePath(QStringLiteral("window%1.csv").arg(c)));
        if (!windows.back()->startRecording(files.back())) {
            std::fprintf(stderr, "cannot record into %s\n", qPrintable(out.path()));
            return 1;
        }
        measured.push_back(windows.back().get());
    }
    if (!bench::waitForAttach(measured, 20000)) {
        std::fprintf(stderr, "a window did not attach\n");
        return 1;
    }
    for (auto &w : windows)
        w->dataIntervalBox->row->slider->triggerAction(QAbstractSlider::SliderToMinimum);
    return bench::runAndReport(measured, files, seconds, out.path());
}
