#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

class PropertyPopup;

// Shows the current an input measures; on the isolated input module also
// the sensor power supply.
class CurrentInputController : public SingleValueWindowOf<CurrentInputController> {
public:
    CurrentInputController();

    // The device whose current input powers its sensor.
    static constexpr int powerSupplyDeviceId = 55;

    QLabel *const currentText = valueText;
    AttachBox *powerSupplyBox;
    PropertyPopup *powerSupplyCombo;
};

}   // namespace tindrel
