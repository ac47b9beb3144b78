#pragma once

// What the voltage input and voltage ratio windows decide without a window:
// the sensor lists, the range and gain tables and which entries a device
// offers and selects, and the value texts.
#include "WindowLogic.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

namespace tindrel::voltage {

// The sensor pop-ups: row 0 is the plain input (code 0), then every sensor
// of the library's list for that input, in list order.
std::span<const CodeTitle> voltageSensors();   // 35 rows
std::span<const CodeTitle> ratioSensors();     // 49 rows
QStringList sensorTitles(std::span<const CodeTitle> list);
// The code of the first row whose text equals title exactly; 0 when none.
int sensorCodeForTitle(std::span<const CodeTitle> list, QStringView title);
// The row of the pop-up that shows code; -1 for a code not in the list.
int sensorRowForCode(std::span<const CodeTitle> list, int code);

// Voltage range codes and titles.
inline constexpr std::array<CodeTitle, 11> voltageRanges{{
    {"10 mV", 1},
    {"40 mV", 2},
    {"200 mV", 3},
    {"312.5 mV", 4},
    {"400 mV", 5},
    {"1000 mV", 6},
    {"2 V", 7},
    {"5 V", 8},
    {"15 V", 9},
    {"40 V", 10},
    {"Automatic", 11},
}};

// Which groups a voltage input device shows.
bool hasSensorPort(int deviceId);     // 6, 7, 42, 45, 51, 97
bool hasVoltageRange(int deviceId);   // 49, 92, 93, 94
bool hasPowerSupply(int deviceId);    // 55
// The range pop-up of a device, in pop-up order (empty for other devices).
QStringList rangeTitles(int deviceId);
// The title to select for a range code read from the device; none selects nothing.
std::optional<QString> rangeTitleToSelect(int deviceId, int code);

// Bridge gain codes and titles.
inline constexpr std::array<CodeTitle, 8> bridgeGains{{
    {"1x", 1},
    {"2x", 2},
    {"4x", 3},
    {"8x", 4},
    {"16x", 5},
    {"32x", 6},
    {"64x", 7},
    {"128x", 8},
}};
inline constexpr int sensorPortSubclass = 64;
inline constexpr int bridgeSubclass = 65;
// The gains a bridge device offers: six on device 24, all eight elsewhere.
QStringList gainTitles(int deviceId);
// Codes 1 to 7 by the table; any other code "128x".
QString gainTitleToSelect(int code);

// The sensor power supply pop-up of device 55.
inline constexpr std::array<CodeTitle, 3> powerSupplies{{{"Off", 1}, {"12 V", 2}, {"24 V", 3}}};

// Value texts.
QString voltageText(double volts);                             // "%0.4f V"
QString ratioText(double ratio, int channelSubclass);          // "%.3e V/V" on a bridge, else "%.3f V/V"
QString sensorText(double value, const QString &unitSymbol);   // "%0.3f " and the symbol

}   // namespace tindrel::voltage
