#include "GPSController.h"

#include "CommsLogic.h"

#include <QFormLayout>

namespace tindrel {

using namespace comms;

GPSController::GPSController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelGPSHandle, TindrelGPS_create, TindrelGPS_delete>())
    , position(addStream<PositionEvent>(QStringLiteral("Position"),
                                        {{QStringLiteral("Latitude"), QStringLiteral("°")},
                                         {QStringLiteral("Longitude"), QStringLiteral("°")},
                                         {QStringLiteral("Altitude"), QStringLiteral("m")}},
                                        [this](const PositionEvent &e) {
                                            latitudeText->setText(gpsDegreesText(e.latitude));
                                            longitudeText->setText(gpsDegreesText(e.longitude));
                                            altitudeText->setText(gpsAltitudeText(e.altitude));
                                        }))
    , heading(addStream<HeadingEvent>(
          QStringLiteral("Heading"),
          {{QStringLiteral("Heading"), QStringLiteral("°")}, {QStringLiteral("Velocity"), QStringLiteral("km/h")}},
          [this](const HeadingEvent &e) {
              velocityText->setText(gpsVelocityText(e.velocity));
              headingText->setText(gpsHeadingText(e.heading));
          }))
    , fix(addStream<ScalarEvent>(QStringLiteral("Position fix"), {{QStringLiteral("Fix state"), QString()}},
                                 [this](const ScalarEvent &e) { showFix(e); }))
{
    setWindowTitle(QStringLiteral("GPS"));
    dataBox = new AttachBox(QStringLiteral("Data"), this);
    auto *form = new QFormLayout(dataBox);
    form->addRow(QStringLiteral("Latitude:"), latitudeText);
    form->addRow(QStringLiteral("Longitude:"), longitudeText);
    form->addRow(QStringLiteral("Altitude:"), altitudeText);
    form->addRow(QStringLiteral("Heading:"), headingText);
    form->addRow(QStringLiteral("Velocity:"), velocityText);
    form->addRow(QStringLiteral("Time (UTC):"), timeLabel);
    form->addRow(QStringLiteral("Date:"), dateLabel);
    form->addRow(fixAquiredCheck);
    contentLayout()->addWidget(dataBox);
    // An indicator: a click puts back the state the receiver reported.
    connect(fixAquiredCheck, &QCheckBox::clicked, this, [this] { fixAquiredCheck->setChecked(fixShown_); });
    timer.setInterval(100);
    connect(&timer, &QTimer::timeout, this, &GPSController::timerTick);
}

void GPSController::registerValueHandlers()
{
    subscribe(&TindrelGPS_setOnPositionChangeHandler, position);
    subscribe(&TindrelGPS_setOnHeadingChangeHandler, heading);
    subscribe(&TindrelGPS_setOnPositionFixStateChangeHandler, fix);
    // The handlers are in place before the channel opens; the clock runs
    // from then on.
    timer.start();
}

void GPSController::timerTick()
{
    if (!hasChannel())
        return;
    Tindrel_GPSTime time{};
    Tindrel_GPSDate date{};
    if (TindrelGPS_getTime(handle<TindrelGPSHandle>(), &time) != TINDREL_OK ||
        TindrelGPS_getDate(handle<TindrelGPSHandle>(), &date) != TINDREL_OK)
        return;
    timeLabel->setText(gpsTimeText(time));
    dateLabel->setText(gpsDateText(date));
}

void GPSController::showFix(const ScalarEvent &e)
{
    fixShown_ = e.value != 0;
    fixAquiredCheck->setChecked(fixShown_);
    if (!fixShown_)
        for (QLabel *l : {latitudeText, longitudeText, altitudeText, headingText, velocityText})
            l->clear();
}

void GPSController::onDetach()
{
    for (QLabel *l : {latitudeText, longitudeText, altitudeText, velocityText, headingText, timeLabel, dateLabel})
        l->clear();
}

}   // namespace tindrel
