#pragma once

#include "ExampleWindow.h"

#include <tindrel22.h>

class QComboBox;
class QFrame;
class QLabel;

namespace tindrel {

// Shows a digital input's state; on the one configurable device also the
// input mode and the sensor power supply.
class DigitalInputController : public ExampleWindowOf<DigitalInputController> {
    Q_OBJECT
public:
    explicit DigitalInputController(QWidget *parent = nullptr);

    // State change: "T" on white for state 1, "F" on black otherwise.
    void onStateChangeHandler(const ScalarEvent &state);
    // Actions: pop-up item index -> library code.
    void setPowerSupply(int item);
    void setInputMode(int item);

    AttachBox *settingsBox;   // the one configurable device
    QComboBox *powerSupplyCombo;
    QComboBox *inputModeCombo;
    AttachBox *dataBox;
    QLabel *stateTextField;
    QFrame *stateBox;

protected:
    void registerValueHandlers() override;
    void onAttach() override;

private:
    // Shows the power supply and input mode the channel holds.
    void readSettings();

private:
    ValueStream<ScalarEvent> &stateChange;
};

}   // namespace tindrel
