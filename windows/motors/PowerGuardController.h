#pragma once

#include "ExampleWindow.h"

class QCheckBox;

namespace tindrel {

class CodePopup;
class SliderRow;

// Sets a power guard's over-voltage threshold, switches the guarded power
// on or off and chooses its fan mode.
class PowerGuardController : public ExampleWindowOf<PowerGuardController> {
    Q_OBJECT
public:
    explicit PowerGuardController(QWidget *parent = nullptr);

    // Actions.
    void setPowerEnabled(bool on);
    void setFanMode(int index);

    AttachBox *dataBox;
    SliderRow *overVoltageSlider;
    AttachBox *settingsBox;
    QCheckBox *powerEnabledCheck;
    CodePopup *fanModeCombo;

protected:
    void onAttach() override;
    void onDetach() override;
};

}   // namespace tindrel
