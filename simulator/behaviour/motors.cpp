// Steppers, servos and voltage outputs (the brushed and brushless motors
// and their controllers live in motor_channels.cpp).
#include "common.h"
#include "motor_shaft.h"
#include "servo_pulse.h"

namespace tsim::behaviour {

namespace {

// Rescaled motors keep their raw position and base limits; the rescale
// factor converts them to the user's units.
struct RescaleState : ClassState {
    double raw = 0, offset = 0, factor = 1, velocity = 0;
    bool reached = true;
};

template <Tindrel_ChannelClass K>
TindrelReturnCode rescaleBeforeSet(Channel &, int p, double v)
{
    if (p == PROP(K, "RescaleFactor") && v == 0)
        return fail(TINDREL_EINVALIDARG, "RescaleFactor must not be 0");
    return TINDREL_OK;
}

// Scales the limits and values of the listed properties by new/old factor.
void rescale(Channel &c, std::initializer_list<int> props, double ratio)
{
    for (int p : props) {
        size_t s = slotOf(c, p);
        c.values[s] *= ratio;
        double lo = c.mins[s] * ratio, hi = c.maxs[s] * ratio;
        c.mins[s] = std::min(lo, hi);
        c.maxs[s] = std::max(lo, hi);
    }
}

// Position controllers: move toward the target with the velocity limit and
// acceleration, stopping within the dead band.
struct TrackProps {
    int position, target, limit, acceleration, deadBand;
};
TrackProps trackProps(Tindrel_ChannelClass k)
{
    const ClassDesc *cd = classByNumber(k);
    return {cd->prop("Position"), cd->prop("TargetPosition"), cd->prop("VelocityLimit"), cd->prop("Acceleration"),
            cd->prop("DeadBand")};
}
void trackTarget(Channel &c, const TrackProps &tp, double dt, bool engaged, double &velocity, bool &reached,
                 Raised &extra, int stoppedEvent)
{
    int pos = tp.position;
    double target = value(c, tp.target);
    double limit = std::fabs(value(c, tp.limit));
    double acc = std::fabs(value(c, tp.acceleration));
    double err = target - value(c, pos);
    double deadBand = tp.deadBand >= 0 ? value(c, tp.deadBand) : 0.0;
    double before = value(c, pos);
    if (!engaged || std::fabs(err) <= deadBand) {
        // Disengaged motors coast to a stop; within the dead band it holds.
        velocity = engaged ? 0.0 : approach(velocity, 0.0, acc * dt);
        value(c, pos) += velocity * dt;
    } else {
        double desired = std::copysign(std::min(limit, std::sqrt(2 * acc * std::fabs(err))), err);
        velocity = approach(velocity, desired, acc * dt);
        double move = velocity * dt;
        if (move * err > 0 && std::fabs(move) >= std::fabs(err)) {
            value(c, pos) = target;   // arrives within this step
            velocity = 0;
        } else {
            value(c, pos) += move;
        }
    }
    // Stopped once a step leaves the position where it was.
    if (value(c, pos) != before) {
        reached = false;
    } else if (!reached) {
        reached = true;
        if (stoppedEvent >= 0)
            extra.push_back({stoppedEvent, EventArgs()});
    }
}

// Stepper, with the failsafe timer.
constexpr const char *kFailsafeState =
    "The stepper is in its failsafe state; enable the failsafe again (or close and open the channel)";
struct StepperState : RescaleState {
    bool failsafeOn = false, failed = false;
    double failsafeDeadline = 0;
};
std::unique_ptr<ClassState> stepperState(const Channel &) { return std::make_unique<StepperState>(); }

TindrelReturnCode stepperBeforeSet(Channel &c, int p, double v)
{
    auto &s = stateOf<StepperState>(c);
    if (s.failed)
        return fail(TINDREL_EINVALIDSTATE, "%s", kFailsafeState);
    return rescaleBeforeSet<TINDREL_CHCLASS_STEPPER>(c, p, v);
}

void stepperAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_STEPPER;
    auto &s = stateOf<StepperState>(c);
    if (p == PROP(K, "ControlMode")) {
        // In run mode the velocity limit is signed: its sign gives the direction.
        int limit = PROP(K, "VelocityLimit");
        double top = c.maxs[slotOf(c, limit)];
        bool run = value(c, p) == static_cast<double>(TINDREL_STEPPER_CONTROL_MODE_RUN);
        setLimits(c, limit, run ? -top : 0.0, top);
        value(c, limit) = std::clamp(value(c, limit), run ? -top : 0.0, top);
        return;
    }
    if (p != PROP(K, "RescaleFactor"))
        return;
    double f = value(c, p);
    rescale(c,
            {PROP(K, "Position"), PROP(K, "TargetPosition"), PROP(K, "VelocityLimit"), PROP(K, "Acceleration"),
             PROP(K, "Velocity")},
            f / s.factor);
    s.velocity *= f / s.factor;
    s.factor = f;
}

void stepperStep(Channel &c, double dt, double t, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_STEPPER;
    auto &s = stateOf<StepperState>(c);
    int engagedP = PROP(K, "Engaged");
    if (s.failsafeOn && !s.failed && t > s.failsafeDeadline) {
        s.failed = true;
        value(c, engagedP) = 0;
        s.velocity = 0;
        EventArgs a;
        a.i[0] = TINDREL_EEVENT_FAILSAFE;
        a.s[0] = "Failsafe procedure initiated: the failsafe timer was not reset in time.";
        extra.emplace_back(ClassHooks::kErrorEvent, std::move(a));
    }
    bool engaged = value(c, engagedP) != 0;
    if (value(c, PROP(K, "ControlMode")) == static_cast<double>(TINDREL_STEPPER_CONTROL_MODE_RUN)) {
        double target = engaged ? value(c, PROP(K, "VelocityLimit")) : 0.0;
        s.velocity = approach(s.velocity, target, std::fabs(value(c, PROP(K, "Acceleration"))) * dt);
        value(c, PROP(K, "Position")) += s.velocity * dt;
        bool moving = s.velocity != 0;
        if (!moving && !s.reached)
            extra.push_back({EVENT(K, "Stopped"), EventArgs()});
        s.reached = !moving;
    } else {
        static const TrackProps tp = trackProps(K);
        trackTarget(c, tp, dt, engaged, s.velocity, s.reached, extra, EVENT(K, "Stopped"));
    }
    value(c, PROP(K, "Velocity")) = s.velocity;
    value(c, PROP(K, "IsMoving")) = s.velocity != 0;
}

// RC servo: position unknown until first engaged; then moves to the target.
// What the servo really receives is a pulse width: the position range maps
// linearly onto the pulse width range, and a new calibration keeps the pulse
// the servo holds (clamped into the new pulse range) and names it anew.
struct ServoState : ClassState {
    double velocity = 0;
    bool reached = true;
    double pulse = TINDREL_UNKNOWN_VALUE, targetPulse = TINDREL_UNKNOWN_VALUE;
};
struct ServoCalibration {
    double minPos, maxPos, minPulse, maxPulse;
};
ServoCalibration servoCalibration(Channel &c)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    return {value(c, PROP(K, "MinPosition")), value(c, PROP(K, "MaxPosition")), value(c, PROP(K, "MinPulseWidth")),
            value(c, PROP(K, "MaxPulseWidth"))};
}
void rememberServoPulses(Channel &c, ServoState &s)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    const auto cal = servoCalibration(c);
    const double pos = value(c, PROP(K, "Position"));
    if (pos != TINDREL_UNKNOWN_VALUE)
        s.pulse = servoPulseWidth(pos, cal.minPos, cal.maxPos, cal.minPulse, cal.maxPulse);
    s.targetPulse =
        servoPulseWidth(value(c, PROP(K, "TargetPosition")), cal.minPos, cal.maxPos, cal.minPulse, cal.maxPulse);
}
// After a calibration change: the held pulses, clamped into the pulse range, at their new positions.
void renameServoPulses(Channel &c, ServoState &s)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    const auto cal = servoCalibration(c);
    const double lo = std::min(cal.minPulse, cal.maxPulse), hi = std::max(cal.minPulse, cal.maxPulse);
    if (s.pulse != TINDREL_UNKNOWN_VALUE) {
        s.pulse = std::clamp(s.pulse, lo, hi);
        value(c, PROP(K, "Position")) = servoPosition(s.pulse, cal.minPos, cal.maxPos, cal.minPulse, cal.maxPulse);
    }
    if (s.targetPulse != TINDREL_UNKNOWN_VALUE) {
        s.targetPulse = std::clamp(s.targetPulse, lo, hi);
        value(c, PROP(K, "TargetPosition")) =
            servoPosition(s.targetPulse, cal.minPos, cal.maxPos, cal.minPulse, cal.maxPulse);
    }
}
std::unique_ptr<ClassState> servoState(const Channel &) { return std::make_unique<ServoState>(); }

TindrelReturnCode servoBeforeSet(Channel &c, int p, double v)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    if (p == PROP(K, "TargetPosition")) {
        double a = value(c, PROP(K, "MinPosition")), b = value(c, PROP(K, "MaxPosition"));
        if (v < std::min(a, b) || v > std::max(a, b))
            return fail(TINDREL_EINVALIDARG, "Value %g is out of range for TargetPosition (%g - %g)", v, std::min(a, b),
                        std::max(a, b));
    } else if (p == PROP(K, "MinPulseWidth") && v >= value(c, PROP(K, "MaxPulseWidth"))) {
        return fail(TINDREL_EINVALIDARG, "MinPulseWidth %g must be below MaxPulseWidth %g", v,
                    value(c, PROP(K, "MaxPulseWidth")));
    } else if (p == PROP(K, "MaxPulseWidth") && v <= value(c, PROP(K, "MinPulseWidth"))) {
        return fail(TINDREL_EINVALIDARG, "MaxPulseWidth %g must be above MinPulseWidth %g", v,
                    value(c, PROP(K, "MinPulseWidth")));
    }
    return TINDREL_OK;
}

void servoAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    auto &s = stateOf<ServoState>(c);
    int pos = PROP(K, "Position");
    if (p == PROP(K, "Engaged") && value(c, p) != 0 && value(c, pos) == TINDREL_UNKNOWN_VALUE)
        value(c, pos) = value(c, PROP(K, "TargetPosition"));
    if (p == PROP(K, "TargetPosition"))
        s.reached = false;
    if (p == PROP(K, "MinPosition") || p == PROP(K, "MaxPosition") || p == PROP(K, "MinPulseWidth") ||
        p == PROP(K, "MaxPulseWidth"))
        renameServoPulses(c, s);
    else
        rememberServoPulses(c, s);
}

void servoStep(Channel &c, double dt, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    auto &s = stateOf<ServoState>(c);
    int pos = PROP(K, "Position");
    if (value(c, PROP(K, "Engaged")) == 0 || value(c, pos) == TINDREL_UNKNOWN_VALUE) {
        s.velocity = 0;
        value(c, PROP(K, "Velocity")) = 0;
        return;
    }
    double target = value(c, PROP(K, "TargetPosition"));
    double limit = value(c, PROP(K, "VelocityLimit"));
    double err = target - value(c, pos);
    double desired = std::copysign(std::min(limit, std::fabs(err) / std::max(dt, 1e-3)), err);
    s.velocity = value(c, PROP(K, "SpeedRampingState")) != 0
                     ? approach(s.velocity, desired, value(c, PROP(K, "Acceleration")) * dt)
                     : desired;
    double move = s.velocity * dt;
    if (std::fabs(move) >= std::fabs(err)) {
        value(c, pos) = target;
        s.velocity = 0;
    } else {
        value(c, pos) += move;
    }
    value(c, PROP(K, "Velocity")) = s.velocity;
    value(c, PROP(K, "IsMoving")) = s.velocity != 0;
    rememberServoPulses(c, s);
    if (!s.reached && value(c, pos) == target) {
        s.reached = true;
        EventArgs a;
        a.d[0] = target;
        extra.emplace_back(EVENT(K, "TargetPositionReached"), std::move(a));
    }
}

void voltageOutputAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_VOLTAGEOUTPUT;
    if (p != PROP(K, "VoltageOutputRange"))
        return;
    int v = PROP(K, "Voltage");
    if (value(c, p) == static_cast<double>(TINDREL_VOLTAGE_OUTPUT_RANGE_5V))
        setLimits(c, v, 0, 5);
    else
        setLimits(c, v, -10, 10);
    value(c, v) = std::clamp(value(c, v), c.mins[slotOf(c, v)], c.maxs[slotOf(c, v)]);
}

}   // namespace

const ClassHooks kStepperHooks{nullptr, stepperBeforeSet, stepperAfterSet, stepperStep, stepperState};
const ClassHooks kServoHooks{nullptr, servoBeforeSet, servoAfterSet, servoStep, servoState};
const ClassHooks kVoltageOutputHooks{nullptr, nullptr, voltageOutputAfterSet};

}   // namespace tsim::behaviour

namespace tsim {

using namespace behaviour;

// Stepper failsafe and the other calls that reach into motor state.
TindrelReturnCode stepperFailsafe(Channel &c, bool enable, uint32_t ms)
{
    auto &s = stateOf<StepperState>(c);
    if (s.failed && !enable)
        return fail(TINDREL_EINVALIDSTATE, "%s", kFailsafeState);
    double t = sessionTime(c);
    if (enable) {
        int p = c.info->cls->prop("FailsafeTime");
        if (ms < c.mins[slotOf(c, p)] || ms > c.maxs[slotOf(c, p)])
            return fail(TINDREL_EINVALIDARG, "Value %u is out of range for FailsafeTime (%g - %g)", ms,
                        c.mins[slotOf(c, p)], c.maxs[slotOf(c, p)]);
        value(c, p) = ms;
        s.failsafeOn = true;
        // Arming the failsafe again is the way out of its tripped state; the
        // motor stays disengaged until it is engaged again.
        s.failed = false;
    } else if (!s.failsafeOn) {
        return fail(TINDREL_EINVALIDSTATE, "The failsafe is not enabled (call enableFailsafe first)");
    }
    s.failsafeDeadline = t + value(c, c.info->cls->prop("FailsafeTime")) / 1000.0;
    return TINDREL_OK;
}

TindrelReturnCode addPositionOffset(Channel &c, double offset)
{
    switch (c.info->cls->cls) {
    case TINDREL_CHCLASS_BLDCMOTOR:
    case TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER:
        return motorPositionOffset(c, offset);
    case TINDREL_CHCLASS_STEPPER:
        if (stateOf<StepperState>(c).failed)
            return fail(TINDREL_EINVALIDSTATE, "%s", kFailsafeState);
        value(c, c.info->cls->prop("Position")) += offset;
        value(c, c.info->cls->prop("TargetPosition")) += offset;
        return TINDREL_OK;
    default:
        return fail(TINDREL_EUNSUPPORTED, "%s has no position offset", c.info->cls->name);
    }
}

}   // namespace tsim

namespace tsim::behaviour { }   // namespace tsim::behaviour
