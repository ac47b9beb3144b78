#include "ColorScheme.h"

namespace tindrel::platform::color_scheme {

namespace {
std::string_view trimmed(std::string_view s)
{
    constexpr std::string_view space = " \t\r\n";
    const auto first = s.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}
}   // namespace

std::optional<ColorScheme> fromPortalValue(unsigned value)
{
    if (value == 1)
        return ColorScheme::Dark;
    if (value == 2)
        return ColorScheme::Light;
    return std::nullopt;
}

std::optional<ColorScheme> fromGnomeSetting(std::string_view output)
{
    std::string_view v = trimmed(output);
    if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'')
        v = v.substr(1, v.size() - 2);
    if (v == "prefer-dark")
        return ColorScheme::Dark;
    if (v == "prefer-light")
        return ColorScheme::Light;
    return std::nullopt;
}

ColorScheme fromGtkTheme(std::string_view theme)
{
    constexpr std::string_view dark = ":dark";
    theme = trimmed(theme);
    return theme.size() > dark.size() && theme.substr(theme.size() - dark.size()) == dark ? ColorScheme::Dark
                                                                                          : ColorScheme::Light;
}

}   // namespace tindrel::platform::color_scheme
