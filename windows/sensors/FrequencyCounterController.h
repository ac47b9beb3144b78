#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"

#include <tindrel22.h>

#include <QLabel>

class QLineEdit;
class QPushButton;

namespace tindrel {

// Shows a frequency counter's counts, frequency and total; sets its filter,
// cutoff, enable and data interval, and on the isolated input module its
// sensor power supply and input mode instead of filter and enable.
class FrequencyCounterController : public ExampleWindowOf<FrequencyCounterController> {
public:
    FrequencyCounterController();

    static constexpr int isolatedInputDeviceId = 55;

    void onCountChangeHandler(const CountEvent &counts);
    void onFrequencyChangeHandler(const ScalarEvent &frequency);
    // The cutoff field's action.
    void setCutoff();
    // The reset button's action.
    void resetData();

    AttachBox *settingsBox;
    PropertyCheck *enabledCheck;
    QWidget *filterTypeBox;
    QLabel *filterTypeTitle;
    PropertyPopup *filterTypeCombo;
    QLineEdit *cutoffText;
    PropertySliderBox *dataIntervalBox;
    AttachBox *powerSupplyBox;
    PropertyPopup *powerSupplyCombo;
    PropertyPopup *inputModeCombo;
    AttachBox *dataBox;
    QLabel *countEventText;
    QLabel *pulsesInText;
    QLabel *frequencyText;
    QLabel *totalCountText;
    QPushButton *resetButton;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;

private:
    void showTotalCount();
    ValueStream<CountEvent> &countChange;
    ValueStream<ScalarEvent> &frequencyChange;
};

}   // namespace tindrel
