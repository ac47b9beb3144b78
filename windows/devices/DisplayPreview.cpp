#include "DisplayPreview.h"

#include <QPixmap>

#include <algorithm>

namespace tindrel {

QImage lcdPreviewImage(const ReadBackFrame &frame)
{
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.levels.size() < static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height))
        return {};
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    // A yellow-green backlight; a dark dot shows black.
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const int level = frame.levels[static_cast<size_t>(y * frame.width + x)];
            image.setPixel(x, y, qRgb(level * 190 / 255, level * 225 / 255, level * 130 / 255));
        }
    return image;
}

QImage ledPreviewImage(const std::vector<ReadBackLed> &leds)
{
    if (leds.empty())
        return {};
    const int shown = static_cast<int>(std::min<size_t>(leds.size(), 64));
    QImage image(shown, 1, QImage::Format_RGB32);
    for (int i = 0; i < shown; ++i) {
        const ReadBackLed &l = leds[static_cast<size_t>(i)];
        image.setPixel(i, 0, qRgb(std::max(l.red, l.white), std::max(l.green, l.white), std::max(l.blue, l.white)));
    }
    return image;
}

DisplayPreview::DisplayPreview(QWidget *parent)
    : QLabel(parent)
    , readBack_(makeDisplayReadBack())
{
    setMinimumHeight(40);
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &DisplayPreview::refresh);
}

void DisplayPreview::follow(const ChannelHandle *channel, bool lcd)
{
    channel_ = channel;
    lcd_ = lcd;
    if (channel_ && channel_->get()) {
        timer_.start();
        refresh();
    } else {
        channel_ = nullptr;
        timer_.stop();
        picture_ = QImage();
        clear();
    }
}

void DisplayPreview::refresh()
{
    if (channel_ && !channel_->get()) {
        follow(nullptr, lcd_);   // the window let its channel go
        return;
    }
    if (!channel_ || !readBack_)
        return;
    const TindrelHandle ch = channel_->get();
    QImage image;
    if (lcd_) {
        if (const auto frame = readBack_->lcdFrame(ch))
            image = lcdPreviewImage(*frame);
    } else if (const auto leds = readBack_->ledColors(ch)) {
        image = ledPreviewImage(*leds);
    }
    if (image.isNull())
        return;
    picture_ = image;
    const int scale = lcd_ ? std::max(1, 256 / std::max(1, image.width())) : 6;
    // Each pixel of the display a square of screen pixels, also on a scaled desktop.
    const qreal ratio = devicePixelRatioF();
    QPixmap shown =
        QPixmap::fromImage(image.scaled(qRound(image.width() * scale * ratio), qRound(image.height() * scale * ratio)));
    shown.setDevicePixelRatio(ratio);
    setPixmap(shown);
}

}   // namespace tindrel
