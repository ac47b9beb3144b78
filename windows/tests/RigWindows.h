#pragma once

// Every channel the library reports and a window for each, opened the way
// the tree's double-click opens them (for the chaos and shutdown tests).
#include "ExampleWindow.h"
#include "ViewFormController.h"
#include "WindowLogic.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <tindrel22.h>

#include <QPointer>
#include <QTest>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tindrel::testing {

// Where a channel is, as the tree writes it for its window.
struct Address {
    int serial = 0, hubPort = 0, channel = 0;
    bool hubPortDevice = false, remote = false;
    QString serverName, className;
    int cls = 0, subclass = 0;
};

struct Found {
    std::mutex m;
    std::vector<Address> channels;
};

inline void onManagerAttach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
{
    Address a;
    int32_t serial = 0, subclass = 0;
    int hubPortDevice = 0, remote = 0;
    const char *className = "", *server = "";
    Tindrel_ChannelClass cls{};
    Tindrel_getDeviceSerialNumber(ch, &serial);
    Tindrel_getHubPort(ch, &a.hubPort);
    Tindrel_getChannel(ch, &a.channel);
    Tindrel_getIsHubPortDevice(ch, &hubPortDevice);
    Tindrel_getIsRemote(ch, &remote);
    Tindrel_getChannelClassName(ch, &className);
    Tindrel_getChannelClass(ch, &cls);
    Tindrel_getChannelSubclass(ch, &subclass);
    if (remote && Tindrel_getServerName(ch, &server) == TINDREL_OK && server)
        a.serverName = QString::fromUtf8(server);
    a.serial = serial;
    a.subclass = subclass;
    a.hubPortDevice = hubPortDevice != 0;
    a.remote = remote != 0;
    a.className = QString::fromUtf8(className ? className : "");
    a.cls = static_cast<int>(cls);
    auto *found = static_cast<Found *>(ctx);
    std::lock_guard lock(found->m);
    found->channels.push_back(a);
}

// The channels a manager reports within settleMs, local and on servers.
inline std::vector<Address> attachedChannels(int settleMs = 1500)
{
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
    Found found;
    TindrelManagerHandle manager = nullptr;
    if (TindrelManager_create(&manager) != TINDREL_OK)
        return {};
    TindrelManager_setOnAttachHandler(manager, &onManagerAttach, &found);
    TindrelManager_open(manager);
    QTest::qWait(settleMs);
    TindrelManager_close(manager);
    TindrelManager_delete(&manager);
    std::lock_guard lock(found.m);
    return found.channels;
}

struct RigWindows {
    std::vector<QPointer<ExampleWindow>> windows;
    std::vector<std::unique_ptr<ViewFormController>> views;
    std::map<QPointer<ExampleWindow>, int> classOf;   // channel class of each window

    // Closes every window (window-form ones delete themselves).
    void closeAll()
    {
        for (auto &w : windows)
            if (w && w->form() == ExampleWindow::Form::Window)
                w->close();
        views.clear();
    }
};

inline RigWindows openWindows(const WindowRegistry &registry, Surroundings &s, const std::vector<Address> &channels)
{
    RigWindows open;
    for (const Address &a : channels) {
        s.defaults().clear();
        s.defaults().setValue("n", a.serial);
        s.defaults().setValue("v", a.hubPort);
        s.defaults().setValue("c", a.channel);
        s.defaults().setValue("h", a.hubPortDevice);
        s.defaults().setValue("r", a.remote);
        if (a.remote)
            s.defaults().setValue("s", a.serverName);
        const QString name = windowNameForChannel(a.className, a.cls, a.subclass);
        ExampleWindow *w = nullptr;
        if (const auto *entry = registry.findWindowForm(name)) {
            w = WindowRegistry::openWindowForm(*entry, s.env());
        } else if (const auto *view = registry.findViewForm(name)) {
            open.views.push_back(WindowRegistry::openViewForm(*view, s.env()));
            w = open.views.back()->window();
        }
        if (w) {
            open.windows.emplace_back(w);
            open.classOf[open.windows.back()] = a.cls;
        }
    }
    return open;
}

// A window on every channel the library reports, each waited for until
// attached and a second more (some windows add controls after the attach);
// all closed when this goes.
struct AttachedRigWindows {
    Surroundings s;
    const WindowRegistry registry = WindowRegistry::standard();
    const std::vector<Address> channels = attachedChannels();
    RigWindows open = openWindows(registry, s, channels);

    AttachedRigWindows()
    {
        for (const auto &w : open.windows)
            if (w && !QTest::qWaitFor([&] { return !w || deviceText(*w) != QStringLiteral("Nothing"); }, deadlineMs))
                qWarning("%s did not attach", qUtf8Printable(w->windowTitle()));
        QTest::qWait(1000);
    }
    ~AttachedRigWindows() { open.closeAll(); }
    // The default rig's channels (over two hundred), each with its window, all attached.
    bool wholeRigAttached() const
    {
        return channels.size() > 200 && open.windows.size() > 200 &&
               std::ranges::all_of(open.windows,
                                   [](const auto &w) { return w && deviceText(*w) != QStringLiteral("Nothing"); });
    }
    AttachedRigWindows(const AttachedRigWindows &) = delete;
    AttachedRigWindows &operator=(const AttachedRigWindows &) = delete;
};

}   // namespace tindrel::testing
