// A desktop whose light or dark setting the test sets.
#pragma once

#include "ColorScheme.h"

#include <utility>

namespace tindrel::platform::fakes {

class FakeColorScheme : public ColorSchemeSource {
public:
    void follow(std::function<void(ColorScheme)> changed) override { changed_ = std::move(changed); }
    ColorScheme current() const override { return scheme_; }
    // As the desktop would: the follower hears of it when it differs.
    void set(ColorScheme scheme)
    {
        if (scheme == scheme_)
            return;
        scheme_ = scheme;
        if (changed_)
            changed_(scheme_);
    }
    bool followed() const { return static_cast<bool>(changed_); }

private:
    ColorScheme scheme_ = ColorScheme::Light;
    std::function<void(ColorScheme)> changed_;
};

}   // namespace tindrel::platform::fakes
