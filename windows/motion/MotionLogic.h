#pragma once

// Pure logic of the motion windows: the tilt-compensated compass bearing,
// the angle integrator of the gyroscope window, the gauge type by product
// code and the correction-parameter text of the magnetometer window.
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace tindrel::motion {

// The device library's marker for an unknown value.
inline constexpr double unknownValue = 1e300;

// Roll and pitch from gravity and a low-pass-filtered bearing from one
// acceleration and one magnetic field vector.
class CompassBearing {
public:
    void setAccelerationVector(double x, double y, double z) { a_ = {x, y, z}; }
    void setMagneticFieldVector(double x, double y, double z) { m_ = {x, y, z}; }
    void setDeclination(double degrees);
    void setUseDeclination(bool on) { useDeclination_ = on; }
    // filterConstant = (1 / fs) / (1 / fc + 1 / fs).
    void setSampleRate(double fs, double fc);
    void setFilterConstant(double k) { k_ = k; }
    double filterConstant() const { return k_; }
    void updateBearing();

    double bearing() const { return bearing_; }
    double bearingDegrees() const { return bearingDegrees_; }
    double grollAngle() const { return roll_; }
    double gpitchAngle() const { return pitch_; }

    // The unfiltered bearing in [0, 2 pi) for a gravity direction (unit
    // vector) and a field; roll and pitch in radians come out.
    static double rawBearing(const std::array<double, 3> &g, const std::array<double, 3> &m, double &roll,
                             double &pitch);

private:
    std::array<double, 3> a_{};
    std::array<double, 3> m_{};
    double declination_ = 0.0;
    double bearing_ = 0.0;
    double bearingDegrees_ = 0.0;
    double k_ = 0.1;
    bool useDeclination_ = false;
    double roll_ = 0.0;
    double pitch_ = 0.0;
};

// Integrates three angular rates (degrees per second, timestamps in ms)
// into three angles kept in -180 ... 180.
class GyroIntegrator {
public:
    // One sample; false (nothing changes) when any rate is unknown.
    bool add(const std::array<double, 3> &rates, double timestampMs);
    // Angles to 0; timestamps kept, so the next sample integrates from 0.
    void zeroAngles() { angles_ = {}; }
    // Everything as when the window opened.
    void reset() { *this = GyroIntegrator(); }
    const std::array<double, 3> &angles() const { return angles_; }

private:
    std::array<double, 3> angles_{};
    std::array<bool, 3> started_{};
    std::array<double, 3> last_{};
};

// Gauge type of the acceleration gauges: 1 (marked zones) for the two
// high-range products, 0 for any other.
int accelGaugeTypeFor(const QString &productCode);
inline constexpr const char *highRangeAccelerometerCodes[] = {"TDR7510_0", "TDR7511_0"};

// The magnetometer's correction-parameter text, split at every comma.
struct CorrectionInput {
    enum class Kind { Reset, Parameters, WrongCount } kind = Kind::WrongCount;
    std::array<double, 13> values{};
};
CorrectionInput parseCorrectionText(const QString &text);

}   // namespace tindrel::motion
