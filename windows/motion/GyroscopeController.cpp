#include "GyroscopeController.h"

#include "WindowLogic.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

namespace {
const QString degreesPerSecond = QStringLiteral("\u00ba/s");
}

GyroscopeController::GyroscopeController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelGyroscopeHandle, TindrelGyroscope_create, TindrelGyroscope_delete>(),
                      Form::Window, parent)
    , settingsBox(new PropertySliderBox(this, TINDREL_RANGED(Gyroscope, DataInterval), rows::dataInterval()))
    , dataBox(new AttachBox(QStringLiteral("Angular Rate"), this))
    , xAxisText(new QLabel(dataBox))
    , yAxisText(new QLabel(dataBox))
    , zAxisText(new QLabel(dataBox))
    , timeStampText(new QLabel(dataBox))
    , angularPositionsBox(new AttachBox(QStringLiteral("Angular Position"), this))
    , xGauge(new GyroGaugeView(angularPositionsBox))
    , yGauge(new GyroGaugeView(angularPositionsBox))
    , zGauge(new GyroGaugeView(angularPositionsBox))
    , zeroButton(new QPushButton(QStringLiteral("Zero"), angularPositionsBox))
    , angularRate(addStream<AxesEvent>(QStringLiteral("Angular Rate"),
                                       {{QStringLiteral("X"), degreesPerSecond},
                                        {QStringLiteral("Y"), degreesPerSecond},
                                        {QStringLiteral("Z"), degreesPerSecond}},
                                       [this](const AxesEvent &e) { display(e); }))
{
    setWindowTitle(QStringLiteral("Gyroscope"));

    auto *grid = new QGridLayout(dataBox);
    grid->addWidget(new QLabel(QStringLiteral("X:"), dataBox), 0, 0);
    grid->addWidget(xAxisText, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Y:"), dataBox), 1, 0);
    grid->addWidget(yAxisText, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Z:"), dataBox), 2, 0);
    grid->addWidget(zAxisText, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Timestamp:"), dataBox), 3, 0);
    grid->addWidget(timeStampText, 3, 1);
    grid->setColumnStretch(1, 1);

    auto *dials = new QVBoxLayout(angularPositionsBox);
    auto *row = new QHBoxLayout;
    row->addWidget(xGauge);
    row->addWidget(yGauge);
    row->addWidget(zGauge);
    dials->addLayout(row);
    dials->addWidget(zeroButton, 0, Qt::AlignHCenter);

    contentLayout()->addWidget(angularPositionsBox);
    contentLayout()->addWidget(dataBox);
    contentLayout()->addWidget(settingsBox);

    // The angles need every sample, not only the ones shown.
    angularRate.onEveryEvent([this](const AxesEvent &e) { integrator_.add(e.axes, e.timestampMs); });
    connect(zeroButton, &QPushButton::clicked, this, &GyroscopeController::zeroGyro);
}

void GyroscopeController::registerValueHandlers()
{
    subscribe(&TindrelGyroscope_setOnAngularRateUpdateHandler, angularRate);
}

void GyroscopeController::display(const AxesEvent &e)
{
    const QString format = QStringLiteral("%f ") + degreesPerSecond;
    const QByteArray f = format.toUtf8();
    xAxisText->setText(formatNumber(f.constData(), e.axes[0]));
    yAxisText->setText(formatNumber(f.constData(), e.axes[1]));
    zAxisText->setText(formatNumber(f.constData(), e.axes[2]));
    timeStampText->setText(formatNumber("%.0f ms", e.timestampMs));
    for (double r : e.axes)
        if (r == motion::unknownValue)
            return;
    showAngles();
}

void GyroscopeController::showAngles()
{
    xGauge->setAngle(integrator_.angles()[0]);
    yGauge->setAngle(integrator_.angles()[1]);
    zGauge->setAngle(integrator_.angles()[2]);
}

void GyroscopeController::zeroGyro()
{
    if (!check(TindrelGyroscope_zero(handle<TindrelGyroscopeHandle>())))
        return;
    integrator_.zeroAngles();
}

void GyroscopeController::onDetach() { integrator_.reset(); }

}   // namespace tindrel
