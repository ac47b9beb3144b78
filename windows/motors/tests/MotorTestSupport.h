#pragma once

// Shared by the motor and output window tests.
#include "ErrorEventLog.h"
#include "FieldStepper.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextEdit>

#include <algorithm>
#include <vector>

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

// The controller windows' sizing: the maximum size attached (the further
// settings folding in and out of it), the minimum size detached. The window
// is attached with its further settings shown; detach detaches its device.
template <class W, class Detach>
void checkControllerSizing(W &w, Detach detach)
{
    QVERIFY(w.otherSettingsButton->isChecked());
    QVERIFY(w.otherMotorSettingsBox->isVisible());
    const QSize maximum = w.size();
    QVERIFY(maximum.height() >= w.layout()->minimumSize().height());
    QCOMPARE(maximum.width(), std::max(w.layout()->sizeHint().width(), w.layout()->minimumSize().width()));

    w.otherSettingsButton->setChecked(false);
    QVERIFY(!w.otherMotorSettingsBox->isVisible());
    const int folded = w.height();
    QVERIFY(maximum.height() - folded >= w.otherMotorSettingsBox->height());
    QCOMPARE(w.width(), maximum.width());
    w.otherSettingsButton->setChecked(true);
    QCOMPARE(w.size(), maximum);

    detach();
    QVERIFY(waitDetached(w));
    QVERIFY(w.height() < folded);
    QCOMPARE(w.width(), w.minimumWidth());
    QVERIFY(w.width() < maximum.width());
    // Detached, folding out shows nothing and leaves the window as it is.
    const QSize minimum = w.size();
    w.otherSettingsButton->setChecked(false);
    w.otherSettingsButton->setChecked(true);
    QCOMPARE(w.size(), minimum);
}

// Every value event a window takes in, in order.
class SampleRecorder : public EventSink {
public:
    void takeEvent(const EventSample &sample) override { samples.push_back(sample); }
    std::vector<EventSample> samples;
};

// Sends a target through the window's target field and checks that the
// window's stream of that name (plotted and recorded) takes in exactly it.
template <class W>
void checkTargetFeedsItsStream(W &w, FieldStepper &target, const QString &streamName, double value)
{
    const auto &streams = w.streams();
    const auto stream =
        std::find_if(streams.begin(), streams.end(), [&](const auto &st) { return st->name() == streamName; });
    QVERIFY2(stream != streams.end(), qPrintable(streamName));
    const int index = (*stream)->index();
    SampleRecorder seen;
    w.addEventSink(&seen);
    const auto took = [&] {
        w.flushValues();
        return std::any_of(seen.samples.begin(), seen.samples.end(), [&](const EventSample &e) {
            return e.stream == index && e.count == 1 && e.values[0] == value;
        });
    };
    target.field->setText(QString::number(value));
    target.fieldAction();
    const bool arrived = QTest::qWaitFor(took, deadlineMs);
    w.removeEventSink(&seen);
    QVERIFY2(arrived, qPrintable(streamName));
    for (const EventSample &e : seen.samples)
        if (e.stream == index)
            QCOMPARE(e.values[0], value);   // nothing but what was sent
}

}   // namespace tindrel::testing
