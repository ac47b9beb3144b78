#include "VoltageLogic.h"

#include <algorithm>

namespace tindrel::voltage {

namespace {

constexpr CodeTitle voltageList[] = {
    {"Generic Voltage Sensor", 0},
#define TINDREL_VOLTAGE_SENSOR(code, name, law, a, b, lo, hi, unit) {name, code},
#define TINDREL_RATIO_SENSOR(code, name, law, a, b, lo, hi, unit)
#include <tindrel22_sensors.def>
#undef TINDREL_VOLTAGE_SENSOR
#undef TINDREL_RATIO_SENSOR
};

constexpr CodeTitle ratioList[] = {
    {"Generic ratiometric sensor", 0},
#define TINDREL_VOLTAGE_SENSOR(code, name, law, a, b, lo, hi, unit)
#define TINDREL_RATIO_SENSOR(code, name, law, a, b, lo, hi, unit) {name, code},
#include <tindrel22_sensors.def>
#undef TINDREL_VOLTAGE_SENSOR
#undef TINDREL_RATIO_SENSOR
};

bool in(int v, std::initializer_list<int> set) { return std::find(set.begin(), set.end(), v) != set.end(); }

}   // namespace

std::span<const CodeTitle> voltageSensors() { return voltageList; }
std::span<const CodeTitle> ratioSensors() { return ratioList; }

QStringList sensorTitles(std::span<const CodeTitle> list)
{
    QStringList titles;
    for (const auto &row : list)
        titles.append(QString::fromLatin1(row.title));
    return titles;
}

int sensorCodeForTitle(std::span<const CodeTitle> list, QStringView title)
{
    return codeForTitle(list, title).value_or(0);
}

bool hasSensorPort(int deviceId) { return in(deviceId, {6, 7, 42, 45, 51, 97}); }
bool hasVoltageRange(int deviceId) { return in(deviceId, {49, 92, 93, 94}); }
bool hasPowerSupply(int deviceId) { return deviceId == 55; }

QStringList rangeTitles(int deviceId)
{
    switch (deviceId) {
    case 49:
        return {"400 mV", "2 V"};
    case 92:
        return {"312.5 mV", "40 V"};
    case 93:
        return {"5 V", "15 V", "40 V", "Automatic"};
    case 94:
        return {"10 mV", "40 mV", "200 mV", "1000 mV", "Automatic"};
    default:
        return {};
    }
}

std::optional<QString> rangeTitleToSelect(int deviceId, int code)
{
    const QStringList titles = rangeTitles(deviceId);
    switch (deviceId) {
    case 49:
        if (code == 5 || code == 7)
            return titleForCode(voltageRanges, code);
        return std::nullopt;
    case 92:
        // Any code other than 312.5 mV is the 40 V range.
        return titles.at(code == 4 ? 0 : 1);
    case 93:
        if (code >= 8 && code <= 11)
            return titles.at(code - 8);
        return std::nullopt;
    case 94:
        if (in(code, {1, 2, 3, 6, 11}))
            return titleForCode(voltageRanges, code);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

QStringList gainTitles(int deviceId)
{
    if (deviceId == 24)
        return {"1x", "8x", "16x", "32x", "64x", "128x"};
    return sensorTitles(bridgeGains);
}

QString gainTitleToSelect(int code)
{
    if (code >= 1 && code <= 7)
        return *titleForCode(bridgeGains, code);
    return QStringLiteral("128x");
}

QString voltageText(double volts) { return formatNumber("%0.4f V", volts); }

QString ratioText(double ratio, int channelSubclass)
{
    return formatNumber(channelSubclass == bridgeSubclass ? "%.3e V/V" : "%.3f V/V", ratio);
}

int sensorRowForCode(std::span<const CodeTitle> list, int code)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].code == code)
            return static_cast<int>(i);
    return -1;
}

QString sensorText(double value, const QString &unitSymbol) { return formatNumber("%0.3f ", value) + unitSymbol; }

}   // namespace tindrel::voltage
