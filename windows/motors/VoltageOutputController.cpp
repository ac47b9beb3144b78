#include "VoltageOutputController.h"

#include "MotorOutputLogic.h"
#include "SliderRow.h"

#include <tindrel22.h>

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

namespace {
const QString to10V = QStringLiteral("Switch to 10V");
const QString to5V = QStringLiteral("Switch to 5V");
}   // namespace

VoltageOutputController::VoltageOutputController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelVoltageOutputHandle, TindrelVoltageOutput_create, TindrelVoltageOutput_delete>(),
          Form::Window, parent)
{
    setWindowTitle(QStringLiteral("Voltage Output"));
    // Neither the identity nor the getters are reported at attach.
    setReportAttachReads(false);
    // Attached, the window takes its full height, room for every box included.
    setHeightRule(HeightRule::MaximumAtAttach);

    outputBox = new AttachBox(QStringLiteral("Output Voltage"), this);
    voltageOutputSlider = new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%0.2f V", false, outputBox);
    (new QVBoxLayout(outputBox))->addWidget(voltageOutputSlider);
    outputModeBox = new AttachBox(QStringLiteral("Output Range"), this,
                                  [this] { return motors::voltageOutputHasRangeSwitch(identity().deviceId); });
    voltageModeButton = new QPushButton(to10V, outputModeBox);
    (new QVBoxLayout(outputModeBox))->addWidget(voltageModeButton);
    outputEnableBox = new AttachBox(QStringLiteral("Output"), this,
                                    [this] { return motors::voltageOutputHasEnable(identity().deviceId); });
    enableButton = new QPushButton(QStringLiteral("Enable"), outputEnableBox);
    enableButton->setCheckable(true);
    (new QVBoxLayout(outputEnableBox))->addWidget(enableButton);
    contentLayout()->addWidget(outputBox);
    contentLayout()->addWidget(outputModeBox);
    contentLayout()->addWidget(outputEnableBox);

    voltageOutputSlider->setSender(
        [this](double v) { return check(TindrelVoltageOutput_setVoltage(handle<TindrelVoltageOutputHandle>(), v)); });
    connect(enableButton, &QPushButton::clicked, this, &VoltageOutputController::setEnabled);
    connect(voltageModeButton, &QPushButton::clicked, this, &VoltageOutputController::setVoltageOutputMode);
}

void VoltageOutputController::readVoltageRange()
{
    const auto ch = handle<TindrelVoltageOutputHandle>();
    double lo = 0, hi = 0, v = 0;
    TindrelVoltageOutput_getMinVoltage(ch, &lo);
    TindrelVoltageOutput_getMaxVoltage(ch, &hi);
    TindrelVoltageOutput_getVoltage(ch, &v);
    voltageOutputSlider->setRange(lo, hi, v);
    voltageOutputSlider->valueLabel->setText(formatNumber("%.2f V", v));
}

void VoltageOutputController::onAttach()
{
    const auto ch = handle<TindrelVoltageOutputHandle>();
    int enabled = 0;
    Tindrel_VoltageOutputRange range{};
    TindrelVoltageOutput_getEnabled(ch, &enabled);
    TindrelVoltageOutput_getVoltageOutputRange(ch, &range);
    if (motors::voltageOutputHasEnable(identity().deviceId)) {
        enableButton->setChecked(enabled != 0);
        enableButton->setText(enabled ? QStringLiteral("Disable") : QStringLiteral("Enable"));
    }
    readVoltageRange();
    if (range == TINDREL_VOLTAGE_OUTPUT_RANGE_5V)
        voltageModeButton->setText(to10V);
    else if (range == TINDREL_VOLTAGE_OUTPUT_RANGE_10V)
        voltageModeButton->setText(to5V);
}

void VoltageOutputController::onDetach() { voltageOutputSlider->valueLabel->clear(); }

void VoltageOutputController::setEnabled()
{
    const auto ch = handle<TindrelVoltageOutputHandle>();
    int enabled = 0;
    bool ok = check(TindrelVoltageOutput_getEnabled(ch, &enabled));
    const int want = enabled ? 0 : 1;
    ok = ok && check(TindrelVoltageOutput_setEnabled(ch, want));
    if (ok)
        enableButton->setText(want ? QStringLiteral("Disable") : QStringLiteral("Enable"));
    // The button's state shows the output's, not the click.
    enableButton->setChecked(ok ? want != 0 : enabled != 0);
}

void VoltageOutputController::setVoltageOutputMode()
{
    // The title is the window's record of the present range.
    const bool toTen = voltageModeButton->text() == to10V;
    if (!check(TindrelVoltageOutput_setVoltageOutputRange(handle<TindrelVoltageOutputHandle>(),
                                                          toTen ? TINDREL_VOLTAGE_OUTPUT_RANGE_10V
                                                                : TINDREL_VOLTAGE_OUTPUT_RANGE_5V)))
        return;
    voltageModeButton->setText(toTen ? to5V : to10V);
    readVoltageRange();
}

}   // namespace tindrel
