#pragma once

#include <QString>

namespace tindrel {

// What the about panel shows.
struct AboutInfo {
    QString version;
    QString applicationName;
    QString copyright;
    QString credits;   // the device library's version text, shown as plain text
};

inline const char *const kApplicationName = "Tindrel Control Panel";
inline const char *const kCopyright = "Copyright \u00a9 2026 Tindrels. All rights reserved.";

}   // namespace tindrel
