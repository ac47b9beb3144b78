#pragma once

#include "ExampleWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tindrel {

class SliderRow;

// Drives an RC servo: engage, target position, the pulse-width-to-position
// calibration, and on some devices acceleration, velocity limit, speed
// ramping, supply voltage and data interval.
class RCServoController : public ExampleWindowOf<RCServoController> {
    Q_OBJECT
public:
    explicit RCServoController(QWidget *parent = nullptr);

    // Actions.
    void setEnabled(bool on);
    void setPosition(double target);
    void setSpeedRampingState(bool on);
    void setVoltage(int index);
    void apply();

    AttachBox *motorCalibrationBox;
    QLineEdit *minPulseWidthTextField;
    QLineEdit *maxPulseWidthTextField;
    QLineEdit *positionAtMinTextField;
    QLineEdit *positionAtMaxTextField;
    QPushButton *applyButton;
    QComboBox *voltageCombo;
    AttachBox *motorDataBox;
    QLabel *positionEventLabel;
    QLabel *velocityEventLabel;
    QLabel *velocityEventText;
    QWidget *dataIntBox;
    SliderRow *dataIntSlider;
    QCheckBox *stoppedCheck;
    AttachBox *motorControlsBox;
    QPushButton *enabledButton;
    SliderRow *positionSlider;
    AttachBox *advancedControlsBox;
    SliderRow *accelerationSlider;
    SliderRow *velocitySlider;
    QCheckBox *speedRampingCheck;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    void sizeWindow(SizingMoment moment) override;

private:
    void updateGUI(bool atAttach);

    ValueStream<ScalarEvent> &position;
    ValueStream<ScalarEvent> &velocity;
    ValueStream<ScalarEvent> &targetReached;
};

}   // namespace tindrel
