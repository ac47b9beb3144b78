#pragma once

#include "ExampleWindow.h"

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tindrel {

class FieldStepper;
class MotorSettingsPanel;

// A closed-loop velocity controller: live velocity and duty cycle, target
// velocity with a stored step, engage and disengage, the control loop's
// settings, inductance, and the saved settings (keys starting "MVC") that
// every attach applies again.
class MotorVelocityController : public ExampleWindowOf<MotorVelocityController> {
    Q_OBJECT
public:
    explicit MotorVelocityController(QWidget *parent = nullptr);

    // Actions.
    void setRescaleFactor();
    void setDeadband();
    void setIncrement();
    void engageMotor();
    void showOtherMotorSettings(bool on);
    void saveSettings() { openPanel(0); }
    void revertToSavedSettings() { openPanel(1); }
    void revertToDefaultSettings() { openPanel(2); }
    void enterSettingsSelection();

    AttachBox *EventBox;
    QLabel *motorVelocityLabel;
    QLabel *motorDutyCycleLabel;
    AttachBox *targetVelocityBox;
    FieldStepper *targetVelocity;   // targetVelocityText and targetVelocityStepper
    QLineEdit *incrementVelocityText;
    AttachBox *configureBox;
    FieldStepper *kp, *ki, *kd, *acceleration;
    QLineEdit *rescaleText;
    QLineEdit *deadbandText;
    QPushButton *engageMotorButton;
    QPushButton *otherSettingsButton;
    AttachBox *otherMotorSettingsBox;
    QGroupBox *currentLimitBox, *inductanceBox;
    FieldStepper *currentLimit, *motorInductance;
    QPushButton *saveSettingsButton, *revertToSavedButton, *revertToDefaultButton;
    MotorSettingsPanel *settingsWindow;

    // Process-wide, one copy for all windows of this class.
    static inline std::array<double, 7> capturedDefaults{};
    static inline int panelMode = 0;

    // The inductance is read this long after the attach (it settles first).
    static constexpr int inductanceDelayMs = 500;

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
    void readInductance();
    TindrelReturnCode sendSetting(int tag, double value);
    std::optional<double> fieldValue(int tag);

    ValueStream<ScalarEvent> &velocityStream;
    ValueStream<ScalarEvent> &targetStream;
    ValueStream<ScalarEvent> &dutyCycleStream;
    quint64 attachCount_ = 0;
};

}   // namespace tindrel
