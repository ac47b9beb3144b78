// Draws the application icon (the same shapes as icons/com.tindrels.controlpanel.svg)
// as a PNG of the given size.
//   drawicon SIZE OUTPUT.png
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: drawicon SIZE OUTPUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 8 || size > 1024) {
        std::fprintf(stderr, "drawicon: size must be between 8 and 1024\n");
        return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0x8b));
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 36, 36);
    p.setBrush(QColor(0xe9, 0xf2, 0xf8));
    p.drawRoundedRect(QRectF(40, 40, 176, 120), 12, 12);
    p.drawRoundedRect(QRectF(164, 182, 52, 28), 8, 8);
    p.setBrush(QColor(0xf2, 0xc9, 0x4c));
    p.drawEllipse(QPointF(72, 196), 18, 18);
    p.setBrush(QColor(0x6f, 0xcf, 0x97));
    p.drawEllipse(QPointF(128, 196), 18, 18);
    QPen line(QColor(0xd9, 0x48, 0x0f), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    const QPolygonF trace{{52, 128}, {80, 96}, {104, 116}, {132, 64}, {160, 104}, {184, 84}, {204, 92}};
    p.drawPolyline(trace);
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "drawicon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
