#include "MotorLogic.h"

#include <QSettings>

#include <algorithm>
#include <array>
#include <cmath>

namespace tindrel::motors {

int dcFanModeFor(int index)
{
    switch (index) {
    case 0:
        return 2;
    case 1:
        return 1;
    default:
        return 3;
    }
}

std::optional<int> fanModeFor(int index)
{
    if (index < 0 || index > 2)
        return std::nullopt;
    return dcFanModeFor(index);
}

std::optional<int> ioModeFor(int index)
{
    if (index < 0 || index > 4)
        return std::nullopt;
    return index + 1;
}

bool SavedSetting::appliesTo(int deviceId) const
{
    return deviceIds.empty() || std::find(deviceIds.begin(), deviceIds.end(), deviceId) != deviceIds.end();
}

namespace {

constexpr std::array<int, 1> only108{108};
constexpr std::array<int, 2> with57or110{110, 57};
constexpr std::array<int, 1> only57{57};
constexpr std::array<int, 4> velocityCurrentLimit{57, 110, 128, 150};

constexpr SavedSetting position[] = {
    {0, "rescaleFactor", {}},
    {1, "kp", {}},
    {2, "ki", {}},
    {3, "kd", {}},
    {4, "acceleration", {}},
    {5, "velocityLimit", {}},
    {6, "deadband", {}},
    {7, "stallVelocity", only108},
    {8, "currentLimit", with57or110},
    {9, "currentRegulatorGain", only57},
    {10, "encoderIOMode", only57},
};

constexpr SavedSetting velocity[] = {
    {0, "MVCrescaleFactor", {}},
    {1, "MVCkp", {}},
    {2, "MVCki", {}},
    {3, "MVCkd", {}},
    {4, "MVCacceleration", {}},
    {5, "MVCdeadband", {}},
    {6, "MVCcurrentLimit", velocityCurrentLimit},
};

constexpr std::array<int, 3> cells110{7, 9, 10};
constexpr std::array<int, 3> cells108{8, 9, 10};
constexpr std::array<int, 1> cells57{7};

}   // namespace

std::span<const SavedSetting> positionSettings() { return position; }
std::span<const SavedSetting> velocitySettings() { return velocity; }

std::span<const int> disabledPositionCells(int deviceId)
{
    switch (deviceId) {
    case 110:
        return cells110;
    case 108:
        return cells108;
    case 57:
        return cells57;
    default:
        return {};
    }
}

std::optional<double> savedDouble(const QSettings &defaults, const char *key)
{
    const QString name = QString::fromLatin1(key);
    if (!defaults.contains(name))
        return std::nullopt;
    bool ok = false;
    const double v = defaults.value(name).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

double fieldNumber(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

}   // namespace tindrel::motors
