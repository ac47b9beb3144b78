// The motor position controller window: device branches, saved settings in
// the user defaults, engaging, stalls and tuning against the simulated shaft.
#include "MotorPositionController.h"
#include "ErrorEventLog.h"
#include "FieldStepper.h"
#include "MotorRig.h"
#include "MotorSettingsPanel.h"
#include "MotorTestSupport.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr auto MPC = TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER;
}

class MotorPositionWindowTest : public QObject {
    Q_OBJECT

    // Aims at the device and writes the saved settings before the window opens.
    std::unique_ptr<MotorPositionController> openOn(Surroundings &s, int serial, const QString &name,
                                                    const QVariantMap &saved = {})
    {
        s.aimAt(serial);
        for (auto it = saved.begin(); it != saved.end(); ++it)
            s.defaults().setValue(it.key(), it.value());
        auto w = s.open<MotorPositionController>();
        if (!waitAttached(*w, name))
            qWarning("%s did not attach", qPrintable(name));
        return w;
    }

private slots:
    void init() { QVERIFY(loadRig(motorRig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void boxesAndCellsFollowTheDeviceId_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<bool>>("boxes");   // current limit, gain, stall, fan, IO mode
        QTest::addColumn<QList<int>>("disabled");
        QTest::newRow("57") << 5700 << "Motor 57" << QList<bool>{true, true, false, true, true} << QList<int>{7};
        QTest::newRow("108") << 10800 << "Motor 108" << QList<bool>{false, false, true, false, false}
                             << QList<int>{8, 9, 10};
        QTest::newRow("110") << 11000 << "Motor 110" << QList<bool>{true, false, false, false, false}
                             << QList<int>{7, 9, 10};
        QTest::newRow("other") << 12800 << "Motor 128" << QList<bool>{false, false, false, false, false}
                               << QList<int>{};
    }
    void boxesAndCellsFollowTheDeviceId()
    {
        QFETCH(int, serial);
        QFETCH(QString, name);
        QFETCH(QList<bool>, boxes);
        QFETCH(QList<int>, disabled);
        Surroundings s;
        auto w = openOn(s, serial, name);
        const QList<bool> shown{w->currentLimitBox->isVisible(), w->currentRegulatorGainBox->isVisible(),
                                w->stallVelocityBox->isVisible(), w->fanModeBox->isVisible(),
                                w->IOModeBox->isVisible()};
        QCOMPARE(shown, boxes);
        QCOMPARE(w->kp->field->text(), QStringLiteral("20000.0000"));
        QCOMPARE(w->rescaleText->text(), QStringLiteral("1.000000"));
        QCOMPARE(w->acceleration->field->text(), QStringLiteral("10000.00"));
        QCOMPARE(w->acceleration->stepper->step(), 5000.0);
        QCOMPARE(w->kp->stepper->step(), 5000.0);
        QCOMPARE(w->ki->stepper->step(), 0.5);
        QVERIFY(!w->errorEventLogWindow());
        w->saveSettings();
        QCOMPARE(w->settingsWindow->confirmButton->text(), QStringLiteral("Save"));
        for (int tag = 0; tag < 11; ++tag)
            QCOMPARE(w->settingsWindow->cell(tag)->isEnabled(), !disabled.contains(tag));
        w->revertToDefaultSettings();   // already open: nothing changes
        QCOMPARE(w->settingsWindow->confirmButton->text(), QStringLiteral("Save"));
        QCOMPARE(MotorPositionController::panelMode, 0);
    }

    void savedSettingsAreAppliedOnlyWhereTheyBelong()
    {
        Surroundings s;
        const QVariantMap saved{{"kp", 12345.0},        {"stallVelocity", 300.0}, {"currentLimit", 5.0},
                                {"encoderIOMode", 2.0}, {"increment", 250.0},     {"deadband", 3.0}};
        auto w108 = openOn(s, 10800, QStringLiteral("Motor 108"), saved);
        QCOMPARE(simValue("m108", MPC, "Kp"), 12345.0);
        QCOMPARE(simValue("m108", MPC, "StallVelocity"), 300.0);
        QCOMPARE(w108->kp->field->text(), QStringLiteral("12345.0000"));
        QCOMPARE(w108->deadbandText->text(), QStringLiteral("3.000000"));
        QCOMPARE(w108->targetPosition->stepper->step(), 250.0);
        QCOMPARE(w108->incrementPositionText->text(), QStringLiteral("250.00"));
        QVERIFY(!w108->errorEventLogWindow());

        auto w57 = openOn(s, 5700, QStringLiteral("Motor 57"), saved);
        QCOMPARE(simValue("m57", MPC, "IOMode"), 3.0);
        QCOMPARE(simValue("m57", MPC, "CurrentLimit"), 5.0);
        QCOMPARE(w57->encoderIOModeCombo->currentIndex(), 2);
        QCOMPARE(w57->currentLimit->field->text(), QStringLiteral("5.00"));
    }

    void savedSettingsRoundTripAndSurviveARestart()
    {
        Surroundings s;
        {
            auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
            w->kp->field->setText(QStringLiteral("30000"));
            w->kp->fieldAction();
            w->velocity->field->setText(QStringLiteral("5000"));
            w->velocity->fieldAction();
            w->incrementPositionText->setText(QStringLiteral("125"));
            w->setIncrement();
            w->saveSettings();
            w->settingsWindow->selectAll();
            QVERIFY(!w->settingsWindow->isOn(8));
            w->settingsWindow->cell(1)->setChecked(true);
            w->enterSettingsSelection();
            QVERIFY(!w->settingsWindow->isVisible());
            QCOMPARE(s.alerts.titles().last(), QStringLiteral("Saved"));
            QCOMPARE(s.alerts.alerts.last().text, QStringLiteral("Settings have been saved!"));
            QCOMPARE(s.defaults().value("kp").toDouble(), 30000.0);
            QCOMPARE(s.defaults().value("velocityLimit").toDouble(), 5000.0);
            QCOMPARE(s.defaults().value("increment").toDouble(), 125.0);
            QVERIFY(!s.defaults().contains("currentLimit"));
            QVERIFY(!s.defaults().contains("encoderIOMode"));
        }
        // A fresh device, a new window: the saved values come back.
        s.defaults().sync();
        QSettings reread(s.defaults().fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value("kp").toDouble(), 30000.0);
        QVERIFY(loadRig(motorRig));
        const QVariantMap kept{{"kp", reread.value("kp")},
                               {"velocityLimit", reread.value("velocityLimit")},
                               {"increment", reread.value("increment")}};
        auto again = openOn(s, 10800, QStringLiteral("Motor 108"), kept);
        QCOMPARE(simValue("m108", MPC, "Kp"), 30000.0);
        QCOMPARE(simValue("m108", MPC, "VelocityLimit"), 5000.0);
        QCOMPARE(again->velocity->field->text(), QStringLiteral("5000.00"));
        QCOMPARE(again->targetPosition->stepper->step(), 125.0);

        // Revert to default sends what the device had at attach (30000 is saved, not a default).
        again->kp->field->setText(QStringLiteral("777"));
        again->kp->fieldAction();
        again->revertToDefaultSettings();
        again->settingsWindow->deselectAll();
        again->settingsWindow->cell(1)->setChecked(true);
        again->enterSettingsSelection();
        QCOMPARE(simValue("m108", MPC, "Kp"), 20000.0);
        QCOMPARE(s.alerts.alerts.last().text, QStringLiteral("Settings have been reverted to defaults!"));
        QCOMPARE(s.defaults().value("kp").toDouble(), 30000.0);
        again->revertToSavedSettings();
        again->enterSettingsSelection();
        QCOMPARE(simValue("m108", MPC, "Kp"), 30000.0);
        QCOMPARE(s.alerts.alerts.last().text, QStringLiteral("Settings have been reverted to the saved values!"));
    }

    void fieldsAndSteppersFollowTheirRules()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        w->kp->stepper->stepBy(1);
        QCOMPARE(w->kp->field->text(), QStringLiteral("25000.0"));
        QCOMPARE(simValue("m108", MPC, "Kp"), 25000.0);
        w->ki->field->setText(QStringLiteral("0.8"));
        w->ki->fieldAction();
        QCOMPARE(w->ki->stepper->step(), 0.5);
        w->ki->field->setText(QStringLiteral("12"));
        w->ki->fieldAction();
        QCOMPARE(w->ki->stepper->step(), 5.0);
        w->kd->field->setText(QStringLiteral("lots"));
        w->kd->fieldAction();
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(simValue("m108", MPC, "Kd"), 40000.0);
        w->targetPosition->stepper->setStep(50);
        w->targetPosition->stepper->stepBy(2);
        QCOMPARE(w->targetPosition->field->text(), QStringLiteral("100.00"));
        QCOMPARE(w->targetPosition->stepper->step(), 50.0);
        QCOMPARE(simValue("m108", MPC, "TargetPosition"), 100.0);
        w->setIOMode(7);   // not an item: nothing is sent
        QCOMPARE(simValue("m108", MPC, "IOMode"), 1.0);
    }

    void aUserTunesAStepAndWatchesItSettleThenAStallDisengages()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        w->deadbandText->setText(QStringLiteral("4"));
        w->setDeadband();
        w->engageMotor();
        QCOMPARE(w->engageMotorButton->text(), QStringLiteral("Disengage Motor"));
        QCOMPARE(simValue("m108", MPC, "Engaged"), 1.0);
        w->targetPosition->field->setText(QStringLiteral("1500"));
        w->targetPosition->fieldAction();
        QTRY_VERIFY_WITH_TIMEOUT(std::fabs(w->motorPositionLabel->text().toDouble() - 1500) <= 4, deadlineMs);

        QVERIFY(TindrelSim_setMotorCondition("m108", 0, "hold", 1) == TINDREL_OK);
        w->targetPosition->field->setText(QStringLiteral("6000"));
        w->targetPosition->fieldAction();
        QTRY_COMPARE_WITH_TIMEOUT(w->engageMotorButton->text(), QStringLiteral("Engage Motor"), deadlineMs);
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(simValue("m108", MPC, "Engaged"), 0.0);
        w->engageMotor();
        QCOMPARE(w->engageMotorButton->text(), QStringLiteral("Disengage Motor"));
    }

    void theSentTargetPositionFeedsItsStream()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        checkTargetFeedsItsStream(*w, *w->targetPosition, QStringLiteral("Target Position"), 2500);
        QCOMPARE(simValue("m108", MPC, "TargetPosition"), 2500.0);
    }

    void detachWritesZerosAndKeepsTheBoxes()
    {
        Surroundings s;
        auto w = openOn(s, 5700, QStringLiteral("Motor 57"));
        w->fanModeCombo->setCurrentIndex(0);
        QVERIFY(TindrelSim_detachDevice("m57") == TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->kp->field->text(), QStringLiteral("0"));
        QCOMPARE(w->currentRegulatorGain->field->text(), QStringLiteral("0"));
        QCOMPARE(w->fanModeCombo->currentIndex(), 2);
        QCOMPARE(w->encoderIOModeCombo->currentIndex(), 0);
        QVERIFY(!w->currentLimitBox->isHidden());
    }

    void maximumSizeAttachedFoldingAndMinimumDetached()
    {
        Surroundings s;
        auto w = openOn(s, 5700, QStringLiteral("Motor 57"));
        checkControllerSizing(*w, [] { QCOMPARE(TindrelSim_detachDevice("m57"), TINDREL_OK); });
    }
};

QTEST_MAIN(MotorPositionWindowTest)
#include "MotorPositionControllerTest.moc"
