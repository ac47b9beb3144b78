#pragma once

// The panel's remembered session: where the main window was, the widths of
// the tree's columns, and the example windows that were open, each with the
// channel it shows, its place, its plot span and the settings its rows held.
// It lives in the user defaults under a group of its own. Reading it is a
// pure function of that group's keys and values, so that whatever a damaged
// store holds is tried without a window: each entry that cannot be read is
// left out and named, the rest is kept.

#include <QMap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <vector>

class QSettings;

namespace tindrel::session {

// The group of the user defaults that holds the session, and nothing else.
inline constexpr const char *group = "Session";
// Written into every store; a store of any other version is not read.
inline constexpr int formatVersion = 1;
// More than this many windows, or settings of one window, is not a session
// anyone left behind: the rest is not read.
inline constexpr int mostWindows = 200;
inline constexpr int mostSettings = 64;
// The plot spans a store may hold, in seconds.
inline constexpr double shortestPlotSpan = 1.0;
inline constexpr double longestPlotSpan = 3600.0;
inline constexpr double defaultPlotSpan = 30.0;

// The tree's columns, by the identifiers the view gives them.
inline const QStringList columnIds{QStringLiteral("NameColumn"), QStringLiteral("SerialColumn"),
                                   QStringLiteral("ChannelColumn"), QStringLiteral("VersionColumn")};

// A channel told apart as the tree tells it: the device's serial number (the
// hub's for a device on a hub port), the hub port, the channel index and
// class, whether it is a hub port's own channel, and where it is.
struct ChannelAddress {
    int serialNumber = 0;
    int hubPort = 0;
    int channel = 0;
    int channelClass = 0;
    bool hubPortDevice = false;
    bool remote = false;
    QString serverName;   // remote channels only

    bool operator==(const ChannelAddress &) const = default;
};

// One example window that was open.
struct WindowEntry {
    ChannelAddress address;
    std::optional<QPoint> position;   // top-left corner of the window's frame
    double plotSpan = defaultPlotSpan;
    bool plotOpen = false;
    // The window's bound rows, by the key the window gives each: a number or
    // an on/off value.
    QVariantMap settings;

    bool operator==(const WindowEntry &) const = default;
};

struct MainWindowPlace {
    QPoint position;
    QSize size;
    bool maximized = false;

    bool operator==(const MainWindowPlace &) const = default;
};

struct Session {
    std::optional<MainWindowPlace> mainWindow;
    QMap<QString, int> columnWidths;   // by column identifier
    std::vector<WindowEntry> windows;
    // The user asked that the next start forget all of this.
    bool startCleanAtNextLaunch = false;

    bool operator==(const Session &) const = default;
};

struct ReadResult {
    Session session;
    // One text for each entry left out, naming it and why.
    QStringList problems;
};

// Reads the keys of the session group (relative to it, as "windows/1/serial").
ReadResult readSession(const QVariantMap &values);
// The keys and values that readSession reads back as session.
QVariantMap writeSession(const Session &session);

// The one message that tells what was left out of a damaged store.
QString problemReport(const QStringList &problems);

// The session group of the user defaults, and its replacement as a whole;
// every other key of the defaults stays as it is.
QVariantMap loadGroup(QSettings &settings);
void storeGroup(QSettings &settings, const QVariantMap &values);
void clearGroup(QSettings &settings);

}   // namespace tindrel::session
