#pragma once

#include "ExampleWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tindrel {

class SliderRow;

// Drives a brushless motor by target velocity, acceleration and braking;
// shows its velocity and position, rescales the position, sets the stall
// velocity and zeroes the position.
class BLDCMotorController : public ExampleWindowOf<BLDCMotorController> {
    Q_OBJECT
public:
    explicit BLDCMotorController(QWidget *parent = nullptr);

    // Actions.
    void setRescaleFactor();
    void setTargetVelocity(double value);
    void setAcceleration(double value);
    void setBrakingStrength(double value);
    void setStallVelocity(double value);
    void stop();
    void zeroPosition();

    AttachBox *dataBox;
    QLabel *velocityLabel;
    QLabel *positionLabel;
    QLabel *brakingLabel;
    AttachBox *settingsBox;
    QLineEdit *rescaleText;
    SliderRow *targetVelocitySlider;   // value label: targetVelocityLabel
    QLabel *targetVelocityLabel;
    SliderRow *accelerationSlider;
    QLabel *accelerationLabel;
    SliderRow *stallVelocitySlider;
    QLabel *stallVelocityLabel;
    SliderRow *brakingStrengthSlider;
    QLabel *brakingStrengthLabel;
    QPushButton *stopButton;
    QPushButton *zeroPositionButton;

protected:
    void registerValueHandlers() override;
    void onAttach() override;

private:
    void updateGUI();

    ValueStream<ScalarEvent> &velocity;
    ValueStream<ScalarEvent> &targetVelocity;
    ValueStream<ScalarEvent> &position;
    ValueStream<ScalarEvent> &braking;
};

}   // namespace tindrel
