#include "WindowLogic.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tindrel {

QString windowNameForChannel(const QString &channelClassName, int channelClass, int channelSubclass)
{
    constexpr int lcdClass = 11;
    constexpr int textLcdSubclass = 81;
    if (channelClass == lcdClass)
        return channelSubclass == textLcdSubclass ? QStringLiteral("TextLCD") : QStringLiteral("GraphicLCD");
    // Class names begin with the seven-letter product word; a name without it
    // is taken as it stands rather than losing seven letters of the class.
    const QLatin1String productWord("Tindrel");
    return channelClassName.startsWith(productWord) ? channelClassName.mid(productWord.size()) : channelClassName;
}

QString pictureNameForSku(const QString &sku)
{
    const QString shared = QString::fromLatin1(sharedPictureCatalogueNumber);
    if (sku.contains(shared))
        return shared;
    return sku.section(u'/', 0, 0) + QStringLiteral(".png");
}

namespace {

// The conversion character of a format holding exactly one conversion with
// no length modifier; 0 for a format without conversions; '?' for anything
// printf could not be handed a single int or double safely.
char conversionOf(const char *format)
{
    char found = 0;
    for (const char *p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p && std::string_view("-+ #0123456789.").find(*p) != std::string_view::npos)
            ++p;
        if (found != 0 || *p == 0 || std::string_view("hlLqjzt*").find(*p) != std::string_view::npos)
            return '?';
        found = *p;
    }
    return found;
}

}   // namespace

QString formatNumber(const char *format, double value)
{
    switch (conversionOf(format)) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        const double clamped = std::isnan(value) ? 0.0 : std::clamp(std::round(value), -2147483648.0, 2147483647.0);
        return QString::asprintf(format, static_cast<int>(clamped));
    }
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return QString::asprintf(format, value);
    case 0:
        return QString::fromUtf8(format).replace(QStringLiteral("%%"), QStringLiteral("%"));
    default:
        // A format that cannot take one number (%s, %c, two conversions, a
        // length modifier): show the number plainly rather than hand printf
        // an argument of the wrong type.
        return QString::number(value);
    }
}

int SliderScale::positions() const
{
    if (!(maximum > minimum))
        return 0;
    if (integral) {
        const double span = std::floor(maximum) - std::ceil(minimum);
        return static_cast<int>(std::clamp(span, 0.0, 2147483647.0));
    }
    return std::max(steps, 1);
}

int SliderScale::toPosition(double value) const
{
    const int last = positions();
    if (last == 0 || std::isnan(value))
        return 0;
    double position =
        integral ? std::round(value) - std::ceil(minimum) : (value - minimum) / (maximum - minimum) * last;
    return static_cast<int>(std::clamp(std::round(position), 0.0, static_cast<double>(last)));
}

double SliderScale::toValue(int position) const
{
    const int last = positions();
    if (last == 0)
        return minimum;
    position = std::clamp(position, 0, last);
    if (integral)
        return std::ceil(minimum) + position;
    if (position == last)
        return maximum;   // exact end points, free of rounding
    return minimum + (maximum - minimum) * position / last;
}

std::optional<int> codeForTitle(std::span<const CodeTitle> table, QStringView title)
{
    for (const auto &row : table)
        if (title == QLatin1String(row.title))
            return row.code;
    return std::nullopt;
}

std::optional<QString> titleForCode(std::span<const CodeTitle> table, int code)
{
    for (const auto &row : table)
        if (row.code == code)
            return QString::fromLatin1(row.title);
    return std::nullopt;
}

double stepperStepFor(double v)
{
    if (std::isnan(v) || std::fabs(v) <= 1)
        return 0.5;
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(v))));
}

}   // namespace tindrel
