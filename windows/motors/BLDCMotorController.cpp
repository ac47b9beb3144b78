#include "BLDCMotorController.h"

#include "BoundRows.h"
#include "MotorLogic.h"
#include "SliderRow.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

BLDCMotorController::BLDCMotorController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelBLDCMotorHandle, TindrelBLDCMotor_create, TindrelBLDCMotor_delete>(),
                      Form::Window, parent)
    , dataBox(new AttachBox(QStringLiteral("Motor Data"), this))
    , velocityLabel(new QLabel(dataBox))
    , positionLabel(new QLabel(dataBox))
    , brakingLabel(new QLabel(dataBox))
    , settingsBox(new AttachBox(QStringLiteral("Motor Settings"), this))
    , rescaleText(new QLineEdit(settingsBox))
    , targetVelocitySlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%0.2f", false, settingsBox))
    , targetVelocityLabel(targetVelocitySlider->valueLabel)
    , accelerationSlider(new SliderRow(SliderRow::SendRule::OnRelease, "%0.2f", "%0.2f", false, settingsBox))
    , accelerationLabel(accelerationSlider->valueLabel)
    , stallVelocitySlider(new SliderRow(SliderRow::SendRule::OnRelease, "%.2f", "%0.2f", false, settingsBox))
    , stallVelocityLabel(stallVelocitySlider->valueLabel)
    , brakingStrengthSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%0.2f", false, settingsBox))
    , brakingStrengthLabel(brakingStrengthSlider->valueLabel)
    , stopButton(new QPushButton(QStringLiteral("Stop"), settingsBox))
    , zeroPositionButton(new QPushButton(QStringLiteral("Zero Position"), dataBox))
    , velocity(addStream<ScalarEvent>(QStringLiteral("Velocity"),
                                      {{QStringLiteral("Velocity"), QStringLiteral("duty")}},
                                      showIn(velocityLabel, "%0.2f")))
    , targetVelocity(addStream<ScalarEvent>(QStringLiteral("Target Velocity"),
                                            {{QStringLiteral("Target Velocity"), QStringLiteral("duty")}}, {}))
    , position(addStream<ScalarEvent>(QStringLiteral("Position"), {{QStringLiteral("Position"), QStringLiteral("")}},
                                      showIn(positionLabel, "%0.2f")))
    , braking(addStream<ScalarEvent>(QStringLiteral("Braking Strength"),
                                     {{QStringLiteral("Braking Strength"), QStringLiteral("")}},
                                     showIn(brakingLabel, "%0.2f")))
{
    setWindowTitle(QStringLiteral("BLDC Motor"));
    setHeightRule(HeightRule::MaximumAtAttach);

    auto *data = new QFormLayout(dataBox);
    data->addRow(QStringLiteral("Velocity:"), velocityLabel);
    auto *positionRow = new QHBoxLayout;
    positionRow->addWidget(positionLabel, 1);
    positionRow->addWidget(zeroPositionButton);
    data->addRow(QStringLiteral("Position:"), positionRow);
    data->addRow(QStringLiteral("Braking Strength:"), brakingLabel);

    auto *settings = new QFormLayout(settingsBox);
    settings->addRow(QStringLiteral("Rescale Factor:"), rescaleText);
    auto *targetRow = new QHBoxLayout;
    targetRow->addWidget(targetVelocitySlider, 1);
    targetRow->addWidget(stopButton);
    settings->addRow(QStringLiteral("Target Velocity:"), targetRow);
    settings->addRow(QStringLiteral("Acceleration:"), accelerationSlider);
    settings->addRow(QStringLiteral("Stall Velocity:"), stallVelocitySlider);
    settings->addRow(QStringLiteral("Braking Strength:"), brakingStrengthSlider);
    contentLayout()->addWidget(dataBox);
    contentLayout()->addWidget(settingsBox);

    connect(rescaleText, &QLineEdit::returnPressed, this, &BLDCMotorController::setRescaleFactor);
    targetVelocitySlider->setSender([this](double v) {
        setTargetVelocity(v);
        return true;
    });
    accelerationSlider->setSender([this](double v) {
        setAcceleration(v);
        return true;
    });
    stallVelocitySlider->setSender([this](double v) {
        setStallVelocity(v);
        return true;
    });
    brakingStrengthSlider->setSender([this](double v) {
        setBrakingStrength(v);
        return true;
    });
    connect(stopButton, &QPushButton::clicked, this, &BLDCMotorController::stop);
    connect(zeroPositionButton, &QPushButton::clicked, this, &BLDCMotorController::zeroPosition);
}

void BLDCMotorController::registerValueHandlers()
{
    subscribe(&TindrelBLDCMotor_setOnVelocityUpdateHandler, velocity);
    subscribe(&TindrelBLDCMotor_setOnPositionChangeHandler, position);
    subscribe(&TindrelBLDCMotor_setOnBrakingStrengthChangeHandler, braking);
}

namespace {

// Sends value through set; on success the row keeps it and its label shows
// it, on failure the label goes back to the value accepted last.
template <class Set>
bool sendRow(SliderRow *row, Set &&set, double value, const char *format)
{
    if (!set(value)) {
        row->restoreLabel();
        return false;
    }
    row->accept(value);
    row->valueLabel->setText(formatNumber(format, value));
    return true;
}

}   // namespace

void BLDCMotorController::setRescaleFactor()
{
    // Text that is not a number is sent as 0, which the device refuses.
    const double factor = motors::fieldNumber(rescaleText->text());
    if (check(TindrelBLDCMotor_setRescaleFactor(handle<TindrelBLDCMotorHandle>(), factor)))
        updateGUI();
}

void BLDCMotorController::setTargetVelocity(double value)
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    if (sendRow(
            targetVelocitySlider, [&](double v) { return check(TindrelBLDCMotor_setTargetVelocity(m, v)); }, value,
            "%0.2f"))
        targetVelocity.deliver({value});
}

void BLDCMotorController::setAcceleration(double value)
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    sendRow(
        accelerationSlider, [&](double v) { return check(TindrelBLDCMotor_setAcceleration(m, v)); }, value, "%0.2f");
}

void BLDCMotorController::setBrakingStrength(double value)
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    sendRow(
        brakingStrengthSlider, [&](double v) { return check(TindrelBLDCMotor_setTargetBrakingStrength(m, v)); }, value,
        "%0.2f");
}

void BLDCMotorController::setStallVelocity(double value)
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    sendRow(
        stallVelocitySlider, [&](double v) { return check(TindrelBLDCMotor_setStallVelocity(m, v)); }, value, "%0.2f");
}

void BLDCMotorController::stop()
{
    if (!check(TindrelBLDCMotor_setTargetVelocity(handle<TindrelBLDCMotorHandle>(), 0.0)))
        return;
    targetVelocitySlider->setValue(0.0);
    targetVelocitySlider->accept(0.0);
    targetVelocityLabel->setText(QStringLiteral("0.0"));
    targetVelocity.deliver({0.0});
}

void BLDCMotorController::zeroPosition()
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    double p = 0;
    if (TindrelBLDCMotor_getPosition(m, &p) != TINDREL_OK || TindrelBLDCMotor_addPositionOffset(m, -p) != TINDREL_OK)
        outputLastError();
}

void BLDCMotorController::onAttach()
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    double rescale = 1, minAcc = 0, maxAcc = 0, acc = 0, maxVel = 0, minBrake = 0, maxBrake = 0, minStall = 0,
           maxStall = 0, stall = 0;
    // The frame has read the device ID; this window does not use it.
    check(TindrelBLDCMotor_getRescaleFactor(m, &rescale));
    check(TindrelBLDCMotor_getMinAcceleration(m, &minAcc));
    check(TindrelBLDCMotor_getMaxAcceleration(m, &maxAcc));
    check(TindrelBLDCMotor_getAcceleration(m, &acc));
    check(TindrelBLDCMotor_getMaxVelocity(m, &maxVel));
    check(TindrelBLDCMotor_getMinBrakingStrength(m, &minBrake));
    check(TindrelBLDCMotor_getMaxBrakingStrength(m, &maxBrake));
    check(TindrelBLDCMotor_getMinStallVelocity(m, &minStall));
    check(TindrelBLDCMotor_getMaxStallVelocity(m, &maxStall));
    check(TindrelBLDCMotor_getStallVelocity(m, &stall));

    rescaleText->setText(formatNumber("%.2f", rescale));
    // The target range is symmetric; no target is sent at attach.
    targetVelocitySlider->setRange(-maxVel, maxVel, 0.0);
    targetVelocitySlider->accept(0.0);
    targetVelocityLabel->setText(QStringLiteral("0.00"));
    accelerationSlider->setRange(minAcc, maxAcc, acc);
    accelerationSlider->accept(acc);
    accelerationLabel->setText(formatNumber("%0.2f", acc));
    brakingStrengthSlider->setRange(minBrake, maxBrake, minBrake);
    brakingStrengthSlider->accept(minBrake);
    brakingStrengthLabel->setText(formatNumber("%.2f", minBrake));
    stallVelocitySlider->setRange(minStall, maxStall, stall);
    stallVelocitySlider->accept(stall);
    stallVelocityLabel->setText(formatNumber("%.2f", stall));
}

void BLDCMotorController::updateGUI()
{
    const auto m = handle<TindrelBLDCMotorHandle>();
    double p = 0, minStall = 0, maxStall = 0, stall = 0;
    check(TindrelBLDCMotor_getPosition(m, &p));
    check(TindrelBLDCMotor_getMinStallVelocity(m, &minStall));
    check(TindrelBLDCMotor_getMaxStallVelocity(m, &maxStall));
    check(TindrelBLDCMotor_getStallVelocity(m, &stall));
    stallVelocitySlider->setRange(minStall, maxStall, stall);
    stallVelocitySlider->accept(stall);
    stallVelocityLabel->setText(formatNumber("%.2f", stall));
    positionLabel->setText(formatNumber("%.2f", p));
}

}   // namespace tindrel
