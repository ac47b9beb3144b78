// The desktop's light or dark setting on Linux: the desktop portal's
// org.freedesktop.appearance color-scheme over the session bus, followed
// through its SettingChanged signal; where no portal answers, the GNOME
// setting (gsettings), and last GTK_THEME's ":dark" variant.
#pragma once

#include "ColorScheme.h"

#include <memory>

namespace tindrel::platform::linux_impl {

class PortalColorScheme : public ColorSchemeSource {
public:
    PortalColorScheme();
    ~PortalColorScheme() override;
    PortalColorScheme(const PortalColorScheme &) = delete;
    PortalColorScheme &operator=(const PortalColorScheme &) = delete;

    // Nothing blocks: the portal is asked with an asynchronous call and
    // gsettings runs as a process the event loop watches.
    void follow(std::function<void(ColorScheme)> changed) override;
    ColorScheme current() const override;

    class Listener;

private:
    std::unique_ptr<Listener> listener_;
};

}   // namespace tindrel::platform::linux_impl
