#include "RCServoController.h"

#include "MotorOutputLogic.h"
#include "SliderRow.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace tindrel {

namespace {

QString f3(double v) { return formatNumber("%.3f", v); }
QString f1(double v) { return formatNumber("%.1f", v); }

std::optional<double> numberIn(const QLineEdit *field)
{
    bool ok = false;
    const double v = field->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}   // namespace

RCServoController::RCServoController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelRCServoHandle, TindrelRCServo_create, TindrelRCServo_delete>(),
                      Form::Window, parent)
    , position(addStream<ScalarEvent>(QStringLiteral("Position"),
                                      {{QStringLiteral("Position"), QStringLiteral("degrees")}},
                                      [this](const ScalarEvent &e) { positionEventLabel->setText(f3(e.value)); }))
    , velocity(addStream<ScalarEvent>(QStringLiteral("Velocity"),
                                      {{QStringLiteral("Velocity"), QStringLiteral("degrees/s")}},
                                      [this](const ScalarEvent &e) { velocityEventLabel->setText(f3(e.value)); }))
    , targetReached(addStream<ScalarEvent>(QStringLiteral("Target Reached"),
                                           {{QStringLiteral("Position"), QStringLiteral("degrees")}},
                                           [this](const ScalarEvent &e) {
                                               stoppedCheck->setChecked(true);
                                               positionEventLabel->setText(f3(e.value));
                                           }))
{
    setWindowTitle(QStringLiteral("RC Servo"));

    motorCalibrationBox = new AttachBox(QStringLiteral("Calibration"), this);
    minPulseWidthTextField = new QLineEdit(motorCalibrationBox);
    maxPulseWidthTextField = new QLineEdit(motorCalibrationBox);
    positionAtMinTextField = new QLineEdit(motorCalibrationBox);
    positionAtMaxTextField = new QLineEdit(motorCalibrationBox);
    applyButton = new QPushButton(QStringLiteral("Apply"), motorCalibrationBox);
    voltageCombo = new QComboBox(motorCalibrationBox);
    voltageCombo->addItems({QStringLiteral("5.0 V"), QStringLiteral("6.0 V"), QStringLiteral("7.4 V")});
    voltageCombo->hide();
    auto *cal = new QFormLayout(motorCalibrationBox);
    cal->addRow(QStringLiteral("Minimum Pulse Width (µs):"), minPulseWidthTextField);
    cal->addRow(QStringLiteral("Maximum Pulse Width (µs):"), maxPulseWidthTextField);
    cal->addRow(QStringLiteral("Position at Minimum:"), positionAtMinTextField);
    cal->addRow(QStringLiteral("Position at Maximum:"), positionAtMaxTextField);
    cal->addRow(applyButton);
    cal->addRow(voltageCombo);

    motorDataBox = new AttachBox(QStringLiteral("Data"), this);
    positionEventLabel = new QLabel(QStringLiteral("unknown"), motorDataBox);
    velocityEventLabel = new QLabel(motorDataBox);
    velocityEventText = new QLabel(QStringLiteral("Velocity:"), motorDataBox);
    dataIntBox = new QWidget(motorDataBox);
    dataIntSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%d", "%d ms", true, dataIntBox);
    (new QVBoxLayout(dataIntBox))->addWidget(dataIntSlider);
    dataIntBox->hide();
    stoppedCheck = new QCheckBox(QStringLiteral("Target Reached"), motorDataBox);
    auto *data = new QFormLayout(motorDataBox);
    data->addRow(QStringLiteral("Position:"), positionEventLabel);
    data->addRow(velocityEventText, velocityEventLabel);
    data->addRow(QStringLiteral("Data Interval:"), dataIntBox);
    data->addRow(stoppedCheck);

    motorControlsBox = new AttachBox(QStringLiteral("Position Control"), this);
    enabledButton = new QPushButton(QStringLiteral("Engage"), motorControlsBox);
    enabledButton->setCheckable(true);
    positionSlider = new SliderRow(SliderRow::SendRule::EveryMove, "%.3f", "%0.3f", false, motorControlsBox);
    auto *controls = new QFormLayout(motorControlsBox);
    controls->addRow(enabledButton);
    controls->addRow(QStringLiteral("Target Position:"), positionSlider);

    advancedControlsBox = new AttachBox(QStringLiteral("Advanced Controls"), motorControlsBox, this,
                                        [this] { return motors::servoHasAdvancedControls(identity().deviceId); });
    accelerationSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%0.3f", "%0.3f", false, advancedControlsBox);
    velocitySlider = new SliderRow(SliderRow::SendRule::OnRelease, "%0.3f", "%0.3f", false, advancedControlsBox);
    speedRampingCheck = new QCheckBox(QStringLiteral("Speed Ramping"), advancedControlsBox);
    speedRampingCheck->setChecked(true);
    auto *adv = new QFormLayout(advancedControlsBox);
    adv->addRow(QStringLiteral("Acceleration:"), accelerationSlider);
    adv->addRow(QStringLiteral("Velocity Limit:"), velocitySlider);
    adv->addRow(speedRampingCheck);
    controls->addRow(advancedControlsBox);

    contentLayout()->addWidget(motorCalibrationBox);
    contentLayout()->addWidget(motorDataBox);
    contentLayout()->addWidget(motorControlsBox);

    const auto ch = [this] { return handle<TindrelRCServoHandle>(); };
    connect(enabledButton, &QPushButton::toggled, this, &RCServoController::setEnabled);
    positionSlider->setSender([this](double v) {
        setPosition(v);
        return true;
    });
    accelerationSlider->setSender([this, ch](double v) { return check(TindrelRCServo_setAcceleration(ch(), v)); });
    velocitySlider->setSender([this, ch](double v) { return check(TindrelRCServo_setVelocityLimit(ch(), v)); });
    dataIntSlider->setSender([this, ch](double v) {
        return check(TindrelRCServo_setDataInterval(ch(), static_cast<uint32_t>(std::llround(v))));
    });
    connect(speedRampingCheck, &QCheckBox::toggled, this, &RCServoController::setSpeedRampingState);
    connect(voltageCombo, &QComboBox::activated, this, &RCServoController::setVoltage);
    rememberPopup(QStringLiteral("voltage"), voltageCombo, &TindrelRCServo_getVoltage, motors::servoVoltageCode);
    connect(applyButton, &QPushButton::clicked, this, &RCServoController::apply);
    // The user cannot clear the target-reached check box.
    connect(stoppedCheck, &QCheckBox::clicked, this, [this] { stoppedCheck->setChecked(true); });
}

void RCServoController::registerValueHandlers()
{
    subscribe(&TindrelRCServo_setOnPositionChangeHandler, position);
    subscribe(&TindrelRCServo_setOnVelocityChangeHandler, velocity);
    subscribe(&TindrelRCServo_setOnTargetPositionReachedHandler, targetReached);
}

void RCServoController::onAttach()
{
    const auto ch = handle<TindrelRCServoHandle>();
    int isEngaged = 0;
    double minPulse = 0, maxPulse = 0;
    check(TindrelRCServo_getEngaged(ch, &isEngaged));
    check(TindrelRCServo_getMinPulseWidth(ch, &minPulse));
    check(TindrelRCServo_getMaxPulseWidth(ch, &maxPulse));
    // Only the title: the next click toggles the state the button already has.
    enabledButton->setText(isEngaged ? QStringLiteral("Disengage") : QStringLiteral("Engage"));
    minPulseWidthTextField->setText(f1(minPulse));
    maxPulseWidthTextField->setText(f1(maxPulse));
    positionEventLabel->setText(QStringLiteral("unknown"));

    const int id = identity().deviceId;
    const auto layout = motors::servoLayout(id);
    if (layout == motors::ServoLayout::DataInterval) {
        uint32_t lo = 0, hi = 0, v = 0;
        check(TindrelRCServo_getMinDataInterval(ch, &lo));
        check(TindrelRCServo_getMaxDataInterval(ch, &hi));
        check(TindrelRCServo_getDataInterval(ch, &v));
        dataIntSlider->setRange(lo, hi, v);
        dataIntBox->show();
    }
    velocityEventLabel->setVisible(layout != motors::ServoLayout::SupplyVoltage);
    velocityEventText->setVisible(layout != motors::ServoLayout::SupplyVoltage);
    voltageCombo->setVisible(layout == motors::ServoLayout::SupplyVoltage);
    stoppedCheck->setVisible(motors::servoHasTargetReached(id));
    updateGUI(true);
}

void RCServoController::updateGUI(bool atAttach)
{
    const auto ch = handle<TindrelRCServoHandle>();
    int32_t id = identity().deviceId;
    check(Tindrel_getDeviceID(reinterpret_cast<TindrelHandle>(ch), &id));
    double minPos = 0, maxPos = 0;
    if (!check(TindrelRCServo_getMinPosition(ch, &minPos)) || !check(TindrelRCServo_getMaxPosition(ch, &maxPos)))
        return;
    positionAtMinTextField->setText(f1(minPos));
    positionAtMaxTextField->setText(f1(maxPos));
    double pos = positionSlider->value();
    if (!atAttach && !check(TindrelRCServo_getPosition(ch, &pos)))
        return;
    // A reversed calibration (minimum above maximum) still gives a usable slider.
    positionSlider->setRange(std::min(minPos, maxPos), std::max(minPos, maxPos), atAttach ? minPos : pos);
    positionSlider->minLabel->setText(f3(minPos));
    positionSlider->maxLabel->setText(f3(maxPos));
    positionSlider->valueLabel->setText(atAttach ? QStringLiteral("unknown") : f3(pos));

    if (!motors::servoHasAdvancedControls(id))
        return;
    double minVel = 0, maxVel = 0, vel = 0, minAcc = 0, maxAcc = 0, acc = 0;
    if (!check(TindrelRCServo_getMinVelocityLimit(ch, &minVel)) ||
        !check(TindrelRCServo_getMaxVelocityLimit(ch, &maxVel)) || !check(TindrelRCServo_getVelocityLimit(ch, &vel)) ||
        !check(TindrelRCServo_getMinAcceleration(ch, &minAcc)) ||
        !check(TindrelRCServo_getMaxAcceleration(ch, &maxAcc)) || !check(TindrelRCServo_getAcceleration(ch, &acc)))
        return;
    accelerationSlider->setRange(minAcc, maxAcc, acc);
    velocitySlider->setRange(minVel, maxVel, vel);
}

void RCServoController::onDetach()
{
    voltageCombo->hide();
    velocityEventLabel->hide();
    velocityEventText->hide();
    dataIntBox->hide();
}

void RCServoController::sizeWindow(SizingMoment moment)
{
    if (moment != SizingMoment::Attach) {
        ExampleWindow::sizeWindow(moment);
        return;
    }
    // Grown from the collapsed height every time, so a re-attach ends at the same size.
    setWidthTo(550);
    growBy({}, motors::servoExtraHeight(identity().deviceId));
    centre();
}

void RCServoController::setEnabled(bool on)
{
    // The title follows the request whatever the library answers.
    enabledButton->setText(on ? QStringLiteral("Disengage") : QStringLiteral("Engage"));
    check(TindrelRCServo_setEngaged(handle<TindrelRCServoHandle>(), on ? 1 : 0));
}

void RCServoController::setPosition(double target)
{
    const auto ch = handle<TindrelRCServoHandle>();
    int isEngaged = 0;
    if (!check(TindrelRCServo_getEngaged(ch, &isEngaged)))
        return;
    if (isEngaged)
        stoppedCheck->setChecked(false);
    if (!check(TindrelRCServo_setTargetPosition(ch, target)))
        return;
    positionSlider->valueLabel->setText(formatNumber("%0.3f", target));
}

void RCServoController::setSpeedRampingState(bool on)
{
    check(TindrelRCServo_setSpeedRampingState(handle<TindrelRCServoHandle>(), on ? 1 : 0));
    // Whatever the library answered.
    velocitySlider->setEnabled(on);
    accelerationSlider->setEnabled(on);
}

void RCServoController::setVoltage(int index)
{
    const auto code = motors::servoVoltageCode(index);
    if (!code) {
        outputError(QStringLiteral("No supply voltage is selected."));
        return;
    }
    check(TindrelRCServo_setVoltage(handle<TindrelRCServoHandle>(), static_cast<Tindrel_RCServoVoltage>(*code)));
}

void RCServoController::apply()
{
    const auto minPulse = numberIn(minPulseWidthTextField), maxPulse = numberIn(maxPulseWidthTextField);
    const auto minPos = numberIn(positionAtMinTextField), maxPos = numberIn(positionAtMaxTextField);
    if (!minPulse || !maxPulse || !minPos || !maxPos) {
        outputError(QStringLiteral("Each calibration field needs a number."));
        return;
    }
    const auto ch = handle<TindrelRCServoHandle>();
    // Pulse widths are sent as whole microseconds; fractions are dropped.
    if (!check(TindrelRCServo_setMinPulseWidth(ch, std::trunc(*minPulse))) ||
        !check(TindrelRCServo_setMaxPulseWidth(ch, std::trunc(*maxPulse))) ||
        !check(TindrelRCServo_setMinPosition(ch, *minPos)) || !check(TindrelRCServo_setMaxPosition(ch, *maxPos)))
        return;
    updateGUI(false);
}

}   // namespace tindrel
