// The stepper window against simulated steppers: its device branches, step
// and run moves, and the failsafe with its two timers.
#include "MotorOutputLogic.h"
#include "MotorTestSupport.h"
#include "StepperController.h"

#include <QElapsedTimer>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "s39", "deviceId": 39, "class": 2, "serial": 3900, "name": "Stepper 39", "channels": [{"class": "Stepper"}]},
    {"id": "s86", "deviceId": 86, "class": 2, "serial": 8600, "name": "Stepper 86",
     "channels": [{"class": "Stepper", "properties": {"CurrentLimit": 1.5}}]},
    {"id": "s127", "deviceId": 127, "class": 2, "serial": 12700, "name": "Stepper 127", "channels": [{"class": "Stepper"}]}
  ]
})";

constexpr auto ST = TINDREL_CHCLASS_STEPPER;

// Watches the window reset the failsafe of stepper s86 for spanMs. True
// when every reset came well within the failsafe time; a loaded machine may
// hold up the main thread for longer, and such a run proves nothing. Each
// reset must have refilled the countdown.
bool resetInTime(StepperController &w, int failsafeMs, int spanMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QObject watcher;
    QObject::connect(w.failsafeTimer, &QTimer::timeout, &watcher, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
        QCOMPARE(w.failsafeProgress->value(), 100);
    });
    QTest::qWait(spanMs);
    return std::max(longest, clock.elapsed() - last) < failsafeMs * 3 / 4 && last > 0;
}

// The failsafe, enabled and reset by the window, holds the engaged motor:
// over a run of several failsafe times whose resets all came in time,
// nothing trips and nothing is logged. A run held up by the machine is
// tried again, armed anew.
void checkHoldsWhileReset(StepperController &w, int failsafeMs, int spanMs)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0) {
            w.clearErrorLog();
            w.failsafeDurationText->setText(QString::number(failsafeMs));
            w.enableFailsafe();
            if (simProperty("s86", ST, 0, "Engaged") == 0.0)
                w.engagedButton->click();
        }
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 1.0);
        QVERIFY(w.failsafeTimer->isActive());
        const int errors = w.errorCount();
        if (!resetInTime(w, failsafeMs, spanMs)) {
            qWarning("the main thread was held up beyond the failsafe's margin; trying again");
            continue;
        }
        QCOMPARE(w.errorCount(), errors);
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 1.0);
        QVERIFY(!w.failsafeTrippedLabel->isVisible());
        return;
    }
    QFAIL("no run of resets came in time");
}

}   // namespace

class StepperWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void failsafePeriodsAreATenthAndAHalfOfTheTime()
    {
        const auto p = motors::failsafePeriods(1000);
        QCOMPARE(p.display.count(), 100);
        QCOMPARE(p.reset.count(), 500);
    }

    void rowsFollowTheDevice()
    {
        Surroundings s;
        auto plain = openOn<StepperController>(s, 12700, "Stepper 127");
        QVERIFY(plain->currentBox->isVisible());
        QVERIFY(!plain->holdingCurrentBox->isVisible());
        QVERIFY(!plain->failsafeBox->isVisible());
        QCOMPARE(plain->CurrentLimitSlider->minLabel->text(), QStringLiteral("0.00 A"));
        QCOMPARE(plain->CurrentLimitSlider->maxLabel->text(), QStringLiteral("4.00 A"));

        auto noCurrent = openOn<StepperController>(s, 3900, "Stepper 39");
        QVERIFY(!noCurrent->currentBox->isVisible());
        QVERIFY(!noCurrent->failsafeBox->isVisible());

        auto failsafe = openOn<StepperController>(s, 8600, "Stepper 86");
        QVERIFY(failsafe->currentBox->isVisible());
        QVERIFY(failsafe->holdingCurrentBox->isVisible());
        QVERIFY(failsafe->failsafeBox->isVisible());
        QCOMPARE(failsafe->HoldingCurrentText->text(), QStringLiteral("1.50 A"));
        QCOMPARE(failsafe->CurrentLimitSlider->valueLabel->text(), QStringLiteral("1.50 A"));
        QCOMPARE(failsafe->engagedButton->text(), QStringLiteral("Engage"));
    }

    void targetRangeAtAttachAndAfterRescale()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 12700, "Stepper 127");
        QCOMPARE(w->RangeText->text(), QStringLiteral("100000"));
        QCOMPARE(w->TargetPositionSlider->minimum(), -10000.0);
        QCOMPARE(w->TargetPositionSlider->maxLabel->text(), QStringLiteral("10000.000"));
        w->rescaleTextField->setText(QStringLiteral("0.5"));
        w->setRescaleFactor();
        QCOMPARE(w->RangeText->text(), QStringLiteral("5000.000"));
        QCOMPARE(w->TargetPositionSlider->minLabel->text(), QStringLiteral("-5000.000"));

        w->RangeText->setText(QStringLiteral("2000"));
        w->setRange();
        QCOMPARE(w->TargetPositionSlider->maximum(), 2000.0);
        QCOMPARE(w->TargetPositionSlider->minLabel->text(), QStringLiteral("-2000.000"));
        w->RangeText->setText(QStringLiteral("1e20"));
        w->setRange();
        QCOMPARE(w->RangeText->text(), QStringLiteral("Invalid"));
        QCOMPARE(w->TargetPositionSlider->maximum(), 2000.0);
        w->RangeText->setText(QStringLiteral("wide"));
        w->setRange();
        QCOMPARE(w->RangeText->text(), QStringLiteral("Invalid"));
    }

    void holdingCurrentFollowsTheCurrentLimitUntilUsed()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 8600, "Stepper 86");
        choose(*w->CurrentLimitSlider, 2.0);
        QTRY_COMPARE(simProperty("s86", ST, 0, "CurrentLimit"), 2.0);
        QCOMPARE(w->HoldingCurrentText->text(), QStringLiteral("2.00 A"));
        QCOMPARE(simProperty("s86", ST, 0, "HoldingCurrentLimit"), 0.5);   // display only

        choose(*w->HoldingCurrentSlider, 1.0);
        QVERIFY(w->holdCurrentSet());
        QCOMPARE(simProperty("s86", ST, 0, "HoldingCurrentLimit"), 1.0);
        choose(*w->CurrentLimitSlider, 3.0);
        QCOMPARE(w->HoldingCurrentText->text(), QStringLiteral("1.00 A"));

        w->HoldingCurrentText->setText(QStringLiteral("0.75"));
        w->setHoldingCurrentLimit();
        QCOMPARE(simProperty("s86", ST, 0, "HoldingCurrentLimit"), 0.75);
        w->HoldingCurrentText->setText(QStringLiteral("lots"));
        w->setHoldingCurrentLimit();
        QVERIFY(logText(*w).contains(QStringLiteral("not a number")));
    }

    void stepMoveReachesItsTargetAndReportsStoppedOnce()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 12700, "Stepper 127");
        w->engagedButton->click();
        QCOMPARE(w->engagedButton->text(), QStringLiteral("Disengage"));
        QCOMPARE(simProperty("s127", ST, 0, "Engaged"), 1.0);
        choose(*w->TargetPositionSlider, 4000.0);
        const double target = simProperty("s127", ST, 0, "TargetPosition");
        QVERIFY(target > 3000.0);
        QCOMPARE(w->TargetPositionSlider->valueLabel->text(), formatNumber("%.3f", target));
        QTRY_COMPARE_WITH_TIMEOUT(w->motorPositionText->text(), formatNumber("%.3f", target), deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(w->stoppedCount(), quint64(1), deadlineMs);
        QCOMPARE(w->motorMovingLabel->text(), QStringLiteral("Stopped"));
        QTest::qWait(600);   // a few more data intervals at rest
        QCOMPARE(w->stoppedCount(), quint64(1));

        w->positionZero();
        QCOMPARE(w->motorPositionText->text(), QStringLiteral("0.000"));
    }

    void runMoveGoesBothWays()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 12700, "Stepper 127");
        w->runModeRadio->click();
        QVERIFY(!w->stepModeRadio->isChecked());
        QVERIFY(!w->positionBox->isVisible());
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 1.0);
        QCOMPARE(simProperty("s127", ST, 0, "VelocityLimit"), 0.0);
        QCOMPARE(w->VelocityLimitSlider->minimum(), -w->VelocityLimitSlider->maximum());
        w->engagedButton->click();

        choose(*w->VelocityLimitSlider, 5000.0);
        QVERIFY(simProperty("s127", ST, 0, "VelocityLimit") > 0);
        QTRY_VERIFY_WITH_TIMEOUT(w->motorVelocityText->text().toDouble() > 1000.0, deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(w->motorMovingLabel->text(), QStringLiteral("Moving"), deadlineMs);
        choose(*w->VelocityLimitSlider, -5000.0);
        QVERIFY(simProperty("s127", ST, 0, "VelocityLimit") < 0);
        QTRY_VERIFY_WITH_TIMEOUT(w->motorVelocityText->text().toDouble() < -1000.0, deadlineMs);
        const double before = simProperty("s127", ST, 0, "Position");
        QTRY_VERIFY_WITH_TIMEOUT(simProperty("s127", ST, 0, "Position") < before - 500.0, deadlineMs);

        w->stepModeRadio->click();
        QVERIFY(w->positionBox->isVisible());
        QCOMPARE(w->VelocityLimitSlider->minimum(), 0.0);
        QCOMPARE(simProperty("s127", ST, 0, "VelocityLimit"), 0.0);
        QTRY_COMPARE_WITH_TIMEOUT(w->motorMovingLabel->text(), QStringLiteral("Stopped"), deadlineMs);
    }

    void failsafeTripsWhenNotResetAndRecoversWhenEnabledAgain()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 8600, "Stepper 86");
        w->engagedButton->click();
        w->failsafeDurationText->setText(QStringLiteral("500"));
        w->enableFailsafe();
        QVERIFY(w->failsafeProgress->isVisible());
        QCOMPARE(w->failsafeProgress->value(), 100);
        QCOMPARE(w->uiTimer->interval(), 50);
        QCOMPARE(w->failsafeTimer->interval(), 250);
        w->testFailsafe();
        QVERIFY(w->uiTimer->isActive());
        QVERIFY(!w->failsafeTimer->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(logText(*w).contains(QStringLiteral("Failsafe")), deadlineMs);
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 0.0);
        QCOMPARE(w->failsafeProgress->value(), 0);
        QVERIFY(w->failsafeTrippedLabel->isVisible());
        QCOMPARE(w->engagedButton->text(), QStringLiteral("Engage"));
        QVERIFY(!w->uiTimer->isActive());

        // Enabling again recovers in the same window; the motor waits to be
        // engaged. A longer time leaves room for the calls up to the engage.
        const int errors = w->errorCount();
        w->failsafeDurationText->setText(QStringLiteral("1000"));
        w->enableFailsafe();
        QCOMPARE(w->errorCount(), errors);
        QVERIFY(!w->failsafeTrippedLabel->isVisible());
        QCOMPARE(w->failsafeProgress->value(), 100);
        QVERIFY(w->uiTimer->isActive());
        QVERIFY(w->failsafeTimer->isActive());
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 0.0);
        w->engagedButton->click();
        QCOMPARE(w->engagedButton->text(), QStringLiteral("Disengage"));
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 1.0);
        checkHoldsWhileReset(*w, 1000, 2500);   // two and a half failsafe times, reset every half second
        if (QTest::currentTestFailed())
            return;
        w.reset();

        // A fresh open of the channel leaves the failsafe state as well.
        auto again = openOn<StepperController>(s, 8600, "Stepper 86");
        again->engagedButton->click();
        QCOMPARE(simProperty("s86", ST, 0, "Engaged"), 1.0);
    }

    void modeTabsSetTheControlModeAndFollowTheRadios()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 12700, "Stepper 127");
        QCOMPARE(w->modeTabView->currentIndex(), 0);
        QVERIFY(w->positionBox->isVisible());
        choose(*w->VelocityLimitSlider, 3000.0);
        const double limit = simProperty("s127", ST, 0, "VelocityLimit");
        QVERIFY(limit > 2000.0);

        // A tab only switches the mode (and what the window shows of it).
        w->modeTabView->setCurrentIndex(1);
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 1.0);
        QCOMPARE(simProperty("s127", ST, 0, "VelocityLimit"), limit);
        QVERIFY(w->runModeRadio->isChecked());
        QVERIFY(!w->stepModeRadio->isChecked());
        QVERIFY(!w->positionBox->isVisible());
        w->modeTabView->setCurrentIndex(0);
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 0.0);
        QVERIFY(w->stepModeRadio->isChecked());
        QVERIFY(w->positionBox->isVisible());

        // The radios turn the tabs without a second call.
        w->runModeRadio->click();
        QCOMPARE(w->modeTabView->currentIndex(), 1);
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 1.0);
        w->modeTabView->setCurrentIndex(0);   // the target row comes back with the step tab
        QVERIFY(w->positionBox->isVisible());
        QVERIFY(w->stepModeRadio->isChecked());
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 0.0);
        w->runModeRadio->click();
        w->stepModeRadio->click();
        QCOMPARE(w->modeTabView->currentIndex(), 0);
        QCOMPARE(simProperty("s127", ST, 0, "ControlMode"), 0.0);
        QCOMPARE(logText(*w), QString());
    }

    void windowKeepsItsSizeUntilADetachShrinksIt()
    {
        Surroundings s;
        s.aimAt(8600);
        auto w = std::unique_ptr<StepperController>(makeWindow<StepperController>());
        w->resize(560, 1300);
        w->setUp(s.env());
        w->show();
        QCOMPARE(w->height(), 1300);
        QVERIFY(waitAttached(*w, QStringLiteral("Stepper 86")));
        QCOMPARE(w->height(), 1300);

        QCOMPARE(TindrelSim_detachDevice("s86"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        const int collapsed = w->height();
        QVERIFY(collapsed < 1300);
        QCOMPARE(TindrelSim_attachDevice("s86"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Stepper 86")));
        // Not grown back to its old size, yet nothing shown is cut off.
        QVERIFY(w->height() < 1300);
        QVERIFY(w->height() > collapsed);
        QVERIFY(w->height() >= w->layout()->minimumSize().height());
    }

    void failsafeHoldsWhileReset()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 8600, "Stepper 86");
        w->engagedButton->click();
        w->failsafeDurationText->setText(QStringLiteral("2000"));
        w->enableFailsafe();
        checkHoldsWhileReset(*w, 2000, 5000);   // two and a half failsafe times, reset every second
        QCOMPARE(logText(*w), QString());
    }

    void closingStopsBothTimers()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 8600, "Stepper 86");
        w->failsafeDurationText->setText(QStringLiteral("500"));
        w->enableFailsafe();
        QVERIFY(w->failsafeTimer->isActive());
        w->tearDown();
        QVERIFY(!w->hasChannel());
        QVERIFY(!w->uiTimer->isActive());
        QVERIFY(!w->failsafeTimer->isActive());
        const int errors = w->errorCount();
        QTest::qWait(800);   // more than three reset periods
        QCOMPARE(w->errorCount(), errors);
    }

    void badFailsafeTimeIsRefusedWithAMessage()
    {
        Surroundings s;
        auto w = openOn<StepperController>(s, 8600, "Stepper 86");
        w->failsafeDurationText->setText(QStringLiteral("soon"));
        w->enableFailsafe();
        QVERIFY(!w->uiTimer);
        QVERIFY(logText(*w).contains(QStringLiteral("not a number")));
        w->failsafeDurationText->setText(QStringLiteral("100"));   // below the device's minimum
        w->enableFailsafe();
        QVERIFY(!w->uiTimer);
        QCOMPARE(logText(*w).count(QLatin1Char('\n')), 2);
    }
};

QTEST_MAIN(StepperWindowTest)
#include "StepperTest.moc"
