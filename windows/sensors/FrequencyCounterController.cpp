#include "FrequencyCounterController.h"

#include "WindowLogic.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

namespace {
// One pairing, used both ways: the first entry is the zero-crossing filter.
constexpr CodeTitle filterTypes[] = {{"Zero Crossing", 1}, {"Logic Level", 2}};
constexpr CodeTitle powerSupplies[] = {{"Off", 1}, {"12 V", 2}, {"24 V", 3}};
constexpr CodeTitle inputModes[] = {{"NPN", 1}, {"PNP", 2}};

// Values that came before a detach are shown as the detach is handled; the
// device's own counts can then no longer be read.
bool attached(TindrelFrequencyCounterHandle h)
{
    int on = 0;
    return Tindrel_getAttached(reinterpret_cast<TindrelHandle>(h), &on) == TINDREL_OK && on != 0;
}

SliderStyle intervalStyle() { return rows::dataInterval("%d", "%d ms"); }
}   // namespace

FrequencyCounterController::FrequencyCounterController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelFrequencyCounterHandle, TindrelFrequencyCounter_create,
                                            TindrelFrequencyCounter_delete>())
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this))
    , enabledCheck(
          new PropertyCheck(QStringLiteral("Enabled"), this, TINDREL_PROPERTY(FrequencyCounter, Enabled), settingsBox))
    , filterTypeBox(new QWidget(settingsBox))
    , filterTypeTitle(new QLabel(QStringLiteral("Filter type:"), filterTypeBox))
    , filterTypeCombo(
          new PropertyPopup(filterTypes, this, TINDREL_PROPERTY(FrequencyCounter, FilterType), filterTypeBox))
    , cutoffText(new QLineEdit(settingsBox))
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(FrequencyCounter, DataInterval), intervalStyle()))
    , powerSupplyBox(new AttachBox(QStringLiteral("Sensor"), this,
                                   [this] { return identity().deviceId == isolatedInputDeviceId; }))
    , powerSupplyCombo(
          new PropertyPopup(powerSupplies, this, TINDREL_PROPERTY(FrequencyCounter, PowerSupply), powerSupplyBox))
    , inputModeCombo(new PropertyPopup(inputModes, this, TINDREL_PROPERTY(FrequencyCounter, InputMode), powerSupplyBox))
    , dataBox(new AttachBox(QStringLiteral("Counts"), this))
    , countEventText(new QLabel(dataBox))
    , pulsesInText(new QLabel(dataBox))
    , frequencyText(new QLabel(dataBox))
    , totalCountText(new QLabel(dataBox))
    , resetButton(new QPushButton(QStringLiteral("Reset"), dataBox))
    , countChange(addStream<CountEvent>(
          QStringLiteral("Count Change"),
          {{QStringLiteral("Counts"), QStringLiteral("counts")}, {QStringLiteral("Time change"), QStringLiteral("ms")}},
          [this](const CountEvent &e) { onCountChangeHandler(e); }))
    , frequencyChange(addStream<ScalarEvent>(QStringLiteral("Frequency"),
                                             {{QStringLiteral("Frequency"), QStringLiteral("Hz")}},
                                             [this](const ScalarEvent &e) { onFrequencyChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Frequency Counter"));
    const auto notIsolated = [this] { return identity().deviceId != isolatedInputDeviceId; };
    const auto isolated = [this] { return identity().deviceId == isolatedInputDeviceId; };
    filterTypeCombo->showWholeTable();
    // Filter type 1 is the first entry, any other type the second.
    filterTypeCombo->selectFor = [](int code) -> std::optional<QString> {
        return QString::fromUtf8(filterTypes[code == 1 ? 0 : 1].title);
    };
    filterTypeCombo->readWhen = notIsolated;
    powerSupplyCombo->showWholeTable();
    powerSupplyCombo->selectFor = [](int code) -> std::optional<QString> {
        return QString::fromUtf8(powerSupplies[code == 1 ? 0 : code == 2 ? 1 : 2].title);
    };
    powerSupplyCombo->readWhen = isolated;
    inputModeCombo->showWholeTable();
    inputModeCombo->selectFor = [](int code) -> std::optional<QString> {
        return QString::fromUtf8(inputModes[code == 1 ? 0 : 1].title);
    };
    inputModeCombo->readWhen = isolated;

    auto *filter = new QHBoxLayout(filterTypeBox);
    filter->setContentsMargins(0, 0, 0, 0);
    filter->addWidget(filterTypeTitle);
    filter->addWidget(filterTypeCombo, 1);
    auto *settings = new QFormLayout(settingsBox);
    settings->addRow(enabledCheck);
    settings->addRow(filterTypeBox);
    settings->addRow(QStringLiteral("Frequency cutoff (Hz):"), cutoffText);
    dataIntervalBox->setParent(settingsBox);
    settings->addRow(dataIntervalBox);
    connect(cutoffText, &QLineEdit::returnPressed, this, &FrequencyCounterController::setCutoff);

    auto *sensor = new QFormLayout(powerSupplyBox);
    sensor->addRow(QStringLiteral("Power supply:"), powerSupplyCombo);
    sensor->addRow(QStringLiteral("Input mode:"), inputModeCombo);

    auto *data = new QFormLayout(dataBox);
    data->addRow(QStringLiteral("Counts:"), countEventText);
    data->addRow(QStringLiteral("Time change:"), pulsesInText);
    data->addRow(QStringLiteral("Frequency:"), frequencyText);
    data->addRow(QStringLiteral("Total count:"), totalCountText);
    data->addRow(resetButton);
    connect(resetButton, &QPushButton::clicked, this, &FrequencyCounterController::resetData);

    contentLayout()->addWidget(settingsBox);
    contentLayout()->addWidget(powerSupplyBox);
    contentLayout()->addWidget(dataBox);
}

void FrequencyCounterController::registerValueHandlers()
{
    subscribe(&TindrelFrequencyCounter_setOnCountChangeHandler, countChange);
    subscribe(&TindrelFrequencyCounter_setOnFrequencyChangeHandler, frequencyChange);
}

void FrequencyCounterController::onAttach()
{
    const bool isolated = identity().deviceId == isolatedInputDeviceId;
    filterTypeBox->setVisible(!isolated);
    enabledCheck->setVisible(!isolated);
    double cutoff = 0;
    check(TindrelFrequencyCounter_getFrequencyCutoff(handle<TindrelFrequencyCounterHandle>(), &cutoff));
    cutoffText->setText(formatNumber("%.1f", cutoff));
}

void FrequencyCounterController::onDetach()
{
    countEventText->clear();
    pulsesInText->clear();
    frequencyText->clear();
    totalCountText->clear();
    const QSignalBlocker block(enabledCheck);
    enabledCheck->setChecked(false);
}

void FrequencyCounterController::setCutoff()
{
    bool ok = false;
    const double hz = cutoffText->text().trimmed().toDouble(&ok);
    if (!ok) {
        outputError(QStringLiteral("\"%1\" is not a frequency in Hz; nothing was sent.").arg(cutoffText->text()));
        return;
    }
    check(TindrelFrequencyCounter_setFrequencyCutoff(handle<TindrelFrequencyCounterHandle>(), hz));
}

void FrequencyCounterController::resetData()
{
    if (check(TindrelFrequencyCounter_reset(handle<TindrelFrequencyCounterHandle>())))
        showTotalCount();
}

void FrequencyCounterController::showTotalCount()
{
    const auto counter = handle<TindrelFrequencyCounterHandle>();
    if (!attached(counter))
        return;
    uint64_t total = 0;
    double elapsed = 0;
    if (check(TindrelFrequencyCounter_getCount(counter, &total)))
        totalCountText->setText(QString::asprintf("%llu", static_cast<unsigned long long>(total)));
    check(TindrelFrequencyCounter_getTimeElapsed(counter, &elapsed));
}

void FrequencyCounterController::onCountChangeHandler(const CountEvent &counts)
{
    countEventText->setText(QString::asprintf("%llu", static_cast<unsigned long long>(counts.counts)));
    pulsesInText->setText(formatNumber("%0.2f ms", counts.timeChangeMs));
    showTotalCount();
}

void FrequencyCounterController::onFrequencyChangeHandler(const ScalarEvent &frequency)
{
    frequencyText->setText(formatNumber("%0.1f Hz", frequency.value));
    showTotalCount();
}

}   // namespace tindrel
