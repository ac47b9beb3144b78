#include "MotorVelocityController.h"

#include "AlertService.h"
#include "BoundRows.h"
#include "FieldStepper.h"
#include "MotorLogic.h"
#include "MotorSettingsPanel.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

namespace tindrel {

namespace {

using H = TindrelMotorVelocityControllerHandle;

QGroupBox *boxWith(const QString &title, QWidget *content, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    (new QVBoxLayout(box))->addWidget(content);
    box->hide();   // shown at attach
    return box;
}

QString notANumber(const QLineEdit *field)
{
    return QStringLiteral("\"%1\" is not a number; nothing was sent").arg(field->text());
}

}   // namespace

MotorVelocityController::MotorVelocityController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<H, TindrelMotorVelocityController_create, TindrelMotorVelocityController_delete>(),
          Form::Window, parent)
    , EventBox(new AttachBox(QStringLiteral("Motor"), this))
    , motorVelocityLabel(new QLabel(EventBox))
    , motorDutyCycleLabel(new QLabel(EventBox))
    , targetVelocityBox(new AttachBox(QStringLiteral("Target Velocity"), this))
    , targetVelocity(new FieldStepper("%.2f", false, targetVelocityBox))
    , incrementVelocityText(new QLineEdit(targetVelocityBox))
    , configureBox(new AttachBox(QStringLiteral("Control Loop"), this))
    , kp(new FieldStepper("%.1f", true, configureBox))
    , ki(new FieldStepper("%.1f", true, configureBox))
    , kd(new FieldStepper("%.1f", true, configureBox))
    , acceleration(new FieldStepper("%.2f", true, configureBox))
    , rescaleText(new QLineEdit(configureBox))
    , deadbandText(new QLineEdit(configureBox))
    , engageMotorButton(new QPushButton(QStringLiteral("Engage Motor"), configureBox))
    , otherSettingsButton(new QPushButton(QStringLiteral("Other Motor Settings"), configureBox))
    , otherMotorSettingsBox(new AttachBox(QStringLiteral("Other Motor Settings"), this,
                                          [this] { return otherSettingsButton->isChecked(); }))
    , currentLimit(new FieldStepper("%.2f", true))
    , motorInductance(new FieldStepper("%.2f", true))
    , saveSettingsButton(new QPushButton(QStringLiteral("Save Settings..."), configureBox))
    , revertToSavedButton(new QPushButton(QStringLiteral("Revert to Saved..."), configureBox))
    , revertToDefaultButton(new QPushButton(QStringLiteral("Revert to Default..."), configureBox))
    , settingsWindow(new MotorSettingsPanel({QStringLiteral("Rescale Factor"), QStringLiteral("Kp"),
                                             QStringLiteral("Ki"), QStringLiteral("Kd"), QStringLiteral("Acceleration"),
                                             QStringLiteral("Dead Band"), QStringLiteral("Current Limit")},
                                            this))
    , velocityStream(addStream<ScalarEvent>(QStringLiteral("Velocity"),
                                            {{QStringLiteral("Velocity"), QStringLiteral("")}},
                                            showIn(motorVelocityLabel, "%0.3f")))
    , targetStream(addStream<ScalarEvent>(QStringLiteral("Target Velocity"),
                                          {{QStringLiteral("Target Velocity"), QStringLiteral("")}}, {}))
    , dutyCycleStream(addStream<ScalarEvent>(QStringLiteral("Duty Cycle"),
                                             {{QStringLiteral("Duty Cycle"), QStringLiteral("")}},
                                             showIn(motorDutyCycleLabel, "%0.3f")))
{
    setWindowTitle(QStringLiteral("Motor Velocity Controller"));
    // Minimum size at open and detach, maximum at attach; folded away, the
    // further settings give up their room.
    setHeightRule(HeightRule::MaximumSizeAtAttach, {otherMotorSettingsBox});
    currentLimitBox = boxWith(QStringLiteral("Current Limit"), currentLimit, otherMotorSettingsBox);
    inductanceBox = boxWith(QStringLiteral("Motor Inductance"), motorInductance, otherMotorSettingsBox);
    otherSettingsButton->setCheckable(true);
    otherSettingsButton->setChecked(true);

    auto *events = new QFormLayout(EventBox);
    events->addRow(QStringLiteral("Velocity:"), motorVelocityLabel);
    events->addRow(QStringLiteral("Duty Cycle:"), motorDutyCycleLabel);
    auto *target = new QFormLayout(targetVelocityBox);
    target->addRow(QStringLiteral("Target:"), targetVelocity);
    target->addRow(QStringLiteral("Step:"), incrementVelocityText);
    auto *configure = new QFormLayout(configureBox);
    configure->addRow(QStringLiteral("Kp:"), kp);
    configure->addRow(QStringLiteral("Ki:"), ki);
    configure->addRow(QStringLiteral("Kd:"), kd);
    configure->addRow(QStringLiteral("Acceleration:"), acceleration);
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
    other->addWidget(currentLimitBox);
    other->addWidget(inductanceBox);
    contentLayout()->addWidget(EventBox);
    contentLayout()->addWidget(targetVelocityBox);
    contentLayout()->addWidget(configureBox);
    contentLayout()->addWidget(otherMotorSettingsBox);

    const auto refuse = [this](const QString &text) { outputError(text); };
    const auto bind = [&](FieldStepper *row, TindrelReturnCode (*set)(H, double)) {
        row->setRefusal(refuse);
        row->setSender([this, set](double v) { return check(set(handle<H>(), v)); });
    };
    bind(kp, &TindrelMotorVelocityController_setKp);
    bind(ki, &TindrelMotorVelocityController_setKi);
    bind(kd, &TindrelMotorVelocityController_setKd);
    bind(acceleration, &TindrelMotorVelocityController_setAcceleration);
    bind(currentLimit, &TindrelMotorVelocityController_setCurrentLimit);
    bind(motorInductance, &TindrelMotorVelocityController_setInductance);
    targetVelocity->setRefusal(refuse);
    targetVelocity->setSender([this](double v) {
        if (!check(TindrelMotorVelocityController_setTargetVelocity(handle<H>(), v)))
            return false;
        targetStream.deliver({v});
        return true;
    });

    connect(rescaleText, &QLineEdit::returnPressed, this, &MotorVelocityController::setRescaleFactor);
    connect(deadbandText, &QLineEdit::returnPressed, this, &MotorVelocityController::setDeadband);
    connect(incrementVelocityText, &QLineEdit::returnPressed, this, &MotorVelocityController::setIncrement);
    connect(engageMotorButton, &QPushButton::clicked, this, &MotorVelocityController::engageMotor);
    connect(otherSettingsButton, &QPushButton::toggled, this, &MotorVelocityController::showOtherMotorSettings);
    connect(saveSettingsButton, &QPushButton::clicked, this, &MotorVelocityController::saveSettings);
    connect(revertToSavedButton, &QPushButton::clicked, this, &MotorVelocityController::revertToSavedSettings);
    connect(revertToDefaultButton, &QPushButton::clicked, this, &MotorVelocityController::revertToDefaultSettings);
    connect(settingsWindow->confirmButton, &QPushButton::clicked, this,
            &MotorVelocityController::enterSettingsSelection);
}

void MotorVelocityController::registerValueHandlers()
{
    subscribe(&TindrelMotorVelocityController_setOnVelocityChangeHandler, velocityStream);
    subscribe(&TindrelMotorVelocityController_setOnDutyCycleUpdateHandler, dutyCycleStream);
}

void MotorVelocityController::onErrorEvent(int code)
{
    if (code == TINDREL_EEVENT_MOTORSTALL)
        engageMotorButton->setText(QStringLiteral("Engage Motor"));
    if (code == TINDREL_EEVENT_BADCONNECTION)
        outputLastError();
}

void MotorVelocityController::setRescaleFactor()
{
    bool ok = false;
    const double factor = rescaleText->text().trimmed().toDouble(&ok);
    if (!ok)
        outputError(notANumber(rescaleText));
    else
        check(TindrelMotorVelocityController_setRescaleFactor(handle<H>(), factor));
    updateRescaleProperties();
}

void MotorVelocityController::setDeadband()
{
    bool ok = false;
    const double band = deadbandText->text().trimmed().toDouble(&ok);
    if (!ok) {
        outputError(notANumber(deadbandText));
        return;
    }
    check(TindrelMotorVelocityController_setDeadBand(handle<H>(), band));
}

void MotorVelocityController::setIncrement()
{
    bool ok = false;
    const double step = incrementVelocityText->text().trimmed().toDouble(&ok);
    if (!ok) {
        outputError(QStringLiteral("\"%1\" is not a number; the step stays").arg(incrementVelocityText->text()));
        return;
    }
    targetVelocity->stepper->setStep(step);
    if (QSettings *d = userDefaults())
        d->setValue(QString::fromLatin1(motors::velocityIncrementKey), step);
}

void MotorVelocityController::engageMotor()
{
    const H m = handle<H>();
    int engaged = 0;
    if (!check(TindrelMotorVelocityController_getEngaged(m, &engaged)))
        return;
    const bool engage = engaged == 0;
    check(TindrelMotorVelocityController_setEngaged(m, engage ? 1 : 0));
    engageMotorButton->setText(engage ? QStringLiteral("Disengage Motor") : QStringLiteral("Engage Motor"));
}

void MotorVelocityController::showOtherMotorSettings(bool on) { foldBox(otherMotorSettingsBox, on); }

void MotorVelocityController::onAttach()
{
    const H m = handle<H>();
    auto &c = capturedDefaults;
    check(TindrelMotorVelocityController_getRescaleFactor(m, &c[0]));
    check(TindrelMotorVelocityController_getKp(m, &c[1]));
    check(TindrelMotorVelocityController_getKi(m, &c[2]));
    check(TindrelMotorVelocityController_getKd(m, &c[3]));
    check(TindrelMotorVelocityController_getAcceleration(m, &c[4]));
    check(TindrelMotorVelocityController_getDeadBand(m, &c[5]));
    check(TindrelMotorVelocityController_getCurrentLimit(m, &c[6]));
    currentLimitBox->show();
    // The inductance is read once it has settled, without holding up the
    // user interface meanwhile; a detach in between cancels the read.
    const quint64 attach = ++attachCount_;
    QTimer::singleShot(inductanceDelayMs, this, [this, attach] {
        if (attach == attachCount_ && EventBox->isVisible())
            readInductance();
    });
    applySavedSettings();
}

void MotorVelocityController::readInductance()
{
    double henries = 0;
    TindrelMotorVelocityController_getInductance(handle<H>(), &henries);
    motorInductance->field->setText(formatNumber("%f", henries));
    motorInductance->stepper->setValue(henries);
    inductanceBox->show();
    // The box arrives after the attach: the maximum height grows by it.
    fitHeightToEveryBox();
}

TindrelReturnCode MotorVelocityController::sendSetting(int tag, double value)
{
    const H m = handle<H>();
    switch (tag) {
    case 0:
        return TindrelMotorVelocityController_setRescaleFactor(m, value);
    case 1:
        return TindrelMotorVelocityController_setKp(m, value);
    case 2:
        return TindrelMotorVelocityController_setKi(m, value);
    case 3:
        return TindrelMotorVelocityController_setKd(m, value);
    case 4:
        return TindrelMotorVelocityController_setAcceleration(m, value);
    case 5:
        return TindrelMotorVelocityController_setDeadBand(m, value);
    default:
        return TindrelMotorVelocityController_setCurrentLimit(m, value);
    }
}

void MotorVelocityController::applySavedSettings()
{
    if (QSettings *d = userDefaults()) {
        if (const auto step = motors::savedDouble(*d, motors::velocityIncrementKey)) {
            targetVelocity->stepper->setStep(*step);
            incrementVelocityText->setText(formatNumber("%.2f", *step));
        }
        const int id = identity().deviceId;
        for (const motors::SavedSetting &s : motors::velocitySettings()) {
            const auto v = motors::savedDouble(*d, s.key);
            if (v && s.appliesTo(id))
                check(sendSetting(s.tag, *v));
        }
    }
    updateGUI();
}

void MotorVelocityController::updateGUI()
{
    const H m = handle<H>();
    const int id = identity().deviceId;
    double p = 0, i = 0, dd = 0, rescale = 1;
    check(TindrelMotorVelocityController_getKp(m, &p));
    check(TindrelMotorVelocityController_getKi(m, &i));
    check(TindrelMotorVelocityController_getKd(m, &dd));
    check(TindrelMotorVelocityController_getRescaleFactor(m, &rescale));
    if (id == 57 || id == 110) {
        double limit = 0, lo = 0, hi = 0;
        check(TindrelMotorVelocityController_getCurrentLimit(m, &limit));
        check(TindrelMotorVelocityController_getMinCurrentLimit(m, &lo));
        check(TindrelMotorVelocityController_getMaxCurrentLimit(m, &hi));
        currentLimit->field->setText(formatNumber("%.2f", limit));
        currentLimit->stepper->setRange(lo, hi);
        currentLimit->stepper->setValue(limit);
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

void MotorVelocityController::updateRescaleProperties()
{
    const H m = handle<H>();
    double minAcc = 0, maxAcc = 0, acc = 0, band = 0, minTarget = 0, maxTarget = 0;
    check(TindrelMotorVelocityController_getMinAcceleration(m, &minAcc));
    check(TindrelMotorVelocityController_getMaxAcceleration(m, &maxAcc));
    check(TindrelMotorVelocityController_getAcceleration(m, &acc));
    check(TindrelMotorVelocityController_getDeadBand(m, &band));
    check(TindrelMotorVelocityController_getMinTargetVelocity(m, &minTarget));
    check(TindrelMotorVelocityController_getMaxTargetVelocity(m, &maxTarget));
    acceleration->field->setText(formatNumber("%.2f", acc));
    acceleration->stepper->setStep(stepperStepFor(acc));
    acceleration->stepper->setRange(minAcc, maxAcc);
    acceleration->stepper->setValue(acc);
    targetVelocity->stepper->setRange(minTarget, maxTarget);
    deadbandText->setText(formatNumber("%f", band));
}

void MotorVelocityController::openPanel(int mode)
{
    if (settingsWindow->isVisible())
        return;
    static const char *const titles[] = {"Save", "Revert to Saved", "Revert to Default"};
    settingsWindow->confirmButton->setText(QString::fromLatin1(titles[mode]));
    settingsWindow->show();
    panelMode = mode;
}

std::optional<double> MotorVelocityController::fieldValue(int tag)
{
    const QLineEdit *fields[] = {rescaleText,         kp->field,    ki->field,          kd->field,
                                 acceleration->field, deadbandText, currentLimit->field};
    bool ok = false;
    const double v = fields[tag]->text().trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

void MotorVelocityController::enterSettingsSelection()
{
    QSettings *d = userDefaults();
    switch (panelMode) {
    case 0:
        for (const motors::SavedSetting &s : motors::velocitySettings()) {
            if (!settingsWindow->isOn(s.tag))
                continue;
            const auto v = fieldValue(s.tag);
            if (!v) {
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
    case 1:
        applySavedSettings();
        settingsWindow->hide();
        if (alerts())
            alerts()->showAlert(this, QStringLiteral("Reverted"),
                                QStringLiteral("Settings have been reverted to the saved values!"));
        break;
    default:
        for (int tag = 0; tag < 7; ++tag)
            if (settingsWindow->isOn(tag))
                check(sendSetting(tag, capturedDefaults[static_cast<size_t>(tag)]));
        updateGUI();
        settingsWindow->hide();
        if (alerts())
            alerts()->showAlert(this, QStringLiteral("Reverted"),
                                QStringLiteral("Settings have been reverted to defaults!"));
        break;
    }
}

void MotorVelocityController::onDetach()
{
    ++attachCount_;   // a pending inductance read belongs to the attach that ended
    for (QLineEdit *f : {kp->field, ki->field, kd->field, targetVelocity->field, acceleration->field, deadbandText,
                         currentLimit->field})
        f->setText(QStringLiteral("0"));
    motorVelocityLabel->setText(QStringLiteral("0"));
    motorDutyCycleLabel->setText(QStringLiteral("0"));
}

}   // namespace tindrel
