// Helpers shared by the per-family behaviour files of the simulated
// devices (what the class table cannot say). Each family file defines the
// hooks of its classes; registry.cpp holds the one table of them.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "../sim_internal.h"

namespace tsim::behaviour {

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

inline size_t slotOf(const Channel &c, int p)
{
    return static_cast<size_t>(c.info->cls->props[static_cast<size_t>(p)].slot);
}
inline void setLimits(Channel &c, int p, double lo, double hi)
{
    c.mins[slotOf(c, p)] = lo;
    c.maxs[slotOf(c, p)] = hi;
}
inline void markUnsupported(ChannelInfo &ci, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (int p = ci.cls->prop(n); p >= 0)
            ci.unsupported.insert(p);
}
inline bool deviceIn(const ChannelInfo &ci, std::initializer_list<int> ids)
{
    return std::find(ids.begin(), ids.end(), ci.device->deviceId) != ids.end();
}
// Moves v toward target by at most step.
inline double approach(double v, double target, double step)
{
    if (std::fabs(target - v) <= step)
        return target;
    return v + (target > v ? step : -step);
}
inline TindrelReturnCode refuseCode(const Channel &c, int p, double v)
{
    return fail(TINDREL_EINVALIDARG, "%s %g is not offered by device %d",
                c.info->cls->props[static_cast<size_t>(p)].name, v, c.info->device->deviceId);
}
inline bool codeIn(double v, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), static_cast<int>(v)) != codes.end();
}

// The session state of a class, checked: a channel whose session holds no
// state of that kind (a class registered without its makeState, a state of
// another class) is a simulator fault, reported and stopped at once rather
// than read as the wrong type.
template <class S>
S &stateOf(Channel &c)
{
    if (auto *s = dynamic_cast<S *>(c.state.get()))
        return *s;
    std::fprintf(stderr, "tindrel simulator: channel of class %s has no %s state\n", c.info->cls->name,
                 typeid(S).name());
    std::abort();
}

// An attached sensor's conversion (kind: 0 linear a*x+b, 1 log a*ln(x)+b,
// 2 inverse a/(x+b), 3 threshold x<a); unknown outside lo to hi.
struct SensorLaw {
    int kind;
    double a, b, lo, hi;
};
double convertSensorInput(const SensorLaw &law, double x);
// Name and symbol of a unit code.
Tindrel_UnitInfo unitRecord(Tindrel_Unit unit);

// Sound levels: ten octave bands (31.5 Hz to 16 kHz) shaped by shape
// (relative dB) whose energies add up to total dB, and the unweighted,
// A-weighted and C-weighted levels computed from them, all within 0 to top.
inline constexpr size_t kSoundBands = 10;
struct SoundLevels {
    double dB = 0, dBA = 0, dBC = 0;
    std::array<double, kSoundBands> bands{};
};
SoundLevels soundLevels(double total, const std::array<double, kSoundBands> &shape, double top);

// An encoder's shaft: turned at countsPerSecond from now on (by tindrelsim);
// undriven shafts follow the rig's waveform. An encoder on a motor board
// counts that motor's simulated shaft instead. Engine lock held.
void driveShaft(Channel &encoder, double countsPerSecond);
inline constexpr int kEncoderCountsPerRevolution = 1440;

// The hooks each family file defines.
extern const ClassHooks kDigitalOutputHooks, kDigitalInputHooks, kLCDHooks, kDataAdapterHooks;
extern const ClassHooks kVoltageInputHooks, kVoltageRatioHooks, kTemperatureHooks, kSoundHooks, kDistanceHooks,
    kPowerSupply55Hooks, kEncoderHooks, kFrequencyCounterHooks, kTouchHooks;
extern const ClassHooks kDCMotorHooks, kBLDCHooks, kMPCHooks, kMVCHooks, kStepperHooks, kServoHooks,
    kVoltageOutputHooks;
// Motion sensing
extern const ClassHooks kAccelerometerHooks, kGyroscopeHooks, kMagnetometerHooks, kSpatialHooks;

// Power guards (outputs.cpp): the board's temperature limit, and the
// guarded supply and board temperature driven by tindrelsim (engine lock
// held; the channel must be open).
extern const ClassHooks kPowerGuardHooks;
inline constexpr double guardTemperatureLimit = 85.0;
TindrelReturnCode driveGuardSupply(Channel &guard, double volts, double celsius);

}   // namespace tsim::behaviour
