#pragma once

#include "ExampleWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace tindrel {

class SliderRow;

// Drives a brushed motor by target velocity (a fraction of full power) and
// acceleration; braking, back-EMF sensing, current limit, current regulator
// gain and fan mode on the devices that have them.
class DCMotorController : public ExampleWindowOf<DCMotorController> {
    Q_OBJECT
public:
    explicit DCMotorController(QWidget *parent = nullptr);

    // Actions.
    void setVelocity(double value);
    void setAcceleration(double value);
    void setBrakingStrength(double value);
    void setCurrentLimit(double amperes);
    void setCurrentRegulatorGain(double value);
    void setFanMode(int index);
    void setEMFSensing();
    void zeroVelocity();

    AttachBox *settingsBox;
    SliderRow *velocitySlider;   // its value label is the target velocity text
    QPushButton *zeroVelocityButton;
    SliderRow *accelerationSlider;
    QCheckBox *backEMFCheck;
    AttachBox *brakingStrengthBox;
    SliderRow *brakingStrengthSlider;
    AttachBox *extraSettingsBox;
    SliderRow *currentLimitSlider;   // its value label is currentLimitLabel
    QWidget *regulatorRows;          // gain and fan mode (device 57)
    SliderRow *currentRegulatorGainSlider;
    QComboBox *fanModeCombo;
    QGroupBox *velocityChangeBox;
    QLabel *velocityChangeText;
    AttachBox *backEMFBox;
    QLabel *backEMFText;
    AttachBox *brakingStrengthChangeBox;
    QLabel *brakingStrengthChangeLabel;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;

private:
    ValueStream<ScalarEvent> &velocity;
    ValueStream<ScalarEvent> &targetVelocity;
    ValueStream<ScalarEvent> &backEMF;
    ValueStream<ScalarEvent> &brakingStrength;
};

}   // namespace tindrel
