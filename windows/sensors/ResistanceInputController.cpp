#include "ResistanceInputController.h"

#include <QFormLayout>

namespace tindrel {

namespace {
constexpr CodeTitle wireSetups[] = {{"2 Wire", 1}, {"3 Wire", 2}, {"4 Wire", 3}};
}

ResistanceInputController::ResistanceInputController()
    : SingleValueWindowOf(
          ChannelHandle::opsFor<TindrelResistanceInputHandle, TindrelResistanceInput_create,
                                TindrelResistanceInput_delete>(),
          QStringLiteral("Resistance Input"), TINDREL_RANGED(ResistanceInput, DataInterval),
          TINDREL_RANGED(ResistanceInput, ResistanceChangeTrigger), "%0.1f Ω",
          {QStringLiteral("Resistance"), {QStringLiteral("Resistance"), QStringLiteral("Ω")}, "%0.3f Ω"},
          &TindrelResistanceInput_setOnResistanceChangeHandler, SliderRow::SendRule::EveryMove)
    , wiringBox(new AttachBox(QStringLiteral("Wiring"), this))
    , rtdWireSetupCombo(new PropertyPopup(wireSetups, this, TINDREL_PROPERTY(ResistanceInput, RTDWireSetup), wiringBox))
{
    rtdWireSetupCombo->showWholeTable();
    (new QFormLayout(wiringBox))->addRow(QStringLiteral("Wire setup:"), rtdWireSetupCombo);
    contentLayout()->insertWidget(2, wiringBox);
}

}   // namespace tindrel
