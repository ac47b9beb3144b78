#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

namespace tindrel {

// Shows the humidity a sensor reports, with its data interval and change trigger.
class HumiditySensorController : public SingleValueWindowOf<HumiditySensorController> {
public:
    HumiditySensorController()
        : SingleValueWindowOf(
              ChannelHandle::opsFor<TindrelHumiditySensorHandle, TindrelHumiditySensor_create,
                                    TindrelHumiditySensor_delete>(),
              QStringLiteral("Humidity Sensor"), TINDREL_RANGED(HumiditySensor, DataInterval),
              TINDREL_RANGED(HumiditySensor, HumidityChangeTrigger), "%0.1f%%",
              {QStringLiteral("Humidity"), {QStringLiteral("Humidity"), QStringLiteral("%")}, "%0.2f%%"},
              &TindrelHumiditySensor_setOnHumidityChangeHandler)
    { }

    QLabel *const humidityText = valueText;
};

}   // namespace tindrel
