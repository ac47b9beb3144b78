#pragma once

#include "ExampleWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>

namespace tindrel {

// A satellite position receiver: position, altitude, heading, velocity, the
// fix, and the receiver's UTC time and date, read by a timer on the main
// thread.
class GPSController : public ExampleWindowOf<GPSController> {
public:
    GPSController();

    // Reads the receiver's time and date; shows them only when both reads
    // succeed.
    void timerTick();

    AttachBox *dataBox;
    QLabel *latitudeText = new QLabel(this);
    QLabel *longitudeText = new QLabel(this);
    QLabel *altitudeText = new QLabel(this);
    QLabel *velocityText = new QLabel(this);
    QLabel *headingText = new QLabel(this);
    QLabel *timeLabel = new QLabel(QStringLiteral("--:--:--"), this);
    QLabel *dateLabel = new QLabel(QStringLiteral("--/--/--"), this);
    QCheckBox *fixAquiredCheck = new QCheckBox(QStringLiteral("Position fix"), this);
    QTimer timer;

protected:
    void registerValueHandlers() override;
    void onDetach() override;
    void beforeTearDown() override { timer.stop(); }

private:
    void showFix(const ScalarEvent &e);
    bool fixShown_ = false;
    ValueStream<PositionEvent> &position;
    ValueStream<HeadingEvent> &heading;
    ValueStream<ScalarEvent> &fix;
};

}   // namespace tindrel
