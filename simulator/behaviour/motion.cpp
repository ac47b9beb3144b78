// Motion sensors: every motion device is one body with an orientation
// (roll about the board's x axis, pitch about its y axis, heading clockwise
// from north), turning slowly on its own until it is set from outside
// (TindrelSim_setOrientation, `tindrelsim orient`). Its accelerometers read
// gravity plus noise, its gyroscopes the rate of turn plus a bias that
// zeroing removes, its magnetometers the earth's field distorted by hard-
// and soft-iron terms that the correction parameters undo.
//
// Sensor axes: y toward the board's front, z out of its face, x toward its
// left side (the board's own marking). Axes beyond a channel's AxisCount
// read unknown.
#include "motion.h"

#include "../engine.h"
#include "common.h"

#include <tindrelsim.h>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>

namespace tsim::behaviour {

namespace {

using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;
using SteadyClock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;
double rad(double d) { return d * kPi / 180.0; }

// The earth's field of a mid-latitude place: 0.49 G, 66 degrees down.
constexpr double kFieldGauss = 0.49;
constexpr double kInclinationDeg = 66.0;
// Hard- and soft-iron distortion of every simulated magnetometer.
constexpr Vec kHardIron{0.031, -0.022, 0.015};
constexpr Mat kSoftIron{{{1.06, 0.025, 0.0}, {0.025, 0.95, 0.012}, {0.0, 0.012, 1.01}}};
// A gyroscope's bias (degrees per second) before it is zeroed.
constexpr Vec kGyroBias{0.42, -0.31, 0.26};
// How fast the body follows a new orientation, and its own slow turn.
constexpr double kSlewDegPerS = 90.0;
constexpr double kOwnTurnDegPerS = 6.0;

Mat mul(const Mat &a, const Mat &b)
{
    Mat c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                c[i][j] += a[i][k] * b[k][j];
    return c;
}
Vec mulT(const Mat &a, const Vec &v)   // a transposed times v
{
    Vec r{};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            r[i] += a[k][i] * v[k];
    return r;
}
Vec mulV(const Mat &a, const Vec &v)
{
    Vec r{};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            r[i] += a[i][k] * v[k];
    return r;
}
Mat aboutZClockwise(double d)
{
    const double c = std::cos(rad(d)), s = std::sin(rad(d));
    return {{{c, s, 0}, {-s, c, 0}, {0, 0, 1}}};
}
Mat aboutX(double d)
{
    const double c = std::cos(rad(d)), s = std::sin(rad(d));
    return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}
Mat aboutY(double d)
{
    const double c = std::cos(rad(d)), s = std::sin(rad(d));
    return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}

struct Orientation {
    double roll = 0, pitch = 0, yaw = 0;
};

struct Correction {
    bool on = false;
    std::array<double, 13> p{};
};

struct Body {
    Orientation now, target;
    double turnRate = kOwnTurnDegPerS;
    Vec rate{};   // body rates, degrees per second, board frame
    SteadyClock::time_point last{};
    bool started = false;
    Correction correction, saved;
};

double wrap360(double d)
{
    d = std::fmod(d, 360.0);
    return d < 0 ? d + 360.0 : d;
}

void advance(Body &b)
{
    const auto now = SteadyClock::now();
    if (!b.started) {
        b.started = true;
        b.last = now;
        return;
    }
    const double dt = std::chrono::duration<double>(now - b.last).count();
    if (dt <= 0)
        return;
    b.last = now;
    b.target.yaw = wrap360(b.target.yaw + b.turnRate * dt);
    const Orientation before = b.now;
    const double step = std::max(kSlewDegPerS, std::fabs(b.turnRate)) * dt;
    b.now.roll = approach(b.now.roll, b.target.roll, step);
    b.now.pitch = approach(b.now.pitch, b.target.pitch, step);
    const double turn = std::clamp(std::remainder(b.target.yaw - b.now.yaw, 360.0), -step, step);
    b.now.yaw = wrap360(b.now.yaw + turn);
    const double rollRate = (b.now.roll - before.roll) / dt;
    const double pitchRate = (b.now.pitch - before.pitch) / dt;
    const double yawRate = turn / dt;
    // Body rates of R = Rz(-yaw) Rx(roll) Ry(pitch).
    const Mat y = aboutY(b.now.pitch), x = aboutX(b.now.roll);
    const Vec fromYaw = mulT(y, mulT(x, {0, 0, -yawRate}));
    const Vec fromRoll = mulT(y, {rollRate, 0, 0});
    for (int i = 0; i < 3; ++i)
        b.rate[static_cast<size_t>(i)] = fromYaw[static_cast<size_t>(i)] + fromRoll[static_cast<size_t>(i)];
    b.rate[1] += pitchRate;
}

// A world vector (x east, y north, z up) as the board's sensors see it.
Vec toSensor(const Orientation &o, const Vec &world)
{
    const Mat r = mul(mul(aboutZClockwise(o.yaw), aboutX(o.roll)), aboutY(o.pitch));
    Vec b = mulT(r, world);
    b[0] = -b[0];
    return b;
}

// The bodies of the motion devices, by rig id. Each entry remembers the
// device record it belongs to, so a rig loaded later with the same id gets
// a new body instead of the old one's orientation and correction.
struct Bodies {
    std::mutex m;
    struct Entry {
        std::weak_ptr<const DeviceInfo> device;
        Body body;
    };
    std::map<std::string, Entry> byDevice;

    // The body of this device record (m held).
    Body &of(const std::shared_ptr<const DeviceInfo> &device)
    {
        Entry &e = byDevice[device->id];
        if (e.device.lock() != device) {
            e.device = device;
            e.body = Body{};
        }
        return e.body;
    }
};
Bodies &bodies()
{
    static Bodies b;
    return b;
}

double gaussNoise(double sigma)
{
    thread_local std::mt19937 rng{std::random_device{}()};
    thread_local std::normal_distribution<double> gauss{0.0, 1.0};
    return sigma > 0 ? sigma * gauss(rng) : 0.0;
}

double noiseOf(const Channel &c, double fallback) { return c.info->behaviour.set ? c.info->behaviour.noise : fallback; }

// The body of a channel's device, advanced to now (bodies().m held).
Body &bodyOf(const Channel &c)
{
    Body &b = bodies().of(c.info->device);
    advance(b);
    return b;
}

int axisCountOf(Channel &c)
{
    const int p = c.info->cls->prop("AxisCount");
    return p < 0 ? 3 : static_cast<int>(value(c, p));
}

// Writes three axis values into a vector property, unknown beyond the axis
// count, leaving axes driven from outside alone.
void writeAxes(Channel &c, int p, const Vec &v, int axes)
{
    const size_t slot = slotOf(c, p);
    for (size_t a = 0; a < 3; ++a)
        if (!c.overridden[slot + a])
            c.values[slot + a] = static_cast<int>(a) < axes ? v[a] : TINDREL_UNKNOWN_VALUE;
}

Vec gravity(const Body &b) { return toSensor(b.now, {0, 0, 1}); }

Vec field(const Body &b)
{
    const double inc = rad(kInclinationDeg);
    const Vec truth = toSensor(b.now, {0, kFieldGauss * std::cos(inc), -kFieldGauss * std::sin(inc)});
    Vec raw = mulV(kSoftIron, truth);
    for (size_t i = 0; i < 3; ++i)
        raw[i] += kHardIron[i];
    if (!b.correction.on)
        return raw;
    const auto &p = b.correction.p;
    const Mat m{{{p[4], p[7], p[8]}, {p[9], p[5], p[10]}, {p[11], p[12], p[6]}}};
    const Vec centred{raw[0] - p[1], raw[1] - p[2], raw[2] - p[3]};
    Vec out = mulV(m, centred);
    for (double &v : out)
        v *= p[0];
    return out;
}

struct GyroState : ClassState {
    Vec zero{};   // subtracted from every reading
};

std::unique_ptr<ClassState> makeGyroState(const Channel &) { return std::make_unique<GyroState>(); }

// A new session of a magnetometer starts from the saved correction; what
// was set but not saved is gone.
struct MagnetometerState : ClassState { };
std::unique_ptr<ClassState> makeMagnetometerState(const Channel &c)
{
    std::lock_guard lock(bodies().m);
    Body &b = bodies().of(c.info->device);
    b.correction = b.saved;
    return std::make_unique<MagnetometerState>();
}

Vec gyroReading(const Body &b)
{
    // The sensor's x axis is mirrored, so the turn about it keeps its sign
    // and the other two change theirs.
    return {b.rate[0] + kGyroBias[0], -b.rate[1] + kGyroBias[1], -b.rate[2] + kGyroBias[2]};
}

void accelerometerStep(Channel &c, double, double, Raised &)
{
    Vec g;
    {
        std::lock_guard lock(bodies().m);
        g = gravity(bodyOf(c));
    }
    const double n = noiseOf(c, 0.002);
    for (double &v : g)
        v += gaussNoise(n);
    writeAxes(c, PROP(TINDREL_CHCLASS_ACCELEROMETER, "Acceleration"), g, axisCountOf(c));
}

void gyroscopeStep(Channel &c, double, double, Raised &)
{
    Vec r;
    {
        std::lock_guard lock(bodies().m);
        r = gyroReading(bodyOf(c));
    }
    const auto &zero = stateOf<GyroState>(c).zero;
    const double n = noiseOf(c, 0.03);
    for (size_t i = 0; i < 3; ++i)
        r[i] += gaussNoise(n) - zero[i];
    writeAxes(c, PROP(TINDREL_CHCLASS_GYROSCOPE, "AngularRate"), r, axisCountOf(c));
}

void magnetometerStep(Channel &c, double, double, Raised &)
{
    Vec m;
    {
        std::lock_guard lock(bodies().m);
        m = field(bodyOf(c));
    }
    const double n = noiseOf(c, 0.0008);
    for (double &v : m)
        v += gaussNoise(n);
    writeAxes(c, PROP(TINDREL_CHCLASS_MAGNETOMETER, "MagneticField"), m, axisCountOf(c));
}

void spatialStep(Channel &c, double, double, Raised &)
{
    Vec g, r, m;
    {
        std::lock_guard lock(bodies().m);
        const Body &b = bodyOf(c);
        g = gravity(b);
        r = gyroReading(b);
        m = field(b);
    }
    const double n = noiseOf(c, 0.002);
    for (size_t i = 0; i < 3; ++i) {
        g[i] += gaussNoise(n);
        r[i] += gaussNoise(n * 15);
        m[i] += gaussNoise(n * 0.4);
    }
    writeAxes(c, PROP(TINDREL_CHCLASS_SPATIAL, "Acceleration"), g, 3);
    writeAxes(c, PROP(TINDREL_CHCLASS_SPATIAL, "AngularRate"), r, 3);
    writeAxes(c, PROP(TINDREL_CHCLASS_SPATIAL, "MagneticField"), m, 3);
}

}   // namespace

void zeroGyroscope(Channel &c)
{
    Vec r;
    {
        std::lock_guard lock(bodies().m);
        r = gyroReading(bodyOf(c));
    }
    stateOf<GyroState>(c).zero = r;
}

void setMagnetometerCorrection(Channel &c, const double parameters[13])
{
    std::lock_guard lock(bodies().m);
    Body &b = bodyOf(c);
    b.correction.on = true;
    std::copy(parameters, parameters + 13, b.correction.p.begin());
}

void resetMagnetometerCorrection(Channel &c)
{
    std::lock_guard lock(bodies().m);
    bodyOf(c).correction = Correction{};
}

void saveMagnetometerCorrection(Channel &c)
{
    std::lock_guard lock(bodies().m);
    Body &b = bodyOf(c);
    b.saved = b.correction;
}

const ClassHooks kAccelerometerHooks{nullptr, nullptr, nullptr, &accelerometerStep, nullptr, nullptr};
const ClassHooks kGyroscopeHooks{nullptr, nullptr, nullptr, &gyroscopeStep, &makeGyroState, nullptr};
const ClassHooks kMagnetometerHooks{nullptr, nullptr, nullptr, &magnetometerStep, &makeMagnetometerState, nullptr};
const ClassHooks kSpatialHooks{nullptr, nullptr, nullptr, &spatialStep, nullptr, nullptr};

}   // namespace tsim::behaviour

using namespace tsim;

namespace {

// Runs use(body) on the body of a device of the loaded rig, advanced to now;
// ENOENT when the rig has no such device.
template <class Use>
TindrelReturnCode withBody(const char *deviceId, Use use)
{
    std::shared_ptr<const DeviceInfo> device;
    {
        Engine &e = engine();
        std::lock_guard lk(e.m);
        e.ensureRig();
        for (const auto &d : e.rig.devices)
            if (d->id == deviceId)
                device = d;
    }
    if (!device)
        return fail(TINDREL_ENOENT, "No device \"%s\" in the rig", deviceId);
    std::lock_guard lock(behaviour::bodies().m);
    behaviour::Body &b = behaviour::bodies().of(device);
    behaviour::advance(b);
    use(b);
    return TINDREL_OK;
}

}   // namespace

TindrelReturnCode TindrelSim_setOrientation(const char *deviceId, double roll, double pitch, double yaw,
                                            double turnRate)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id must not be NULL");
    for (double v : {roll, pitch, yaw, turnRate})
        if (!std::isfinite(v))
            return fail(TINDREL_EINVALIDARG, "Orientation values must be finite numbers");
    if (roll < -180 || roll > 180 || pitch < -180 || pitch > 180)
        return fail(TINDREL_EINVALIDARG, "Roll and pitch must lie within -180 to 180 degrees");
    return withBody(deviceId, [&](behaviour::Body &b) {
        b.target = {roll, pitch, behaviour::wrap360(yaw)};
        b.turnRate = turnRate;
    });
}

TindrelReturnCode TindrelSim_getOrientation(const char *deviceId, double *roll, double *pitch, double *yaw)
{
    if (!deviceId || !roll || !pitch || !yaw)
        return fail(TINDREL_EFAULT, "Device id and results must not be NULL");
    return withBody(deviceId, [&](const behaviour::Body &b) {
        *roll = b.now.roll;
        *pitch = b.now.pitch;
        *yaw = b.now.yaw;
    });
}
