// The DC motor window against simulated brushed motors.
#include "DCMotorController.h"
#include "MotorRig.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLayout>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr auto DC = TINDREL_CHCLASS_DCMOTOR;
}

class DCMotorWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DCMotorController> openOn(Surroundings &s, int serial, const QString &name)
    {
        s.aimAt(serial);
        auto w = s.open<DCMotorController>();
        if (!waitAttached(*w, name))
            qWarning("%s did not attach", qPrintable(name));
        return w;
    }

private slots:
    void init() { QVERIFY(loadRig(motorRig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void boxesFollowTheDeviceId_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("emfCheck");
        QTest::addColumn<bool>("braking");
        QTest::addColumn<bool>("emfBox");
        QTest::addColumn<bool>("extra");
        QTest::addColumn<bool>("reportedVelocity");
        QTest::newRow("37") << 3700 << "Motor 37" << false << false << false << false << true;
        QTest::newRow("41") << 4100 << "Motor 41" << false << false << false << false << true;
        QTest::newRow("42") << 4200 << "Motor 42" << true << true << true << false << true;
        QTest::newRow("57") << 5700 << "Motor 57" << true << true << false << true << true;
        QTest::newRow("110") << 11000 << "Motor 110" << true << true << false << true << true;
        QTest::newRow("other: the layout stands") << 6400 << "Motor 64" << true << false << false << false << false;
    }
    void boxesFollowTheDeviceId()
    {
        QFETCH(int, serial);
        QFETCH(QString, name);
        Surroundings s;
        auto w = openOn(s, serial, name);
        QFETCH(bool, emfCheck);
        QFETCH(bool, braking);
        QFETCH(bool, emfBox);
        QFETCH(bool, extra);
        QFETCH(bool, reportedVelocity);
        QVERIFY(w->settingsBox->isVisible());
        QCOMPARE(w->backEMFCheck->isVisible(), emfCheck);
        QCOMPARE(w->brakingStrengthBox->isVisible(), braking);
        QCOMPARE(w->backEMFBox->isVisible(), emfBox);
        QCOMPARE(w->extraSettingsBox->isVisible(), extra);
        QCOMPARE(w->velocityChangeBox->isVisible(), reportedVelocity);
        QCOMPARE(w->accelerationSlider->minLabel->text(), QStringLiteral("0.10"));
        QCOMPARE(w->accelerationSlider->valueLabel->text(), QStringLiteral("1.00"));
        QVERIFY(!w->errorEventLogWindow());
    }

    void device110ShowsTheCurrentLimitButNoGainOrFanAndIsShorter()
    {
        Surroundings s;
        auto w57 = openOn(s, 5700, QStringLiteral("Motor 57"));
        auto w110 = openOn(s, 11000, QStringLiteral("Motor 110"));
        QCOMPARE(w110->currentLimitSlider->valueLabel->text(), QStringLiteral("2.00A"));
        QCOMPARE(w110->currentLimitSlider->minLabel->text(), QStringLiteral("2.00"));
        QVERIFY(!w110->regulatorRows->isVisible());
        QVERIFY(w57->regulatorRows->isVisible());
        QCOMPARE(w57->currentRegulatorGainSlider->valueLabel->text(), QStringLiteral("10.00"));
        QCOMPARE(w57->fanModeCombo->currentIndex(), 2);
        QCOMPARE(w57->height() - w110->height(), 156);
    }

    void attachedHeightIsTheMaximumWithTheBoxesTheDeviceShows()
    {
        Surroundings s;
        auto w37 = openOn(s, 3700, QStringLiteral("Motor 37"));
        auto w42 = openOn(s, 4200, QStringLiteral("Motor 42"));
        auto w57 = openOn(s, 5700, QStringLiteral("Motor 57"));
        const int attached57 = w57->height();
        // Every box the device shows fits: nothing is squeezed.
        for (auto *w : {w37.get(), w42.get(), w57.get()})
            QVERIFY(w->height() >= w->layout()->minimumSize().height());
        QVERIFY(w42->height() - w37->height() >= w42->brakingStrengthBox->height());
        QVERIFY(attached57 - w42->height() >= w57->extraSettingsBox->height());
        QVERIFY(TindrelSim_detachDevice("m57") == TINDREL_OK);
        QVERIFY(waitDetached(*w57));
        QVERIFY(w57->height() < w37->height());
        QVERIFY(TindrelSim_attachDevice("m57") == TINDREL_OK);
        QVERIFY(waitAttached(*w57, QStringLiteral("Motor 57")));
        QCOMPARE(w57->height(), attached57);
    }

    void fanModeItemsSendTheirCodes()
    {
        Surroundings s;
        auto w = openOn(s, 5700, QStringLiteral("Motor 57"));
        // The item says what it sends: 1 is off, 2 on, 3 automatic.
        for (auto [index, code, title] :
             {std::tuple{0, 2, "On"}, std::tuple{1, 1, "Off"}, std::tuple{2, 3, "Automatic"}}) {
            w->setFanMode(index);
            QCOMPARE(simValue("m57", DC, "FanMode"), double(code));
            QCOMPARE(w->fanModeCombo->itemText(index), QString::fromLatin1(title));
        }
    }

    void theFanModeIsRememberedAndRestored()
    {
        Surroundings s;
        auto w = openOn(s, 5700, QStringLiteral("Motor 57"));
        w->fanModeCombo->setCurrentIndex(1);
        emit w->fanModeCombo->activated(1);
        QCOMPARE(simValue("m57", DC, "FanMode"), 1.0);
        const QVariantMap settings = w->boundSettings();
        QCOMPARE(settings.value(QStringLiteral("fanMode")), QVariant(1));
        w->close();

        QVERIFY(loadRig(motorRig));
        QCOMPARE(simValue("m57", DC, "FanMode"), 3.0);   // the device forgot
        auto restored = std::unique_ptr<DCMotorController>(makeWindow<DCMotorController>());
        restored->restoreSettingsAtNextAttach(settings);
        s.aimAt(5700);
        restored->setUp(s.env());
        restored->show();
        QVERIFY(waitAttached(*restored, QStringLiteral("Motor 57")));
        QTRY_COMPARE_WITH_TIMEOUT(simValue("m57", DC, "FanMode"), 1.0, deadlineMs);
        // Read back: the pop-up shows the channel's mode, not the attach's default.
        QCOMPARE(restored->fanModeCombo->currentIndex(), 1);
        QVERIFY(!restored->errorEventLogWindow());
    }

    void velocityIsSentAndARefusalKeepsTheLabel()
    {
        Surroundings s;
        auto w = openOn(s, 4200, QStringLiteral("Motor 42"));
        w->setVelocity(0.5);
        QCOMPARE(w->velocitySlider->valueLabel->text(), QStringLiteral("0.50"));
        QCOMPARE(simValue("m42", DC, "TargetVelocity"), 0.5);
        QTRY_COMPARE_WITH_TIMEOUT(w->velocityChangeText->text(), QStringLiteral("0.50"), deadlineMs);
        w->setVelocity(1.5);   // outside the device's range
        QCOMPARE(w->velocitySlider->valueLabel->text(), QStringLiteral("0.50"));
        QVERIFY(w->errorEventLogWindow());
        QCOMPARE(w->errorCount(), DCMotorController::sharedErrorCount());
        w->zeroVelocity();
        QCOMPARE(w->velocitySlider->valueLabel->text(), QStringLiteral("0.00"));
        QCOMPARE(simValue("m42", DC, "TargetVelocity"), 0.0);
        w->backEMFCheck->setChecked(true);
        w->setEMFSensing();
        QCOMPARE(simValue("m42", DC, "BackEMFSensingState"), 1.0);
    }

    void targetAndActualVelocityFeedTheStreams()
    {
        Surroundings s;
        auto w = openOn(s, 4200, QStringLiteral("Motor 42"));
        QStringList names;
        for (const auto &stream : w->streams())
            names.append(stream->name());
        QVERIFY(names.contains(QStringLiteral("Velocity")));
        QVERIFY(names.contains(QStringLiteral("Target Velocity")));
        w->setVelocity(0.25);
        w->flushValues();
        const auto target = std::find_if(w->streams().begin(), w->streams().end(), [](const auto &st) {
            return st->name() == QStringLiteral("Target Velocity");
        });
        QVERIFY((*target)->eventCount() >= 2);   // attach and the send
    }

    void detachHidesTheBoxesButKeepsTheReportedVelocity()
    {
        Surroundings s;
        auto w = openOn(s, 5700, QStringLiteral("Motor 57"));
        QVERIFY(TindrelSim_detachDevice("m57") == TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->settingsBox->isVisible());
        QVERIFY(!w->extraSettingsBox->isVisible());
        QVERIFY(!w->brakingStrengthChangeBox->isVisible());
        QVERIFY(w->velocityChangeBox->isVisible());
        QVERIFY(TindrelSim_attachDevice("m57") == TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Motor 57")));
        QVERIFY(w->extraSettingsBox->isVisible());
    }
};

QTEST_MAIN(DCMotorWindowTest)
#include "DCMotorTest.moc"
