// The digital output and digital input windows against simulated devices.
#include "BoundRows.h"
#include "CodePopup.h"
#include "DigitalInputController.h"
#include "DigitalOutputController.h"
#include "ErrorEventLog.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QSlider>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "led17", "deviceId": 17, "class": 1, "serial": 1700, "name": "LED Driver 17",
     "channels": [{"class": "DigitalOutput", "subclass": 17,
                   "properties": {"LEDForwardVoltage": 2, "LEDCurrentLimit": 0.03},
                   "ranges": {"LEDCurrentLimit": [0.01, 0.08]}}]},
    {"id": "led16", "deviceId": 16, "class": 1, "serial": 1600, "name": "LED Driver 16",
     "channels": [{"class": "DigitalOutput", "subclass": 17, "properties": {"LEDForwardVoltage": 3}}]},
    {"id": "led71", "deviceId": 71, "class": 1, "serial": 7100, "name": "LED Driver 71",
     "channels": [{"class": "DigitalOutput", "subclass": 17, "properties": {"LEDForwardVoltage": 8}}]},
    {"id": "led99", "deviceId": 99, "class": 1, "serial": 9900, "name": "LED Driver 99",
     "channels": [{"class": "DigitalOutput", "subclass": 17}]},
    {"id": "pwm16", "deviceId": 30, "class": 1, "serial": 3016, "name": "Dimmer 16",
     "channels": [{"class": "DigitalOutput", "subclass": 16, "properties": {"DutyCycle": 0.25}}]},
    {"id": "pwm18", "deviceId": 31, "class": 1, "serial": 3018, "name": "Dimmer 18",
     "channels": [{"class": "DigitalOutput", "subclass": 18}]},
    {"id": "plain", "deviceId": 32, "class": 1, "serial": 3200, "name": "Relay Board",
     "channels": [{"class": "DigitalOutput", "subclass": 15}]},
    {"id": "di55", "deviceId": 55, "class": 1, "serial": 5500, "name": "Sensor Input",
     "channels": [{"class": "DigitalInput", "properties": {"InputMode": 2, "PowerSupply": 3}}]},
    {"id": "di60", "deviceId": 60, "class": 1, "serial": 6000, "name": "Plain Input",
     "channels": [{"class": "DigitalInput"}]}
  ]
})";

constexpr auto DO = TINDREL_CHCLASS_DIGITALOUTPUT;
constexpr auto DI = TINDREL_CHCLASS_DIGITALINPUT;

QStringList items(const QComboBox &combo)
{
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out.append(combo.itemText(i));
    return out;
}

}   // namespace

class DigitalWindowsTest : public QObject {
    Q_OBJECT

    template <class W>
    std::unique_ptr<W> openOn(Surroundings &s, int serial, const char *name)
    {
        s.aimAt(serial);
        auto w = s.open<W>();
        if (!waitAttached(*w, QString::fromLatin1(name)))
            qWarning("%s did not attach", name);
        return w;
    }

private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void plainOutputShowsOnlyTheCentredButtonInAShorterWindow()
    {
        Surroundings s;
        auto led = openOn<DigitalOutputController>(s, 1700, "LED Driver 17");
        auto plain = openOn<DigitalOutputController>(s, 3200, "Relay Board");
        QVERIFY(plain->settingsBox->isVisible());
        QVERIFY(!plain->dutyCycleBox->isVisible());
        QVERIFY(!plain->settingsBoxLED->isVisible());
        QVERIFY(plain->outputStateButton->isVisible());
        const int buttonCentre =
            plain->outputStateButton->mapTo(plain->settingsBox, plain->outputStateButton->rect().center()).x();
        QVERIFY(qAbs(buttonCentre - plain->settingsBox->width() / 2) <= 3);
        QVERIFY(plain->height() <= led->height() - led->settingsBoxLED->height());
    }

    void ledDriverShowsDutyCycleCurrentLimitAndForwardVoltage()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 1700, "LED Driver 17");
        QVERIFY(w->dutyCycleBox->isVisible());
        QVERIFY(w->settingsBoxLED->isVisible());
        QCOMPARE(items(*w->forwardVoltageCombo), (QStringList{"1.7 V", "2.75 V", "3.9 V", "5.0 V"}));
        QCOMPARE(w->forwardVoltageCombo->currentText(), QStringLiteral("2.75 V"));
        QCOMPARE(w->currentLimitSlider->minLabel->text(), QStringLiteral("0.010"));
        QCOMPARE(w->currentLimitSlider->maxLabel->text(), QStringLiteral("0.080"));
        QCOMPARE(w->currentLimitSlider->valueLabel->text(), QStringLiteral("0.030 A"));
        QCOMPARE(w->dutyCycleSlider->minLabel->text(), QStringLiteral("0.00"));
        QCOMPARE(w->dutyCycleSlider->maxLabel->text(), QStringLiteral("1.00"));
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), QStringLiteral("0.00"));
        // Beside the duty-cycle controls the button is not centred.
        const int buttonCentre = w->outputStateButton->mapTo(w->settingsBox, w->outputStateButton->rect().center()).x();
        QVERIFY(buttonCentre < w->settingsBox->width() / 2 - 10);
        QVERIFY(!w->errorEventLogWindow());
    }

    void forwardVoltageSelectionFollowsTheDevice_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QString>("selected");
        QTest::newRow("device 71, code 8")
            << 7100 << "LED Driver 71" << QStringList{"3.2 V", "4.0 V", "4.8 V", "5.6 V"} << "5.6 V";
        QTest::newRow("device 16, code of another device")
            << 1600 << "LED Driver 16" << QStringList{"1.7 V", "2.75 V", "3.9 V", "5.0 V"} << "";
        QTest::newRow("other device: no choices") << 9900 << "LED Driver 99" << QStringList{} << "";
    }
    void forwardVoltageSelectionFollowsTheDevice()
    {
        QFETCH(int, serial);
        QFETCH(QString, name);
        QFETCH(QStringList, choices);
        QFETCH(QString, selected);
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, serial, name.toLatin1().constData());
        QVERIFY(w->settingsBoxLED->isVisible());
        QCOMPARE(items(*w->forwardVoltageCombo), choices);
        QCOMPARE(w->forwardVoltageCombo->currentText(), selected);
    }

    void dutyCycleChannelsWithoutLedBox_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("duty");
        QTest::newRow("subclass 16") << 3016 << "Dimmer 16"
                                     << "0.25";
        QTest::newRow("subclass 18") << 3018 << "Dimmer 18"
                                     << "0.00";
    }
    void dutyCycleChannelsWithoutLedBox()
    {
        QFETCH(int, serial);
        QFETCH(QString, name);
        QFETCH(QString, duty);
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, serial, name.toLatin1().constData());
        QVERIFY(w->dutyCycleBox->isVisible());
        QVERIFY(!w->settingsBoxLED->isVisible());
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), duty);
    }

    void toggleMovesTheDutySliderWithoutSendingIt()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 3016, "Dimmer 16");
        QSlider *slider = w->dutyCycleSlider->slider;
        w->outputStateButton->click();
        QCOMPARE(simProperty("pwm16", DO, 0, "State"), 1.0);
        QCOMPARE(w->outputStateButton->text(), QStringLiteral("OFF"));
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), QStringLiteral("1.00"));
        QCOMPARE(slider->value(), slider->maximum());

        w->outputStateButton->click();
        QCOMPARE(simProperty("pwm16", DO, 0, "State"), 0.0);
        QCOMPARE(w->outputStateButton->text(), QStringLiteral("ON"));
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), QStringLiteral("0.00"));
        QCOMPARE(slider->value(), slider->minimum());
    }

    void slidersSendByTheirRule()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 1700, "LED Driver 17");
        // Duty cycle: every move.
        QSlider *duty = w->dutyCycleSlider->slider;
        duty->setSliderDown(true);
        duty->setValue(duty->maximum() / 2);
        QCOMPARE(simProperty("led17", DO, 0, "DutyCycle"), 0.5);
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), QStringLiteral("0.50"));
        duty->setSliderDown(false);

        // Current limit: the label follows the drag, the value goes on release.
        QSlider *limit = w->currentLimitSlider->slider;
        limit->setSliderDown(true);
        limit->setValue(limit->maximum());
        QCOMPARE(w->currentLimitSlider->valueLabel->text(), QStringLiteral("0.080 A"));
        QCOMPARE(simProperty("led17", DO, 0, "LEDCurrentLimit"), 0.03);
        limit->setSliderDown(false);
        QCOMPARE(simProperty("led17", DO, 0, "LEDCurrentLimit"), 0.08);
        // A keyboard step without a drag is sent at once.
        QTest::keyClick(limit, Qt::Key_Home);
        QCOMPARE(simProperty("led17", DO, 0, "LEDCurrentLimit"), 0.01);
        QCOMPARE(w->currentLimitSlider->valueLabel->text(), QStringLiteral("0.010 A"));
    }

    void forwardVoltagePopupSendsItsCode()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 1700, "LED Driver 17");
        const int index = w->forwardVoltageCombo->findText(QStringLiteral("3.9 V"));
        w->forwardVoltageCombo->setCurrentIndex(index);
        emit w->forwardVoltageCombo->activated(index);
        QCOMPARE(simProperty("led17", DO, 0, "LEDForwardVoltage"), 4.0);
    }

    void failedSendLogsAndKeepsTheLabel()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 3016, "Dimmer 16");
        QCOMPARE(TindrelSim_detachDevice("pwm16"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        w->dutyCycleSlider->slider->setValue(w->dutyCycleSlider->slider->maximum());
        QCOMPARE(w->dutyCycleSlider->valueLabel->text(), QStringLiteral("0.25"));
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(w->errorEventLogWindow()->errorEventLogCounter->text(),
                 QString::number(DigitalOutputController::sharedErrorCount()));
    }

    void detachAndReattachDoNotDuplicateForwardVoltages()
    {
        Surroundings s;
        auto w = openOn<DigitalOutputController>(s, 1700, "LED Driver 17");
        QCOMPARE(TindrelSim_detachDevice("led17"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->forwardVoltageCombo->count(), 0);
        QVERIFY(!w->settingsBox->isVisible());
        QCOMPARE(TindrelSim_attachDevice("led17"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("LED Driver 17")));
        QCOMPARE(w->forwardVoltageCombo->count(), 4);
    }

    void configurableInputShowsAndSendsItsSettings()
    {
        Surroundings s;
        auto w = openOn<DigitalInputController>(s, 5500, "Sensor Input");
        QVERIFY(w->settingsBox->isVisible());
        QVERIFY(w->dataBox->isVisible());
        QCOMPARE(w->inputModeCombo->currentIndex(), 1);
        QCOMPARE(w->powerSupplyCombo->currentIndex(), 2);

        for (auto [item, code] : {std::pair{0, 1}, {1, 2}, {2, 3}}) {
            w->setPowerSupply(item);
            QCOMPARE(simProperty("di55", DI, 0, "PowerSupply"), double(code));
        }
        w->setInputMode(0);
        QCOMPARE(simProperty("di55", DI, 0, "InputMode"), 1.0);
        w->setInputMode(1);
        QCOMPARE(simProperty("di55", DI, 0, "InputMode"), 2.0);

        QCOMPARE(TindrelSim_detachDevice("di55"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->settingsBox->isVisible());
        QVERIFY(!w->dataBox->isVisible());
    }

    void otherInputsNeverShowSettings()
    {
        Surroundings s;
        auto w = openOn<DigitalInputController>(s, 6000, "Plain Input");
        QVERIFY(w->dataBox->isVisible());
        QVERIFY(!w->settingsBox->isVisible());
    }

    void stateChangesShowTrueAndFalse()
    {
        Surroundings s;
        auto w = openOn<DigitalInputController>(s, 6000, "Plain Input");
        QCOMPARE(TindrelSim_setInputValue("di60", DI, 0, "State", 1), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->stateTextField->text(), QStringLiteral("T"), deadlineMs);
        QCOMPARE(w->stateBox->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(w->stateTextField->palette().color(QPalette::WindowText), QColor(Qt::black));
        QCOMPARE(TindrelSim_setInputValue("di60", DI, 0, "State", 0), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->stateTextField->text(), QStringLiteral("F"), deadlineMs);
        QCOMPARE(w->stateBox->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(w->stateTextField->palette().color(QPalette::WindowText), QColor(Qt::white));

        // The display keeps its last value across a detach.
        QCOMPARE(TindrelSim_setInputValue("di60", DI, 0, "State", 1), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->stateTextField->text(), QStringLiteral("T"), deadlineMs);
        QCOMPARE(TindrelSim_detachDevice("di60"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->stateTextField->text(), QStringLiteral("T"));
    }
};

QTEST_MAIN(DigitalWindowsTest)
#include "DigitalTest.moc"
