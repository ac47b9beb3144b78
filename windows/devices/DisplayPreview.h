#pragma once

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
    // Follows a channel (null stops); lcd selects the kind of picture.
    void follow(TindrelHandle channel, bool lcd);
    void refresh();
    bool hasPicture() const { return !picture_.isNull(); }
    const QImage &picture() const { return picture_; }

private:
    std::unique_ptr<DisplayReadBack> readBack_;
    TindrelHandle channel_ = nullptr;
    bool lcd_ = true;
    QTimer timer_;
    QImage picture_;
};

}   // namespace tindrel
