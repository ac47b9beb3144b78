#pragma once

// The motion gauges. Each stores one value through its setter, asks for a
// repaint, and paints everything from what it stores (GaugeGeometry lays it
// out); they hold no device handle.
#include <QWidget>

namespace tindrel {

// Needle gauge for an acceleration in g, -8 ... 8; type 1 marks the zones
// beyond +-2 g.
class AccelGaugeView : public QWidget {
    Q_OBJECT
public:
    explicit AccelGaugeView(QWidget *parent = nullptr);
    void setAngle(double g);
    // Takes effect at the next repaint.
    void setType(int type) { type_ = type; }
    double angle() const { return angle_; }
    int type() const { return type_; }
    QSize sizeHint() const override { return {200, 200}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double angle_ = 0.0;   // radians, counterclockwise
    int type_ = 0;
};

// Round dial for an angle in degrees.
class GyroGaugeView : public QWidget {
    Q_OBJECT
public:
    explicit GyroGaugeView(QWidget *parent = nullptr);
    void setAngle(double degrees);
    double angle() const { return angle_; }
    QSize sizeHint() const override { return {180, 180}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double angle_ = 0.0;   // radians, counterclockwise
};

// A magnetic field vector: x and y as a line, z as a circle.
class VectorView : public QWidget {
    Q_OBJECT
public:
    explicit VectorView(QWidget *parent = nullptr);
    void setVector(double x, double y, double z);
    void setCircleRadius(double radius);
    double circleRadius() const { return circleRadius_; }
    double xaxis() const { return x_; }
    double yaxis() const { return y_; }
    double zaxis() const { return z_; }
    QSize sizeHint() const override { return {240, 240}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double circleRadius_ = 1.0;
    double x_ = 0.0, y_ = 0.0, z_ = 0.0;
};

// Compass rose with the board seen from above, turned by the bearing.
class CompassView : public QWidget {
    Q_OBJECT
public:
    explicit CompassView(QWidget *parent = nullptr);
    void setBearing(double radians);
    double bearing() const { return bearing_; }
    QSize sizeHint() const override { return {260, 260}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double bearing_ = 0.0;   // radians clockwise from north
};

}   // namespace tindrel
