#include "SessionKeeper.h"

#include "DeviceTreeModel.h"
#include "ExampleWindow.h"
#include "ExampleWindowDispatch.h"
#include "PlotWindow.h"

#include <TindrelTreeNode.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QTreeView>

#include <algorithm>

namespace tindrel {

namespace {

// A window put here would show enough of itself on one of the screens to be
// taken hold of.
bool showsOnAScreen(const QRect &place)
{
    constexpr int enough = 32;
    const auto screens = QGuiApplication::screens();
    return std::ranges::any_of(screens, [&](const QScreen *screen) {
        const QRect shown = screen->availableGeometry().intersected(place);
        return shown.width() >= enough && shown.height() >= enough;
    });
}

QString columnIdOf(const QTreeView &tree, int section)
{
    return tree.model()->headerData(section, Qt::Horizontal, DeviceTreeModel::ColumnIdRole).toString();
}

}   // namespace

std::optional<session::ChannelAddress> sessionAddressOf(const TindrelTreeNode *leaf)
{
    const LeafChannel found = leafChannelOf(leaf);
    if (!found.channel || !found.device)
        return std::nullopt;
    const TindrelDevice &device = *found.device;
    return session::ChannelAddress{device.devSerial,
                                   device.hubPort,
                                   found.channel->channel.value_or(0),
                                   found.channel->chClass,
                                   device.hubPortDevice,
                                   device.isRemote,
                                   device.isRemote ? device.serverName : QString()};
}

SessionKeeper::SessionKeeper(QSettings &settings, bool startClean)
    : settings_(settings)
{
    session::ReadResult read = session::readSession(session::loadGroup(settings_));
    if (startClean || read.session.startCleanAtNextLaunch) {
        session::clearGroup(settings_);
        qInfo("Starting clean: the remembered session was cleared.");
        return;
    }
    if (!read.problems.isEmpty())
        qWarning("%s", qUtf8Printable(session::problemReport(read.problems)));
    remembered_ = std::move(read.session);
    waiting_ = remembered_.windows;
}

void SessionKeeper::restoreMainWindow(QMainWindow &window, QTreeView &tree) const
{
    if (const auto &place = remembered_.mainWindow) {
        if (showsOnAScreen(QRect(place->position, place->size))) {
            window.resize(place->size);
            window.move(place->position);
        } else {
            qWarning("The main window's remembered place is on no screen; it opens where it would have.");
        }
        if (place->maximized)
            window.setWindowState(window.windowState() | Qt::WindowMaximized);
    }
    for (int section = 0; section < tree.header()->count(); ++section) {
        const auto width = remembered_.columnWidths.constFind(columnIdOf(tree, section));
        if (width != remembered_.columnWidths.constEnd())
            tree.setColumnWidth(section, *width);
    }
}

bool SessionKeeper::isWaitingFor(const session::ChannelAddress &address) const
{
    return std::ranges::any_of(waiting_, [&](const session::WindowEntry &e) { return e.address == address; });
}

void SessionKeeper::openWhenAttached(const session::ChannelAddress &address)
{
    if (isWaitingFor(address))
        return;
    session::WindowEntry entry;
    entry.address = address;
    waiting_.push_back(entry);
}

std::vector<std::pair<ExampleWindow *, session::ChannelAddress>> SessionKeeper::openWindows() const
{
    std::vector<std::pair<ExampleWindow *, session::ChannelAddress>> out;
    for (const OpenWindow &o : open_)
        if (o.window && o.window->isVisible())
            out.emplace_back(o.window.data(), o.address);
    return out;
}

std::optional<session::WindowEntry> SessionKeeper::takeWaiting(const session::ChannelAddress &address)
{
    const auto it = std::ranges::find_if(waiting_, [&](const session::WindowEntry &e) { return e.address == address; });
    if (it == waiting_.end())
        return std::nullopt;
    session::WindowEntry entry = std::move(*it);
    waiting_.erase(it);
    return entry;
}

void SessionKeeper::windowOpened(ExampleWindow &window, const session::ChannelAddress &address)
{
    // A window opened by hand on a channel that had one remembered takes its place.
    takeWaiting(address);
    std::erase_if(open_, [](const OpenWindow &w) { return !w.window || !w.window->hasChannel(); });
    open_.push_back({&window, address});
}

void SessionKeeper::reopened(ExampleWindow &window, const session::WindowEntry &entry)
{
    if (entry.position) {
        if (showsOnAScreen(QRect(*entry.position, window.size())))
            window.placeAt(*entry.position);
        else
            qWarning("%s: the remembered place is on no screen; the window is centred.",
                     qUtf8Printable(window.windowTitle()));
    }
    window.setPlotSpan(entry.plotSpan);
    if (entry.plotOpen)
        window.openPlot();
    if (restoreChannelSettings() && !entry.settings.isEmpty())
        window.restoreSettingsAtNextAttach(entry.settings);
    windowOpened(window, entry.address);
}

bool SessionKeeper::restoreChannelSettings() const
{
    const QVariant on = settings_.value(QLatin1String(restoreSettingsKey));
    return on.typeId() == QMetaType::Bool ? on.toBool() : on.toString() == QLatin1String("true");
}

void SessionKeeper::setRestoreChannelSettings(bool on)
{
    settings_.setValue(QLatin1String(restoreSettingsKey), on);
    settings_.sync();
}

void SessionKeeper::setStartCleanAtNextLaunch(bool on)
{
    // Written at once, so that the next start is clean even if this one
    // never gets to its quit.
    startCleanNext_ = on;
    session::Session marked = remembered_;
    marked.startCleanAtNextLaunch = on;
    session::storeGroup(settings_, session::writeSession(marked));
}

void SessionKeeper::save(const QMainWindow &window, const QTreeView &tree)
{
    session::Session s;
    s.startCleanAtNextLaunch = startCleanNext_;
    if (startCleanNext_) {
        // The next start forgets it all: nothing else is worth keeping.
        session::storeGroup(settings_, session::writeSession(s));
        return;
    }
    const QRect place = window.isMaximized() ? window.normalGeometry() : QRect(window.pos(), window.size());
    s.mainWindow = session::MainWindowPlace{place.topLeft(), place.size(), window.isMaximized()};
    for (int section = 0; section < tree.header()->count(); ++section)
        if (tree.header()->sectionResizeMode(section) != QHeaderView::Stretch)
            s.columnWidths.insert(columnIdOf(tree, section), tree.columnWidth(section));

    for (const OpenWindow &open : open_) {
        ExampleWindow *w = open.window;
        const bool listed = std::ranges::any_of(s.windows, [&](const auto &e) { return e.address == open.address; });
        if (!w || !w->hasChannel() || listed)
            continue;
        session::WindowEntry e;
        e.address = open.address;
        e.position = w->pos();
        e.plotSpan = w->plotSpan();
        e.plotOpen = w->plot() && w->plot()->isVisible();
        e.settings = w->boundSettings();
        s.windows.push_back(std::move(e));
    }
    // Those whose channel never came stay for the next start.
    for (const session::WindowEntry &e : waiting_)
        if (std::ranges::none_of(s.windows, [&](const auto &other) { return other.address == e.address; }))
            s.windows.push_back(e);
    session::storeGroup(settings_, session::writeSession(s));
}

}   // namespace tindrel
