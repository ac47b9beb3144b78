#include "GaugeGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel::motion {

namespace {

constexpr double pi = std::numbers::pi;
double radians(double degrees) { return degrees * pi / 180.0; }
QPointF centreOf(QSizeF view) { return {view.width() / 2.0, view.height() / 2.0}; }
double shorterSide(QSizeF view) { return std::min(view.width(), view.height()); }
// Scale positions count clockwise on screen from the positive x axis.
QPointF onCircle(QPointF c, double r, double degrees)
{
    return {c.x() + r * std::cos(radians(degrees)), c.y() + r * std::sin(radians(degrees))};
}

}   // namespace

double accelNeedleAngle(double g) { return radians(270.0 - 16.875 * g); }
double gyroNeedleAngle(double degrees) { return degrees * (-pi / 180.0); }

double gaugeRadius(QSizeF view) { return shorterSide(view) / 2.5; }

Needle needleFor(QSizeF view, double angle)
{
    const QPointF c = centreOf(view);
    const double length = gaugeRadius(view) * 0.85;
    // Unrotated the needle points left; counterclockwise on screen is
    // toward negative y.
    return {c, {c.x() - length * std::cos(angle), c.y() + length * std::sin(angle)}, gaugeRadius(view) * 0.04 + 1.0};
}

Arc accelOutline(QSizeF view) { return {gaugeRadius(view), -45.0, 270.0}; }

std::vector<Arc> accelBands(QSizeF view, int type)
{
    if (type != 1)
        return {};
    const double r = gaugeRadius(view) - accelBandWidth / 2.0;
    // From -8 g to -2 g (225 down to 123.75 degrees) and from +2 g to +8 g
    // (56.25 down to -45 degrees).
    return {{r, 123.75, 101.25}, {r, -45.0, 101.25}};
}

std::vector<Tick> accelTicks(QSizeF view)
{
    const QPointF c = centreOf(view);
    const double r = gaugeRadius(view);
    std::vector<Tick> ticks;
    ticks.reserve(161);
    for (int i = 0; i <= 160; ++i) {
        const double a = 135.0 + 1.6875 * i;
        double length = 4.0, width = 0.5;
        if (i % 10 == 0)
            length = 16.0, width = 2.0;
        else if (i % 5 == 0)
            length = 8.0, width = 1.0;
        ticks.push_back({onCircle(c, r, a), onCircle(c, r - length, a), width});
    }
    return ticks;
}

std::vector<Label> accelLabels(QSizeF view)
{
    struct Offset {
        double dx, dy;
    };
    // Offsets away from the scale by where the label sits (y up, as the
    // label's own box grows).
    auto offsetFor = [](int n) -> Offset {
        if (n <= -7)
            return {-12, -10};
        if (n <= -4)
            return {-15, -5};
        if (n <= -1)
            return {-12, -1};
        if (n == 0)
            return {-3, 2};
        if (n <= 3)
            return {3, 0};
        if (n <= 5)
            return {3, -4};
        return {3, -8};
    };
    const QPointF c = centreOf(view);
    const double r = gaugeRadius(view);
    std::vector<Label> labels;
    for (int n = -8; n <= 8; ++n) {
        const QPointF p = onCircle(c, r, 135.0 + 16.875 * (n + 8));
        const Offset o = offsetFor(n);
        labels.push_back({QString::number(n), {p.x() + o.dx, p.y() - o.dy}});
    }
    return labels;
}

std::vector<Tick> gyroTicks(QSizeF view)
{
    const QPointF c = centreOf(view);
    const double r = gaugeRadius(view);
    std::vector<Tick> ticks;
    for (int d = 0; d < 360; d += 5) {
        const bool major = d % 45 == 0;
        const double length = major ? 16.0 : 8.0;
        ticks.push_back({onCircle(c, r, d), onCircle(c, r - length, d), major ? 2.0 : 1.0});
    }
    return ticks;
}

std::vector<Label> gyroLabels(QSizeF view)
{
    const QPointF c = centreOf(view);
    const double r = gaugeRadius(view);
    const double size = view.height() / 20.0;
    return {{QStringLiteral("90"), {c.x() - 5, c.y() - r - 5}},
            {QStringLiteral("-90"), {c.x() - 10, c.y() + r + 5 + size}},
            {QStringLiteral("180"), {c.x() + r + 5, c.y() + size / 2}},
            {QStringLiteral("0"), {c.x() - r - 5 - size * 0.6, c.y() + size / 2}}};
}

VectorDrawing vectorDrawing(QSizeF view, double circleRadius, double x, double y, double z)
{
    VectorDrawing d;
    const QPointF c = centreOf(view);
    d.discRadius = shorterSide(view) / 3.0;
    d.lineEnd = c;
    if (!(circleRadius > 0.0) || !std::isfinite(circleRadius) || !std::isfinite(x) || !std::isfinite(y) ||
        !std::isfinite(z))
        return d;
    const double scale = d.discRadius / circleRadius;
    d.zRadius = std::fabs(z) * scale;
    d.zNegative = z < 0.0;
    d.lineEnd = {c.x() - x * scale, c.y() - y * scale};
    d.valid = true;
    return d;
}

double compassRadius(QSizeF view) { return shorterSide(view) / 3.2; }

std::vector<Tick> compassTicks(QSizeF view)
{
    const QPointF c = centreOf(view);
    const double r = compassRadius(view);
    std::vector<Tick> ticks;
    for (int d = 0; d < 360; d += 10) {
        const bool cardinal = d % 90 == 0;
        const double half = cardinal ? 6.0 : 4.0;
        ticks.push_back({onCircle(c, r + half, d), onCircle(c, r - half, d), cardinal ? 2.0 : 1.0});
    }
    return ticks;
}

std::vector<Label> compassLabels(QSizeF view)
{
    const QPointF c = centreOf(view);
    const double r = compassRadius(view);
    const double size = view.height() / 15.0;
    const double half = size * 0.35;
    return {{QStringLiteral("N"), {c.x() - half, c.y() - r - 10}},
            {QStringLiteral("S"), {c.x() - half, c.y() + r + 10 + size * 0.75}},
            {QStringLiteral("E"), {c.x() + r + 10, c.y() + size * 0.35}},
            {QStringLiteral("W"), {c.x() - r - 10 - size * 0.9, c.y() + size * 0.35}}};
}

QPointF compassMark(QSizeF view, double bearing)
{
    const QPointF c = centreOf(view);
    const double r = compassRadius(view);
    const double a = pi / 2.0 - bearing;
    return {c.x() + r * std::cos(a), c.y() - r * std::sin(a)};
}

double compassBoardRotationDegrees(double bearing) { return bearing * 180.0 / pi; }

}   // namespace tindrel::motion
