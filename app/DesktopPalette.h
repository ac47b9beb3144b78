#pragma once

#include "ColorScheme.h"

#include <QPalette>

namespace tindrel {

// The palettes the panel shows in: the Fusion style's light palette, and a
// dark one of the same roles.
QPalette lightPalette();
QPalette darkPalette();

// Keeps the application's palette light or dark as the desktop asks, from
// the start and at every change; windows already open follow, since they
// take the application's palette. Main thread only.
class DesktopPalette {
public:
    explicit DesktopPalette(platform::ColorSchemeSource &source);
    DesktopPalette(const DesktopPalette &) = delete;
    DesktopPalette &operator=(const DesktopPalette &) = delete;

    platform::ColorScheme shown() const { return shown_; }

private:
    void show(platform::ColorScheme scheme);
    platform::ColorScheme shown_;
};

}   // namespace tindrel
