// The power guard window against a simulated guard: fan modes both ways,
// the over-voltage threshold sent on release, power on and off, and the
// guard tripping when its supply or board goes past the limits.
#include "CodePopup.h"
#include "MotorOutputLogic.h"
#include "MotorTestSupport.h"
#include "PowerGuardController.h"

#include <QCheckBox>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "g1", "deviceId": 106, "class": 2, "serial": 10600, "name": "Guard",
     "channels": [{"class": "PowerGuard", "properties": {"FanMode": 1, "PowerEnabled": 1, "OverVoltage": 20}}]},
    {"id": "g2", "deviceId": 106, "class": 2, "serial": 10601, "name": "Guard Two",
     "channels": [{"class": "PowerGuard"}]}
  ]
})";

constexpr auto PG = TINDREL_CHCLASS_POWERGUARD;

}   // namespace

class PowerGuardWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void fanModeMapsTheSameBothWays()
    {
        for (int index = 0; index < 3; ++index)
            QCOMPARE(motors::fanModeIndexForCode(motors::fanModeCodeForIndex(index)), std::optional<int>(index));
        QCOMPARE(motors::fanModeCodeForIndex(7), 3);
        QCOMPARE(motors::fanModeIndexForCode(0), std::nullopt);

        Surroundings s;
        auto w = openOn<PowerGuardController>(s, 10600, "Guard");
        QCOMPARE(w->fanModeCombo->currentIndex(), 1);
        w->fanModeCombo->setCurrentIndex(0);
        emit w->fanModeCombo->activated(0);
        QCOMPARE(simProperty("g1", PG, 0, "FanMode"), 2.0);
        w->fanModeCombo->setCurrentIndex(2);
        emit w->fanModeCombo->activated(2);
        QCOMPARE(simProperty("g1", PG, 0, "FanMode"), 3.0);
    }

    void attachShowsTheDevice()
    {
        Surroundings s;
        int collapsed = 0;
        auto w = openOn<PowerGuardController>(s, 10600, "Guard", 0, &collapsed);
        QVERIFY(w->height() > collapsed + w->dataBox->height());
        QVERIFY(w->dataBox->isVisible());
        QVERIFY(w->settingsBox->isVisible());
        QVERIFY(w->powerEnabledCheck->isChecked());
        QCOMPARE(w->overVoltageSlider->minLabel->text(), QStringLiteral("8.00 V"));
        QCOMPARE(w->overVoltageSlider->maxLabel->text(), QStringLiteral("33.00 V"));
        QCOMPARE(w->overVoltageSlider->valueLabel->text(), QStringLiteral("20.00 V"));
        QVERIFY(TindrelSim_detachDevice("g1") == TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->overVoltageSlider->valueLabel->text(), QStringLiteral("V"));
        QCOMPARE(w->overVoltageSlider->value(), 8.0);
        QVERIFY(!w->dataBox->isVisible());
        QCOMPARE(w->height(), collapsed);
    }

    void thresholdIsSentOnRelease()
    {
        Surroundings s;
        auto w = openOn<PowerGuardController>(s, 10601, "Guard Two");
        drag(*w->overVoltageSlider, 15.0, false);
        QCOMPARE(simProperty("g2", PG, 0, "OverVoltage"), 33.0);
        QVERIFY(w->overVoltageSlider->valueLabel->text().startsWith(QStringLiteral("15.")));
        w->overVoltageSlider->slider->setSliderDown(false);
        QVERIFY(std::abs(simProperty("g2", PG, 0, "OverVoltage") - 15.0) < 0.05);
    }

    void guardTripsOnOverVoltageAndOverTemperature()
    {
        Surroundings s;
        auto w = openOn<PowerGuardController>(s, 10600, "Guard");
        QVERIFY(TindrelSim_setGuardSupply("g1", 0, 24.0, 30.0) == TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(logText(*w).contains(QStringLiteral("Over-voltage")), deadlineMs);
        QCOMPARE(simProperty("g1", PG, 0, "PowerEnabled"), 0.0);
        // The window does not hear of the trip: its check box still shows power on.
        w->setPowerEnabled(true);   // refused while the supply is too high
        QCOMPARE(simProperty("g1", PG, 0, "PowerEnabled"), 0.0);
        QVERIFY(logText(*w).contains(QStringLiteral("above the over-voltage limit")));

        QVERIFY(TindrelSim_setGuardSupply("g1", 0, 12.0, 30.0) == TINDREL_OK);
        w->setPowerEnabled(true);   // the fault cleared: power comes back
        QCOMPARE(simProperty("g1", PG, 0, "PowerEnabled"), 1.0);
        QVERIFY(TindrelSim_setGuardSupply("g1", 0, 12.0, 95.0) == TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(logText(*w).contains(QStringLiteral("Over-temperature")), deadlineMs);
        QCOMPARE(simProperty("g1", PG, 0, "PowerEnabled"), 0.0);
        QVERIFY(TindrelSim_setGuardSupply("g1", 0, 12.0, std::nan("")) != TINDREL_OK);
    }
};

QTEST_MAIN(PowerGuardWindowTest)
#include "PowerGuardTest.moc"
