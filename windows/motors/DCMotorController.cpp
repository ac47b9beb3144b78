#include "DCMotorController.h"

#include "BoundRows.h"
#include "MotorLogic.h"
#include "SliderRow.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tindrel {

namespace {

bool idIn(int id, std::initializer_list<int> ids) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

}   // namespace

DCMotorController::DCMotorController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelDCMotorHandle, TindrelDCMotor_create, TindrelDCMotor_delete>(),
                      Form::Window, parent)
    , settingsBox(new AttachBox(QStringLiteral("Motor Settings"), this))
    , velocitySlider(new SliderRow(SliderRow::SendRule::EveryMove, "%0.2f", "%0.2f", false, settingsBox))
    , zeroVelocityButton(new QPushButton(QStringLiteral("Zero Velocity"), settingsBox))
    , accelerationSlider(new SliderRow(SliderRow::SendRule::OnRelease, "%0.2f", "%0.2f", false, settingsBox))
    , backEMFCheck(new QCheckBox(QStringLiteral("Back EMF Sensing"), settingsBox))
    , brakingStrengthBox(new AttachBox(QStringLiteral("Braking Strength"), settingsBox, this,
                                       [this] {
                                           return idIn(identity().deviceId, {42, 57, 110});
                                       }))
    , brakingStrengthSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%0.2f", "%0.2f", false, brakingStrengthBox))
    , extraSettingsBox(new AttachBox(QStringLiteral("Current and Fan"), settingsBox, this,
                                     [this] {
                                         return idIn(identity().deviceId, {57, 110});
                                     }))
    , currentLimitSlider(new SliderRow(SliderRow::SendRule::OnRelease, "%0.2f", "%0.2fA", false, extraSettingsBox))
    , regulatorRows(new QWidget(extraSettingsBox))
    , currentRegulatorGainSlider(new SliderRow(SliderRow::SendRule::OnRelease, "%0.2f", "%0.2f", false, regulatorRows))
    , fanModeCombo(new QComboBox(regulatorRows))
    , velocityChangeBox(new QGroupBox(QStringLiteral("Velocity"), this))
    , velocityChangeText(new QLabel(velocityChangeBox))
    , backEMFBox(new AttachBox(QStringLiteral("Back EMF"), this, [this] { return identity().deviceId == 42; }))
    , backEMFText(new QLabel(backEMFBox))
    , brakingStrengthChangeBox(new AttachBox(QStringLiteral("Braking Strength"), this,
                                             [this] {
                                                 return idIn(identity().deviceId, {57, 110});
                                             }))
    , brakingStrengthChangeLabel(new QLabel(brakingStrengthChangeBox))
    , velocity(addStream<ScalarEvent>(QStringLiteral("Velocity"),
                                      {{QStringLiteral("Velocity"), QStringLiteral("duty")}},
                                      showIn(velocityChangeText, "%0.2f")))
    , targetVelocity(addStream<ScalarEvent>(QStringLiteral("Target Velocity"),
                                            {{QStringLiteral("Target Velocity"), QStringLiteral("duty")}}, {}))
    , backEMF(addStream<ScalarEvent>(QStringLiteral("Back EMF"), {{QStringLiteral("Back EMF"), QStringLiteral("V")}},
                                     showIn(backEMFText, "%0.2f")))
    , brakingStrength(addStream<ScalarEvent>(QStringLiteral("Braking Strength"),
                                             {{QStringLiteral("Braking Strength"), QStringLiteral("")}},
                                             showIn(brakingStrengthChangeLabel, "%0.2f")))
{
    setWindowTitle(QStringLiteral("DC Motor"));
    // The maximum height, plus the braking and current boxes where the device
    // has them; device 110 goes without the gain and fan rows.
    setHeightRule(HeightRule::MaximumAtAttach, {brakingStrengthBox, extraSettingsBox});
    velocitySlider->setRange(-1.0, 1.0, 0.0);
    brakingStrengthSlider->setRange(0.0, 1.0, 0.0);
    for (const char *title : motors::fanModeTitles)
        fanModeCombo->addItem(QString::fromLatin1(title));

    auto *brakeLayout = new QVBoxLayout(brakingStrengthBox);
    brakeLayout->addWidget(brakingStrengthSlider);

    auto *regulator = new QFormLayout(regulatorRows);
    regulator->setContentsMargins(0, 0, 0, 0);
    regulator->addRow(QStringLiteral("Current Regulator Gain:"), currentRegulatorGainSlider);
    regulator->addRow(QStringLiteral("Fan Mode:"), fanModeCombo);
    auto *extra = new QFormLayout(extraSettingsBox);
    // The gain and fan rows take 156 points with their spacing: device 110,
    // which has neither, gets a window that much shorter.
    constexpr int regulatorRowsRoom = 156;
    constexpr int rowSpacing = 6;
    extra->setVerticalSpacing(rowSpacing);
    regulatorRows->setFixedHeight(regulatorRowsRoom - rowSpacing);
    extra->addRow(QStringLiteral("Current Limit:"), currentLimitSlider);
    extra->addRow(regulatorRows);

    auto *velocityRow = new QHBoxLayout;
    velocityRow->addWidget(velocitySlider, 1);
    velocityRow->addWidget(zeroVelocityButton);
    auto *settings = new QFormLayout(settingsBox);
    settings->addRow(QStringLiteral("Target Velocity:"), velocityRow);
    settings->addRow(QStringLiteral("Acceleration:"), accelerationSlider);
    settings->addRow(backEMFCheck);
    settings->addRow(brakingStrengthBox);
    settings->addRow(extraSettingsBox);

    (new QVBoxLayout(velocityChangeBox))->addWidget(velocityChangeText);
    (new QVBoxLayout(backEMFBox))->addWidget(backEMFText);
    (new QVBoxLayout(brakingStrengthChangeBox))->addWidget(brakingStrengthChangeLabel);
    auto *reported = new QHBoxLayout;
    reported->addWidget(velocityChangeBox);
    reported->addWidget(backEMFBox);
    reported->addWidget(brakingStrengthChangeBox);
    contentLayout()->addWidget(settingsBox);
    contentLayout()->addLayout(reported);
    velocityChangeBox->hide();

    velocitySlider->setSender([this](double v) {
        setVelocity(v);
        return true;
    });
    accelerationSlider->setSender([this](double v) {
        setAcceleration(v);
        return true;
    });
    brakingStrengthSlider->setSender([this](double v) {
        setBrakingStrength(v);
        return true;
    });
    currentLimitSlider->setSender([this](double v) {
        setCurrentLimit(v);
        return true;
    });
    currentRegulatorGainSlider->setSender([this](double v) {
        setCurrentRegulatorGain(v);
        return true;
    });
    connect(fanModeCombo, &QComboBox::activated, this, &DCMotorController::setFanMode);
    // Remembered with the rows; read back from the channel after a restore.
    rememberPopup(QStringLiteral("fanMode"), fanModeCombo, &TindrelDCMotor_getFanMode, motors::dcFanModeFor);
    connect(backEMFCheck, &QCheckBox::clicked, this, &DCMotorController::setEMFSensing);
    connect(zeroVelocityButton, &QPushButton::clicked, this, &DCMotorController::zeroVelocity);
}

void DCMotorController::registerValueHandlers()
{
    subscribe(&TindrelDCMotor_setOnVelocityUpdateHandler, velocity);
    subscribe(&TindrelDCMotor_setOnBackEMFChangeHandler, backEMF);
    subscribe(&TindrelDCMotor_setOnBrakingStrengthChangeHandler, brakingStrength);
}

// On a failed send the slider stays where the user left it and its label
// keeps the text it had.
void DCMotorController::setVelocity(double value)
{
    if (!check(TindrelDCMotor_setTargetVelocity(handle<TindrelDCMotorHandle>(), value))) {
        velocitySlider->restoreLabel();
        return;
    }
    velocitySlider->accept(value);
    velocitySlider->valueLabel->setText(formatNumber("%0.2f", value));
    targetVelocity.deliver({value});
}

void DCMotorController::setAcceleration(double value)
{
    if (!check(TindrelDCMotor_setAcceleration(handle<TindrelDCMotorHandle>(), value))) {
        accelerationSlider->restoreLabel();
        return;
    }
    accelerationSlider->accept(value);
    accelerationSlider->valueLabel->setText(formatNumber("%0.2f", value));
}

void DCMotorController::setBrakingStrength(double value)
{
    if (!check(TindrelDCMotor_setTargetBrakingStrength(handle<TindrelDCMotorHandle>(), value))) {
        brakingStrengthSlider->restoreLabel();
        return;
    }
    brakingStrengthSlider->accept(value);
    brakingStrengthSlider->valueLabel->setText(formatNumber("%0.2f", value));
}

void DCMotorController::setCurrentLimit(double amperes)
{
    if (!check(TindrelDCMotor_setCurrentLimit(handle<TindrelDCMotorHandle>(), amperes))) {
        currentLimitSlider->restoreLabel();
        return;
    }
    currentLimitSlider->accept(amperes);
    currentLimitSlider->valueLabel->setText(formatNumber("%0.2fA", amperes));
}

void DCMotorController::setCurrentRegulatorGain(double value)
{
    if (!check(TindrelDCMotor_setCurrentRegulatorGain(handle<TindrelDCMotorHandle>(), value))) {
        currentRegulatorGainSlider->restoreLabel();
        return;
    }
    currentRegulatorGainSlider->accept(value);
    currentRegulatorGainSlider->valueLabel->setText(formatNumber("%0.2f", value));
}

void DCMotorController::setFanMode(int index)
{
    check(TindrelDCMotor_setFanMode(handle<TindrelDCMotorHandle>(),
                                    static_cast<Tindrel_FanMode>(motors::dcFanModeFor(index))));
}

void DCMotorController::setEMFSensing()
{
    check(TindrelDCMotor_setBackEMFSensingState(handle<TindrelDCMotorHandle>(), backEMFCheck->isChecked() ? 1 : 0));
}

void DCMotorController::zeroVelocity()
{
    if (!check(TindrelDCMotor_setTargetVelocity(handle<TindrelDCMotorHandle>(), 0.0)))
        return;
    velocitySlider->setValue(0.0);
    velocitySlider->accept(0.0);
    velocitySlider->valueLabel->setText(formatNumber("%0.2f", 0.0));
    targetVelocity.deliver({0.0});
}

void DCMotorController::onAttach()
{
    // This window's reads at attach are not examined.
    const auto m = handle<TindrelDCMotorHandle>();
    const int id = identity().deviceId;
    double minAcc = 0, maxAcc = 0, acc = 0, vel = 0;
    int emfSensing = 0;
    TindrelDCMotor_getMinAcceleration(m, &minAcc);
    TindrelDCMotor_getMaxAcceleration(m, &maxAcc);
    TindrelDCMotor_getAcceleration(m, &acc);
    TindrelDCMotor_getVelocity(m, &vel);
    TindrelDCMotor_getBackEMFSensingState(m, &emfSensing);

    accelerationSlider->setRange(minAcc, maxAcc, acc);
    accelerationSlider->accept(acc);
    velocitySlider->setValue(vel);
    velocitySlider->accept(vel);
    velocitySlider->valueLabel->setText(formatNumber("%0.2f", vel));
    targetVelocity.deliver({vel});

    if (idIn(id, {37, 41})) {
        backEMFCheck->hide();
        velocityChangeBox->show();
    } else if (id == 42) {
        brakingStrengthSlider->valueLabel->setText(formatNumber("%0.2f", 0.0));
        backEMFCheck->show();
        backEMFCheck->setChecked(emfSensing != 0);
        velocityChangeBox->show();
    } else if (idIn(id, {57, 110})) {
        double minLimit = 0, maxLimit = 0, limit = 0, minGain = 0, maxGain = 0, gain = 0;
        TindrelDCMotor_getMinCurrentLimit(m, &minLimit);
        TindrelDCMotor_getMaxCurrentLimit(m, &maxLimit);
        TindrelDCMotor_getCurrentLimit(m, &limit);
        TindrelDCMotor_getMinCurrentRegulatorGain(m, &minGain);
        TindrelDCMotor_getMaxCurrentRegulatorGain(m, &maxGain);
        TindrelDCMotor_getCurrentRegulatorGain(m, &gain);
        velocityChangeBox->show();
        brakingStrengthSlider->valueLabel->setText(formatNumber("%0.2f", 0.0));
        currentLimitSlider->setRange(minLimit, maxLimit, limit);
        currentLimitSlider->accept(limit);
        // Device 110 has no current regulator gain and no fan mode.
        regulatorRows->setVisible(id == 57);
        if (id == 57) {
            currentRegulatorGainSlider->setRange(minGain, maxGain, gain);
            currentRegulatorGainSlider->accept(gain);
            fanModeCombo->setCurrentIndex(2);
        }
    }
}

void DCMotorController::onDetach()
{
    // The frame hides the settings and the boxes shown by device; the
    // reported-velocity box and the back-EMF check keep their state.
}

}   // namespace tindrel
