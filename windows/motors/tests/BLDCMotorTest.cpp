// The BLDC motor window against a simulated brushless motor.
#include "BLDCMotorController.h"
#include "MotorRig.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QLayout>
#include <QLineEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr auto BLDC = TINDREL_CHCLASS_BLDCMOTOR;
}

class BLDCMotorWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<BLDCMotorController> open(Surroundings &s)
    {
        s.aimAt(10800);
        auto w = s.open<BLDCMotorController>();
        if (!waitAttached(*w, QStringLiteral("Motor 108")))
            qWarning("the brushless motor did not attach");
        return w;
    }

private slots:
    void init() { QVERIFY(loadRig(motorRig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void attachFillsRangesWithoutSendingATarget()
    {
        Surroundings s;
        auto w = open(s);
        QVERIFY(w->settingsBox->isVisible());
        QVERIFY(w->dataBox->isVisible());
        QCOMPARE(w->rescaleText->text(), QStringLiteral("1.00"));
        QCOMPARE(w->targetVelocityLabel->text(), QStringLiteral("0.00"));
        QCOMPARE(w->targetVelocitySlider->minLabel->text(), QStringLiteral("-1.00"));
        QCOMPARE(w->targetVelocitySlider->maxLabel->text(), QStringLiteral("1.00"));
        QCOMPARE(w->stallVelocityLabel->text(), QStringLiteral("400.00"));
        QCOMPARE(w->brakingStrengthLabel->text(), QStringLiteral("0.00"));
        QVERIFY(!w->errorEventLogWindow());
    }

    void stopShowsOneDecimalAndZeroPositionZeroes()
    {
        Surroundings s;
        auto w = open(s);
        w->setTargetVelocity(0.8);
        QCOMPARE(w->targetVelocityLabel->text(), QStringLiteral("0.80"));
        QTRY_VERIFY_WITH_TIMEOUT(simValue("m108", BLDC, "Position") > 500, deadlineMs);
        w->stop();
        QCOMPARE(w->targetVelocityLabel->text(), QStringLiteral("0.0"));
        QCOMPARE(w->targetVelocitySlider->value(), 0.0);
        QTRY_COMPARE_WITH_TIMEOUT(simValue("m108", BLDC, "Velocity"), 0.0, deadlineMs);
        QTest::qWait(300);   // let the shaft come to rest
        w->zeroPosition();
        QVERIFY(std::fabs(simValue("m108", BLDC, "Position")) < 50);
    }

    void rescaleMovesTheStallRangeButNotTheTargetRange()
    {
        Surroundings s;
        auto w = open(s);
        w->rescaleText->setText(QStringLiteral("0.5"));
        w->setRescaleFactor();
        QCOMPARE(w->stallVelocityLabel->text(), QStringLiteral("200.00"));
        QCOMPARE(w->stallVelocitySlider->maxLabel->text(), QStringLiteral("1000.00"));
        QCOMPARE(w->targetVelocitySlider->maxLabel->text(), QStringLiteral("1.00"));
        w->rescaleText->setText(QStringLiteral("zero"));
        w->setRescaleFactor();   // sent as 0, which the device refuses
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(w->stallVelocityLabel->text(), QStringLiteral("200.00"));
    }

    void aHeldShaftStallsAndTheEventIsLogged()
    {
        Surroundings s;
        auto w = open(s);
        w->setTargetVelocity(0.6);
        QVERIFY(TindrelSim_setMotorCondition("m108", 0, "hold", 1) == TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(w->errorEventLogWindow(), deadlineMs);
        QCOMPARE(simValue("m108", BLDC, "TargetVelocity"), 0.0);
    }

    void maximumHeightAttachedMinimumDetached()
    {
        Surroundings s;
        auto w = open(s);
        const int maximum = w->height();
        QVERIFY(maximum >= w->layout()->minimumSize().height());
        QCOMPARE(TindrelSim_detachDevice("m108"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->settingsBox->isVisible());
        QVERIFY(w->height() < maximum - w->settingsBox->sizeHint().height());
        QCOMPARE(TindrelSim_attachDevice("m108"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Motor 108")));
        QCOMPARE(w->height(), maximum);
    }
};

QTEST_MAIN(BLDCMotorWindowTest)
#include "BLDCMotorTest.moc"
