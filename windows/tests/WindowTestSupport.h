#pragma once

// Helpers for the example-window tests: a rig loaded into the simulated
// device library, throw-away user defaults, recorded alerts, and windows made
// the way the registry makes them but owned by the test.
#include "ExampleWindow.h"
#include "RecordingAlertService.h"
#include "TindrelInfoBox.h"
#include "WindowEnvironment.h"

#include <tindrelsim.h>

#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tindrel::testing {

inline constexpr int deadlineMs = 10000;

inline bool loadRig(const char *json)
{
    char err[512] = {};
    const TindrelReturnCode rc = TindrelSim_loadRigText(json, "test-rig", err, sizeof err);
    if (rc != TINDREL_OK)
        qWarning("rig rejected: %s", err);
    return rc == TINDREL_OK;
}

// User defaults in a private file, and the alerts a window raises.
class Surroundings {
public:
    Surroundings()
        : defaults_(dir_.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat)
    { }

    QSettings &defaults() { return defaults_; }
    RecordingAlertService alerts;
    QStringList arguments{QStringLiteral("/usr/bin/tindrelexample")};

    WindowEnvironment env() { return WindowEnvironment{alerts, defaults_, arguments}; }

    // Aims the next window at the device with this serial number, channel index.
    void aimAt(int serial, int channel = 0)
    {
        defaults_.clear();
        defaults_.setValue("n", serial);
        defaults_.setValue("c", channel);
    }

    // Makes, sets up and shows a window of class W owned by the caller.
    template <class W>
    std::unique_ptr<W> open()
    {
        auto window = std::unique_ptr<W>(makeWindow<W>());
        window->setUp(env());
        window->show();
        return window;
    }

private:
    QTemporaryDir dir_;
    QSettings defaults_;
};

inline QString deviceText(ExampleWindow &w) { return w.tindrelInfoBoxView()->deviceTxt->text(); }

// Waits until the window has handled its channel's attach.
inline bool waitAttached(ExampleWindow &w, const QString &deviceName)
{
    return QTest::qWaitFor([&] { return deviceText(w) == deviceName; }, deadlineMs);
}

inline bool waitDetached(ExampleWindow &w)
{
    return QTest::qWaitFor([&] { return deviceText(w) == QStringLiteral("Nothing"); }, deadlineMs);
}

inline double simProperty(const char *device, Tindrel_ChannelClass cls, int index, const char *property)
{
    double value = -12345.0;
    if (TindrelSim_getPropertyValue(device, cls, index, property, &value) != TINDREL_OK)
        return -12345.0;
    return value;
}

}   // namespace tindrel::testing
