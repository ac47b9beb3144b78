// Benchmark: windows of every class with a data interval, on the default
// rig, each at its shortest data interval and recording to a file, for a
// given time (see BenchHarness.h for what it reports). The rig's directly
// plugged channels are taken a class at a time, one window each, until there
// are as many windows as asked for or no channel is left; a window without a
// data interval is closed again.
//
//   streambench [windows=50] [seconds=120] [folder for the recordings=/tmp]
#include "BenchHarness.h"
#include "ExampleWindow.h"
#include "OpenSettings.h"
#include "RecordingAlertService.h"
#include "SliderRow.h"
#include "WindowEnvironment.h"
#include "WindowRegistry.h"

#include <tindrelsim.h>

#include <nlohmann/json.hpp>

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace tindrel;

namespace {

struct Address {
    std::string className;
    int serial = 0;
    int channel = 0;
    int hubPort = 0;
    bool hubPortDevice = false;
};

// Channels of the devices plugged into this computer, straight or through
// a hub.
std::vector<Address> localChannels()
{
    // The list may grow between asking its size and reading it.
    std::string text;
    for (size_t len = 4096;; len *= 2) {
        text.assign(len, '\0');
        if (TindrelSim_list(text.data(), &len) == TINDREL_OK) {
            text.resize(len - 1);
            break;
        }
        if (len > (64u << 20))
            return {};
    }
    const nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
    if (list.is_discarded() || !list.contains("devices"))
        return {};
    std::vector<Address> out;
    for (const auto &device : list["devices"]) {
        if (device.contains("server") || !device.value("attached", false))
            continue;
        for (const auto &channel : device["channels"])
            if (channel.value("attached", false) && !channel.value("open", true))
                out.push_back({channel["class"], device["serial"], channel["index"], device.value("hubPort", 0),
                               device.value("hubPortDevice", false)});
    }
    return out;
}

// The window's data-interval sliders (a box of that title), each moved to
// its minimum; false if it shows none.
bool toShortestInterval(ExampleWindow &w)
{
    bool found = false;
    for (auto *box : w.findChildren<QGroupBox *>())
        if (box->title() == QStringLiteral("Data Interval") && !box->isHidden())
            for (auto *row : box->findChildren<SliderRow *>()) {
                row->slider->triggerAction(QAbstractSlider::SliderToMinimum);
                found = true;
            }
    return found;
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
    QTemporaryDir out(folder + QStringLiteral("/streambench-XXXXXX"));
    if (TindrelSim_loadDefaultRig() != TINDREL_OK) {
        std::fprintf(stderr, "the default rig does not load\n");
        return 1;
    }

    // Channels taken a class at a time: the first of every class, then the
    // second of every class, and so on.
    std::map<std::string, std::vector<Address>> byClass;
    for (const Address &a : localChannels())
        byClass[a.className].push_back(a);
    std::vector<Address> order;
    for (std::size_t round = 0; order.size() < 100000; ++round) {
        const std::size_t before = order.size();
        for (const auto &[name, list] : byClass)
            if (round < list.size())
                order.push_back(list[round]);
        if (order.size() == before)
            break;
    }

    const WindowRegistry registry = WindowRegistry::standard();
    RecordingAlertService alerts;
    QSettings defaults(out.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    std::vector<std::unique_ptr<ExampleWindow>> windows;
    std::vector<ExampleWindow *> measured;
    std::vector<QString> files;
    std::map<QString, int> perClass;
    quint64 before = 0;   // events taken before their window recorded
    for (const Address &a : order) {
        if (static_cast<int>(measured.size()) >= n)
            break;
        const auto *entry = registry.findWindowForm(QString::fromStdString(a.className));
        if (!entry || entry->form != ExampleWindow::Form::Window)
            continue;
        defaults.setValue(openkeys::serial, a.serial);
        defaults.setValue(openkeys::channel, a.channel);
        defaults.setValue(openkeys::hubPort, a.hubPort);
        defaults.setValue(openkeys::hubPortDevice, a.hubPortDevice);
        WindowEnvironment env{alerts, defaults, {QStringLiteral("streambench")}};
        std::unique_ptr<ExampleWindow> w(entry->make());
        w->setUp(env);
        w->show();
        if (w->streams().empty())
            continue;   // nothing to stream
        if (!bench::waitForAttach({w.get()}, 5000)) {
            std::fprintf(stderr, "%s %d/%d/%d did not attach\n", a.className.c_str(), a.serial, a.hubPort, a.channel);
            w->close();
            continue;
        }
        if (!toShortestInterval(*w)) {
            w->close();
            continue;
        }
        // From here every event the window takes in is recorded.
        w->flushValues();
        for (const auto &stream : w->streams())
            before += stream->eventCount();
        files.push_back(out.filePath(QStringLiteral("window%1.csv").arg(measured.size())));
        if (!w->startRecording(files.back())) {
            std::fprintf(stderr, "cannot record into %s\n", qPrintable(out.path()));
            return 1;
        }
        ++perClass[QString::fromStdString(a.className)];
        measured.push_back(w.get());
        windows.push_back(std::move(w));
    }
    std::printf("windows by class:");
    for (const auto &[name, count] : perClass)
        std::printf(" %s %d;", qPrintable(name), count);
    std::printf("\n");
    return bench::runAndReport(measured, files, seconds, out.path(), before);
}
