#include "TemperatureSensorController.h"

#include <QFormLayout>

namespace tindrel {

namespace {
constexpr CodeTitle thermocoupleTypes[] = {{"Type J", 1}, {"Type K", 2}, {"Type E", 3}, {"Type T", 4}};
constexpr CodeTitle rtdTypes[] = {
    {"100 Ω, 0.00385", 1}, {"1000 Ω, 0.00385", 2}, {"100 Ω, 0.00392", 3}, {"1000 Ω, 0.00392", 4}};
constexpr CodeTitle wireSetups[] = {{"2-Wire", 1}, {"3-Wire", 2}, {"4-Wire", 3}};
}   // namespace

TemperatureSensorController::TemperatureSensorController()
    : SingleValueWindowOf(
          ChannelHandle::opsFor<TindrelTemperatureSensorHandle, TindrelTemperatureSensor_create,
                                TindrelTemperatureSensor_delete>(),
          QStringLiteral("Temperature Sensor"), TINDREL_RANGED(TemperatureSensor, DataInterval),
          TINDREL_RANGED(TemperatureSensor, TemperatureChangeTrigger), "%0.3f ºC",
          {QStringLiteral("Temperature"), {QStringLiteral("Temperature"), QStringLiteral("ºC")}, "%0.3f ºC"},
          &TindrelTemperatureSensor_setOnTemperatureChangeHandler)
    , settingsLabel(new QLabel(QStringLiteral("Settings"), this))
    , thermocoupleBox(new AttachBox(QStringLiteral("Thermocouple"), this,
                                    [this] { return identity().subclass == thermocoupleSubclass; }))
    , thermocoupleTypeCombo(new PropertyPopup(thermocoupleTypes, this,
                                              TINDREL_PROPERTY(TemperatureSensor, ThermocoupleType), thermocoupleBox))
    , rtdBox(new AttachBox(QStringLiteral("Resistance Thermometer"), this,
                           [this] { return identity().subclass == rtdSubclass; }))
    , rtdTypeCombo(new PropertyPopup(rtdTypes, this, TINDREL_PROPERTY(TemperatureSensor, RTDType), rtdBox))
    , rtdSetupCombo(new PropertyPopup(wireSetups, this, TINDREL_PROPERTY(TemperatureSensor, RTDWireSetup), rtdBox))
{
    thermocoupleTypeCombo->showWholeTable();
    thermocoupleTypeCombo->readWhen = [this] { return identity().subclass == thermocoupleSubclass; };
    // Types 1 to 3 by their entry; anything else shows the last entry.
    thermocoupleTypeCombo->selectFor = [](int code) -> std::optional<QString> {
        return QString::fromUtf8(thermocoupleTypes[code >= 1 && code <= 3 ? code - 1 : 3].title);
    };
    for (PropertyPopup *combo : {rtdTypeCombo, rtdSetupCombo}) {
        combo->showWholeTable();
        combo->readWhen = [this] { return identity().subclass == rtdSubclass; };
    }
    (new QFormLayout(thermocoupleBox))->addRow(QStringLiteral("Thermocouple type:"), thermocoupleTypeCombo);
    auto *rtd = new QFormLayout(rtdBox);
    rtd->addRow(QStringLiteral("RTD type:"), rtdTypeCombo);
    rtd->addRow(QStringLiteral("Wire setup:"), rtdSetupCombo);

    QFont bold = settingsLabel->font();
    bold.setBold(true);
    settingsLabel->setFont(bold);
    settingsLabel->hide();
    contentLayout()->insertWidget(0, settingsLabel);
    contentLayout()->insertWidget(3, thermocoupleBox);
    contentLayout()->insertWidget(4, rtdBox);
}

void TemperatureSensorController::onAttach() { settingsLabel->show(); }

void TemperatureSensorController::onDetach()
{
    settingsLabel->hide();
    temperatureText->setText(QStringLiteral("?"));
}

}   // namespace tindrel
