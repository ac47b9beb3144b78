#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

class PropertyPopup;

// Shows the temperature a sensor reports; thermocouple inputs also choose
// their thermocouple type, resistance thermometer inputs their RTD type and
// wiring. The change trigger appears only where it can be changed.
class TemperatureSensorController : public SingleValueWindowOf<TemperatureSensorController> {
public:
    TemperatureSensorController();

    static constexpr int rtdSubclass = 32;
    static constexpr int thermocoupleSubclass = 33;

    QLabel *const temperatureText = valueText;
    QLabel *settingsLabel;
    AttachBox *thermocoupleBox;
    PropertyPopup *thermocoupleTypeCombo;
    AttachBox *rtdBox;
    PropertyPopup *rtdTypeCombo;
    PropertyPopup *rtdSetupCombo;

protected:
    void onAttach() override;
    void onDetach() override;
};

}   // namespace tindrel
