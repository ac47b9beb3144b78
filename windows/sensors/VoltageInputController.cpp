#include "VoltageInputController.h"

#include "VoltageLogic.h"

#include <QFormLayout>
#include <QVBoxLayout>

namespace tindrel {

namespace {
namespace vl = tindrel::voltage;
bool deviceIs(const ExampleWindow *w, bool (*test)(int)) { return test(w->identity().deviceId); }
}   // namespace

VoltageInputController::VoltageInputController()
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelVoltageInputHandle, TindrelVoltageInput_create, TindrelVoltageInput_delete>())
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(VoltageInput, DataInterval), rows::dataInterval()))
    , changeTriggerBox(new PropertySliderBox(this, TINDREL_RANGED(VoltageInput, VoltageChangeTrigger),
                                             rows::changeTrigger("%0.3f V", "%0.3f V")))
    , voltageRangeBox(
          new AttachBox(QStringLiteral("Voltage Range"), this, [this] { return deviceIs(this, vl::hasVoltageRange); }))
    , voltageRangeCombo(
          new PropertyPopup(vl::voltageRanges, this, TINDREL_PROPERTY(VoltageInput, VoltageRange), voltageRangeBox))
    , powerSupplyBox(new AttachBox(QStringLiteral("Sensor Power Supply"), this,
                                   [this] { return deviceIs(this, vl::hasPowerSupply); }))
    , powerSupplyCombo(
          new PropertyPopup(vl::powerSupplies, this, TINDREL_PROPERTY(VoltageInput, PowerSupply), powerSupplyBox))
    , dataBox(new AttachBox(QStringLiteral("Voltage"), this))
    , voltageText(new QLabel(dataBox))
    , sensorBox(new AttachBox(QStringLiteral("Sensor"), this, [this] { return deviceIs(this, vl::hasSensorPort); }))
    , sensorTypeCombo(new QComboBox(sensorBox))
    , sensorText(new QLabel(sensorBox))
    , voltage(addStream<ScalarEvent>(QStringLiteral("Voltage"), {{QStringLiteral("Voltage"), QStringLiteral("V")}},
                                     [this](const ScalarEvent &e) { voltageText->setText(vl::voltageText(e.value)); }))
    , sensor(addStream<UnitValueEvent>(QStringLiteral("Sensor"), {{QStringLiteral("Sensor"), QString()}},
                                       [this](const UnitValueEvent &e) { onSensorChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Voltage Input"));
    // The reads at attach are not looked at.
    setReportAttachReads(false);

    const auto id = [this] { return identity().deviceId; };
    voltageRangeCombo->titlesFor = [](const ChannelIdentity &i) { return vl::rangeTitles(i.deviceId); };
    voltageRangeCombo->selectFor = [id](int code) { return vl::rangeTitleToSelect(id(), code); };
    voltageRangeCombo->readWhen = [id] { return vl::hasVoltageRange(id()); };
    powerSupplyCombo->showWholeTable();
    powerSupplyCombo->readWhen = [id] { return vl::hasPowerSupply(id()); };

    sensorTypeCombo->addItems(vl::sensorTitles(vl::voltageSensors()));
    QFont big = voltageText->font();
    big.setPointSize(big.pointSize() * 3 / 2);
    voltageText->setFont(big);
    sensorText->setFont(big);

    (new QVBoxLayout(voltageRangeBox))->addWidget(voltageRangeCombo);
    (new QVBoxLayout(powerSupplyBox))->addWidget(powerSupplyCombo);
    (new QVBoxLayout(dataBox))->addWidget(voltageText);
    auto *sensorLayout = new QFormLayout(sensorBox);
    sensorLayout->addRow(QStringLiteral("Sensor Type:"), sensorTypeCombo);
    sensorLayout->addRow(QStringLiteral("Value:"), sensorText);
    for (QWidget *box : {static_cast<QWidget *>(dataIntervalBox), static_cast<QWidget *>(changeTriggerBox),
                         static_cast<QWidget *>(voltageRangeBox), static_cast<QWidget *>(powerSupplyBox),
                         static_cast<QWidget *>(dataBox), static_cast<QWidget *>(sensorBox)})
        contentLayout()->addWidget(box);

    connect(sensorTypeCombo, &QComboBox::activated, this, &VoltageInputController::setSensorType);
    // Remembered with the rows; read back from the channel after a restore.
    rememberPopup(QStringLiteral("sensorType"), sensorTypeCombo, [this] {
        Tindrel_VoltageSensorType type = 0;
        if (!check(TindrelVoltageInput_getSensorType(handle<TindrelVoltageInputHandle>(), &type)))
            return;
        sensorTypeCombo->setCurrentIndex(vl::sensorRowForCode(vl::voltageSensors(), static_cast<int>(type)));
        sensorModeChanged(type != 0);
    });
}

void VoltageInputController::registerValueHandlers()
{
    subscribe(&TindrelVoltageInput_setOnVoltageChangeHandler, voltage);
    subscribe(&TindrelVoltageInput_setOnSensorChangeHandler, sensor);
}

void VoltageInputController::onSensorChangeHandler(const UnitValueEvent &e)
{
    // The symbol is the one the channel reports now.
    Tindrel_UnitInfo unit{};
    TindrelVoltageInput_getSensorUnit(handle<TindrelVoltageInputHandle>(), &unit);
    sensorText->setText(vl::sensorText(e.value, QString::fromUtf8(unit.symbol ? unit.symbol : "")));
}

void VoltageInputController::setSensorType()
{
    const auto ch = handle<TindrelVoltageInputHandle>();
    const int code = vl::sensorCodeForTitle(vl::voltageSensors(), sensorTypeCombo->currentText());
    check(TindrelVoltageInput_setSensorType(ch, code));
    Tindrel_VoltageSensorType type = 0;
    if (check(TindrelVoltageInput_getSensorType(ch, &type)))
        sensorModeChanged(type != 0);
}

void VoltageInputController::sensorModeChanged(bool sensorMode)
{
    // Greyed as a disabled label, so the colours follow the palette when it changes.
    sensorText->setEnabled(sensorMode);
    voltageText->setEnabled(!sensorMode);
}

void VoltageInputController::onDetach()
{
    // The last sensor reading stays; the range pop-up is refilled at attach.
    voltageText->clear();
    voltageRangeCombo->clear();
}

void VoltageInputController::sizeWindow(SizingMoment moment)
{
    if (moment != SizingMoment::Attach) {
        ExampleWindow::sizeWindow(moment);
        return;
    }
    const auto shown = [](const QWidget *box) -> const QWidget * { return box->isHidden() ? nullptr : box; };
    if (!sensorBox->isHidden())
        growBy({dataBox, sensorBox});
    else
        growBy({shown(changeTriggerBox), shown(voltageRangeBox), shown(dataIntervalBox), shown(powerSupplyBox)}, 15);
    setWidthTo(550);
    centre();
}

}   // namespace tindrel
