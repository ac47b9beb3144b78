#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"

#include <tindrel22.h>

#include <QLabel>

class QFrame;

namespace tindrel {

// Shows whether a capacitive touch input is touched and its touch value;
// sets its data interval and change trigger, and on the keypad and slider
// boards its sensitivity. Touches and their ends are shown in the order the
// input reported them.
class CapacitiveTouchController : public ExampleWindowOf<CapacitiveTouchController>, private EventSink {
public:
    CapacitiveTouchController();
    ~CapacitiveTouchController() override;

    static bool hasSensitivity(int deviceId) { return deviceId == 61 || deviceId == 62; }

    void onTouchHandler(const ScalarEvent &touchValue);
    void onTouchEndHandler();

    AttachBox *settingsBox;
    PropertySliderBox *changeTriggerBox;
    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *extraSettingsBox;   // sensitivity
    AttachBox *dataBox;
    QFrame *stateBox;
    QLabel *stateText;
    QLabel *touchInputValueText;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;

private:
    void takeEvent(const EventSample &sample) override;
    void showState(bool touched);
    ValueStream<ScalarEvent> &touch;
    ValueStream<NoValueEvent> &touchEnd;
    // The kind of the last touch event taken in, in the order they came.
    enum class Last { None, Touch, End } last_ = Last::None;
};

}   // namespace tindrel
