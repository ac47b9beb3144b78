#include "FieldStepper.h"

#include "WindowLogic.h"

#include <QHBoxLayout>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

namespace tindrel {

Stepper::Stepper(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    lineEdit()->setReadOnly(true);
    setFixedWidth(22);
    setFocusPolicy(Qt::NoFocus);
}

void Stepper::setValue(double v) { value_ = std::clamp(v, std::min(minimum_, maximum_), std::max(minimum_, maximum_)); }

void Stepper::setRange(double minimum, double maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    setValue(value_);
}

void Stepper::stepBy(int steps)
{
    const double before = value_;
    setValue(value_ + steps * step_);
    if (value_ != before)
        emit stepped(value_);
}

QAbstractSpinBox::StepEnabled Stepper::stepEnabled() const
{
    StepEnabled e = StepNone;
    if (value_ < maximum_)
        e |= StepUpEnabled;
    if (value_ > minimum_)
        e |= StepDownEnabled;
    return e;
}

FieldStepper::FieldStepper(std::string stepperFormat, bool adjustStep, QWidget *parent)
    : QWidget(parent)
    , field(new QLineEdit(this))
    , stepper(new Stepper(this))
    , stepperFormat_(std::move(stepperFormat))
    , adjustStep_(adjustStep)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field, 1);
    row->addWidget(stepper);
    connect(field, &QLineEdit::returnPressed, this, &FieldStepper::fieldAction);
    connect(stepper, &Stepper::stepped, this, [this](double) { stepperAction(); });
}

void FieldStepper::fieldAction()
{
    bool ok = false;
    const double v = field->text().trimmed().toDouble(&ok);
    if (!ok) {
        if (refuse_)
            refuse_(QStringLiteral("\"%1\" is not a number; nothing was sent").arg(field->text()));
        return;
    }
    if (!send_ || !send_(v))
        return;
    stepper->setValue(v);
    if (adjustStep_)
        stepper->setStep(stepperStepFor(v));
}

void FieldStepper::stepperAction()
{
    const double v = stepper->value();
    if (!send_ || !send_(v))
        return;
    field->setText(formatNumber(stepperFormat_.c_str(), v));
    if (adjustStep_)
        stepper->setStep(stepperStepFor(v));
}

}   // namespace tindrel
