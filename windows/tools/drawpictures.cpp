// Draws the product pictures shown in the device information box: one PNG
// for every product of a rig file, named as the information box looks it up,
// plus the resource list; pictures the old list named that no product needs
// any more are removed. The pictures are kept in windows/pictures/; run this
// again after products are added to, renamed in or removed from the default rig:
//   cmake -DTINDREL_DRAW_PICTURES=ON ... && cmake --build ... --target drawpictures
//   QT_QPA_PLATFORM=offscreen build/windows/tools/drawpictures simulator/rigs/default.json windows/pictures
#include "WindowLogic.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

namespace {

enum class Plug { Usb, HubPort };
enum class Parts { Terminals, Relays, PinHeader, HubPorts, Heatsink, Sensor, Screen, Module };

struct Product {
    QString file;      // picture name, by the information box's rule
    QString caption;   // text printed on the board
    QColor board;
    Plug plug;
    Parts parts;
    int count;   // terminals, relays, header pins or hub ports
};

// What a board carries, by the class of its first channel.
struct ClassLook {
    const char *channelClass;
    Parts parts;
};
const ClassLook looks[] = {
    {"Hub", Parts::HubPorts},
    {"DigitalOutput", Parts::PinHeader},
    {"DCMotor", Parts::Heatsink},
    {"BLDCMotor", Parts::Heatsink},
    {"Stepper", Parts::Heatsink},
    {"RCServo", Parts::PinHeader},
    {"VoltageOutput", Parts::Terminals},
    {"PowerGuard", Parts::Heatsink},
    {"HumiditySensor", Parts::Sensor},
    {"LightSensor", Parts::Sensor},
    {"PressureSensor", Parts::Sensor},
    {"SoundSensor", Parts::Sensor},
    {"DistanceSensor", Parts::Sensor},
    {"Accelerometer", Parts::Sensor},
    {"LCD", Parts::Screen},
    {"LEDArray", Parts::PinHeader},
    {"DataAdapter", Parts::Module},
    {"IR", Parts::Module},
    {"RFID", Parts::Module},
    {"GPS", Parts::Module},
    {"Dictionary", Parts::Module},
    {"FirmwareUpgrade", Parts::Module},
};

// Board colour by catalogue group, the first digit of the code's number
// (2 hubs, network and loaders ... 9 power and outputs); codes outside the
// groups get the last colour.
const QColor boardColours[] = {QColor(0x3a, 0x3a, 0x46), QColor(0x1f, 0x4e, 0x8c), QColor(0x2d, 0x6a, 0x3e),
                               QColor(0x6b, 0x2d, 0x6a), QColor(0x8c, 0x3b, 0x1f), QColor(0x25, 0x5f, 0x6b),
                               QColor(0x6b, 0x5a, 0x1f), QColor(0x1f, 0x3a, 0x5f), QColor(0x55, 0x55, 0x55)};

QColor colourOfGroup(const QString &code)
{
    const int group = code.mid(3, 1).toInt() - 2;
    return group >= 0 && group < int(std::size(boardColours)) - 1 ? boardColours[group]
                                                                  : boardColours[std::size(boardColours) - 1];
}

Product productFor(const QJsonObject &device)
{
    const int deviceId = device.value(QStringLiteral("deviceId")).toInt();
    // The simulator's own default for a device listed without a product code.
    QString sku = device.value(QStringLiteral("sku")).toString();
    if (sku.isEmpty())
        sku = QStringLiteral("TDR%1_0").arg(deviceId, 4, 10, QLatin1Char('0'));
    const QJsonArray channels = device.value(QStringLiteral("channels")).toArray();
    const QString firstClass =
        channels.isEmpty() ? QString() : channels.first().toObject().value(QStringLiteral("class")).toString();
    int channelCount = 0;
    for (const auto &c : channels)
        channelCount += c.toObject().value(QStringLiteral("count")).toInt(1);

    Product p;
    p.file = tindrel::pictureNameForSku(sku);
    p.caption = p.file.section(u'_', 0, 0).section(u'.', 0, 0);
    p.board = colourOfGroup(p.caption);
    p.plug = device.value(QStringLiteral("class")).toInt() == 21 ? Plug::HubPort : Plug::Usb;
    p.parts = Parts::Terminals;
    for (const auto &look : looks)
        if (firstClass == QLatin1String(look.channelClass))
            p.parts = look.parts;
    if (p.parts == Parts::PinHeader &&
        device.value(QStringLiteral("name")).toString().contains(QStringLiteral("Relay")))
        p.parts = Parts::Relays;
    p.count = std::clamp(p.parts == Parts::PinHeader ? channelCount * 2 : channelCount, 1, 64);
    if (p.parts == Parts::HubPorts)
        p.count = 6;
    return p;
}

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
            p.drawText(QRectF(left + i * w + 2, boardRect.top() + 8, w - 6, 44), Qt::AlignCenter,
                       QStringLiteral("K%1").arg(i + 1));
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
    case Parts::Heatsink: {
        p.setBrush(QColor(0xb8, 0xb8, 0xc0));
        const QRectF sink(left, boardRect.top() + 6, width * 0.45, 40);
        p.drawRect(sink);
        p.setPen(QPen(QColor(0x80, 0x80, 0x88), 2));
        for (qreal x = sink.left() + 6; x < sink.right(); x += 8)
            p.drawLine(QPointF(x, sink.top() + 3), QPointF(x, sink.bottom() - 3));
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        p.setBrush(QColor(0x2a, 0x7f, 0xd4));
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(left + width * 0.55 + i * 18, boardRect.top() + 6, 16, 22));
        break;
    }
    case Parts::Sensor: {
        p.setBrush(QColor(0xe8, 0xe8, 0xe8));
        p.drawEllipse(QPointF(boardRect.center().x() + 50, boardRect.top() + 34), 20, 20);
        p.setBrush(QColor(0x40, 0x40, 0x40));
        p.drawEllipse(QPointF(boardRect.center().x() + 50, boardRect.top() + 34), 9, 9);
        break;
    }
    case Parts::Screen: {
        p.setBrush(QColor(0x10, 0x30, 0x10));
        p.drawRect(QRectF(left - 10, boardRect.top() + 6, width + 10, 44));
        p.setBrush(QColor(0x6a, 0xd0, 0x6a));
        p.drawRect(QRectF(left - 4, boardRect.top() + 12, width - 2, 32));
        break;
    }
    case Parts::Module: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0xd8, 0xc0, 0x6a), 3));
        p.drawRoundedRect(QRectF(left + width - 60, boardRect.top() + 8, 54, 40), 6, 6);
        p.drawRoundedRect(QRectF(left + width - 52, boardRect.top() + 16, 38, 24), 4, 4);
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
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
               product.caption);
}

// The files a resource list names; none when there is no list yet.
QStringList listedIn(const QString &qrcPath)
{
    QFile qrc(qrcPath);
    if (!qrc.open(QIODevice::ReadOnly))
        return {};
    QStringList files;
    const QRegularExpression entry(QStringLiteral("<file>([^<]+)</file>"));
    for (auto it = entry.globalMatch(QString::fromUtf8(qrc.readAll())); it.hasNext();) {
        const QString file = it.next().captured(1);
        // Only plain names inside the folder, never a path out of it.
        if (!file.contains(u'/') && file != QLatin1String(".."))
            files.append(file);
    }
    return files;
}

}   // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: drawpictures <rig.json> <output folder>\n";
        return 2;
    }
    QFile rigFile(QString::fromLocal8Bit(argv[1]));
    if (!rigFile.open(QIODevice::ReadOnly)) {
        err << "cannot read " << rigFile.fileName() << "\n";
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument rig = QJsonDocument::fromJson(rigFile.readAll(), &parseError);
    if (rig.isNull()) {
        err << rigFile.fileName() << ": " << parseError.errorString() << "\n";
        return 1;
    }
    QDir out(QString::fromLocal8Bit(argv[2]));
    if (!out.exists() && !out.mkpath(QStringLiteral("."))) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }

    QStringList files;
    for (const auto &entry : rig.object().value(QStringLiteral("devices")).toArray()) {
        const Product product = productFor(entry.toObject());
        if (files.contains(product.file))
            continue;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawPlug(p, product.plug);
        drawBoard(p, product);
        drawParts(p, product);
        drawCaption(p, product);
        p.end();
        const QString path = out.filePath(product.file);
        if (!image.save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            return 1;
        }
        files.append(product.file);
    }

    files.sort();
    // Pictures of products that left the rig go with their resource entries.
    for (const QString &old : listedIn(out.filePath(QStringLiteral("pictures.qrc"))))
        if (!files.contains(old) && out.exists(old) && !out.remove(old)) {
            err << "cannot remove " << out.filePath(old) << "\n";
            return 1;
        }
    QFile qrc(out.filePath(QStringLiteral("pictures.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err << "cannot write " << qrc.fileName() << "\n";
        return 1;
    }
    QTextStream list(&qrc);
    list << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/pictures\">\n";
    for (const QString &file : files)
        list << "  <file>" << file << "</file>\n";
    list << "</qresource>\n</RCC>\n";
    return 0;
}
