#pragma once

#include "BoundRows.h"

#include <QComboBox>
#include <QLabel>

namespace tindrel {

// A voltage ratio input channel: the ratio, its data interval and change
// trigger, the gain and enable of bridge inputs, and the reading of a
// sensor chosen from the library's list on sensor ports.
class VoltageRatioController : public ExampleWindowOf<VoltageRatioController> {
    Q_OBJECT
public:
    VoltageRatioController();

    // Sensor pop-up: sends the chosen type; when that worked reads it back
    // and sets the mode.
    void setSensorType();
    void sensorModeChanged(bool sensorMode);

    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *changeTriggerBox;
    AttachBox *gainBox;
    PropertyPopup *bridgeGainCombo;
    AttachBox *enableBox;
    PropertyCheck *enableCheck;
    AttachBox *dataBox;
    QLabel *voltageRatioText;
    AttachBox *sensorBox;
    QComboBox *sensorTypeCombo;
    QLabel *sensorText;

protected:
    void registerValueHandlers() override;
    void onDetach() override;
    void sizeWindow(SizingMoment moment) override;

private:
    bool isBridge() const;
    void onVoltageRatioChangeHandler(const ScalarEvent &e);
    void onSensorChangeHandler(const UnitValueEvent &e);
    ValueStream<ScalarEvent> &ratio;
    ValueStream<UnitValueEvent> &sensor;
};

}   // namespace tindrel
