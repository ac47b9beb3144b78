#include "CurrentInputController.h"

#include <QFormLayout>

namespace tindrel {

namespace {
constexpr CodeTitle powerSupplies[] = {{"Off", 1}, {"12 Volts", 2}, {"24 Volts", 3}};
}

CurrentInputController::CurrentInputController()
    : SingleValueWindowOf(
          ChannelHandle::opsFor<TindrelCurrentInputHandle, TindrelCurrentInput_create, TindrelCurrentInput_delete>(),
          QStringLiteral("Current Input"), TINDREL_RANGED(CurrentInput, DataInterval),
          TINDREL_RANGED(CurrentInput, CurrentChangeTrigger), "%0.3f A",
          {QStringLiteral("Current"), {QStringLiteral("Current"), QStringLiteral("A")}, "%0.4f A"},
          &TindrelCurrentInput_setOnCurrentChangeHandler)
    , powerSupplyBox(new AttachBox(QStringLiteral("Power Supply"), this,
                                   [this] { return identity().deviceId == powerSupplyDeviceId; }))
    , powerSupplyCombo(
          new PropertyPopup(powerSupplies, this, TINDREL_PROPERTY(CurrentInput, PowerSupply), powerSupplyBox))
{
    powerSupplyCombo->showWholeTable();
    powerSupplyCombo->readWhen = [this] { return identity().deviceId == powerSupplyDeviceId; };
    (new QFormLayout(powerSupplyBox))->addRow(QStringLiteral("Sensor power:"), powerSupplyCombo);
    contentLayout()->insertWidget(2, powerSupplyBox);
}

}   // namespace tindrel
