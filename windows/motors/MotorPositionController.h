#pragma once

#include "ExampleWindow.h"

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tindrel {

class FieldStepper;
class MotorSettingsPanel;

// The values a position controller reported at its last attach, before the
// saved settings were applied: tags 0 to 9 and the encoder IO mode.
struct MotorPositionDefaults {
    std::array<double, 10> values{};
    int ioMode = 0;
};

// A closed-loop position controller: live position and duty cycle, target
// position with a stored step, engage and disengage, the control loop's
// settings, and the saved settings in the user defaults that every attach
// applies again.
class MotorPositionController : public ExampleWindowOf<MotorPositionController> {
    Q_OBJECT
public:
    explicit MotorPositionController(QWidget *parent = nullptr);

    // Actions.
    void setRescaleFactor();
    void setDeadband();
    void setIncrement();
    void engageMotor();
    void zeroPosition();
    void setIOMode(int index);
    void setFanMode(int index);
    void showOtherMotorSettings(bool on);
    void saveSettings() { openPanel(0); }
    void revertToSavedSettings() { openPanel(1); }
    void revertToDefaultSettings() { openPanel(2); }
    void enterSettingsSelection();

    AttachBox *EventBox;
    QLabel *motorPositionLabel;
    QLabel *motorDutyCycleLabel;
    AttachBox *targetPositionBox;
    FieldStepper *targetPosition;   // targetPositionText and targetPositionStepper
    QLineEdit *incrementPositionText;
    AttachBox *configureBox;
    FieldStepper *kp, *ki, *kd, *acceleration, *velocity;
    QLineEdit *rescaleText;
    QLineEdit *deadbandText;
    QPushButton *engageMotorButton;
    QPushButton *zeroPositionButton;
    QPushButton *otherSettingsButton;   // two-state: folds the box below
    AttachBox *otherMotorSettingsBox;
    QGroupBox *currentLimitBox, *currentRegulatorGainBox, *stallVelocityBox, *fanModeBox, *IOModeBox;
    FieldStepper *currentLimit, *currentRegulatorGain, *stallVelocity;
    QComboBox *encoderIOModeCombo;
    QComboBox *fanModeCombo;
    QPushButton *saveSettingsButton, *revertToSavedButton, *revertToDefaultButton;
    MotorSettingsPanel *settingsWindow;

    // Process-wide, one copy for all windows of this class.
    static inline MotorPositionDefaults capturedDefaults;
    static inline int panelMode = 0;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    void onErrorEvent(int code) override;

private:
    void openPanel(int mode);
    // Attach captures the defaults and applies the saved settings: a loaded
    // file only needs the fields read again.
    void showLoadedSettings() override { updateGUI(); }
    void applySavedSettings();
    void updateGUI();
    void updateRescaleProperties();
    void showHideSettings();
    TindrelReturnCode sendSetting(int tag, double value);
    std::optional<double> fieldValue(int tag);

    ValueStream<ScalarEvent> &positionStream;
    ValueStream<ScalarEvent> &targetStream;
    ValueStream<ScalarEvent> &dutyCycleStream;
};

}   // namespace tindrel
