// The main window against the simulated device library: the tree follows
// plugging and unplugging, remote servers, hubs and their ports, the red row
// of a device with newer firmware, double-clicks, the about panel, and a
// shut-down while events are still arriving.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "DigitalInputController.h"
#include "ExampleWindowDispatch.h"
#include "FirmwareController.h"
#include "PanelTestSupport.h"
#include "RecordingAlertService.h"
#include "TindrelInfoBox.h"
#include "ViewController.h"
#include "ViewFormController.h"
#include "WindowRegistry.h"
#include "tindrelsim.h"

using namespace tindrel;
using namespace tindrel::testsupport;

namespace {

const char *const kRig = R"({
  "computers": [
    {"id": "lab", "name": "Lab", "uniqueName": "lab-unique", "host": "lab.local", "port": 5661, "type": 2, "present": false},
    {"id": "shop", "name": "Shop", "uniqueName": "shop-unique", "host": "shop.local", "port": 5661, "type": 2, "present": false}
  ],
  "devices": [
    {"id": "din", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "version": 100,
     "channels": [{"class": 5, "count": 2}]},
    {"id": "single", "deviceId": 11, "class": 1, "name": "Single Relay", "serial": 1001, "version": 100,
     "present": false, "channels": [{"class": 6, "index": 3}]},
    {"id": "hub", "deviceId": 12, "class": 8, "name": "Port Hub", "serial": 2000, "version": 100,
     "channels": [{"class": 13}]},
    {"id": "p0di", "deviceId": 13, "class": 21, "name": "Port Digital Input", "parent": "hub", "hubPort": 0,
     "hubPortDevice": true, "channels": [{"class": 5}]},
    {"id": "p0do", "deviceId": 14, "class": 21, "name": "Port Digital Output", "parent": "hub", "hubPort": 0,
     "hubPortDevice": true, "channels": [{"class": 6}]},
    {"id": "hum", "deviceId": 15, "class": 21, "name": "Humidity Sensor", "parent": "hub", "hubPort": 0,
     "present": false, "channels": [{"class": 5}]},
    {"id": "volt", "deviceId": 16, "class": 21, "name": "Voltage Sensor", "parent": "hub", "hubPort": 3,
     "present": false, "channels": [{"class": 6}]},
    {"id": "labBoard", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "server": "lab",
     "channels": [{"class": 5}]},
    {"id": "shopBoard", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "server": "shop",
     "channels": [{"class": 5}]}
  ]
})";

void loadRig(const char *text)
{
    char err[512] = {};
    QVERIFY2(TindrelSim_loadRigText(text, "test rig", err, sizeof err) == TINDREL_OK, err);
}

QStringList rowNames(const QAbstractItemModel &model, const QModelIndex &parent)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r)
        out << model.index(r, 0, parent).data().toString();
    return out;
}

// True when the rows below parent are exactly what node shows.
bool rowsMatch(const DeviceTreeModel &model, const QModelIndex &parent, const TindrelTreeNode &node, bool isRoot)
{
    const int shown = (isRoot || node.canExpand()) ? node.childCountForTable() : 0;
    if (model.rowCount(parent) != shown)
        return false;
    for (int r = 0; r < shown; ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        if (model.nodeForIndex(i) != node.childForTable(r) || i.data().toString() != node.childForTable(r)->name())
            return false;
        if (!rowsMatch(model, i, *node.childForTable(r), false))
            return false;
    }
    return true;
}

// Counts the channels the library reports (class 13 aside) through a manager
// of the test's own, as the library sees them.
class ChannelCounter {
public:
    ChannelCounter()
    {
        TindrelManager_create(&manager_);
        TindrelManager_setOnAttachHandler(manager_, &ChannelCounter::onAttach, this);
        TindrelManager_setOnDetachHandler(manager_, &ChannelCounter::onDetach, this);
        TindrelManager_open(manager_);
    }
    ~ChannelCounter()
    {
        TindrelManager_close(manager_);
        TindrelManager_delete(&manager_);
    }
    int count() const { return count_; }

private:
    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        static_cast<ChannelCounter *>(ctx)->change(ch, 1);
    }
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        static_cast<ChannelCounter *>(ctx)->change(ch, -1);
    }
    void change(TindrelHandle ch, int by)
    {
        Tindrel_ChannelClass cls = TINDREL_CHCLASS_NOTHING;
        Tindrel_getChannelClass(ch, &cls);
        if (cls != TINDREL_CHCLASS_HUB)
            count_ += by;
    }
    TindrelManagerHandle manager_ = nullptr;
    std::atomic<int> count_{0};
};

// Marks which of two windows registered under one name was made.
template <int Tag>
class MarkerWindow : public ExampleWindowOf<MarkerWindow<Tag>> {
public:
    MarkerWindow(ExampleWindow::Form form)
        : ExampleWindowOf<MarkerWindow<Tag>>(
              ChannelHandle::opsFor<TindrelDigitalOutputHandle, TindrelDigitalOutput_create,
                                    TindrelDigitalOutput_delete>(),
              form)
    {
        ++made;
    }
    static inline int made = 0;
};
using WindowFormMarker = MarkerWindow<0>;
using ViewFormMarker = MarkerWindow<1>;

// Both forms under one name, the view form listed first.
constexpr WindowRegistry::Entry bothForms[] = {
    {"DigitalOutput", ExampleWindow::Form::View,
     [] { return static_cast<ExampleWindow *>(new ViewFormMarker(ExampleWindow::Form::View)); }},
    {"DigitalOutput", ExampleWindow::Form::Window,
     [] { return static_cast<ExampleWindow *>(new WindowFormMarker(ExampleWindow::Form::Window)); }},
};
constexpr WindowRegistry::Entry viewFormOnly[] = {bothForms[0]};

// Changes the state of digital inputs until stopped.
class InputPump {
public:
    explicit InputPump(std::vector<std::pair<const char *, int>> inputs)
        : thread_([this, inputs = std::move(inputs)] {
            for (int i = 0; !stop_; ++i) {
                for (const auto &[device, index] : inputs)
                    TindrelSim_setInputValue(device, TINDREL_CHCLASS_DIGITALINPUT, index, "State", i % 2);
                ++rounds;
            }
        })
    { }
    ~InputPump()
    {
        stop_ = true;
        thread_.join();
    }
    std::atomic<int> rounds{0};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}   // namespace

class ViewControllerTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void defaultRigFillsTheTree();
    void rowsFollowPlugAndUnplug();
    void hubsAndHubPorts();
    void remoteServersHaveTheirOwnComputerRows();
    void newerFirmwareTurnsTheDeviceRowRed();
    void redDeviceOfTheDefaultRigUpgradesAndComesBackBlack();
    void restoreModeDeviceComesBackAsItsProduct();
    void loaderRowsShowTheirProductAndSilentLoadersStayBlack();
    void doubleClicksExpandOrOpenAndControllersAreDroppedOnClose();
    void aboutPanelShowsVersionsAndCredits();
    void rowsMatchTheTreeAfterAStormOfEvents();
    void closingTheMainWindowEndsCleanlyWhileEventsArrive();
    void quittingDuringAPlugStormLeavesNoCallbackBehind();
    void managerThatCannotBeCreatedOrOpenedSaysWhy();
    void doubleClickOnARowOpensItsWindowWindowFormFirst();
    void quittingWithStreamingExampleWindowsOpen();
    void dictionaryFilesComeAndGoAsDictionaryRows();

private:
    std::unique_ptr<ViewController> start(ViewController::Options options = {});
    RecordingAlertService alerts_;
    bool terminated_ = false;
};

std::unique_ptr<ViewController> ViewControllerTest::start(ViewController::Options options)
{
    options.alerts = &alerts_;
    terminated_ = false;
    options.terminate = [this] { terminated_ = true; };
    auto vc = std::make_unique<ViewController>(std::move(options));
    vc->window()->show();
    vc->applicationDidFinishLaunching();
    return vc;
}

void ViewControllerTest::cleanup()
{
    TindrelSim_watchDictionaryDirectory("");
    TindrelSim_failManagerCalls(0, 0);
    TindrelSim_delayManagerCallbacks(0);
    alerts_.alerts.clear();
    TindrelSim_clear();
}

void ViewControllerTest::defaultRigFillsTheTree()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    ChannelCounter library;
    QTRY_VERIFY_WITH_TIMEOUT(library.count() > 0, 10000);
    auto vc = start();
    // Every channel the manager reports (class 13 aside) becomes one node.
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), library.count(), 10000);
    vc->flushViewUpdates();
    const QModelIndex local = findRow(*vc->treeModel(), QStringLiteral("Local Tindrels"));
    QVERIFY(local.isValid());
    QVERIFY(vc->tindrelTreeView()->isExpanded(local));
    QVERIFY(!local.data(Qt::DecorationRole).isValid());
    // The column identifiers are the view's.
    QCOMPARE(vc->tindrelTreeView()->model()->headerData(0, Qt::Horizontal, DeviceTreeModel::ColumnIdRole).toString(),
             QStringLiteral("NameColumn"));
}

void ViewControllerTest::rowsFollowPlugAndUnplug()
{
    loadRig(kRig);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();

    // Two channels of one device: one device row with two channel rows.
    QPersistentModelIndex board = findRow(model, QStringLiteral("Digital Board"));
    QVERIFY(board.isValid());
    QCOMPARE(model.rowCount(board), 2);
    vc->tindrelTreeView()->expand(board);
    const QPersistentModelIndex chosen = model.index(1, 0, board);
    vc->tindrelTreeView()->setCurrentIndex(chosen);

    // A single-channel device is a leaf showing its channel number.
    QVERIFY(TindrelSim_attachDevice("single") == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(findRow(model, QStringLiteral("Single Relay")).isValid(), 10000);
    const QModelIndex single = findRow(model, QStringLiteral("Single Relay"));
    QCOMPARE(model.rowCount(single), 0);
    QCOMPARE(single.siblingAtColumn(DeviceTreeModel::ChannelColumn).data().toInt(), 3);
    QCOMPARE(single.siblingAtColumn(DeviceTreeModel::SerialColumn).data().toInt(), 1001);
    QVERIFY(single.data(Qt::DecorationRole).isValid());   // a USB device

    // The user's expansion and selection survive the change.
    QVERIFY(vc->tindrelTreeView()->isExpanded(board));
    QCOMPARE(vc->tindrelTreeView()->currentIndex(), QModelIndex(chosen));

    QVERIFY(TindrelSim_detachDevice("single") == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!findRow(model, QStringLiteral("Single Relay")).isValid(), 10000);
    QVERIFY(TindrelSim_detachDevice("din") == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!board.isValid(), 10000);
    QCOMPARE(countChannels(vc->tindrels().root()), 2);
}

void ViewControllerTest::hubsAndHubPorts()
{
    loadRig(kRig);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    QTreeView *view = vc->tindrelTreeView();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();

    // The hub expanded by itself on its first channel; its port shows the
    // port-mode devices and stays collapsed.
    const QPersistentModelIndex hub = findRow(model, QStringLiteral("Port Hub"));
    QVERIFY(hub.isValid());
    QVERIFY(view->isExpanded(hub));
    QCOMPARE(rowNames(model, hub), QStringList{QStringLiteral("Port 0")});
    const QPersistentModelIndex port0 = model.index(0, 0, hub);
    QCOMPARE(rowNames(model, port0), (QStringList{"Port Digital Input", "Port Digital Output"}));
    QVERIFY(!view->isExpanded(port0));
    QVERIFY(port0.data(Qt::DecorationRole).isValid());   // the port picture

    // A real device plugged into the port is all the port shows, expanded.
    QVERIFY(TindrelSim_attachDevice("hum") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, port0), QStringList{QStringLiteral("Humidity Sensor")}, 10000);
    QVERIFY(view->isExpanded(port0));
    const QModelIndex humidity = model.index(0, 0, port0);
    QVERIFY(!humidity.siblingAtColumn(DeviceTreeModel::SerialColumn).data().isValid());

    // Unplugged, the port-mode devices are back and the port collapses.
    QVERIFY(TindrelSim_detachDevice("hum") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, port0), (QStringList{"Port Digital Input", "Port Digital Output"}),
                              10000);
    QVERIFY(!view->isExpanded(port0));

    // A port holding only one device goes with it; the hub row stays.
    QVERIFY(TindrelSim_attachDevice("volt") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, hub), (QStringList{"Port 0", "Port 3"}), 10000);
    QVERIFY(TindrelSim_detachDevice("volt") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, hub), QStringList{QStringLiteral("Port 0")}, 10000);
    QVERIFY(hub.isValid());
}

void ViewControllerTest::remoteServersHaveTheirOwnComputerRows()
{
    loadRig(kRig);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();

    QVERIFY(TindrelSim_addServer("lab") == TINDREL_OK);
    QVERIFY(TindrelSim_addServer("shop") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 3, 10000);
    QCOMPARE(rowNames(model, {}),
             (QStringList{"Local Tindrels", "Remote Server: Lab (lab.local)", "Remote Server: Shop (shop.local)"}));
    for (int r = 1; r < 3; ++r) {
        const QModelIndex server = model.index(r, 0);
        QVERIFY(server.data(Qt::DecorationRole).isValid());   // the network picture
        QVERIFY(vc->tindrelTreeView()->isExpanded(server));
        // The same model and serial number on each server: a device row each.
        QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, server), QStringList{QStringLiteral("Digital Board")}, 10000);
        QCOMPARE(model.index(0, DeviceTreeModel::SerialColumn, server).data().toInt(), 1000);
    }
    QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).isValid());

    // The server's last device gone, its row goes.
    QVERIFY(TindrelSim_removeServer("lab") == TINDREL_OK);
    QTRY_COMPARE_WITH_TIMEOUT(rowNames(model, {}), (QStringList{"Local Tindrels", "Remote Server: Shop (shop.local)"}),
                              10000);
}

void ViewControllerTest::newerFirmwareTurnsTheDeviceRowRed()
{
    loadRig(kRig);
    std::mutex m;
    QMap<int, int> lookupsByDeviceId;
    ViewController::Options options;
    options.firmwareLookup = [&](TindrelHandle device) -> std::optional<FirmwareUpgrade> {
        int32_t id = 0;
        Tindrel_getDeviceID(device, &id);
        std::lock_guard<std::mutex> lock(m);
        ++lookupsByDeviceId[id];
        if (id != 10)
            return std::nullopt;
        FirmwareUpgrade fw;
        fw.fwString = QStringLiteral("Board");
        fw.version = 105;
        return fw;
    };
    auto vc = start(std::move(options));
    const QAbstractItemModel &model = *vc->treeModel();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();
    const QModelIndex board = findRow(model, QStringLiteral("Digital Board"));
    QTRY_VERIFY_WITH_TIMEOUT(board.data(Qt::ForegroundRole).isValid(), 10000);
    for (int c = 0; c < DeviceTreeModel::ColumnCount; ++c)
        QCOMPARE(board.siblingAtColumn(c).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    // Its channels and other devices keep the standard colour.
    QVERIFY(!model.index(0, 0, board).data(Qt::ForegroundRole).isValid());
    QVERIFY(!findRow(model, QStringLiteral("Port Hub")).data(Qt::ForegroundRole).isValid());
    // One lookup per device, not per channel.
    QCOMPARE(lookupsByDeviceId.value(10), 1);
    QCOMPARE(lookupsByDeviceId.value(12), 1);
}

namespace {

bool isRed(const QModelIndex &row) { return row.data(Qt::ForegroundRole).value<QBrush>().color() == QColor(Qt::red); }

// The shown device row with this name and serial number, searched depth first.
QModelIndex deviceRow(const QAbstractItemModel &model, const QString &name, int serial, const QModelIndex &parent = {})
{
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        if (i.data().toString() == name && i.siblingAtColumn(DeviceTreeModel::SerialColumn).data().toInt() == serial)
            return i;
        const QModelIndex deeper = deviceRow(model, name, serial, i);
        if (deeper.isValid())
            return deeper;
    }
    return {};
}

}   // namespace

void ViewControllerTest::redDeviceOfTheDefaultRigUpgradesAndComesBackBlack()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    const QString name = QStringLiteral("Single Relay Board");
    // Not red: relay1 is up to date. The pressure board is older than its image.
    const QString board = QStringLiteral("Air Pressure Board");
    QTRY_VERIFY_WITH_TIMEOUT(deviceRow(model, board, 300501).isValid() && isRed(deviceRow(model, board, 300501)),
                             15000);
    QVERIFY(!isRed(deviceRow(model, name, 300333)));
    QCOMPARE(deviceRow(model, board, 300501).siblingAtColumn(DeviceTreeModel::VersionColumn).data().toInt(), 100);

    auto *fc = vc->firmware();
    QSignalSpy finished(fc, &FirmwareController::upgradeFinished);
    QList<int> progress;
    connect(fc->firmwareUpgradeProgress(), &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
    alerts_.answer = 0;   // "Upgrade"
    vc->tindrelTreeView()->setCurrentIndex(deviceRow(model, board, 300501));
    vc->deviceDoubleClicked();
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Firmware Upgrade")});
    QCOMPARE(alerts_.alerts.first().text, QStringLiteral("There is a firmware upgrade available for this device."));
    QVERIFY(fc->firmwareUpgradeProgressSheet()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(alerts_.alerts.last().text, QStringLiteral("Upgrade Successful."));
    QVERIFY(std::any_of(progress.begin(), progress.end(), [](int v) { return v > 0 && v < 100; }));
    QVERIFY(!fc->firmwareUpgradeProgressSheet()->isVisible());
    // Back after its reboot with the new version, and black.
    QTRY_VERIFY_WITH_TIMEOUT(
        deviceRow(model, board, 300501).isValid() &&
            deviceRow(model, board, 300501).siblingAtColumn(DeviceTreeModel::VersionColumn).data().toInt() == 102,
        20000);
    QTRY_VERIFY_WITH_TIMEOUT(!isRed(deviceRow(model, board, 300501)), 10000);
    // No example window was opened on the way.
    QCOMPARE(alerts_.titles().count(QStringLiteral("No Example")), 0);
}

void ViewControllerTest::restoreModeDeviceComesBackAsItsProduct()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    const QString restore = QStringLiteral("Device in Restore Mode");
    QTRY_VERIFY_WITH_TIMEOUT(findRow(model, restore).isValid() && isRed(findRow(model, restore)), 15000);
    QSignalSpy finished(vc->firmware(), &FirmwareController::upgradeFinished);
    alerts_.answer = 0;   // "Restore"
    vc->tindrelTreeView()->setCurrentIndex(findRow(model, restore));
    vc->deviceDoubleClicked();
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Firmware Restore")});
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(alerts_.alerts.last().text, QStringLiteral("Upgrade Successful."));
    const QString product = QStringLiteral("Mixed Signal I/O Board");
    QTRY_VERIFY_WITH_TIMEOUT(deviceRow(model, product, 300527).isValid(), 20000);
    QCOMPARE(deviceRow(model, product, 300527).siblingAtColumn(DeviceTreeModel::VersionColumn).data().toInt(), 905);
    QTRY_VERIFY_WITH_TIMEOUT(!isRed(deviceRow(model, product, 300527)), 10000);
    QVERIFY(!findRow(model, restore).isValid());
}

void ViewControllerTest::loaderRowsShowTheirProductAndSilentLoadersStayBlack()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    auto vc = start();
    const QAbstractItemModel &model = *vc->treeModel();
    // Identified in the background: the rows get their family in front.
    for (const char *renamed :
         {"TDR7100 Firmware Loader", "TDR5300 Firmware Loader", "TDR4500 Firmware Loader", "TDR6300 Firmware Loader"})
        QTRY_VERIFY2_WITH_TIMEOUT(findRow(model, QString::fromLatin1(renamed)).isValid(), renamed, 20000);
    // The silent loader keeps its name and its colour.
    const QModelIndex silent = deviceRow(model, QStringLiteral("Firmware Loader"), 300531);
    QVERIFY(silent.isValid());
    QVERIFY(!isRed(silent));
    QVERIFY(isRed(findRow(model, QStringLiteral("TDR7100 Firmware Loader"))));
}

void ViewControllerTest::doubleClicksExpandOrOpenAndControllersAreDroppedOnClose()
{
    loadRig(kRig);
    QList<TindrelTreeNode *> opened;
    ViewController::Options options;
    options.openLeaf = [&](TindrelTreeNode *leaf, QWidget *) {
        opened << leaf;
        auto controller = std::make_unique<ViewFormController>(std::make_unique<DigitalInputController>());
        ExampleWindow *window = controller->window();
        return OpenedWindow{window, std::move(controller)};
    };
    auto vc = start(std::move(options));
    const QAbstractItemModel &model = *vc->treeModel();
    QTreeView *view = vc->tindrelTreeView();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();

    // Nothing selected.
    view->clearSelection();
    vc->deviceDoubleClicked();
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("No Example")});
    QCOMPARE(alerts_.alerts.first().text, QStringLiteral("There is no example for this Tindrel"));

    // A row that can expand toggles.
    const QModelIndex board = findRow(model, QStringLiteral("Digital Board"));
    view->setCurrentIndex(board);
    const bool before = view->isExpanded(board);
    vc->deviceDoubleClicked();
    QCOMPARE(view->isExpanded(board), !before);
    vc->deviceDoubleClicked();
    QCOMPARE(view->isExpanded(board), before);
    QVERIFY(opened.isEmpty());

    // A leaf opens its window; the view-form controller is kept while it is open.
    QVERIFY(TindrelSim_attachDevice("single") == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(findRow(model, QStringLiteral("Single Relay")).isValid(), 10000);
    view->setCurrentIndex(findRow(model, QStringLiteral("Single Relay")));
    vc->deviceDoubleClicked();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first()->name(), QStringLiteral("Single Relay"));
    QCOMPARE(vc->exampleWindowControllers().size(), size_t(1));
    QPointer<QWidget> exampleWindow = vc->exampleWindowControllers().front()->window();
    exampleWindow->close();
    QTRY_COMPARE_WITH_TIMEOUT(vc->exampleWindowControllers().size(), size_t(0), 10000);
    QVERIFY(!terminated_);   // only the main window ends the program
}

void ViewControllerTest::aboutPanelShowsVersionsAndCredits()
{
    loadRig(kRig);
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
    auto vc = start();
    vc->aboutMenuClicked();
    QMessageBox *panel = vc->aboutPanel();
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    const char *libraryVersion = nullptr;
    QVERIFY(Tindrel_getLibraryVersion(&libraryVersion) == TINDREL_OK);
    QCOMPARE(panel->text(), QStringLiteral("Tindrel Control Panel"));
    QVERIFY(panel->informativeText().contains(QStringLiteral("9.8.7")));
    QVERIFY(panel->informativeText().contains(QString::fromUtf8(libraryVersion)));
    QVERIFY(panel->informativeText().contains(QStringLiteral("Copyright")));
    vc->aboutMenuClicked();   // a second click shows the same panel
    QCOMPARE(vc->aboutPanel(), panel);
}

void ViewControllerTest::rowsMatchTheTreeAfterAStormOfEvents()
{
    loadRig(kRig);
    auto vc = start();
    QAbstractItemModelTester tester(vc->treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    vc->tindrelTreeView()->expandAll();
    std::atomic<bool> done{false};
    std::thread plugger([&] {
        // Rows come and go within one view batch and across batches.
        const char *const ids[] = {"single", "hum", "volt", "din", "p0di"};
        for (int i = 0; i < 300; ++i) {
            const char *id = ids[i % 5];
            TindrelSim_attachDevice(id);
            if (i % 3 != 0)
                TindrelSim_detachDevice(id);
            if (i % 7 == 0)
                TindrelSim_addServer(i % 2 ? "lab" : "shop");
            if (i % 11 == 0)
                TindrelSim_removeServer(i % 2 ? "shop" : "lab");
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 60000);
    plugger.join();
    QCoreApplication::processEvents();
    vc->flushViewUpdates();
    QVERIFY(rowsMatch(*vc->treeModel(), {}, vc->tindrels().root(), true));
}

void ViewControllerTest::closingTheMainWindowEndsCleanlyWhileEventsArrive()
{
    loadRig(kRig);
    auto vc = start();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    vc->flushViewUpdates();

    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::thread plugger([&] {
        while (!stop) {
            TindrelSim_attachDevice("single");
            TindrelSim_attachDevice("hum");
            TindrelSim_detachDevice("single");
            TindrelSim_detachDevice("hum");
            ++cycles;
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(cycles > 5, 10000);
    vc->window()->close();
    QVERIFY(terminated_);
    // Returns although callbacks are waiting for this thread right now.
    vc->applicationWillTerminate();
    const int afterClose = countChannels(vc->tindrels().root());
    QTest::qWait(50);
    QCoreApplication::processEvents();
    QCOMPARE(countChannels(vc->tindrels().root()), afterClose);   // no event gets through any more
    stop = true;
    plugger.join();
    vc.reset();
}

void ViewControllerTest::quittingDuringAPlugStormLeavesNoCallbackBehind()
{
    // A manager callback the library has already started when the program
    // closes the manager runs on after it: the delay makes sure one is
    // started at every quit, and the storm keeps the callbacks coming. A
    // callback reaching a freed context shows up under the sanitizers.
    loadRig(kRig);
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::thread plugger([&] {
        while (!stop) {
            TindrelSim_attachDevice("single");
            TindrelSim_attachDevice("volt");
            TindrelSim_detachDevice("single");
            TindrelSim_detachDevice("volt");
            ++cycles;
        }
    });
    for (int round = 0; round < 12; ++round) {
        TindrelSim_delayManagerCallbacks(round % 3 == 0 ? 0 : 5 + round);
        auto vc = start();
        QTRY_VERIFY_WITH_TIMEOUT(countChannels(vc->tindrels().root()) >= 2, 10000);
        const int cyclesBefore = cycles;
        QTRY_VERIFY_WITH_TIMEOUT(cycles > cyclesBefore + 1, 10000);
        vc->window()->close();
        QVERIFY(terminated_);
        vc.reset();   // as main() does on the way out
        // The callback that was started meanwhile finishes now, and later ones find nothing.
        QTest::qWait(30);
    }
    TindrelSim_delayManagerCallbacks(0);
    stop = true;
    plugger.join();
}

void ViewControllerTest::managerThatCannotBeCreatedOrOpenedSaysWhy()
{
    loadRig(kRig);
    const struct {
        int creates, opens;
        const char *call, *detail;
    } cases[] = {
        {1, 0, "TindrelManager_create", "could not be created"},
        {0, 1, "TindrelManager_open", "could not be opened"},
    };
    for (const auto &c : cases) {
        alerts_.alerts.clear();
        QCOMPARE(TindrelSim_failManagerCalls(c.creates, c.opens), TINDREL_OK);
        auto vc = start();
        QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Tindrels Unavailable")});
        QVERIFY(alerts_.alerts.first().critical);
        const QString text = alerts_.alerts.first().text;
        QVERIFY2(text.contains(QLatin1String(c.call)) && text.contains(QLatin1String(c.detail)), qPrintable(text));
        QLabel *status = vc->managerStatusLbl();
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), text);
        QTest::qWait(50);
        QCOMPARE(countChannels(vc->tindrels().root()), 0);
    }
    // A manager that opens shows no such word.
    alerts_.alerts.clear();
    auto vc = start();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    QVERIFY(alerts_.alerts.isEmpty());
    QVERIFY(!vc->managerStatusLbl()->isVisible());
}

void ViewControllerTest::doubleClickOnARowOpensItsWindowWindowFormFirst()
{
    loadRig(kRig);
    QVERIFY(TindrelSim_attachDevice("single") == TINDREL_OK);
    QTemporaryDir dir;
    QSettings defaults(dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    WindowRegistry both(bothForms);
    WindowRegistry viewOnly(viewFormOnly);
    const WindowRegistry *registry = &both;
    ViewController::Options options;
    options.openLeaf = [&](TindrelTreeNode *leaf, QWidget *window) {
        return ExampleWindowDispatch(*registry, alerts_, defaults).openWindow(leaf, window);
    };
    auto vc = start(std::move(options));
    QTreeView *view = vc->tindrelTreeView();
    QTRY_VERIFY_WITH_TIMEOUT(findRow(*vc->treeModel(), QStringLiteral("Single Relay")).isValid(), 10000);
    vc->flushViewUpdates();
    const QModelIndex single = findRow(*vc->treeModel(), QStringLiteral("Single Relay"));
    WindowFormMarker::made = ViewFormMarker::made = 0;

    // The name has both forms: the window form is made, and kept by no one.
    doubleClickRow(view, single);
    QCOMPARE(WindowFormMarker::made, 1);
    QCOMPARE(ViewFormMarker::made, 0);
    QVERIFY(vc->exampleWindowControllers().empty());
    QCOMPARE(defaults.value(QStringLiteral("n")).toInt(), 1001);
    QCOMPARE(defaults.value(QStringLiteral("c")).toInt(), 3);
    QVERIFY(alerts_.alerts.isEmpty());

    // Only the view form: made and kept while its window is open.
    registry = &viewOnly;
    doubleClickRow(view, single);
    QCOMPARE(WindowFormMarker::made, 1);
    QCOMPARE(ViewFormMarker::made, 1);
    QCOMPARE(vc->exampleWindowControllers().size(), size_t(1));

    // A double-click on a row that can expand toggles it and opens nothing.
    const QModelIndex board = findRow(*vc->treeModel(), QStringLiteral("Digital Board"));
    const bool expanded = view->isExpanded(board);
    doubleClickRow(view, board);
    QCOMPARE(view->isExpanded(board), !expanded);
    QCOMPARE(WindowFormMarker::made + ViewFormMarker::made, 2);

    vc->applicationWillTerminate();
    QVERIFY(openExampleWindows().isEmpty());
    QVERIFY(vc->exampleWindowControllers().empty());
}

void ViewControllerTest::quittingWithStreamingExampleWindowsOpen()
{
    // The program's quit, many times over, with example windows open whose
    // values stream in: nothing hangs, every window is gone, and (under the
    // sanitizers) nothing is used after it was freed or left leaking.
    loadRig(kRig);
    const WindowRegistry registry = WindowRegistry::standard();
    for (int round = 0; round < 6; ++round) {
        QTemporaryDir dir;
        QSettings defaults(dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
        ExampleWindowDispatch dispatch(registry, alerts_, defaults);
        ViewController::Options options;
        options.openLeaf = [&](TindrelTreeNode *leaf, QWidget *window) { return dispatch.openWindow(leaf, window); };
        auto vc = start(std::move(options));
        QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
        vc->flushViewUpdates();
        vc->tindrelTreeView()->expandAll();
        // Both inputs of the board and the hub port's input.
        QList<QModelIndex> inputs;
        const QModelIndex board = findRow(*vc->treeModel(), QStringLiteral("Digital Board"));
        for (int r = 0; r < vc->treeModel()->rowCount(board); ++r)
            inputs << vc->treeModel()->index(r, 0, board);
        inputs << findRow(*vc->treeModel(), QStringLiteral("Port Digital Input"));
        QCOMPARE(inputs.size(), 3);
        for (const QModelIndex &row : inputs)
            doubleClickRow(vc->tindrelTreeView(), row);
        QTRY_COMPARE_WITH_TIMEOUT(openExampleWindows().size(), 3, 10000);
        for (ExampleWindow *w : openExampleWindows())
            QTRY_VERIFY_WITH_TIMEOUT(w->tindrelInfoBoxView()->deviceTxt->text() != QStringLiteral("Nothing"), 10000);
        {
            InputPump pump({{"din", 0}, {"din", 1}, {"p0di", 0}});
            const int rounds = pump.rounds;
            QTRY_VERIFY_WITH_TIMEOUT(pump.rounds > rounds + 20, 10000);
            QCoreApplication::processEvents();
            // Quit as the program does: the main window closes, then main()
            // terminates and destroys the controller.
            vc->window()->close();
            QVERIFY(terminated_);
            vc->applicationWillTerminate();
            QVERIFY(openExampleWindows().isEmpty());
            QVERIFY(qobject_cast<ExampleWindow *>(QApplication::activeWindow()) == nullptr);
            vc.reset();
            const int afterQuit = pump.rounds;
            QTRY_VERIFY_WITH_TIMEOUT(pump.rounds > afterQuit + 20, 10000);
        }
        QCoreApplication::processEvents();
        int exampleWidgets = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            exampleWidgets += qobject_cast<ExampleWindow *>(w) ? 1 : 0;
        QCOMPARE(exampleWidgets, 0);
        QVERIFY(alerts_.alerts.isEmpty());
    }
}

// A dictionary file of the server's dictionary directory gives a dictionary
// row below the computer; disabling or removing the file takes it away.
void ViewControllerTest::dictionaryFilesComeAndGoAsDictionaryRows()
{
    loadRig(kRig);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(TindrelSim_watchDictionaryDirectory(dir.path().toUtf8().constData()), TINDREL_OK);
    auto vc = start();
    const DeviceTreeModel &model = *vc->treeModel();
    QTRY_COMPARE_WITH_TIMEOUT(countChannels(vc->tindrels().root()), 4, 10000);
    const auto dictionaryRow = [&](int serial) -> QModelIndex {
        vc->flushViewUpdates();
        const std::function<QModelIndex(const QModelIndex &)> search = [&](const QModelIndex &parent) {
            for (int r = 0; r < model.rowCount(parent); ++r) {
                const QModelIndex i = model.index(r, 0, parent);
                // The row of a device with one channel stands for both.
                const TindrelTreeNode *node = model.nodeForIndex(i);
                const auto *d = dynamic_cast<const TindrelDevice *>(node);
                if (d && !d->children().empty())
                    node = d->children().front().get();
                const auto *c = dynamic_cast<const TindrelChannel *>(node);
                if (c && c->chClass == TINDREL_CHCLASS_DICTIONARY &&
                    i.siblingAtColumn(DeviceTreeModel::SerialColumn).data().toInt() == serial)
                    return i;
                if (const QModelIndex deeper = search(i); deeper.isValid())
                    return deeper;
            }
            return QModelIndex();
        };
        return search({});
    };
    const QString path = dir.filePath(QStringLiteral("1234.dpc"));
    const auto writeFile = [&](const char *label, bool enabled) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("[dictionary]\nlabel = \"") + label +
                "\"\nsn = \"1234\"\nenabled = " + (enabled ? "\"true\"" : "\"false\"") + "\n");
    };
    QVERIFY(!dictionaryRow(1234).isValid());
    writeFile("bench", true);
    QTRY_VERIFY_WITH_TIMEOUT(dictionaryRow(1234).isValid(), 10000);
    QCOMPARE(dictionaryRow(1234).parent().data().toString(), QStringLiteral("Local Tindrels"));
    QCOMPARE(dictionaryRow(1234).data().toString(), QStringLiteral("Server Dictionary"));
    QCOMPARE(countChannels(vc->tindrels().root()), 5);

    writeFile("bench", false);
    QTRY_VERIFY_WITH_TIMEOUT(!dictionaryRow(1234).isValid(), 10000);
    writeFile("store", true);
    QTRY_VERIFY_WITH_TIMEOUT(dictionaryRow(1234).isValid(), 10000);
    QVERIFY(QFile::remove(path));
    QTRY_VERIFY_WITH_TIMEOUT(!dictionaryRow(1234).isValid(), 10000);
    QCOMPARE(countChannels(vc->tindrels().root()), 4);
    QVERIFY(rowsMatch(model, {}, vc->tindrels().root(), true));
}

QTEST_MAIN(ViewControllerTest)
#include "ViewControllerTest.moc"
