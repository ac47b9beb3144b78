#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"
#include "GaugeViews.h"

class QLabel;

namespace tindrel {

// Acceleration in g per axis: three needle gauges, the values, the change
// trigger and the data interval. Two-axis devices hide the z axis; the two
// high-range products get gauges with marked end zones and their legend.
class AccelerometerController : public ExampleWindowOf<AccelerometerController> {
    Q_OBJECT
public:
    explicit AccelerometerController(QWidget *parent = nullptr);

    void onAccelerometerChangeHandler(const AxesEvent &e);

    PropertySliderBox *triggerBox;
    PropertySliderBox *dataIntBox;
    AttachBox *dataBox;
    QLabel *xTxt;
    QLabel *yTxt;
    QLabel *zTxt;
    QLabel *zLbl;
    QLabel *timestamp;
    AttachBox *xViewBox;
    AttachBox *yViewBox;
    AttachBox *zViewBox;
    AccelGaugeView *xView;
    AccelGaugeView *yView;
    AccelGaugeView *zView;
    QLabel *accelLegend;
    int axisCount = 3;

protected:
    void registerValueHandlers() override;
    void onAttach() override;

private:
    ValueStream<AxesEvent> &acceleration;
};

}   // namespace tindrel
