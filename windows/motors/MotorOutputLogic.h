#pragma once

// Rules of the stepper, RC servo, voltage output and power guard windows
// that need no window: which devices show which rows, the failsafe timer
// periods and the pop-up code mappings.
#include <chrono>
#include <initializer_list>
#include <optional>

namespace tindrel::motors {

inline bool idIn(int id, std::initializer_list<int> ids)
{
    for (int i : ids)
        if (i == id)
            return true;
    return false;
}

// Stepper: no current limit row on device 39; the holding current row and
// the failsafe box on the devices with a failsafe.
inline bool stepperHasCurrentLimit(int deviceId) { return deviceId != 39; }
inline bool stepperHasFailsafe(int deviceId) { return idIn(deviceId, {86, 115, 118, 119, 149}); }
// Half-width of the target range in step mode.
inline double stepperTargetHalfWidth(double rescaleFactor) { return 10000.0 * rescaleFactor; }

// The failsafe display falls by a tenth every t/10; the reset runs every t/2.
struct FailsafePeriods {
    std::chrono::milliseconds display;
    std::chrono::milliseconds reset;
};
inline FailsafePeriods failsafePeriods(int failsafeMs)
{
    return {std::chrono::milliseconds(failsafeMs / 10), std::chrono::milliseconds(failsafeMs / 2)};
}

// RC servo branches.
enum class ServoLayout { DataInterval, SupplyVoltage, Plain };
inline ServoLayout servoLayout(int deviceId)
{
    if (idIn(deviceId, {38, 43}))
        return ServoLayout::DataInterval;
    if (deviceId == 80)
        return ServoLayout::SupplyVoltage;
    return ServoLayout::Plain;
}
inline bool servoHasTargetReached(int deviceId) { return servoLayout(deviceId) != ServoLayout::Plain || deviceId == 3; }
inline bool servoHasAdvancedControls(int deviceId) { return idIn(deviceId, {38, 43, 80}); }
// Height the window grows by at attach.
inline int servoExtraHeight(int deviceId) { return servoLayout(deviceId) == ServoLayout::Plain ? 330 : 525; }
// Supply voltage item index to the library's code; nothing for another index.
inline std::optional<int> servoVoltageCode(int index)
{
    if (index >= 0 && index <= 2)
        return index + 1;
    return std::nullopt;
}

// Voltage output branches.
inline bool voltageOutputHasRangeSwitch(int deviceId) { return idIn(deviceId, {76, 77}); }
inline bool voltageOutputHasEnable(int deviceId) { return idIn(deviceId, {75, 4}); }

// Power guard fan mode: item 0 is code 2 (on), item 1 code 1 (off), any
// other item code 3 (automatic); the same mapping back.
inline int fanModeCodeForIndex(int index)
{
    if (index == 0)
        return 2;
    if (index == 1)
        return 1;
    return 3;
}
inline std::optional<int> fanModeIndexForCode(int code)
{
    switch (code) {
    case 2:
        return 0;
    case 1:
        return 1;
    case 3:
        return 2;
    default:
        return std::nullopt;
    }
}

}   // namespace tindrel::motors
