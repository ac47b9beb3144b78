#include "ScaledPicture.h"

#include <QPixmap>

namespace tindrel {

void ScaledPicture::setPicture(const QImage &source, QSize size)
{
    source_ = source;
    size_ = size;
    if (source_.isNull())
        clear();
    else
        scaleToScreen();
}

void ScaledPicture::clearPicture() { setPicture(QImage(), QSize()); }

void ScaledPicture::scaleToScreen()
{
    const qreal ratio = devicePixelRatioF();
    QPixmap shown = QPixmap::fromImage(source_.scaled(size_ * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    shown.setDevicePixelRatio(ratio);
    setPixmap(shown);
}

void ScaledPicture::paintEvent(QPaintEvent *event)
{
    // A move to a screen of another scale repaints: the picture follows it.
    if (!source_.isNull() && pixmap().devicePixelRatio() != devicePixelRatioF())
        scaleToScreen();
    QLabel::paintEvent(event);
}

}   // namespace tindrel
