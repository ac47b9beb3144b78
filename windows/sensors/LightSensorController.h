#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

// Shows the illuminance a sensor reports, with its data interval and change trigger.
class LightSensorController : public SingleValueWindowOf<LightSensorController> {
public:
    LightSensorController()
        : SingleValueWindowOf(
              ChannelHandle::opsFor<TindrelLightSensorHandle, TindrelLightSensor_create, TindrelLightSensor_delete>(),
              QStringLiteral("Light Sensor"), TINDREL_RANGED(LightSensor, DataInterval),
              TINDREL_RANGED(LightSensor, IlluminanceChangeTrigger), "%0.1f lx",
              {QStringLiteral("Illuminance"), {QStringLiteral("Illuminance"), QStringLiteral("lx")}, "%0.2f lx"},
              &TindrelLightSensor_setOnIlluminanceChangeHandler)
    { }

    QLabel *const illuminanceText = valueText;
};

}   // namespace tindrel
