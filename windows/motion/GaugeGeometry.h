#pragma once

// Geometry of the motion gauges, in the view's own coordinates (origin top
// left, y down, device-independent pixels). The views only paint what these
// functions lay out, so every position is tested without a window.
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <vector>

namespace tindrel::motion {

// A straight stroke of a scale.
struct Tick {
    QPointF from;
    QPointF to;
    double width = 1.0;
};

// An arc around the view's centre; angles in degrees, counterclockwise from
// the positive x axis as seen on screen (QPainter::drawArc's sense).
struct Arc {
    double radius = 0.0;
    double startDegrees = 0.0;
    double spanDegrees = 0.0;
};

// A text placed with its baseline origin at position.
struct Label {
    QString text;
    QPointF position;
};

// Needle rotation (radians, counterclockwise) of the acceleration gauge for
// a value in g: 0 g points up, +8 g to the lower right end, -8 g lower left.
double accelNeedleAngle(double g);
// Needle rotation (radians, counterclockwise) of the angle dial for an
// angle in degrees: 0 points left, +90 up, -90 down, 180 right.
double gyroNeedleAngle(double degrees);

// The needle: from the centre toward the left when unrotated, turned
// counterclockwise by angle. Its length is 0.4 of the view's height.
struct Needle {
    QPointF centre;
    QPointF tip;
    double halfWidth = 0.0;
};
Needle needleFor(QSizeF view, double angle);

// Radius of the acceleration gauge's and the angle dial's scale.
double gaugeRadius(QSizeF view);

// Acceleration gauge: the 270-degree outline open at the bottom, the two
// marked end zones beyond +-2 g (type 1 only; none for any other type), the
// 161 ticks from -8 g to +8 g and the 17 labels -8 ... 8.
Arc accelOutline(QSizeF view);
std::vector<Arc> accelBands(QSizeF view, int type);
constexpr double accelBandWidth = 16.0;
std::vector<Tick> accelTicks(QSizeF view);
std::vector<Label> accelLabels(QSizeF view);

// Angle dial: 72 ticks, every 45 degrees a long one; labels 0, 90, 180, -90.
std::vector<Tick> gyroTicks(QSizeF view);
std::vector<Label> gyroLabels(QSizeF view);

// Field vector: the disc, the circle for the z component (red when z < 0)
// and the line for x (drawn mirrored, positive x to the left) and y (up).
// A circle radius that is not positive draws no circle and no line.
struct VectorDrawing {
    double discRadius = 0.0;
    double zRadius = 0.0;
    bool zNegative = false;
    QPointF lineEnd;
    bool valid = false;
};
VectorDrawing vectorDrawing(QSizeF view, double circleRadius, double x, double y, double z);

// Compass: the rose's radius, 36 ticks straddling the circle, the labels
// N, E, S, W, the heading mark for a bearing (radians clockwise from north:
// 0 at the top, pi/2 at the right) and the board picture's rotation
// (degrees as QPainter turns, clockwise on screen).
double compassRadius(QSizeF view);
std::vector<Tick> compassTicks(QSizeF view);
std::vector<Label> compassLabels(QSizeF view);
QPointF compassMark(QSizeF view, double bearing);
double compassBoardRotationDegrees(double bearing);

}   // namespace tindrel::motion
