#pragma once

// Pure logic of the LED array, LCD and data adapter windows: no widgets, no
// device library beyond its plain types.
#include "WindowLogic.h"

#include <QByteArray>
#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tindrel::displays {

// ---------------------------------------------------------------- LED array
// One LED colour as the library takes it.
struct LedRecord {
    uint8_t red = 0, green = 0, blue = 0, white = 0;
    bool operator==(const LedRecord &) const = default;
};

inline constexpr CodeTitle colorOrders[] = {{"RGB", 1}, {"GRB", 2}, {"RGBW", 3}, {"GRBW", 4}};

// A colour's red, green and blue as bytes (component x 255, truncated).
LedRecord recordOf(const QColor &color);
// "#RRGGBB" of a colour, components truncated the same way.
QString hexStringFromColor(const QColor &color);

// What one send of LED colours carries.
struct LedSend {
    uint32_t start = 0;
    uint32_t end = 0;
    std::vector<LedRecord> records;
    uint32_t fadeTime = 0;
};

// One colour over start to end; an end below the start is the start.
LedSend basicSend(const QColor &color, int start, int end);

struct LedEntry {
    long ledIndex = 0;
    QColor color;
};
// ledCount records, all black, then each entry inside start..end writes its
// record at ledIndex - start (later entries win; positions past the count are
// skipped).
LedSend advancedSend(const std::vector<LedEntry> &entries, int start, int end, int fadeTime, int ledCount);

// The power button's title after a press, and the power state to send;
// nothing for any other title.
struct PowerStep {
    QString newTitle;
    int enable;
};
std::optional<PowerStep> powerStep(const QString &title);

// ---------------------------------------------------------------- LCD
inline constexpr int textLcdSubclass = 81;
inline constexpr int screenSizeAdapterId = 46;
inline constexpr int fontUser1 = 1, fontUser2 = 2, font5x8 = 4, fontOther = 5;

inline constexpr CodeTitle screenSizes[] = {{"No Screen", 1}, {"1x8", 2},   {"2x8", 3},   {"1x16", 4},
                                            {"2x16", 5},      {"4x16", 6},  {"2x20", 7},  {"4x20", 8},
                                            {"2x24", 9},      {"1x40", 10}, {"2x40", 11}, {"4x40", 12}};

// A row of exactly width characters: the text cut or padded with blanks.
QByteArray paddedRow(const QString &text, int width);

// Dot bitmaps from rows of '#' and '.', one byte per dot.
std::vector<uint8_t> bitmapFromRows(std::initializer_list<const char *> rows);

// The two custom characters of the text window (codes 10 and 11, 5 x 8).
std::vector<uint8_t> smileyBitmap();
std::vector<uint8_t> heartBitmap();
// Bitmaps of the graphic window's demonstrations.
std::vector<uint8_t> letterABitmap();     // 9 x 10
std::vector<uint8_t> letterZBitmap();     // 6 x 12
std::vector<uint8_t> blockWordBitmap();   // 47 x 25

// ---------------------------------------------------------------- data adapter
inline constexpr int spiAdapterId = 160, i2cAdapterId = 134;

inline constexpr CodeTitle adapterVoltages[] = {{"External", 1}, {"2.5 V", 3}, {"3.3 V", 4}, {"5 V", 5}};
inline constexpr CodeTitle adapterFrequencies[] = {{"10kHz", 1},   {"100kHz", 2}, {"400kHz", 3},
                                                   {"188kHz", 4},  {"375kHz", 5}, {"750kHz", 6},
                                                   {"1500kHz", 7}, {"3MHz", 8},   {"6MHz", 9}};
inline constexpr CodeTitle spiModes[] = {{"Mode_0", 1}, {"Mode_1", 2}, {"Mode_2", 3}, {"Mode_3", 4}};
inline constexpr CodeTitle chipSelects[] = {{"ActiveLow", 1}, {"ActiveHigh", 2}, {"Low", 3}, {"High", 4}};
inline constexpr CodeTitle bitOrders[] = {{"MSB First", 1}, {"LSB First", 2}};

QStringList i2cFrequencyTitles();
QStringList spiFrequencyTitles();
QStringList voltageTitles();

// Bytes of a command typed as hexadecimal: tokens split at blanks, "," and
// ";"; an optional "0x" per token; one or two digits make one byte, longer
// tokens are read in pairs and must have an even length. Nothing when any
// piece is not hexadecimal or no byte results.
std::optional<QByteArray> parseHexCommand(const QString &text);

// The I2C address field: leading '0' and 'x' characters skipped, then a
// hexadecimal number; 0 when no digit is left.
uint32_t parseI2CAddress(const QString &text);

// Bytes as "%02X" each, without separators.
QString hexReply(const uint8_t *bytes, size_t count);

}   // namespace tindrel::displays
