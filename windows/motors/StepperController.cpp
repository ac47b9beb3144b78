#include "StepperController.h"

#include "MotorOutputLogic.h"
#include "SliderRow.h"
#include "WindowLogic.h"

#include <tindrel22.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace tindrel {

namespace {

QString f3(double v) { return formatNumber("%.3f", v); }
QString amps(double v) { return formatNumber("%.2f A", v); }

// A number typed into a field; nothing when the text is not one.
std::optional<double> numberIn(const QLineEdit *field)
{
    bool ok = false;
    const double v = field->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}   // namespace

StepperController::StepperController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelStepperHandle, TindrelStepper_create, TindrelStepper_delete>(),
                      Form::Window, parent)
    , position(addStream<ScalarEvent>(QStringLiteral("Position"),
                                      {{QStringLiteral("Position"), QStringLiteral("steps")}},
                                      [this](const ScalarEvent &e) {
                                          motorPositionText->setText(f3(e.value));
                                          updateStopped();
                                      }))
    , velocity(addStream<ScalarEvent>(QStringLiteral("Velocity"),
                                      {{QStringLiteral("Velocity"), QStringLiteral("steps/s")}},
                                      [this](const ScalarEvent &e) {
                                          motorVelocityText->setText(f3(e.value));
                                          updateStopped();
                                      }))
    , stopped(
          addStream<NoValueEvent>(QStringLiteral("Stopped"), {}, [this](const NoValueEvent &) { showMoving(false); }))
{
    setWindowTitle(QStringLiteral("Stepper"));
    // The window keeps the size it was given; only a detach shrinks it.
    setHeightRule(HeightRule::KeptUntilDetach);

    motorStatusBox = new AttachBox(QStringLiteral("Status"), this);
    motorPositionText = new QLabel(motorStatusBox);
    motorVelocityText = new QLabel(motorStatusBox);
    motorMovingLabel = new QLabel(QStringLiteral("Stopped"), motorStatusBox);
    motorMovingLabel->setAutoFillBackground(true);
    motorMovingLabel->setAlignment(Qt::AlignCenter);
    auto *status = new QFormLayout(motorStatusBox);
    status->addRow(QStringLiteral("Position:"), motorPositionText);
    status->addRow(QStringLiteral("Velocity:"), motorVelocityText);
    status->addRow(motorMovingLabel);

    motorConfigurationBox = new AttachBox(QStringLiteral("Motor Configuration"), this);
    AccelerationSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.3f", "%.3f", false, motorConfigurationBox);
    VelocityLimitSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.3f", "%.3f", false, motorConfigurationBox);
    currentBox = new AttachBox(QStringLiteral("Current Limit"), motorConfigurationBox, this,
                               [this] { return motors::stepperHasCurrentLimit(identity().deviceId); });
    CurrentLimitSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.2f A", "%.2f A", false, currentBox);
    CurrentLimitSlider->fixLimitLabels(QStringLiteral("0.00 A"), QString());
    (new QVBoxLayout(currentBox))->addWidget(CurrentLimitSlider);
    holdingCurrentBox = new AttachBox(QStringLiteral("Holding Current"), motorConfigurationBox, this,
                                      [this] { return motors::stepperHasFailsafe(identity().deviceId); });
    HoldingCurrentSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.2f A", "%.2f A", false, holdingCurrentBox);
    HoldingCurrentSlider->valueLabel->hide();   // the editable field shows the value
    HoldingCurrentText = new QLineEdit(holdingCurrentBox);
    holdingCurrentButton = new QPushButton(QStringLiteral("Set"), holdingCurrentBox);
    auto *holding = new QHBoxLayout(holdingCurrentBox);
    holding->addWidget(HoldingCurrentSlider, 1);
    holding->addWidget(HoldingCurrentText);
    holding->addWidget(holdingCurrentButton);
    rescaleTextField = new QLineEdit(QStringLiteral("1"), motorConfigurationBox);
    rescaleButton = new QPushButton(QStringLiteral("Set Rescale Factor"), motorConfigurationBox);
    stepModeRadio = new QRadioButton(QStringLiteral("Step Mode"), motorConfigurationBox);
    runModeRadio = new QRadioButton(QStringLiteral("Run Mode"), motorConfigurationBox);
    stepModeRadio->setAutoExclusive(false);
    runModeRadio->setAutoExclusive(false);
    stepModeRadio->setChecked(true);
    auto *config = new QFormLayout(motorConfigurationBox);
    config->addRow(QStringLiteral("Acceleration:"), AccelerationSlider);
    config->addRow(QStringLiteral("Velocity Limit:"), VelocityLimitSlider);
    config->addRow(currentBox);
    config->addRow(holdingCurrentBox);
    auto *rescaleRow = new QHBoxLayout;
    rescaleRow->addWidget(rescaleTextField);
    rescaleRow->addWidget(rescaleButton);
    config->addRow(QStringLiteral("Rescale Factor:"), rescaleRow);
    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(stepModeRadio);
    modeRow->addWidget(runModeRadio);
    config->addRow(QStringLiteral("Control Mode:"), modeRow);

    motorControlBox = new AttachBox(QStringLiteral("Motor Control"), this);
    engagedButton = new QPushButton(QStringLiteral("Engage"), motorControlBox);
    zeroPositionButton = new QPushButton(QStringLiteral("Zero Position"), motorControlBox);
    positionBox = new QWidget(motorControlBox);
    TargetPositionSlider = new SliderRow(SliderRow::SendRule::OnRelease, "%.3f", "%.3f", false, positionBox);
    RangeText = new QLineEdit(positionBox);
    setRangeButton = new QPushButton(QStringLiteral("Set Range"), positionBox);
    auto *target = new QFormLayout(positionBox);
    target->setContentsMargins(0, 0, 0, 0);
    target->addRow(QStringLiteral("Target Position:"), TargetPositionSlider);
    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(RangeText);
    rangeRow->addWidget(setRangeButton);
    target->addRow(QStringLiteral("Range (±):"), rangeRow);
    modeTabView = new QTabWidget(motorControlBox);
    auto *stepPage = new QWidget(modeTabView);
    (new QVBoxLayout(stepPage))->addWidget(positionBox);
    modeTabView->addTab(stepPage, QStringLiteral("Step Mode"));
    auto *runHint =
        new QLabel(QStringLiteral("The motor runs at the velocity limit; its sign gives the direction."), modeTabView);
    runHint->setWordWrap(true);
    modeTabView->addTab(runHint, QStringLiteral("Run Mode"));
    auto *control = new QVBoxLayout(motorControlBox);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(engagedButton);
    buttons->addWidget(zeroPositionButton);
    control->addLayout(buttons);
    control->addWidget(modeTabView);

    failsafeBox = new AttachBox(QStringLiteral("Failsafe"), this,
                                [this] { return motors::stepperHasFailsafe(identity().deviceId); });
    failsafeDurationText = new QLineEdit(QStringLiteral("1000"), failsafeBox);
    enableFailsafeButton = new QPushButton(QStringLiteral("Enable Failsafe"), failsafeBox);
    testFailsafeButton = new QPushButton(QStringLiteral("Test Failsafe"), failsafeBox);
    failsafeProgress = new QProgressBar(failsafeBox);
    failsafeProgress->setRange(0, 100);
    failsafeProgress->setValue(0);
    failsafeProgress->hide();
    failsafeTrippedLabel =
        new QLabel(QStringLiteral("The failsafe has tripped. Enable it again to recover, then engage."), failsafeBox);
    failsafeTrippedLabel->setWordWrap(true);
    failsafeTrippedLabel->hide();
    auto *fs = new QFormLayout(failsafeBox);
    fs->addRow(QStringLiteral("Failsafe Time (ms):"), failsafeDurationText);
    auto *fsButtons = new QHBoxLayout;
    fsButtons->addWidget(enableFailsafeButton);
    fsButtons->addWidget(testFailsafeButton);
    fs->addRow(fsButtons);
    fs->addRow(failsafeProgress);
    fs->addRow(failsafeTrippedLabel);

    contentLayout()->addWidget(motorStatusBox);
    contentLayout()->addWidget(motorConfigurationBox);
    contentLayout()->addWidget(motorControlBox);
    contentLayout()->addWidget(failsafeBox);

    const auto ch = [this] { return handle<TindrelStepperHandle>(); };
    AccelerationSlider->setSender([this, ch](double v) { return check(TindrelStepper_setAcceleration(ch(), v)); });
    VelocityLimitSlider->setSender([this, ch](double v) { return check(TindrelStepper_setVelocityLimit(ch(), v)); });
    CurrentLimitSlider->setSender([this, ch](double v) {
        if (!check(TindrelStepper_setCurrentLimit(ch(), v)))
            return false;
        if (!holdCurrentSet_) {
            // Display only: the holding current follows until the user sets it.
            HoldingCurrentSlider->setValue(v);
            HoldingCurrentText->setText(amps(v));
        }
        return true;
    });
    HoldingCurrentSlider->setSender([this, ch](double v) {
        holdCurrentSet_ = true;
        if (!check(TindrelStepper_setHoldingCurrentLimit(ch(), v)))
            return false;
        HoldingCurrentText->setText(amps(v));
        return true;
    });
    TargetPositionSlider->setSender([this](double v) {
        setTargetPosition(v);
        return true;
    });
    connect(holdingCurrentButton, &QPushButton::clicked, this, &StepperController::setHoldingCurrentLimit);
    connect(HoldingCurrentText, &QLineEdit::returnPressed, this, &StepperController::setHoldingCurrentLimit);
    connect(rescaleButton, &QPushButton::clicked, this, &StepperController::setRescaleFactor);
    connect(setRangeButton, &QPushButton::clicked, this, &StepperController::setRange);
    connect(RangeText, &QLineEdit::returnPressed, this, &StepperController::setRange);
    connect(zeroPositionButton, &QPushButton::clicked, this, &StepperController::positionZero);
    connect(engagedButton, &QPushButton::clicked, this, &StepperController::engaged);
    connect(stepModeRadio, &QRadioButton::clicked, this, &StepperController::stepMode);
    connect(runModeRadio, &QRadioButton::clicked, this, &StepperController::runMode);
    connect(modeTabView, &QTabWidget::currentChanged, this, &StepperController::tabViewDidSelectTabViewItem);
    connect(enableFailsafeButton, &QPushButton::clicked, this, &StepperController::enableFailsafe);
    connect(testFailsafeButton, &QPushButton::clicked, this, &StepperController::testFailsafe);
}

quint64 StepperController::stoppedCount() const { return stopped.eventCount(); }

void StepperController::registerValueHandlers()
{
    subscribe(&TindrelStepper_setOnStoppedHandler, stopped);
    subscribe(&TindrelStepper_setOnPositionChangeHandler, position);
    subscribe(&TindrelStepper_setOnVelocityChangeHandler, velocity);
}

void StepperController::onAttach()
{
    const auto ch = handle<TindrelStepperHandle>();
    double maxCurrent = 0.0, minCurrent = 0.0, current = 0.0, holding = 0.0;
    int isEngaged = 0;
    check(TindrelStepper_getMaxCurrentLimit(ch, &maxCurrent));
    check(TindrelStepper_getMinCurrentLimit(ch, &minCurrent));
    check(TindrelStepper_getCurrentLimit(ch, &current));
    // Devices without a holding current answer "unsupported" (51); not an error here.
    const TindrelReturnCode holdingRc = TindrelStepper_getHoldingCurrentLimit(ch, &holding);
    if (holdingRc != TINDREL_OK && holdingRc != 51)
        check(holdingRc);
    check(TindrelStepper_getEngaged(ch, &isEngaged));

    updateGUI(true);

    const int id = identity().deviceId;
    if (motors::stepperHasCurrentLimit(id))
        CurrentLimitSlider->setRange(0.0, maxCurrent, current);
    if (motors::stepperHasFailsafe(id)) {
        HoldingCurrentSlider->setRange(minCurrent, maxCurrent, CurrentLimitSlider->value());
        HoldingCurrentText->setText(amps(current));
    }
    engagedButton->setText(isEngaged ? QStringLiteral("Disengage") : QStringLiteral("Engage"));
}

void StepperController::updateGUI(bool atAttach)
{
    const auto ch = handle<TindrelStepperHandle>();
    Tindrel_StepperControlMode mode = TINDREL_STEPPER_CONTROL_MODE_STEP;
    double minVel = 0, maxVel = 0, vel = 0, minAcc = 0, maxAcc = 0, acc = 0, pos = 0, speed = 0, rescale = 1;
    check(TindrelStepper_getControlMode(ch, &mode));
    check(TindrelStepper_getMinVelocityLimit(ch, &minVel));
    check(TindrelStepper_getMaxVelocityLimit(ch, &maxVel));
    check(TindrelStepper_getVelocityLimit(ch, &vel));
    check(TindrelStepper_getMinAcceleration(ch, &minAcc));
    check(TindrelStepper_getMaxAcceleration(ch, &maxAcc));
    check(TindrelStepper_getAcceleration(ch, &acc));
    check(TindrelStepper_getPosition(ch, &pos));
    check(TindrelStepper_getVelocity(ch, &speed));
    check(TindrelStepper_getRescaleFactor(ch, &rescale));

    if (mode == TINDREL_STEPPER_CONTROL_MODE_STEP) {
        const double h = motors::stepperTargetHalfWidth(rescale);
        TargetPositionSlider->setRange(std::min(-h, h), std::max(-h, h), 0.0);
        TargetPositionSlider->valueLabel->setText(QStringLiteral("0"));
        TargetPositionSlider->minLabel->setText(f3(-h));
        TargetPositionSlider->maxLabel->setText(f3(h));
        RangeText->setText(f3(h));
    }
    if (atAttach)
        RangeText->setText(QStringLiteral("100000"));

    motorPositionText->setText(f3(pos));
    motorVelocityText->setText(f3(speed));
    AccelerationSlider->setRange(minAcc, maxAcc, acc);
    // In run mode the velocity limit is signed: the range is symmetric.
    const bool run = mode == TINDREL_STEPPER_CONTROL_MODE_RUN;
    VelocityLimitSlider->setRange(run ? -maxVel : minVel, maxVel, vel);
    showMode(run);
}

// Radios, tabs and the target row show the same mode; nothing is sent from here.
void StepperController::showMode(bool run)
{
    stepModeRadio->setChecked(!run);
    runModeRadio->setChecked(run);
    positionBox->setVisible(!run);
    const QSignalBlocker quiet(modeTabView);
    modeTabView->setCurrentIndex(run ? 1 : 0);
}

void StepperController::tabViewDidSelectTabViewItem(int index)
{
    showMode(index != 0);
    check(TindrelStepper_setControlMode(handle<TindrelStepperHandle>(), index == 0 ? TINDREL_STEPPER_CONTROL_MODE_STEP
                                                                                   : TINDREL_STEPPER_CONTROL_MODE_RUN));
}

void StepperController::onDetach()
{
    motorPositionText->clear();
    motorVelocityText->clear();
    // The failsafe timers keep running; resets refused while detached are logged.
}

void StepperController::beforeTearDown() { stopTimers(); }

void StepperController::onErrorEvent(int code)
{
    if (code != TINDREL_EEVENT_FAILSAFE)
        return;
    // The device has disengaged and takes no resets until the failsafe is
    // enabled again, so the timers stop rather than log a refusal each time.
    stopTimers();
    failsafeProgress->setValue(0);
    failsafeTrippedLabel->show();
    engagedButton->setText(QStringLiteral("Engage"));
}

void StepperController::showMoving(bool moving)
{
    QPalette p = motorMovingLabel->palette();
    p.setColor(QPalette::Window,
               moving ? QColor::fromRgbF(0.0f, 0.561f, 0.0f, 1.0f) : QColor::fromRgbF(1.0f, 0.494f, 0.475f, 1.0f));
    motorMovingLabel->setPalette(p);
    motorMovingLabel->setText(moving ? QStringLiteral("Moving") : QStringLiteral("Stopped"));
}

void StepperController::updateStopped()
{
    const auto ch = handle<TindrelStepperHandle>();
    int isEngaged = 0;
    if (TindrelStepper_getEngaged(ch, &isEngaged) != TINDREL_OK || !isEngaged)
        return;
    int moving = 0;
    if (!check(TindrelStepper_getIsMoving(ch, &moving)))
        return;
    showMoving(moving != 0);
}

void StepperController::engaged()
{
    const auto ch = handle<TindrelStepperHandle>();
    int isEngaged = 0;
    if (TindrelStepper_getEngaged(ch, &isEngaged) != TINDREL_OK)
        return;   // nothing is known to toggle
    const int want = isEngaged ? 0 : 1;
    if (!check(TindrelStepper_setEngaged(ch, want)))
        return;
    engagedButton->setText(want ? QStringLiteral("Disengage") : QStringLiteral("Engage"));
}

void StepperController::setTargetPosition(double target)
{
    if (!check(TindrelStepper_setTargetPosition(handle<TindrelStepperHandle>(), target)))
        return;
    TargetPositionSlider->valueLabel->setText(f3(target));
    updateStopped();
}

void StepperController::setHoldingCurrentLimit()
{
    const auto v = numberIn(HoldingCurrentText);
    if (!v) {
        outputError(QStringLiteral("The holding current \"%1\" is not a number.").arg(HoldingCurrentText->text()));
        return;
    }
    check(TindrelStepper_setHoldingCurrentLimit(handle<TindrelStepperHandle>(), *v));
}

void StepperController::setRescaleFactor()
{
    const auto v = numberIn(rescaleTextField);
    if (!v) {
        outputError(QStringLiteral("The rescale factor \"%1\" is not a number.").arg(rescaleTextField->text()));
        return;
    }
    if (!check(TindrelStepper_setRescaleFactor(handle<TindrelStepperHandle>(), *v)))
        return;
    updateGUI(false);
}

void StepperController::setRange()
{
    const auto r = numberIn(RangeText);
    const auto ch = handle<TindrelStepperHandle>();
    double minPos = 0, maxPos = 0;
    if (!check(TindrelStepper_getMinPosition(ch, &minPos)) || !check(TindrelStepper_getMaxPosition(ch, &maxPos)))
        return;
    if (!r || std::fabs(*r) > maxPos) {
        RangeText->setText(QStringLiteral("Invalid"));
        return;
    }
    const double h = std::fabs(*r);
    // Only the range: the slider keeps its value and nothing is sent.
    const double keep = TargetPositionSlider->value();
    const QString shown = TargetPositionSlider->valueLabel->text();
    TargetPositionSlider->setRange(-h, h, std::clamp(keep, -h, h));
    TargetPositionSlider->valueLabel->setText(shown);
    TargetPositionSlider->minLabel->setText(f3(-h));
    TargetPositionSlider->maxLabel->setText(f3(h));
}

void StepperController::positionZero()
{
    const auto ch = handle<TindrelStepperHandle>();
    double pos = 0;
    if (check(TindrelStepper_getPosition(ch, &pos)))
        check(TindrelStepper_addPositionOffset(ch, -pos));
    if (check(TindrelStepper_getPosition(ch, &pos)))
        motorPositionText->setText(f3(pos));
}

void StepperController::stepMode()
{
    showMode(false);
    const auto ch = handle<TindrelStepperHandle>();
    check(TindrelStepper_setControlMode(ch, TINDREL_STEPPER_CONTROL_MODE_STEP));
    VelocityLimitSlider->setRange(0.0, VelocityLimitSlider->maximum(), 0.0);
    VelocityLimitSlider->valueLabel->setText(QStringLiteral("0"));
    TindrelStepper_setVelocityLimit(ch, 0.0);
}

void StepperController::runMode()
{
    showMode(true);
    const auto ch = handle<TindrelStepperHandle>();
    check(TindrelStepper_setControlMode(ch, TINDREL_STEPPER_CONTROL_MODE_RUN));
    // The sign of the velocity limit gives the direction.
    VelocityLimitSlider->setRange(-VelocityLimitSlider->maximum(), VelocityLimitSlider->maximum(), 0.0);
    VelocityLimitSlider->valueLabel->setText(QStringLiteral("0"));
    TindrelStepper_setVelocityLimit(ch, 0.0);
}

void StepperController::stopTimers()
{
    if (uiTimer)
        uiTimer->stop();
    if (failsafeTimer)
        failsafeTimer->stop();
}

void StepperController::enableFailsafe()
{
    const auto t = numberIn(failsafeDurationText);
    if (!t || *t < 0 || *t > 4294967295.0) {
        outputError(QStringLiteral("The failsafe time \"%1\" is not a number of milliseconds.")
                        .arg(failsafeDurationText->text()));
        return;
    }
    const auto ms = static_cast<uint32_t>(*t);
    if (!check(TindrelStepper_enableFailsafe(handle<TindrelStepperHandle>(), ms)))
        return;
    failsafeTrippedLabel->hide();
    failsafeProgress->show();
    failsafeProgress->setValue(100);
    stopTimers();
    if (!uiTimer) {
        uiTimer = new QTimer(this);
        failsafeTimer = new QTimer(this);
        connect(uiTimer, &QTimer::timeout, this, &StepperController::uiTick);
        connect(failsafeTimer, &QTimer::timeout, this, &StepperController::FailsafeTick);
    }
    const auto periods = motors::failsafePeriods(static_cast<int>(std::min<uint32_t>(ms, 1u << 30)));
    uiTimer->start(std::max(periods.display, std::chrono::milliseconds(1)));
    failsafeTimer->start(std::max(periods.reset, std::chrono::milliseconds(1)));
}

void StepperController::uiTick() { failsafeProgress->setValue(std::max(0, failsafeProgress->value() - 10)); }

void StepperController::FailsafeTick()
{
    if (check(TindrelStepper_resetFailsafe(handle<TindrelStepperHandle>())))
        failsafeProgress->setValue(100);
}

void StepperController::testFailsafe()
{
    // The resets end; the device's failsafe is left to trip.
    if (failsafeTimer)
        failsafeTimer->stop();
}

}   // namespace tindrel
