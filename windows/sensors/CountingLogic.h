#pragma once

// Arithmetic of the counting input windows, kept apart from the widgets.
#include <QString>

#include <cstdint>
#include <optional>

namespace tindrel::counting {

// Counts per revolution as the user entered them: -1 means not set, and any
// value below -1 is stored as -1. Text that is no whole number gives nothing.
std::optional<int32_t> countsPerRevolution(const QString &entered);

// Shaft speed in RPM of a position change over timeChangeMs, in double
// precision throughout (a large change times 60000 does not overflow); 0
// counts per revolution gives an infinite speed. Nothing while counts per
// revolution is not set (-1).
std::optional<double> rpm(int32_t positionChange, double timeChangeMs, int32_t countsPerRevolution);

// "%0.1f RPM" of a speed, "inf RPM" and "-inf RPM" for the infinite ones.
QString rpmText(double rpm);

}   // namespace tindrel::counting
