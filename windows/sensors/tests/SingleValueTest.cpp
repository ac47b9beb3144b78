// The single-value sensor windows against simulated devices: formats, the
// extra groups each device has, and how their settings reach the device.
#include "CodePopup.h"
#include "CurrentInputController.h"
#include "DistanceSensorController.h"
#include "ErrorEventLog.h"
#include "HumiditySensorController.h"
#include "LightSensorController.h"
#include "PHSensorController.h"
#include "PressureSensorController.h"
#include "ResistanceInputController.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QLineEdit>
#include <QSlider>

#include <cmath>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "pressure", "deviceId": 47, "class": 2, "serial": 4700, "name": "Pressure Board",
     "channels": [{"class": "PressureSensor"}]},
    {"id": "humidity", "deviceId": 45, "class": 2, "serial": 4500, "name": "Humidity Board",
     "channels": [{"class": "HumiditySensor"}]},
    {"id": "light", "deviceId": 65, "class": 2, "serial": 6500, "name": "Light Board",
     "channels": [{"class": "LightSensor"}]},
    {"id": "ph", "deviceId": 78, "class": 2, "serial": 7800, "name": "pH Board",
     "channels": [{"class": "PHSensor", "properties": {"CorrectionTemperature": 22.4}}]},
    {"id": "din", "deviceId": 55, "class": 2, "serial": 5500, "name": "Isolated Inputs",
     "channels": [{"class": "CurrentInput", "properties": {"PowerSupply": 3}}]},
    {"id": "loop", "deviceId": 141, "class": 2, "serial": 14100, "name": "Loop Input",
     "channels": [{"class": "CurrentInput"}]},
    {"id": "resist", "deviceId": 79, "class": 2, "serial": 7900, "name": "Resistance Board",
     "channels": [{"class": "ResistanceInput", "properties": {"RTDWireSetup": 3}}]},
    {"id": "sonar", "deviceId": 59, "class": 2, "serial": 5900, "name": "Sonar",
     "channels": [{"class": "DistanceSensor", "properties": {"SonarQuietMode": 0}}]},
    {"id": "optical", "deviceId": 70, "class": 2, "serial": 7000, "name": "Optical",
     "channels": [{"class": "DistanceSensor"}]}
  ]
})";

template <class W>
std::unique_ptr<W> openOn(Surroundings &s, int serial, const char *name)
{
    s.aimAt(serial);
    auto w = s.open<W>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        qWarning("%s did not attach", name);
    return w;
}

// Moves a slider as a drag would end: to position, then released.
void dragTo(SliderRow &row, int position)
{
    row.slider->setSliderDown(true);
    row.slider->setValue(position);
    row.slider->setSliderDown(false);
}

}   // namespace

class SingleValueWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void valuesShowInTheirFormatsAndFeedNamedStreams()
    {
        Surroundings s;
        auto pressure = openOn<PressureSensorController>(s, 4700, "Pressure Board");
        auto humidity = openOn<HumiditySensorController>(s, 4500, "Humidity Board");
        auto light = openOn<LightSensorController>(s, 6500, "Light Board");
        QCOMPARE(TindrelSim_setInputValue("pressure", TINDREL_CHCLASS_PRESSURESENSOR, 0, "Pressure", 101.325),
                 TINDREL_OK);
        QCOMPARE(TindrelSim_setInputValue("humidity", TINDREL_CHCLASS_HUMIDITYSENSOR, 0, "Humidity", 45.5), TINDREL_OK);
        QCOMPARE(TindrelSim_setInputValue("light", TINDREL_CHCLASS_LIGHTSENSOR, 0, "Illuminance", 0), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(pressure->pressureText->text(), QStringLiteral("101.325 kPa"), deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(humidity->humidityText->text(), QStringLiteral("45.50%"), deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(light->illuminanceText->text(), QStringLiteral("0.00 lx"), deadlineMs);

        QCOMPARE(pressure->dataIntervalBox->row->minLabel->text(), QStringLiteral("100 ms"));
        QCOMPARE(pressure->dataIntervalBox->row->valueLabel->text(), QStringLiteral("500 ms"));
        QCOMPARE(pressure->changeTriggerBox->row->maxLabel->text(), QStringLiteral("100.0 kPa"));
        QCOMPARE(humidity->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0.0%"));
        QCOMPARE(pressure->streams().size(), std::size_t{1});
        QCOMPARE(pressure->streams().front()->fields().front().unit, QStringLiteral("kPa"));
        QVERIFY(pressure->valueStream().eventCount() >= 1);

        // Detach hides the groups and keeps the last value.
        QCOMPARE(TindrelSim_detachDevice("pressure"), TINDREL_OK);
        QVERIFY(waitDetached(*pressure));
        QVERIFY(!pressure->dataBox->isVisible());
        QVERIFY(!pressure->dataIntervalBox->isVisible());
        QCOMPARE(pressure->pressureText->text(), QStringLiteral("101.325 kPa"));
    }

    void triggerSlidersReachEveryValueTheirLabelShows()
    {
        QCOMPARE(SliderRow::resolutionOf("%0.3f ºC"), 0.001);
        QCOMPARE(SliderRow::resolutionOf("%0.1f%%"), 0.1);
        QCOMPARE(SliderRow::resolutionOf("%d mm"), 0.0);
        QCOMPARE(SliderRow::resolutionOf("%.2e"), 0.0);
        SliderRow row(SliderRow::SendRule::OnRelease, "%0.1f", "%0.1f", false);
        row.setResolution(0.1);
        row.setRange(0, 50000, 12.3);
        QCOMPARE(row.slider->maximum(), 500000);
        QCOMPARE(row.value(), 12.3);
        row.setResolution(0);
        row.setRange(0, 50000, 12.3);
        QCOMPARE(row.slider->maximum(), 1000);
    }

    void dataIntervalIsSentOnlyWhenTheDragEnds()
    {
        Surroundings s;
        auto w = openOn<PressureSensorController>(s, 4700, "Pressure Board");
        SliderRow &row = *w->dataIntervalBox->row;
        row.slider->setSliderDown(true);
        row.slider->setValue(row.slider->maximum());
        QCOMPARE(row.valueLabel->text(), QStringLiteral("60000 ms"));
        QCOMPARE(simProperty("pressure", TINDREL_CHCLASS_PRESSURESENSOR, 0, "DataInterval"), 500.0);
        row.slider->setSliderDown(false);
        QCOMPARE(simProperty("pressure", TINDREL_CHCLASS_PRESSURESENSOR, 0, "DataInterval"), 60000.0);
    }

    void currentInputShowsThePowerSupplyOnlyOnTheIsolatedModule()
    {
        Surroundings s;
        auto isolated = openOn<CurrentInputController>(s, 5500, "Isolated Inputs");
        auto loop = openOn<CurrentInputController>(s, 14100, "Loop Input");
        QVERIFY(isolated->powerSupplyBox->isVisible());
        QCOMPARE(isolated->powerSupplyCombo->currentText(), QStringLiteral("24 Volts"));
        QVERIFY(!loop->powerSupplyBox->isVisible());
        QVERIFY(!loop->errorEventLogWindow());
        QVERIFY(loop->height() < isolated->height());

        isolated->powerSupplyCombo->setCurrentIndex(0);
        emit isolated->powerSupplyCombo->activated(0);
        QCOMPARE(simProperty("din", TINDREL_CHCLASS_CURRENTINPUT, 0, "PowerSupply"), 1.0);
        QCOMPARE(TindrelSim_setInputValue("loop", TINDREL_CHCLASS_CURRENTINPUT, 0, "Current", 0.0125), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(loop->currentText->text(), QStringLiteral("0.0125 A"), deadlineMs);
    }

    void resistanceSendsBothSlidersOnEveryStepAndShowsItsWiring()
    {
        Surroundings s;
        auto w = openOn<ResistanceInputController>(s, 7900, "Resistance Board");
        QStringList titles;
        for (int i = 0; i < w->rtdWireSetupCombo->count(); ++i)
            titles << w->rtdWireSetupCombo->itemText(i);
        QCOMPARE(titles, (QStringList{"2 Wire", "3 Wire", "4 Wire"}));
        QCOMPARE(w->rtdWireSetupCombo->currentText(), QStringLiteral("4 Wire"));

        SliderRow &trigger = *w->changeTriggerBox->row;
        trigger.slider->setSliderDown(true);
        double sent = -1;
        for (int step = 1; step <= 3; ++step) {
            trigger.slider->setValue(trigger.slider->value() + 1);
            const double now = simProperty("resist", TINDREL_CHCLASS_RESISTANCEINPUT, 0, "ResistanceChangeTrigger");
            QVERIFY2(now > sent, "each step of the drag is sent");
            sent = now;
        }
        trigger.slider->setSliderDown(false);
        QCOMPARE(trigger.valueLabel->text(), formatNumber("%0.1f Ω", trigger.value()));

        w->rtdWireSetupCombo->setCurrentIndex(0);
        emit w->rtdWireSetupCombo->activated(0);
        QCOMPARE(simProperty("resist", TINDREL_CHCLASS_RESISTANCEINPUT, 0, "RTDWireSetup"), 1.0);
    }

    void pHCorrectionIsSentAndRewrittenAndTextThatIsNoNumberIsRefused()
    {
        Surroundings s;
        auto w = openOn<PHSensorController>(s, 7800, "pH Board");
        QVERIFY(w->extraSettingsBox->isVisible());
        QCOMPARE(w->temperatureCorrectionTextField->text(), QStringLiteral("22.4"));
        w->temperatureCorrectionTextField->setText(QStringLiteral("25"));
        w->setTemperatureCorrection();
        QCOMPARE(w->temperatureCorrectionTextField->text(), QStringLiteral("25.0"));
        QCOMPARE(simProperty("ph", TINDREL_CHCLASS_PHSENSOR, 0, "CorrectionTemperature"), 25.0);

        w->temperatureCorrectionTextField->setText(QStringLiteral("warm"));
        w->setTemperatureCorrection();
        QCOMPARE(simProperty("ph", TINDREL_CHCLASS_PHSENSOR, 0, "CorrectionTemperature"), 25.0);
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(w->temperatureCorrectionTextField->text(), QStringLiteral("warm"));

        // Out of the device's range: refused, logged, the field kept as typed.
        w->temperatureCorrectionTextField->setText(QStringLiteral("250"));
        const int before = w->errorCount();
        w->setTemperatureCorrection();
        QCOMPARE(w->errorCount(), before + 1);
        QCOMPARE(w->temperatureCorrectionTextField->text(), QStringLiteral("250"));
    }

    void sonarShowsItsEchoesAndQuietModeAndTheOpticalFinderDoesNot()
    {
        Surroundings s;
        auto sonar = openOn<DistanceSensorController>(s, 5900, "Sonar");
        auto optical = openOn<DistanceSensorController>(s, 7000, "Optical");
        QVERIFY(sonar->reflectionsBox->isVisible());
        QVERIFY(!sonar->quietModeCheck->isChecked());
        QVERIFY(!optical->reflectionsBox->isVisible());
        QCOMPARE(optical->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0 mm"));

        // The simulated sonar reports three echoes of the measured distance.
        QCOMPARE(TindrelSim_setInputValue("sonar", TINDREL_CHCLASS_DISTANCESENSOR, 0, "Distance", 1000), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(sonar->currentText->text(), QStringLiteral("1000 mm"), deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(sonar->echoLabels[0]->text(), QStringLiteral("1000"), deadlineMs);
        QCOMPARE(sonar->countText->text(), QStringLiteral("3"));

        ReflectionsEvent three;
        three.count = 3;
        for (std::size_t i = 0; i < ReflectionsEvent::maxEchoes; ++i) {
            three.distances[i] = static_cast<uint32_t>(100 * (i + 1));
            three.amplitudes[i] = static_cast<uint32_t>(200 - i);
        }
        sonar->onSonarReflectionsUpdateHandler(three);
        int shown = 0;
        for (QLabel *label : sonar->echoLabels)
            shown += label->text().isEmpty() ? 0 : 1;
        QCOMPARE(shown, 6);
        QCOMPARE(sonar->echoLabels[2]->text(), QStringLiteral("300"));
        QCOMPARE(sonar->echoLabels[8 + 2]->text(), QStringLiteral("198"));
        QCOMPARE(sonar->echoLabels[3]->text(), QString());

        sonar->quietModeCheck->click();
        QCOMPARE(simProperty("sonar", TINDREL_CHCLASS_DISTANCESENSOR, 0, "SonarQuietMode"), 1.0);
        // Whole millimetres are sent for the change trigger.
        dragTo(*optical->changeTriggerBox->row, 7);
        QCOMPARE(simProperty("optical", TINDREL_CHCLASS_DISTANCESENSOR, 0, "DistanceChangeTrigger"),
                 std::trunc(optical->changeTriggerBox->row->value()));
    }
};

QTEST_MAIN(SingleValueWindowsTest)
#include "SingleValueTest.moc"
