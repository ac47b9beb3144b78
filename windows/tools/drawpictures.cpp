// Draws the product pictures shown in the device information box, one PNG
// per product, into the folder given as the only argument. The pictures are
// kept in windows/pictures/; run this again after changing the table below:
//   cmake -DTINDREL_DRAW_PICTURES=ON ... && build/windows/tools/drawpictures windows/pictures
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

enum class Plug { Usb, HubPort };
enum class Parts { Terminals, Relays, PinHeader, HubPorts };

struct Product {
    const char *file;     // picture name (product code up to its first "/", or the shared family number)
    const char *caption;  // text printed on the board
    QColor board;
    Plug plug;
    Parts parts;
    int count;            // terminals, relays, header pins or hub ports
};

const Product products[] = {
    {"HUB0000_0.png", "HUB0000", QColor(0x1f, 0x4e, 0x8c), Plug::Usb, Parts::HubPorts, 6},
    {"DAQ1301_0.png", "DAQ1301", QColor(0x2d, 0x6a, 0x3e), Plug::HubPort, Parts::Terminals, 4},
    {"LED1000_0.png", "LED1000", QColor(0x6b, 0x2d, 0x6a), Plug::HubPort, Parts::PinHeader, 32},
    {"REL1000_0.png", "REL1000", QColor(0x2d, 0x6a, 0x3e), Plug::HubPort, Parts::Relays, 4},
    {"TDR1030_0.png", "TDR1030", QColor(0x6b, 0x2d, 0x6a), Plug::Usb, Parts::PinHeader, 64},
    {"TDR1018", "TDR1018", QColor(0x1f, 0x4e, 0x8c), Plug::Usb, Parts::Terminals, 12},
    {"TDR1014_0.png", "TDR1014", QColor(0x8c, 0x3b, 0x1f), Plug::Usb, Parts::Relays, 1},
};

constexpr QSize size(240, 180);
const QRectF boardRect(28, 24, 196, 132);

void drawBoard(QPainter &p, const Product &product)
{
    QPainterPath outline;
    outline.addRoundedRect(boardRect, 10, 10);
    p.fillPath(outline, product.board);
    p.setPen(QPen(product.board.darker(140), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    // Mounting holes.
    p.setPen(QPen(QColor(0xd8, 0xc0, 0x6a), 2));
    p.setBrush(Qt::white);
    for (QPointF c : {boardRect.topLeft() + QPointF(12, 12), boardRect.topRight() + QPointF(-12, 12),
                      boardRect.bottomLeft() + QPointF(12, -12), boardRect.bottomRight() + QPointF(-12, -12)})
        p.drawEllipse(c, 5, 5);
}

void drawPlug(QPainter &p, Plug plug)
{
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    if (plug == Plug::Usb) {
        p.setBrush(QColor(0xc8, 0xc8, 0xc8));
        p.drawRect(QRectF(12, 76, 30, 28));
        p.setBrush(QColor(0x40, 0x40, 0x40));
        p.drawRect(QRectF(14, 84, 14, 12));
    } else {
        p.setBrush(QColor(0xf0, 0xf0, 0xf0));
        p.drawRect(QRectF(16, 72, 24, 36));
        p.setBrush(QColor(0x30, 0x30, 0x30));
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(22, 76 + i * 10, 12, 7));
    }
}

void drawParts(QPainter &p, const Product &product)
{
    const qreal left = boardRect.left() + 30;
    const qreal width = boardRect.width() - 50;
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    switch (product.parts) {
    case Parts::Terminals: {
        const qreal w = width / product.count;
        for (int i = 0; i < product.count; ++i) {
            p.setBrush(QColor(0x2a, 0x7f, 0xd4));
            p.drawRect(QRectF(left + i * w, boardRect.top() + 6, w - 1, 22));
            p.setBrush(QColor(0xb0, 0xb0, 0xb0));
            p.drawEllipse(QPointF(left + i * w + w / 2, boardRect.top() + 17), w / 4, w / 4);
        }
        break;
    }
    case Parts::Relays: {
        const qreal w = std::min<qreal>(width / product.count, 60);
        for (int i = 0; i < product.count; ++i) {
            p.setBrush(QColor(0x22, 0x44, 0xaa));
            p.drawRoundedRect(QRectF(left + i * w + 2, boardRect.top() + 8, w - 6, 44), 3, 3);
            p.setPen(Qt::white);
            p.drawText(QRectF(left + i * w + 2, boardRect.top() + 8, w - 6, 44), Qt::AlignCenter, QStringLiteral("K%1").arg(i + 1));
            p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        }
        break;
    }
    case Parts::PinHeader: {
        const int columns = std::min(product.count / 2, 32);
        const qreal w = width / columns;
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawRect(QRectF(left, boardRect.top() + 8, width, 18));
        p.setBrush(QColor(0xe0, 0xc0, 0x50));
        for (int i = 0; i < columns; ++i)
            for (int r = 0; r < 2; ++r)
                p.drawRect(QRectF(left + i * w + w / 2 - 1.5, boardRect.top() + 11 + r * 8, 3, 3));
        break;
    }
    case Parts::HubPorts: {
        const qreal h = (boardRect.height() - 30) / product.count;
        for (int i = 0; i < product.count; ++i) {
            p.setBrush(QColor(0xf0, 0xf0, 0xf0));
            p.drawRect(QRectF(boardRect.right() - 26, boardRect.top() + 15 + i * h, 20, h - 4));
            p.setBrush(QColor(0x30, 0x30, 0x30));
            p.drawRect(QRectF(boardRect.right() - 22, boardRect.top() + 17 + i * h, 12, h - 8));
        }
        break;
    }
    }
    // The controller chip.
    const QRectF chip(boardRect.center().x() - 22, boardRect.center().y() - 10, 44, 30);
    p.setBrush(QColor(0x22, 0x22, 0x22));
    p.drawRect(chip);
    p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 2));
    for (int i = 0; i < 6; ++i) {
        const qreal x = chip.left() + 5 + i * 7;
        p.drawLine(QPointF(x, chip.top() - 4), QPointF(x, chip.top()));
        p.drawLine(QPointF(x, chip.bottom()), QPointF(x, chip.bottom() + 4));
    }
}

void drawCaption(QPainter &p, const Product &product)
{
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(boardRect.left(), boardRect.bottom() - 34, boardRect.width(), 24), Qt::AlignCenter,
               QString::fromLatin1(product.caption));
}

}  // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: drawpictures <output folder>\n";
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !out.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << out.path() << "\n";
        return 1;
    }
    for (const Product &product : products) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawPlug(p, product.plug);
        drawBoard(p, product);
        drawParts(p, product);
        drawCaption(p, product);
        p.end();
        const QString path = out.filePath(QString::fromLatin1(product.file));
        if (!image.save(path, "PNG")) {
            QTextStream(stderr) << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
