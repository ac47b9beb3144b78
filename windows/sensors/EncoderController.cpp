#include "EncoderController.h"

#include "CountingLogic.h"
#include "WindowLogic.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tindrel {

namespace {
constexpr CodeTitle ioModes[] = {{"Push-Pull", 1},
                                 {"Line Driver 2.2 kΩ", 2},
                                 {"Line Driver 10 kΩ", 3},
                                 {"Open Collector 2.2 kΩ", 4},
                                 {"Open Collector 10 kΩ", 5}};

SliderStyle changeTriggerStyle()
{
    SliderStyle style = rows::changeTrigger("%d", "%d counts");
    style.rule = SliderRow::SendRule::EveryMove;
    style.integral = true;
    style.onlyWhenAdjustable = false;
    return style;
}

QString counts(qint64 value) { return QString::asprintf("%lli counts", static_cast<long long>(value)); }
}   // namespace

EncoderController::EncoderController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelEncoderHandle, TindrelEncoder_create, TindrelEncoder_delete>())
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this))
    , changeTriggerBox(
          new PropertySliderBox(this, TINDREL_RANGED(Encoder, PositionChangeTrigger), changeTriggerStyle()))
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(Encoder, DataInterval), rows::dataInterval()))
    , extraSettingsBox(new AttachBox(QStringLiteral("Shaft"), this))
    , enabledCheck(
          new PropertyCheck(QStringLiteral("Enabled"), this, TINDREL_PROPERTY(Encoder, Enabled), extraSettingsBox))
    , countsPerRev(new QLineEdit(extraSettingsBox))
    , ioModeBox(new AttachBox(QStringLiteral("I/O Mode"), this, [this] { return hasIOMode(identity().deviceId); }))
    , ioModeCombo(new PropertyPopup(ioModes, this, TINDREL_PROPERTY(Encoder, IOMode), ioModeBox))
    , dataBox(new AttachBox(QStringLiteral("Position"), this))
    , positionChangeText(new QLabel(dataBox))
    , timeChangeText(new QLabel(dataBox))
    , positionText(new QLabel(dataBox))
    , indexPositionText(new QLabel(QStringLiteral("N/A"), dataBox))
    , velocityText(new QLabel(QStringLiteral("N/A"), dataBox))
    , positionChange(addStream<EncoderEvent>(QStringLiteral("Position Change"),
                                             {{QStringLiteral("Position change"), QStringLiteral("counts")},
                                              {QStringLiteral("Time change"), QStringLiteral("ms")},
                                              {QStringLiteral("Index"), QString()}},
                                             [this](const EncoderEvent &e) { onPositionChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Encoder"));
    setReportAttachReads(false);
    // Every index pulse is noted, even when the display skips its event.
    positionChange.onEveryEvent([this](const EncoderEvent &e) { indexSeen_ = indexSeen_ || e.indexTriggered; });

    auto *settings = new QVBoxLayout(settingsBox);
    changeTriggerBox->setParent(settingsBox);
    dataIntervalBox->setParent(settingsBox);
    settings->addWidget(changeTriggerBox);
    settings->addWidget(dataIntervalBox);

    enabledCheck->readWhen = [this] { return readsEnable(identity().deviceId); };
    countsPerRev->setPlaceholderText(QStringLiteral("not set"));
    auto *extra = new QFormLayout(extraSettingsBox);
    extra->addRow(enabledCheck);
    extra->addRow(QStringLiteral("Counts per revolution:"), countsPerRev);
    connect(countsPerRev, &QLineEdit::returnPressed, this, &EncoderController::setCPR);

    ioModeCombo->showWholeTable();
    ioModeCombo->readWhen = [this] { return hasIOMode(identity().deviceId); };
    (new QFormLayout(ioModeBox))->addRow(QStringLiteral("I/O mode:"), ioModeCombo);

    auto *data = new QFormLayout(dataBox);
    data->addRow(QStringLiteral("Position change:"), positionChangeText);
    data->addRow(QStringLiteral("Time change:"), timeChangeText);
    data->addRow(QStringLiteral("Position:"), positionText);
    data->addRow(QStringLiteral("Index position:"), indexPositionText);
    data->addRow(QStringLiteral("Speed:"), velocityText);

    contentLayout()->addWidget(settingsBox);
    contentLayout()->addWidget(extraSettingsBox);
    contentLayout()->addWidget(ioModeBox);
    contentLayout()->addWidget(dataBox);
}

void EncoderController::registerValueHandlers()
{
    subscribe(&TindrelEncoder_setOnPositionChangeHandler, positionChange);
}

void EncoderController::onAttach() { enabledCheck->setVisible(!hasNoEnable(identity().deviceId)); }

void EncoderController::onDetach()
{
    countsPerRev_ = -1;
    indexSeen_ = false;
    countsPerRev->clear();
    positionChangeText->clear();
    timeChangeText->clear();
    positionText->clear();
    indexPositionText->setText(QStringLiteral("N/A"));
    velocityText->setText(QStringLiteral("N/A"));
    const QSignalBlocker block(enabledCheck);
    enabledCheck->setChecked(true);
}

void EncoderController::setCPR()
{
    const auto value = counting::countsPerRevolution(countsPerRev->text());
    if (!value) {
        outputError(QStringLiteral("\"%1\" is not a whole number of counts per revolution; the speed keeps the "
                                   "value entered before.")
                        .arg(countsPerRev->text()));
        return;
    }
    countsPerRev_ = *value;
    if (countsPerRev_ == -1)
        velocityText->setText(QStringLiteral("N/A"));
}

void EncoderController::onPositionChangeHandler(const EncoderEvent &change)
{
    const auto enc = handle<TindrelEncoderHandle>();
    positionChangeText->setText(QString::asprintf("%d counts", change.positionChange));
    timeChangeText->setText(formatNumber("%.2f ms", change.timeChangeMs));
    // Events that came before a detach are shown as it is handled, when the
    // device can no longer be asked for its position.
    int attached = 0;
    if (Tindrel_getAttached(reinterpret_cast<TindrelHandle>(enc), &attached) != TINDREL_OK || !attached)
        return;
    if (indexSeen_) {
        indexSeen_ = false;
        int64_t index = 0;
        if (check(TindrelEncoder_getIndexPosition(enc, &index)))
            indexPositionText->setText(counts(index));
    }
    int64_t position = 0;
    if (check(TindrelEncoder_getPosition(enc, &position)))
        positionText->setText(counts(position));
    if (const auto speed = counting::rpm(change.positionChange, change.timeChangeMs, countsPerRev_))
        velocityText->setText(counting::rpmText(*speed));
}

}   // namespace tindrel
