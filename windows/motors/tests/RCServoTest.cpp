// The RC servo window against simulated servos: its device branches, moves
// to a target, calibration and the per-device settings.
#include "MotorOutputLogic.h"
#include "MotorTestSupport.h"
#include "RCServoController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "r38", "deviceId": 38, "class": 2, "serial": 3800, "name": "Servo 38", "channels": [{"class": "RCServo"}]},
    {"id": "r43", "deviceId": 43, "class": 2, "serial": 4300, "name": "Servo 43", "channels": [{"class": "RCServo"}]},
    {"id": "r80", "deviceId": 80, "class": 2, "serial": 8000, "name": "Servo 80", "channels": [{"class": "RCServo"}]},
    {"id": "r3", "deviceId": 3, "class": 2, "serial": 300, "name": "Servo 3", "channels": [{"class": "RCServo"}]},
    {"id": "r126", "deviceId": 126, "class": 2, "serial": 12600, "name": "Servo 126", "channels": [{"class": "RCServo"}]}
  ]
})";

constexpr auto RC = TINDREL_CHCLASS_RCSERVO;

struct Shown {
    bool velocity, voltage, reached, advanced, dataInterval;
};

}   // namespace

class RCServoWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void rowsAndSizeFollowTheDevice()
    {
        struct Case {
            int serial;
            const char *name;
            Shown shown;
        };
        const Case cases[] = {
            {3800, "Servo 38", {true, false, true, true, true}},
            {4300, "Servo 43", {true, false, true, true, true}},
            {8000, "Servo 80", {false, true, true, true, false}},
            {300, "Servo 3", {true, false, true, false, false}},
            {12600, "Servo 126", {true, false, false, false, false}},
        };
        for (const Case &c : cases) {
            Surroundings s;
            auto w = openOn<RCServoController>(s, c.serial, c.name);
            QVERIFY2(w->velocityEventLabel->isVisible() == c.shown.velocity, c.name);
            QVERIFY2(w->velocityEventText->isVisible() == c.shown.velocity, c.name);
            QVERIFY2(w->voltageCombo->isVisible() == c.shown.voltage, c.name);
            QVERIFY2(w->stoppedCheck->isVisible() == c.shown.reached, c.name);
            QVERIFY2(w->advancedControlsBox->isVisible() == c.shown.advanced, c.name);
            QVERIFY2(w->dataIntBox->isVisible() == c.shown.dataInterval, c.name);
            QCOMPARE(w->width(), 550);
            QCOMPARE(w->positionEventLabel->text(), QStringLiteral("unknown"));
            QCOMPARE(w->positionSlider->valueLabel->text(), QStringLiteral("unknown"));
            QCOMPARE(w->minPulseWidthTextField->text(), QStringLiteral("544.0"));
            QCOMPARE(w->positionAtMaxTextField->text(), QStringLiteral("180.0"));
            QCOMPARE(w->enabledButton->text(), QStringLiteral("Engage"));
        }
    }

    void reattachGrowsToTheSameSize()
    {
        Surroundings s;
        auto w = openOn<RCServoController>(s, 3800, "Servo 38");
        const int height = w->height();
        QVERIFY(TindrelSim_detachDevice("r38") == TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->dataIntBox->isVisible());
        QVERIFY(w->height() < height);
        QVERIFY(TindrelSim_attachDevice("r38") == TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Servo 38")));
        QCOMPARE(w->height(), height);
    }

    void engagedMoveRaisesTargetReached()
    {
        Surroundings s;
        auto w = openOn<RCServoController>(s, 300, "Servo 3");
        w->enabledButton->click();
        QCOMPARE(w->enabledButton->text(), QStringLiteral("Disengage"));
        QCOMPARE(simProperty("r3", RC, 0, "Engaged"), 1.0);
        choose(*w->positionSlider, 120.0);
        const double target = simProperty("r3", RC, 0, "TargetPosition");
        QVERIFY(std::abs(target - 120.0) < 0.5);
        QVERIFY(!w->stoppedCheck->isChecked());
        QCOMPARE(w->positionSlider->valueLabel->text(), formatNumber("%0.3f", target));
        QTRY_VERIFY_WITH_TIMEOUT(w->stoppedCheck->isChecked(), deadlineMs);
        QCOMPARE(w->positionEventLabel->text(), formatNumber("%.3f", target));

        w->stoppedCheck->click();   // the user cannot clear it
        QVERIFY(w->stoppedCheck->isChecked());
        w->enabledButton->click();
        QCOMPARE(w->enabledButton->text(), QStringLiteral("Engage"));
        QCOMPARE(simProperty("r3", RC, 0, "Engaged"), 0.0);
    }

    void calibrationKeepsThePulseAndMapsItToTheNewRange()
    {
        Surroundings s;
        auto w = openOn<RCServoController>(s, 12600, "Servo 126");
        w->enabledButton->click();
        choose(*w->positionSlider, 120.0);
        const double target = simProperty("r126", RC, 0, "TargetPosition");
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("r126", RC, 0, "Position"), target, deadlineMs);
        // The servo holds its pulse; a new position range names it anew.
        const double pulse = 544.0 + target / 180.0 * (2400.0 - 544.0);
        w->positionAtMaxTextField->setText(QStringLiteral("90"));
        w->minPulseWidthTextField->setText(QStringLiteral("544.9"));
        w->apply();
        QCOMPARE(simProperty("r126", RC, 0, "MinPulseWidth"), 544.0);
        const double expected = (pulse - 544.0) / (2400.0 - 544.0) * 90.0;
        QVERIFY(std::abs(simProperty("r126", RC, 0, "Position") - expected) < 1e-6);
        QCOMPARE(w->positionSlider->valueLabel->text(), formatNumber("%.3f", expected));
        QCOMPARE(w->positionSlider->maxLabel->text(), QStringLiteral("90.000"));

        // Narrower pulse widths: the held pulse now lies at another position.
        w->minPulseWidthTextField->setText(QStringLiteral("1000"));
        w->maxPulseWidthTextField->setText(QStringLiteral("2000"));
        w->apply();
        const double narrow = std::clamp((pulse - 1000.0) / 1000.0, 0.0, 1.0) * 90.0;
        QVERIFY(std::abs(simProperty("r126", RC, 0, "Position") - narrow) < 1e-6);

        w->minPulseWidthTextField->setText(QStringLiteral("3000"));   // above the maximum: refused
        w->apply();
        QVERIFY(!logText(*w).isEmpty());
        QCOMPARE(simProperty("r126", RC, 0, "MinPulseWidth"), 1000.0);
        w->positionAtMinTextField->setText(QStringLiteral("left"));
        w->apply();
        QVERIFY(logText(*w).contains(QStringLiteral("needs a number")));
    }

    void supplyVoltageAndRampingOnDevice80()
    {
        Surroundings s;
        auto w = openOn<RCServoController>(s, 8000, "Servo 80");
        w->voltageCombo->setCurrentIndex(2);
        emit w->voltageCombo->activated(2);
        QCOMPARE(simProperty("r80", RC, 0, "Voltage"), 3.0);
        w->setVoltage(-1);
        QVERIFY(logText(*w).contains(QStringLiteral("No supply voltage")));
        QCOMPARE(simProperty("r80", RC, 0, "Voltage"), 3.0);

        w->speedRampingCheck->click();
        QCOMPARE(simProperty("r80", RC, 0, "SpeedRampingState"), 0.0);
        QVERIFY(!w->velocitySlider->isEnabled());
        QVERIFY(!w->accelerationSlider->isEnabled());
        w->speedRampingCheck->click();
        QVERIFY(w->velocitySlider->isEnabled());
        choose(*w->velocitySlider, 500000.0);
        QVERIFY(std::abs(simProperty("r80", RC, 0, "VelocityLimit") - 500000.0) < 2000.0);
    }

    void dataIntervalIsSentOnRelease()
    {
        Surroundings s;
        auto w = openOn<RCServoController>(s, 4300, "Servo 43");
        QCOMPARE(w->dataIntSlider->valueLabel->text(), QStringLiteral("250 ms"));
        drag(*w->dataIntSlider, 1000, false);
        QCOMPARE(w->dataIntSlider->valueLabel->text(), QStringLiteral("1000 ms"));
        QCOMPARE(simProperty("r43", RC, 0, "DataInterval"), 250.0);
        w->dataIntSlider->slider->setSliderDown(false);
        QCOMPARE(simProperty("r43", RC, 0, "DataInterval"), 1000.0);
    }
};

QTEST_MAIN(RCServoWindowTest)
#include "RCServoTest.moc"
