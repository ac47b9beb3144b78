// The desktop's URL opener on Linux: xdg-open, found on the PATH.
#pragma once

#include "UrlOpener.h"

#include <string>

namespace tindrel::platform::linux_impl {

// Starts the opener program with the URL as its only argument and reaps it
// on a thread of its own, so that a slow browser start holds nobody up.
class XdgUrlOpener : public UrlOpener {
public:
    explicit XdgUrlOpener(std::string program = "xdg-open")
        : program_(std::move(program))
    { }
    bool openUrl(const std::string &url) override;

private:
    std::string program_;
};

}   // namespace tindrel::platform::linux_impl
