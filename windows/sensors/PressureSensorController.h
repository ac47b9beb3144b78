#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

// Shows the pressure a sensor reports, with its data interval and change trigger.
class PressureSensorController : public SingleValueWindowOf<PressureSensorController> {
public:
    PressureSensorController()
        : SingleValueWindowOf(
              ChannelHandle::opsFor<TindrelPressureSensorHandle, TindrelPressureSensor_create,
                                    TindrelPressureSensor_delete>(),
              QStringLiteral("Pressure Sensor"), TINDREL_RANGED(PressureSensor, DataInterval),
              TINDREL_RANGED(PressureSensor, PressureChangeTrigger), "%0.1f kPa",
              {QStringLiteral("Pressure"), {QStringLiteral("Pressure"), QStringLiteral("kPa")}, "%0.3f kPa"},
              &TindrelPressureSensor_setOnPressureChangeHandler)
    { }

    QLabel *const pressureText = valueText;
};

}   // namespace tindrel
