#pragma once

#include "WindowLogic.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QSlider;

namespace tindrel {

// A slider with its minimum, maximum and value labels. The value label
// follows the slider as it moves; valueChosen is emitted, by the send rule,
// on every move, or when a drag ends and on any change made without a drag
// (keyboard, a click on the track). Programmatic changes emit nothing.
class SliderRow : public QWidget {
    Q_OBJECT
public:
    enum class SendRule { EveryMove, OnRelease };

    // limitFormat is used for the minimum and maximum labels, valueFormat for
    // the value label (printf-style, one number each).
    SliderRow(SendRule rule, std::string limitFormat, std::string valueFormat, bool integral,
              QWidget *parent = nullptr);

    // Range and present value; emits nothing.
    void setRange(double minimum, double maximum, double value);
    // Moves the slider and its label; emits nothing.
    void setValue(double value);
    double value() const;
    double minimum() const { return scale_.minimum; }
    double maximum() const { return scale_.maximum; }
    bool integral() const { return scale_.integral; }

    // The value the device accepted last: restoreLabel shows it again after
    // a send failed.
    void accept(double value) { accepted_ = value; }
    double acceptedValue() const { return accepted_; }
    void restoreLabel();
    // Moves to value and sends it as a change the user made would.
    void choose(double value);

    // Sends each chosen value through sender: true keeps it, false puts the
    // label back to the value accepted last.
    void setSender(std::function<bool(double)> sender);

    // Finer positions for a wide range: at least one position per step of
    // this size (up to ten million), never fewer than the default. 0: the
    // default positions.
    void setResolution(double step);
    // The step a fixed-point format shows ("%0.3f": 0.001); 0 for others.
    static double resolutionOf(const char *format);

    // The minimum and maximum labels: hidden, or fixed texts that ranges
    // do not change (empty keeps the formatted limit).
    void hideLimitLabels();
    void fixLimitLabels(const QString &minimumText, const QString &maximumText);

    QSlider *slider;
    QLabel *minLabel;
    QLabel *maxLabel;
    QLabel *valueLabel;

signals:
    void valueChosen(double value);

private:
    void showValue(double value);

    SendRule rule_;
    std::string limitFormat_;
    std::string valueFormat_;
    std::function<bool(double)> sender_;
    QString fixedMin_;
    QString fixedMax_;
    SliderScale scale_;
    double accepted_ = 0.0;
    double resolution_ = 0.0;
    bool settingValue_ = false;
};

}   // namespace tindrel
