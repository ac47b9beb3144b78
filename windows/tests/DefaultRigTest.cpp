// Every channel of the default rig, local and on its servers, opens from its
// row of the device tree through the panel's dispatch the window the panel
// picks for it, and that window attaches to the channel without logging an
// error. The channels go class by class, a few windows at a time.
#include "ErrorEventLog.h"
#include "ExampleWindowDispatch.h"
#include "ManagedTree.h"
#include "ViewFormController.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <tindrel22.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QTextEdit>

#include <map>
#include <memory>
#include <set>
#include <vector>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

// Channels with a row but no window: the double-click says so.
const std::set<int> withoutWindow{
    TINDREL_CHCLASS_FIRMWAREUPGRADE,   // a loader is upgraded from the firmware window
};

constexpr int windowsAtOnce = 10;
// Some windows read more a moment after the attach (the velocity
// controller's inductance, half a second on); a batch stays open beyond that.
constexpr int settleMs = 700;

// Channels the library reports as attached, by the simulator's list.
int attachedChannels()
{
    int count = 0;
    for (const auto &d : listedDevices())
        for (const auto &c : d.toObject()[u"channels"].toArray())
            count += c.toObject()[u"attached"].toBool() ? 1 : 0;
    return count;
}

// What the window's own error event log holds (the error count is shared
// by the windows of a class).
QString logged(ExampleWindow &w)
{
    const ErrorEventLog *log = w.errorEventLogWindow();
    return log ? log->errorEventLog->toPlainText() : QString();
}

QString describe(const ChannelRow &row)
{
    return QStringLiteral("%1 channel %2 of %3 (serial %4%5)")
        .arg(row.channel->chClsName)
        .arg(row.channel->channel.value_or(0))
        .arg(row.device->devname)
        .arg(row.device->devSerial)
        .arg(row.remote() ? QStringLiteral(", on ") + row.device->serverName : QString());
}

}   // namespace

class DefaultRigTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
        QCOMPARE(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE), TINDREL_OK);
    }
    void cleanupTestCase()
    {
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
        TindrelSim_clear();
    }

    void everyChannelOpensItsWindowWhichAttachesWithoutAnError()
    {
        // The tree the panel would show once every channel has reported.
        ManagedTree managed;
        const auto any = [](int, bool) { return true; };
        QTRY_VERIFY_WITH_TIMEOUT(attachedChannels() > 200 && managed.count(any) == attachedChannels(), deadlineMs);
        managed.close();
        const QList<ChannelRow> rows = channelRows(managed.tree.root());
        // A hub's own channel has no row: the tree shows the hub's ports.
        QCOMPARE(rows.size(), managed.count([](int cls, bool) { return cls != TINDREL_CHCLASS_HUB; }));
        QVERIFY(managed.count([](int cls, bool) { return cls == TINDREL_CHCLASS_HUB; }) > 0);

        std::map<int, QList<ChannelRow>> byClass;
        for (const ChannelRow &row : rows)
            byClass[row.channel->chClass].append(row);

        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        // A failed check still closes the windows (and ends their threads).
        struct CloseWindowsAtEnd {
            ~CloseWindowsAtEnd()
            {
                for (ExampleWindow *w : shownWindows<ExampleWindow>())
                    w->close();
            }
        } closeWindowsAtEnd;
        int opened = 0, remote = 0;
        for (const auto &[cls, classRows] : byClass) {
            if (withoutWindow.count(cls)) {
                for (const ChannelRow &row : classRows) {
                    QVERIFY2(!dispatch.openWindowForLeaf(row.row, nullptr), qPrintable(describe(row)));
                    QVERIFY2(shownWindows<ExampleWindow>().isEmpty(), qPrintable(describe(row)));
                    QCOMPARE(s.alerts.alerts.size(), 1);
                    QCOMPARE(s.alerts.alerts[0].title, QStringLiteral("No Example"));
                    s.alerts.alerts.clear();
                }
                continue;
            }
            for (qsizetype first = 0; first < classRows.size(); first += windowsAtOnce) {
                const QList<ChannelRow> batch = classRows.mid(first, windowsAtOnce);
                std::vector<std::unique_ptr<ViewFormController>> views;
                std::vector<std::pair<QPointer<ExampleWindow>, ChannelRow>> open;
                for (const ChannelRow &row : batch) {
                    const QList<ExampleWindow *> before = shownWindows<ExampleWindow>();
                    if (auto view = dispatch.openWindowForLeaf(row.row, nullptr))
                        views.push_back(std::move(view));
                    QVERIFY2(s.alerts.alerts.isEmpty(),
                             qPrintable(describe(row) + QStringLiteral(": ") +
                                        (s.alerts.alerts.isEmpty() ? QString() : s.alerts.alerts[0].text)));
                    ExampleWindow *made = nullptr;
                    for (ExampleWindow *w : shownWindows<ExampleWindow>())
                        if (!before.contains(w))
                            made = w;
                    QVERIFY2(made, qPrintable(describe(row)));
                    open.emplace_back(made, row);
                }
                for (const auto &[window, row] : open) {
                    QVERIFY2(window, qPrintable(describe(row)));
                    QVERIFY2(waitAttached(*window, row.device->devname), qPrintable(describe(row)));
                    QVERIFY2(logged(*window).isEmpty(),
                             qPrintable(describe(row) + QStringLiteral(" logged: ") + logged(*window)));
                    ++opened;
                    remote += row.remote() ? 1 : 0;
                }
                // Nor is anything logged by what follows the attach.
                QTest::qWait(settleMs);
                for (const auto &[window, row] : open) {
                    QVERIFY2(window, qPrintable(describe(row)));
                    QVERIFY2(logged(*window).isEmpty(),
                             qPrintable(describe(row) + QStringLiteral(" logged: ") + logged(*window)));
                    if (window->form() == ExampleWindow::Form::Window)
                        window->close();
                }
                views.clear();
                QTRY_VERIFY_WITH_TIMEOUT(shownWindows<ExampleWindow>().isEmpty(), deadlineMs);
            }
        }
        qInfo("%d windows opened and attached, %d of them on servers", opened, remote);
        QVERIFY(remote > 0);
        int without = 0;
        for (int cls : withoutWindow)
            without += byClass.count(cls) ? static_cast<int>(byClass[cls].size()) : 0;
        QCOMPARE(opened + without, static_cast<int>(rows.size()));
    }
};

QTEST_MAIN(DefaultRigTest)
#include "DefaultRigTest.moc"
