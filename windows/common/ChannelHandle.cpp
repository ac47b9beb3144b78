#include "ChannelHandle.h"

namespace tindrel {

TindrelReturnCode ChannelHandle::create(Ops ops)
{
    reset();
    TindrelHandle h = nullptr;
    const TindrelReturnCode rc = ops.create(&h);
    if (rc != TINDREL_OK || h == nullptr)
        return rc != TINDREL_OK ? rc : TINDREL_EUNEXPECTED;
    handle_ = h;
    destroy_ = ops.destroy;
    return TINDREL_OK;
}

TindrelReturnCode ChannelHandle::createOfClass(Tindrel_ChannelClass channelClass)
{
    reset();
    TindrelHandle h = nullptr;
    const TindrelReturnCode rc = createTypedTindrelChannelHandle(&h, channelClass);
    if (rc != TINDREL_OK || h == nullptr)
        return rc != TINDREL_OK ? rc : TINDREL_EUNEXPECTED;
    handle_ = h;
    destroy_ = &Tindrel_delete;
    return TINDREL_OK;
}

TindrelReturnCode ChannelHandle::setCommonHandlers(Tindrel_OnAttachCallback attach, Tindrel_OnDetachCallback detach,
                                                   Tindrel_OnErrorCallback error, void *ctx)
{
    if (!handle_)
        return TINDREL_EFAULT;
    // Marked before the calls: tear-down removes all three even when a later
    // registration fails, which is harmless for the ones never set.
    commonHandlers_ = true;
    TindrelReturnCode rc = Tindrel_setOnAttachHandler(handle_, attach, ctx);
    if (rc == TINDREL_OK)
        rc = Tindrel_setOnDetachHandler(handle_, detach, ctx);
    if (rc == TINDREL_OK)
        rc = Tindrel_setOnErrorHandler(handle_, error, ctx);
    return rc;
}

void ChannelHandle::addRemover(std::function<void(TindrelHandle)> remover) { removers_.push_back(std::move(remover)); }

void ChannelHandle::reset()
{
    if (!handle_)
        return;
    for (auto it = removers_.rbegin(); it != removers_.rend(); ++it)
        (*it)(handle_);
    removers_.clear();
    if (commonHandlers_) {
        Tindrel_setOnAttachHandler(handle_, nullptr, nullptr);
        Tindrel_setOnDetachHandler(handle_, nullptr, nullptr);
        Tindrel_setOnErrorHandler(handle_, nullptr, nullptr);
        commonHandlers_ = false;
    }
    Tindrel_close(handle_);
    if (destroy_)
        destroy_(&handle_);
    handle_ = nullptr;
    destroy_ = nullptr;
}

}   // namespace tindrel
