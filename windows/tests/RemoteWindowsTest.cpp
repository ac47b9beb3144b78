// The windows of a network server's channels, reached across a real socket:
// the daemon serves a small rig of its own; the tree shows its devices under
// its computer row, every channel's window opens from its row and attaches
// without an error, and the windows follow the server as it stops and
// comes back.
#include "DaemonProcess.h"
#include "ErrorEventLog.h"
#include "ExampleWindowDispatch.h"
#include "ManagedTree.h"
#include "ViewFormController.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <tindrel22.h>

#include <QPointer>
#include <QTextEdit>

#include <memory>
#include <vector>

using namespace tindrel;
using namespace tindrel::testing;
using server::testing::Daemon;
using server::testing::freePort;
using server::testing::TempDir;

namespace {

// One device of several classes, as a small bench machine has.
const char *kRig = R"({"devices": [
  {"id": "bench", "deviceId": 40, "class": 1, "sku": "TDR1140_0", "name": "Bench Module", "version": 120,
   "serial": 730001,
   "channels": [
    {"class": "VoltageInput", "behaviour": {"waveform": "sine", "amplitude": 1, "offset": 2.5, "period": 3}},
    {"class": "DigitalOutput"},
    {"class": "DigitalInput", "behaviour": {"waveform": "square", "amplitude": 0.5, "offset": 0.5, "period": 2}},
    {"class": "TemperatureSensor", "behaviour": {"waveform": "sine", "amplitude": 2, "offset": 21, "period": 5}}]}]})";

QString logged(ExampleWindow &w)
{
    const ErrorEventLog *log = w.errorEventLogWindow();
    return log ? log->errorEventLog->toPlainText() : QString();
}

}   // namespace

class RemoteWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TINDREL_DISCOVERY", QByteArray("dir:") + QByteArray::fromStdString(dir.file("discovery")));
        QVERIFY(loadRig(R"({"devices": []})"));
        QCOMPARE(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE), TINDREL_OK);
    }
    void cleanupTestCase()
    {
        // The windows asked for remote servers too.
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICEREMOTE);
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
    }

    void aServersChannelsOpenTheirWindowsWhichFollowTheServer()
    {
        Daemon daemon(dir, "Lab Bench", freePort(), "", true, kRig);
        daemon.start();
        ManagedTree managed;
        const auto any = [](int cls, bool remote) { return remote && cls != TINDREL_CHCLASS_HUB; };
        QTRY_VERIFY_WITH_TIMEOUT(managed.count(any) == 4, 20000);
        const QList<ChannelRow> rows = channelRows(managed.tree.root());
        QCOMPARE(rows.size(), 4);
        for (const ChannelRow &row : rows) {
            QVERIFY(row.remote());
            QCOMPARE(row.device->serverName, QStringLiteral("Lab Bench"));
        }

        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        std::vector<std::unique_ptr<ViewFormController>> views;
        std::vector<QPointer<ExampleWindow>> open;
        for (const ChannelRow &row : rows) {
            const QList<ExampleWindow *> before = shownWindows<ExampleWindow>();
            if (auto view = dispatch.openWindowForLeaf(row.row, nullptr))
                views.push_back(std::move(view));
            QVERIFY(s.alerts.alerts.isEmpty());
            for (ExampleWindow *w : shownWindows<ExampleWindow>())
                if (!before.contains(w))
                    open.emplace_back(w);
        }
        QCOMPARE(open.size(), size_t{4});
        for (auto &w : open) {
            QVERIFY(waitAttached(*w, QStringLiteral("Bench Module")));
            QVERIFY(w->tindrelInfoBoxView()->remoteLbl->isVisibleTo(w));
        }
        QTest::qWait(700);
        for (auto &w : open)
            QVERIFY2(logged(*w).isEmpty(), qPrintable(logged(*w)));

        // The server stops: every window shows its channel gone; it starts
        // again: every window has its channel back.
        daemon.stop(SIGTERM);
        for (auto &w : open)
            QVERIFY(waitDetached(*w));
        daemon.start();
        for (auto &w : open)
            QVERIFY(waitAttached(*w, QStringLiteral("Bench Module")));
        for (auto &w : open)
            w->close();
        views.clear();
        QTRY_VERIFY_WITH_TIMEOUT(shownWindows<ExampleWindow>().isEmpty(), deadlineMs);
        managed.close();
    }

private:
    TempDir dir;
};

QTEST_MAIN(RemoteWindowsTest)
#include "RemoteWindowsTest.moc"
