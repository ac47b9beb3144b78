// Brushed and brushless motors and their position and velocity
// controllers, driving the shared shaft model of their device.
#include "../engine.h"
#include "common.h"
#include "motor_shaft.h"

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace tsim {

struct ShaftRecord {
    motor::Shaft shaft;
    motor::Conditions conditions;
    double lastRun = -1;   // steady-clock seconds of the last advance
    bool cutReported = false;
};

bool drivesShaft(Tindrel_ChannelClass cls)
{
    return cls == TINDREL_CHCLASS_DCMOTOR || cls == TINDREL_CHCLASS_BLDCMOTOR ||
           cls == TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER || cls == TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
}

namespace {

// The rig's shaft of that device and motor, made at rest on first use.
// Callers hold the engine lock.
ShaftRecord &shaftRecord(const std::string &deviceId, int motorIndex)
{
    std::shared_ptr<ShaftRecord> &r = engine().shafts[{deviceId, motorIndex}];
    if (!r)
        r = std::make_shared<ShaftRecord>();
    return *r;
}

ShaftRecord &shaftOf(const Channel &c) { return shaftRecord(c.info->device->id, c.info->index); }

const motor::ShaftParams kParams{};

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs the firmware loop over the time since the shaft last ran, one loop
// period at a time: drive(dt, shaft, duty, braking) sets the drive for each.
template <class Drive>
void runShaft(Channel &c, Raised &extra, double currentLimit, Drive &&drive)
{
    ShaftRecord &r = shaftOf(c);
    const double now = steadySeconds();
    const double elapsed = r.lastRun < 0 ? 0.0 : std::min(now - r.lastRun, 2.0);
    r.lastRun = now;
    const int steps = static_cast<int>(std::ceil(elapsed / motor::kLoopPeriod));
    const double dt = steps > 0 ? elapsed / steps : 0.0;
    for (int i = 0; i < steps; ++i) {
        double duty = 0, braking = 0;
        drive(dt, r.shaft, duty, braking);
        motor::advanceShaft(r.shaft, kParams, r.conditions, duty, braking, currentLimit, dt);
    }
    if (!r.conditions.connected && !r.cutReported) {
        r.cutReported = true;
        EventArgs a;
        a.i[0] = TINDREL_EEVENT_BADCONNECTION;
        a.s[0] = "Bad motor connection: the motor leads are open; check the wiring";
        extra.emplace_back(ClassHooks::kErrorEvent, std::move(a));
    }
}

void raiseStall(Raised &extra)
{
    EventArgs a;
    a.i[0] = TINDREL_EEVENT_MOTORSTALL;
    a.s[0] = "Motor stall detected: the motor turned slower than its stall velocity and was disengaged";
    extra.emplace_back(ClassHooks::kErrorEvent, std::move(a));
}

}   // namespace

bool shaftPosition(const DeviceInfo &device, int motorIndex, double &counts)
{
    const auto &shafts = engine().shafts;
    auto it = shafts.find({device.id, motorIndex});
    if (it == shafts.end())
        return false;
    counts = it->second->shaft.position;
    return true;
}

TindrelReturnCode setShaftCondition(const std::string &deviceId, int motorIndex, const std::string &what, double value)
{
    if (!std::isfinite(value))
        return fail(TINDREL_EINVALIDARG, "The value of %s must be a number", what.c_str());
    ShaftRecord &r = shaftRecord(deviceId, motorIndex);
    if (what == "load") {
        if (value < -1 || value > 1)
            return fail(TINDREL_EINVALIDARG, "Load %g is outside -1 to 1 (fractions of the stall torque)", value);
        r.conditions.load = value;
    } else if (what == "hold") {
        r.conditions.held = value != 0;
    } else if (what == "connection") {
        r.conditions.connected = value != 0;
        if (r.conditions.connected)
            r.cutReported = false;
    } else {
        return fail(TINDREL_EINVALIDARG, "Unknown motor condition \"%s\" (load, hold or connection)", what.c_str());
    }
    return TINDREL_OK;
}

namespace behaviour {

namespace {

// User units are counts times the rescale factor plus the offset.
struct DriveState : ClassState {
    double factor = 1, offset = 0, duty = 0;
    motor::PositionLoop position;
    motor::VelocityLoop velocity;
    motor::StallDetector stall;
};
std::unique_ptr<ClassState> driveState(const Channel &) { return std::make_unique<DriveState>(); }

template <Tindrel_ChannelClass K>
TindrelReturnCode nonZeroRescale(Channel &, int p, double v)
{
    if (p == PROP(K, "RescaleFactor") && v == 0)
        return fail(TINDREL_EINVALIDARG, "RescaleFactor must not be 0");
    return TINDREL_OK;
}

// Scales values and limits of the listed properties by ratio.
void rescaleProps(Channel &c, std::initializer_list<int> props, double ratio)
{
    for (int p : props) {
        if (p < 0)
            continue;
        size_t s = slotOf(c, p);
        c.values[s] *= ratio;
        double lo = c.mins[s] * ratio, hi = c.maxs[s] * ratio;
        c.mins[s] = std::min(lo, hi);
        c.maxs[s] = std::max(lo, hi);
    }
}

double rescaleTo(Channel &c, DriveState &s, int p, std::initializer_list<int> props)
{
    double f = value(c, p);
    double ratio = f / s.factor;
    rescaleProps(c, props, ratio);
    s.offset *= ratio;
    s.factor = f;
    return ratio;
}

// ---------------------------------------------------------------- brushed
void dcMotorPrepare(ChannelInfo &ci)
{
    if (deviceIn(ci, {37, 41}))
        markUnsupported(ci, {"BackEMF", "BackEMFSensingState", "TargetBrakingStrength", "BrakingStrength"});
    if (!deviceIn(ci, {57, 110}))
        markUnsupported(ci, {"CurrentLimit"});
    if (!deviceIn(ci, {57}))
        markUnsupported(ci, {"CurrentRegulatorGain", "FanMode"});
}

// The reported velocity is the duty cycle, which follows the target at the
// set acceleration; at rest the brake works with the target braking strength.
template <Tindrel_ChannelClass K>
void rampDuty(Channel &c, double dt, double &duty, double &braking)
{
    const int vel = PROP(K, "Velocity"), brake = PROP(K, "BrakingStrength"), target = PROP(K, "TargetBrakingStrength");
    duty =
        approach(value(c, vel), value(c, PROP(K, "TargetVelocity")), std::fabs(value(c, PROP(K, "Acceleration"))) * dt);
    value(c, vel) = duty;
    braking = c.supports(target) ? value(c, target) : 0.0;
    if (c.supports(brake))
        value(c, brake) = duty == 0 ? braking : 0.0;
}

void dcMotorStep(Channel &c, double, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_DCMOTOR;
    const int limit = PROP(K, "CurrentLimit");
    runShaft(
        c, extra, c.supports(limit) ? value(c, limit) : 0.0,
        [&](double dt, const motor::Shaft &, double &duty, double &braking) { rampDuty<K>(c, dt, duty, braking); });
    // Back EMF: the generated voltage of the turning shaft, 12 V at free speed.
    const int emf = PROP(K, "BackEMF");
    if (c.supports(emf))
        value(c, emf) =
            value(c, PROP(K, "BackEMFSensingState")) != 0 ? 12.0 * shaftOf(c).shaft.velocity / kParams.freeSpeed : 0.0;
}

// ---------------------------------------------------------------- brushless
void bldcAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_BLDCMOTOR;
    if (p != PROP(K, "RescaleFactor"))
        return;
    auto &s = stateOf<DriveState>(c);
    rescaleTo(c, s, p, {PROP(K, "StallVelocity")});
    value(c, PROP(K, "Position")) = shaftOf(c).shaft.position * s.factor + s.offset;
}

void bldcStep(Channel &c, double, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_BLDCMOTOR;
    auto &s = stateOf<DriveState>(c);
    const double stallVelocity = value(c, PROP(K, "StallVelocity"));
    const int targetP = PROP(K, "TargetVelocity"), velocityP = PROP(K, "Velocity");
    bool stalled = false;
    runShaft(c, extra, 0.0, [&](double dt, const motor::Shaft &shaft, double &duty, double &braking) {
        rampDuty<K>(c, dt, duty, braking);
        if (s.stall.update(duty, shaft.velocity * std::fabs(s.factor), stallVelocity, dt)) {
            stalled = true;
            value(c, targetP) = 0;
            value(c, velocityP) = 0;
            duty = 0;
        }
    });
    value(c, PROP(K, "Position")) = shaftOf(c).shaft.position * s.factor + s.offset;
    if (stalled)
        raiseStall(extra);
}

// ---------------------------------------------------------------- position controller
void mpcPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {108}))
        markUnsupported(ci, {"StallVelocity"});
    if (!deviceIn(ci, {57, 110}))
        markUnsupported(ci, {"CurrentLimit"});
    if (!deviceIn(ci, {57}))
        markUnsupported(ci, {"CurrentRegulatorGain", "IOMode", "FanMode"});
}

void mpcAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER;
    auto &s = stateOf<DriveState>(c);
    if (p == PROP(K, "RescaleFactor")) {
        rescaleTo(c, s, p,
                  {PROP(K, "Position"), PROP(K, "TargetPosition"), PROP(K, "VelocityLimit"), PROP(K, "Acceleration"),
                   PROP(K, "StallVelocity"), PROP(K, "DeadBand")});
    } else if (p == PROP(K, "Engaged") && value(c, p) != 0) {
        // The trajectory starts where the shaft is.
        s.position.restart(shaftOf(c).shaft.position);
        s.stall.rearm();
    }
}

void mpcStep(Channel &c, double, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER;
    auto &s = stateOf<DriveState>(c);
    const int engagedP = PROP(K, "Engaged"), limitP = PROP(K, "CurrentLimit"), stallP = PROP(K, "StallVelocity");
    const double scale = std::fabs(s.factor);
    motor::PositionLoop &loop = s.position;
    loop.kp = value(c, PROP(K, "Kp"));
    loop.ki = value(c, PROP(K, "Ki"));
    loop.kd = value(c, PROP(K, "Kd"));
    loop.velocityLimit = value(c, PROP(K, "VelocityLimit")) / scale;
    loop.acceleration = value(c, PROP(K, "Acceleration")) / scale;
    loop.deadBand = value(c, PROP(K, "DeadBand")) / scale;
    const double target = (value(c, PROP(K, "TargetPosition")) - s.offset) / s.factor;
    const bool stallChecked = c.supports(stallP);
    bool stalled = false;
    runShaft(c, extra, c.supports(limitP) ? value(c, limitP) : 0.0,
             [&](double dt, const motor::Shaft &shaft, double &duty, double &braking) {
                 if (value(c, engagedP) == 0) {
                     duty = braking = s.duty = 0;   // disengaged: the shaft coasts
                     return;
                 }
                 duty = loop.update(target, shaft.position, dt);
                 braking = 1;   // inside the dead band the motor holds
                 if (stallChecked && s.stall.update(duty, shaft.velocity * scale, value(c, stallP), dt)) {
                     stalled = true;
                     value(c, engagedP) = 0;
                     duty = 0;
                 }
                 s.duty = duty;
             });
    const motor::Shaft &shaft = shaftOf(c).shaft;
    value(c, PROP(K, "Position")) = shaft.position * s.factor + s.offset;
    value(c, PROP(K, "DutyCycle")) = s.duty;
    if (stalled)
        raiseStall(extra);
}

// ---------------------------------------------------------------- velocity controller
void mvcAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
    auto &s = stateOf<DriveState>(c);
    if (p == PROP(K, "RescaleFactor"))
        rescaleTo(c, s, p,
                  {PROP(K, "Velocity"), PROP(K, "TargetVelocity"), PROP(K, "Acceleration"), PROP(K, "DeadBand")});
    else if (p == PROP(K, "Engaged") && value(c, p) != 0)
        s.velocity.restart(shaftOf(c).shaft.velocity);
}

void mvcStep(Channel &c, double, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
    auto &s = stateOf<DriveState>(c);
    const int engagedP = PROP(K, "Engaged");
    const double scale = std::fabs(s.factor);
    motor::VelocityLoop &loop = s.velocity;
    loop.kp = value(c, PROP(K, "Kp"));
    loop.ki = value(c, PROP(K, "Ki"));
    loop.kd = value(c, PROP(K, "Kd"));
    loop.acceleration = value(c, PROP(K, "Acceleration")) / scale;
    loop.deadBand = value(c, PROP(K, "DeadBand")) / scale;
    const double target = value(c, PROP(K, "TargetVelocity")) / s.factor;
    runShaft(c, extra, value(c, PROP(K, "CurrentLimit")),
             [&](double dt, const motor::Shaft &shaft, double &duty, double &braking) {
                 braking = 0;
                 duty = value(c, engagedP) != 0 ? loop.update(target, shaft.velocity, dt) : 0.0;
                 s.duty = duty;
             });
    if (value(c, engagedP) == 0)
        s.duty = 0;
    value(c, PROP(K, "Velocity")) = shaftOf(c).shaft.velocity * s.factor;
    value(c, PROP(K, "DutyCycle")) = s.duty;
}

}   // namespace

const ClassHooks kDCMotorHooks{dcMotorPrepare, nullptr, nullptr, dcMotorStep};
const ClassHooks kBLDCHooks{nullptr, nonZeroRescale<TINDREL_CHCLASS_BLDCMOTOR>, bldcAfterSet, bldcStep, driveState};
const ClassHooks kMPCHooks{mpcPrepare, nonZeroRescale<TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER>, mpcAfterSet, mpcStep,
                           driveState};
const ClassHooks kMVCHooks{nullptr, nonZeroRescale<TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER>, mvcAfterSet, mvcStep,
                           driveState};

}   // namespace behaviour

TindrelReturnCode motorPositionOffset(Channel &c, double offset)
{
    auto &s = behaviour::stateOf<behaviour::DriveState>(c);
    s.offset += offset;
    value(c, c.info->cls->prop("Position")) += offset;
    if (c.info->cls->cls == TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER)
        value(c, c.info->cls->prop("TargetPosition")) += offset;
    return TINDREL_OK;
}

}   // namespace tsim

extern "C" TINDREL_API TindrelReturnCode TindrelSim_setMotorCondition(const char *deviceId, int motorIndex,
                                                                      const char *condition, double value)
{
    if (!deviceId || !condition)
        return tsim::fail(TINDREL_EFAULT, "Device id and condition must not be NULL");
    tsim::Engine &e = tsim::engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    auto device = e.devById.find(deviceId);
    if (device == e.devById.end())
        return tsim::fail(TINDREL_ENOENT, "No device \"%s\" in the rig", deviceId);
    // A condition is set on a motor the device has: one that a motor or
    // motor controller channel of that index drives.
    std::set<int> motors;
    for (const auto &ci : e.rig.channels)
        if (ci->device == device->second && tsim::drivesShaft(ci->cls->cls))
            motors.insert(ci->index);
    if (!motors.count(motorIndex)) {
        if (motors.empty())
            return tsim::fail(TINDREL_ENOENT, "Device \"%s\" has no motor", deviceId);
        std::string listed;
        for (int m : motors)
            listed += (listed.empty() ? "" : ", ") + std::to_string(m);
        return tsim::fail(TINDREL_ENOENT, "Device \"%s\" has no motor %d (its motors: %s)", deviceId, motorIndex,
                          listed.c_str());
    }
    return tsim::setShaftCondition(deviceId, motorIndex, condition, value);
}
