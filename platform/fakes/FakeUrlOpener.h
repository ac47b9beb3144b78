// Keeps the URLs it is asked to open.
#pragma once

#include "UrlOpener.h"

#include <mutex>
#include <string>
#include <vector>

namespace tindrel::platform::fakes {

class FakeUrlOpener : public UrlOpener {
public:
    bool openUrl(const std::string &url) override
    {
        std::lock_guard lock(mutex_);
        opened_.push_back(url);
        return accepts;
    }
    std::vector<std::string> opened() const
    {
        std::lock_guard lock(mutex_);
        return opened_;
    }
    bool accepts = true;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}   // namespace tindrel::platform::fakes
