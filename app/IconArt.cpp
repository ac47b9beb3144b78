#include "IconArt.h"

#include <array>
#include <cmath>

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tindrel {

namespace {

// Every picture is drawn in a 16 x 16 box; the engine scales it.
using Art = void (*)(QPainter &);

void drawUsb(QPainter &p)
{
    const QColor ink(0x3a, 0x44, 0x50);
    p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // Stem with the arrow head on top and the round foot.
    p.drawLine(QPointF(8, 3.5), QPointF(8, 12.5));
    QPainterPath arrow;
    arrow.moveTo(8, 0.8);
    arrow.lineTo(10.2, 3.8);
    arrow.lineTo(5.8, 3.8);
    arrow.closeSubpath();
    p.fillPath(arrow, ink);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 13.6), 1.7, 1.7);
    // Left branch ends in a ring, right branch in a square.
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(std::array<QPointF, 3>{QPointF(8, 10.5), QPointF(4, 8), QPointF(4, 6.2)}.data(), 3);
    p.drawEllipse(QPointF(4, 5.2), 1.1, 1.1);
    p.drawPolyline(std::array<QPointF, 3>{QPointF(8, 9), QPointF(12, 6.8), QPointF(12, 5.4)}.data(), 3);
    p.fillRect(QRectF(10.9, 3.4, 2.2, 2.2), ink);
}

void drawNet(QPainter &p)
{
    const QColor ink(0x1f, 0x5f, 0xa8);
    QRadialGradient sea(QPointF(6, 5.5), 8);
    sea.setColorAt(0, QColor(0xcf, 0xe6, 0xff));
    sea.setColorAt(1, QColor(0x7d, 0xb4, 0xec));
    p.setPen(QPen(ink, 1.1));
    p.setBrush(sea);
    p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 0.9));
    p.drawEllipse(QPointF(8, 8), 3.0, 6.8);
    p.drawLine(QPointF(8, 1.2), QPointF(8, 14.8));
    p.drawLine(QPointF(1.2, 8), QPointF(14.8, 8));
    const double y = 4.6, half = std::sqrt(6.8 * 6.8 - (8 - y) * (8 - y));
    p.drawLine(QPointF(8 - half, y), QPointF(8 + half, y));
    p.drawLine(QPointF(8 - half, 16 - y), QPointF(8 + half, 16 - y));
}

void drawXlnk(QPainter &p)
{
    // A three-wire port plug seen from the front.
    const QColor body(0xe0, 0x8a, 0x1e), ink(0x6b, 0x3b, 0x05);
    p.setPen(QPen(ink, 1.0));
    p.setBrush(body);
    QPainterPath shell;
    shell.moveTo(2, 4);
    shell.lineTo(14, 4);
    shell.lineTo(14, 11);
    shell.lineTo(11.5, 13.5);
    shell.lineTo(4.5, 13.5);
    shell.lineTo(2, 11);
    shell.closeSubpath();
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x2b, 0x2b));
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(3.7 + i * 3.2, 6.2, 2.2, 4.6), 0.6, 0.6);
    p.setBrush(ink);
    p.drawRect(QRectF(6.5, 1.5, 3, 2.5));
}

void drawApp(QPainter &p)
{
    QLinearGradient bg(QPointF(0, 0), QPointF(0, 16));
    bg.setColorAt(0, QColor(0x2f, 0x7d, 0xd1));
    bg.setColorAt(1, QColor(0x15, 0x3f, 0x7a));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.2, 3.2);
    // A small device tree: one root and three leaves.
    const QColor ink(Qt::white);
    p.setPen(QPen(ink, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(std::array<QPointF, 3>{QPointF(4.5, 4.5), QPointF(4.5, 11.5), QPointF(9, 11.5)}.data(), 3);
    p.drawLine(QPointF(4.5, 8), QPointF(9, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(2.5, 2.5, 4, 4), 1, 1);
    for (double y : {8.0, 11.5})
        p.drawEllipse(QPointF(10.5, y), 1.8, 1.8);
    p.setBrush(QColor(0xff, 0xc2, 0x3d));
    p.drawEllipse(QPointF(10.5, 4.5), 1.8, 1.8);
}

struct NamedArt {
    const char *name;
    Art art;
};

const std::array<NamedArt, 4> arts{{
    {"USB", drawUsb},
    {"net", drawNet},
    {"xlnk", drawXlnk},
    {"app", drawApp},
}};

class PaintedIconEngine : public QIconEngine {
public:
    explicit PaintedIconEngine(Art art)
        : art_(art)
    { }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.45);
        art_(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // size is already in device pixels: drawn at that pixel count, the
        // picture stays sharp on high-density screens.
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter painter(&pm);
            paint(&painter, QRect(QPoint(0, 0), pm.size()), mode, state);
        }
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(art_); }
    QString key() const override { return QStringLiteral("tindrel-painted"); }

private:
    Art art_;
};

}   // namespace

QIcon iconNamed(const QString &name)
{
    for (const NamedArt &a : arts)
        if (name == QLatin1String(a.name))
            return QIcon(new PaintedIconEngine(a.art));
    return {};
}

}   // namespace tindrel
