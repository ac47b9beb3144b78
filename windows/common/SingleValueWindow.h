#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"
#include "SliderRow.h"

#include <QLabel>
#include <QVBoxLayout>

#include <functional>

namespace tindrel {

// What a single-value window measures: the data box's title, the stream's
// field (name and unit, for the plot and the recording) and the label's
// printf-style format.
struct MeasuredValue {
    QString title;
    FieldInfo field;
    const char *format;   // a literal
};

// The shape shared by the windows of sensors that report one value: a
// data-interval row, a change-trigger row and a data box with the value
// label, fed by one value stream. Reads at attach are passed over when they
// fail. A window adds its own boxes to contentLayout() and may override the
// hooks (calling registerValueHandlers() of this class when it has more
// streams).
//
//   class PressureSensorController : public SingleValueWindowOf<PressureSensorController> {
//       PressureSensorController()
//           : SingleValueWindowOf(ChannelHandle::opsFor<...>(), QStringLiteral("Pressure Sensor"),
//                                 TINDREL_RANGED(PressureSensor, DataInterval),
//                                 TINDREL_RANGED(PressureSensor, PressureChangeTrigger), "%0.1f kPa",
//                                 {QStringLiteral("Pressure"), {QStringLiteral("Pressure"), QStringLiteral("kPa")},
//                                  "%0.3f kPa"},
//                                 &TindrelPressureSensor_setOnPressureChangeHandler)
//       { }
//   };
template <class Derived>
class SingleValueWindowOf : public ExampleWindowOf<Derived> {
public:
    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *changeTriggerBox;
    AttachBox *dataBox;
    QLabel *valueText;

    // The stream the value events feed.
    ValueStream<ScalarEvent> &valueStream() { return stream_; }

protected:
    // rule: how both sliders send (the data interval's label is "%d ms").
    // integralTrigger: the change trigger is a whole number.
    template <class H, class T, class... Args>
    SingleValueWindowOf(ChannelHandle::Ops ops, const QString &title, RangedProperty<H, uint32_t> interval,
                        RangedProperty<H, T> trigger, const char *triggerFormat, MeasuredValue value,
                        TindrelReturnCode (*setOnChange)(H, void (*)(H, void *, Args...), void *),
                        SliderRow::SendRule rule = SliderRow::SendRule::OnRelease)
        : ExampleWindowOf<Derived>(ops)
        , dataIntervalBox(new PropertySliderBox(this, interval, withRule(rows::dataInterval(), rule)))
        , changeTriggerBox(new PropertySliderBox(
              this, trigger,
              withRule(integralIf(rows::changeTrigger(triggerFormat, triggerFormat), std::is_integral_v<T>), rule)))
        , dataBox(new AttachBox(value.title, this))
        , valueText(new QLabel(dataBox))
        , stream_(this->template addStream<ScalarEvent>(value.title, {value.field}, showIn(valueText, value.format)))
        , subscribe_([this, setOnChange] { this->subscribe(setOnChange, stream_); })
    {
        // The slider reaches every value its label can show.
        changeTriggerBox->row->setResolution(SliderRow::resolutionOf(triggerFormat));
        this->setWindowTitle(title);
        this->setReportAttachReads(false);
        QFont big = valueText->font();
        big.setPointSize(big.pointSize() * 2);
        valueText->setFont(big);
        valueText->setAlignment(Qt::AlignCenter);
        (new QVBoxLayout(dataBox))->addWidget(valueText);
        this->contentLayout()->addWidget(dataIntervalBox);
        this->contentLayout()->addWidget(changeTriggerBox);
        this->contentLayout()->addWidget(dataBox);
    }

    void registerValueHandlers() override { subscribe_(); }

private:
    static SliderStyle withRule(SliderStyle style, SliderRow::SendRule rule)
    {
        style.rule = rule;
        return style;
    }
    static SliderStyle integralIf(SliderStyle style, bool integral)
    {
        style.integral = integral;
        return style;
    }

    ValueStream<ScalarEvent> &stream_;
    std::function<void()> subscribe_;
};

}   // namespace tindrel
