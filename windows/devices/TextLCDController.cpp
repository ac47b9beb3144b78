#include "TextLCDController.h"

#include "CodePopup.h"
#include "DisplayLogic.h"
#include "DisplayPreview.h"
#include "LCDLightRows.h"
#include "SliderRow.h"

#include <tindrel22.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

using namespace displays;

TextLCDController::TextLCDController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelLCDHandle, TindrelLCD_create, TindrelLCD_delete>(), Form::Window,
                      parent)
    , settingsBox(new AttachBox(QStringLiteral("Settings"), this))
    , inputView(new QWidget(settingsBox))
    , contrastSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%.2f", false, settingsBox))
    , backlightSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%.2f", false, settingsBox))
    , screenBox(new AttachBox(QStringLiteral("Screen"), settingsBox, this,
                              [this] { return identity().deviceId == screenSizeAdapterId; }))
    , screenSizeCombo(new CodePopup(screenSizes, screenBox))
    , initButton(new QPushButton(QStringLiteral("Initialize"), screenBox))
    , cursorCheck(new QCheckBox(QStringLiteral("Cursor"), settingsBox))
    , cursorBlinkCheck(new QCheckBox(QStringLiteral("Cursor Blink"), settingsBox))
    , customCharactersCheck(new QCheckBox(QStringLiteral("Custom Characters"), settingsBox))
    , clearButton(new QPushButton(QStringLiteral("Clear"), settingsBox))
    , preview(new DisplayPreview(settingsBox))
{
    setWindowTitle(QStringLiteral("Text LCD"));
    auto *rows = new QVBoxLayout(inputView);
    rows->setContentsMargins(0, 0, 0, 0);
    for (int row = 0; row < 4; ++row) {
        auto *field = new QLineEdit(inputView);
        field->setProperty("tag", row);
        field->setObjectName(QStringLiteral("inputText%1").arg(row));
        rows->addWidget(field);
        inputText[static_cast<size_t>(row)] = field;
        connect(field, &QLineEdit::textEdited, this, [this, row] { rowEdited(row); });
    }
    auto *screenRow = new QHBoxLayout(screenBox);
    screenRow->addWidget(screenSizeCombo);
    screenRow->addWidget(initButton);

    auto *checks = new QHBoxLayout;
    checks->addWidget(cursorCheck);
    checks->addWidget(cursorBlinkCheck);
    checks->addWidget(customCharactersCheck);
    checks->addWidget(clearButton);

    auto *form = new QFormLayout(settingsBox);
    form->addRow(QStringLiteral("Text:"), inputView);
    form->addRow(QStringLiteral("Contrast:"), contrastSlider);
    form->addRow(QStringLiteral("Backlight:"), backlightSlider);
    form->addRow(checks);
    form->addRow(screenBox);
    form->addRow(QStringLiteral("Display:"), preview);
    contentLayout()->addWidget(settingsBox);

    sendLCDLight(
        *contrastSlider, *backlightSlider, [this] { return handle<TindrelLCDHandle>(); },
        [this](TindrelReturnCode rc) { return check(rc); });
    connect(screenSizeCombo, &QComboBox::activated, this, &TextLCDController::setScreenSize);
    rememberPopup(QStringLiteral("screenSize"), screenSizeCombo, &TindrelLCD_getScreenSize);
    connect(initButton, &QPushButton::clicked, this, &TextLCDController::initialize);
    connect(clearButton, &QPushButton::clicked, this, &TextLCDController::clear);
    connect(cursorCheck, &QCheckBox::clicked, this, &TextLCDController::setCursor);
    connect(cursorBlinkCheck, &QCheckBox::clicked, this, &TextLCDController::setCursorBlink);
    connect(customCharactersCheck, &QCheckBox::clicked, this, &TextLCDController::setCustomCharacters);
}

void TextLCDController::onAttach()
{
    const auto lcd = handle<TindrelLCDHandle>();
    int width = 0;
    Tindrel_LCDScreenSize size{};
    check(TindrelLCD_getWidth(lcd, &width));
    if (identity().deviceId == screenSizeAdapterId) {
        check(TindrelLCD_getScreenSize(lcd, &size));
        screenSizeCombo->showWholeTable();
        screenSizeCombo->selectCode(static_cast<int>(size));
    }
    takeLCDLight(*contrastSlider, *backlightSlider, lcd, [this](TindrelReturnCode rc) { return check(rc); });
    preview->follow(&channel(), true);
    updateDisplay();
}

void TextLCDController::onDetach()
{
    inputText[0]->clear();
    inputText[1]->clear();
    preview->follow(nullptr, true);
}

void TextLCDController::rowEdited(int row)
{
    const auto lcd = handle<TindrelLCDHandle>();
    int width = 0;
    if (!check(TindrelLCD_getWidth(lcd, &width)))
        return;
    const QByteArray text = paddedRow(inputText[static_cast<size_t>(row)]->text(), width);
    if (check(TindrelLCD_writeText(lcd, static_cast<Tindrel_LCDFont>(font5x8), 0, row, text.constData())))
        check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void TextLCDController::setScreenSize()
{
    if (const auto code = screenSizeCombo->currentCode())
        check(TindrelLCD_setScreenSize(handle<TindrelLCDHandle>(), static_cast<Tindrel_LCDScreenSize>(*code)));
    else
        outputError(QStringLiteral("Unknown screen size \"%1\"").arg(screenSizeCombo->currentText()));
    updateDisplay();
}

void TextLCDController::initialize()
{
    check(TindrelLCD_initialize(handle<TindrelLCDHandle>()));
    preview->refresh();
}

void TextLCDController::clear()
{
    inputText[0]->clear();
    inputText[1]->clear();
    const auto lcd = handle<TindrelLCDHandle>();
    if (check(TindrelLCD_clear(lcd)))
        check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void TextLCDController::setCursor(bool on) { check(TindrelLCD_setCursorOn(handle<TindrelLCDHandle>(), on ? 1 : 0)); }

void TextLCDController::setCursorBlink(bool on)
{
    check(TindrelLCD_setCursorBlink(handle<TindrelLCDHandle>(), on ? 1 : 0));
}

void TextLCDController::setCustomCharacters(bool on)
{
    const auto lcd = handle<TindrelLCDHandle>();
    const auto font = static_cast<Tindrel_LCDFont>(font5x8);
    check(TindrelLCD_clear(lcd));
    inputText[0]->clear();
    inputText[1]->clear();
    if (!on) {
        if (check(TindrelLCD_clear(lcd)))
            check(TindrelLCD_flush(lcd));
        preview->refresh();
        return;
    }
    const char smiley[] = {10, 0};
    const char heart[] = {11, 0};
    const QByteArray row0 = QByteArray("Custom ") + heart + smiley;
    const QByteArray row1 = QByteArray("Characters! ") + smiley + heart;
    const auto s = smileyBitmap();
    const auto h = heartBitmap();
    // The first failure ends the step.
    if (check(TindrelLCD_setCharacterBitmap(lcd, font, smiley, s.data())) &&
        check(TindrelLCD_setCharacterBitmap(lcd, font, heart, h.data())) &&
        check(TindrelLCD_writeText(lcd, font, 0, 0, row0.constData())) &&
        check(TindrelLCD_writeText(lcd, font, 0, 1, row1.constData())))
        check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void TextLCDController::updateDisplay()
{
    int height = 0;
    if (!check(TindrelLCD_getHeight(handle<TindrelLCDHandle>(), &height)))
        return;
    for (QLineEdit *field : inputText) {
        const bool shown = field->property("tag").toInt() < height;
        field->setEnabled(shown);
        field->setStyleSheet(shown ? QString() : QStringLiteral("QLineEdit { background: rgb(230, 230, 230); }"));
    }
}

}   // namespace tindrel
