#pragma once

#include <QStringList>

class QSettings;

namespace tindrel {

class AlertService;

// What an example window needs from its surroundings while it opens: where
// alerts go, the user defaults holding the channel address, and the process
// arguments that may override them (the first is the program's path).
struct WindowEnvironment {
    AlertService &alerts;
    QSettings &defaults;
    QStringList arguments;
};

// Name of the control panel process; other processes showing an example
// window also take the product picture as their application icon.
inline constexpr const char *controlPanelProcessName = "Tindrel Control Panel";

}   // namespace tindrel
