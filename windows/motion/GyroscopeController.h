#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"
#include "GaugeViews.h"
#include "MotionLogic.h"

class QLabel;
class QPushButton;

namespace tindrel {

// Angular rate per axis, integrated from every sample into three angle
// dials; the zero button re-zeroes the sensor and the dials.
class GyroscopeController : public ExampleWindowOf<GyroscopeController> {
    Q_OBJECT
public:
    explicit GyroscopeController(QWidget *parent = nullptr);

    void zeroGyro();
    const motion::GyroIntegrator &integrator() const { return integrator_; }

    PropertySliderBox *settingsBox;
    AttachBox *dataBox;
    QLabel *xAxisText;
    QLabel *yAxisText;
    QLabel *zAxisText;
    QLabel *timeStampText;
    AttachBox *angularPositionsBox;
    GyroGaugeView *xGauge;
    GyroGaugeView *yGauge;
    GyroGaugeView *zGauge;
    QPushButton *zeroButton;

protected:
    void registerValueHandlers() override;
    void onDetach() override;

private:
    void display(const AxesEvent &e);
    void showAngles();

    motion::GyroIntegrator integrator_;
    ValueStream<AxesEvent> &angularRate;
};

}   // namespace tindrel
