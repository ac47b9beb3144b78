#include "GraphicLCDController.h"

#include "DisplayLogic.h"
#include "DisplayPreview.h"
#include "LCDLightRows.h"
#include "SliderRow.h"

#include <tindrel22.h>

#include <QFormLayout>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <random>

namespace tindrel {

using namespace displays;

namespace {

constexpr auto lcdFont(int f) { return static_cast<Tindrel_LCDFont>(f); }

}   // namespace

GraphicLCDController::GraphicLCDController(QWidget *parent)
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelLCDHandle, TindrelLCD_create, TindrelLCD_delete>(), Form::Window,
                      parent)
    , lcdBox(new AttachBox(QStringLiteral("Graphic LCD"), this))
    , contrastSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%0.3f", false, lcdBox))
    , backlightSlider(new SliderRow(SliderRow::SendRule::EveryMove, "%.2f", "%.3f ", false, lcdBox))
    , clearButton(new QPushButton(QStringLiteral("Clear Screen"), lcdBox))
    , basicButton(new QPushButton(QStringLiteral("Basic Drawing"), lcdBox))
    , asyncButton(new QPushButton(QStringLiteral("Asynchronous Drawing"), lcdBox))
    , asyncTextButton(new QPushButton(QStringLiteral("Asynchronous Text"), lcdBox))
    , randomTextButton(new QPushButton(QStringLiteral("Random Text"), lcdBox))
    , saveButton(new QPushButton(QStringLiteral("Save Frame Buffer"), lcdBox))
    , loadButton(new QPushButton(QStringLiteral("Load Frame Buffer"), lcdBox))
    , sleepButton(new QPushButton(QStringLiteral("Sleep"), lcdBox))
    , preview(new DisplayPreview(lcdBox))
{
    setWindowTitle(QStringLiteral("Graphic LCD"));
    auto *buttons = new QGridLayout;
    int i = 0;
    for (QPushButton *b : {clearButton, basicButton, asyncButton, asyncTextButton, randomTextButton, saveButton,
                           loadButton, sleepButton}) {
        buttons->addWidget(b, i / 2, i % 2);
        ++i;
    }
    auto *form = new QFormLayout(lcdBox);
    form->addRow(QStringLiteral("Contrast:"), contrastSlider);
    form->addRow(QStringLiteral("Backlight:"), backlightSlider);
    form->addRow(buttons);
    form->addRow(QStringLiteral("Display:"), preview);
    contentLayout()->addWidget(lcdBox);

    sendLCDLight(
        *contrastSlider, *backlightSlider, [this] { return handle<TindrelLCDHandle>(); },
        [this](TindrelReturnCode rc) { return check(rc); });
    connect(clearButton, &QPushButton::clicked, this, &GraphicLCDController::clearScreen);
    connect(basicButton, &QPushButton::clicked, this, &GraphicLCDController::basicExample);
    connect(asyncButton, &QPushButton::clicked, this, &GraphicLCDController::asyncExample);
    connect(asyncTextButton, &QPushButton::clicked, this, &GraphicLCDController::asyncText);
    connect(randomTextButton, &QPushButton::clicked, this, &GraphicLCDController::asyncTimer);
    connect(saveButton, &QPushButton::clicked, this, &GraphicLCDController::saveFrameBuffer);
    connect(loadButton, &QPushButton::clicked, this, &GraphicLCDController::loadFrameBuffer);
    connect(sleepButton, &QPushButton::clicked, this, &GraphicLCDController::sleep);
}

void GraphicLCDController::onAttach()
{
    const auto lcd = handle<TindrelLCDHandle>();
    takeLCDLight(*contrastSlider, *backlightSlider, lcd, [this](TindrelReturnCode rc) { return check(rc); });
    preview->follow(&channel(), true);
}

void GraphicLCDController::onDetach() { preview->follow(nullptr, true); }

void GraphicLCDController::beforeTearDown()
{
    stopRandomText();
    preview->follow(nullptr, true);
}

void GraphicLCDController::clearScreen()
{
    const auto lcd = handle<TindrelLCDHandle>();
    check(TindrelLCD_setFrameBuffer(lcd, 0));
    check(TindrelLCD_clear(lcd));
    check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void GraphicLCDController::basicExample()
{
    const auto lcd = handle<TindrelLCDHandle>();
    check(TindrelLCD_setFrameBuffer(lcd, 0));
    check(TindrelLCD_clear(lcd));
    check(TindrelLCD_writeText(lcd, lcdFont(fontOther), 0, 0, "A few boldface A's"));
    if (check(TindrelLCD_setFontSize(lcd, lcdFont(fontUser1), 9, 10))) {
        const auto a = letterABitmap();
        check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser1), "A", a.data()));
        check(TindrelLCD_writeText(lcd, lcdFont(fontUser1), 0, 13, "AAAAAA"));
    }
    check(TindrelLCD_drawLine(lcd, 5, 40, 35, 30));
    check(TindrelLCD_drawRect(lcd, 20, 35, 30, 45, 1, 0));
    check(TindrelLCD_copy(lcd, 0, 0, 5, 30, 35, 45, 87, 30, 0));
    const auto word = blockWordBitmap();
    check(TindrelLCD_writeBitmap(lcd, 35, 35, 47, 25, word.data()));
    check(TindrelLCD_drawPixel(lcd, 64, 32, TINDREL_LCD_PIXEL_ON));
    check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void GraphicLCDController::asyncDone(TindrelHandle, void *ctx, TindrelReturnCode result)
{
    if (result != TINDREL_OK)
        post(ctx, &GraphicLCDController::asyncHandler, QVariant(static_cast<int>(result)));
}

void GraphicLCDController::writerDone(TindrelHandle, void *ctx, TindrelReturnCode result)
{
    auto *self = static_cast<GraphicLCDController *>(static_cast<ExampleWindow *>(ctx));
    if (result == TINDREL_OK)
        return;
    self->randomText_ = false;
    post(ctx, &GraphicLCDController::asyncHandler, QVariant(static_cast<int>(result)));
}

void GraphicLCDController::asyncExample()
{
    const auto lcd = handle<TindrelLCDHandle>();
    void *ctx = contextPointer();
    check(TindrelLCD_setFrameBuffer(lcd, 0));
    check(TindrelLCD_clear(lcd));
    for (int y = 0; y <= 56; y += 8)
        TindrelLCD_drawLine_async(lcd, 0, y, 127, y, &asyncDone, ctx);
    for (int i = 0; i <= 20; ++i)
        TindrelLCD_drawRect_async(lcd, 6 * i, 0, 6 * i + 6, 7, 1, i % 2, &asyncDone, ctx);
    const int x2[] = {125, 123, 125, 127, 125, 123, 125};
    const int dx[] = {2, 4, 2, 0, 2, 4, 2};
    const int dy[] = {9, 17, 25, 33, 41, 49, 57};
    for (int i = 0; i < 7; ++i)
        TindrelLCD_copy_async(lcd, 0, 0, 0, 0, x2[i], 6, dx[i], dy[i], 0, &asyncDone, ctx);
    check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void GraphicLCDController::asyncText()
{
    const auto lcd = handle<TindrelLCDHandle>();
    void *ctx = contextPointer();
    check(TindrelLCD_setFrameBuffer(lcd, 0));
    check(TindrelLCD_clear(lcd));
    // A character's bitmap is read at the font's size: where the size was
    // not set, its bitmaps are not either (they would be read past their end).
    if (check(TindrelLCD_setFontSize(lcd, lcdFont(fontUser2), 6, 12))) {
        const auto z = letterZBitmap();
        const std::vector<uint8_t> blank12(6 * 12, 0);
        check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser2), "0", z.data()));
        check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser2), " ", blank12.data()));
        check(TindrelLCD_writeText(lcd, lcdFont(fontUser2), 0, 35, "0 0 0"));
    }
    if (!check(TindrelLCD_setFontSize(lcd, lcdFont(fontUser1), 1, 10)))
        return;
    const uint8_t one[] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const uint8_t two[] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    const uint8_t blank10[10] = {};
    check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser1), "1", one));
    check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser1), "2", two));
    check(TindrelLCD_setCharacterBitmap(lcd, lcdFont(fontUser1), " ", blank10));
    const char *first = "121212121 121212121 121212121 121212121 121212121 121212121 121212121 121212121 "
                        "121212121 121212121 121212121 121212121 12121212";
    const char *second = " 121212121 121212121 121212121 121212121 121212121 121212121 121212121 121212121 "
                         "121212121 121212121 121212121 121212121 1212121";
    TindrelLCD_writeText_async(lcd, lcdFont(fontUser1), 0, 0, first, &asyncDone, ctx);
    TindrelLCD_writeText_async(lcd, lcdFont(fontUser1), 0, 10, second, &asyncDone, ctx);
    TindrelLCD_writeText_async(lcd, lcdFont(fontUser1), 0, 20, first, &asyncDone, ctx);
    TindrelLCD_writeText_async(lcd, lcdFont(fontOther), 5, 5, "Overwriting!", &asyncDone, ctx);
    check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void GraphicLCDController::asyncTimer()
{
    if (randomText_.load()) {
        stopRandomText();
        return;
    }
    if (writer_.joinable())
        writer_.join();
    randomText_ = true;
    writes_ = 0;
    // The writer only calls the library with the handle; it never touches
    // widgets. A write the display refuses ends it; each one is logged.
    const auto lcd = handle<TindrelLCDHandle>();
    void *ctx = contextPointer();
    writer_ = std::thread([this, lcd, ctx] {
        std::mt19937 random(std::random_device{}());
        std::uniform_int_distribution<int> xs(0, 126), ys(0, 62), numbers(0, 999);
        while (randomText_.load()) {
            const int x = xs(random), y = ys(random);
            const QByteArray text = QByteArray::number(numbers(random));
            TindrelLCD_writeText_async(lcd, lcdFont(font5x8), x, y, text.constData(), &writerDone, ctx);
            TindrelLCD_flush_async(lcd, &writerDone, ctx);
            ++writes_;
        }
    });
}

void GraphicLCDController::stopRandomText()
{
    randomText_ = false;
    if (writer_.joinable())
        writer_.join();
}

void GraphicLCDController::saveFrameBuffer()
{
    const auto lcd = handle<TindrelLCDHandle>();
    if (check(TindrelLCD_copy(lcd, 0, 2, 0, 0, 127, 63, 0, 0, 0)))
        check(TindrelLCD_saveFrameBuffer(lcd, 2));
}

void GraphicLCDController::loadFrameBuffer()
{
    const auto lcd = handle<TindrelLCDHandle>();
    if (check(TindrelLCD_setFrameBuffer(lcd, 2)))
        check(TindrelLCD_flush(lcd));
    preview->refresh();
}

void GraphicLCDController::sleep()
{
    const auto lcd = handle<TindrelLCDHandle>();
    int sleeping = 0;
    if (!check(TindrelLCD_getSleeping(lcd, &sleeping)))
        sleeping = 0;
    sleepButton->setText(sleeping ? QStringLiteral("Sleep") : QStringLiteral("Wake Up"));
    check(TindrelLCD_setSleeping(lcd, sleeping ? 0 : 1));
}

void GraphicLCDController::asyncHandler(const QVariant &code)
{
    const int rc = code.toInt();
    if (rc == 0)
        return;
    const char *description = nullptr;
    Tindrel_getErrorDescription(static_cast<TindrelReturnCode>(rc), &description);
    outputError(QString::asprintf("Async error occured: 0x%02x - %s", rc, description ? description : ""));
}

}   // namespace tindrel
