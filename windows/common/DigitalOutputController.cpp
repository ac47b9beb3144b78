#include "DigitalOutputController.h"

#include "CodePopup.h"
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
    , settingsBoxLED(new QGroupBox(QStringLiteral("LED Driver"), settingsBox))
    , forwardVoltageCombo(new CodePopup(forwardVoltages, settingsBoxLED))
    , dutyCycleBox(new QGroupBox(QStringLiteral("Duty Cycle"), settingsBox))
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
    connect(dutyCycleSlider, &SliderRow::valueChosen, this, &DigitalOutputController::setDutyCycle);
    connect(currentLimitSlider, &SliderRow::valueChosen, this, &DigitalOutputController::setCurrentLimit);
    connect(forwardVoltageCombo, &CodePopup::codeChosen, this, &DigitalOutputController::setForwardVoltage);
}

void DigitalOutputController::onAttach()
{
    const auto h = channel().get();
    const auto out = handle<TindrelDigitalOutputHandle>();
    int32_t deviceId = 0;
    int32_t subclass = 0;
    int state = 0;
    check(Tindrel_getDeviceID(h, &deviceId));
    check(Tindrel_getChannelSubclass(h, &subclass));
    if (check(TindrelDigitalOutput_getState(out, &state)))
        showOutputState(state != 0);

    settingsBoxLED->hide();
    forwardVoltageCombo->setTitles(digital::forwardVoltageChoices(deviceId));

    if (subclass == digital::ledDriverSubclass) {
        settingsBoxLED->show();
        double maxLimit = 0.0;
        double minLimit = 0.0;
        double limit = 0.0;
        Tindrel_LEDForwardVoltage voltage = TINDREL_LED_FORWARD_VOLTAGE_5_6V;
        check(TindrelDigitalOutput_getMaxLEDCurrentLimit(out, &maxLimit));
        check(TindrelDigitalOutput_getMinLEDCurrentLimit(out, &minLimit));
        check(TindrelDigitalOutput_getLEDCurrentLimit(out, &limit));
        check(TindrelDigitalOutput_getLEDForwardVoltage(out, &voltage));
        currentLimitSlider->setRange(minLimit, maxLimit, limit);
        forwardVoltageCombo->selectTitle(digital::forwardVoltageTitleToSelect(voltage));
    }

    const bool dims = digital::hasDutyCycle(subclass);
    if (dims) {
        double duty = 0.0;
        double minDuty = 0.0;
        double maxDuty = 1.0;
        check(TindrelDigitalOutput_getDutyCycle(out, &duty));
        check(TindrelDigitalOutput_getMinDutyCycle(out, &minDuty));
        TindrelDigitalOutput_getMaxDutyCycle(out, &maxDuty);
        dutyCycleSlider->setRange(minDuty, maxDuty, duty);
    }
    dutyCycleBox->setVisible(dims);
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

void DigitalOutputController::setDutyCycle(double dutyCycle)
{
    if (check(TindrelDigitalOutput_setDutyCycle(handle<TindrelDigitalOutputHandle>(), dutyCycle)))
        dutyCycleSlider->accept(dutyCycle);
    else
        dutyCycleSlider->restoreLabel();
}

void DigitalOutputController::setCurrentLimit(double amperes)
{
    if (check(TindrelDigitalOutput_setLEDCurrentLimit(handle<TindrelDigitalOutputHandle>(), amperes)))
        currentLimitSlider->accept(amperes);
    else
        currentLimitSlider->restoreLabel();
}

void DigitalOutputController::setForwardVoltage(int code)
{
    check(TindrelDigitalOutput_setLEDForwardVoltage(handle<TindrelDigitalOutputHandle>(),
                                                    static_cast<Tindrel_LEDForwardVoltage>(code)));
}

}   // namespace tindrel
