#pragma once

#include "WindowLogic.h"

#include <QStringList>

#include <array>

namespace tindrel::digital {

// LED forward voltage: pop-up titles and the library codes they stand for.
inline constexpr std::array<CodeTitle, 8> forwardVoltages{{
    {"1.7 V", 1},
    {"2.75 V", 2},
    {"3.2 V", 3},
    {"3.9 V", 4},
    {"4.0 V", 5},
    {"4.8 V", 6},
    {"5.0 V", 7},
    {"5.6 V", 8},
}};

// The forward voltages a device offers, in pop-up order (none for most devices).
QStringList forwardVoltageChoices(int deviceId);

// The title to select for a forward-voltage code read from the channel:
// codes 1 to 7 by the table, anything else "5.6 V".
QString forwardVoltageTitleToSelect(int code);

inline constexpr int ledDriverSubclass = 17;
// Subclasses whose output can be dimmed (duty cycle).
bool hasDutyCycle(int channelSubclass);

// Digital input pop-ups: item index <-> library code.
int powerSupplyCodeForItem(int item);
int powerSupplyItemForCode(int code);
int inputModeCodeForItem(int item);
int inputModeItemForCode(int code);

// The only digital input device with input mode and power supply settings.
inline constexpr int configurableInputDeviceId = 55;

}   // namespace tindrel::digital
