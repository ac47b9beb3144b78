#include "VoltageRatioController.h"

#include "VoltageLogic.h"

#include <QFormLayout>
#include <QVBoxLayout>

namespace tindrel {

namespace vl = tindrel::voltage;

VoltageRatioController::VoltageRatioController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelVoltageRatioInputHandle, TindrelVoltageRatioInput_create,
                                            TindrelVoltageRatioInput_delete>())
    , dataIntervalBox(
          new PropertySliderBox(this, TINDREL_RANGED(VoltageRatioInput, DataInterval), rows::dataInterval("%d")))
    , changeTriggerBox(new PropertySliderBox(this, TINDREL_RANGED(VoltageRatioInput, VoltageRatioChangeTrigger),
                                             rows::changeTrigger("%0.3f", "%0.3f V/V")))
    , gainBox(new AttachBox(QStringLiteral("Bridge Gain"), this, [this] { return isBridge(); }))
    , bridgeGainCombo(
          new PropertyPopup(vl::bridgeGains, this, TINDREL_PROPERTY(VoltageRatioInput, BridgeGain), gainBox))
    , enableBox(new AttachBox(QStringLiteral("Bridge"), this, [this] { return isBridge(); }))
    , enableCheck(new PropertyCheck(QStringLiteral("Enabled"), this, TINDREL_PROPERTY(VoltageRatioInput, BridgeEnabled),
                                    enableBox))
    , dataBox(new AttachBox(QStringLiteral("Voltage Ratio"), this))
    , voltageRatioText(new QLabel(dataBox))
    , sensorBox(new AttachBox(QStringLiteral("Sensor"), this,
                              [this] { return identity().subclass == vl::sensorPortSubclass; }))
    , sensorTypeCombo(new QComboBox(sensorBox))
    , sensorText(new QLabel(sensorBox))
    , ratio(addStream<ScalarEvent>(QStringLiteral("Voltage Ratio"),
                                   {{QStringLiteral("Voltage Ratio"), QStringLiteral("V/V")}},
                                   [this](const ScalarEvent &e) { onVoltageRatioChangeHandler(e); }))
    , sensor(addStream<UnitValueEvent>(QStringLiteral("Sensor"), {{QStringLiteral("Sensor"), QString()}},
                                       [this](const UnitValueEvent &e) { onSensorChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Voltage Ratio Input"));

    bridgeGainCombo->titlesFor = [](const ChannelIdentity &i) { return vl::gainTitles(i.deviceId); };
    bridgeGainCombo->selectFor = [](int code) { return std::optional<QString>(vl::gainTitleToSelect(code)); };
    bridgeGainCombo->readWhen = [this] { return isBridge(); };
    enableCheck->readWhen = [this] { return isBridge(); };

    sensorTypeCombo->addItems(vl::sensorTitles(vl::ratioSensors()));
    QFont big = voltageRatioText->font();
    big.setPointSize(big.pointSize() * 3 / 2);
    voltageRatioText->setFont(big);
    sensorText->setFont(big);

    (new QVBoxLayout(gainBox))->addWidget(bridgeGainCombo);
    (new QVBoxLayout(enableBox))->addWidget(enableCheck);
    (new QVBoxLayout(dataBox))->addWidget(voltageRatioText);
    auto *sensorLayout = new QFormLayout(sensorBox);
    sensorLayout->addRow(QStringLiteral("Sensor Type:"), sensorTypeCombo);
    sensorLayout->addRow(QStringLiteral("Value:"), sensorText);
    for (QWidget *box : {static_cast<QWidget *>(dataIntervalBox), static_cast<QWidget *>(changeTriggerBox),
                         static_cast<QWidget *>(gainBox), static_cast<QWidget *>(enableBox),
                         static_cast<QWidget *>(dataBox), static_cast<QWidget *>(sensorBox)})
        contentLayout()->addWidget(box);

    connect(sensorTypeCombo, &QComboBox::activated, this, &VoltageRatioController::setSensorType);
    // Remembered with the rows; read back from the channel after a restore.
    rememberPopup(QStringLiteral("sensorType"), sensorTypeCombo, [this] {
        Tindrel_VoltageRatioSensorType type = 0;
        if (!check(TindrelVoltageRatioInput_getSensorType(handle<TindrelVoltageRatioInputHandle>(), &type)))
            return;
        sensorTypeCombo->setCurrentIndex(vl::sensorRowForCode(vl::ratioSensors(), static_cast<int>(type)));
        sensorModeChanged(type != 0);
    });
}

bool VoltageRatioController::isBridge() const { return identity().subclass == vl::bridgeSubclass; }

void VoltageRatioController::registerValueHandlers()
{
    subscribe(&TindrelVoltageRatioInput_setOnVoltageRatioChangeHandler, ratio);
    subscribe(&TindrelVoltageRatioInput_setOnSensorChangeHandler, sensor);
}

void VoltageRatioController::onVoltageRatioChangeHandler(const ScalarEvent &e)
{
    // The subclass is read again for each shown value.
    int32_t subclass = 0;
    Tindrel_getChannelSubclass(channel().get(), &subclass);
    voltageRatioText->setText(vl::ratioText(e.value, subclass));
}

void VoltageRatioController::onSensorChangeHandler(const UnitValueEvent &e)
{
    Tindrel_UnitInfo unit{};
    TindrelVoltageRatioInput_getSensorUnit(handle<TindrelVoltageRatioInputHandle>(), &unit);
    sensorText->setText(vl::sensorText(e.value, QString::fromUtf8(unit.symbol ? unit.symbol : "")));
}

void VoltageRatioController::setSensorType()
{
    const auto ch = handle<TindrelVoltageRatioInputHandle>();
    const int code = vl::sensorCodeForTitle(vl::ratioSensors(), sensorTypeCombo->currentText());
    if (!check(TindrelVoltageRatioInput_setSensorType(ch, code)))
        return;
    Tindrel_VoltageRatioSensorType type = 0;
    if (check(TindrelVoltageRatioInput_getSensorType(ch, &type)))
        sensorModeChanged(type != 0);
}

void VoltageRatioController::sensorModeChanged(bool sensorMode)
{
    // Greyed as a disabled label, so the colours follow the palette when it changes.
    sensorText->setEnabled(sensorMode);
    voltageRatioText->setEnabled(!sensorMode);
}

void VoltageRatioController::onDetach() { voltageRatioText->clear(); }

void VoltageRatioController::sizeWindow(SizingMoment moment)
{
    if (moment != SizingMoment::Attach) {
        ExampleWindow::sizeWindow(moment);
        return;
    }
    const auto shown = [](const QWidget *box) -> const QWidget * { return box->isHidden() ? nullptr : box; };
    if (!sensorBox->isHidden())
        growBy({dataBox, sensorBox});
    else
        growBy({shown(dataIntervalBox), shown(changeTriggerBox),
                (!gainBox->isHidden() || !enableBox->isHidden()) ? gainBox : nullptr},
               15);
    setWidthTo(550);
    centre();
}

}   // namespace tindrel
