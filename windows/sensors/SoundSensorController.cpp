#include "SoundSensorController.h"

#include "WindowLogic.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFormLayout>
#include <QGridLayout>
#include <QPainter>
#include <QPen>
#include <QVBoxLayout>
#include <QValueAxis>

namespace tindrel {

namespace {
constexpr CodeTitle splRanges[] = {{"102 dB", 1}, {"82 dB", 2}};

std::vector<FieldInfo> splFields()
{
    std::vector<FieldInfo> fields{{QStringLiteral("dB"), QStringLiteral("dB")},
                                  {QStringLiteral("dBA"), QStringLiteral("dBA")},
                                  {QStringLiteral("dBC"), QStringLiteral("dBC")}};
    for (const char *band : octaves::labels)
        fields.push_back({QString::fromLatin1(band), QStringLiteral("dB")});
    return fields;
}
}   // namespace

SoundSensorController::SoundSensorController()
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelSoundSensorHandle, TindrelSoundSensor_create, TindrelSoundSensor_delete>())
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(SoundSensor, DataInterval), rows::dataInterval()))
    , changeTriggerBox(new PropertySliderBox(this, TINDREL_RANGED(SoundSensor, SPLChangeTrigger),
                                             rows::changeTrigger("%0.3f dB", "%0.3f dB")))
    , settingsBox(new AttachBox(QStringLiteral("Range"), this))
    , splRangeCombo(new PropertyPopup(splRanges, this, TINDREL_PROPERTY(SoundSensor, SPLRange), settingsBox))
    , dataBox(new AttachBox(QStringLiteral("Sound Pressure Level"), this))
    , dBZText(new QLabel(dataBox))
    , dBAText(new QLabel(dataBox))
    , dBCText(new QLabel(dataBox))
    , graphView(new QChartView(dataBox))
    , graph(new QChart)
    , barPlot(new QBarSet(QStringLiteral("Octaves")))
    , levelAxis(new QValueAxis)
    , spl(addStream<SPLEvent>(QStringLiteral("Sound Pressure Level"), splFields(),
                              [this](const SPLEvent &e) { onSPLChangeHandler(e); }))
{
    setWindowTitle(QStringLiteral("Sound Sensor"));
    setReportAttachReads(false);
    splRangeCombo->showWholeTable();
    (new QFormLayout(settingsBox))->addRow(QStringLiteral("SPL range:"), splRangeCombo);
    connect(splRangeCombo, &CodePopup::codeChosen, this,
            [this](int code) { levelAxis->setRange(0, octaves::topForRange(code)); });

    // The octave bar graph: ten red bars with a black outline, one per band.
    barPlot->setColor(Qt::red);
    barPlot->setBorderColor(Qt::black);
    QPen outline(Qt::black);
    outline.setWidthF(1.0);
    barPlot->setPen(outline);
    for (std::size_t i = 0; i < octaves::bandCount; ++i)
        barPlot->append(0.0);
    auto *series = new QBarSeries;
    series->setBarWidth(1.0);
    series->append(barPlot);
    graph->addSeries(series);
    graph->legend()->hide();
    graph->setBackgroundVisible(false);
    graph->setMargins(QMargins(50, 30, 30, 30));
    auto *bands = new QBarCategoryAxis;
    for (const char *band : octaves::labels)
        bands->append(QString::fromLatin1(band));
    QFont small = bands->labelsFont();
    small.setPointSize(11);
    bands->setLabelsFont(small);
    QPen axisLine(Qt::black);
    axisLine.setWidthF(2.0);
    bands->setLinePen(axisLine);
    levelAxis->setRange(0, octaves::topForRange(1));
    levelAxis->setLabelFormat(QStringLiteral("%.0f dB"));
    levelAxis->setLinePen(axisLine);
    graph->addAxis(bands, Qt::AlignBottom);
    graph->addAxis(levelAxis, Qt::AlignLeft);
    series->attachAxis(bands);
    series->attachAxis(levelAxis);
    graphView->setChart(graph);
    graphView->setRenderHint(QPainter::Antialiasing);
    graphView->setMinimumSize(520, 260);

    auto *levels = new QGridLayout;
    const std::pair<const char *, QLabel *> rowsOfLevels[] = {{"dB", dBZText}, {"dBA", dBAText}, {"dBC", dBCText}};
    int column = 0;
    for (const auto &[caption, label] : rowsOfLevels) {
        levels->addWidget(new QLabel(QString::fromLatin1(caption) + QLatin1Char(':'), dataBox), 0, column++);
        levels->addWidget(label, 0, column++);
    }
    auto *dataLayout = new QVBoxLayout(dataBox);
    dataLayout->addLayout(levels);
    dataLayout->addWidget(graphView);

    contentLayout()->addWidget(dataIntervalBox);
    contentLayout()->addWidget(changeTriggerBox);
    contentLayout()->addWidget(settingsBox);
    contentLayout()->addWidget(dataBox);
}

void SoundSensorController::registerValueHandlers() { subscribe(&TindrelSoundSensor_setOnSPLChangeHandler, spl); }

void SoundSensorController::onAttach()
{
    // The combo shows the device's range; the graph's top follows it.
    if (const auto code = splRangeCombo->currentCode())
        levelAxis->setRange(0, octaves::topForRange(*code));
}

void SoundSensorController::onSPLChangeHandler(const SPLEvent &levels)
{
    dBZText->setText(formatNumber("%.2f", levels.dB));
    dBAText->setText(formatNumber("%.2f", levels.dBA));
    dBCText->setText(formatNumber("%.2f", levels.dBC));
    octaves.assign(levels.octaves.begin(), levels.octaves.end());
    reloadBars();
}

void SoundSensorController::reloadBars()
{
    const auto bars = octaves::barLevels(octaves);
    for (std::size_t i = 0; i < bars.size(); ++i)
        barPlot->replace(static_cast<qsizetype>(i), bars[i]);
}

}   // namespace tindrel
