#include "SliderRow.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tindrel {

SliderRow::SliderRow(SendRule rule, std::string limitFormat, std::string valueFormat, bool integral, QWidget *parent)
    : QWidget(parent)
    , slider(new QSlider(Qt::Horizontal, this))
    , minLabel(new QLabel(this))
    , maxLabel(new QLabel(this))
    , valueLabel(new QLabel(this))
    , rule_(rule)
    , limitFormat_(std::move(limitFormat))
    , valueFormat_(std::move(valueFormat))
{
    scale_.integral = integral;
    slider->setTracking(true);
    valueLabel->setAlignment(Qt::AlignCenter);
    maxLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(slider, 0, 0, 1, 3);
    layout->addWidget(minLabel, 1, 0);
    layout->addWidget(valueLabel, 1, 1);
    layout->addWidget(maxLabel, 1, 2);

    connect(slider, &QSlider::valueChanged, this, [this](int position) {
        const double v = scale_.toValue(position);
        showValue(v);
        if (settingValue_)
            return;
        if (rule_ == SendRule::EveryMove || !slider->isSliderDown())
            emit valueChosen(v);
    });
    connect(slider, &QSlider::sliderReleased, this, [this] {
        if (rule_ == SendRule::OnRelease)
            emit valueChosen(value());
    });
    setRange(0.0, 1.0, 0.0);
}

void SliderRow::setRange(double minimum, double maximum, double value)
{
    scale_.minimum = minimum;
    scale_.maximum = maximum;
    scale_.steps = SliderScale{}.steps;
    if (resolution_ > 0 && !scale_.integral && maximum > minimum) {
        constexpr double mostSteps = 1e7;
        const double wanted = std::ceil((maximum - minimum) / resolution_);
        scale_.steps = static_cast<int>(std::clamp(wanted, static_cast<double>(scale_.steps), mostSteps));
    }
    {
        const QSignalBlocker block(slider);
        slider->setRange(0, scale_.positions());
        slider->setPageStep(std::max(1, scale_.positions() / 10));
    }
    minLabel->setText(fixedMin_.isEmpty() ? formatNumber(limitFormat_.c_str(), minimum) : fixedMin_);
    maxLabel->setText(fixedMax_.isEmpty() ? formatNumber(limitFormat_.c_str(), maximum) : fixedMax_);
    setValue(value);
}

void SliderRow::setValue(double value)
{
    settingValue_ = true;
    slider->setValue(scale_.toPosition(value));
    settingValue_ = false;
    // The label shows the value itself, not its nearest slider position.
    showValue(value);
    accepted_ = value;
}

double SliderRow::value() const { return scale_.toValue(slider->value()); }

void SliderRow::setSender(std::function<bool(double)> sender)
{
    if (!sender_)
        connect(this, &SliderRow::valueChosen, this, [this](double v) {
            if (!sender_)
                return;
            if (sender_(v))
                accept(v);
            else
                restoreLabel();
        });
    sender_ = std::move(sender);
}

void SliderRow::setResolution(double step) { resolution_ = step > 0 ? step : 0.0; }

double SliderRow::resolutionOf(const char *format)
{
    // "%" [flags and width] "." digits "f"
    const char *percent = format ? std::strchr(format, '%') : nullptr;
    const char *dot = percent ? std::strchr(percent, '.') : nullptr;
    if (!dot)
        return 0.0;
    int digits = 0;
    const char *p = dot + 1;
    for (; *p >= '0' && *p <= '9'; ++p)
        digits = digits * 10 + (*p - '0');
    return *p == 'f' && digits <= 9 ? std::pow(10.0, -digits) : 0.0;
}

void SliderRow::hideLimitLabels()
{
    minLabel->hide();
    maxLabel->hide();
}

void SliderRow::fixLimitLabels(const QString &minimumText, const QString &maximumText)
{
    fixedMin_ = minimumText;
    fixedMax_ = maximumText;
    if (!fixedMin_.isEmpty())
        minLabel->setText(fixedMin_);
    if (!fixedMax_.isEmpty())
        maxLabel->setText(fixedMax_);
}

void SliderRow::choose(double value)
{
    setValue(value);
    emit valueChosen(value);
}

void SliderRow::restoreLabel() { showValue(accepted_); }

void SliderRow::showValue(double value) { valueLabel->setText(formatNumber(valueFormat_.c_str(), value)); }

}   // namespace tindrel
