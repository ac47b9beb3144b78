// The motor velocity controller window: its own keys, the current limit by
// device, the inductance read after attach, and the fault events.
#include "MotorVelocityController.h"
#include "FieldStepper.h"
#include "LibraryError.h"
#include "MotorRig.h"
#include "MotorSettingsPanel.h"
#include "MotorTestSupport.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr auto MVC = TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
}

class MotorVelocityWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MotorVelocityController> openOn(Surroundings &s, int serial, const QString &name,
                                                    const QVariantMap &saved = {})
    {
        s.aimAt(serial);
        for (auto it = saved.begin(); it != saved.end(); ++it)
            s.defaults().setValue(it.key(), it.value());
        auto w = s.open<MotorVelocityController>();
        if (!waitAttached(*w, name))
            qWarning("%s did not attach", qPrintable(name));
        return w;
    }

private slots:
    void init() { QVERIFY(loadRig(motorRig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void savedCurrentLimitReachesFourDevicesButFillsOnlyTwo()
    {
        Surroundings s;
        const QVariantMap saved{{"MVCcurrentLimit", 6.0}, {"MVCkp", 8.0}, {"kp", 999.0}, {"MVCincrement", 25.0}};
        auto w128 = openOn(s, 12800, QStringLiteral("Motor 128"), saved);
        QCOMPARE(simValue("m128", MVC, "CurrentLimit"), 6.0);
        QCOMPARE(simValue("m128", MVC, "Kp"), 8.0);
        QCOMPARE(w128->currentLimit->field->text(), QString());
        QCOMPARE(w128->targetVelocity->stepper->step(), 25.0);
        auto w110 = openOn(s, 11000, QStringLiteral("Motor 110"), saved);
        QCOMPARE(w110->currentLimit->field->text(), QStringLiteral("6.00"));
        auto w108 = openOn(s, 10800, QStringLiteral("Motor 108"), saved);
        QCOMPARE(simValue("m108", MVC, "CurrentLimit"), 2.0);
        QVERIFY(w108->currentLimitBox->isVisible());
    }

    void inductanceArrivesAfterTheAttachWithoutBlocking()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        QVERIFY(w->motorInductance->field->text().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(w->motorInductance->field->text(), QStringLiteral("0.000100"), deadlineMs);
        QVERIFY(w->inductanceBox->isVisible());
    }

    void saveUsesItsOwnKeysAndTheTuningSettles()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        w->saveSettings();
        QCOMPARE(w->settingsWindow->confirmButton->text(), QStringLiteral("Save"));
        w->settingsWindow->selectAll();
        w->enterSettingsSelection();
        QCOMPARE(s.defaults().value("MVCkp").toDouble(), 5.0);
        QCOMPARE(s.defaults().value("MVCacceleration").toDouble(), 10000.0);
        QVERIFY(!s.defaults().contains("kp"));
        for (const QString &key : s.defaults().allKeys())
            QVERIFY2(key.startsWith("MVC") || key.size() == 1, qPrintable(key));

        w->engageMotor();
        QCOMPARE(w->engageMotorButton->text(), QStringLiteral("Disengage Motor"));
        w->targetVelocity->field->setText(QStringLiteral("4000"));
        w->targetVelocity->fieldAction();
        QTRY_VERIFY_WITH_TIMEOUT(std::fabs(w->motorVelocityLabel->text().toDouble() - 4000) < 40, deadlineMs);
    }

    // Cut leads are reported twice: the event's text, then the main
    // thread's last library error.
    void aCutConnectionIsLogged()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        w->engageMotor();
        // A refused call leaves a known last error on this thread.
        w->clearErrorLog();
        w->rescaleText->setText(QStringLiteral("0"));
        w->setRescaleFactor();
        QVERIFY2(w->errorCount() == 1, qPrintable(logText(*w)));
        const std::optional<QString> lastError = lastErrorDetail();
        QVERIFY(lastError && lastError->contains(QStringLiteral("RescaleFactor")));
        w->clearErrorLog();

        QVERIFY(TindrelSim_setMotorCondition("m108", 0, "connection", 0) == TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->errorCount(), 2, deadlineMs);
        const QStringList lines = logText(*w).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).startsWith(QStringLiteral("Bad motor connection")), qPrintable(lines.at(0)));
        QCOMPARE(lines.at(1), *lastError);
        QCOMPARE(w->engageMotorButton->text(), QStringLiteral("Disengage Motor"));
    }

    void theSentTargetVelocityFeedsItsStream()
    {
        Surroundings s;
        auto w = openOn(s, 10800, QStringLiteral("Motor 108"));
        checkTargetFeedsItsStream(*w, *w->targetVelocity, QStringLiteral("Target Velocity"), 1500);
        QCOMPARE(simValue("m108", MVC, "TargetVelocity"), 1500.0);
    }

    void maximumSizeAttachedFoldingAndMinimumDetached()
    {
        Surroundings s;
        auto w = openOn(s, 11000, QStringLiteral("Motor 110"));
        QTRY_VERIFY_WITH_TIMEOUT(w->inductanceBox->isVisible(), deadlineMs);
        checkControllerSizing(*w, [] { QCOMPARE(TindrelSim_detachDevice("m110"), TINDREL_OK); });
    }
};

QTEST_MAIN(MotorVelocityWindowTest)
#include "MotorVelocityControllerTest.moc"
