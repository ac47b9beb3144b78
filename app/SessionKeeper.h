#pragma once

#include "SessionStore.h"

#include <QPointer>

#include <optional>
#include <vector>

class QMainWindow;
class QSettings;
class QTreeView;
class TindrelTreeNode;

namespace tindrel {

class ExampleWindow;

// The channel a leaf row of the tree stands for, as the session names it.
std::optional<session::ChannelAddress> sessionAddressOf(const TindrelTreeNode *leaf);

// Keeps the panel's session in the user defaults: reads it at start (or
// forgets it, when asked to start clean), puts the main window and the
// tree's columns back as they were, knows which remembered windows still
// wait for their channel, puts each reopened window back as it was, and
// writes the session again at quit. Main thread only.
class SessionKeeper {
public:
    // The options of the panel that go with the session, kept outside its
    // group so that starting clean keeps them.
    static constexpr const char *restoreSettingsKey = "Options/restoreChannelSettings";

    // startClean: forget the remembered session (the command line's --clean).
    SessionKeeper(QSettings &settings, bool startClean);

    void restoreMainWindow(QMainWindow &window, QTreeView &tree) const;

    // Remembered windows whose channel has not attached yet in this run.
    const std::vector<session::WindowEntry> &waiting() const { return waiting_; }
    bool isWaitingFor(const session::ChannelAddress &address) const;
    std::optional<session::WindowEntry> takeWaiting(const session::ChannelAddress &address);

    // A window now open on the channel at address; remembered while it is open.
    void windowOpened(ExampleWindow &window, const session::ChannelAddress &address);
    // A remembered window opened again: its place, its plot and (when the
    // option is on) its settings as the entry has them.
    void reopened(ExampleWindow &window, const session::WindowEntry &entry);

    // Opens a window on the channel at address when it attaches, as a
    // remembered one would (asked for on the command line); nothing when one
    // waits for it already.
    void openWhenAttached(const session::ChannelAddress &address);
    // The example windows open now with their channels, in the order they opened.
    std::vector<std::pair<ExampleWindow *, session::ChannelAddress>> openWindows() const;

    bool restoreChannelSettings() const;
    void setRestoreChannelSettings(bool on);
    bool startCleanAtNextLaunch() const { return startCleanNext_; }
    void setStartCleanAtNextLaunch(bool on);

    // Writes the session as it stands: the main window, the columns, the
    // open windows and those still waiting.
    void save(const QMainWindow &window, const QTreeView &tree);

private:
    struct OpenWindow {
        QPointer<ExampleWindow> window;
        session::ChannelAddress address;
    };

    QSettings &settings_;
    session::Session remembered_;
    std::vector<session::WindowEntry> waiting_;
    std::vector<OpenWindow> open_;
    bool startCleanNext_ = false;
};

}   // namespace tindrel
