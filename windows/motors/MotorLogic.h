#pragma once

// Rules of the motor windows that need no window: the fan and encoder IO mode codes, and the saved control-loop settings
// with the devices each applies to.
#include <QString>

#include <optional>
#include <span>

class QSettings;

namespace tindrel::motors {

// Fan mode code for the fan mode pop-up's item index (0: 2, 1: 1, other: 3).
int dcFanModeFor(int index);
// The fan mode pop-ups' item titles, in item order: the codes above are
// on (2), off (1) and automatic (3).
inline constexpr const char *fanModeTitles[] = {"On", "Off", "Automatic"};
// As above for the position controller: indexes outside 0 to 2 have no code.
std::optional<int> fanModeFor(int index);
// Encoder IO mode code for item index 0 to 4 (1 to 5); none otherwise.
std::optional<int> ioModeFor(int index);

// One saved setting: its tag (the cell of the selection panel), its key in
// the user defaults, and the device IDs it is applied to (empty: any).
struct SavedSetting {
    int tag;
    const char *key;
    std::span<const int> deviceIds;
    bool appliesTo(int deviceId) const;
};

// The position controller's eleven settings (tags 0 to 10) and its step key.
std::span<const SavedSetting> positionSettings();
inline constexpr const char *positionIncrementKey = "increment";
// The velocity controller's seven settings (tags 0 to 6) and its step key.
std::span<const SavedSetting> velocitySettings();
inline constexpr const char *velocityIncrementKey = "MVCincrement";

// Cells of the position controller's panel disabled for a device.
std::span<const int> disabledPositionCells(int deviceId);

// The user defaults' value under key as a double, when it holds one.
std::optional<double> savedDouble(const QSettings &defaults, const char *key);
// A field's text as the number it shows; 0 for text that is not a number.
double fieldNumber(const QString &text);

}   // namespace tindrel::motors
