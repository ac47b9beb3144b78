#pragma once

#include "SingleValueWindow.h"

#include <tindrel22.h>

#include <array>

namespace tindrel {

class PropertyCheck;

// Shows the distance a range finder measures; the ultrasonic one also shows
// its echoes and can be kept quiet.
class DistanceSensorController : public SingleValueWindowOf<DistanceSensorController> {
public:
    DistanceSensorController();

    static constexpr int sonarDeviceId = 59;

    void onSonarReflectionsUpdateHandler(const ReflectionsEvent &echoes);

    QLabel *const currentText = valueText;
    AttachBox *reflectionsBox;
    PropertyCheck *quietModeCheck;
    QLabel *countText;
    // Distances (tags 0 to 7) and amplitudes (tags 8 to 15) of the echoes.
    std::array<QLabel *, 2 * ReflectionsEvent::maxEchoes> echoLabels{};

protected:
    void registerValueHandlers() override;

private:
    ValueStream<ReflectionsEvent> &reflections;
};

}   // namespace tindrel
