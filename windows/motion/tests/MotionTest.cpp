// The accelerometer, gyroscope, magnetometer and spatial windows against
// simulated motion boards that the test turns.
#include "AccelerometerController.h"
#include "GyroscopeController.h"
#include "MagnetometerController.h"
#include "SliderRow.h"
#include "SpatialController.h"
#include "WindowTestSupport.h"

#include <QDialog>
#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>
#include <numbers>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "mot", "deviceId": 100, "class": 2, "serial": 7500, "sku": "TDR7500_0", "name": "Nine-Axis Motion Board",
     "channels": [{"class": "Accelerometer"}, {"class": "Gyroscope"}, {"class": "Magnetometer"}, {"class": "Spatial"}]},
    {"id": "magt", "deviceId": 100, "class": 2, "serial": 7530, "sku": "TDR7500_0", "name": "Nine-Axis Motion Board",
     "channels": [{"class": "Magnetometer", "properties": {"MagneticFieldChangeTrigger": 0.125}}]},
    {"id": "hr", "deviceId": 171, "class": 2, "serial": 7510, "sku": "TDR7510_0", "name": "High-Range Accelerometer Board",
     "channels": [{"class": "Accelerometer"}]},
    {"id": "hr2", "deviceId": 172, "class": 2, "serial": 7511, "sku": "TDR7511_0", "name": "Two-Axis High-Range Accelerometer Board",
     "channels": [{"class": "Accelerometer", "properties": {"AxisCount": 2}}]},
    {"id": "gy2", "deviceId": 173, "class": 2, "serial": 7520, "sku": "TDR7520_0", "name": "Two-Axis Rate Gyroscope Board",
     "channels": [{"class": "Gyroscope", "properties": {"AxisCount": 2}}]}
  ]
})";

double numberIn(const QLabel *label)
{
    const auto m = QRegularExpression(QStringLiteral("^-?[0-9.]+")).match(label->text());
    return m.hasMatch() ? m.captured(0).toDouble() : std::nan("");
}

bool near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }
double angleGap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

// The correction that undoes the simulated boards' hard- and soft-iron
// distortion (RIG.md lists the same numbers).
QString rightCorrection()
{
    const double F = 0.49;
    const double S[3][3] = {{1.06, 0.025, 0.0}, {0.025, 0.95, 0.012}, {0.0, 0.012, 1.01}};
    const double det = S[0][0] * (S[1][1] * S[2][2] - S[1][2] * S[2][1]) -
                       S[0][1] * (S[1][0] * S[2][2] - S[1][2] * S[2][0]) +
                       S[0][2] * (S[1][0] * S[2][1] - S[1][1] * S[2][0]);
    double inv[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inv[i][j] = (S[r0][c0] * S[r1][c1] - S[r0][c1] * S[r1][c0]) / det / F;
        }
    const double values[13] = {F,         0.031,     -0.022,    0.015,     inv[0][0], inv[1][1], inv[2][2],
                               inv[0][1], inv[0][2], inv[1][0], inv[1][2], inv[2][0], inv[2][1]};
    QStringList parts;
    for (double v : values)
        parts << QString::number(v, 'g', 10);
    return parts.join(QLatin1Char(','));
}

}   // namespace

// Waits until the simulated board has turned to where it was set.
bool settled(const char *id, double roll, double pitch, double yaw)
{
    return QTest::qWaitFor(
        [&] {
            double r = 0, p = 0, y = 0;
            return TindrelSim_getOrientation(id, &r, &p, &y) == TINDREL_OK && near(r, roll, 0.01) &&
                   near(p, pitch, 0.01) && angleGap(y, yaw) < 0.01;
        },
        deadlineMs * 2);
}

class MotionWindowsTest : public QObject {
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
    void init()
    {
        QVERIFY(loadRig(rig));
        for (const char *id : {"mot", "hr", "hr2", "gy2", "magt"})
            QCOMPARE(TindrelSim_setOrientation(id, 0, 0, 0, 0), TINDREL_OK);
    }
    void cleanupTestCase() { TindrelSim_clear(); }

    void accelerometerReadsGravityOnPlainGaugesForOtherProducts()
    {
        Surroundings s;
        auto w = openOn<AccelerometerController>(s, 7500, "Nine-Axis Motion Board");
        QTRY_VERIFY_WITH_TIMEOUT(near(numberIn(w->zTxt), 1.0, 0.03), deadlineMs);
        QVERIFY(near(numberIn(w->xTxt), 0.0, 0.03));
        QVERIFY(w->zViewBox->isVisible());
        QVERIFY(w->zTxt->isVisible());
        QVERIFY(!w->accelLegend->isVisible());
        QCOMPARE(w->xView->type(), 0);
        // Tipped onto its side about the y axis, gravity moves onto x.
        QCOMPARE(TindrelSim_setOrientation("mot", 0, 90, 0, 0), TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(near(std::fabs(numberIn(w->xTxt)), 1.0, 0.03) && near(numberIn(w->zTxt), 0.0, 0.03),
                                 deadlineMs);
        QVERIFY(!w->timestamp->text().isEmpty());
    }

    void highRangeBoardsGetMarkedGaugesAndTwoAxesHideZ()
    {
        Surroundings s;
        auto three = openOn<AccelerometerController>(s, 7510, "High-Range Accelerometer Board");
        QCOMPARE(three->xView->type(), 1);
        QCOMPARE(three->zView->type(), 1);
        QVERIFY(three->accelLegend->isVisible());
        QVERIFY(three->zViewBox->isVisible());
        auto two = openOn<AccelerometerController>(s, 7511, "Two-Axis High-Range Accelerometer Board");
        QCOMPARE(two->yView->type(), 1);
        QVERIFY(!two->zViewBox->isVisible());
        QVERIFY(!two->zLbl->isVisible());
        QVERIFY(!two->zTxt->isVisible());
        QVERIFY(two->xViewBox->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!two->xTxt->text().isEmpty(), deadlineMs);
        // Detach hides the boxes and keeps the values.
        const QString x = two->xTxt->text();
        QCOMPARE(TindrelSim_detachDevice("hr2"), TINDREL_OK);
        QVERIFY(waitDetached(*two));
        QVERIFY(!two->xViewBox->isVisible());
        QVERIFY(!two->xTxt->text().isEmpty());
        QCOMPARE(TindrelSim_attachDevice("hr2"), TINDREL_OK);
    }

    void gyroscopeReadsAboutZeroAtRestAfterZeroing()
    {
        Surroundings s;
        auto w = openOn<GyroscopeController>(s, 7500, "Nine-Axis Motion Board");
        // Before zeroing the bias shows.
        QTRY_VERIFY_WITH_TIMEOUT(!w->xAxisText->text().isEmpty(), deadlineMs);
        QVERIFY(w->xAxisText->text().endsWith(QStringLiteral(" \u00ba/s")));
        QTRY_VERIFY_WITH_TIMEOUT(near(numberIn(w->xAxisText), 0.42, 0.2), deadlineMs);
        w->zeroGyro();
        QCOMPARE(w->integrator().angles()[0], 0.0);
        QTRY_VERIFY_WITH_TIMEOUT(near(numberIn(w->xAxisText), 0.0, 0.15) && near(numberIn(w->yAxisText), 0.0, 0.15) &&
                                     near(numberIn(w->zAxisText), 0.0, 0.15),
                                 deadlineMs);
        // Turning the board shows as a rate on z and moves the z dial.
        QCOMPARE(TindrelSim_setOrientation("mot", 0, 0, 0, 30), TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(near(numberIn(w->zAxisText), 30.0, 1.0), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(std::fabs(w->integrator().angles()[2]) > 10.0, deadlineMs);
    }

    void unknownGyroAxisShowsInTextButMovesNoDial()
    {
        Surroundings s;
        QCOMPARE(TindrelSim_setOrientation("gy2", 0, 0, 0, 40), TINDREL_OK);
        auto w = openOn<GyroscopeController>(s, 7520, "Two-Axis Rate Gyroscope Board");
        QTRY_VERIFY_WITH_TIMEOUT(w->zAxisText->text().startsWith(QStringLiteral("1000000000")), deadlineMs);
        QTest::qWait(300);
        QCOMPARE(w->integrator().angles()[0], 0.0);
        QCOMPARE(w->integrator().angles()[2], 0.0);
    }

    void magnetometerCorrectionGivesOneFieldStrengthInEveryOrientation()
    {
        Surroundings s;
        auto w = openOn<MagnetometerController>(s, 7500, "Nine-Axis Motion Board");
        QCOMPARE(w->magFieldView->circleRadius(), 0.5);
        auto strength = [&] {
            const double x = numberIn(w->xAxisText), y = numberIn(w->yAxisText), z = numberIn(w->zAxisText);
            return std::sqrt(x * x + y * y + z * z);
        };
        auto strengthAt = [&](double roll, double pitch, double yaw) {
            TindrelSim_setOrientation("mot", roll, pitch, yaw, 0);
            // Once the board has arrived, a few new readings show the field there.
            if (!settled("mot", roll, pitch, yaw))
                qWarning("the board did not reach %g %g %g", roll, pitch, yaw);
            const quint64 seen = w->streams().front()->eventCount();
            if (!QTest::qWaitFor([&] { return w->streams().front()->eventCount() >= seen + 3; }, deadlineMs))
                qWarning("no new readings at %g %g %g", roll, pitch, yaw);
            w->flushValues();
            return strength();
        };
        const double orientations[][3] = {{0, 0, 0}, {0, 0, 90}, {30, 0, 200}, {0, -60, 45}, {150, 20, 300}};
        double lo = 10, hi = 0;
        for (const auto &o : orientations) {
            const double m = strengthAt(o[0], o[1], o[2]);
            lo = std::min(lo, m), hi = std::max(hi, m);
        }
        QVERIFY2(hi - lo > 0.03, "the raw field should change with the orientation");

        w->openParameterWindow();
        w->parametersText->setText(rightCorrection());
        w->setParameters();
        QCOMPARE(w->calibrationStatusText->text(), QStringLiteral("Calibration Complete"));
        QVERIFY(!w->parametersWindow->isVisible());
        QCOMPARE(w->magFieldView->circleRadius(), 0.49);
        lo = 10, hi = 0;
        for (const auto &o : orientations) {
            const double m = strengthAt(o[0], o[1], o[2]);
            lo = std::min(lo, m), hi = std::max(hi, m);
        }
        QVERIFY2(hi - lo < 0.008, qPrintable(QStringLiteral("%1 .. %2").arg(lo).arg(hi)));
        QVERIFY(near(lo, 0.49, 0.008));
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void aRigLoadedAgainStartsItsBoardsAfresh()
    {
        QCOMPARE(TindrelSim_setOrientation("mot", 40, -30, 120, 0), TINDREL_OK);
        QVERIFY(settled("mot", 40, -30, 120));
        QVERIFY(loadRig(rig));
        double r = 1, p = 1, y = 1;
        QCOMPARE(TindrelSim_getOrientation("mot", &r, &p, &y), TINDREL_OK);
        QCOMPARE(r, 0.0);
        QCOMPARE(p, 0.0);
        QVERIFY(y < 1.0);   // turning slowly on its own from north again
        QCOMPARE(TindrelSim_getOrientation("nobody", &r, &p, &y), TINDREL_ENOENT);
    }

    void accelerometerTriggerSendsOnReleaseAndMagnetometerTriggerOnEveryMove()
    {
        Surroundings s;
        auto accel = openOn<AccelerometerController>(s, 7500, "Nine-Axis Motion Board");
        SliderRow *row = accel->triggerBox->row;
        const double before = simProperty("mot", TINDREL_CHCLASS_ACCELEROMETER, 0, "AccelerationChangeTrigger");
        row->slider->setSliderDown(true);
        row->slider->setValue(row->slider->maximum() / 2);
        const double chosen = row->value();
        QVERIFY(chosen != before);
        QCOMPARE(row->valueLabel->text(), QString::asprintf("%0.3f g", chosen));
        QCOMPARE(simProperty("mot", TINDREL_CHCLASS_ACCELEROMETER, 0, "AccelerationChangeTrigger"), before);
        row->slider->setSliderDown(false);
        QCOMPARE(simProperty("mot", TINDREL_CHCLASS_ACCELEROMETER, 0, "AccelerationChangeTrigger"), chosen);

        // The magnetometer's row starts at the trigger itself, not its whole
        // part, and every move of the slider is sent at once.
        auto mag = openOn<MagnetometerController>(s, 7530, "Nine-Axis Motion Board");
        SliderRow *magRow = mag->changeTriggerBox->row;
        QCOMPARE(magRow->valueLabel->text(), QStringLiteral("0.125 G"));
        QVERIFY(near(magRow->value(), 0.125, 0.005));   // the nearest slider position
        magRow->slider->setSliderDown(true);
        for (int step : {2, 3}) {
            magRow->slider->setValue(magRow->slider->maximum() / step);
            QCOMPARE(simProperty("magt", TINDREL_CHCLASS_MAGNETOMETER, 0, "MagneticFieldChangeTrigger"),
                     magRow->value());
        }
        magRow->slider->setSliderDown(false);
    }

    void correctionEntryRefusesBadInputAndResets()
    {
        Surroundings s;
        auto w = openOn<MagnetometerController>(s, 7500, "Nine-Axis Motion Board");
        w->parametersText->setText(QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,"));
        w->setParameters();
        QCOMPARE(s.alerts.alerts.size(), 1);
        QCOMPARE(s.alerts.alerts.last().text,
                 QStringLiteral("Error!\nInvalid number of parameters entered. Ensure there are 13 values"));
        QCOMPARE(w->calibrationStatusText->text(), QStringLiteral("Calibration Error"));
        w->parametersText->setText(QStringLiteral("5,0,0,0,1,1,1,0,0,0,0,0,0"));   // 5 G is no ambient field
        w->setParameters();
        QCOMPARE(s.alerts.alerts.last().text,
                 QStringLiteral("Error!\nCalibration error occurred, ensure values are within proper range."));
        QCOMPARE(w->magFieldView->circleRadius(), 0.5);
        QCOMPARE(w->errorCount(), 0);
        w->parametersText->setText(QString());
        w->setParameters();
        QCOMPARE(w->calibrationStatusText->text(), QStringLiteral("Un-Calibrated"));
        QCOMPARE(s.alerts.alerts.size(), 2);
        QCOMPARE(TindrelSim_detachDevice("mot"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->calibrationStatusText->text(), QString());
        QCOMPARE(TindrelSim_attachDevice("mot"), TINDREL_OK);
    }

    void spatialCompassPitchAndRollFollowTheBoard()
    {
        Surroundings s;
        auto w = openOn<SpatialController>(s, 7500, "Nine-Axis Motion Board");
        QVERIFY(w->compassBearingBox->isVisible());
        QCOMPARE(w->compassBearing().filterConstant(), (1.0 / 62.5) / (1.0 / 15 + 1.0 / 62.5));
        QTRY_VERIFY_WITH_TIMEOUT(!w->xAxisText->text().isEmpty(), deadlineMs);
        QVERIFY(w->xAxisText->text().endsWith(QStringLiteral(" G")));
        // The raw field is a little distorted: a few degrees of error.
        for (const double heading : {90.0, 180.0, 300.0}) {
            QCOMPARE(TindrelSim_setOrientation("mot", 0, 0, heading, 0), TINDREL_OK);
            QTRY_VERIFY_WITH_TIMEOUT(angleGap(numberIn(w->bearingText), heading) < 8.0, deadlineMs);
            QTRY_VERIFY_WITH_TIMEOUT(angleGap(w->compassView->bearing() * 180 / std::numbers::pi, heading) < 8.0,
                                     deadlineMs);
        }
        QCOMPARE(TindrelSim_setOrientation("mot", 20, -15, 45, 0), TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(
            near(numberIn(w->rollAngleText), 20.0, 1.5) && near(numberIn(w->pitchAngleText), -15.0, 1.5), deadlineMs);
        QVERIFY(w->bearingText->text().endsWith(QStringLiteral("\u00b0")));
    }
};

QTEST_MAIN(MotionWindowsTest)
#include "MotionTest.moc"
