// Channel settings files from the example windows: the command line's
// format, saved from one channel and loaded into it or another, with every
// refusal logged and a bad file refused whole.
#include "ErrorEventLog.h"
#include "FieldStepper.h"
#include "MotorPositionController.h"
#include "RigWindows.h"
#include "SettingsFile.h"
#include "VoltageInputController.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr int box7Serial = 300544;

QString logText(ExampleWindow &w)
{
    return w.errorEventLogWindow() ? w.errorEventLogWindow()->errorEventLog->toPlainText() : QString();
}

std::optional<settings::SettingsFile> readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::string problem;
    return settings::readSettings(f.readAll().toStdString(), &problem);
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

uint32_t dataInterval(VoltageInputController &w)
{
    uint32_t ms = 0;
    TindrelVoltageInput_getDataInterval(w.handle<TindrelVoltageInputHandle>(), &ms);
    return ms;
}

}   // namespace

class ChannelSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void savedSettingsLoadBackIntoTheDeviceAndTheWindow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("voltage.json"));
        Surroundings s;
        s.aimAt(box7Serial, 1);
        auto w = s.open<VoltageInputController>();
        QVERIFY(!w->saveSettingsAction()->isEnabled());
        QVERIFY(waitAttached(*w, QStringLiteral("Eight-Port Sensor Box")));
        QVERIFY(w->saveSettingsAction()->isEnabled() && w->loadSettingsAction()->isEnabled());
        QCOMPARE(TindrelVoltageInput_setDataInterval(w->handle<TindrelVoltageInputHandle>(), 200), TINDREL_OK);

        QVERIFY(w->saveSettingsTo(path));
        const auto file = readFile(path);
        QVERIFY(file);
        QCOMPARE(file->channels.size(), size_t{1});
        const settings::ChannelSettings &c = file->channels.front();
        QCOMPARE(c.className, std::string("VoltageInput"));
        QCOMPARE(c.address.serialNumber, box7Serial);
        QCOMPARE(c.address.channel, 1);
        const auto interval = std::find_if(c.properties.begin(), c.properties.end(),
                                           [](const auto &p) { return p.first == "DataInterval"; });
        QVERIFY(interval != c.properties.end());
        QCOMPARE(std::get<int64_t>(interval->second), int64_t{200});

        // Changed since, then loaded: the device and the slider hold the file's value.
        QCOMPARE(TindrelVoltageInput_setDataInterval(w->handle<TindrelVoltageInputHandle>(), 500), TINDREL_OK);
        QVERIFY(w->loadSettingsFrom(path));
        QCOMPARE(dataInterval(*w), 200u);
        QCOMPARE(w->dataIntervalBox->row->value(), 200.0);
        QVERIFY(logText(*w).isEmpty());
        QVERIFY(s.alerts.alerts.isEmpty());

        // Another channel of the class takes the first entry of its class.
        s.aimAt(box7Serial, 2);
        auto other = s.open<VoltageInputController>();
        QVERIFY(waitAttached(*other, QStringLiteral("Eight-Port Sensor Box")));
        QVERIFY(other->loadSettingsFrom(path));
        QCOMPARE(dataInterval(*other), 200u);
    }

    void refusedValuesAreLoggedAndTheRestStillApply()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("partly.json"));
        writeFile(path, R"({"format": "tindrel-channel-settings", "version": 1, "channels": [
            {"class": "VoltageInput", "address": {"serialNumber": 300544, "channel": 3},
             "properties": {"DataInterval": 1000000, "NoSuchThing": 1, "VoltageChangeTrigger": 0.25}}]})");
        Surroundings s;
        s.aimAt(box7Serial, 3);
        auto w = s.open<VoltageInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Eight-Port Sensor Box")));
        const uint32_t before = dataInterval(*w);
        QVERIFY(!w->loadSettingsFrom(path));
        double trigger = 0;
        QCOMPARE(TindrelVoltageInput_getVoltageChangeTrigger(w->handle<TindrelVoltageInputHandle>(), &trigger),
                 TINDREL_OK);
        QCOMPARE(trigger, 0.25);
        QCOMPARE(dataInterval(*w), before);
        const QString log = logText(*w);
        QVERIFY2(log.contains(QStringLiteral("DataInterval")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("has no property \"NoSuchThing\"")), qPrintable(log));
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void aBadFileIsRefusedWholeWithAnAlert()
    {
        QTemporaryDir dir;
        Surroundings s;
        s.aimAt(box7Serial, 4);
        auto w = s.open<VoltageInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Eight-Port Sensor Box")));
        QCOMPARE(TindrelVoltageInput_setDataInterval(w->handle<TindrelVoltageInputHandle>(), 300), TINDREL_OK);

        const QString broken = dir.filePath(QStringLiteral("broken.json"));
        writeFile(broken, R"({"format": "tindrel-channel-settings", "version": 1, "channels": [{"class": )");
        const QString motor = dir.filePath(QStringLiteral("motor.json"));
        writeFile(motor, R"({"format": "tindrel-channel-settings", "version": 1, "channels": [
            {"class": "DCMotor", "properties": {"Acceleration": 10}}]})");
        const QString newer = dir.filePath(QStringLiteral("newer.json"));
        writeFile(newer, R"({"format": "tindrel-channel-settings", "version": 99, "channels": []})");
        for (const QString &path : {broken, motor, newer, dir.filePath(QStringLiteral("missing.json"))}) {
            s.alerts.alerts.clear();
            QVERIFY(!w->loadSettingsFrom(path));
            QCOMPARE(s.alerts.alerts.size(), 1);
            QCOMPARE(s.alerts.alerts.front().title, QStringLiteral("Channel Settings Not Loaded"));
            QVERIFY2(s.alerts.alerts.front().text.contains(path), qPrintable(s.alerts.alerts.front().text));
            QCOMPARE(dataInterval(*w), 300u);
        }

        // An unwritable target leaves the old file as it was.
        s.alerts.alerts.clear();
        QVERIFY(!w->saveSettingsTo(QStringLiteral("/nonexistent-folder/settings.json")));
        QCOMPARE(s.alerts.alerts.size(), 1);
        QCOMPARE(s.alerts.alerts.front().title, QStringLiteral("Channel Settings Not Saved"));

        // Detached, there is nothing to save or set.
        QCOMPARE(TindrelSim_detachDevice("box7"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->saveSettingsAction()->isEnabled());
        s.alerts.alerts.clear();
        QVERIFY(!w->saveSettingsTo(dir.filePath(QStringLiteral("detached.json"))));
        QCOMPARE(s.alerts.alerts.size(), 1);
    }

    void aLoadedFileDoesNotBecomeTheControllersDefaults()
    {
        // The position controller keeps what it read at attach as its
        // defaults; loading a file refreshes the fields without re-capturing.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("controller.json"));
        Surroundings s;
        auto w = openFirstOfClass<MotorPositionController>(s, TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER);
        QVERIFY(w);
        const auto h = w->handle<TindrelMotorPositionControllerHandle>();
        double kpAtAttach = 0;
        QCOMPARE(TindrelMotorPositionController_getKp(h, &kpAtAttach), TINDREL_OK);
        QCOMPARE(TindrelMotorPositionController_setKp(h, kpAtAttach + 7), TINDREL_OK);
        QVERIFY(w->saveSettingsTo(path));
        QCOMPARE(TindrelMotorPositionController_setKp(h, kpAtAttach), TINDREL_OK);
        QVERIFY2(w->loadSettingsFrom(path), qPrintable(logText(*w)));
        double kp = 0;
        QCOMPARE(TindrelMotorPositionController_getKp(h, &kp), TINDREL_OK);
        QCOMPARE(kp, kpAtAttach + 7);
        QCOMPARE(w->kp->field->text().toDouble(), kpAtAttach + 7);
        QCOMPARE(MotorPositionController::capturedDefaults.values[1], kpAtAttach);
    }

    void everyWindowOfTheDefaultRigLoadsWhatItSaved()
    {
        // Saved and loaded straight back, every setting of every channel
        // reads back the same and nothing is logged.
        QTemporaryDir dir;
        const auto channels = attachedChannels();
        QVERIFY(channels.size() > 100);
        const WindowRegistry registry = WindowRegistry::standard();
        Surroundings s;
        int checked = 0;
        QStringList failures;
        for (size_t first = 0; first < channels.size(); first += 8) {
            const std::vector<Address> some(channels.begin() + static_cast<long>(first),
                                            channels.begin() + static_cast<long>(std::min(first + 8, channels.size())));
            RigWindows open = openWindows(registry, s, some);
            for (auto &w : open.windows) {
                if (!w || !QTest::qWaitFor([&] { return w && w->saveSettingsAction()->isEnabled(); }, deadlineMs))
                    continue;
                const QString path = dir.filePath(QStringLiteral("channel%1.json").arg(checked));
                const QString before = logText(*w);
                if (!w->saveSettingsTo(path) || !w->loadSettingsFrom(path) || logText(*w) != before)
                    failures << w->windowTitle() + QStringLiteral(": ") + logText(*w).mid(before.size());
                ++checked;
            }
            open.closeAll();
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
        QVERIFY(checked > 100);
        QVERIFY(s.alerts.alerts.isEmpty());
    }

private:
    template <class W>
    std::unique_ptr<W> openFirstOfClass(Surroundings &s, int cls)
    {
        for (const Address &a : attachedChannels()) {
            if (a.cls != cls || a.remote)
                continue;
            s.defaults().clear();
            s.defaults().setValue("n", a.serial);
            s.defaults().setValue("v", a.hubPort);
            s.defaults().setValue("c", a.channel);
            s.defaults().setValue("h", a.hubPortDevice);
            auto w = s.open<W>();
            if (QTest::qWaitFor([&] { return w->saveSettingsAction()->isEnabled(); }, deadlineMs))
                return w;
            return nullptr;
        }
        return nullptr;
    }
};

QTEST_MAIN(ChannelSettingsTest)
#include "ChannelSettingsTest.moc"
