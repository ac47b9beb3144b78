// The windows' own pop-ups (not bound rows) are remembered with the rows and
// set again at the next attach as the user would choose them, then read back
// from the channel: the voltage and voltage-ratio sensor types, the digital
// input's power supply and input mode, and the motor, servo, guard and
// display pop-ups.
#include "CodePopup.h"
#include "DigitalInputController.h"
#include "LEDArrayController.h"
#include "MotorPositionController.h"
#include "PowerGuardController.h"
#include "RCServoController.h"
#include "TextLCDController.h"
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

// One device of each window with pop-ups of its own, at the library's defaults.
const char *const popupRig = R"({"devices": [
    {"id": "m57", "deviceId": 57, "class": 2, "serial": 5701, "name": "Motor 57",
     "channels": [{"class": "MotorPositionController"}]},
    {"id": "servo80", "deviceId": 80, "class": 2, "serial": 8000, "name": "Servo 80", "channels": [{"class": "RCServo"}]},
    {"id": "guard", "deviceId": 106, "class": 2, "serial": 10600, "name": "Guard", "channels": [{"class": "PowerGuard"}]},
    {"id": "lcd46", "deviceId": 46, "class": 2, "serial": 4600, "name": "Display Adapter",
     "channels": [{"class": "LCD", "subclass": 81}]},
    {"id": "leds", "deviceId": 154, "class": 2, "serial": 15400, "name": "LED Strip", "channels": [{"class": "LEDArray"}]}]})";

// A pop-up chosen, remembered and brought back: item stands for code, which
// is not the device's default.
struct PopupCase {
    const char *rigId;
    int serial;
    const char *deviceName;
    Tindrel_ChannelClass cls;
    const char *property;
    const char *setting;
    int item;
    int code;
};

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

    void theMotorServoGuardAndDisplayPopupsComeBack()
    {
        roundTrip(&MotorPositionController::encoderIOModeCombo,
                  {"m57", 5701, "Motor 57", TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER, "IOMode", "encoderIOMode", 2, 3});
        // "Off" is off.
        roundTrip(&MotorPositionController::fanModeCombo,
                  {"m57", 5701, "Motor 57", TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER, "FanMode", "fanMode", 1, 1});
        roundTrip(&RCServoController::voltageCombo,
                  {"servo80", 8000, "Servo 80", TINDREL_CHCLASS_RCSERVO, "Voltage", "voltage", 2, 3});
        roundTrip(&PowerGuardController::fanModeCombo,
                  {"guard", 10600, "Guard", TINDREL_CHCLASS_POWERGUARD, "FanMode", "fanMode", 1, 1});
        roundTrip(&TextLCDController::screenSizeCombo,
                  {"lcd46", 4600, "Display Adapter", TINDREL_CHCLASS_LCD, "ScreenSize", "screenSize", 2, 3});
        roundTrip(&LEDArrayController::colorOrderCmb,
                  {"leds", 15400, "LED Strip", TINDREL_CHCLASS_LEDARRAY, "ColorOrder", "colorOrder", 0, 1});
    }

private:
    template <class W, class P>
    void roundTrip(P *W::*popupOf, const PopupCase &c)
    {
        const QString what = QString::fromLatin1(c.setting) + QStringLiteral(" of ") + QString::fromLatin1(c.rigId);
        QVERIFY(loadRig(popupRig));
        const double deviceDefault = simProperty(c.rigId, c.cls, 0, c.property);
        QVERIFY2(deviceDefault != c.code, qPrintable(what));
        Surroundings s;
        auto w = openOn<W>(s, {c.serial, c.deviceName, c.rigId, c.cls});
        QVERIFY2(w, qPrintable(what));
        choose(*((*w).*popupOf), c.item);
        QCOMPARE(simProperty(c.rigId, c.cls, 0, c.property), double(c.code));
        const QVariantMap settings = w->boundSettings();
        QVERIFY2(settings.value(QString::fromLatin1(c.setting)) == QVariant(c.item), qPrintable(what));
        w->close();

        QVERIFY(loadRig(popupRig));   // the device forgot
        auto restored = std::unique_ptr<W>(makeWindow<W>());
        restored->restoreSettingsAtNextAttach(settings);
        s.aimAt(c.serial);
        restored->setUp(s.env());
        restored->show();
        QVERIFY2(waitAttached(*restored, QString::fromLatin1(c.deviceName)), qPrintable(what));
        QTRY_COMPARE_WITH_TIMEOUT(simProperty(c.rigId, c.cls, 0, c.property), double(c.code), deadlineMs);
        // Read back from the channel.
        QCOMPARE(((*restored).*popupOf)->currentIndex(), c.item);
        QVERIFY2(!restored->errorEventLogWindow(), qPrintable(what));
        restored->close();
    }
};

QTEST_MAIN(RememberedSettingsTest)
#include "RememberedSettingsTest.moc"
