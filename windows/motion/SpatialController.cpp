#include "SpatialController.h"

#include "WindowLogic.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tindrel {

namespace {

std::vector<FieldInfo> spatialFields()
{
    std::vector<FieldInfo> fields;
    const QString rate = QStringLiteral("\u00b0/s");
    for (const auto &[what, unit] : {std::pair{QStringLiteral("Acceleration"), QStringLiteral("g")},
                                     std::pair{QStringLiteral("Angular Rate"), rate},
                                     std::pair{QStringLiteral("Magnetic Field"), QStringLiteral("G")}})
        for (const char *axis : {" X", " Y", " Z"})
            fields.push_back({what + QLatin1String(axis), unit});
    return fields;
}

}   // namespace

SpatialController::SpatialController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelSpatialHandle, TindrelSpatial_create, TindrelSpatial_delete>(),
                      Form::Window, parent)
    , settingsBox(new PropertySliderBox(this, TINDREL_RANGED(Spatial, DataInterval), rows::dataInterval()))
    , compassDataBox(new AttachBox(QStringLiteral("Compass"), this))
    , xAxisText(new QLabel(compassDataBox))
    , yAxisText(new QLabel(compassDataBox))
    , zAxisText(new QLabel(compassDataBox))
    , pitchAngleText(new QLabel(compassDataBox))
    , rollAngleText(new QLabel(compassDataBox))
    , bearingText(new QLabel(compassDataBox))
    , compassBearingBox(new AttachBox(QStringLiteral("Bearing"), this))
    , compassView(new CompassView(compassBearingBox))
    , spatialData(addStream<SpatialEvent>(QStringLiteral("Spatial"), spatialFields(),
                                          [this](const SpatialEvent &e) { display(e); }))
{
    setWindowTitle(QStringLiteral("Spatial"));

    auto *grid = new QGridLayout(compassDataBox);
    const std::pair<const char *, QLabel *> rowsOf[] = {{"Field X:", xAxisText},  {"Field Y:", yAxisText},
                                                        {"Field Z:", zAxisText},  {"Pitch:", pitchAngleText},
                                                        {"Roll:", rollAngleText}, {"Bearing:", bearingText}};
    int row = 0;
    for (const auto &[caption, label] : rowsOf) {
        grid->addWidget(new QLabel(QString::fromLatin1(caption), compassDataBox), row, 0);
        grid->addWidget(label, row++, 1);
    }
    grid->setColumnStretch(1, 1);
    (new QVBoxLayout(compassBearingBox))->addWidget(compassView);

    contentLayout()->addWidget(compassBearingBox);
    contentLayout()->addWidget(compassDataBox);
    contentLayout()->addWidget(settingsBox);

    // The filter sees every sample; the labels and the rose show the latest.
    spatialData.onEveryEvent([this](const SpatialEvent &e) { take(e); });
}

void SpatialController::registerValueHandlers() { subscribe(&TindrelSpatial_setOnSpatialDataHandler, spatialData); }

void SpatialController::onAttach()
{
    compassBearing_ = motion::CompassBearing();
    const double interval = settingsBox->row->value();
    if (interval > 0)
        compassBearing_.setSampleRate(1000.0 / interval, filterCutoffHz);
    compassBearing_.setUseDeclination(false);
    pitchAngleText->setText(formatNumber("%0.1f\u00b0", 0.0));
    rollAngleText->setText(formatNumber("%0.1f\u00b0", 0.0));
    bearingText->setText(formatNumber("%0.1f\u00b0", 0.0));
}

void SpatialController::take(const SpatialEvent &e)
{
    compassBearing_.setAccelerationVector(e.acceleration[0], e.acceleration[1], e.acceleration[2]);
    compassBearing_.setMagneticFieldVector(e.magneticField[0], e.magneticField[1], e.magneticField[2]);
    compassBearing_.updateBearing();
}

void SpatialController::display(const SpatialEvent &e)
{
    xAxisText->setText(formatNumber("%.3f G", e.magneticField[0]));
    yAxisText->setText(formatNumber("%.3f G", e.magneticField[1]));
    zAxisText->setText(formatNumber("%.3f G", e.magneticField[2]));
    bearingText->setText(formatNumber("%0.1f\u00b0", compassBearing_.bearingDegrees()));
    rollAngleText->setText(formatNumber("%0.1f\u00b0", compassBearing_.grollAngle()));
    pitchAngleText->setText(formatNumber("%0.1f\u00b0", compassBearing_.gpitchAngle()));
    compassView->setBearing(compassBearing_.bearing());
}

}   // namespace tindrel
