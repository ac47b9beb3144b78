#include "DistanceSensorController.h"

#include "WindowLogic.h"

#include <QGridLayout>

namespace tindrel {

namespace {
std::vector<FieldInfo> echoFields()
{
    std::vector<FieldInfo> fields;
    for (std::size_t i = 0; i < ReflectionsEvent::maxEchoes; ++i)
        fields.push_back({QStringLiteral("Echo %1 distance").arg(i + 1), QStringLiteral("mm")});
    for (std::size_t i = 0; i < ReflectionsEvent::maxEchoes; ++i)
        fields.push_back({QStringLiteral("Echo %1 amplitude").arg(i + 1), QString()});
    fields.push_back({QStringLiteral("Echoes"), QString()});
    return fields;
}
}   // namespace

DistanceSensorController::DistanceSensorController()
    : SingleValueWindowOf(ChannelHandle::opsFor<TindrelDistanceSensorHandle, TindrelDistanceSensor_create,
                                                TindrelDistanceSensor_delete>(),
                          QStringLiteral("Distance Sensor"), TINDREL_RANGED(DistanceSensor, DataInterval),
                          TINDREL_RANGED(DistanceSensor, DistanceChangeTrigger), "%d mm",
                          {QStringLiteral("Distance"), {QStringLiteral("Distance"), QStringLiteral("mm")}, "%d mm"},
                          &TindrelDistanceSensor_setOnDistanceChangeHandler)
    , reflectionsBox(new AttachBox(QStringLiteral("Sonar Reflections"), this,
                                   [this] { return identity().deviceId == sonarDeviceId; }))
    , quietModeCheck(new PropertyCheck(QStringLiteral("Quiet mode"), this,
                                       TINDREL_PROPERTY(DistanceSensor, SonarQuietMode), reflectionsBox))
    , countText(new QLabel(reflectionsBox))
    , reflections(
          addStream<ReflectionsEvent>(QStringLiteral("Sonar Reflections"), echoFields(),
                                      [this](const ReflectionsEvent &e) { onSonarReflectionsUpdateHandler(e); }))
{
    quietModeCheck->readWhen = [this] { return identity().deviceId == sonarDeviceId; };
    auto *grid = new QGridLayout(reflectionsBox);
    grid->addWidget(quietModeCheck, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Echoes:"), reflectionsBox), 1, 0);
    grid->addWidget(countText, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Distance (mm)"), reflectionsBox), 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Amplitude"), reflectionsBox), 2, 2);
    for (int i = 0; i < static_cast<int>(ReflectionsEvent::maxEchoes); ++i) {
        grid->addWidget(new QLabel(QStringLiteral("%1").arg(i + 1), reflectionsBox), 3 + i, 0);
        for (int column = 0; column < 2; ++column) {
            auto *label = new QLabel(reflectionsBox);
            const int tag = i + column * static_cast<int>(ReflectionsEvent::maxEchoes);
            label->setProperty("tag", tag);
            echoLabels[static_cast<std::size_t>(tag)] = label;
            grid->addWidget(label, 3 + i, 1 + column);
        }
    }
    contentLayout()->addWidget(reflectionsBox);
}

void DistanceSensorController::registerValueHandlers()
{
    SingleValueWindowOf::registerValueHandlers();
    subscribe(&TindrelDistanceSensor_setOnSonarReflectionsUpdateHandler, reflections);
}

void DistanceSensorController::onSonarReflectionsUpdateHandler(const ReflectionsEvent &echoes)
{
    countText->setText(QString::number(echoes.count));
    for (std::size_t i = 0; i < ReflectionsEvent::maxEchoes; ++i) {
        const bool valid = i < echoes.count;
        echoLabels[i]->setText(valid ? QString::number(echoes.distances[i]) : QString());
        echoLabels[ReflectionsEvent::maxEchoes + i]->setText(valid ? QString::number(echoes.amplitudes[i]) : QString());
    }
}

}   // namespace tindrel
