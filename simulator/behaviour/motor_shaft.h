// The simulated motor shafts, one per motor of a device, shared by every
// channel of that device that drives or senses it (the motor channel, its
// position and velocity controllers, an encoder on the same board).
// Callers hold the engine lock.
#pragma once

#include "../sim_internal.h"
#include "motor_model.h"

#include <string>

namespace tsim {

// Channels of this class drive a motor shaft of their device (the one of
// their index).
bool drivesShaft(Tindrel_ChannelClass cls);

// Shaft position of motor `motorIndex` of a device in encoder counts;
// false when the device has no simulated shaft with that index yet.
bool shaftPosition(const DeviceInfo &device, int motorIndex, double &counts);

// Conditions of a shaft set from outside: "load" (torque against positive
// motion, as a fraction of the stall torque, -1..1), "hold" (1 blocks the
// shaft, 0 frees it), "connection" (0 cuts the motor leads, 1 mends them).
TindrelReturnCode setShaftCondition(const std::string &deviceId, int motorIndex, const std::string &what, double value);

// Position offsets of the motor classes that keep their position with the
// shaft (brushless motor, position controller).
TindrelReturnCode motorPositionOffset(Channel &c, double offset);

}   // namespace tsim
