#pragma once

#include "tindrel22_core.h"

namespace tindrel {

// Holds a library reference on a borrowed handle for as long as it lives.
class RetainedHandle {
public:
    explicit RetainedHandle(TindrelHandle h)
        : handle_(h)
    {
        if (handle_ && Tindrel_retain(handle_) != TINDREL_OK)
            handle_ = nullptr;
    }
    ~RetainedHandle()
    {
        if (handle_)
            Tindrel_release(&handle_);
    }
    RetainedHandle(const RetainedHandle &) = delete;
    RetainedHandle &operator=(const RetainedHandle &) = delete;

    TindrelHandle get() const { return handle_; }

private:
    TindrelHandle handle_;
};

}   // namespace tindrel
