// The firmware panel: the alerts of the decision, the progress sheet that
// follows an upgrade on the main thread only, the result alerts, and a
// shut-down in the middle of an upgrade.
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>

#include "FirmwareCatalogue.h"
#include "FirmwareController.h"
#include "RecordingAlertService.h"
#include "TindrelTreeNode.h"
#include "firmware_image.h"
#include "tindrelsim.h"

using namespace tindrel;

namespace {

const char *const kRig = R"({"devices": [
  {"id": "relay", "deviceId": 30, "class": 2, "name": "Relay", "serial": 300, "version": 100,
   "firmwareUpgradeString": "TDR3301", "channels": [{"class": "DigitalOutput"}]}]})";

const QString kFailure = QStringLiteral("Upgrade Failed!\nMake sure no other programs have this Tindrel open, unplug "
                                        "and replug the device, and try again.");

// A device node as the tree makes it, with one channel.
std::unique_ptr<TindrelDevice> node(int devId, int devClass, int version, std::optional<FirmwareUpgrade> fw)
{
    auto d = std::make_unique<TindrelDevice>();
    d->devId = devId;
    d->devClass = devClass;
    d->version = version;
    d->devSerial = 300;
    d->fw = std::move(fw);
    auto ch = std::make_unique<TindrelChannel>();
    ch->chClass = TINDREL_CHCLASS_DIGITALOUTPUT;
    d->addChild(std::move(ch));
    return d;
}

FirmwareUpgrade image(const QTemporaryDir &dir, const char *family, int version, const char *content = nullptr)
{
    tindrel_fwimage::Image img{content ? content : family, 0, static_cast<uint32_t>(version),
                               std::vector<uint8_t>(3000, 0x42)};
    const auto bytes = tindrel_fwimage::encode(img);
    QFile f(QDir(dir.path()).filePath(QString::asprintf("%s_%03d.bin.rc4", family, version)));
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    f.close();
    return *fw::initWithFile(f.fileName());
}

}   // namespace

class ControllerTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void decisionAlertsAndTheirOutcomes();
    void upgradeMovesTheSheetFromTheMainThreadAndAnnouncesSuccess();
    void refusedImageAnnouncesFailure();
    void shuttingDownDuringAnUpgradeReturnsWithoutAnAlert();

private:
    RecordingAlertService alerts_;
    QWidget window_;
    QTemporaryDir dir_;
};

void ControllerTest::init()
{
    alerts_.alerts.clear();
    alerts_.answer = 0;
    char err[256] = {};
    QVERIFY2(TindrelSim_loadRigText(kRig, "controller rig", err, sizeof err) == TINDREL_OK, err);
}

void ControllerTest::cleanup() { TindrelSim_clear(); }

void ControllerTest::decisionAlertsAndTheirOutcomes()
{
    FirmwareController fc(alerts_, &window_, dir_.path());
    FirmwareUpgrade fw;
    fw.fwString = QStringLiteral("TDR6120");
    fw.version = 300;

    // The old server: refused with one alert, whatever the answer.
    auto old = node(64, 2, 200, fw);
    old->isRemote = true;
    old->serverMajor = 2;
    old->serverMinor = 2;
    QCOMPARE(fc.offerUpgrade(*old), FirmwareController::Outcome::Refused);
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Upgrade Required")});
    QVERIFY(!fc.upgradeRunning());

    // Declining the major upgrade: its safe default is the first button.
    alerts_.alerts.clear();
    alerts_.answer = 0;
    auto major = node(64, 2, 200, fw);
    QCOMPARE(fc.offerUpgrade(*major), FirmwareController::Outcome::Declined);
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Firmware Upgrade")});
    QVERIFY(alerts_.alerts.first().text.startsWith(QStringLiteral("There is a major firmware upgrade")));

    // Restore mode, "Don't Restore".
    alerts_.alerts.clear();
    alerts_.answer = 1;
    auto restore = node(0, 23, 100, fw);
    QCOMPARE(fc.offerUpgrade(*restore), FirmwareController::Outcome::Declined);
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Firmware Restore")});
    QVERIFY(!fc.firmwareUpgradeProgressSheet()->isVisible());
}

void ControllerTest::upgradeMovesTheSheetFromTheMainThreadAndAnnouncesSuccess()
{
    window_.show();
    FirmwareController fc(alerts_, &window_, dir_.path());
    auto relay = node(30, 2, 100, image(dir_, "TDR3301", 105));
    QList<int> values;
    bool offThread = false;
    connect(
        fc.firmwareUpgradeProgress(), &QProgressBar::valueChanged, this,
        [&](int v) {
            offThread = offThread || QThread::currentThread() != qApp->thread();
            values << v;
        },
        Qt::DirectConnection);
    QSignalSpy finished(&fc, &FirmwareController::upgradeFinished);
    QCOMPARE(fc.offerUpgrade(*relay), FirmwareController::Outcome::Started);
    QCOMPARE(alerts_.titles(), QStringList{QStringLiteral("Firmware Upgrade")});
    QVERIFY(fc.firmwareUpgradeProgressSheet()->isVisible());
    QVERIFY(fc.upgradeRunning());
    relay.reset();   // the node may go while the upgrade runs
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(!offThread);
    // The bar moved through values in between, not straight to the end.
    QVERIFY(std::any_of(values.begin(), values.end(), [](int v) { return v > 0 && v < 100; }));
    QCOMPARE(values.last(), 100);
    QVERIFY(!fc.firmwareUpgradeProgressSheet()->isVisible());
    QCOMPARE(alerts_.alerts.last().title, QStringLiteral("Firmware Upgrade"));
    QCOMPARE(alerts_.alerts.last().text, QStringLiteral("Upgrade Successful."));
    QVERIFY(!fc.upgradeRunning());
}

void ControllerTest::refusedImageAnnouncesFailure()
{
    FirmwareController fc(alerts_, &window_, dir_.path());
    auto relay = node(30, 2, 100, image(dir_, "TDR3301", 106, "TDR3304"));
    QSignalSpy finished(&fc, &FirmwareController::upgradeFinished);
    fc.startUpgrade(*relay);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(alerts_.alerts.last().text, kFailure);
}

void ControllerTest::shuttingDownDuringAnUpgradeReturnsWithoutAnAlert()
{
    auto fc = std::make_unique<FirmwareController>(alerts_, &window_, dir_.path());
    auto relay = node(30, 2, 100, image(dir_, "TDR3301", 107));
    fc->startUpgrade(*relay);
    // Wait until the image is being written, then close the panel.
    QTRY_VERIFY_WITH_TIMEOUT(fc->firmwareUpgradeProgress()->value() > 0, 20000);
    fc.reset();
    QVERIFY(alerts_.alerts.isEmpty());
    // Events posted by the worker before it stopped find no controller.
    QCoreApplication::processEvents();
    QVERIFY(alerts_.alerts.isEmpty());
}

QTEST_MAIN(ControllerTest)
#include "ControllerTest.moc"
