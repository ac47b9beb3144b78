#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

namespace tindrel {

// The channel address an example window opens: read from the user defaults
// (written by the tree's double-click) and then overridden by the process
// arguments. Pure data; applying it to a handle is TindrelInfoBox's job.
struct OpenSettings {
    int serialNumber = 0;                // "n": 0 means any serial number
    int hubPort = 0;                     // "v"
    int channel = 0;                     // "c"
    bool hubPortDevice = false;          // "h"
    bool remote = false;                 // "r"
    std::optional<QString> logFile;      // "l"
    std::optional<QString> label;        // "L"
    std::optional<QString> serverName;   // "s": implies remote
    std::optional<QString> password;     // "p": only used together with "s"

    // Serial number as handed to the library: 0 becomes "any" (-1).
    int librarySerialNumber() const;
    // "s" forces a remote open even without "r".
    bool opensRemotely() const { return remote || serverName.has_value(); }

    bool operator==(const OpenSettings &) const = default;
};

// The keys of the user defaults, shared with the code that writes them.
namespace openkeys {
inline constexpr const char *serial = "n";
inline constexpr const char *logFile = "l";
inline constexpr const char *hubPort = "v";
inline constexpr const char *channel = "c";
inline constexpr const char *hubPortDevice = "h";
inline constexpr const char *label = "L";
inline constexpr const char *remote = "r";
inline constexpr const char *serverName = "s";
inline constexpr const char *password = "p";
}   // namespace openkeys

// The leading optionally signed decimal number of text ("12abc" -> 12,
// "-3" -> -3); 0 when there is none or it does not fit in an int.
int leadingInt(QStringView text);

OpenSettings readOpenSettings(const QSettings &defaults);

// Walks the arguments in order. A flag word ("n" or "-n") that takes a value
// uses the next argument, which is itself examined in turn; "r"/"h" (or
// "-r"/"-h") set their flag; anything else is skipped. A value flag that is
// the last argument is ignored.
void applyArguments(OpenSettings &settings, const QStringList &arguments);

// The alert shown when the open settings could not be applied.
QString usageText(const QString &programPath);

}   // namespace tindrel
