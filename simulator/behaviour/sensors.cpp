// Voltage and ratio inputs, single-value sensors and counting inputs.
#include "common.h"
#include "motor_shaft.h"

#include <optional>
#include <random>

namespace tsim::behaviour {

namespace {

// ---------------------------------------------------------------- inputs
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

// ---------------------------------------------------------------- attached sensors
// The sensors of tindrel22_sensors.def and how each converts its input.
enum class Law { LINEAR, LOG, INVERSE, THRESHOLD };
struct Sensor {
    int code;
    Law law;
    double a, b, lo, hi;
    Tindrel_Unit unit;
};
const Sensor kVoltageSensors[] = {
#define TINDREL_VOLTAGE_SENSOR(code, name, law, a, b, lo, hi, unit) {code, Law::law, a, b, lo, hi, TINDREL_UNIT_##unit},
#define TINDREL_RATIO_SENSOR(code, name, law, a, b, lo, hi, unit)
#include <tindrel22_sensors.def>
#undef TINDREL_VOLTAGE_SENSOR
#undef TINDREL_RATIO_SENSOR
};
const Sensor kRatioSensors[] = {
#define TINDREL_VOLTAGE_SENSOR(code, name, law, a, b, lo, hi, unit)
#define TINDREL_RATIO_SENSOR(code, name, law, a, b, lo, hi, unit) {code, Law::law, a, b, lo, hi, TINDREL_UNIT_##unit},
#include <tindrel22_sensors.def>
#undef TINDREL_VOLTAGE_SENSOR
#undef TINDREL_RATIO_SENSOR
};

template <size_t N>
const Sensor *findSensor(const Sensor (&list)[N], double code)
{
    for (const Sensor &s : list)
        if (s.code == static_cast<int>(code))
            return &s;
    return nullptr;
}

}   // namespace

double convertSensorInput(const SensorLaw &law, double x)
{
    if (!(x >= law.lo && x <= law.hi))
        return TINDREL_UNKNOWN_VALUE;
    double v = TINDREL_UNKNOWN_VALUE;
    switch (law.kind) {
    case 0:
        v = law.a * x + law.b;
        break;
    case 1:
        v = x > 0 ? law.a * std::log(x) + law.b : TINDREL_UNKNOWN_VALUE;
        break;
    case 2:
        v = x + law.b != 0 ? law.a / (x + law.b) : TINDREL_UNKNOWN_VALUE;
        break;
    case 3:
        v = x < law.a ? 1.0 : 0.0;
        break;
    }
    return std::isfinite(v) ? v : TINDREL_UNKNOWN_VALUE;
}

Tindrel_UnitInfo unitRecord(Tindrel_Unit unit)
{
    switch (unit) {
    case TINDREL_UNIT_BOOLEAN:
        return {unit, "boolean", ""};
    case TINDREL_UNIT_PERCENT:
        return {unit, "percent", "%"};
    case TINDREL_UNIT_DECIBEL:
        return {unit, "decibel", "dB"};
    case TINDREL_UNIT_MILLIMETER:
        return {unit, "millimetre", "mm"};
    case TINDREL_UNIT_CENTIMETER:
        return {unit, "centimetre", "cm"};
    case TINDREL_UNIT_METER:
        return {unit, "metre", "m"};
    case TINDREL_UNIT_KILOGRAM:
        return {unit, "kilogram", "kg"};
    case TINDREL_UNIT_MILLIAMPERE:
        return {unit, "milliampere", "mA"};
    case TINDREL_UNIT_AMPERE:
        return {unit, "ampere", "A"};
    case TINDREL_UNIT_KILOPASCAL:
        return {unit, "kilopascal", "kPa"};
    case TINDREL_UNIT_VOLT:
        return {unit, "volt", "V"};
    case TINDREL_UNIT_DEGREE_CELSIUS:
        return {unit, "degree Celsius", "\u00b0C"};
    case TINDREL_UNIT_LUX:
        return {unit, "lux", "lx"};
    case TINDREL_UNIT_DEGREE:
        return {unit, "degree", "\u00b0"};
    case TINDREL_UNIT_NEWTON:
        return {unit, "newton", "N"};
    case TINDREL_UNIT_GAUSS:
        return {unit, "gauss", "G"};
    case TINDREL_UNIT_PH:
        return {unit, "pH", "pH"};
    case TINDREL_UNIT_WATT:
        return {unit, "watt", "W"};
    case TINDREL_UNIT_NONE:
        break;
    }
    return {TINDREL_UNIT_NONE, "none", ""};
}

namespace {

SensorLaw lawOf(const Sensor &s) { return {static_cast<int>(s.law), s.a, s.b, s.lo, s.hi}; }

// A sensor type outside the class's list is refused.
template <size_t N>
TindrelReturnCode checkSensorType(const Sensor (&list)[N], double code, const char *listName)
{
    if (code == 0 || findSensor(list, code))
        return TINDREL_OK;
    return fail(TINDREL_EINVALIDARG, "Sensor type %d is not in the %s sensor list", static_cast<int>(code), listName);
}

TindrelReturnCode voltageInputBeforeSet(Channel &c, int p, double v)
{
    if (p == PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorType"))
        return checkSensorType(kVoltageSensors, v, "voltage");
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

// With a sensor type set, the voltage is converted by that sensor's law and
// reported with its unit; type 0 is the plain voltage.
void voltageInputUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    const Sensor *s =
        findSensor(kVoltageSensors, c.values[slotOf(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorType"))]);
    u = unitRecord(s ? s->unit : TINDREL_UNIT_VOLT);
}

void voltageInputStep(Channel &c, double, double, Raised &)
{
    const Sensor *s = findSensor(kVoltageSensors, value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorType")));
    double v = value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "Voltage"));
    value(c, PROP(TINDREL_CHCLASS_VOLTAGEINPUT, "SensorValue")) =
        s ? convertSensorInput(lawOf(*s), v) : TINDREL_UNKNOWN_VALUE;
}

// Bridge inputs (subclass 65): the gain code n amplifies by 2^(n-1), so the
// full scale is 1/2^(n-1) V/V (a larger ratio saturates) and the noise
// floor, referred to the input, falls with the gain. A disabled bridge is
// not excited and reads nothing.
constexpr int kSubclassBridge = 65;
double bridgeFullScale(double gainCode) { return 1.0 / std::ldexp(1.0, static_cast<int>(gainCode) - 1); }

void voltageRatioPrepare(ChannelInfo &ci)
{
    if (ci.subclass != kSubclassBridge) {
        markUnsupported(ci, {"BridgeGain", "BridgeEnabled"});
        return;
    }
    // The range of the gain a session starts with, unless the rig gives one.
    const int gain = ci.cls->prop("BridgeGain");
    const double fs = bridgeFullScale(ci.initial.count(gain) ? ci.initial[gain] : 8);
    if (const int p = ci.cls->prop("VoltageRatio"); !ci.ranges.count(p))
        ci.ranges[p] = {-fs, fs};
    if (const int p = ci.cls->prop("VoltageRatioChangeTrigger"); !ci.ranges.count(p))
        ci.ranges[p] = {0.0, fs};
}
TindrelReturnCode voltageRatioBeforeSet(Channel &c, int p, double v)
{
    if (p == PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "SensorType"))
        return checkSensorType(kRatioSensors, v, "ratiometric");
    // Device 24 offers 1x, 8x, 16x, 32x, 64x and 128x.
    if (p == PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "BridgeGain") && c.info->device->deviceId == 24 &&
        !codeIn(v, {1, 4, 5, 6, 7, 8}))
        return refuseCode(c, p, v);
    return TINDREL_OK;
}
void voltageRatioAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_VOLTAGERATIOINPUT;
    if (p != PROP(K, "BridgeGain"))
        return;
    const double fs = bridgeFullScale(value(c, p));
    setLimits(c, PROP(K, "VoltageRatio"), -fs, fs);
    setLimits(c, PROP(K, "VoltageRatioChangeTrigger"), 0, fs);
    int trig = PROP(K, "VoltageRatioChangeTrigger");
    value(c, trig) = std::min(value(c, trig), fs);
}
void voltageRatioUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    const Sensor *s =
        findSensor(kRatioSensors, c.values[slotOf(c, PROP(TINDREL_CHCLASS_VOLTAGERATIOINPUT, "SensorType"))]);
    u = s ? unitRecord(s->unit) : Tindrel_UnitInfo{TINDREL_UNIT_NONE, "volt per volt", "V/V"};
}
// A ratio input on a motor board is the motor's feedback potentiometer: a
// ten-turn pot, centred while the shaft is at its start, that reads the
// shaft's turns between its end stops.
constexpr double kFeedbackPotTurns = 10;
double feedbackPotRatio(double shaftCounts)
{
    return std::clamp(0.5 + shaftCounts / (kFeedbackPotTurns * kEncoderCountsPerRevolution), 0.0, 1.0);
}

void voltageRatioStep(Channel &c, double, double, Raised &)
{
    constexpr auto K = TINDREL_CHCLASS_VOLTAGERATIOINPUT;
    const int ratio = PROP(K, "VoltageRatio");
    if (double counts = 0; !c.overridden[slotOf(c, ratio)] && shaftPosition(*c.info->device, c.info->index, counts))
        value(c, ratio) = feedbackPotRatio(counts);
    if (c.info->subclass == kSubclassBridge && c.supports(PROP(K, "BridgeEnabled"))) {
        if (value(c, PROP(K, "BridgeEnabled")) == 0) {
            value(c, ratio) = TINDREL_UNKNOWN_VALUE;
            value(c, PROP(K, "SensorValue")) = TINDREL_UNKNOWN_VALUE;
            return;
        }
        thread_local std::mt19937 rng{std::random_device{}()};
        thread_local std::normal_distribution<double> gauss{0.0, 1.0};
        const double fs = bridgeFullScale(value(c, PROP(K, "BridgeGain")));
        // Amplifier noise: 2 ppm of full scale plus a fixed 20 nV/V at the input.
        const double r = value(c, ratio) == TINDREL_UNKNOWN_VALUE ? 0.0 : value(c, ratio);
        value(c, ratio) = std::clamp(r + gauss(rng) * (fs * 2e-6 + 2e-8), -fs, fs);
    }
    const Sensor *s = findSensor(kRatioSensors, value(c, PROP(K, "SensorType")));
    const double r = value(c, ratio);
    value(c, PROP(K, "SensorValue")) =
        s && r != TINDREL_UNKNOWN_VALUE ? convertSensorInput(lawOf(*s), r) : TINDREL_UNKNOWN_VALUE;
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

struct SoundState : ClassState {
    double tilt = 0;   // slow change of the spectrum's balance, dB per octave
};
std::unique_ptr<ClassState> soundState(const Channel &) { return std::make_unique<SoundState>(); }

// The rig's waveform gives the overall (unweighted) level; the ten bands are
// a room spectrum with that total energy, and the weighted levels follow
// from the bands.
void soundStep(Channel &c, double, double t, Raised &)
{
    auto &s = stateOf<SoundState>(c);
    const int dbp = PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dB");
    const double top = c.maxs[slotOf(c, dbp)];
    s.tilt = -1.5 + 1.0 * std::sin(2 * M_PI * t / 23.0);
    std::array<double, kSoundBands> shape{};
    for (size_t i = 0; i < kSoundBands; ++i) {   // a hum low down, most energy around 500 Hz to 2 kHz
        const double octave = static_cast<double>(i);
        shape[i] = s.tilt * (octave - 4) - 2.0 * std::pow((octave - 4.5) / 2.0, 2) + (i == 1 ? 4.0 : 0.0);
    }
    SoundLevels lv = soundLevels(value(c, dbp), shape, top);
    value(c, dbp) = lv.dB;
    value(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dBA")) = lv.dBA;
    value(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "dBC")) = lv.dBC;
    size_t oct = slotOf(c, PROP(TINDREL_CHCLASS_SOUNDSENSOR, "Octaves"));
    for (size_t i = 0; i < kSoundBands; ++i)
        c.values[oct + i] = lv.bands[i];
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
    // On a motor board: the motor shaft's position last seen, and whether
    // the shaft was still at rest (not yet simulated) when the channel opened.
    std::optional<double> lastShaft;
    bool openedBeforeShaft = false;
};
constexpr double kCountsPerIndex = kEncoderCountsPerRevolution;
// Kept across sessions: the shaft turns whether or not a window is open.
struct ShaftState : ClassState {
    bool driven = false;
    double countsPerSecond = 0;
};

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
    auto &s = stateOf<EncoderState>(c);
    const ClassDesc &cls = *c.info->cls;
    int en = PROP(TINDREL_CHCLASS_ENCODER, "Enabled");
    if (c.supports(en) && value(c, en) == 0)
        return;
    int pos = PROP(TINDREL_CHCLASS_ENCODER, "Position");
    if (double counts = 0; shaftPosition(*c.info->device, c.info->index, counts)) {
        // An encoder on a motor board counts what the motor's shaft turned.
        if (!s.lastShaft)
            s.lastShaft = s.openedBeforeShaft ? 0.0 : counts;
        s.pending += counts - *s.lastShaft;
        s.lastShaft = counts;
    } else {
        s.openedBeforeShaft = true;
        double rate = c.info->behaviour.set ? waveValue(c, cls.props[static_cast<size_t>(pos)], 0, t) : 0;
        if (auto *shaft = dynamic_cast<ShaftState *>(c.kept.get()); shaft && shaft->driven)
            rate = shaft->countsPerSecond;
        s.pending += rate * dt;
    }
    double whole = std::trunc(s.pending);
    s.pending -= whole;
    double before = value(c, pos);
    double after = before + whole;
    value(c, pos) = after;
    s.delta += static_cast<int>(whole);
    // The index pulse comes once per revolution, at whole multiples of the
    // counts per revolution.
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
// The rig's waveform gives the input frequency in hertz. Device 55's
// isolated inputs see logic levels; every other counter's input is a small
// AC signal (1 V peak around 0 V) that a logic-level filter never sees
// rise above its threshold, so only the zero-crossing filter counts it.
// Frequencies below the cutoff read as 0 while their counts still add up.
constexpr double kLogicThresholdVolts = 2.5, kACPeakVolts = 1.0;
void frequencyCounterStep(Channel &c, double dt, double, Raised &extra)
{
    auto &s = stateOf<CounterState>(c);
    int freq = PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "Frequency");
    double input = value(c, freq);
    if (value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "Enabled")) == 0)
        input = 0;
    const bool logicFilter = value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "FilterType")) == 2;
    const double peak = deviceIn(*c.info, {55}) ? 24.0 : kACPeakVolts;
    if (logicFilter && peak < kLogicThresholdVolts)
        input = 0;
    s.pending += input * dt;
    double whole = std::trunc(s.pending);
    s.pending -= whole;
    value(c, freq) = input < value(c, PROP(TINDREL_CHCLASS_FREQUENCYCOUNTER, "FrequencyCutoff")) ? 0 : input;
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
// Only the keypad and slider boards let the sensitivity be set.
void touchPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {61, 62}))
        markUnsupported(ci, {"Sensitivity"});
}
// Touched while the value passes a threshold that falls as sensitivity rises.
void touchStep(Channel &c, double, double t, Raised &extra)
{
    auto &s = stateOf<TouchState>(c);
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

}   // namespace

// A-weighting and C-weighting at the ten octave band centres, 31.5 Hz to 16 kHz.
const std::array<double, kSoundBands> kAWeight = {-39.4, -26.2, -16.1, -8.6, -3.2, 0.0, 1.2, 1.0, -1.1, -6.6};
const std::array<double, kSoundBands> kCWeight = {-3.0, -0.8, -0.2, 0.0, 0.0, 0.0, -0.2, -0.8, -3.0, -8.5};

double energySum(const std::array<double, kSoundBands> &levels, const std::array<double, kSoundBands> &weight)
{
    double energy = 0;
    for (size_t i = 0; i < kSoundBands; ++i)
        energy += std::pow(10.0, (levels[i] + weight[i]) / 10.0);
    return 10.0 * std::log10(energy);
}

void driveShaft(Channel &encoder, double countsPerSecond)
{
    if (!dynamic_cast<ShaftState *>(encoder.kept.get()))
        encoder.kept = std::make_shared<ShaftState>();
    auto &shaft = static_cast<ShaftState &>(*encoder.kept);
    shaft.driven = true;
    shaft.countsPerSecond = countsPerSecond;
}

SoundLevels soundLevels(double total, const std::array<double, kSoundBands> &shape, double top)
{
    const std::array<double, kSoundBands> flat{};
    // Scale the shape so that the bands' energies add up to the total.
    const double offset = total - energySum(shape, flat);
    SoundLevels out;
    for (size_t i = 0; i < kSoundBands; ++i)
        out.bands[i] = std::clamp(shape[i] + offset, 0.0, top);
    out.dB = std::clamp(energySum(out.bands, flat), 0.0, top);
    out.dBA = std::clamp(energySum(out.bands, kAWeight), 0.0, top);
    out.dBC = std::clamp(energySum(out.bands, kCWeight), 0.0, top);
    return out;
}

const ClassHooks kVoltageInputHooks{
    voltageInputPrepare, voltageInputBeforeSet, voltageInputAfterSet, voltageInputStep, nullptr, voltageInputUnit};
const ClassHooks kVoltageRatioHooks{
    voltageRatioPrepare, voltageRatioBeforeSet, voltageRatioAfterSet, voltageRatioStep, nullptr, voltageRatioUnit};
const ClassHooks kTemperatureHooks{temperaturePrepare};
const ClassHooks kSoundHooks{nullptr, nullptr, soundAfterSet, soundStep, soundState};
const ClassHooks kDistanceHooks{distancePrepare, nullptr, nullptr, distanceStep};
const ClassHooks kPowerSupply55Hooks{powerSupply55Prepare};
const ClassHooks kEncoderHooks{encoderPrepare, nullptr, nullptr, encoderStep, encoderState};
const ClassHooks kFrequencyCounterHooks{frequencyCounterPrepare, nullptr, nullptr, frequencyCounterStep, counterState};
const ClassHooks kTouchHooks{touchPrepare, nullptr, nullptr, touchStep, touchState};

}   // namespace tsim::behaviour
