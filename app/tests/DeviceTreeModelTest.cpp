// The item model over the device tree, without the device library: rows,
// columns, pictures, colours, and the precise updates that keep a view's
// expansion and selection.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "DeviceTree.h"
#include "DeviceTreeModel.h"
#include "IconArt.h"
#include "RowDecoration.h"

using namespace tindrel;

namespace {

std::unique_ptr<TindrelDevice> makeDevice(const QString &name, int32_t serial, int32_t devClass = 1, int32_t devId = 5,
                                          bool portMode = false, int32_t port = 0)
{
    auto d = std::make_unique<TindrelDevice>();
    d->devname = name;
    d->setName(name);
    d->devSerial = serial;
    d->devClass = devClass;
    d->devId = devId;
    d->hubPortDevice = portMode;
    d->hubPort = port;
    d->version = 100;
    if (devClass != TINDREL_DEVCLASS_XLNK)
        d->serialNumber = serial;
    return d;
}

std::unique_ptr<TindrelChannel> makeChannel(int index, const QString &name = QStringLiteral("Digital Input"))
{
    auto c = std::make_unique<TindrelChannel>();
    c->setName(name);
    c->channel = index;
    c->chClass = TINDREL_CHCLASS_DIGITALINPUT;
    return c;
}

std::unique_ptr<ComputerNode> makeComputer(bool remote)
{
    auto c = std::make_unique<ComputerNode>();
    c->isRemote = remote;
    c->serverName = QStringLiteral("lab");
    c->serverUniqueName = QStringLiteral("lab-1");
    c->serverHostName = QStringLiteral("lab.local");
    c->updateName();
    return c;
}

TreeIcons icons()
{
    return {iconNamed(QStringLiteral("USB")), iconNamed(QStringLiteral("net")), iconNamed(QStringLiteral("xlnk"))};
}

}   // namespace

class DeviceTreeModelTest : public QObject {
    Q_OBJECT
private slots:
    void columnsAndValues();
    void pictureAndColourByNodeKind_data();
    void pictureAndColourByNodeKind();
    void iconsDrawSharplyAtAnyScale();
    void insertionsKeepExpansionAndSelection();
    void hubPortSwapsPortModeRowsForThePluggedDevice();
    void removalAndReorderKeepPersistentIndexes();
};

void DeviceTreeModelTest::columnsAndValues()
{
    DeviceTree tree;
    DeviceTreeModel model(tree, icons());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QStringList ids{"NameColumn", "SerialColumn", "ChannelColumn", "VersionColumn"};
    QCOMPARE(model.columnCount(), ids.size());
    for (int c = 0; c < ids.size(); ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal, DeviceTreeModel::ColumnIdRole).toString(), ids[c]);
    QCOMPARE(DeviceTreeModel::columnId(4), QString());

    TindrelTreeNode *local = tree.insert(tree.root(), makeComputer(false));
    TindrelTreeNode *single = tree.insert(*local, makeDevice(QStringLiteral("Single"), 42));
    tree.insert(*single, makeChannel(3));
    model.refresh(&tree.root());

    QCOMPARE(model.rowCount(), 1);
    const QModelIndex computer = model.index(0, 0);
    QCOMPARE(computer.data().toString(), QStringLiteral("Local Tindrels"));
    const QModelIndex device = model.index(0, 0, computer);
    // A single-channel device is a leaf standing for its channel.
    QCOMPARE(model.rowCount(device), 0);
    QVERIFY(!model.hasChildren(device));
    QCOMPARE(device.siblingAtColumn(DeviceTreeModel::SerialColumn).data().toInt(), 42);
    QCOMPARE(device.siblingAtColumn(DeviceTreeModel::ChannelColumn).data().toInt(), 3);
    QCOMPARE(device.siblingAtColumn(DeviceTreeModel::VersionColumn).data().toInt(), 100);
    QVERIFY(!computer.siblingAtColumn(DeviceTreeModel::SerialColumn).data().isValid());   // blank

    // A second channel makes it expandable and blanks its channel column.
    tree.insert(*single, makeChannel(4));
    model.refresh(single);
    QCOMPARE(model.rowCount(device), 2);
    QVERIFY(!device.siblingAtColumn(DeviceTreeModel::ChannelColumn).data().isValid());
    QCOMPARE(model.index(1, DeviceTreeModel::ChannelColumn, device).data().toInt(), 4);
}

void DeviceTreeModelTest::pictureAndColourByNodeKind_data()
{
    QTest::addColumn<int>("kind");   // 0 device, 1 local computer, 2 remote computer, 3 port, 4 channel
    QTest::addColumn<int>("devClass");
    QTest::addColumn<int>("devId");
    QTest::addColumn<int>("icon");
    QTest::newRow("hub") << 0 << 8 << 1 << int(TreeIcon::Usb);
    QTest::newRow("hub 123") << 0 << 8 << 123 << int(TreeIcon::None);
    QTest::newRow("hub 67") << 0 << 8 << 67 << int(TreeIcon::None);
    QTest::newRow("class 24") << 0 << 24 << 1 << int(TreeIcon::None);
    QTest::newRow("port device") << 0 << 21 << 1 << int(TreeIcon::Xlnk);
    QTest::newRow("usb device") << 0 << 1 << 123 << int(TreeIcon::Usb);
    QTest::newRow("local") << 1 << 0 << 0 << int(TreeIcon::None);
    QTest::newRow("remote") << 2 << 0 << 0 << int(TreeIcon::Net);
    QTest::newRow("port") << 3 << 0 << 0 << int(TreeIcon::Xlnk);
    QTest::newRow("channel") << 4 << 0 << 0 << int(TreeIcon::None);
}

void DeviceTreeModelTest::pictureAndColourByNodeKind()
{
    QFETCH(int, kind);
    QFETCH(int, devClass);
    QFETCH(int, devId);
    QFETCH(int, icon);
    DeviceTree tree;
    DeviceTreeModel model(tree, icons());
    TindrelTreeNode *computer = tree.insert(tree.root(), makeComputer(kind == 2));
    TindrelTreeNode *node = computer;
    if (kind == 0)
        node = tree.insert(*computer, makeDevice(QStringLiteral("D"), 1, devClass, devId));
    if (kind == 3)
        node = tree.insert(*computer, std::make_unique<HubPortNode>(0, 1));
    if (kind == 4) {
        TindrelTreeNode *d = tree.insert(*computer, makeDevice(QStringLiteral("D"), 1));
        tree.insert(*d, makeChannel(0));
        node = tree.insert(*d, makeChannel(1));
    }
    model.refresh(&tree.root());
    QCOMPARE(int(treeIconFor(*node)), icon);
    const QModelIndex index = model.indexForNode(node);
    QVERIFY(index.isValid());
    QCOMPARE(index.data(Qt::DecorationRole).isValid(), icon != int(TreeIcon::None));
    QVERIFY(!index.siblingAtColumn(1).data(Qt::DecorationRole).isValid());   // name column only
    QVERIFY(!index.data(Qt::ForegroundRole).isValid());

    if (auto *device = dynamic_cast<TindrelDevice *>(node)) {
        FirmwareUpgrade fw;
        fw.version = 101;
        device->fw = fw;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.nodeChanged(device);
        QCOMPARE(changed.size(), 1);
        for (int c = 0; c < DeviceTreeModel::ColumnCount; ++c)
            QCOMPARE(index.siblingAtColumn(c).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    }
}

void DeviceTreeModelTest::iconsDrawSharplyAtAnyScale()
{
    for (const char *name : {"USB", "net", "xlnk", "app"}) {
        const QIcon icon = iconNamed(QString::fromLatin1(name));
        QVERIFY2(!icon.isNull(), name);
        for (qreal scale : {1.0, 2.0, 3.0}) {
            const QPixmap pm = icon.pixmap(QSize(16, 16), scale);
            QCOMPARE(pm.size(), QSize(16, 16) * scale);   // real pixels, not an upscaled 16 x 16
            const QImage img = pm.toImage();
            int painted = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    painted += qAlpha(img.pixel(x, y)) > 0;
            QVERIFY2(painted > img.width() * img.height() / 10, name);
        }
    }
    QVERIFY(iconNamed(QStringLiteral("nothing")).isNull());
}

void DeviceTreeModelTest::insertionsKeepExpansionAndSelection()
{
    DeviceTree tree;
    DeviceTreeModel model(tree, icons());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QTreeView view;
    view.setModel(&model);
    TindrelTreeNode *local = tree.insert(tree.root(), makeComputer(false));
    TindrelTreeNode *m = tree.insert(*local, makeDevice(QStringLiteral("M"), 1));
    tree.insert(*m, makeChannel(0));
    TindrelTreeNode *chosen = tree.insert(*m, makeChannel(1));
    model.refresh(&tree.root());
    view.expand(model.indexForNode(local));
    view.expand(model.indexForNode(m));
    view.setCurrentIndex(model.indexForNode(chosen));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    // New devices sort before and after the expanded one.
    for (const char *name : {"A", "Z", "B"}) {
        TindrelTreeNode *d = tree.insert(*local, makeDevice(QString::fromLatin1(name), 2));
        tree.insert(*d, makeChannel(0));
        model.refresh(local);
    }
    QCOMPARE(resets.size(), 0);
    QCOMPARE(inserted.size(), 3);
    QCOMPARE(model.indexForNode(m).row(), 2);
    QVERIFY(view.isExpanded(model.indexForNode(m)));
    QCOMPARE(view.currentIndex(), model.indexForNode(chosen));
    QStringList names;
    for (int r = 0; r < model.rowCount(model.indexForNode(local)); ++r)
        names << model.index(r, 0, model.indexForNode(local)).data().toString();
    QCOMPARE(names, (QStringList{"A", "B", "M", "Z"}));
}

void DeviceTreeModelTest::hubPortSwapsPortModeRowsForThePluggedDevice()
{
    DeviceTree tree;
    DeviceTreeModel model(tree, icons());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TindrelTreeNode *local = tree.insert(tree.root(), makeComputer(false));
    TindrelTreeNode *hub = tree.insert(*local, makeDevice(QStringLiteral("Hub"), 7, TINDREL_DEVCLASS_HUB));
    TindrelTreeNode *port = tree.insert(*hub, std::make_unique<HubPortNode>(0, 7));
    for (const char *mode : {"Digital Input Mode", "Voltage Input Mode"})
        tree.insert(*port, makeDevice(QString::fromLatin1(mode), 7, TINDREL_DEVCLASS_XLNK, 1, true));
    model.refresh(&tree.root());
    const QPersistentModelIndex portIndex = model.indexForNode(port);
    QCOMPARE(model.rowCount(portIndex), 2);
    QVERIFY(!QModelIndex(portIndex).siblingAtColumn(1).data().isValid());

    TindrelTreeNode *real = tree.insert(*port, makeDevice(QStringLiteral("Humidity"), 7, TINDREL_DEVCLASS_XLNK, 9));
    tree.insert(*real, makeChannel(0));
    model.refresh(port);
    QCOMPARE(model.rowCount(portIndex), 1);
    QCOMPARE(model.index(0, 0, portIndex).data().toString(), QStringLiteral("Humidity"));
    // A hub-port device has a blank serial column.
    QVERIFY(!model.index(0, DeviceTreeModel::SerialColumn, portIndex).data().isValid());

    auto gone = tree.remove(*real);
    model.refresh(port);
    QCOMPARE(model.rowCount(portIndex), 2);
    QCOMPARE(model.index(0, 0, portIndex).data().toString(), QStringLiteral("Digital Input Mode"));
}

void DeviceTreeModelTest::removalAndReorderKeepPersistentIndexes()
{
    DeviceTree tree;
    DeviceTreeModel model(tree, icons());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TindrelTreeNode *local = tree.insert(tree.root(), makeComputer(false));
    std::vector<TindrelTreeNode *> devices;
    for (const char *name : {"A", "B", "C", "D", "E"}) {
        devices.push_back(tree.insert(*local, makeDevice(QString::fromLatin1(name), 1)));
        tree.insert(*devices.back(), makeChannel(0));
    }
    model.refresh(&tree.root());
    const QPersistentModelIndex d = model.indexForNode(devices[3]);

    // Two rows at once (B and C) go.
    auto b = tree.remove(*devices[1]);
    auto c = tree.remove(*devices[2]);
    model.refresh(local);
    QCOMPARE(model.rowCount(model.indexForNode(local)), 3);
    QCOMPARE(d.row(), 1);
    QCOMPARE(d.data().toString(), QStringLiteral("D"));

    // A renamed row moves when the list is sorted again by the next insertion.
    devices[3]->setName(QStringLiteral("0 first"));
    tree.insert(*local, makeDevice(QStringLiteral("F"), 1));
    model.refresh(local);
    QCOMPARE(d.row(), 0);
    QCOMPARE(d.data().toString(), QStringLiteral("0 first"));
    QCOMPARE(model.rowCount(model.indexForNode(local)), 4);
    // Emptying the computer and taking it away.
    auto computer = tree.remove(*local);
    model.refresh(&tree.root());
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!d.isValid());
}

QTEST_MAIN(DeviceTreeModelTest)
#include "DeviceTreeModelTest.moc"
