#include "PowerGuardController.h"

#include "CodePopup.h"
#include "MotorLogic.h"
#include "MotorOutputLogic.h"
#include "SliderRow.h"

#include <tindrel22.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tindrel {

namespace {
// Item order is the window's: item 0 on, item 1 off, item 2 automatic.
constexpr CodeTitle fanModes[] = {
    {motors::fanModeTitles[0], 2}, {motors::fanModeTitles[1], 1}, {motors::fanModeTitles[2], 3}};
}   // namespace

PowerGuardController::PowerGuardController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelPowerGuardHandle, TindrelPowerGuard_create, TindrelPowerGuard_delete>(),
          Form::Window, parent)
{
    setWindowTitle(QStringLiteral("Power Guard"));
    setReportAttachReads(false);
    // Attached, the window takes its full height, room for every box included.
    setHeightRule(HeightRule::MaximumAtAttach);

    dataBox = new AttachBox(QStringLiteral("Over-Voltage Threshold"), this);
    overVoltageSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.2f V", "%.2f V", false, dataBox);
    overVoltageSlider->valueLabel->setText(QStringLiteral("V"));
    (new QVBoxLayout(dataBox))->addWidget(overVoltageSlider);
    settingsBox = new AttachBox(QStringLiteral("Settings"), this);
    powerEnabledCheck = new QCheckBox(QStringLiteral("Power Enabled"), settingsBox);
    fanModeCombo = new CodePopup(fanModes, settingsBox);
    fanModeCombo->showWholeTable();
    fanModeCombo->setCurrentIndex(-1);
    auto *settings = new QFormLayout(settingsBox);
    settings->addRow(powerEnabledCheck);
    settings->addRow(QStringLiteral("Fan Mode:"), fanModeCombo);
    contentLayout()->addWidget(dataBox);
    contentLayout()->addWidget(settingsBox);

    overVoltageSlider->setSender(
        [this](double v) { return check(TindrelPowerGuard_setOverVoltage(handle<TindrelPowerGuardHandle>(), v)); });
    connect(powerEnabledCheck, &QCheckBox::clicked, this, &PowerGuardController::setPowerEnabled);
    connect(fanModeCombo, &QComboBox::activated, this, &PowerGuardController::setFanMode);
    rememberPopup(QStringLiteral("fanMode"), fanModeCombo, &TindrelPowerGuard_getFanMode);
}

void PowerGuardController::onAttach()
{
    const auto ch = handle<TindrelPowerGuardHandle>();
    double lo = 0, hi = 0, threshold = 0;
    int enabled = 0;
    Tindrel_FanMode fan{};
    TindrelPowerGuard_getMinOverVoltage(ch, &lo);
    TindrelPowerGuard_getMaxOverVoltage(ch, &hi);
    TindrelPowerGuard_getPowerEnabled(ch, &enabled);
    TindrelPowerGuard_getFanMode(ch, &fan);
    const auto index = motors::fanModeIndexForCode(static_cast<int>(fan));
    fanModeCombo->setCurrentIndex(index ? *index : -1);
    // The slider shows the device's threshold, not what it showed before.
    if (TindrelPowerGuard_getOverVoltage(ch, &threshold) == TINDREL_OK) {
        overVoltageSlider->setRange(lo, hi, threshold);
    } else {
        overVoltageSlider->setRange(lo, hi, overVoltageSlider->value());
        overVoltageSlider->valueLabel->setText(QStringLiteral("V"));
    }
    powerEnabledCheck->setChecked(enabled != 0);
}

void PowerGuardController::onDetach()
{
    overVoltageSlider->setValue(overVoltageSlider->minimum());
    overVoltageSlider->valueLabel->setText(QStringLiteral("V"));
}

void PowerGuardController::setPowerEnabled(bool on)
{
    check(TindrelPowerGuard_setPowerEnabled(handle<TindrelPowerGuardHandle>(), on ? 1 : 0));
}

void PowerGuardController::setFanMode(int index)
{
    check(TindrelPowerGuard_setFanMode(handle<TindrelPowerGuardHandle>(),
                                       static_cast<Tindrel_FanMode>(motors::fanModeCodeForIndex(index))));
}

}   // namespace tindrel
