#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

class QLineEdit;

namespace tindrel {

// Shows the pH a probe reports and lets the user set the temperature the
// reading is corrected for.
class PHSensorController : public SingleValueWindowOf<PHSensorController> {
public:
    PHSensorController();

    // The correction field's action: sends the entered temperature.
    void setTemperatureCorrection();

    QLabel *const pHText = valueText;
    AttachBox *extraSettingsBox;
    QLineEdit *temperatureCorrectionTextField;

protected:
    void onAttach() override;
};

}   // namespace tindrel
