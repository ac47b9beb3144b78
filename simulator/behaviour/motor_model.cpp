#include "motor_model.h"

#include <algorithm>
#include <cmath>

namespace tsim::motor {

namespace {

double sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

double towards(double v, double target, double step)
{
    if (std::fabs(target - v) <= step)
        return target;
    return v + (target > v ? step : -step);
}

}   // namespace

void advanceShaft(Shaft &s, const ShaftParams &p, const Conditions &c, double duty, double braking, double currentLimit,
                  double dt)
{
    const double speed = c.held ? 0.0 : s.velocity;
    double electric = 0;   // torque fraction from the windings
    if (c.connected) {
        if (duty == 0)
            electric = -std::clamp(braking, 0.0, 1.0) * speed / p.freeSpeed;
        else
            electric = std::clamp(duty, -1.0, 1.0) - speed / p.freeSpeed;
        const double cap = currentLimit > 0 ? std::min(1.0, currentLimit / p.stallCurrent) : 1.0;
        electric = std::clamp(electric, -cap, cap);
    }
    // The winding current follows the drive with the electrical time constant.
    const double follow = p.electricalTimeConstant > 0 ? std::min(1.0, dt / p.electricalTimeConstant) : 1.0;
    s.torque += (electric - s.torque) * follow;
    electric = s.torque;
    s.current = electric * p.stallCurrent;
    if (c.held) {
        s.velocity = 0;
        return;
    }
    // Driving torque against the load and viscous friction; Coulomb friction
    // holds a resting shaft until the rest exceeds it.
    double net = electric - c.load - p.viscousFriction * s.velocity / p.freeSpeed;
    if (s.velocity == 0 && std::fabs(net) <= p.coulombFriction)
        return;
    const double direction = s.velocity != 0 ? sign(s.velocity) : sign(net);
    net -= direction * p.coulombFriction;
    const double before = s.velocity;
    s.velocity += net * p.stallAcceleration * dt;
    // Friction stops a shaft; it does not turn it around.
    if (before != 0 && sign(s.velocity) != sign(before) && std::fabs(electric - c.load) <= p.coulombFriction)
        s.velocity = 0;
    s.position += s.velocity * dt;
}

void PositionLoop::restart(double position)
{
    resting = false;
    setpoint = position;
    setpointVelocity = 0;
    integral = 0;
    lastError = 0;
    primed = false;
}

double PositionLoop::update(double target, double position, double dt)
{
    // Trajectory: accelerate toward the target, brake in time to stop on it.
    const double remaining = target - setpoint;
    const double acc = std::max(std::fabs(acceleration), 1e-9);
    const double wanted =
        sign(remaining) * std::min(std::fabs(velocityLimit), std::sqrt(2 * acc * std::fabs(remaining)));
    setpointVelocity = towards(setpointVelocity, wanted, acc * dt);
    setpoint += setpointVelocity * dt;
    if (remaining == 0 || sign(target - setpoint) != sign(remaining)) {
        setpoint = target;
        setpointVelocity = 0;
    }

    const double error = setpoint - position;
    const double held = std::clamp(kPositionIntegralScale * ki * integral, -1.0, 1.0);
    // The loop comes to rest well inside the dead band and wakes when the
    // shaft leaves it.
    const double off = std::fabs(target - position);
    resting = setpoint == target && deadBand > 0 && off <= (resting ? deadBand : deadBand / 2);
    if (resting) {
        lastError = error;
        primed = true;
        return held;
    }
    const double ms = dt * 1000.0;
    integral += error * ms;
    // Anti-windup: the integral alone never asks for more than full drive.
    if (ki > 0) {
        const double cap = 1.0 / (ki * kPositionIntegralScale);
        integral = std::clamp(integral, -cap, cap);
    }
    const double derivative = primed ? (error - lastError) / ms : 0.0;
    lastError = error;
    primed = true;
    return std::clamp(kPositionGainScale * (kp * error + kd * derivative) + kPositionIntegralScale * ki * integral,
                      -1.0, 1.0);
}

void VelocityLoop::restart(double velocity)
{
    setpoint = velocity;
    integral = 0;
    lastError = 0;
    output = 0;
    primed = false;
}

double VelocityLoop::update(double target, double velocity, double dt)
{
    setpoint = towards(setpoint, target, std::fabs(acceleration) * dt);
    const double error = setpoint - velocity;
    if (setpoint == target && deadBand > 0 && std::fabs(target - velocity) <= deadBand) {
        lastError = error;
        return output;
    }
    integral += error * dt;
    if (ki > 0) {
        const double cap = 1.0 / (ki * kVelocityGainScale * 10.0);
        integral = std::clamp(integral, -cap, cap);
    }
    const double derivative = primed ? (error - lastError) / dt : 0.0;
    lastError = error;
    primed = true;
    output = std::clamp(kVelocityGainScale * (kp * error + 10.0 * ki * integral + 1e-3 * kd * derivative), -1.0, 1.0);
    return output;
}

bool StallDetector::update(double duty, double speed, double stallVelocity, double dt)
{
    if (std::fabs(duty) < 0.1) {
        rearm();
        return false;
    }
    if (tripped)
        return false;
    if (std::fabs(speed) >= stallVelocity) {
        slowFor = 0;
        return false;
    }
    slowFor += dt;
    if (slowFor < window)
        return false;
    tripped = true;
    return true;
}

}   // namespace tsim::motor
