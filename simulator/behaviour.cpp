// What the class table cannot say: per-class behaviour hooks (device
// differences, coupled properties, and the motion of motors and inputs).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim_internal.h"

using namespace tsim;

namespace {

// Property index by name, looked up once per call site.
#define PROP(cls, name)                                                                                                \
    ([]() {                                                                                                            \
        static const int i = classByNumber(cls)->prop(name);                                                           \
        return i;                                                                                                      \
    }())
#define EVENT(cls, name)                                                                                               \
    ([]() {                                                                                                            \
        static const int i = classByNumber(cls)->event(name);                                                          \
        return i;                                                                                                      \
    }())

size_t slotOf(const Channel &c, int p) { return static_cast<size_t>(c.info->cls->props[static_cast<size_t>(p)].slot); }
void setLimits(Channel &c, int p, double lo, double hi)
{
    c.mins[slotOf(c, p)] = lo;
    c.maxs[slotOf(c, p)] = hi;
}
void markUnsupported(ChannelInfo &ci, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (int p = ci.cls->prop(n); p >= 0)
            ci.unsupported.insert(p);
}
bool deviceIn(const ChannelInfo &ci, std::initializer_list<int> ids)
{
    return std::find(ids.begin(), ids.end(), ci.device->deviceId) != ids.end();
}
// Moves v toward target by at most step.
double approach(double v, double target, double step)
{
    if (std::fabs(target - v) <= step)
        return target;
    return v + (target > v ? step : -step);
}
TindrelReturnCode refuseCode(const Channel &c, int p, double v)
{
    return fail(TINDREL_EINVALIDARG, "%s %g is not offered by device %d",
                c.info->cls->props[static_cast<size_t>(p)].name, v, c.info->device->deviceId);
}
bool codeIn(double v, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), static_cast<int>(v)) != codes.end();
}

// ---------------------------------------------------------------- digital output
// Subclass 16 and 18 outputs can dim (duty cycle); subclass 17 drives LEDs
// (duty cycle, current limit, forward voltage); others only switch.
constexpr int kSubclassDuty = 16, kSubclassLED = 17, kSubclassFrequency = 18;

void digitalOutputPrepare(ChannelInfo &ci)
{
    bool duty = ci.subclass == kSubclassDuty || ci.subclass == kSubclassLED || ci.subclass == kSubclassFrequency;
    if (!duty)
        markUnsupported(ci, {"DutyCycle"});
    if (ci.subclass != kSubclassLED)
        markUnsupported(ci, {"LEDCurrentLimit", "LEDForwardVoltage"});
    if (ci.subclass != kSubclassFrequency)
        markUnsupported(ci, {"Frequency"});
}

// Forward voltages each LED driver offers.
struct ForwardVoltages {
    int deviceId;
    std::initializer_list<int> codes;
};
const ForwardVoltages kForwardVoltages[] = {{16, {1, 2, 4, 7}}, {17, {1, 2, 4, 7}}, {71, {3, 5, 6, 8}}};

TindrelReturnCode digitalOutputBeforeSet(Channel &c, int p, double v)
{
    if (p != PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "LEDForwardVoltage"))
        return TINDREL_OK;
    for (const auto &fv : kForwardVoltages)
        if (fv.deviceId == c.info->device->deviceId && !codeIn(v, fv.codes))
            return refuseCode(c, p, v);
    return TINDREL_OK;
}

void digitalOutputAfterSet(Channel &c, int p)
{
    int state = PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "State"), duty = PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "DutyCycle");
    if (p == state && c.supports(duty))
        value(c, duty) = value(c, state) != 0 ? c.maxs[slotOf(c, duty)] : c.mins[slotOf(c, duty)];
    else if (p == duty)
        value(c, state) = value(c, duty) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------- inputs
void digitalInputPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {55}))
        markUnsupported(ci, {"InputMode", "PowerSupply"});
}

// Voltage ranges: code -> +/- volts, and the codes each ranged device offers.
const double kRangeVolts[] = {0, 0.01, 0.04, 0.2, 0.3125, 0.4, 1, 2, 5, 15, 40, 40};
struct RangeDevice {
    int deviceId;
    std::initializer_list<int> codes;
};
const RangeDevice kRangeDevices[] = {{49, {5, 7}}, {92, {4, 10}}, {93, {8, 9, 10, 11}}, {94, {1, 2, 3, 6, 11}}};

void voltageInputPrepare(ChannelInfo &ci)
{
    bool ranged = false;
    for (const auto &rd : kRangeDevices)
        ranged |= rd.deviceId == ci.device->deviceId;
    if (!ranged)
        markUnsupported(ci, {"VoltageRange"});
    if (!deviceIn(ci, {55}))
        markUnsupported(ci, {"PowerSupply"});
}

TindrelReturnCode voltageInputBeforeSet(Channel &c, int p, double v)
{
    if (p != PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "VoltageRange"))
        return TINDREL_OK;
    for (const auto &rd : kRangeDevices)
        if (rd.deviceId == c.info->device->deviceId && !codeIn(v, rd.codes))
            return refuseCode(c, p, v);
    return TINDREL_OK;
}

void voltageInputAfterSet(Channel &c, int p)
{
    if (p != PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "VoltageRange"))
        return;
    double r = kRangeVolts[static_cast<int>(value(c, p))];
    int volt = PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "Voltage");
    setLimits(c, volt, -r, r);
    setLimits(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "VoltageChangeTrigger"), 0, r);
    value(c, volt) = std::clamp(value(c, volt), -r, r);
}

// A non-zero sensor type converts the voltage: a linear temperature sensor
// (10 mV per degree, 0.5 V at 0 degrees).
void voltageInputUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    if (c.values[slotOf(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorType"))] == 0)
        u = {TINDREL_UNIT_VOLT, "volt", "V"};
    else
        u = {TINDREL_UNIT_DEGREE_CELSIUS, "degree Celsius", "\u00b0C"};
}

void voltageInputStep(Channel &c, double, double, Raised &)
{
    double type = value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorType"));
    double v = value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "Voltage"));
    value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorValue")) = type == 0 ? TINDREL_UNKNOWN_VALUE : (v - 0.5) * 100.0;
}

constexpr int kSubclassBridge = 65;
void voltageRatioPrepare(ChannelInfo &ci)
{
    if (ci.subclass != kSubclassBridge)
        markUnsupported(ci, {"BridgeGain", "BridgeEnabled"});
}
TindrelReturnCode voltageRatioBeforeSet(Channel &c, int p, double v)
{
    // Device 24 offers 1x, 8x, 16x, 32x, 64x and 128x.
    if (p == PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "BridgeGain") && c.info->device->deviceId == 24 &&
        !codeIn(v, {1, 4, 5, 6, 7, 8}))
        return refuseCode(c, p, v);
    return TINDREL_OK;
}
void voltageRatioUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    if (c.values[slotOf(c, PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "SensorType"))] == 0)
        u = {TINDREL_UNIT_NONE, "volt per volt", "V/V"};
    else
        u = {TINDREL_UNIT_PERCENT, "percent", "%"};
}
void voltageRatioStep(Channel &c, double, double, Raised &)
{
    double type = value(c, PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "SensorType"));
    double r = value(c, PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "VoltageRatio"));
    value(c, PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "SensorValue")) = type == 0 ? TINDREL_UNKNOWN_VALUE : r * 100.0;
}

constexpr int kSubclassRTD = 32, kSubclassThermocouple = 33;
void temperaturePrepare(ChannelInfo &ci)
{
    if (ci.subclass != kSubclassThermocouple)
        markUnsupported(ci, {"ThermocoupleType"});
    if (ci.subclass != kSubclassRTD)
        markUnsupported(ci, {"RTDType", "RTDWireSetup"});
}

void soundAfterSet(Channel &c, int p)
{
    if (p != PROP(TINDREL_CHCLASS_SOUNDSENSOR, "SPLRange"))
        return;
    double top = value(c, p) == 1 ? 102 : 82;
    setLimits(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dB"), 0, top);
}
void soundStep(Channel &c, double, double, Raised &)
{
    double db = value(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dB"));
    value(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dBA")) = std::max(0.0, db - 2.1);
    value(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dBC")) = std::max(0.0, db - 0.4);
    size_t oct = slotOf(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "Octaves"));
    for (int i = 0; i < 10; ++i)   // loudest around 500 Hz
        c.values[oct + static_cast<size_t>(i)] = std::max(0.0, db - 3.0 * std::abs(i - 4));
}

void distancePrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {59}))
        markUnsupported(ci, {"SonarQuietMode"});
}
void distanceStep(Channel &c, double, double, Raised &extra)
{
    if (c.info->device->deviceId != 59)
        return;
    double d = value(c, PROP(TINDREL_CHCLASS_DISTANCESENSOR, "Distance"));
    EventArgs a;
    a.raw.assign(16, 0);
    const double echo[] = {1.0, 1.6, 2.3};
    const uint32_t amp[] = {255, 120, 60};
    for (int i = 0; i < 3; ++i) {
        a.raw[static_cast<size_t>(i)] = static_cast<uint32_t>(std::min(5000.0, d * echo[i]));
        a.raw[static_cast<size_t>(8 + i)] = amp[i];
    }
    a.i[0] = 3;
    extra.emplace_back(EVENT(TINDREL_CHCLASS_DISTANCESENSOR, "SonarReflectionsUpdate"), std::move(a));
}

void powerSupply55Prepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {55}))
        markUnsupported(ci, {"PowerSupply"});
}

// ---------------------------------------------------------------- counting inputs
struct EncoderState : ClassState {
    double pending = 0;     // fractional counts
    int delta = 0;          // counts since the last event
    double lastEvent = 0;   // session time of the last event
    bool indexHit = false;
};
constexpr int kCountsPerIndex = 1440;

void encoderPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {25, 60}))
        markUnsupported(ci, {"Enabled"});
    if (!deviceIn(ci, {57, 60}))
        markUnsupported(ci, {"IOMode"});
}
std::unique_ptr<ClassState> encoderState(const Channel &) { return std::make_unique<EncoderState>(); }
// The rig's waveform gives the shaft speed in counts per second.
void encoderStep(Channel &c, double dt, double t, Raised &extra)
{
    auto &s = static_cast<EncoderState &>(*c.state);
    const ClassDesc &cls = *c.info->cls;
    int en = PROP(TINDREL_CHCLASS_ENCODER, "Enabled");
    if (c.supports(en) && value(c, en) == 0)
        return;
    int pos = PROP(TINDREL_CHCLASS_ENCODER, "Position");
    double rate = c.info->behaviour.set ? waveValue(c, cls.props[static_cast<size_t>(pos)], 0, t) : 0;
    s.pending += rate * dt;
    double whole = std::trunc(s.pending);
    s.pending -= whole;
    double before = value(c, pos);
    double after = before + whole;
    value(c, pos) = after;
    s.delta += static_cast<int>(whole);
    if (std::floor(before / kCountsPerIndex) != std::floor(after / kCountsPerIndex)) {
        s.indexHit = true;
        value(c, PROP(TINDREL_CHCLASS_ENCODER, "IndexPosition")) =
            std::floor(std::max(before, after) / kCountsPerIndex) * kCountsPerIndex;
    }
    double trigger = value(c, PROP(TINDREL_CHCLASS_ENCODER, "PositionChangeTrigger"));
    if (s.delta == 0 || std::abs(s.delta) < trigger)
        return;
    EventArgs a;
    a.i[0] = s.delta;
    a.d[0] = (t - s.lastEvent) * 1000.0;
    a.i[1] = s.indexHit ? 1 : 0;
    extra.emplace_back(EVENT(TINDREL_CHCLASS_ENCODER, "PositionChange"), std::move(a));
    s.delta = 0;
    s.indexHit = false;
    s.lastEvent = t;
}

struct CounterState : ClassState {
    double pending = 0;
};
void frequencyCounterPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {55}))
        markUnsupported(ci, {"InputMode", "PowerSupply"});
}
std::unique_ptr<ClassState> counterState(const Channel &) { return std::make_unique<CounterState>(); }
// The rig's waveform gives the input frequency in hertz.
void frequencyCounterStep(Channel &c, double dt, double, Raised &extra)
{
    auto &s = static_cast<CounterState &>(*c.state);
    int freq = PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "Frequency");
    if (value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "Enabled")) == 0)
        value(c, freq) = 0;
    s.pending += value(c, freq) * dt;
    double whole = std::trunc(s.pending);
    s.pending -= whole;
    value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "Count")) += whole;
    value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "TimeElapsed")) += dt * 1000.0;
    EventArgs a;
    a.u64 = static_cast<uint64_t>(whole);
    a.d[0] = dt * 1000.0;
    extra.emplace_back(EVENT(TINDREL_CHCLASS_FREQUENCYCOUNTER, "CountChange"), std::move(a));
}

struct TouchState : ClassState {
    double last = -1;
};
std::unique_ptr<ClassState> touchState(const Channel &) { return std::make_unique<TouchState>(); }
// Touched while the value passes a threshold that falls as sensitivity rises.
void touchStep(Channel &c, double, double t, Raised &extra)
{
    auto &s = static_cast<TouchState &>(*c.state);
    const ClassDesc &cls = *c.info->cls;
    int tvp = PROP(TINDREL_CHCLASS_CAPACITIVETOUCH, "TouchValue");
    size_t ts = slotOf(c, tvp);
    if (c.info->behaviour.set && !c.overridden[ts])
        c.values[ts] = waveValue(c, cls.props[static_cast<size_t>(tvp)], 0, t);
    double tv = c.values[ts];
    double threshold = 1.0 - value(c, PROP(TINDREL_CHCLASS_CAPACITIVETOUCH, "Sensitivity"));
    int touched = PROP(TINDREL_CHCLASS_CAPACITIVETOUCH, "IsTouched");
    bool now = tv >= threshold, was = value(c, touched) != 0;
    value(c, touched) = now;
    if (now) {
        double trig = value(c, PROP(TINDREL_CHCLASS_CAPACITIVETOUCH, "TouchValueChangeTrigger"));
        if (!was || std::fabs(tv - s.last) >= trig) {
            EventArgs a;
            a.d[0] = tv;
            extra.emplace_back(EVENT(TINDREL_CHCLASS_CAPACITIVETOUCH, "Touch"), std::move(a));
            s.last = tv;
        }
    } else if (was) {
        extra.push_back({EVENT(TINDREL_CHCLASS_CAPACITIVETOUCH, "TouchEnd"), EventArgs()});
    }
}

// ---------------------------------------------------------------- motors
void dcMotorPrepare(ChannelInfo &ci)
{
    if (deviceIn(ci, {37, 41}))
        markUnsupported(ci, {"BackEMF", "BackEMFSensingState", "TargetBrakingStrength", "BrakingStrength"});
    if (!deviceIn(ci, {57, 110}))
        markUnsupported(ci, {"CurrentLimit"});
    if (!deviceIn(ci, {57}))
        markUnsupported(ci, {"CurrentRegulatorGain", "FanMode"});
}

// Velocity follows the target at the set acceleration; at rest the brake
// holds with the target braking strength.
struct MotorProps {
    int velocity, target, acceleration, braking, targetBraking;
};
MotorProps motorProps(Tindrel_ChannelClass k)
{
    const ClassDesc *cd = classByNumber(k);
    return {cd->prop("Velocity"), cd->prop("TargetVelocity"), cd->prop("Acceleration"), cd->prop("BrakingStrength"),
            cd->prop("TargetBrakingStrength")};
}
void brushMotorStep(Channel &c, double dt, const MotorProps &m)
{
    double v = approach(value(c, m.velocity), value(c, m.target), value(c, m.acceleration) * dt);
    value(c, m.velocity) = v;
    if (c.supports(m.braking))
        value(c, m.braking) = std::fabs(v) < 1e-9 ? value(c, m.targetBraking) : 0.0;
}

void dcMotorStep(Channel &c, double dt, double, Raised &)
{
    static const MotorProps m = motorProps(TINDREL_CHCLASS_DCMOTOR);
    brushMotorStep(c, dt, m);
    int emf = PROP(TINDREL_CHCLASS_DCMOTOR, "BackEMF");
    if (c.supports(emf))
        value(c, emf) = value(c, PROP(TINDREL_CHCLASS_DCMOTOR, "BackEMFSensingState")) != 0
                            ? value(c, PROP(TINDREL_CHCLASS_DCMOTOR, "Velocity")) * 11.5
                            : 0.0;
}

// Rescaled motors keep their raw position and base limits; the rescale
// factor converts them to the user's units.
struct RescaleState : ClassState {
    double raw = 0, offset = 0, factor = 1, velocity = 0;
    bool reached = true;
};
std::unique_ptr<ClassState> rescaleState(const Channel &) { return std::make_unique<RescaleState>(); }

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

void bldcAfterSet(Channel &c, int p)
{
    if (p != PROP(TINDREL_CHCLASS_BLDCMOTOR, "RescaleFactor"))
        return;
    auto &s = static_cast<RescaleState &>(*c.state);
    double f = value(c, p);
    rescale(c, {PROP(TINDREL_CHCLASS_BLDCMOTOR, "StallVelocity")}, f / s.factor);
    s.offset *= f / s.factor;
    s.factor = f;
    value(c, PROP(TINDREL_CHCLASS_BLDCMOTOR, "Position")) = s.raw * s.factor + s.offset;
}

void bldcStep(Channel &c, double dt, double, Raised &)
{
    static const MotorProps m = motorProps(TINDREL_CHCLASS_BLDCMOTOR);
    brushMotorStep(c, dt, m);
    auto &s = static_cast<RescaleState &>(*c.state);
    s.raw += value(c, PROP(TINDREL_CHCLASS_BLDCMOTOR, "Velocity")) * 2000.0 * dt;   // commutations at full speed
    value(c, PROP(TINDREL_CHCLASS_BLDCMOTOR, "Position")) = s.raw * s.factor + s.offset;
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

void mpcAfterSet(Channel &c, int p)
{
    auto &s = static_cast<RescaleState &>(*c.state);
    using K = std::integral_constant<Tindrel_ChannelClass, TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER>;
    if (p != PROP(K::value, "RescaleFactor"))
        return;
    double f = value(c, p);
    rescale(c,
            {PROP(K::value, "Position"), PROP(K::value, "TargetPosition"), PROP(K::value, "VelocityLimit"),
             PROP(K::value, "Acceleration"), PROP(K::value, "StallVelocity")},
            f / s.factor);
    s.factor = f;
}

void mpcStep(Channel &c, double dt, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER;
    auto &s = static_cast<RescaleState &>(*c.state);
    bool engaged = value(c, PROP(K, "Engaged")) != 0;
    static const TrackProps tp = trackProps(K);
    trackTarget(c, tp, dt, engaged, s.velocity, s.reached, extra, -1);
    double limit = std::fabs(value(c, PROP(K, "VelocityLimit")));
    value(c, PROP(K, "DutyCycle")) = limit > 0 ? std::clamp(s.velocity / limit, -1.0, 1.0) : 0.0;
}

void mvcAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
    auto &s = static_cast<RescaleState &>(*c.state);
    if (p != PROP(K, "RescaleFactor"))
        return;
    double f = value(c, p);
    rescale(c, {PROP(K, "Velocity"), PROP(K, "TargetVelocity"), PROP(K, "Acceleration")}, f / s.factor);
    s.factor = f;
}

void mvcStep(Channel &c, double dt, double, Raised &)
{
    constexpr auto K = TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER;
    int vel = PROP(K, "Velocity");
    double target = value(c, PROP(K, "Engaged")) != 0 ? value(c, PROP(K, "TargetVelocity")) : 0.0;
    double v = approach(value(c, vel), target, std::fabs(value(c, PROP(K, "Acceleration"))) * dt);
    value(c, vel) = v;
    double top = c.maxs[slotOf(c, vel)];
    value(c, PROP(K, "DutyCycle")) = top > 0 ? std::clamp(v / top, -1.0, 1.0) : 0.0;
}

// Stepper, with the failsafe timer.
struct StepperState : RescaleState {
    bool failsafeOn = false, failed = false;
    double failsafeDeadline = 0;
};
std::unique_ptr<ClassState> stepperState(const Channel &) { return std::make_unique<StepperState>(); }

TindrelReturnCode stepperBeforeSet(Channel &c, int p, double v)
{
    auto &s = static_cast<StepperState &>(*c.state);
    if (s.failed)
        return fail(TINDREL_EINVALIDSTATE, "The stepper is in its failsafe state; close and open the channel again");
    return rescaleBeforeSet<TINDREL_CHCLASS_STEPPER>(c, p, v);
}

void stepperAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_STEPPER;
    auto &s = static_cast<StepperState &>(*c.state);
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
    auto &s = static_cast<StepperState &>(*c.state);
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
struct ServoState : ClassState {
    double velocity = 0;
    bool reached = true;
};
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
    auto &s = static_cast<ServoState &>(*c.state);
    int pos = PROP(K, "Position");
    if (p == PROP(K, "Engaged") && value(c, p) != 0 && value(c, pos) == TINDREL_UNKNOWN_VALUE)
        value(c, pos) = value(c, PROP(K, "TargetPosition"));
    if (p == PROP(K, "TargetPosition"))
        s.reached = false;
}

void servoStep(Channel &c, double dt, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_RCSERVO;
    auto &s = static_cast<ServoState &>(*c.state);
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

// ---------------------------------------------------------------- displays and more
constexpr int kSubclassTextLCD = 81;
struct ScreenSize {
    int rows, cols;
};
const ScreenSize kScreenSizes[] = {{0, 0},  {0, 0},  {1, 8},  {2, 8},  {1, 16}, {2, 16}, {4, 16},
                                   {2, 20}, {4, 20}, {2, 24}, {1, 40}, {2, 40}, {4, 40}};

void lcdPrepare(ChannelInfo &ci)
{
    if (ci.subclass != kSubclassTextLCD) {
        markUnsupported(ci, {"ScreenSize", "CursorOn", "CursorBlink"});
        ci.initial[ci.cls->prop("Width")] = 128;
        ci.initial[ci.cls->prop("Height")] = 64;
    } else {
        markUnsupported(ci, {"FrameBuffer", "Sleeping"});
    }
}

void lcdAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_LCD;
    if (p != PROP(K, "ScreenSize"))
        return;
    const ScreenSize &sz = kScreenSizes[static_cast<int>(value(c, p))];
    value(c, PROP(K, "Width")) = sz.cols;
    value(c, PROP(K, "Height")) = sz.rows;
}

constexpr int kSPIAdapter = 160, kI2CAdapter = 134;
void dataAdapterPrepare(ChannelInfo &ci)
{
    if (deviceIn(ci, {kI2CAdapter}))
        markUnsupported(ci, {"SPIMode", "SPIChipSelect", "Endianness"});
}
TindrelReturnCode dataAdapterBeforeSet(Channel &c, int p, double v)
{
    if (p == PROP(TINDREL_CHCLASS_DATAADAPTER, "DataAdapterVoltage") && !codeIn(v, {1, 3, 4, 5}))
        return refuseCode(c, p, v);
    return TINDREL_OK;
}

const ClassHooks kDigitalOutputHooks{digitalOutputPrepare, digitalOutputBeforeSet, digitalOutputAfterSet};
const ClassHooks kDigitalInputHooks{digitalInputPrepare};
const ClassHooks kVoltageInputHooks{
    voltageInputPrepare, voltageInputBeforeSet, voltageInputAfterSet, voltageInputStep, nullptr, voltageInputUnit};
const ClassHooks kVoltageRatioHooks{voltageRatioPrepare, voltageRatioBeforeSet, nullptr, voltageRatioStep, nullptr,
                                    voltageRatioUnit};
const ClassHooks kTemperatureHooks{temperaturePrepare};
const ClassHooks kSoundHooks{nullptr, nullptr, soundAfterSet, soundStep};
const ClassHooks kDistanceHooks{distancePrepare, nullptr, nullptr, distanceStep};
const ClassHooks kPowerSupply55Hooks{powerSupply55Prepare};
const ClassHooks kEncoderHooks{encoderPrepare, nullptr, nullptr, encoderStep, encoderState};
const ClassHooks kFrequencyCounterHooks{frequencyCounterPrepare, nullptr, nullptr, frequencyCounterStep, counterState};
const ClassHooks kTouchHooks{nullptr, nullptr, nullptr, touchStep, touchState};
const ClassHooks kDCMotorHooks{dcMotorPrepare, nullptr, nullptr, dcMotorStep};
const ClassHooks kBLDCHooks{nullptr, rescaleBeforeSet<TINDREL_CHCLASS_BLDCMOTOR>, bldcAfterSet, bldcStep, rescaleState};
const ClassHooks kMPCHooks{nullptr, rescaleBeforeSet<TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER>, mpcAfterSet, mpcStep,
                           rescaleState};
const ClassHooks kMVCHooks{nullptr, rescaleBeforeSet<TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER>, mvcAfterSet, mvcStep,
                           rescaleState};
const ClassHooks kStepperHooks{nullptr, stepperBeforeSet, stepperAfterSet, stepperStep, stepperState};
const ClassHooks kServoHooks{nullptr, servoBeforeSet, servoAfterSet, servoStep, servoState};
const ClassHooks kVoltageOutputHooks{nullptr, nullptr, voltageOutputAfterSet};
const ClassHooks kLCDHooks{lcdPrepare, nullptr, lcdAfterSet};
const ClassHooks kDataAdapterHooks{dataAdapterPrepare, dataAdapterBeforeSet};

struct HookRow {
    Tindrel_ChannelClass cls;
    const ClassHooks *hooks;
};
const HookRow kHooks[] = {
    {TINDREL_CHCLASS_DIGITALOUTPUT, &kDigitalOutputHooks},
    {TINDREL_CHCLASS_DIGITALINPUT, &kDigitalInputHooks},
    {TINDREL_CHCLASS_VOLTAGEINPUT, &kVoltageInputHooks},
    {TINDREL_CHCLASS_VOLTAGERATIOINPUT, &kVoltageRatioHooks},
    {TINDREL_CHCLASS_TEMPERATURESENSOR, &kTemperatureHooks},
    {TINDREL_CHCLASS_SOUNDSENSOR, &kSoundHooks},
    {TINDREL_CHCLASS_DISTANCESENSOR, &kDistanceHooks},
    {TINDREL_CHCLASS_CURRENTINPUT, &kPowerSupply55Hooks},
    {TINDREL_CHCLASS_ENCODER, &kEncoderHooks},
    {TINDREL_CHCLASS_FREQUENCYCOUNTER, &kFrequencyCounterHooks},
    {TINDREL_CHCLASS_CAPACITIVETOUCH, &kTouchHooks},
    {TINDREL_CHCLASS_DCMOTOR, &kDCMotorHooks},
    {TINDREL_CHCLASS_BLDCMOTOR, &kBLDCHooks},
    {TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER, &kMPCHooks},
    {TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER, &kMVCHooks},
    {TINDREL_CHCLASS_STEPPER, &kStepperHooks},
    {TINDREL_CHCLASS_RCSERVO, &kServoHooks},
    {TINDREL_CHCLASS_VOLTAGEOUTPUT, &kVoltageOutputHooks},
    {TINDREL_CHCLASS_LCD, &kLCDHooks},
    {TINDREL_CHCLASS_DATAADAPTER, &kDataAdapterHooks},
};

}   // namespace

namespace tsim {

const ClassHooks *hooksFor(Tindrel_ChannelClass cls)
{
    for (const auto &r : kHooks)
        if (r.cls == cls)
            return r.hooks;
    return methodHooksFor(cls);
}

// Stepper failsafe and the other calls that reach into class state.
TindrelReturnCode stepperFailsafe(Channel &c, bool enable, uint32_t ms)
{
    auto &s = static_cast<StepperState &>(*c.state);
    if (s.failed)
        return fail(TINDREL_EINVALIDSTATE, "The stepper is in its failsafe state; close and open the channel again");
    double t = sessionTime(c);
    if (enable) {
        int p = c.info->cls->prop("FailsafeTime");
        if (ms < c.mins[slotOf(c, p)] || ms > c.maxs[slotOf(c, p)])
            return fail(TINDREL_EINVALIDARG, "Value %u is out of range for FailsafeTime (%g - %g)", ms,
                        c.mins[slotOf(c, p)], c.maxs[slotOf(c, p)]);
        value(c, p) = ms;
        s.failsafeOn = true;
    } else if (!s.failsafeOn) {
        return fail(TINDREL_EINVALIDSTATE, "The failsafe is not enabled (call enableFailsafe first)");
    }
    s.failsafeDeadline = t + value(c, c.info->cls->prop("FailsafeTime")) / 1000.0;
    return TINDREL_OK;
}

TindrelReturnCode addPositionOffset(Channel &c, double offset)
{
    switch (c.info->cls->cls) {
    case TINDREL_CHCLASS_BLDCMOTOR: {
        auto &s = static_cast<RescaleState &>(*c.state);
        s.offset += offset;
        value(c, c.info->cls->prop("Position")) += offset;
        return TINDREL_OK;
    }
    case TINDREL_CHCLASS_STEPPER:
        if (static_cast<StepperState &>(*c.state).failed)
            return fail(TINDREL_EINVALIDSTATE,
                        "The stepper is in its failsafe state; close and open the channel again");
        [[fallthrough]];
    case TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER:
        value(c, c.info->cls->prop("Position")) += offset;
        value(c, c.info->cls->prop("TargetPosition")) += offset;
        return TINDREL_OK;
    default:
        return fail(TINDREL_EUNSUPPORTED, "%s has no position offset", c.info->cls->name);
    }
}

void sensorUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    if (c.info->cls->hooks && c.info->cls->hooks->unit)
        c.info->cls->hooks->unit(c, u);
}

}   // namespace tsim
