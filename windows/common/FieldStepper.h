#pragma once

#include <QAbstractSpinBox>
#include <QWidget>

#include <functional>
#include <string>

class QLineEdit;

namespace tindrel {

// Up and down arrows without a text of their own: a value kept within a
// minimum and a maximum that each click moves by the step. Changes made by
// the program emit nothing.
class Stepper : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit Stepper(QWidget *parent = nullptr);

    double value() const { return value_; }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    double step() const { return step_; }
    void setValue(double v);
    void setRange(double minimum, double maximum);
    void setMinimum(double minimum) { setRange(minimum, maximum_); }
    void setMaximum(double maximum) { setRange(minimum_, maximum); }
    void setStep(double step) { step_ = step; }

    void stepBy(int steps) override;

signals:
    // The user clicked an arrow; the value has moved.
    void stepped(double value);

protected:
    StepEnabled stepEnabled() const override;

private:
    double value_ = 0, minimum_ = 0, maximum_ = 0, step_ = 1;
};

// An editable number field and its stepper, both sending one setting.
// The field sends what it shows when the user confirms it: on success the
// stepper takes that value (and, with adjustStep, the step rule of it). A
// click on the stepper sends the stepper's value: on success the field
// shows it with stepperFormat (and the step follows). A failed send leaves
// both as the user left them. Text that is not a number is refused with a
// message and sends nothing.
class FieldStepper : public QWidget {
    Q_OBJECT
public:
    FieldStepper(std::string stepperFormat, bool adjustStep, QWidget *parent = nullptr);

    // send returns true when the device took the value.
    void setSender(std::function<bool(double)> send) { send_ = std::move(send); }
    // Where refused text is reported (the window's error log).
    void setRefusal(std::function<void(const QString &)> refuse) { refuse_ = std::move(refuse); }

    // The field's action and the stepper's action (also run by the widgets).
    void fieldAction();
    void stepperAction();

    QLineEdit *field;
    Stepper *stepper;

private:
    std::string stepperFormat_;
    bool adjustStep_;
    std::function<bool(double)> send_;
    std::function<void(const QString &)> refuse_;
};

}   // namespace tindrel
