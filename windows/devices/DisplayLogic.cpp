#include "DisplayLogic.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace tindrel::displays {

namespace {

uint8_t byteOf(float component) { return static_cast<uint8_t>(std::clamp(component, 0.0f, 1.0f) * 255.0f); }

}   // namespace

LedRecord recordOf(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return {byteOf(rgb.redF()), byteOf(rgb.greenF()), byteOf(rgb.blueF()), 0};
}

QString hexStringFromColor(const QColor &color)
{
    const LedRecord r = recordOf(color);
    return QString::asprintf("#%02X%02X%02X", r.red, r.green, r.blue);
}

LedSend basicSend(const QColor &color, int start, int end)
{
    if (end < start)
        end = start;
    LedSend send;
    send.start = static_cast<uint32_t>(start);
    send.end = static_cast<uint32_t>(end);
    send.records.assign(static_cast<size_t>(end - start + 1), recordOf(color));
    return send;
}

LedSend advancedSend(const std::vector<LedEntry> &entries, int start, int end, int fadeTime, int ledCount)
{
    LedSend send;
    send.start = static_cast<uint32_t>(start);
    send.end = static_cast<uint32_t>(end);
    send.fadeTime = static_cast<uint32_t>(std::max(fadeTime, 0));
    send.records.assign(static_cast<size_t>(std::max(ledCount, 0)), LedRecord{});
    for (const LedEntry &e : entries) {
        if (e.ledIndex < start || e.ledIndex > end)
            continue;
        const auto position = static_cast<size_t>(e.ledIndex - start);
        if (position >= send.records.size())
            continue;
        send.records[position] = recordOf(e.color);
    }
    return send;
}

std::optional<PowerStep> powerStep(const QString &title)
{
    if (title == QLatin1String("Power Off"))
        return PowerStep{QStringLiteral("Power On"), 1};
    if (title == QLatin1String("Power On"))
        return PowerStep{QStringLiteral("Power Off"), 0};
    return std::nullopt;
}

QByteArray paddedRow(const QString &text, int width)
{
    QByteArray row = text.toUtf8().left(std::max(width, 0));
    if (row.size() < width)
        row.append(QByteArray(width - row.size(), ' '));
    return row;
}

std::vector<uint8_t> bitmapFromRows(std::initializer_list<const char *> rows)
{
    std::vector<uint8_t> dots;
    for (const char *row : rows)
        for (const char *c = row; *c; ++c)
            dots.push_back(*c == '#' ? 1 : 0);
    return dots;
}

std::vector<uint8_t> smileyBitmap()
{
    return bitmapFromRows({".....", ".#.#.", ".....", "..#..", ".....", "#...#", ".###.", "....."});
}

std::vector<uint8_t> heartBitmap()
{
    return bitmapFromRows({".....", ".#.#.", "#####", "#####", ".###.", "..#..", ".....", "....."});
}

std::vector<uint8_t> letterABitmap()
{
    return bitmapFromRows({"...###...", "..#####..", ".##...##.", ".##...##.", ".#######.", ".#######.", ".##...##.",
                           ".##...##.", ".##...##.", ".##...##."});
}

std::vector<uint8_t> letterZBitmap()
{
    return bitmapFromRows({"#....#", ".#..#.", "..##..", "......", ".#..#.", "......", "......", "..##..", "#....#",
                           "#....#", "##..##", ".####."});
}

std::vector<uint8_t> blockWordBitmap()
{
    // "TDR" in block letters on a 47 x 25 field with a frame.
    std::vector<uint8_t> dots(47 * 25, 0);
    auto set = [&](int x, int y) { dots[static_cast<size_t>(y * 47 + x)] = 1; };
    for (int x = 0; x < 47; ++x) {
        set(x, 0);
        set(x, 24);
    }
    for (int y = 0; y < 25; ++y) {
        set(0, y);
        set(46, y);
    }
    for (int y = 4; y <= 20; ++y) {
        for (int x = 5; x <= 13; ++x)
            if (y <= 6 || (x >= 8 && x <= 10))
                set(x, y);   // T
        for (int x = 17; x <= 19; ++x)
            set(x, y);   // D stem
        if (y <= 6 || y >= 18)
            for (int x = 20; x <= 25; ++x)
                set(x, y);   // D top and bottom
        if (y >= 6 && y <= 18)
            for (int x = 26; x <= 28; ++x)
                set(x, y);   // D bow
        for (int x = 32; x <= 34; ++x)
            set(x, y);   // R stem
        if (y <= 6 || (y >= 11 && y <= 13))
            for (int x = 35; x <= 40; ++x)
                set(x, y);   // R bars
        if (y > 6 && y < 11)
            for (int x = 39; x <= 41; ++x)
                set(x, y);   // R bow
        if (y > 13)
            for (int x = 35 + (y - 14) / 2; x <= 37 + (y - 14) / 2; ++x)
                set(x, y);   // R leg
    }
    return dots;
}

QStringList i2cFrequencyTitles() { return {"10kHz", "100kHz", "400kHz"}; }
QStringList spiFrequencyTitles() { return {"188kHz", "375kHz", "750kHz", "1500kHz", "3MHz", "6MHz"}; }
QStringList voltageTitles() { return {"External", "2.5 V", "3.3 V", "5 V"}; }

namespace {

std::optional<uint8_t> hexByte(QStringView digits)
{
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    // toUInt accepts a sign and blanks; a byte here is hexadecimal digits only.
    for (QChar c : digits)
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f')))
            return std::nullopt;
    if (!ok || value > 0xff)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

}   // namespace

std::optional<QByteArray> parseHexCommand(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    QString cleaned = text;
    cleaned.replace(QLatin1Char(','), QLatin1Char(' ')).replace(QLatin1Char(';'), QLatin1Char(' '));
    const QStringList tokens = cleaned.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QByteArray bytes;
    for (QString token : tokens) {
        token = token.toLower();
        if (token.startsWith(QLatin1String("0x")))
            token = token.mid(2);
        if (token.isEmpty())
            continue;
        if (token.size() <= 2) {
            const auto b = hexByte(token);
            if (!b)
                return std::nullopt;
            bytes.append(static_cast<char>(*b));
            continue;
        }
        if (token.size() % 2 != 0)
            return std::nullopt;
        for (qsizetype i = 0; i < token.size(); i += 2) {
            const auto b = hexByte(QStringView(token).mid(i, 2));
            if (!b)
                return std::nullopt;
            bytes.append(static_cast<char>(*b));
        }
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

uint32_t parseI2CAddress(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char('0') || text[i] == QLatin1Char('x')))
        ++i;
    uint32_t address = 0;
    for (; i < text.size(); ++i) {
        const int digit = QStringView(text).mid(i, 1).toInt(nullptr, 16);
        const QChar c = text[i].toLower();
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f')))
            break;
        address = address * 16 + static_cast<uint32_t>(digit);
        if (address > 0xffffff)
            break;
    }
    return address;
}

QString hexReply(const uint8_t *bytes, size_t count)
{
    QString out;
    for (size_t i = 0; i < count; ++i)
        out += QString::asprintf("%02X", bytes[i]);
    return out;
}

}   // namespace tindrel::displays
