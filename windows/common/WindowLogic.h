#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <span>

namespace tindrel {

// Name of the example window for a channel: the library's class name without
// its seven-letter product word ("TindrelDigitalOutput" -> "DigitalOutput",
// a name lacking the word is kept whole);
// LCD channels (class 11) open "TextLCD" for subclass 81, else "GraphicLCD".
QString windowNameForChannel(const QString &channelClassName, int channelClass, int channelSubclass);

// The catalogue number of the board family whose product codes all share one
// picture, whatever comes before or after it in the code.
inline constexpr const char *sharedPictureCatalogueNumber = "TDR3100";

// Picture resource name of a product code: the code up to its first "/",
// then ".png"; codes containing the shared catalogue number use that number.
QString pictureNameForSku(const QString &sku);

// Formats one number with a printf-style format holding one conversion.
// Integer conversions (%d, %i, %u, %x, %X, %o) get the value rounded to an
// int, floating conversions the double; a format that cannot take exactly
// one such number gives the number in plain text instead.
QString formatNumber(const char *format, double value);

// Step of a stepper for value v: 0.5 while |v| <= 1 (or v is not a number),
// else 0.5 x 10^floor(log10 |v|): 7 -> 0.5, 25 -> 5, -3000 -> 500.
double stepperStepFor(double v);

// Maps a double range onto integer slider positions. Integral scales use the
// value itself as the position; others spread the range over `steps`.
struct SliderScale {
    double minimum = 0.0;
    double maximum = 1.0;
    bool integral = false;
    int steps = 1000;

    int positions() const;                // largest position; the smallest is 0
    int toPosition(double value) const;   // clamped into the range
    double toValue(int position) const;
};

// A pop-up's titles and the library codes they stand for.
struct CodeTitle {
    const char *title;
    int code;
};

std::optional<int> codeForTitle(std::span<const CodeTitle> table, QStringView title);
std::optional<QString> titleForCode(std::span<const CodeTitle> table, int code);

}   // namespace tindrel
