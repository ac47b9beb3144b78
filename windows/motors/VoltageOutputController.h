#pragma once

#include "ExampleWindow.h"

class QPushButton;

namespace tindrel {

class SliderRow;

// Sets an analog voltage output; switches its output range or enables it
// on the devices that have those.
class VoltageOutputController : public ExampleWindowOf<VoltageOutputController> {
    Q_OBJECT
public:
    explicit VoltageOutputController(QWidget *parent = nullptr);

    // Actions.
    void setEnabled();
    void setVoltageOutputMode();

    AttachBox *outputBox;
    SliderRow *voltageOutputSlider;
    AttachBox *outputModeBox;
    AttachBox *outputEnableBox;
    QPushButton *voltageModeButton;
    QPushButton *enableButton;

protected:
    void onAttach() override;
    void onDetach() override;

private:
    void readVoltageRange();
};

}   // namespace tindrel
