// A small physical model of a motor shaft and the control loops that drive
// it. Pure: no library or engine state, so the simulator's tests run it
// step by step. Positions are in encoder counts, velocities in counts per
// second, torques in fractions of the motor's stall torque.
#pragma once

#include <cstdint>

namespace tsim::motor {

// What the motor is made of and what it is coupled to.
struct ShaftParams {
    double freeSpeed = 12000;                // counts/s at full duty without load
    double stallAcceleration = 1.2e6;        // counts/s^2 at full torque, shaft alone
    double coulombFriction = 0.02;           // torque fraction against motion
    double viscousFriction = 0.05;           // torque fraction at free speed
    double stallCurrent = 20;                // amperes at full duty, held shaft
    double electricalTimeConstant = 0.003;   // seconds for the winding current to follow the drive
};

// Conditions set from outside (the tindrelsim tool).
struct Conditions {
    double load = 0;         // torque fraction against positive motion
    bool held = false;       // the shaft is blocked
    bool connected = true;   // the motor leads are sound
};

struct Shaft {
    double position = 0;   // counts
    double velocity = 0;   // counts/s
    double current = 0;    // amperes drawn
    double torque = 0;     // torque fraction from the windings (lags the drive)
};

// One integration step of dt seconds. duty is the drive (-1..1); with duty 0
// the windings are shorted by braking (0..1), so the motor coasts at 0 and
// brakes hard at 1. currentLimit caps the current (and so the torque).
void advanceShaft(Shaft &s, const ShaftParams &p, const Conditions &c, double duty, double braking, double currentLimit,
                  double dt);

// Loop output scale: duty per unit of gain and error.
inline constexpr double kPositionGainScale = 1e-6;       // Kp per count, Kd per count/ms
inline constexpr double kPositionIntegralScale = 1e-5;   // Ki per count*ms
inline constexpr double kVelocityGainScale = 1e-4;       // Kp per count/s, Ki per count, Kd per count/s^2

// Position controller: a trajectory that moves the setpoint toward the
// target within the velocity limit and acceleration, and a PID loop that
// makes the shaft follow it. Inside the dead band of the target, once the
// setpoint has arrived, only what the integral holds (against a load) drives.
struct PositionLoop {
    double kp = 20000, ki = 2, kd = 40000;
    double velocityLimit = 10000, acceleration = 10000, deadBand = 0;
    // state
    double setpoint = 0, setpointVelocity = 0, integral = 0, lastError = 0;
    bool primed = false, resting = false;
    // Resets the trajectory to where the shaft is (on engage).
    void restart(double position);
    // One loop period of dt seconds; returns the duty (-1..1).
    double update(double target, double position, double dt);
};

// Velocity controller: the setpoint ramps toward the target at the
// acceleration; a PID loop on the velocity error. Inside the dead band the
// loop output holds.
struct VelocityLoop {
    double kp = 5, ki = 2, kd = 0;
    double acceleration = 10000, deadBand = 0;
    double setpoint = 0, integral = 0, lastError = 0, output = 0;
    bool primed = false;
    void restart(double velocity);
    double update(double target, double velocity, double dt);
};

// Raises once when a driven shaft turns slower than the stall velocity for
// longer than the window; rearms when the drive stops.
struct StallDetector {
    double window = 0.5;   // seconds
    double slowFor = 0;
    bool tripped = false;
    // True exactly once per stall.
    bool update(double duty, double speed, double stallVelocity, double dt);
    void rearm()
    {
        slowFor = 0;
        tripped = false;
    }
};

// The loop and integration period of the simulated firmware.
inline constexpr double kLoopPeriod = 0.001;

}   // namespace tsim::motor
