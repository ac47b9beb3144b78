// Opening example windows from rows of the device tree, and the registry.
#include "DigitalOutputController.h"
#include "ExampleWindowDispatch.h"
#include "ManagedTree.h"
#include "ViewFormController.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <DeviceTree.h>
#include <TindrelTreeNode.h>
#include <tindrel22.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "out", "deviceId": 17, "class": 1, "serial": 1700, "name": "LED Driver 17",
     "channels": [{"class": "DigitalOutput", "subclass": 17, "count": 2}]}
  ]
})";

template <class Tag>
class MarkerWindow : public ExampleWindowOf<MarkerWindow<Tag>> {
public:
    explicit MarkerWindow(ExampleWindow::Form form)
        : ExampleWindowOf<MarkerWindow<Tag>>(
              ChannelHandle::opsFor<TindrelDigitalInputHandle, TindrelDigitalInput_create,
                                    TindrelDigitalInput_delete>(),
              form)
    {
        ++made;
    }
    static inline int made = 0;
};
struct TextTag { };
struct GraphicTag { };
struct BothTag { };
using TextWindow = MarkerWindow<TextTag>;
using GraphicWindow = MarkerWindow<GraphicTag>;

constexpr WindowRegistry::Entry lcdEntries[] = {
    {"TextLCD", ExampleWindow::Form::Window,
     [] { return static_cast<ExampleWindow *>(new TextWindow(ExampleWindow::Form::Window)); }},
    {"GraphicLCD", ExampleWindow::Form::View,
     [] { return static_cast<ExampleWindow *>(new GraphicWindow(ExampleWindow::Form::View)); }},
    {"Both", ExampleWindow::Form::View,
     [] { return static_cast<ExampleWindow *>(new GraphicWindow(ExampleWindow::Form::View)); }},
    {"Both", ExampleWindow::Form::Window,
     [] { return static_cast<ExampleWindow *>(new TextWindow(ExampleWindow::Form::Window)); }},
};

struct Tree {
    TindrelTreeNode root{QStringLiteral("Tindrels")};
    ComputerNode *computer = nullptr;
    TindrelDevice *device = nullptr;

    Tree(bool remote = false, const QString &server = QString())
    {
        auto c = std::make_unique<ComputerNode>();
        c->isRemote = remote;
        computer = static_cast<ComputerNode *>(root.addChild(std::move(c)));
        auto d = std::make_unique<TindrelDevice>();
        d->devSerial = 1700;
        d->devId = 17;
        d->isRemote = remote;
        d->serverName = server;
        device = static_cast<TindrelDevice *>(computer->addChild(std::move(d)));
    }

    TindrelChannel *addChannel(const char *className, int cls, int subclass, int index)
    {
        auto ch = std::make_unique<TindrelChannel>();
        ch->chClsName = QString::fromLatin1(className);
        ch->chClass = cls;
        ch->chSubClass = subclass;
        ch->channel = index;
        return static_cast<TindrelChannel *>(device->addChild(std::move(ch)));
    }
};

template <class W>
void closeAll()
{
    for (W *w : shownWindows<W>())
        w->close();
}

bool isDigital(const QString &channelClass)
{
    return channelClass == QLatin1String("DigitalInput") || channelClass == QLatin1String("DigitalOutput");
}

// Digital channels attached on this computer, as the simulator lists them.
int localDigitalChannels()
{
    int count = 0;
    for (const auto &d : listedDevices()) {
        const QJsonObject device = d.toObject();
        if (device.contains(u"server") || !device[u"attached"].toBool())
            continue;
        for (const auto &c : device[u"channels"].toArray())
            if (c.toObject()[u"attached"].toBool() && isDigital(c.toObject()[u"class"].toString()))
                ++count;
    }
    return count;
}

bool isLocalDigital(int cls, bool remote)
{
    return !remote && (cls == TINDREL_CHCLASS_DIGITALINPUT || cls == TINDREL_CHCLASS_DIGITALOUTPUT);
}

// The local rows (a single-channel device's row stands for it) of the
// channels for which pred(class, remote) holds.
QList<TindrelTreeNode *> rowsOf(ManagedTree &managed, const std::function<bool(int, bool)> &pred)
{
    QList<TindrelTreeNode *> out;
    for (const ChannelRow &row : channelRows(managed.tree.root()))
        if (pred(row.channel->chClass, row.remote()))
            out.append(row.row);
    return out;
}

}   // namespace

class DispatchTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanup()
    {
        closeAll<ExampleWindow>();
        QTRY_VERIFY_WITH_TIMEOUT(shownWindows<ExampleWindow>().isEmpty(), deadlineMs);
    }
    void cleanupTestCase() { TindrelSim_clear(); }

    void channelRowOpensItsWindowAndWritesTheAddress()
    {
        Surroundings s;
        s.defaults().setValue("s", "stale-server");
        Tree tree;
        tree.addChannel("TindrelDigitalOutput", TINDREL_CHCLASS_DIGITALOUTPUT, 17, 0);
        TindrelChannel *second = tree.addChannel("TindrelDigitalOutput", TINDREL_CHCLASS_DIGITALOUTPUT, 17, 1);
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());

        QVERIFY(!dispatch.openWindowForLeaf(second, nullptr));
        QCOMPARE(s.defaults().value("n").toInt(), 1700);
        QCOMPARE(s.defaults().value("v").toInt(), 0);
        QCOMPARE(s.defaults().value("c").toInt(), 1);
        QCOMPARE(s.defaults().value("h").toBool(), false);
        QCOMPARE(s.defaults().value("r").toBool(), false);
        QVERIFY(!s.defaults().contains("s"));

        const auto windows = shownWindows<DigitalOutputController>();
        QCOMPARE(windows.size(), 1);
        QPointer<DigitalOutputController> window = windows.first();
        QVERIFY(waitAttached(*window, QStringLiteral("LED Driver 17")));
        QCOMPARE(window->tindrelInfoBoxView()->channelTxt->text(), QStringLiteral("1"));
        QVERIFY(s.alerts.alerts.isEmpty());

        // A window-form window owns itself: closing it frees it.
        window->close();
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), deadlineMs);
    }

    void singleChannelDeviceRowOpensItsChannel()
    {
        Surroundings s;
        Tree tree;
        tree.addChannel("TindrelDigitalOutput", TINDREL_CHCLASS_DIGITALOUTPUT, 17, 0);
        QVERIFY(!tree.device->canExpand());
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        QVERIFY(!dispatch.openWindowForLeaf(tree.device, nullptr));
        QCOMPARE(shownWindows<DigitalOutputController>().size(), 1);
        QVERIFY(waitAttached(*shownWindows<DigitalOutputController>().first(), QStringLiteral("LED Driver 17")));
    }

    // Every LED array, LCD and data adapter channel of the default rig opens
    // its window from its tree row, and the window attaches to it.
    void everyDisplayAndAdapterChannelOfTheDefaultRigOpensItsWindow()
    {
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
        ManagedTree managed;
        const std::map<int, QString> windowOf{{TINDREL_CHCLASS_LEDARRAY, QStringLiteral("LEDArray")},
                                              {TINDREL_CHCLASS_LCD, QStringLiteral("LCD")},
                                              {TINDREL_CHCLASS_DATAADAPTER, QStringLiteral("DataAdapter")}};
        const auto isLocalDisplay = [&](int cls, bool remote) { return !remote && windowOf.count(cls) > 0; };
        // 1 strip, 2 + 1 + 1 displays, 2 adapters.
        QTRY_VERIFY_WITH_TIMEOUT(managed.count(isLocalDisplay) >= 7, deadlineMs);
        managed.close();
        const QList<TindrelTreeNode *> leaves = rowsOf(managed, isLocalDisplay);
        QCOMPARE(leaves.size(), managed.count(isLocalDisplay));
        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        std::vector<std::unique_ptr<ViewFormController>> kept;
        for (TindrelTreeNode *leaf : leaves) {
            const int before = shownWindows<ExampleWindow>().size();
            if (auto controller = dispatch.openWindowForLeaf(leaf, nullptr))
                kept.push_back(std::move(controller));
            QCOMPARE(shownWindows<ExampleWindow>().size(), before + 1);
            QVERIFY(s.alerts.alerts.isEmpty());
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            [] {
                for (ExampleWindow *w : shownWindows<ExampleWindow>())
                    if (w->tindrelInfoBoxView()->deviceTxt->text() == QStringLiteral("Nothing"))
                        return false;
                return true;
            }(),
            deadlineMs);
        QCOMPARE(shownWindows<ExampleWindow>().size(), leaves.size());
        for (ExampleWindow *w : shownWindows<ExampleWindow>())
            QCOMPARE(w->errorCount(), 0);
        closeAll<ExampleWindow>();
        kept.clear();
    }

    void emptyComputerAndHubPortRowsDoNothing()
    {
        Surroundings s;
        TindrelTreeNode root;
        auto *computer = root.addChild(std::make_unique<ComputerNode>());
        auto *port = computer->addChild(std::make_unique<HubPortNode>(3, 7000));
        auto *bareDevice = computer->addChild(std::make_unique<TindrelDevice>());
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        for (TindrelTreeNode *node : {computer, port, bareDevice})
            QVERIFY(!dispatch.openWindowForLeaf(node, nullptr));
        QVERIFY(s.alerts.alerts.isEmpty());
        QVERIFY(s.defaults().allKeys().isEmpty());
        QVERIFY(shownWindows<ExampleWindow>().isEmpty());
    }

    void remoteThenLocalChannelRemovesTheServerName()
    {
        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());

        Tree remote(true, QStringLiteral("labserver"));
        remote.device->hubPort = 4;
        remote.device->hubPortDevice = true;
        dispatch.openWindowForLeaf(remote.addChannel("TindrelDigitalInput", TINDREL_CHCLASS_DIGITALINPUT, 0, 2),
                                   nullptr);
        QCOMPARE(s.defaults().value("r").toBool(), true);
        QCOMPARE(s.defaults().value("s").toString(), QStringLiteral("labserver"));
        QCOMPARE(s.defaults().value("v").toInt(), 4);
        QCOMPARE(s.defaults().value("h").toBool(), true);
        QCOMPARE(s.defaults().value("c").toInt(), 2);

        Tree local;
        dispatch.openWindowForLeaf(local.addChannel("TindrelDigitalInput", TINDREL_CHCLASS_DIGITALINPUT, 0, 0),
                                   nullptr);
        QCOMPARE(s.defaults().value("r").toBool(), false);
        QVERIFY(!s.defaults().contains("s"));
        QCOMPARE(s.defaults().value("h").toBool(), false);
    }

    void lcdSubclassesPickTextOrGraphicWindow()
    {
        Surroundings s;
        const WindowRegistry registry(lcdEntries);
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        Tree tree;
        TindrelChannel *text = tree.addChannel("TindrelLCD", 11, 81, 0);
        TindrelChannel *graphic = tree.addChannel("TindrelLCD", 11, 80, 1);

        TextWindow::made = GraphicWindow::made = 0;
        QVERIFY(!dispatch.openWindowForLeaf(text, nullptr));
        QCOMPARE(TextWindow::made, 1);

        std::unique_ptr<ViewFormController> view = dispatch.openWindowForLeaf(graphic, nullptr);
        QVERIFY(view);
        QCOMPARE(GraphicWindow::made, 1);
        QVERIFY(view->window()->isVisible());
        QCOMPARE(view->window()->form(), ExampleWindow::Form::View);
        QVERIFY(dynamic_cast<TindrelInfoBoxN *>(view->window()->tindrelInfoBoxView()));

        // The keeper drops the controller as soon as its window closes.
        QPointer<ExampleWindow> window = view->window();
        connect(view.get(), &ViewFormController::windowWillClose, this, [&view] { view.reset(); });
        window->close();
        QVERIFY(!view);
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), deadlineMs);
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void windowFormIsFoundBeforeViewForm()
    {
        const WindowRegistry registry(lcdEntries);
        const auto *entry = registry.findWindowForm(u"Both");
        QVERIFY(entry);
        QCOMPARE(entry->form, ExampleWindow::Form::Window);
        QVERIFY(registry.findViewForm(u"Both"));
        QVERIFY(!registry.findWindowForm(u"GraphicLCD"));
    }

    void channelWithoutWindowSaysNoExample()
    {
        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        Tree tree;
        QVERIFY(!dispatch.openWindowForLeaf(tree.addChannel("TindrelFirmwareUpgrade", 32, 0, 0), nullptr));
        QCOMPARE(s.alerts.alerts.size(), 1);
        QCOMPARE(s.alerts.alerts[0].title, QStringLiteral("No Example"));
        QCOMPARE(s.alerts.alerts[0].text, QStringLiteral("There is no example for this Tindrel"));
        QVERIFY(shownWindows<ExampleWindow>().isEmpty());
    }

    void everyDigitalChannelOfTheDefaultRigOpensItsWorkingWindow()
    {
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
        const int expected = localDigitalChannels();
        QVERIFY(expected > 10);
        ManagedTree managed;
        QTRY_COMPARE_WITH_TIMEOUT(managed.count(isLocalDigital), expected, deadlineMs);
        managed.close();

        const QList<TindrelTreeNode *> leaves = rowsOf(managed, isLocalDigital);
        QCOMPARE(leaves.size(), expected);

        Surroundings s;
        const WindowRegistry registry = WindowRegistry::standard();
        ExampleWindowDispatch dispatch(registry, s.alerts, s.defaults());
        int singleChannelRows = 0;
        for (TindrelTreeNode *leaf : leaves) {
            auto *device = dynamic_cast<TindrelDevice *>(leaf);
            singleChannelRows += device ? 1 : 0;
            if (!device)
                device = dynamic_cast<TindrelDevice *>(leaf->parent());
            QVERIFY(device);
            QVERIFY(!dispatch.openWindowForLeaf(leaf, nullptr));
            const auto windows = shownWindows<ExampleWindow>();
            QCOMPARE(windows.size(), 1);
            QVERIFY2(waitAttached(*windows.first(), device->devname), qPrintable(leaf->name()));
            QPointer<ExampleWindow> window = windows.first();
            window->close();
            QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), deadlineMs);
        }
        QVERIFY(singleChannelRows > 0);
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void everyRegisteredWindowHasTheFormItIsListedWith()
    {
        const WindowRegistry registry = WindowRegistry::standard();
        QVERIFY(registry.findWindowForm(u"DigitalOutput"));
        QVERIFY(registry.findWindowForm(u"DigitalInput"));
        for (const auto &entry : registry.entries()) {
            std::unique_ptr<ExampleWindow> window(entry.make());
            QCOMPARE(window->form(), entry.form);
        }
    }
};

QTEST_MAIN(DispatchTest)
#include "DispatchTest.moc"
