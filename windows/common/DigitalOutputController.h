#pragma once

#include "ExampleWindow.h"

class QPushButton;

namespace tindrel {

class PropertyPopup;
class SliderRow;

// Switches a digital output on and off; on dimmable channels sets the duty
// cycle, and on LED driver channels the current limit and forward voltage.
class DigitalOutputController : public ExampleWindowOf<DigitalOutputController> {
    Q_OBJECT
public:
    explicit DigitalOutputController(QWidget *parent = nullptr);

    // Actions.
    void setOnOff();

    AttachBox *settingsBox;
    AttachBox *settingsBoxLED;   // LED driver channels
    PropertyPopup *forwardVoltageCombo;
    AttachBox *dutyCycleBox;   // dimmable channels
    SliderRow *dutyCycleSlider;
    SliderRow *currentLimitSlider;
    QWidget *stateButton;   // the row holding the on/off button
    QPushButton *outputStateButton;

protected:
    void onAttach() override;
    void onDetach() override;

private:
    void placeStateButton(bool besideDutyCycle);
    void showOutputState(bool on);
    bool isLedDriver() const;
};

}   // namespace tindrel
