#pragma once

// Shared by the stepper, RC servo, voltage output and power guard window tests.
#include "ErrorEventLog.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QSlider>
#include <QTextEdit>

namespace tindrel::testing {

// Chooses a value on a slider row as a click on its track would (sends it).
inline void choose(SliderRow &row, double value)
{
    const SliderScale scale{row.minimum(), row.maximum(), row.integral()};
    row.slider->setValue(scale.toPosition(value));
}

// Drags to a value and, when release is true, lets go.
inline void drag(SliderRow &row, double value, bool release)
{
    const SliderScale scale{row.minimum(), row.maximum(), row.integral()};
    row.slider->setSliderDown(true);
    row.slider->setValue(scale.toPosition(value));
    if (release)
        row.slider->setSliderDown(false);
}

inline QString logText(ExampleWindow &w)
{
    return w.errorEventLogWindow() ? w.errorEventLogWindow()->errorEventLog->toPlainText() : QString();
}

// Opens a window on a channel and waits for its attach; heightBeforeAttach,
// when given, gets the height the window had before the attach was handled.
template <class W>
std::unique_ptr<W> openOn(Surroundings &s, int serial, const char *name, int channel = 0,
                          int *heightBeforeAttach = nullptr)
{
    s.aimAt(serial, channel);
    auto w = s.open<W>();
    if (heightBeforeAttach)
        *heightBeforeAttach = w->height();
    if (!waitAttached(*w, QString::fromUtf8(name)))
        qWarning("%s did not attach", name);
    return w;
}

}   // namespace tindrel::testing
