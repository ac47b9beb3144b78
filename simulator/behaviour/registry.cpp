// The one table of per-class behaviour hooks; the hooks themselves live in
// the family files beside this one (devices, sensors, motors). A new class
// adds its hooks in its family file and one row here.
#include "common.h"

namespace tsim {

namespace {

using namespace behaviour;

struct HookRow {
    Tindrel_ChannelClass cls;
    const ClassHooks *hooks;
};
const HookRow kHooks[] = {
    {TINDREL_CHCLASS_DIGITALOUTPUT, &kDigitalOutputHooks},
    {TINDREL_CHCLASS_DIGITALINPUT, &kDigitalInputHooks},
    {TINDREL_CHCLASS_VOLTAGEINPUT, &kVoltageInputHooks},
    {TINDREL_CHCLASS_VOLTAGERATIOINPUT, &kVoltageRatioHooks},
    {TINDREL_CHCLASS_TEMPERATURESENSOR, &kTemperatureHooks},
    {TINDREL_CHCLASS_SOUNDSENSOR, &kSoundHooks},
    {TINDREL_CHCLASS_DISTANCESENSOR, &kDistanceHooks},
    {TINDREL_CHCLASS_CURRENTINPUT, &kPowerSupply55Hooks},
    {TINDREL_CHCLASS_ENCODER, &kEncoderHooks},
    {TINDREL_CHCLASS_FREQUENCYCOUNTER, &kFrequencyCounterHooks},
    {TINDREL_CHCLASS_CAPACITIVETOUCH, &kTouchHooks},
    {TINDREL_CHCLASS_DCMOTOR, &kDCMotorHooks},
    {TINDREL_CHCLASS_BLDCMOTOR, &kBLDCHooks},
    {TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER, &kMPCHooks},
    {TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER, &kMVCHooks},
    {TINDREL_CHCLASS_STEPPER, &kStepperHooks},
    {TINDREL_CHCLASS_RCSERVO, &kServoHooks},
    {TINDREL_CHCLASS_VOLTAGEOUTPUT, &kVoltageOutputHooks},
    {TINDREL_CHCLASS_LCD, &kLCDHooks},
    {TINDREL_CHCLASS_DATAADAPTER, &kDataAdapterHooks},
    {TINDREL_CHCLASS_POWERGUARD, &kPowerGuardHooks},
    // Motion sensing
    {TINDREL_CHCLASS_ACCELEROMETER, &kAccelerometerHooks},
    {TINDREL_CHCLASS_GYROSCOPE, &kGyroscopeHooks},
    {TINDREL_CHCLASS_MAGNETOMETER, &kMagnetometerHooks},
    {TINDREL_CHCLASS_SPATIAL, &kSpatialHooks},
};

}   // namespace

const ClassHooks *hooksFor(Tindrel_ChannelClass cls)
{
    for (const auto &r : kHooks)
        if (r.cls == cls)
            return r.hooks;
    return methodHooksFor(cls);
}

void sensorUnit(const Channel &c, Tindrel_UnitInfo &u)
{
    if (c.info->cls->hooks && c.info->cls->hooks->unit)
        c.info->cls->hooks->unit(c, u);
}

}   // namespace tsim
