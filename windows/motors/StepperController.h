#pragma once

#include "ExampleWindow.h"

#include <QTimer>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace tindrel {

class SliderRow;

// Drives a stepper motor: engage, step to a target or run at a signed
// velocity, acceleration, velocity and current limits, rescale, target
// range, zero, and the device's failsafe with its reset and countdown.
class StepperController : public ExampleWindowOf<StepperController> {
    Q_OBJECT
public:
    explicit StepperController(QWidget *parent = nullptr);

    // Actions.
    void engaged();
    void setTargetPosition(double position);
    void setHoldingCurrentLimit();
    void setRescaleFactor();
    void setRange();
    void positionZero();
    void stepMode();
    void runMode();
    void enableFailsafe();
    void testFailsafe();
    // The delegate call of the mode tab view.
    void tabViewDidSelectTabViewItem(int index);

    AttachBox *motorStatusBox;
    QLabel *motorPositionText;
    QLabel *motorVelocityText;
    QLabel *motorMovingLabel;
    AttachBox *motorConfigurationBox;
    SliderRow *AccelerationSlider;
    SliderRow *VelocityLimitSlider;
    AttachBox *currentBox;
    SliderRow *CurrentLimitSlider;
    AttachBox *holdingCurrentBox;
    SliderRow *HoldingCurrentSlider;
    QLineEdit *HoldingCurrentText;
    QPushButton *holdingCurrentButton;
    QLineEdit *rescaleTextField;
    QPushButton *rescaleButton;
    QRadioButton *stepModeRadio;
    QRadioButton *runModeRadio;
    // Step and run tabs; the step tab holds the target position row.
    QTabWidget *modeTabView;
    AttachBox *motorControlBox;
    QPushButton *engagedButton;
    QWidget *positionBox;
    SliderRow *TargetPositionSlider;
    QLineEdit *RangeText;
    QPushButton *setRangeButton;
    QPushButton *zeroPositionButton;
    AttachBox *failsafeBox;
    QLineEdit *failsafeDurationText;
    QPushButton *enableFailsafeButton;
    QPushButton *testFailsafeButton;
    QProgressBar *failsafeProgress;
    // Shown from a trip of the failsafe until it is enabled again.
    QLabel *failsafeTrippedLabel;
    // Created when the failsafe is first enabled.
    QTimer *uiTimer = nullptr;
    QTimer *failsafeTimer = nullptr;

    bool holdCurrentSet() const { return holdCurrentSet_; }
    // Stopped events seen.
    quint64 stoppedCount() const;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    void beforeTearDown() override;
    void onErrorEvent(int code) override;

private:
    void updateGUI(bool atAttach);
    void updateStopped();
    void showMoving(bool moving);
    void showMode(bool run);
    void uiTick();
    void FailsafeTick();
    void stopTimers();

    bool holdCurrentSet_ = false;
    ValueStream<ScalarEvent> &position;
    ValueStream<ScalarEvent> &velocity;
    ValueStream<NoValueEvent> &stopped;
};

}   // namespace tindrel
