#include "DisplayPreview.h"

#include <QPixmap>

namespace tindrel {

DisplayPreview::DisplayPreview(QWidget *parent)
    : QLabel(parent)
    , readBack_(makeDisplayReadBack())
{
    setMinimumHeight(40);
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &DisplayPreview::refresh);
}

void DisplayPreview::follow(TindrelHandle channel, bool lcd)
{
    channel_ = channel;
    lcd_ = lcd;
    if (channel_) {
        timer_.start();
        refresh();
    } else {
        timer_.stop();
        picture_ = QImage();
        clear();
    }
}

void DisplayPreview::refresh()
{
    if (!channel_ || !readBack_)
        return;
    QImage image;
    if (lcd_) {
        const auto frame = readBack_->lcdFrame(channel_);
        if (!frame || frame->width <= 0 || frame->height <= 0)
            return;
        image = QImage(frame->width, frame->height, QImage::Format_RGB32);
        for (int y = 0; y < frame->height; ++y)
            for (int x = 0; x < frame->width; ++x)
                image.setPixel(x, y,
                               frame->dots[static_cast<size_t>(y * frame->width + x)] ? qRgb(20, 30, 90)
                                                                                      : qRgb(150, 200, 120));
    } else {
        const auto leds = readBack_->ledColors(channel_);
        if (!leds || leds->empty())
            return;
        // At most 64 LEDs in view, one dot each.
        const int shown = static_cast<int>(std::min<size_t>(leds->size(), 64));
        image = QImage(shown, 1, QImage::Format_RGB32);
        for (int i = 0; i < shown; ++i) {
            const ReadBackLed &l = (*leds)[static_cast<size_t>(i)];
            image.setPixel(i, 0, qRgb(std::max(l.red, l.white), std::max(l.green, l.white), std::max(l.blue, l.white)));
        }
    }
    picture_ = image;
    const int scale = lcd_ ? std::max(1, 256 / std::max(1, image.width())) : 6;
    setPixmap(QPixmap::fromImage(image.scaled(image.width() * scale, image.height() * scale)));
}

}   // namespace tindrel
