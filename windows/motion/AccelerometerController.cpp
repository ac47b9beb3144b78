#include "AccelerometerController.h"

#include "MotionLogic.h"
#include "WindowLogic.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tindrel {

namespace {

SliderStyle triggerStyle()
{
    return {QStringLiteral("Change Trigger"), "%0.1f", "%0.3f g", SliderRow::SendRule::OnRelease, false, false};
}
SliderStyle intervalStyle() { return rows::dataInterval("%d", "%d ms"); }

AttachBox *gaugeBox(const QString &title, AccelGaugeView *&view, ExampleWindow *window, QWidget *parent,
                    std::function<bool()> condition = {})
{
    auto *box = new AttachBox(title, parent, window, std::move(condition));
    view = new AccelGaugeView(box);
    (new QVBoxLayout(box))->addWidget(view);
    return box;
}

}   // namespace

AccelerometerController::AccelerometerController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelAccelerometerHandle, TindrelAccelerometer_create, TindrelAccelerometer_delete>(),
          Form::Window, parent)
    , triggerBox(new PropertySliderBox(this, TINDREL_RANGED(Accelerometer, AccelerationChangeTrigger), triggerStyle()))
    , dataIntBox(new PropertySliderBox(this, TINDREL_RANGED(Accelerometer, DataInterval), intervalStyle()))
    , dataBox(new AttachBox(QStringLiteral("Acceleration"), this))
    , xTxt(new QLabel(dataBox))
    , yTxt(new QLabel(dataBox))
    , zTxt(new QLabel(dataBox))
    , zLbl(new QLabel(QStringLiteral("Z:"), dataBox))
    , timestamp(new QLabel(dataBox))
    , accelLegend(new QLabel(QStringLiteral("Shaded: beyond the sensor's fine range (more than 2 g either way)")))
    , acceleration(addStream<AxesEvent>(QStringLiteral("Acceleration"),
                                        {{QStringLiteral("X"), QStringLiteral("g")},
                                         {QStringLiteral("Y"), QStringLiteral("g")},
                                         {QStringLiteral("Z"), QStringLiteral("g")}},
                                        [this](const AxesEvent &e) { onAccelerometerChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Accelerometer"));

    auto *gauges = new QWidget(this);
    auto *gaugeRow = new QHBoxLayout(gauges);
    gaugeRow->setContentsMargins(0, 0, 0, 0);
    xViewBox = gaugeBox(QStringLiteral("X Axis"), xView, this, gauges);
    yViewBox = gaugeBox(QStringLiteral("Y Axis"), yView, this, gauges);
    zViewBox = gaugeBox(QStringLiteral("Z Axis"), zView, this, gauges, [this] { return axisCount == 3; });
    gaugeRow->addWidget(xViewBox);
    gaugeRow->addWidget(yViewBox);
    gaugeRow->addWidget(zViewBox);
    accelLegend->setWordWrap(true);
    accelLegend->hide();

    auto *grid = new QGridLayout(dataBox);
    grid->addWidget(new QLabel(QStringLiteral("X:"), dataBox), 0, 0);
    grid->addWidget(xTxt, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Y:"), dataBox), 1, 0);
    grid->addWidget(yTxt, 1, 1);
    grid->addWidget(zLbl, 2, 0);
    grid->addWidget(zTxt, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Timestamp:"), dataBox), 3, 0);
    grid->addWidget(timestamp, 3, 1);
    grid->setColumnStretch(1, 1);

    contentLayout()->addWidget(gauges);
    contentLayout()->addWidget(accelLegend);
    contentLayout()->addWidget(dataBox);
    contentLayout()->addWidget(triggerBox);
    contentLayout()->addWidget(dataIntBox);
}

void AccelerometerController::registerValueHandlers()
{
    subscribe(&TindrelAccelerometer_setOnAccelerationChangeHandler, acceleration);
}

void AccelerometerController::onAttach()
{
    const auto ch = handle<TindrelAccelerometerHandle>();
    const char *sku = nullptr;
    check(Tindrel_getDeviceSKU(reinterpret_cast<TindrelHandle>(ch), &sku));
    int count = 3;
    check(TindrelAccelerometer_getAxisCount(ch, &count));
    axisCount = count;
    zLbl->setVisible(axisCount == 3);
    zTxt->setVisible(axisCount == 3);

    const int type = motion::accelGaugeTypeFor(QString::fromLatin1(sku ? sku : ""));
    for (AccelGaugeView *view : {xView, yView, zView}) {
        view->setType(type);
        view->update();
    }
    accelLegend->setVisible(type == 1);
}

void AccelerometerController::onAccelerometerChangeHandler(const AxesEvent &e)
{
    xTxt->setText(formatNumber("%.3f", e.axes[0]));
    yTxt->setText(formatNumber("%.3f", e.axes[1]));
    zTxt->setText(formatNumber("%.3f", e.axes[2]));
    timestamp->setText(formatNumber("%.0f", e.timestampMs));
    xView->setAngle(e.axes[0]);
    yView->setAngle(e.axes[1]);
    zView->setAngle(e.axes[2]);
}

}   // namespace tindrel
