// Whether the desktop asks for light or dark windows, and following its
// changes. The Linux implementation (linux/PortalColorScheme) asks the
// desktop portal and falls back to the GNOME setting and GTK_THEME; a fake
// in fakes/ is set by tests.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace tindrel::platform {

enum class ColorScheme { Light, Dark };

class ColorSchemeSource {
public:
    virtual ~ColorSchemeSource() = default;
    // Starts following the desktop: changed is called with the scheme once
    // it is known and again at every change, on the thread that called
    // follow (the GUI thread); never from within follow itself.
    virtual void follow(std::function<void(ColorScheme)> changed) = 0;
    // The scheme as last known (light until anything is known).
    virtual ColorScheme current() const = 0;
};

namespace color_scheme {

// The portal's value of org.freedesktop.appearance color-scheme:
// 1 prefers dark, 2 prefers light, 0 (or anything else) says nothing.
std::optional<ColorScheme> fromPortalValue(unsigned value);
// The output of `gsettings get org.gnome.desktop.interface color-scheme`:
// 'prefer-dark', 'prefer-light' or 'default' (which says nothing).
std::optional<ColorScheme> fromGnomeSetting(std::string_view output);
// A GTK_THEME value: dark when it names the theme's dark variant ("Adwaita:dark").
ColorScheme fromGtkTheme(std::string_view theme);

}   // namespace color_scheme

}   // namespace tindrel::platform
