#pragma once

#include "BoundRows.h"

#include <QComboBox>
#include <QLabel>

namespace tindrel {

// A voltage input channel: the voltage, its data interval and change
// trigger, the range on devices that have one, and the reading of a sensor
// chosen from the library's list on sensor-port devices.
class VoltageInputController : public ExampleWindowOf<VoltageInputController> {
    Q_OBJECT
public:
    VoltageInputController();

    // Sensor pop-up: sends the chosen type, reads it back, sets the mode.
    void setSensorType();
    // Sensor mode: the sensor reading shown normally and the voltage
    // greyed (disabled), or the other way round.
    void sensorModeChanged(bool sensorMode);

    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *changeTriggerBox;
    AttachBox *voltageRangeBox;
    PropertyPopup *voltageRangeCombo;
    AttachBox *powerSupplyBox;
    PropertyPopup *powerSupplyCombo;
    AttachBox *dataBox;
    QLabel *voltageText;
    AttachBox *sensorBox;
    QComboBox *sensorTypeCombo;
    QLabel *sensorText;

protected:
    void registerValueHandlers() override;
    void onDetach() override;
    void sizeWindow(SizingMoment moment) override;

private:
    void onSensorChangeHandler(const UnitValueEvent &e);
    ValueStream<ScalarEvent> &voltage;
    ValueStream<UnitValueEvent> &sensor;
};

}   // namespace tindrel
