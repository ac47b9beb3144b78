// Calls of the motion sensors that act on the simulated body (methods.cpp).
#pragma once

#include "../sim_internal.h"

namespace tsim::behaviour {

// Gyroscope: takes what the sensor reads now (at rest: its bias) as zero.
void zeroGyroscope(Channel &c);
// Magnetometer correction of a device's field readings: strength, three
// offsets, three gains and six cross terms, applied as
//   corrected = strength * M * (raw - offset)
// with M's diagonal the gains and T0..T5 its off-diagonal terms in row
// order (M01, M02, M10, M12, M20, M21). Reset returns to the raw field;
// save keeps the present parameters for later sessions.
void setMagnetometerCorrection(Channel &c, const double parameters[13]);
void resetMagnetometerCorrection(Channel &c);
void saveMagnetometerCorrection(Channel &c);

}   // namespace tsim::behaviour
