// The windows' own pop-ups (not bound rows) are remembered with the rows and
// set again at the next attach as the user would choose them, then read back
// from the channel: the voltage and voltage-ratio sensor types, the digital
// input's power supply and input mode.
#include "DigitalInputController.h"
#include "VoltageInputController.h"
#include "VoltageLogic.h"
#include "VoltageRatioController.h"
#include "WindowTestSupport.h"

#include <QComboBox>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

struct Channel {
    int serial;
    const char *name;   // the device's name in the information box
    const char *rigId;
    Tindrel_ChannelClass cls;
};

const Channel voltageBox{300543, "Four-Port Sensor Box", "box6", TINDREL_CHCLASS_VOLTAGEINPUT};
const Channel ratioBox{300543, "Four-Port Sensor Box", "box6", TINDREL_CHCLASS_VOLTAGERATIOINPUT};
const Channel sensorInput{5500, "Sensor Input", "di55", TINDREL_CHCLASS_DIGITALINPUT};
const char *const sensorInputRig = R"({"devices": [
    {"id": "di55", "deviceId": 55, "class": 1, "serial": 5500, "name": "Sensor Input",
     "channels": [{"class": "DigitalInput", "properties": {"InputMode": 2, "PowerSupply": 3}}]}]})";

template <class W>
std::unique_ptr<W> openOn(Surroundings &s, const Channel &at)
{
    s.aimAt(at.serial);
    auto w = s.open<W>();
    if (!waitAttached(*w, QString::fromLatin1(at.name)))
        return nullptr;
    return w;
}

// As the user chooses an item.
void choose(QComboBox &popup, int item)
{
    popup.setCurrentIndex(item);
    emit popup.activated(item);
}

}   // namespace

class RememberedSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanup() { TindrelSim_clear(); }

    void sensorTypesComeBackAndAreReadBack()
    {
        struct Case {
            const Channel &at;
            std::span<const CodeTitle> sensors;
            std::function<QComboBox *(ExampleWindow &)> popup;
            std::function<std::unique_ptr<ExampleWindow>(Surroundings &)> open;
        };
        const Case cases[] = {
            {voltageBox, voltage::voltageSensors(),
             [](ExampleWindow &w) { return static_cast<VoltageInputController &>(w).sensorTypeCombo; },
             [](Surroundings &s) { return openOn<VoltageInputController>(s, voltageBox); }},
            {ratioBox, voltage::ratioSensors(),
             [](ExampleWindow &w) { return static_cast<VoltageRatioController &>(w).sensorTypeCombo; },
             [](Surroundings &s) { return openOn<VoltageRatioController>(s, ratioBox); }},
        };
        for (const Case &c : cases) {
            const QString what = QString::fromLatin1(c.at.rigId) + QStringLiteral(" class ") +
                                 QString::number(static_cast<int>(c.at.cls));
            Surroundings s;
            auto w = c.open(s);
            QVERIFY2(w, qPrintable(what));
            const int item = 3;
            const int code = c.sensors[item].code;
            choose(*c.popup(*w), item);
            QCOMPARE(simProperty(c.at.rigId, c.at.cls, 0, "SensorType"), double(code));
            const QVariantMap settings = w->boundSettings();
            QVERIFY2(settings.contains(QStringLiteral("sensorType")), qPrintable(what));
            QCOMPARE(settings.value(QStringLiteral("sensorType")).toInt(), item);
            // Kept as it stood at a detach, as the session writes it at quit.
            w->close();
            QCOMPARE(w->boundSettings().value(QStringLiteral("sensorType")).toInt(), item);

            // The device forgets (a new rig); the window's next attach sets it again.
            QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
            QCOMPARE(simProperty(c.at.rigId, c.at.cls, 0, "SensorType"), 0.0);
            s.aimAt(c.at.serial);
            std::unique_ptr<ExampleWindow> again = c.open(s);
            QVERIFY2(again, qPrintable(what));
            QCOMPARE(c.popup(*again)->currentIndex(), 0);
            again->close();

            QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
            auto restored =
                std::unique_ptr<ExampleWindow>(c.at.cls == TINDREL_CHCLASS_VOLTAGEINPUT
                                                   ? static_cast<ExampleWindow *>(makeWindow<VoltageInputController>())
                                                   : makeWindow<VoltageRatioController>());
            restored->restoreSettingsAtNextAttach(settings);
            restored->setUp(s.env());
            restored->show();
            QVERIFY(waitAttached(*restored, QString::fromLatin1(c.at.name)));
            QTRY_COMPARE_WITH_TIMEOUT(simProperty(c.at.rigId, c.at.cls, 0, "SensorType"), double(code), deadlineMs);
            QCOMPARE(c.popup(*restored)->currentIndex(), item);
            QVERIFY(restored->errorEventLogWindow() == nullptr);

            // Read back: the pop-up shows what the channel holds, not what
            // it showed; an item the pop-up does not have is left out.
            restored->restoreSettingsAtNextAttach({{QStringLiteral("sensorType"), 999}});
            QCOMPARE(TindrelSim_detachDevice(c.at.rigId), TINDREL_OK);
            QVERIFY(waitDetached(*restored));
            const int stale = 7;
            c.popup(*restored)->setCurrentIndex(stale);
            QCOMPARE(TindrelSim_attachDevice(c.at.rigId), TINDREL_OK);
            QVERIFY(waitAttached(*restored, QString::fromLatin1(c.at.name)));
            const int held = static_cast<int>(simProperty(c.at.rigId, c.at.cls, 0, "SensorType"));
            QVERIFY(held != c.sensors[stale].code);
            QTRY_COMPARE_WITH_TIMEOUT(c.popup(*restored)->currentIndex(), voltage::sensorRowForCode(c.sensors, held),
                                      deadlineMs);
            restored->close();
        }
    }

    void theDigitalInputsSettingsComeBack()
    {
        QVERIFY(loadRig(sensorInputRig));
        Surroundings s;
        auto w = openOn<DigitalInputController>(s, sensorInput);
        QVERIFY(w);
        choose(*w->powerSupplyCombo, 0);
        choose(*w->inputModeCombo, 0);
        QCOMPARE(simProperty("di55", TINDREL_CHCLASS_DIGITALINPUT, 0, "PowerSupply"), 1.0);
        QCOMPARE(simProperty("di55", TINDREL_CHCLASS_DIGITALINPUT, 0, "InputMode"), 1.0);
        const QVariantMap settings = w->boundSettings();
        QCOMPARE(settings.value(QStringLiteral("powerSupply")), QVariant(0));
        QCOMPARE(settings.value(QStringLiteral("inputMode")), QVariant(0));
        w->close();

        QVERIFY(loadRig(sensorInputRig));
        QCOMPARE(simProperty("di55", TINDREL_CHCLASS_DIGITALINPUT, 0, "PowerSupply"), 3.0);
        auto restored = std::unique_ptr<DigitalInputController>(makeWindow<DigitalInputController>());
        restored->restoreSettingsAtNextAttach(settings);
        s.aimAt(sensorInput.serial);
        restored->setUp(s.env());
        restored->show();
        QVERIFY(waitAttached(*restored, QString::fromLatin1(sensorInput.name)));
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("di55", TINDREL_CHCLASS_DIGITALINPUT, 0, "PowerSupply"), 1.0, deadlineMs);
        QCOMPARE(simProperty("di55", TINDREL_CHCLASS_DIGITALINPUT, 0, "InputMode"), 1.0);
        QCOMPARE(restored->powerSupplyCombo->currentIndex(), 0);
        QCOMPARE(restored->inputModeCombo->currentIndex(), 0);
        restored->close();
    }
};

QTEST_MAIN(RememberedSettingsTest)
#include "RememberedSettingsTest.moc"
