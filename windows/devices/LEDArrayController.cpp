#include "LEDArrayController.h"

#include "CodePopup.h"
#include "DisplayPreview.h"

#include <tindrel22.h>

#include <QColorDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tindrel {

using namespace displays;

namespace {

QSpinBox *addressField(QWidget *parent)
{
    auto *field = new QSpinBox(parent);
    field->setRange(0, 1023);
    return field;
}

void paint(QWidget *w, const QColor &color)
{
    w->setStyleSheet(QStringLiteral("background-color: %1;").arg(color.name()));
}

}   // namespace

LEDArrayController::LEDArrayController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelLEDArrayHandle, TindrelLEDArray_create, TindrelLEDArray_delete>(),
                      Form::View, parent)
    , configBox(new AttachBox(QStringLiteral("Configuration"), this))
    , colorOrderCmb(new CodePopup(colorOrders, configBox))
    , gammaTrk(new QSlider(Qt::Horizontal, configBox))
    , gammaTxt(new QLabel(configBox))
    , powerBtn(new QPushButton(QStringLiteral("Power Off"), configBox))
    , clearBtn(new QPushButton(QStringLiteral("Clear"), configBox))
    , brightnessTrk(new QSlider(Qt::Horizontal, configBox))
    , tabs(new QTabWidget(this))
    , startAddressField(addressField(tabs))
    , endAddressField(addressField(tabs))
    , colorBox(new QPushButton(tabs))
    , colorHexBox(new QLabel(tabs))
    , advStarAddr(addressField(tabs))
    , advEndAddress(addressField(tabs))
    , patternBuilderTable(new QTableWidget(0, 2, tabs))
    , patternAddRow(new QPushButton(QStringLiteral("+"), tabs))
    , patternRemoveRow(new QPushButton(QStringLiteral("-"), tabs))
    , sendPatternBtn(new QPushButton(QStringLiteral("Send"), tabs))
    , fadeTimeTxt(new QSpinBox(tabs))
    , preview(new DisplayPreview(this))
{
    setWindowTitle(QStringLiteral("LED Array"));
    colorOrderCmb->showWholeTable();
    gammaTrk->setRange(10, 50);
    brightnessTrk->setRange(0, 100);
    auto *config = new QFormLayout(configBox);
    config->addRow(QStringLiteral("Colour Order:"), colorOrderCmb);
    auto *gammaRow = new QHBoxLayout;
    gammaRow->addWidget(gammaTrk);
    gammaRow->addWidget(gammaTxt);
    config->addRow(QStringLiteral("Gamma:"), gammaRow);
    config->addRow(QStringLiteral("Brightness:"), brightnessTrk);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(powerBtn);
    buttons->addWidget(clearBtn);
    config->addRow(buttons);
    config->addRow(QStringLiteral("LEDs:"), preview);
    contentLayout()->addWidget(configBox);

    auto *basic = new QWidget(tabs);
    auto *basicForm = new QFormLayout(basic);
    basicForm->addRow(QStringLiteral("Start Address:"), startAddressField);
    basicForm->addRow(QStringLiteral("End Address:"), endAddressField);
    colorBox->setMinimumSize(60, 30);
    paint(colorBox, Qt::white);
    basicForm->addRow(QStringLiteral("Colour:"), colorBox);
    basicForm->addRow(QString(), colorHexBox);
    tabs->addTab(basic, QStringLiteral("Basic"));

    auto *advanced = new QWidget(tabs);
    auto *advForm = new QFormLayout(advanced);
    advForm->addRow(QStringLiteral("Start Address:"), advStarAddr);
    advForm->addRow(QStringLiteral("End Address:"), advEndAddress);
    patternBuilderTable->setHorizontalHeaderLabels({QStringLiteral("LED"), QStringLiteral("Colour")});
    patternBuilderTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    patternBuilderTable->setSelectionMode(QAbstractItemView::SingleSelection);
    patternBuilderTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    patternBuilderTable->verticalHeader()->hide();
    advForm->addRow(patternBuilderTable);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(patternAddRow);
    rowButtons->addWidget(patternRemoveRow);
    advForm->addRow(rowButtons);
    fadeTimeTxt->setRange(0, 60000);
    fadeTimeTxt->setSuffix(QStringLiteral(" ms"));
    advForm->addRow(QStringLiteral("Fade Time:"), fadeTimeTxt);
    advForm->addRow(sendPatternBtn);
    tabs->addTab(advanced, QStringLiteral("Advanced"));
    contentLayout()->addWidget(tabs);

    // Each tab asks for the content size it needs when it appears.
    connect(tabs, &QTabWidget::currentChanged, this,
            [this](int index) { setContentSizeKeepingOrigin(index == 0 ? QSize(538, 625) : QSize(538, 800)); });
    connect(colorOrderCmb, &QComboBox::activated, this, &LEDArrayController::setColorOrder);
    rememberPopup(QStringLiteral("colorOrder"), colorOrderCmb, &TindrelLEDArray_getColorOrder);
    connect(gammaTrk, &QSlider::valueChanged, this, &LEDArrayController::setGamma);
    connect(brightnessTrk, &QSlider::valueChanged, this, &LEDArrayController::setBrightness);
    connect(powerBtn, &QPushButton::clicked, this, &LEDArrayController::togglePower);
    connect(clearBtn, &QPushButton::clicked, this, &LEDArrayController::clearLEDs);
    connect(colorBox, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(Qt::white, this, QStringLiteral("LED Colour"));
        if (c.isValid())
            basicColorPicked(c);
    });
    connect(patternAddRow, &QPushButton::clicked, this, &LEDArrayController::addPatternRow);
    connect(patternRemoveRow, &QPushButton::clicked, this, &LEDArrayController::removePatternRow);
    connect(sendPatternBtn, &QPushButton::clicked, this, &LEDArrayController::sendPattern);
    connect(patternBuilderTable, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 1)
            pickColorFor(row);
    });
}

void LEDArrayController::onAttach()
{
    uint32_t count = 0;
    if (check(TindrelLEDArray_getLEDCount(handle<TindrelLEDArrayHandle>(), &count)) && count > 0)
        for (QSpinBox *f : {startAddressField, endAddressField, advStarAddr, advEndAddress})
            f->setMaximum(static_cast<int>(count) - 1);
    // Display defaults only: nothing is sent until the user moves a control.
    const QSignalBlocker blockGamma(gammaTrk);
    const QSignalBlocker blockBrightness(brightnessTrk);
    colorOrderCmb->selectTitle(QStringLiteral("GRB"));
    gammaTrk->setValue(22);
    gammaTxt->setText(QStringLiteral("2.2"));
    brightnessTrk->setValue(5);
    preview->follow(&channel(), false);
}

void LEDArrayController::onDetach() { preview->follow(nullptr, false); }

void LEDArrayController::sizeWindow(SizingMoment moment)
{
    switch (moment) {
    case SizingMoment::Open:
        ExampleWindow::sizeWindow(moment);
        break;
    case SizingMoment::Attach:
        setFrameSizeKeepingOrigin(QSize(538, 625));
        break;
    case SizingMoment::Detach:
        setContentSizeKeepingOrigin(QSize(538, 125));
        break;
    }
}

void LEDArrayController::beforeTearDown() { preview->follow(nullptr, false); }

void LEDArrayController::setColorOrder()
{
    if (const auto code = colorOrderCmb->currentCode())
        check(
            TindrelLEDArray_setColorOrder(handle<TindrelLEDArrayHandle>(), static_cast<Tindrel_LEDColorOrder>(*code)));
}

void LEDArrayController::setGamma(int sliderValue)
{
    const double gamma = sliderValue / 10.0;
    const TindrelReturnCode rc = TindrelLEDArray_setGamma(handle<TindrelLEDArrayHandle>(), gamma);
    gammaTxt->setText(QString::asprintf("%.1f", gamma));
    check(rc);
}

void LEDArrayController::togglePower()
{
    const auto step = powerStep(powerBtn->text());
    if (!step)
        return;
    const TindrelReturnCode rc = TindrelLEDArray_setPowerEnabled(handle<TindrelLEDArrayHandle>(), step->enable);
    powerBtn->setText(step->newTitle);
    check(rc);
}

void LEDArrayController::clearLEDs() { check(TindrelLEDArray_clearLEDs(handle<TindrelLEDArrayHandle>())); }

void LEDArrayController::setBrightness(int sliderValue)
{
    // A refused brightness is reported too: the slider would show a level the LEDs do not have.
    check(TindrelLEDArray_setBrightness(handle<TindrelLEDArrayHandle>(), sliderValue / 100.0));
}

void LEDArrayController::basicColorPicked(const QColor &color)
{
    paint(colorBox, color);
    colorHexBox->setText(hexStringFromColor(color));
    send(basicSend(color, startAddressField->value(), endAddressField->value()));
}

void LEDArrayController::send(const LedSend &leds)
{
    std::vector<Tindrel_LEDColor> records;
    for (const LedRecord &r : leds.records)
        records.push_back({r.red, r.green, r.blue, r.white});
    check(TindrelLEDArray_setLEDs(handle<TindrelLEDArrayHandle>(), leds.start, leds.end, records.data(), records.size(),
                                  leds.fadeTime));
    preview->refresh();
}

void LEDArrayController::addPatternRow()
{
    entries_.push_back({static_cast<long>(entries_.size()), Qt::black});
    reloadPattern();
    const int last = static_cast<int>(entries_.size()) - 1;
    patternBuilderTable->selectRow(last);
    patternBuilderTable->scrollToBottom();
}

void LEDArrayController::removePatternRow()
{
    const int row = patternBuilderTable->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size()))
        return;
    // Indexes are kept as they are; a later row may repeat one.
    entries_.erase(entries_.begin() + row);
    reloadPattern();
}

void LEDArrayController::setPatternColor(int row, const QColor &color)
{
    if (row < 0 || row >= static_cast<int>(entries_.size()))
        return;
    entries_[static_cast<size_t>(row)].color = color;
    reloadPattern();
}

void LEDArrayController::pickColorFor(int row)
{
    if (row < 0 || row >= static_cast<int>(entries_.size()))
        return;
    const QColor now = entries_[static_cast<size_t>(row)].color;
    const QColor start = now == QColor(Qt::black) ? QColor(Qt::white) : now;
    const QColor c = QColorDialog::getColor(start, this, QStringLiteral("LED Colour"));
    if (c.isValid())
        setPatternColor(row, c);
}

void LEDArrayController::reloadPattern()
{
    patternBuilderTable->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        const LedEntry &e = entries_[static_cast<size_t>(row)];
        patternBuilderTable->setItem(row, 0, new QTableWidgetItem(QString::asprintf("%ld", e.ledIndex)));
        auto *colour = new QTableWidgetItem;
        colour->setBackground(e.color);
        patternBuilderTable->setItem(row, 1, colour);
    }
}

void LEDArrayController::sendPattern()
{
    send(advancedSend(entries_, advStarAddr->value(), advEndAddress->value(), fadeTimeTxt->value(),
                      patternBuilderTable->rowCount()));
}

}   // namespace tindrel
