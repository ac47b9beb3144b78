#include "ManagerEvents.h"

#include <algorithm>
#include <vector>

#include "OpenChannel.h"

namespace tindrel::cli {

namespace {

// The managers that may still receive callbacks. A callback that starts
// while its manager is being closed finds it gone here and returns without
// touching it (closing does not wait for callbacks already under way).
std::mutex &liveLock()
{
    static std::mutex m;
    return m;
}
std::vector<ManagerEvents *> &live()
{
    static std::vector<ManagerEvents *> v;
    return v;
}

}   // namespace

ManagerEvents::ManagerEvents(Handler handler)
    : handler_(std::move(handler))
{ }

ManagerEvents::~ManagerEvents() { stop(); }

std::optional<Failure> ManagerEvents::open(bool remote)
{
    if (manager_)
        return std::nullopt;
    TindrelReturnCode rc = TindrelManager_create(&manager_);
    if (rc != TINDREL_OK) {
        manager_ = nullptr;
        return Failure{kExitRefused, "cannot make the device manager: " + libraryMessage(rc)};
    }
    {
        std::lock_guard<std::mutex> lk(liveLock());
        live().push_back(this);
    }
    rc = TindrelManager_setOnAttachHandler(manager_, &ManagerEvents::onAttach, this);
    if (rc == TINDREL_OK)
        rc = TindrelManager_setOnDetachHandler(manager_, &ManagerEvents::onDetach, this);
    if (rc == TINDREL_OK)
        rc = TindrelManager_open(manager_);
    if (rc != TINDREL_OK)
        return Failure{kExitRefused, "cannot open the device manager: " + libraryMessage(rc)};
    lastEvent_ = std::chrono::steady_clock::now();
    if (remote) {
        rc = TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
        if (rc != TINDREL_OK)
            return Failure{kExitRefused, "cannot look for network servers: " + libraryMessage(rc)};
    }
    return std::nullopt;
}

void ManagerEvents::onAttach(TindrelManagerHandle, void *ctx, TindrelHandle channel) { deliver(ctx, channel, true); }

void ManagerEvents::onDetach(TindrelManagerHandle, void *ctx, TindrelHandle channel) { deliver(ctx, channel, false); }

void ManagerEvents::deliver(void *ctx, TindrelHandle channel, bool attached)
{
    auto *self = static_cast<ManagerEvents *>(ctx);
    {
        std::lock_guard<std::mutex> lk(liveLock());
        if (std::find(live().begin(), live().end(), self) == live().end())
            return;
        std::lock_guard<std::mutex> own(self->m_);
        if (self->closing_)
            return;
        ++self->inFlight_;
    }
    self->handOff(channel, attached);
}

void ManagerEvents::handOff(TindrelHandle channel, bool attached)
{
    Work work{channel, attached};
    std::unique_lock<std::mutex> lk(m_);
    if (!closing_) {
        queue_.push_back(&work);
        cv_.notify_all();
        cv_.wait(lk, [&] { return work.done || closing_; });
        if (!work.done)
            queue_.erase(std::remove(queue_.begin(), queue_.end(), &work), queue_.end());
    }
    --inFlight_;
    cv_.notify_all();
}

void ManagerEvents::serve(std::chrono::steady_clock::time_point deadline, const std::function<bool()> &stopWhen)
{
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        if (stopWhen && stopWhen())
            return;
        if (!cv_.wait_until(lk, deadline, [&] { return !queue_.empty() || woken_ || closing_; }))
            return;
        woken_ = false;
        if (closing_)
            return;
        if (queue_.empty())
            continue;
        Work *work = queue_.front();
        queue_.pop_front();
        lk.unlock();
        // The waiting callback keeps the borrowed handle valid until done is
        // set: closing_ only changes in stop(), on this thread.
        if (handler_)
            handler_(work->channel, work->attached);
        lastEvent_ = std::chrono::steady_clock::now();
        lk.lock();
        work->done = true;
        cv_.notify_all();
    }
}

void ManagerEvents::wake()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        woken_ = true;
    }
    cv_.notify_all();
}

void ManagerEvents::stop()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        if (closing_)
            return;
        closing_ = true;
    }
    cv_.notify_all();
    if (manager_)
        TindrelManager_close(manager_);
    {
        std::lock_guard<std::mutex> lk(liveLock());
        live().erase(std::remove(live().begin(), live().end(), this), live().end());
    }
    {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait(lk, [&] { return inFlight_ == 0; });
    }
    if (manager_) {
        TindrelManager_delete(&manager_);
        manager_ = nullptr;
    }
}

}   // namespace tindrel::cli
