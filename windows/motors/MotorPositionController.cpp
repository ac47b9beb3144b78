#include "MotorPositionController.h"

#include "AlertService.h"
#include "BoundRows.h"
#include "FieldStepper.h"
#include "MotorLogic.h"
#include "MotorSettingsPanel.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

using H = TindrelMotorPositionControllerHandle;

QGroupBox *boxWith(const QString &title, QWidget *content, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    (new QVBoxLayout(box))->addWidget(content);
    box->hide();   // shown by device ID at attach
    return box;
}

}   // namespace

MotorPositionController::MotorPositionController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<H, TindrelMotorPositionController_create, TindrelMotorPositionController_delete>(),
          Form::Window, parent)
    , EventBox(new AttachBox(QStringLiteral("Motor"), this))
    , motorPositionLabel(new QLabel(EventBox))
    , motorDutyCycleLabel(new QLabel(EventBox))
    , targetPositionBox(new AttachBox(QStringLiteral("Target Position"), this))
    , targetPosition(new FieldStepper("%.2f", false, targetPositionBox))
    , incrementPositionText(new QLineEdit(targetPositionBox))
    , configureBox(new AttachBox(QStringLiteral("Control Loop"), this))
    , kp(new FieldStepper("%.1f", true, configureBox))
    , ki(new FieldStepper("%.1f", true, configureBox))
    , kd(new FieldStepper("%.1f", true, configureBox))
    , acceleration(new FieldStepper("%.2f", true, configureBox))
    , velocity(new FieldStepper("%.2f", true, configureBox))
    , rescaleText(new QLineEdit(configureBox))
    , deadbandText(new QLineEdit(configureBox))
    , engageMotorButton(new QPushButton(QStringLiteral("Engage Motor"), configureBox))
    , zeroPositionButton(new QPushButton(QStringLiteral("Zero Position"), targetPositionBox))
    , otherSettingsButton(new QPushButton(QStringLiteral("Other Motor Settings"), configureBox))
    , otherMotorSettingsBox(new AttachBox(QStringLiteral("Other Motor Settings"), this,
                                          [this] { return otherSettingsButton->isChecked(); }))
    , currentLimit(new FieldStepper("%.2f", true))
    , currentRegulatorGain(new FieldStepper("%.2f", true))
    , stallVelocity(new FieldStepper("%.2f", true))
    , encoderIOModeCombo(new QComboBox)
    , fanModeCombo(new QComboBox)
    , saveSettingsButton(new QPushButton(QStringLiteral("Save Settings..."), configureBox))
    , revertToSavedButton(new QPushButton(QStringLiteral("Revert to Saved..."), configureBox))
    , revertToDefaultButton(new QPushButton(QStringLiteral("Revert to Default..."), configureBox))
    , settingsWindow(new MotorSettingsPanel(
          {QStringLiteral("Rescale Factor"), QStringLiteral("Kp"), QStringLiteral("Ki"), QStringLiteral("Kd"),
           QStringLiteral("Acceleration"), QStringLiteral("Velocity Limit"), QStringLiteral("Dead Band"),
           QStringLiteral("Stall Velocity"), QStringLiteral("Current Limit"), QStringLiteral("Current Regulator Gain"),
           QStringLiteral("Encoder IO Mode")},
          this))
    , positionStream(addStream<ScalarEvent>(QStringLiteral("Position"),
                                            {{QStringLiteral("Position"), QStringLiteral("")}},
                                            showIn(motorPositionLabel, "%0.3f")))
    , targetStream(addStream<ScalarEvent>(QStringLiteral("Target Position"),
                                          {{QStringLiteral("Target Position"), QStringLiteral("")}}, {}))
    , dutyCycleStream(addStream<ScalarEvent>(QStringLiteral("Duty Cycle"),
                                             {{QStringLiteral("Duty Cycle"), QStringLiteral("")}},
                                             showIn(motorDutyCycleLabel, "%0.3f")))
{
    setWindowTitle(QStringLiteral("Motor Position Controller"));
    // Minimum size at open and detach, maximum at attach; folded away, the
    // further settings give up their room.
    setHeightRule(HeightRule::MaximumSizeAtAttach, {otherMotorSettingsBox});
    currentLimitBox = boxWith(QStringLiteral("Current Limit"), currentLimit, otherMotorSettingsBox);
    currentRegulatorGainBox =
        boxWith(QStringLiteral("Current Regulator Gain"), currentRegulatorGain, otherMotorSettingsBox);
    stallVelocityBox = boxWith(QStringLiteral("Stall Velocity"), stallVelocity, otherMotorSettingsBox);
    fanModeBox = boxWith(QStringLiteral("Fan Mode"), fanModeCombo, otherMotorSettingsBox);
    IOModeBox = boxWith(QStringLiteral("Encoder IO Mode"), encoderIOModeCombo, otherMotorSettingsBox);
    encoderIOModeCombo->addItems({QStringLiteral("Push-Pull"), QStringLiteral("Line Driver 2.2K"),
                                  QStringLiteral("Line Driver 10K"), QStringLiteral("Open Collector 2.2K"),
                                  QStringLiteral("Open Collector 10K")});
    for (const char *title : motors::fanModeTitles)
        fanModeCombo->addItem(QString::fromLatin1(title));
    otherSettingsButton->setCheckable(true);
    otherSettingsButton->setChecked(true);

    auto *events = new QFormLayout(EventBox);
    events->addRow(QStringLiteral("Position:"), motorPositionLabel);
    events->addRow(QStringLiteral("Duty Cycle:"), motorDutyCycleLabel);

    auto *target = new QFormLayout(targetPositionBox);
    target->addRow(QStringLiteral("Target:"), targetPosition);
    target->addRow(QStringLiteral("Step:"), incrementPositionText);
    target->addRow(zeroPositionButton);

    auto *configure = new QFormLayout(configureBox);
    configure->addRow(QStringLiteral("Kp:"), kp);
    configure->addRow(QStringLiteral("Ki:"), ki);
    configure->addRow(QStringLiteral("Kd:"), kd);
    configure->addRow(QStringLiteral("Acceleration:"), acceleration);
    configure->addRow(QStringLiteral("Velocity Limit:"), velocity);
    configure->addRow(QStringLiteral("Rescale Factor:"), rescaleText);
    configure->addRow(QStringLiteral("Dead Band:"), deadbandText);
    configure->addRow(engageMotorButton);
    auto *saved = new QHBoxLayout;
    saved->addWidget(saveSettingsButton);
    saved->addWidget(revertToSavedButton);
    saved->addWidget(revertToDefaultButton);
    configure->addRow(saved);
    configure->addRow(otherSettingsButton);

    auto *other = new QVBoxLayout(otherMotorSettingsBox);
    for (QWidget *w : {static_cast<QWidget *>(currentLimitBox), static_cast<QWidget *>(currentRegulatorGainBox),
                       static_cast<QWidget *>(stallVelocityBox), static_cast<QWidget *>(fanModeBox),
                       static_cast<QWidget *>(IOModeBox)})
        other->addWidget(w);

    contentLayout()->addWidget(EventBox);
    contentLayout()->addWidget(targetPositionBox);
    contentLayout()->addWidget(configureBox);
    contentLayout()->addWidget(otherMotorSettingsBox);

    const auto refuse = [this](const QString &text) { outputError(text); };
    const auto bind = [&](FieldStepper *row, TindrelReturnCode (*set)(H, double)) {
        row->setRefusal(refuse);
        row->setSender([this, set](double v) { return check(set(handle<H>(), v)); });
    };
    bind(kp, &TindrelMotorPositionController_setKp);
    bind(ki, &TindrelMotorPositionController_setKi);
    bind(kd, &TindrelMotorPositionController_setKd);
    bind(acceleration, &TindrelMotorPositionController_setAcceleration);
    bind(velocity, &TindrelMotorPositionController_setVelocityLimit);
    bind(currentLimit, &TindrelMotorPositionController_setCurrentLimit);
    bind(currentRegulatorGain, &TindrelMotorPositionController_setCurrentRegulatorGain);
    bind(stallVelocity, &TindrelMotorPositionController_setStallVelocity);
    targetPosition->setRefusal(refuse);
    targetPosition->setSender([this](double v) {
        if (!check(TindrelMotorPositionController_setTargetPosition(handle<H>(), v)))
            return false;
        targetStream.deliver({v});
        return true;
    });

    connect(rescaleText, &QLineEdit::returnPressed, this, &MotorPositionController::setRescaleFactor);
    connect(deadbandText, &QLineEdit::returnPressed, this, &MotorPositionController::setDeadband);
    connect(incrementPositionText, &QLineEdit::returnPressed, this, &MotorPositionController::setIncrement);
    connect(engageMotorButton, &QPushButton::clicked, this, &MotorPositionController::engageMotor);
    connect(zeroPositionButton, &QPushButton::clicked, this, &MotorPositionController::zeroPosition);
    connect(encoderIOModeCombo, &QComboBox::activated, this, &MotorPositionController::setIOMode);
    connect(fanModeCombo, &QComboBox::activated, this, &MotorPositionController::setFanMode);
    // Remembered with the rows; read back from the channel after a restore.
    rememberPopup(QStringLiteral("encoderIOMode"), encoderIOModeCombo, &TindrelMotorPositionController_getIOMode,
                  motors::ioModeFor);
    rememberPopup(QStringLiteral("fanMode"), fanModeCombo, &TindrelMotorPositionController_getFanMode,
                  motors::fanModeFor);
    connect(otherSettingsButton, &QPushButton::toggled, this, &MotorPositionController::showOtherMotorSettings);
    connect(saveSettingsButton, &QPushButton::clicked, this, &MotorPositionController::saveSettings);
    connect(revertToSavedButton, &QPushButton::clicked, this, &MotorPositionController::revertToSavedSettings);
    connect(revertToDefaultButton, &QPushButton::clicked, this, &MotorPositionController::revertToDefaultSettings);
    connect(settingsWindow->confirmButton, &QPushButton::clicked, this,
            &MotorPositionController::enterSettingsSelection);
}

void MotorPositionController::registerValueHandlers()
{
    subscribe(&TindrelMotorPositionController_setOnPositionChangeHandler, positionStream);
    subscribe(&TindrelMotorPositionController_setOnDutyCycleUpdateHandler, dutyCycleStream);
}

void MotorPositionController::onErrorEvent(int code)
{
    if (code == TINDREL_EEVENT_MOTORSTALL)
        engageMotorButton->setText(QStringLiteral("Engage Motor"));
}

void MotorPositionController::setRescaleFactor()
{
    bool ok = false;
    const double factor = rescaleText->text().trimmed().toDouble(&ok);
    if (!ok)
        outputError(QStringLiteral("\"%1\" is not a number; nothing was sent").arg(rescaleText->text()));
    else
        check(TindrelMotorPositionController_setRescaleFactor(handle<H>(), factor));
    updateRescaleProperties();
}

void MotorPositionController::setDeadband()
{
    bool ok = false;
    const double band = deadbandText->text().trimmed().toDouble(&ok);
    if (!ok) {
        outputError(QStringLiteral("\"%1\" is not a number; nothing was sent").arg(deadbandText->text()));
        return;
    }
    check(TindrelMotorPositionController_setDeadBand(handle<H>(), band));
}

void MotorPositionController::setIncrement()
{
    bool ok = false;
    const double step = incrementPositionText->text().trimmed().toDouble(&ok);
    if (!ok) {
        outputError(QStringLiteral("\"%1\" is not a number; the step stays").arg(incrementPositionText->text()));
        return;
    }
    targetPosition->stepper->setStep(step);
    if (QSettings *d = userDefaults())
        d->setValue(QString::fromLatin1(motors::positionIncrementKey), step);
}

void MotorPositionController::engageMotor()
{
    const H m = handle<H>();
    int engaged = 0;
    // After a failed read the state is unknown: report it and leave it.
    if (!check(TindrelMotorPositionController_getEngaged(m, &engaged)))
        return;
    const bool engage = engaged == 0;
    check(TindrelMotorPositionController_setEngaged(m, engage ? 1 : 0));
    engageMotorButton->setText(engage ? QStringLiteral("Disengage Motor") : QStringLiteral("Engage Motor"));
}

void MotorPositionController::zeroPosition()
{
    const H m = handle<H>();
    double p = 0;
    if (check(TindrelMotorPositionController_getPosition(m, &p)))
        check(TindrelMotorPositionController_addPositionOffset(m, -p));
}

void MotorPositionController::setIOMode(int index)
{
    const auto mode = motors::ioModeFor(index);
    if (!mode) {
        outputLastError();
        return;
    }
    check(TindrelMotorPositionController_setIOMode(handle<H>(), static_cast<Tindrel_EncoderIOMode>(*mode)));
}

void MotorPositionController::setFanMode(int index)
{
    const auto mode = motors::fanModeFor(index);
    if (!mode) {
        outputLastError();
        return;
    }
    check(TindrelMotorPositionController_setFanMode(handle<H>(), static_cast<Tindrel_FanMode>(*mode)));
}

void MotorPositionController::showOtherMotorSettings(bool on) { foldBox(otherMotorSettingsBox, on); }

void MotorPositionController::onAttach()
{
    const H m = handle<H>();
    const int id = identity().deviceId;
    auto &c = capturedDefaults.values;
    check(TindrelMotorPositionController_getRescaleFactor(m, &c[0]));
    check(TindrelMotorPositionController_getKp(m, &c[1]));
    check(TindrelMotorPositionController_getKi(m, &c[2]));
    check(TindrelMotorPositionController_getKd(m, &c[3]));
    check(TindrelMotorPositionController_getAcceleration(m, &c[4]));
    check(TindrelMotorPositionController_getVelocityLimit(m, &c[5]));
    check(TindrelMotorPositionController_getDeadBand(m, &c[6]));
    if (id == 110) {
        check(TindrelMotorPositionController_getCurrentLimit(m, &c[8]));
    } else if (id == 108) {
        check(TindrelMotorPositionController_getStallVelocity(m, &c[7]));
    } else if (id == 57) {
        Tindrel_EncoderIOMode io{};
        check(TindrelMotorPositionController_getCurrentLimit(m, &c[8]));
        if (check(TindrelMotorPositionController_getIOMode(m, &io)))
            capturedDefaults.ioMode = static_cast<int>(io);
        check(TindrelMotorPositionController_getCurrentRegulatorGain(m, &c[9]));
    }

    if (id == 110) {
        currentLimitBox->show();
    } else if (id == 108) {
        stallVelocityBox->show();
    } else if (id == 57) {
        currentLimitBox->show();
        currentRegulatorGainBox->show();
        IOModeBox->show();
        fanModeBox->show();
        encoderIOModeCombo->setCurrentIndex(0);
        fanModeCombo->setCurrentIndex(2);
    }
    applySavedSettings();
}

TindrelReturnCode MotorPositionController::sendSetting(int tag, double value)
{
    const H m = handle<H>();
    switch (tag) {
    case 0:
        return TindrelMotorPositionController_setRescaleFactor(m, value);
    case 1:
        return TindrelMotorPositionController_setKp(m, value);
    case 2:
        return TindrelMotorPositionController_setKi(m, value);
    case 3:
        return TindrelMotorPositionController_setKd(m, value);
    case 4:
        return TindrelMotorPositionController_setAcceleration(m, value);
    case 5:
        return TindrelMotorPositionController_setVelocityLimit(m, value);
    case 6:
        return TindrelMotorPositionController_setDeadBand(m, value);
    case 7:
        return TindrelMotorPositionController_setStallVelocity(m, value);
    case 8:
        return TindrelMotorPositionController_setCurrentLimit(m, value);
    case 9:
        return TindrelMotorPositionController_setCurrentRegulatorGain(m, value);
    default:
        return TindrelMotorPositionController_setIOMode(m, static_cast<Tindrel_EncoderIOMode>(static_cast<int>(value)));
    }
}

void MotorPositionController::applySavedSettings()
{
    QSettings *d = userDefaults();
    if (d) {
        if (const auto step = motors::savedDouble(*d, motors::positionIncrementKey)) {
            targetPosition->stepper->setStep(*step);
            incrementPositionText->setText(formatNumber("%.2f", *step));
        }
        const int id = identity().deviceId;
        // In tag order: the rescale factor reaches the device before the
        // values expressed in its units.
        for (const motors::SavedSetting &s : motors::positionSettings()) {
            const auto v = motors::savedDouble(*d, s.key);
            if (!v || !s.appliesTo(id))
                continue;
            // The saved IO mode is the pop-up's index; the device counts from 1.
            check(sendSetting(s.tag, s.tag == 10 ? std::trunc(*v + 1) : *v));
        }
    }
    updateGUI();
}

void MotorPositionController::updateGUI()
{
    const H m = handle<H>();
    const int id = identity().deviceId;
    double p = 0, i = 0, dd = 0, rescale = 1;
    check(TindrelMotorPositionController_getKp(m, &p));
    check(TindrelMotorPositionController_getKi(m, &i));
    check(TindrelMotorPositionController_getKd(m, &dd));
    check(TindrelMotorPositionController_getRescaleFactor(m, &rescale));
    if (id == 110 || id == 57) {
        double limit = 0, lo = 0, hi = 0;
        check(TindrelMotorPositionController_getCurrentLimit(m, &limit));
        check(TindrelMotorPositionController_getMinCurrentLimit(m, &lo));
        check(TindrelMotorPositionController_getMaxCurrentLimit(m, &hi));
        currentLimit->field->setText(formatNumber("%.2f", limit));
        currentLimit->stepper->setRange(lo, hi);
        currentLimit->stepper->setValue(limit);
    }
    if (id == 57) {
        Tindrel_EncoderIOMode io{};
        double gain = 0, lo = 0, hi = 0;
        check(TindrelMotorPositionController_getIOMode(m, &io));
        check(TindrelMotorPositionController_getCurrentRegulatorGain(m, &gain));
        check(TindrelMotorPositionController_getMinCurrentRegulatorGain(m, &lo));
        check(TindrelMotorPositionController_getMaxCurrentRegulatorGain(m, &hi));
        currentRegulatorGain->field->setText(formatNumber("%.2f", gain));
        currentRegulatorGain->stepper->setRange(lo, hi);
        currentRegulatorGain->stepper->setValue(gain);
        encoderIOModeCombo->setCurrentIndex(static_cast<int>(io) - 1);
    }
    if (id == 108) {
        double stall = 0, lo = 0, hi = 0;
        check(TindrelMotorPositionController_getStallVelocity(m, &stall));
        check(TindrelMotorPositionController_getMaxStallVelocity(m, &hi));
        check(TindrelMotorPositionController_getMinStallVelocity(m, &lo));
        stallVelocity->field->setText(formatNumber("%.2f", stall));
        stallVelocity->stepper->setRange(lo, hi);
        stallVelocity->stepper->setValue(stall);
    }
    kp->field->setText(formatNumber("%.4f", p));
    ki->field->setText(formatNumber("%.4f", i));
    kd->field->setText(formatNumber("%.4f", dd));
    rescaleText->setText(formatNumber("%f", rescale));
    updateRescaleProperties();
    for (auto [row, gain] : {std::pair{kp, p}, std::pair{ki, i}, std::pair{kd, dd}}) {
        row->stepper->setStep(stepperStepFor(gain));
        row->stepper->setRange(0, 1e12);
        row->stepper->setValue(gain);
    }
}

void MotorPositionController::updateRescaleProperties()
{
    const H m = handle<H>();
    double minAcc = 0, maxAcc = 0, acc = 0, minVel = 0, maxVel = 0, vel = 0, band = 0, minPos = 0, maxPos = 0;
    check(TindrelMotorPositionController_getMinAcceleration(m, &minAcc));
    check(TindrelMotorPositionController_getMaxAcceleration(m, &maxAcc));
    check(TindrelMotorPositionController_getAcceleration(m, &acc));
    check(TindrelMotorPositionController_getMinVelocityLimit(m, &minVel));
    check(TindrelMotorPositionController_getMaxVelocityLimit(m, &maxVel));
    check(TindrelMotorPositionController_getVelocityLimit(m, &vel));
    check(TindrelMotorPositionController_getDeadBand(m, &band));
    check(TindrelMotorPositionController_getMinPosition(m, &minPos));
    check(TindrelMotorPositionController_getMaxPosition(m, &maxPos));
    if (identity().deviceId == 108) {
        double lo = 0, hi = 0, stall = 0;
        check(TindrelMotorPositionController_getMinStallVelocity(m, &lo));
        check(TindrelMotorPositionController_getMaxStallVelocity(m, &hi));
        check(TindrelMotorPositionController_getStallVelocity(m, &stall));
        stallVelocity->stepper->setStep(stepperStepFor(stall));
        stallVelocity->stepper->setRange(lo, hi);
        stallVelocity->stepper->setValue(stall);
        stallVelocity->field->setText(formatNumber("%.2f", stall));
    }
    acceleration->field->setText(formatNumber("%.2f", acc));
    velocity->field->setText(formatNumber("%.2f", vel));
    acceleration->stepper->setStep(stepperStepFor(acc));
    acceleration->stepper->setRange(minAcc, maxAcc);
    acceleration->stepper->setValue(acc);
    velocity->stepper->setStep(stepperStepFor(vel));
    velocity->stepper->setRange(minVel, maxVel);
    velocity->stepper->setValue(vel);
    targetPosition->stepper->setRange(minPos, maxPos);
    deadbandText->setText(formatNumber("%f", band));
}

void MotorPositionController::openPanel(int mode)
{
    if (settingsWindow->isVisible())
        return;
    static const char *const titles[] = {"Save", "Revert to Saved", "Revert to Default"};
    settingsWindow->confirmButton->setText(QString::fromLatin1(titles[mode]));
    settingsWindow->show();
    panelMode = mode;
    showHideSettings();
}

void MotorPositionController::showHideSettings()
{
    // Cells are never enabled again by the window.
    for (int tag : motors::disabledPositionCells(identity().deviceId))
        settingsWindow->cell(tag)->setEnabled(false);
}

std::optional<double> MotorPositionController::fieldValue(int tag)
{
    if (tag == 10)
        return encoderIOModeCombo->currentIndex();
    const QLineEdit *fields[] = {rescaleText,         kp->field,
                                 ki->field,           kd->field,
                                 acceleration->field, velocity->field,
                                 deadbandText,        stallVelocity->field,
                                 currentLimit->field, currentRegulatorGain->field};
    bool ok = false;
    const double v = fields[tag]->text().trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

void MotorPositionController::enterSettingsSelection()
{
    QSettings *d = userDefaults();
    switch (panelMode) {
    case 0: {
        for (const motors::SavedSetting &s : motors::positionSettings()) {
            if (!settingsWindow->isOn(s.tag))
                continue;
            const auto v = fieldValue(s.tag);
            if (!v) {
                // Saving a field that shows no number would store a value never shown.
                outputError(
                    QStringLiteral("%1 was not saved: its field holds no number").arg(QString::fromLatin1(s.key)));
                continue;
            }
            if (d)
                d->setValue(QString::fromLatin1(s.key), *v);
        }
        settingsWindow->hide();
        if (alerts())
            alerts()->showAlert(this, QStringLiteral("Saved"), QStringLiteral("Settings have been saved!"));
        break;
    }
    case 1:
        applySavedSettings();
        settingsWindow->hide();
        if (alerts())
            alerts()->showAlert(this, QStringLiteral("Reverted"),
                                QStringLiteral("Settings have been reverted to the saved values!"));
        break;
    default: {
        for (int tag = 0; tag <= 10; ++tag) {
            if (!settingsWindow->isOn(tag))
                continue;
            const double v = tag == 10 ? 1.0 : capturedDefaults.values[static_cast<size_t>(tag)];
            // A value the device refuses is reported, so the alert below
            // does not claim more than happened.
            check(sendSetting(tag, v));
        }
        updateGUI();
        settingsWindow->hide();
        if (alerts())
            alerts()->showAlert(this, QStringLiteral("Reverted"),
                                QStringLiteral("Settings have been reverted to defaults!"));
        break;
    }
    }
}

void MotorPositionController::onDetach()
{
    for (QLineEdit *f : {kp->field, ki->field, kd->field, targetPosition->field, acceleration->field, velocity->field,
                         deadbandText, stallVelocity->field, currentLimit->field, currentRegulatorGain->field})
        f->setText(QStringLiteral("0"));
    motorPositionLabel->setText(QStringLiteral("0"));
    motorDutyCycleLabel->setText(QStringLiteral("0"));
    encoderIOModeCombo->setCurrentIndex(0);
    fanModeCombo->setCurrentIndex(2);
}

}   // namespace tindrel
