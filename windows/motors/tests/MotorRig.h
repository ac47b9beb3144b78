#pragma once

#include "tindrelsim.h"

// The motor devices the motor window tests open, one per device-ID branch.
inline const char *const motorRig = R"({
  "devices": [
    {"id": "m37", "deviceId": 37, "class": 2, "serial": 3700, "name": "Motor 37", "channels": [{"class": "DCMotor"}]},
    {"id": "m41", "deviceId": 41, "class": 2, "serial": 4100, "name": "Motor 41", "channels": [{"class": "DCMotor"}]},
    {"id": "m42", "deviceId": 42, "class": 2, "serial": 4200, "name": "Motor 42", "channels": [{"class": "DCMotor"}]},
    {"id": "m57", "deviceId": 57, "class": 2, "serial": 5700, "name": "Motor 57",
     "channels": [{"class": "DCMotor"}, {"class": "MotorPositionController"}, {"class": "MotorVelocityController"}]},
    {"id": "m110", "deviceId": 110, "class": 2, "serial": 11000, "name": "Motor 110",
     "channels": [{"class": "DCMotor"}, {"class": "MotorPositionController"}, {"class": "MotorVelocityController"}]},
    {"id": "m64", "deviceId": 64, "class": 2, "serial": 6400, "name": "Motor 64", "channels": [{"class": "DCMotor"}]},
    {"id": "m108", "deviceId": 108, "class": 2, "serial": 10800, "name": "Motor 108",
     "channels": [{"class": "BLDCMotor"}, {"class": "MotorPositionController"}, {"class": "MotorVelocityController"}]},
    {"id": "m128", "deviceId": 128, "class": 2, "serial": 12800, "name": "Motor 128",
     "channels": [{"class": "MotorPositionController"}, {"class": "MotorVelocityController"}]}
  ]
})";

inline double simValue(const char *device, Tindrel_ChannelClass cls, const char *property)
{
    double v = -12345;
    TindrelSim_getPropertyValue(device, cls, 0, property, &v);
    return v;
}
