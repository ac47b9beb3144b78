#include "CountingLogic.h"

#include "WindowLogic.h"

#include <cmath>

namespace tindrel::counting {

std::optional<int32_t> countsPerRevolution(const QString &entered)
{
    bool ok = false;
    const qlonglong value = entered.trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    if (value < -1)
        return -1;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<double> rpm(int32_t positionChange, double timeChangeMs, int32_t countsPerRevolution)
{
    if (countsPerRevolution == -1)
        return std::nullopt;
    return static_cast<double>(positionChange) * 60000.0 / timeChangeMs / static_cast<double>(countsPerRevolution);
}

QString rpmText(double rpm)
{
    if (std::isinf(rpm))
        return rpm > 0 ? QStringLiteral("inf RPM") : QStringLiteral("-inf RPM");
    if (std::isnan(rpm))
        return QStringLiteral("nan RPM");
    return formatNumber("%0.1f RPM", rpm);
}

}   // namespace tindrel::counting
