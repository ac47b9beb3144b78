#pragma once

#include <tindrel22_core.h>

#include <functional>
#include <vector>

namespace tindrel {

// Owns one channel handle and the callbacks registered on it. Tear-down
// (reset or destruction) removes the value handlers, then the attach, detach
// and error handlers, closes the channel, deletes the handle and forgets it;
// once it returns no callback of this handle is running or will run. A second
// tear-down does nothing.
class ChannelHandle {
public:
    using CreateFn = TindrelReturnCode (*)(TindrelHandle *);
    using DeleteFn = TindrelReturnCode (*)(TindrelHandle *);
    struct Ops {
        CreateFn create;
        DeleteFn destroy;
    };

    // Create and delete calls of one channel class, seen through TindrelHandle.
    template <class H, TindrelReturnCode (*Create)(H *), TindrelReturnCode (*Delete)(H *)>
    static constexpr Ops opsFor()
    {
        return Ops{
            [](TindrelHandle *out) {
                H typed = nullptr;
                const TindrelReturnCode rc = Create(&typed);
                *out = reinterpret_cast<TindrelHandle>(typed);
                return rc;
            },
            [](TindrelHandle *h) {
                H typed = reinterpret_cast<H>(*h);
                const TindrelReturnCode rc = Delete(&typed);
                *h = nullptr;
                return rc;
            },
        };
    }

    ChannelHandle() = default;
    ~ChannelHandle() { reset(); }
    ChannelHandle(const ChannelHandle &) = delete;
    ChannelHandle &operator=(const ChannelHandle &) = delete;

    // Creates the handle (a previous one is torn down first).
    TindrelReturnCode create(Ops ops);
    // The same for a class given by its number.
    TindrelReturnCode createOfClass(Tindrel_ChannelClass channelClass);

    // Registers the attach, detach and error handlers in that order, stopping
    // at the first failure, whose code is returned.
    TindrelReturnCode setCommonHandlers(Tindrel_OnAttachCallback attach, Tindrel_OnDetachCallback detach,
                                        Tindrel_OnErrorCallback error, void *ctx);

    // A call that removes one value handler; run at tear-down, newest first,
    // before the common handlers are removed.
    void addRemover(std::function<void(TindrelHandle)> remover);

    void reset();

    TindrelHandle get() const { return handle_; }
    template <class H>
    H as() const
    {
        return reinterpret_cast<H>(handle_);
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    TindrelHandle handle_ = nullptr;
    DeleteFn destroy_ = nullptr;
    bool commonHandlers_ = false;
    std::vector<std::function<void(TindrelHandle)>> removers_;
};

}   // namespace tindrel
