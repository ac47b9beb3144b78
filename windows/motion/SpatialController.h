#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"
#include "GaugeViews.h"
#include "MotionLogic.h"

class QLabel;

namespace tindrel {

// The magnetic field and a tilt-compensated compass with pitch and roll,
// from every spatial sample.
class SpatialController : public ExampleWindowOf<SpatialController> {
    Q_OBJECT
public:
    explicit SpatialController(QWidget *parent = nullptr);

    const motion::CompassBearing &compassBearing() const { return compassBearing_; }

    PropertySliderBox *settingsBox;
    AttachBox *compassDataBox;
    QLabel *xAxisText;
    QLabel *yAxisText;
    QLabel *zAxisText;
    QLabel *pitchAngleText;
    QLabel *rollAngleText;
    QLabel *bearingText;
    AttachBox *compassBearingBox;
    CompassView *compassView;

    // Cut-off frequency of the bearing's low-pass filter.
    static constexpr double filterCutoffHz = 15.0;

protected:
    void registerValueHandlers() override;
    void onAttach() override;

private:
    void take(const SpatialEvent &e);
    void display(const SpatialEvent &e);

    motion::CompassBearing compassBearing_;
    ValueStream<SpatialEvent> &spatialData;
};

}   // namespace tindrel
