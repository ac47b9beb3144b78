// Opening a web page in the user's browser: the desktop's URL opener.
// Linux implementation in linux/, a fake in fakes/.
#pragma once

#include <string>

namespace tindrel::platform {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Hands url to the desktop without waiting for the browser; false when
    // it could not even be handed over.
    virtual bool openUrl(const std::string &url) = 0;
};

}   // namespace tindrel::platform
