#pragma once

#include <QImage>
#include <QLabel>

namespace tindrel {

// A picture shown at a size in logical pixels and drawn from its source at
// the pixels of the screen it is on: sharp on a scaled desktop, and again
// after its window moves to a screen of another scale.
class ScaledPicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Shows source scaled to size (keeping its aspect); a null source shows nothing.
    void setPicture(const QImage &source, QSize size);
    void clearPicture();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void scaleToScreen();

    QImage source_;
    QSize size_;
};

}   // namespace tindrel
