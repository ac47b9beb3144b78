#include "CapacitiveTouchController.h"

#include "WindowLogic.h"

#include <QFrame>
#include <QVBoxLayout>

namespace tindrel {

namespace {
SliderStyle triggerStyle()
{
    SliderStyle style = rows::changeTrigger("%0.3f", "%0.3f");
    style.onlyWhenAdjustable = false;
    return style;
}
SliderStyle sensitivityStyle()
{
    return {QStringLiteral("Sensitivity"), "%.0f", "%.3f", SliderRow::SendRule::EveryMove, false, false};
}
}   // namespace

CapacitiveTouchController::CapacitiveTouchController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelCapacitiveTouchHandle, TindrelCapacitiveTouch_create,
                                            TindrelCapacitiveTouch_delete>())
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this))
    , changeTriggerBox(
          new PropertySliderBox(this, TINDREL_RANGED(CapacitiveTouch, TouchValueChangeTrigger), triggerStyle()))
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(CapacitiveTouch, DataInterval), rows::dataInterval()))
    , extraSettingsBox(new PropertySliderBox(this, TINDREL_RANGED(CapacitiveTouch, Sensitivity), sensitivityStyle(),
                                             [this] { return hasSensitivity(identity().deviceId); }))
    , dataBox(new AttachBox(QStringLiteral("Touch"), this))
    , stateBox(new QFrame(dataBox))
    , stateText(new QLabel(QStringLiteral("F"), stateBox))
    , touchInputValueText(new QLabel(QStringLiteral("?"), dataBox))
    , touch(addStream<ScalarEvent>(QStringLiteral("Touch"), {{QStringLiteral("Touch value"), QString()}},
                                   [this](const ScalarEvent &e) { onTouchHandler(e); }))
    , touchEnd(addStream<NoValueEvent>(QStringLiteral("Touch End"), {},
                                       [this](const NoValueEvent &) { onTouchEndHandler(); }))
{
    setWindowTitle(QStringLiteral("Capacitive Touch"));
    setReportAttachReads(false);
    addEventSink(this);

    auto *settings = new QVBoxLayout(settingsBox);
    changeTriggerBox->setParent(settingsBox);
    dataIntervalBox->setParent(settingsBox);
    settings->addWidget(changeTriggerBox);
    settings->addWidget(dataIntervalBox);

    QFont big = stateText->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    stateText->setFont(big);
    stateText->setAlignment(Qt::AlignCenter);
    stateBox->setAutoFillBackground(true);
    stateBox->setMinimumSize(60, 40);
    (new QVBoxLayout(stateBox))->addWidget(stateText);
    auto *data = new QVBoxLayout(dataBox);
    data->addWidget(stateBox, 0, Qt::AlignHCenter);
    touchInputValueText->setAlignment(Qt::AlignCenter);
    data->addWidget(touchInputValueText);
    showState(false);

    contentLayout()->addWidget(settingsBox);
    contentLayout()->addWidget(extraSettingsBox);
    contentLayout()->addWidget(dataBox);
}

CapacitiveTouchController::~CapacitiveTouchController() { removeEventSink(this); }

void CapacitiveTouchController::registerValueHandlers()
{
    subscribe(&TindrelCapacitiveTouch_setOnTouchHandler, touch);
    subscribe(&TindrelCapacitiveTouch_setOnTouchEndHandler, touchEnd);
}

void CapacitiveTouchController::onAttach()
{
    // Read as "%.2f"; once moved, the slider shows "%.3f".
    if (hasSensitivity(identity().deviceId))
        extraSettingsBox->row->valueLabel->setText(formatNumber("%.2f", extraSettingsBox->row->value()));
}

void CapacitiveTouchController::onDetach()
{
    touchInputValueText->setText(QStringLiteral("?"));
    last_ = Last::None;
}

void CapacitiveTouchController::takeEvent(const EventSample &sample)
{
    if (sample.stream == touch.index())
        last_ = Last::Touch;
    else if (sample.stream == touchEnd.index())
        last_ = Last::End;
}

void CapacitiveTouchController::onTouchHandler(const ScalarEvent &touchValue)
{
    touchInputValueText->setText(formatNumber("%.3f", touchValue.value));
    // A touch that ended in the same batch shows as ended.
    showState(last_ != Last::End);
}

void CapacitiveTouchController::onTouchEndHandler() { showState(last_ == Last::Touch); }

void CapacitiveTouchController::showState(bool touched)
{
    stateText->setText(touched ? QStringLiteral("T") : QStringLiteral("F"));
    QPalette text = stateText->palette();
    text.setColor(QPalette::WindowText, touched ? Qt::black : Qt::white);
    stateText->setPalette(text);
    QPalette fill = stateBox->palette();
    fill.setColor(QPalette::Window, touched ? Qt::white : Qt::black);
    stateBox->setPalette(fill);
}

}   // namespace tindrel
