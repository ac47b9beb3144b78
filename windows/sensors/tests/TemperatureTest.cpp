// The temperature window's groups by channel subclass and change trigger.
#include "BoundRows.h"
#include "SliderRow.h"
#include "TemperatureSensorController.h"
#include "WindowTestSupport.h"

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "tc", "deviceId": 90, "class": 2, "serial": 9000, "name": "Thermocouple",
     "channels": [{"class": "TemperatureSensor", "subclass": 33,
                   "properties": {"ThermocoupleType": 3, "TemperatureChangeTrigger": 0.5}}]},
    {"id": "tc4", "deviceId": 90, "class": 2, "serial": 9004, "name": "Thermocouple T",
     "channels": [{"class": "TemperatureSensor", "subclass": 33, "properties": {"ThermocoupleType": 4}}]},
    {"id": "rtd", "deviceId": 91, "class": 2, "serial": 9100, "name": "RTD",
     "channels": [{"class": "TemperatureSensor", "subclass": 32, "properties": {"RTDType": 2, "RTDWireSetup": 3}}]},
    {"id": "plain", "deviceId": 45, "class": 2, "serial": 4500, "name": "Plain",
     "channels": [{"class": "TemperatureSensor"}]},
    {"id": "fixed", "deviceId": 140, "class": 2, "serial": 14000, "name": "Fixed",
     "channels": [{"class": "TemperatureSensor", "properties": {"TemperatureChangeTrigger": 0.5},
                   "ranges": {"TemperatureChangeTrigger": [0.5, 0.5]}}]}
  ]
})";

std::unique_ptr<TemperatureSensorController> openOn(Surroundings &s, int serial, const char *name)
{
    s.aimAt(serial);
    auto w = s.open<TemperatureSensorController>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        qWarning("%s did not attach", name);
    return w;
}

}   // namespace

class TemperatureWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void thermocoupleShowsItsTypeAndTheTriggerInDegrees()
    {
        Surroundings s;
        auto w = openOn(s, 9000, "Thermocouple");
        QVERIFY(w->thermocoupleBox->isVisible());
        QVERIFY(!w->rtdBox->isVisible());
        QVERIFY(w->settingsLabel->isVisible());
        QCOMPARE(w->thermocoupleTypeCombo->currentIndex(), 2);
        QCOMPARE(w->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0.500 ºC"));
        QCOMPARE(w->changeTriggerBox->row->value(), 0.5);

        w->thermocoupleTypeCombo->setCurrentIndex(0);
        emit w->thermocoupleTypeCombo->activated(0);
        QCOMPARE(simProperty("tc", TINDREL_CHCLASS_TEMPERATURESENSOR, 0, "ThermocoupleType"), 1.0);

        QCOMPARE(TindrelSim_setInputValue("tc", TINDREL_CHCLASS_TEMPERATURESENSOR, 0, "Temperature", 21.5), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->temperatureText->text(), QStringLiteral("21.500 ºC"), deadlineMs);
        QCOMPARE(TindrelSim_detachDevice("tc"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->temperatureText->text(), QStringLiteral("?"));
        QVERIFY(!w->settingsLabel->isVisible());
        QVERIFY(!w->thermocoupleBox->isVisible());

        // A type beyond the first three selects the last entry.
        auto t = openOn(s, 9004, "Thermocouple T");
        QCOMPARE(t->thermocoupleTypeCombo->currentIndex(), 3);
    }

    void rtdShowsTypeAndWiringAndPlainSensorsShowNeither()
    {
        Surroundings s;
        auto rtd = openOn(s, 9100, "RTD");
        auto plain = openOn(s, 4500, "Plain");
        QVERIFY(rtd->rtdBox->isVisible());
        QVERIFY(!rtd->thermocoupleBox->isVisible());
        QCOMPARE(rtd->rtdTypeCombo->currentIndex(), 1);
        QCOMPARE(rtd->rtdSetupCombo->currentIndex(), 2);
        rtd->rtdSetupCombo->setCurrentIndex(0);
        emit rtd->rtdSetupCombo->activated(0);
        QCOMPARE(simProperty("rtd", TINDREL_CHCLASS_TEMPERATURESENSOR, 0, "RTDWireSetup"), 1.0);

        QVERIFY(!plain->rtdBox->isVisible());
        QVERIFY(!plain->thermocoupleBox->isVisible());
        QVERIFY(plain->changeTriggerBox->isVisible());
        QVERIFY(plain->height() < rtd->height());
        QVERIFY(!plain->errorEventLogWindow());
    }

    void aTriggerThatCannotChangeShowsNoTriggerGroup()
    {
        Surroundings s;
        auto w = openOn(s, 14000, "Fixed");
        QVERIFY(w->dataIntervalBox->isVisible());
        QVERIFY(!w->changeTriggerBox->isVisible());
    }
};

QTEST_MAIN(TemperatureWindowTest)
#include "TemperatureTest.moc"
