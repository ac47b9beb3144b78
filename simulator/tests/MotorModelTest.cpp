// The motor model decides whether a tuning works: these run it step by step.
#include <gtest/gtest.h>

#include <cmath>

#include "behaviour/motor_model.h"

using namespace tsim::motor;

namespace {

struct Rig {
    ShaftParams params;
    Conditions conditions;
    Shaft shaft;
};

// Runs a position loop for seconds; returns the errors of the last second.
struct PositionRun {
    double worstLastSecond = 0;
    int crossingsLastSecond = 0;
    double finalError = 0;
};
PositionRun runPosition(Rig &r, PositionLoop &loop, double target, double seconds)
{
    PositionRun out;
    loop.restart(r.shaft.position);
    const int steps = static_cast<int>(seconds / kLoopPeriod);
    double lastError = 0;
    for (int i = 0; i < steps; ++i) {
        const double duty = loop.update(target, r.shaft.position, kLoopPeriod);
        advanceShaft(r.shaft, r.params, r.conditions, duty, 1.0, 0.0, kLoopPeriod);
        const double error = target - r.shaft.position;
        if (i >= steps - static_cast<int>(1.0 / kLoopPeriod)) {
            out.worstLastSecond = std::max(out.worstLastSecond, std::fabs(error));
            if (error * lastError < 0)
                ++out.crossingsLastSecond;
        }
        lastError = error;
    }
    out.finalError = target - r.shaft.position;
    return out;
}

}   // namespace

TEST(MotorModel, ReasonableGainsSettleWithinTheDeadBandEvenAgainstALoad)
{
    for (double load : {0.0, 0.2, -0.3}) {
        Rig r;
        r.conditions.load = load;
        PositionLoop loop;   // the controller's own defaults
        loop.deadBand = 5;
        const PositionRun run = runPosition(r, loop, 2000, 4.0);
        // The loop wakes as the shaft leaves the band: never more than a step past it.
        EXPECT_LE(run.worstLastSecond, 5.1) << "load " << load;
        EXPECT_EQ(run.crossingsLastSecond, 0) << "load " << load;
    }
}

TEST(MotorModel, AnAbsurdGainOscillatesAndAWeakOneLags)
{
    Rig r;
    PositionLoop loop;
    loop.kp = 5e6;
    loop.kd = 0;
    loop.deadBand = 5;
    const PositionRun wild = runPosition(r, loop, 2000, 4.0);
    EXPECT_GT(wild.worstLastSecond, 5.0);
    EXPECT_GE(wild.crossingsLastSecond, 4) << "it keeps swinging through the target";

    Rig slow;
    PositionLoop weak;
    weak.kp = 50;
    weak.ki = 0;
    weak.kd = 0;
    weak.deadBand = 5;
    const PositionRun lag = runPosition(slow, weak, 2000, 4.0);
    EXPECT_GT(std::fabs(lag.finalError), 5.0) << "too little gain to beat friction";
}

TEST(MotorModel, VelocityLoopReachesItsTargetOrOscillates)
{
    Rig r;
    VelocityLoop loop;
    loop.restart(0);
    double worst = 0;
    for (int i = 0; i < 3000; ++i) {
        const double duty = loop.update(6000, r.shaft.velocity, kLoopPeriod);
        advanceShaft(r.shaft, r.params, r.conditions, duty, 0, 0, kLoopPeriod);
        if (i > 2000)
            worst = std::max(worst, std::fabs(r.shaft.velocity - 6000));
    }
    EXPECT_LT(worst, 30.0);

    Rig w;
    VelocityLoop wild;
    wild.kp = 500;
    wild.restart(0);
    double lo = 1e9, hi = -1e9;
    for (int i = 0; i < 3000; ++i) {
        const double duty = wild.update(6000, w.shaft.velocity, kLoopPeriod);
        advanceShaft(w.shaft, w.params, w.conditions, duty, 0, 0, kLoopPeriod);
        if (i > 2000) {
            lo = std::min(lo, w.shaft.velocity);
            hi = std::max(hi, w.shaft.velocity);
        }
    }
    EXPECT_GT(hi - lo, 500.0);
}

TEST(MotorModel, LoadCurrentLimitAndBrakingActOnTheShaft)
{
    Rig free, loaded, limited;
    loaded.conditions.load = 0.5;
    double peak = 0, limitedPeak = 0;
    for (int i = 0; i < 2000; ++i) {
        advanceShaft(free.shaft, free.params, free.conditions, 1.0, 0, 0, kLoopPeriod);
        advanceShaft(loaded.shaft, loaded.params, loaded.conditions, 1.0, 0, 0, kLoopPeriod);
        advanceShaft(limited.shaft, limited.params, limited.conditions, 1.0, 0, 2.0, kLoopPeriod);
        peak = std::max(peak, free.shaft.current);
        limitedPeak = std::max(limitedPeak, limited.shaft.current);
    }
    EXPECT_GT(peak, 10.0) << "starting draws a high current";
    EXPECT_LE(limitedPeak, 2.0 + 1e-9) << "the current limit caps it";
    EXPECT_GT(free.shaft.velocity, 10000);
    EXPECT_LT(loaded.shaft.velocity, 0.7 * free.shaft.velocity);
    EXPECT_GT(loaded.shaft.current, free.shaft.current) << "a load draws more current";

    // From the same speed, a braked shaft stops in less travel than a coasting one.
    Rig coast = free, brake = free;
    for (int i = 0; i < 5000; ++i) {
        advanceShaft(coast.shaft, coast.params, coast.conditions, 0, 0, 0, kLoopPeriod);
        advanceShaft(brake.shaft, brake.params, brake.conditions, 0, 1, 0, kLoopPeriod);
    }
    EXPECT_EQ(brake.shaft.velocity, 0);
    EXPECT_LT(brake.shaft.position - free.shaft.position, coast.shaft.position - free.shaft.position);

    Rig cut;
    cut.conditions.connected = false;
    advanceShaft(cut.shaft, cut.params, cut.conditions, 1.0, 0, 0, kLoopPeriod);
    EXPECT_EQ(cut.shaft.velocity, 0) << "open leads give no torque";
}

TEST(MotorModel, AHeldShaftTripsTheStallDetectorOncePerStall)
{
    StallDetector stall;
    int trips = 0;
    for (int i = 0; i < 3000; ++i)
        trips += stall.update(0.8, 0.0, 400, kLoopPeriod);
    EXPECT_EQ(trips, 1);
    EXPECT_FALSE(stall.update(0.8, 1000, 400, kLoopPeriod)) << "no second event while the first stall lasts";
    stall.update(0.0, 0.0, 400, kLoopPeriod);   // the drive stops: armed again
    for (int i = 0; i < 600; ++i)
        trips += stall.update(0.8, 0.0, 400, kLoopPeriod);
    EXPECT_EQ(trips, 2);
    StallDetector running;
    for (int i = 0; i < 3000; ++i)
        EXPECT_FALSE(running.update(0.8, 5000, 400, kLoopPeriod));
}
