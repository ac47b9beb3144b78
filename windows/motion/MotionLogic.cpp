#include "MotionLogic.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#include <cmath>
#include <numbers>

namespace tindrel::motion {

namespace {
constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr double toDegrees = 57.29577951308232;
}   // namespace

void CompassBearing::setDeclination(double degrees) { declination_ = degrees * std::numbers::pi / 180.0; }

void CompassBearing::setSampleRate(double fs, double fc) { k_ = (1.0 / fs) / (1.0 / fc + 1.0 / fs); }

double CompassBearing::rawBearing(const std::array<double, 3> &g, const std::array<double, 3> &m, double &roll,
                                  double &pitch)
{
    roll = std::asin(std::clamp(g[1], -1.0, 1.0));
    pitch = std::asin(std::clamp(g[0], -1.0, 1.0));
    const bool upsideDown = g[2] < 0;
    if (upsideDown)
        roll = -roll, pitch = -pitch;
    const double cx = m[0], cy = m[1], cz = m[2];
    const double N = cx * std::cos(pitch) - cz * std::sin(pitch);
    const double D =
        cx * std::sin(pitch) * std::sin(roll) + cz * std::cos(pitch) * std::sin(roll) - cy * std::cos(roll);
    double b = 0.0;
    if (D > 0)
        b = std::numbers::pi - std::atan(N / D);
    else if (D < 0 && N > 0)
        b = -std::atan(N / D);
    else if (D < 0 && N < 0)
        b = twoPi - std::atan(N / D);
    else if (D == 0 && N > 0)
        b = std::numbers::pi / 2;
    else if (D == 0 && N < 0)
        b = 3 * std::numbers::pi / 2;
    if (upsideDown)
        b = std::fabs(b - twoPi);
    return b;
}

void CompassBearing::updateBearing()
{
    const double n = std::sqrt(a_[0] * a_[0] + a_[1] * a_[1] + a_[2] * a_[2]);
    // No gravity reading (free fall, or nothing measured yet): nothing to
    // compute, keep the last results.
    if (!(n > 0) || !std::isfinite(n))
        return;
    for (double v : m_)
        if (!std::isfinite(v) || v == unknownValue)
            return;
    double roll = 0, pitch = 0;
    double b = rawBearing({a_[0] / n, a_[1] / n, a_[2] / n}, m_, roll, pitch);
    if (useDeclination_) {
        b += declination_;
        if (b > twoPi)
            b -= twoPi;
        if (b < 0)
            b += twoPi;
    }
    // Take the short way round: a state moved by a turn only when the new
    // bearing is more than half a turn away, so headings far from the
    // state (south right after attach) still settle.
    double prev = bearing_;
    if (std::fabs(b - prev) > std::numbers::pi)
        prev += prev < b ? twoPi : -twoPi;
    bearing_ = k_ * b + (1.0 - k_) * prev;
    bearingDegrees_ = bearing_ * toDegrees;
    roll_ = roll * toDegrees;
    pitch_ = pitch * toDegrees;
}

bool GyroIntegrator::add(const std::array<double, 3> &rates, double timestampMs)
{
    for (double r : rates)
        if (r == unknownValue)
            return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (started_[i]) {
            double &a = angles_[i];
            a += rates[i] * (timestampMs - last_[i]) / 1000.0;
            if (a > 180)
                a -= 360;
            else if (a < -180)
                a += 360;
        }
        last_[i] = timestampMs;
        started_[i] = true;
    }
    return true;
}

int accelGaugeTypeFor(const QString &productCode)
{
    for (const char *code : highRangeAccelerometerCodes)
        if (productCode == QLatin1String(code))
            return 1;
    return 0;
}

CorrectionInput parseCorrectionText(const QString &text)
{
    const QStringList pieces = text.split(QLatin1Char(','));
    CorrectionInput in;
    if (pieces.size() == 1) {
        in.kind = CorrectionInput::Kind::Reset;
        return in;
    }
    if (pieces.size() != 13)
        return in;
    in.kind = CorrectionInput::Kind::Parameters;
    for (int i = 0; i < 13; ++i) {
        // Leading white space skipped; a piece that does not start with a
        // number reads as 0.
        static const QRegularExpression number(
            QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
        const auto match = number.match(pieces[i]);
        const double v = match.hasMatch() ? match.captured(1).toDouble() : 0.0;
        in.values[static_cast<std::size_t>(i)] = std::isfinite(v) ? v : 0.0;
    }
    return in;
}

}   // namespace tindrel::motion
