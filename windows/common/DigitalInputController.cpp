#include "DigitalInputController.h"

#include "DigitalLogic.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace tindrel {

DigitalInputController::DigitalInputController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelDigitalInputHandle, TindrelDigitalInput_create, TindrelDigitalInput_delete>(),
          Form::Window, parent)
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this,
                                [this] { return identity().deviceId == digital::configurableInputDeviceId; }))
    , powerSupplyCombo(new QComboBox(settingsBox))
    , inputModeCombo(new QComboBox(settingsBox))
    , dataBox(new AttachBox(QStringLiteral("State"), this))
    , stateTextField(new QLabel(QStringLiteral("F")))
    , stateBox(new QFrame(dataBox))
    , stateChange(addStream<ScalarEvent>(QStringLiteral("State"), {{QStringLiteral("State"), QString()}},
                                         [this](const ScalarEvent &e) { onStateChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Digital Input"));

    // Item order fixes the codes sent (see DigitalLogic).
    powerSupplyCombo->addItems({QStringLiteral("Off"), QStringLiteral("12 V"), QStringLiteral("24 V")});
    inputModeCombo->addItems({QStringLiteral("NPN"), QStringLiteral("PNP")});
    auto *settingsLayout = new QFormLayout(settingsBox);
    settingsLayout->addRow(QStringLiteral("Power Supply:"), powerSupplyCombo);
    settingsLayout->addRow(QStringLiteral("Input Mode:"), inputModeCombo);

    QFont big = stateTextField->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    stateTextField->setFont(big);
    stateTextField->setAlignment(Qt::AlignCenter);
    stateBox->setAutoFillBackground(true);
    stateBox->setMinimumSize(60, 40);
    (new QVBoxLayout(stateBox))->addWidget(stateTextField);
    auto *dataLayout = new QVBoxLayout(dataBox);
    dataLayout->addWidget(stateBox, 0, Qt::AlignHCenter);

    contentLayout()->addWidget(settingsBox);
    contentLayout()->addWidget(dataBox);

    connect(powerSupplyCombo, &QComboBox::activated, this, &DigitalInputController::setPowerSupply);
    connect(inputModeCombo, &QComboBox::activated, this, &DigitalInputController::setInputMode);
    // Remembered with the rows; both read back together after a restore.
    rememberPopup(QStringLiteral("powerSupply"), powerSupplyCombo, [this] { readSettings(); });
    rememberPopup(QStringLiteral("inputMode"), inputModeCombo);
}

void DigitalInputController::registerValueHandlers()
{
    subscribe(&TindrelDigitalInput_setOnStateChangeHandler, stateChange);
}

void DigitalInputController::onStateChangeHandler(const ScalarEvent &state)
{
    const bool high = state.value == 1.0;
    stateTextField->setText(high ? QStringLiteral("T") : QStringLiteral("F"));
    QPalette text = stateTextField->palette();
    text.setColor(QPalette::WindowText, high ? Qt::black : Qt::white);
    stateTextField->setPalette(text);
    QPalette fill = stateBox->palette();
    fill.setColor(QPalette::Window, high ? Qt::white : Qt::black);
    stateBox->setPalette(fill);
}

void DigitalInputController::onAttach() { readSettings(); }

void DigitalInputController::readSettings()
{
    const auto in = handle<TindrelDigitalInputHandle>();
    if (identity().deviceId == digital::configurableInputDeviceId) {
        Tindrel_InputMode mode = TINDREL_INPUT_MODE_NPN;
        Tindrel_PowerSupply supply = TINDREL_POWER_SUPPLY_OFF;
        TindrelDigitalInput_getInputMode(in, &mode);
        TindrelDigitalInput_getPowerSupply(in, &supply);
        inputModeCombo->setCurrentIndex(digital::inputModeItemForCode(mode));
        powerSupplyCombo->setCurrentIndex(digital::powerSupplyItemForCode(supply));
    }
}

void DigitalInputController::setPowerSupply(int item)
{
    check(TindrelDigitalInput_setPowerSupply(handle<TindrelDigitalInputHandle>(),
                                             static_cast<Tindrel_PowerSupply>(digital::powerSupplyCodeForItem(item))));
}

void DigitalInputController::setInputMode(int item)
{
    check(TindrelDigitalInput_setInputMode(handle<TindrelDigitalInputHandle>(),
                                           static_cast<Tindrel_InputMode>(digital::inputModeCodeForItem(item))));
}

}   // namespace tindrel
