// Gauge geometry and the motion windows' logic, without a window.
#include "MotionLogic.h"
#include "GaugeGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace tindrel::motion;

namespace {

constexpr double pi = std::numbers::pi;
const QSizeF square(200, 200);
const QPointF centre(100, 100);

// Unit direction of the needle from the centre, on screen (y down).
QPointF direction(const Needle &n)
{
    const QPointF d = n.tip - n.centre;
    const double l = std::hypot(d.x(), d.y());
    return d / l;
}

void expectNear(QPointF actual, QPointF expected, double tolerance = 1e-9)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

// Readings of a board with heading yaw (clockwise from north), roll about
// its x axis and pitch about its y axis, in degrees; the sensor's x axis
// points to the board's left. The earth's field: 0.5 G at 65 degrees down.
struct Readings {
    std::array<double, 3> g, m;
};
Readings board(double yawDeg, double rollDeg, double pitchDeg)
{
    const double y = yawDeg * pi / 180, r = rollDeg * pi / 180, p = pitchDeg * pi / 180;
    using M = std::array<std::array<double, 3>, 3>;
    const M z{{{std::cos(y), std::sin(y), 0}, {-std::sin(y), std::cos(y), 0}, {0, 0, 1}}};
    const M x{{{1, 0, 0}, {0, std::cos(r), -std::sin(r)}, {0, std::sin(r), std::cos(r)}}};
    const M yy{{{std::cos(p), 0, std::sin(p)}, {0, 1, 0}, {-std::sin(p), 0, std::cos(p)}}};
    auto mul = [](const M &a, const M &b) {
        M c{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    c[i][j] += a[i][k] * b[k][j];
        return c;
    };
    const M R = mul(mul(z, x), yy);
    auto toBoard = [&](std::array<double, 3> w) {
        std::array<double, 3> b{};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k)
                b[i] += R[k][i] * w[k];
        b[0] = -b[0];
        return b;
    };
    const double inc = 65 * pi / 180;
    return {toBoard({0, 0, 1}), toBoard({0, 0.5 * std::cos(inc), -0.5 * std::sin(inc)})};
}

double settledBearing(const Readings &r, int samples = 200)
{
    CompassBearing c;
    for (int i = 0; i < samples; ++i) {
        c.setAccelerationVector(r.g[0], r.g[1], r.g[2]);
        c.setMagneticFieldVector(r.m[0], r.m[1], r.m[2]);
        c.updateBearing();
    }
    return std::fmod(c.bearing() + 2 * pi, 2 * pi);
}

}   // namespace

TEST(AccelGauge, NeedlePointsUpAtZeroAndToTheScaleEndsAtEightG)
{
    expectNear(direction(needleFor(square, accelNeedleAngle(0))), {0, -1});
    expectNear(direction(needleFor(square, accelNeedleAngle(8))), {std::sqrt(0.5), std::sqrt(0.5)});
    expectNear(direction(needleFor(square, accelNeedleAngle(-8))), {-std::sqrt(0.5), std::sqrt(0.5)});
    // A fresh gauge (angle 0) points left.
    expectNear(direction(needleFor(square, 0.0)), {-1, 0});
}

TEST(AccelGauge, ScaleHasSeventeenLabelledTicksFromLowerLeftToLowerRight)
{
    const auto ticks = accelTicks(square);
    ASSERT_EQ(ticks.size(), 161u);
    int major = 0, medium = 0;
    for (const Tick &t : ticks) {
        major += t.width == 2.0;
        medium += t.width == 1.0;
    }
    EXPECT_EQ(major, 17);
    EXPECT_EQ(medium, 16);
    const double r = gaugeRadius(square);
    expectNear(ticks.front().from, {100 - r * std::sqrt(0.5), 100 + r * std::sqrt(0.5)});
    expectNear(ticks[80].from, {100, 100 - r});   // 0 g at the top
    expectNear(ticks.back().from, {100 + r * std::sqrt(0.5), 100 + r * std::sqrt(0.5)});
    // A long tick reaches 16 inward.
    EXPECT_NEAR(ticks[80].to.y() - ticks[80].from.y(), 16.0, 1e-9);
    const auto labels = accelLabels(square);
    ASSERT_EQ(labels.size(), 17u);
    EXPECT_EQ(labels.front().text, QStringLiteral("-8"));
    EXPECT_EQ(labels[8].text, QStringLiteral("0"));
    EXPECT_EQ(labels.back().text, QStringLiteral("8"));
}

TEST(AccelGauge, TypeOneMarksTheZonesBeyondTwoG)
{
    EXPECT_TRUE(accelBands(square, 0).empty());
    EXPECT_TRUE(accelBands(square, 2).empty());
    const auto bands = accelBands(square, 1);
    ASSERT_EQ(bands.size(), 2u);
    for (const Arc &a : bands)
        EXPECT_DOUBLE_EQ(a.spanDegrees, 101.25);
    // -8 g ... -2 g: from 225 down to 123.75 (the needle angle of -2 g).
    EXPECT_DOUBLE_EQ(bands[0].startDegrees, 123.75);
    EXPECT_DOUBLE_EQ(bands[0].startDegrees + bands[0].spanDegrees, 225.0);
    EXPECT_DOUBLE_EQ(bands[1].startDegrees, -45.0);
    EXPECT_DOUBLE_EQ(bands[1].startDegrees + bands[1].spanDegrees, 56.25);
    const Arc outline = accelOutline(square);
    EXPECT_DOUBLE_EQ(outline.spanDegrees, 270.0);
}

TEST(GyroGauge, NeedleFollowsTheAngle)
{
    expectNear(direction(needleFor(square, gyroNeedleAngle(0))), {-1, 0});
    expectNear(direction(needleFor(square, gyroNeedleAngle(90))), {0, -1});
    expectNear(direction(needleFor(square, gyroNeedleAngle(-90))), {0, 1});
    expectNear(direction(needleFor(square, gyroNeedleAngle(180))), {1, 0});
    const auto ticks = gyroTicks(square);
    ASSERT_EQ(ticks.size(), 72u);
    int major = 0;
    for (const Tick &t : ticks)
        major += t.width == 2.0;
    EXPECT_EQ(major, 8);
}

TEST(GyroGauge, SideLabelsSitBesideTheDialInAWideView)
{
    const QSizeF wide(400, 200);
    const auto labels = gyroLabels(wide);
    const double r = gaugeRadius(wide);
    for (const Label &l : labels) {
        if (l.text == QStringLiteral("180")) {
            EXPECT_GT(l.position.x(), 200 + r);
        }
        if (l.text == QStringLiteral("0")) {
            EXPECT_LT(l.position.x(), 200 - r);
        }
    }
}

TEST(VectorViewGeometry, ZCircleAndMirroredXLine)
{
    const auto d = vectorDrawing(square, 0.5, 0, 0, -0.25);
    EXPECT_TRUE(d.valid);
    EXPECT_TRUE(d.zNegative);
    EXPECT_NEAR(d.zRadius, d.discRadius / 2, 1e-9);
    const auto flat = vectorDrawing(square, 0.5, 0, 0, 0);
    EXPECT_FALSE(flat.zNegative);
    EXPECT_EQ(flat.zRadius, 0.0);
    const auto x = vectorDrawing(square, 0.5, 0.5, 0, 0);
    expectNear(x.lineEnd, {100 - x.discRadius, 100});
    const auto y = vectorDrawing(square, 0.5, 0, 0.25, 0);
    expectNear(y.lineEnd, {100, 100 - y.discRadius / 2});
    // A radius that is not positive draws no vector instead of dividing by it.
    EXPECT_FALSE(vectorDrawing(square, 0, 0.5, 0, 0).valid);
}

TEST(CompassGeometry, MarkAndBoardTurnWithTheBearing)
{
    const double r = compassRadius(square);
    expectNear(compassMark(square, 0), {100, 100 - r}, 1e-9);
    expectNear(compassMark(square, pi / 2), {100 + r, 100}, 1e-9);
    expectNear(compassMark(square, pi), {100, 100 + r}, 1e-9);
    EXPECT_DOUBLE_EQ(compassBoardRotationDegrees(pi), 180.0);
    const auto ticks = compassTicks(square);
    ASSERT_EQ(ticks.size(), 36u);
    int cardinal = 0;
    for (const Tick &t : ticks)
        cardinal += t.width == 2.0;
    EXPECT_EQ(cardinal, 4);
    // Each tick straddles the circle.
    EXPECT_NEAR(ticks[0].from.x() - 100, r + 6, 1e-9);
    EXPECT_NEAR(ticks[0].to.x() - 100, r - 6, 1e-9);
}

TEST(CompassBearingCalc, FlatBoardWorkedValues)
{
    double roll = 1, pitch = 1;
    EXPECT_DOUBLE_EQ(CompassBearing::rawBearing({0, 0, 1}, {0.3, 0, 0}, roll, pitch), pi / 2);
    EXPECT_EQ(roll, 0.0);
    EXPECT_EQ(pitch, 0.0);
    EXPECT_DOUBLE_EQ(CompassBearing::rawBearing({0, 0, 1}, {0, -0.3, 0}, roll, pitch), pi);
    EXPECT_DOUBLE_EQ(CompassBearing::rawBearing({0, 0, 1}, {0, 0.3, 0}, roll, pitch), 0.0);
}

TEST(CompassBearingCalc, BoardPointingNorthEastSouthWest)
{
    for (double yaw : {0.0, 90.0, 180.0, 270.0, 45.0, 300.0}) {
        SCOPED_TRACE(yaw);
        const double b = settledBearing(board(yaw, 0, 0)) * 180 / pi;
        EXPECT_NEAR(std::remainder(b - yaw, 360.0), 0.0, 0.01);
    }
}

TEST(CompassBearingCalc, TiltedBoardKeepsItsHeadingAndShowsRollAndPitch)
{
    for (double yaw : {10.0, 100.0, 200.0, 290.0}) {
        SCOPED_TRACE(yaw);
        EXPECT_NEAR(std::remainder(settledBearing(board(yaw, 30, 0)) * 180 / pi - yaw, 360.0), 0.0, 0.01);
        EXPECT_NEAR(std::remainder(settledBearing(board(yaw, 0, -25)) * 180 / pi - yaw, 360.0), 0.0, 0.01);
    }
    CompassBearing c;
    const Readings r = board(0, 20, -15);
    c.setAccelerationVector(r.g[0], r.g[1], r.g[2]);
    c.setMagneticFieldVector(r.m[0], r.m[1], r.m[2]);
    c.updateBearing();
    EXPECT_NEAR(c.grollAngle(), 20.0, 1.0);
    EXPECT_NEAR(c.gpitchAngle(), -15.0, 1.0);
}

TEST(CompassBearingCalc, UpsideDownBoardReadsWhereItsYAxisPoints)
{
    for (double yaw : {0.0, 30.0, 120.0, 250.0}) {
        SCOPED_TRACE(yaw);
        // Flipped over its y axis the board's y axis still points along the heading.
        const Readings flipped = board(yaw, 0, 180);
        EXPECT_LT(flipped.g[2], 0);
        EXPECT_NEAR(std::remainder(settledBearing(flipped) * 180 / pi - yaw, 360.0), 0.0, 0.01);
        // Rolled over its x axis the y axis points backward.
        EXPECT_NEAR(std::remainder(settledBearing(board(yaw, 180, 0)) * 180 / pi - yaw - 180, 360.0), 0.0, 0.01);
    }
}

TEST(CompassBearingCalc, FilterStepsAndWrapsAroundNorth)
{
    CompassBearing c;
    EXPECT_DOUBLE_EQ(c.filterConstant(), 0.1);
    // Steady raw bearing of 1.0 rad: field with N/D giving b = 1 (D < 0, N > 0).
    const double b = 1.0;
    c.setAccelerationVector(0, 0, 1);
    c.setMagneticFieldVector(std::sin(b), std::cos(b), 0);
    c.updateBearing();
    EXPECT_NEAR(c.bearing(), 0.1, 1e-12);
    c.updateBearing();
    EXPECT_NEAR(c.bearing(), 0.19, 1e-12);

    // Bearing 6.2 rad, then a raw bearing of 0.1: one turn is taken off
    // the previous value, so the result lies near 0, not near 3.
    CompassBearing w;
    w.setFilterConstant(1.0);
    w.setAccelerationVector(0, 0, 1);
    w.setMagneticFieldVector(std::sin(6.2), std::cos(6.2), 0);
    w.updateBearing();
    EXPECT_NEAR(w.bearing(), 6.2, 1e-9);
    w.setFilterConstant(0.1);
    w.setMagneticFieldVector(std::sin(0.1), std::cos(0.1), 0);
    w.updateBearing();
    EXPECT_NEAR(w.bearing(), 0.1 * 0.1 + 0.9 * (6.2 - 2 * pi), 1e-9);
    EXPECT_LT(std::fabs(w.bearing()), 0.1);
    EXPECT_NEAR(w.bearingDegrees(), w.bearing() * 57.29577951308232, 1e-12);
}

TEST(CompassBearingCalc, FilterConstantFromDataIntervalAndNoGravityKeepsTheLastResult)
{
    CompassBearing c;
    c.setSampleRate(1000.0 / 8, 15);
    EXPECT_NEAR(c.filterConstant(), 0.008 / (1.0 / 15 + 0.008), 1e-12);
    EXPECT_NEAR(c.filterConstant(), 0.107, 0.001);
    c.setMagneticFieldVector(0.3, 0, 0);
    c.updateBearing();   // no acceleration yet
    EXPECT_EQ(c.bearing(), 0.0);
    EXPECT_TRUE(std::isfinite(c.grollAngle()));
}

TEST(GyroIntegration, WrapsOnceAndSkipsUnknownRates)
{
    GyroIntegrator g;
    EXPECT_TRUE(g.add({10, 0, 0}, 0));
    EXPECT_EQ(g.angles()[0], 0.0);   // the first sample only records its time
    g.add({170, -175, 0}, 1000);
    EXPECT_DOUBLE_EQ(g.angles()[0], 170);
    EXPECT_DOUBLE_EQ(g.angles()[1], -175);
    g.add({20, -10, 0}, 2000);
    EXPECT_DOUBLE_EQ(g.angles()[0], -170);
    EXPECT_DOUBLE_EQ(g.angles()[1], 175);
    // Unknown: nothing moves and the time is not recorded.
    EXPECT_FALSE(g.add({1e300, 5, 5}, 3000));
    EXPECT_DOUBLE_EQ(g.angles()[0], -170);
    g.add({0, 0, 10}, 4000);
    EXPECT_DOUBLE_EQ(g.angles()[2], 20.0);   // 10 deg/s over the 2 s since the last known sample
}

TEST(GyroIntegration, ZeroRestartsFromTheNextSampleAndResetForgetsTimes)
{
    GyroIntegrator g;
    g.add({5, 5, 5}, 0);
    g.add({5, 5, 5}, 1000);
    g.zeroAngles();
    g.add({30, 0, -30}, 1500);
    EXPECT_DOUBLE_EQ(g.angles()[0], 15);
    EXPECT_DOUBLE_EQ(g.angles()[2], -15);
    g.reset();
    g.add({30, 0, 0}, 9000);
    EXPECT_EQ(g.angles()[0], 0.0);
}

TEST(MotionCatalogue, TwoHighRangeCodesSelectTheMarkedGauge)
{
    EXPECT_EQ(accelGaugeTypeFor(QStringLiteral("TDR7510_0")), 1);
    EXPECT_EQ(accelGaugeTypeFor(QStringLiteral("TDR7511_0")), 1);
    EXPECT_EQ(accelGaugeTypeFor(QStringLiteral("TDR7500_0")), 0);
    EXPECT_EQ(accelGaugeTypeFor(QStringLiteral("TDR7510_1")), 0);
    EXPECT_EQ(accelGaugeTypeFor(QString()), 0);
}

TEST(CorrectionText, ThirteenNumbersOneResetOrWrongCount)
{
    const auto ok = parseCorrectionText(QStringLiteral("0.5, 0.01,-0.02,0.03,1,1.1,0.9,0,0,0,0,0,x"));
    ASSERT_EQ(ok.kind, CorrectionInput::Kind::Parameters);
    EXPECT_DOUBLE_EQ(ok.values[0], 0.5);
    EXPECT_DOUBLE_EQ(ok.values[1], 0.01);
    EXPECT_DOUBLE_EQ(ok.values[2], -0.02);
    EXPECT_DOUBLE_EQ(ok.values[5], 1.1);
    EXPECT_DOUBLE_EQ(ok.values[12], 0.0);   // not a number reads as 0
    EXPECT_EQ(parseCorrectionText(QString()).kind, CorrectionInput::Kind::Reset);
    EXPECT_EQ(parseCorrectionText(QStringLiteral("anything")).kind, CorrectionInput::Kind::Reset);
    EXPECT_EQ(parseCorrectionText(QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,")).kind,
              CorrectionInput::Kind::WrongCount);
    EXPECT_EQ(parseCorrectionText(QStringLiteral("1,2")).kind, CorrectionInput::Kind::WrongCount);
}
