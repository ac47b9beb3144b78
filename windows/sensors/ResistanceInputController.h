#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

class PropertyPopup;

// Shows the resistance an input measures and its wiring; both sliders send
// as they move.
class ResistanceInputController : public SingleValueWindowOf<ResistanceInputController> {
public:
    ResistanceInputController();

    QLabel *const resistanceText = valueText;
    AttachBox *wiringBox;
    PropertyPopup *rtdWireSetupCombo;
};

}   // namespace tindrel
