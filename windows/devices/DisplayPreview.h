#pragma once

#include "ChannelHandle.h"
#include "DisplayReadBack.h"

#include <QImage>
#include <QLabel>
#include <QTimer>

namespace tindrel {

// The pictures the preview shows: an LCD's dots in the colour of its
// backlight at their brightness, an LED array one dot per LED (at most 64).
QImage lcdPreviewImage(const ReadBackFrame &frame);
QImage ledPreviewImage(const std::vector<ReadBackLed> &leds);

// A small live picture of what an LCD or an LED array shows, read back at
// display rate while a channel is followed. Empty when the library cannot tell.
class DisplayPreview : public QLabel {
    Q_OBJECT
public:
    explicit DisplayPreview(QWidget *parent = nullptr);
    // Follows the channel its window holds (null stops) for as long as the
    // window holds it: once the handle is let go, at detach or at the
    // window's close, the preview stops and shows nothing. lcd selects the
    // kind of picture.
    void follow(const ChannelHandle *channel, bool lcd);
    void refresh();
    bool hasPicture() const { return !picture_.isNull(); }
    const QImage &picture() const { return picture_; }

private:
    std::unique_ptr<DisplayReadBack> readBack_;
    const ChannelHandle *channel_ = nullptr;
    bool lcd_ = true;
    QTimer timer_;
    QImage picture_;
};

}   // namespace tindrel
