#include "DigitalOutputController.h"

#include "BoundRows.h"
#include "DigitalLogic.h"
#include "SliderRow.h"

#include <tindrel22.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

using digital::forwardVoltages;

DigitalOutputController::DigitalOutputController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelDigitalOutputHandle, TindrelDigitalOutput_create, TindrelDigitalOutput_delete>(),
          Form::Window, parent)
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this))
    , settingsBoxLED(new AttachBox(QStringLiteral("LED Driver"), settingsBox, this, [this] { return isLedDriver(); }))
    , forwardVoltageCombo(
          new PropertyPopup(forwardVoltages, this, TINDREL_PROPERTY(DigitalOutput, LEDForwardVoltage), settingsBoxLED))
    , dutyCycleBox(new AttachBox(QStringLiteral("Duty Cycle"), settingsBox, this,
                                 [this] { return digital::hasDutyCycle(identity().subclass); }))
    , dutyCycleSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%.2f", false, dutyCycleBox))
    , currentLimitSlider(new SliderRow(SliderRow::SendRule::OnRelease, "%.3f", "%.3f A", false, settingsBoxLED))
    , stateButton(new QWidget(settingsBox))
    , outputStateButton(new QPushButton(QStringLiteral("ON"), stateButton))
{
    setWindowTitle(QStringLiteral("Digital Output"));

    (new QVBoxLayout(dutyCycleBox))->addWidget(dutyCycleSlider);

    auto *stateRow = new QHBoxLayout(stateButton);
    stateRow->setContentsMargins(0, 0, 0, 0);
    stateRow->addWidget(outputStateButton);

    auto *ledLayout = new QFormLayout(settingsBoxLED);
    ledLayout->addRow(QStringLiteral("Current Limit:"), currentLimitSlider);
    ledLayout->addRow(QStringLiteral("Forward Voltage:"), forwardVoltageCombo);

    auto *settingsLayout = new QVBoxLayout(settingsBox);
    settingsLayout->addWidget(dutyCycleBox);
    settingsLayout->addWidget(stateButton);
    settingsLayout->addWidget(settingsBoxLED);
    contentLayout()->addWidget(settingsBox);

    connect(outputStateButton, &QPushButton::clicked, this, &DigitalOutputController::setOnOff);
    dutyCycleSlider->setSender([this](double duty) {
        return check(TindrelDigitalOutput_setDutyCycle(handle<TindrelDigitalOutputHandle>(), duty));
    });
    currentLimitSlider->setSender([this](double amperes) {
        return check(TindrelDigitalOutput_setLEDCurrentLimit(handle<TindrelDigitalOutputHandle>(), amperes));
    });
    // The choices depend on the device; a code outside 1 to 7 selects "5.6 V".
    forwardVoltageCombo->titlesFor = [](const ChannelIdentity &id) {
        return digital::forwardVoltageChoices(id.deviceId);
    };
    forwardVoltageCombo->selectFor = [](int code) {
        return std::optional<QString>(digital::forwardVoltageTitleToSelect(code));
    };
    forwardVoltageCombo->readWhen = [this] { return isLedDriver(); };
}

bool DigitalOutputController::isLedDriver() const { return identity().subclass == digital::ledDriverSubclass; }

void DigitalOutputController::onAttach()
{
    // Device ID, subclass and the forward voltage are read by the frame.
    const auto out = handle<TindrelDigitalOutputHandle>();
    int state = 0;
    if (check(TindrelDigitalOutput_getState(out, &state)))
        showOutputState(state != 0);

    if (isLedDriver()) {
        double maxLimit = 0.0;
        double minLimit = 0.0;
        double limit = 0.0;
        check(TindrelDigitalOutput_getMaxLEDCurrentLimit(out, &maxLimit));
        check(TindrelDigitalOutput_getMinLEDCurrentLimit(out, &minLimit));
        check(TindrelDigitalOutput_getLEDCurrentLimit(out, &limit));
        currentLimitSlider->setRange(minLimit, maxLimit, limit);
    }

    const bool dims = digital::hasDutyCycle(identity().subclass);
    if (dims) {
        double duty = 0.0;
        double minDuty = 0.0;
        double maxDuty = 1.0;
        check(TindrelDigitalOutput_getDutyCycle(out, &duty));
        check(TindrelDigitalOutput_getMinDutyCycle(out, &minDuty));
        TindrelDigitalOutput_getMaxDutyCycle(out, &maxDuty);
        dutyCycleSlider->setRange(minDuty, maxDuty, duty);
    }
    placeStateButton(dims);
}

void DigitalOutputController::onDetach() { forwardVoltageCombo->clear(); }

void DigitalOutputController::placeStateButton(bool besideDutyCycle)
{
    // Beside the duty-cycle controls the button sits at the left; alone it is centred.
    stateButton->layout()->setAlignment(outputStateButton, besideDutyCycle ? Qt::AlignLeft : Qt::AlignHCenter);
}

void DigitalOutputController::showOutputState(bool on)
{
    // The title names the action the button will take.
    outputStateButton->setText(on ? QStringLiteral("OFF") : QStringLiteral("ON"));
}

void DigitalOutputController::setOnOff()
{
    const auto out = handle<TindrelDigitalOutputHandle>();
    int state = 0;
    if (!check(TindrelDigitalOutput_getState(out, &state)))
        return;
    const bool on = state == 0;
    if (!check(TindrelDigitalOutput_setState(out, on ? 1 : 0)))
        return;
    showOutputState(on);
    dutyCycleSlider->setValue(on ? dutyCycleSlider->maximum() : dutyCycleSlider->minimum());
    dutyCycleSlider->valueLabel->setText(on ? QStringLiteral("1.00") : QStringLiteral("0.00"));
}

}   // namespace tindrel
