#include "GaugeViews.h"

#include "GaugeGeometry.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tindrel {

using namespace motion;

namespace {

// The dark appearance: the window colour is dark.
bool isDark(const QWidget &w) { return w.palette().color(QPalette::Window).lightness() < 128; }

QRectF around(QPointF c, double r) { return {c.x() - r, c.y() - r, 2 * r, 2 * r}; }

void drawArc(QPainter &p, QSizeF size, const Arc &arc)
{
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    p.drawArc(around(c, arc.radius), qRound(arc.startDegrees * 16), qRound(arc.spanDegrees * 16));
}

void drawTicks(QPainter &p, const std::vector<Tick> &ticks, QColor colour)
{
    for (const Tick &t : ticks) {
        p.setPen(QPen(colour, t.width, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(t.from, t.to);
    }
}

void drawLabels(QPainter &p, const std::vector<Label> &labels, double pixelSize, QColor colour)
{
    QFont font = p.font();
    font.setPixelSize(std::max(1, static_cast<int>(pixelSize)));
    p.setFont(font);
    p.setPen(colour);
    for (const Label &l : labels)
        p.drawText(l.position, l.text);
}

void drawNeedle(QPainter &p, QSizeF size, double angle, QColor colour)
{
    const Needle n = needleFor(size, angle);
    const QPointF along = n.tip - n.centre;
    const double length = std::hypot(along.x(), along.y());
    if (length <= 0)
        return;
    const QPointF across(-along.y() / length * n.halfWidth, along.x() / length * n.halfWidth);
    QPainterPath path;
    path.moveTo(n.tip);
    path.lineTo(n.centre + across);
    path.lineTo(n.centre - along * 0.15);
    path.lineTo(n.centre - across);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
    p.drawEllipse(n.centre, n.halfWidth * 1.5, n.halfWidth * 1.5);
    p.setBrush(Qt::NoBrush);
}

}   // namespace

AccelGaugeView::AccelGaugeView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(120, 120);
}

void AccelGaugeView::setAngle(double g)
{
    angle_ = accelNeedleAngle(g);
    update();
}

void AccelGaugeView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size();
    const bool dark = isDark(*this);
    const QColor ink = dark ? QColor(Qt::white) : QColor(Qt::black);
    drawNeedle(p, s, angle_, dark ? QColor(240, 240, 240) : QColor(200, 30, 30));
    p.setPen(QPen(ink, 1));
    drawArc(p, s, accelOutline(s));
    QColor band = dark ? QColor(Qt::white) : QColor(255, 0, 0);
    band.setAlphaF(dark ? 1.0 : 0.4);
    p.setPen(QPen(band, accelBandWidth, Qt::SolidLine, Qt::FlatCap));
    for (const Arc &a : accelBands(s, type_))
        drawArc(p, s, a);
    drawTicks(p, accelTicks(s), ink);
    drawLabels(p, accelLabels(s), s.height() / 20.0, dark ? QColor(Qt::white) : palette().color(QPalette::WindowText));
}

GyroGaugeView::GyroGaugeView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(120, 120);
}

void GyroGaugeView::setAngle(double degrees)
{
    angle_ = gyroNeedleAngle(degrees);
    update();
}

void GyroGaugeView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size();
    const bool dark = isDark(*this);
    drawNeedle(p, s, angle_, dark ? QColor(240, 240, 240) : QColor(200, 30, 30));
    QColor ink = dark ? QColor(Qt::white) : QColor(0, 0, 0);
    if (!dark)
        ink.setAlphaF(0.4);
    p.setPen(QPen(ink, 1));
    p.drawEllipse(around({s.width() / 2, s.height() / 2}, gaugeRadius(s)));
    drawTicks(p, gyroTicks(s), ink);
    drawLabels(p, gyroLabels(s), s.height() / 20.0, dark ? QColor(Qt::white) : palette().color(QPalette::WindowText));
}

VectorView::VectorView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(150, 150);
}

void VectorView::setVector(double x, double y, double z)
{
    x_ = x, y_ = y, z_ = z;
    update();
}

void VectorView::setCircleRadius(double radius)
{
    circleRadius_ = radius;
    update();
}

void VectorView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size();
    const QPointF c(s.width() / 2, s.height() / 2);
    const VectorDrawing d = vectorDrawing(s, circleRadius_, x_, y_, z_);
    QColor disc(Qt::white);
    disc.setAlphaF(0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(around(c, d.discRadius));
    p.setBrush(Qt::NoBrush);
    if (!d.valid)
        return;
    p.setPen(QPen(d.zNegative ? QColor(255, 0, 0) : QColor(0, 0, 255), 1));
    p.drawEllipse(around(c, d.zRadius));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(c, d.lineEnd);
}

CompassView::CompassView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(160, 160);
}

void CompassView::setBearing(double radians)
{
    bearing_ = radians;
    update();
}

void CompassView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = size();
    const QPointF c(s.width() / 2, s.height() / 2);
    // The board seen from above, its front edge toward its heading.
    {
        const double side = std::min(s.width(), s.height()) * 0.55;
        p.save();
        p.translate(c);
        p.rotate(compassBoardRotationDegrees(bearing_));
        const QRectF board(-side * 0.35, -side / 2, side * 0.7, side);
        p.setPen(QPen(QColor(20, 60, 20), 1));
        p.setBrush(QColor(40, 120, 60));
        p.drawRoundedRect(board, side * 0.05, side * 0.05);
        p.setBrush(QColor(30, 30, 30));
        p.drawRect(QRectF(-side * 0.12, -side * 0.12, side * 0.24, side * 0.24));
        QPainterPath arrow;
        arrow.moveTo(0, -side * 0.45);
        arrow.lineTo(side * 0.1, -side * 0.3);
        arrow.lineTo(-side * 0.1, -side * 0.3);
        arrow.closeSubpath();
        p.setBrush(QColor(230, 230, 230));
        p.drawPath(arrow);
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(around(c, compassRadius(s)));
    drawTicks(p, compassTicks(s), Qt::black);
    drawLabels(p, compassLabels(s), s.height() / 15.0, palette().color(QPalette::WindowText));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(compassMark(s, bearing_), 4.0, 4.0);
}

}   // namespace tindrel
