// Library threads that deliver queued events, and handle reference counts.
#include "sim_internal.h"

void CallbackGate::waitIdle(std::unique_lock<std::mutex> &lk)
{
    // A removal made from inside one of the gate's own callbacks must not wait
    // for itself: only other threads' calls count.
    const auto self = std::this_thread::get_id();
    cv.wait(lk, [&] {
        for (auto id : running)
            if (id != self)
                return false;
        return true;
    });
}

namespace tsim {

Dispatcher::Dispatcher()
    : thread_([this] { run(); })
{ }

Dispatcher::~Dispatcher()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void Dispatcher::post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lk(m_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_one();
}

void Dispatcher::run()
{
    std::vector<std::function<void()>> work;
    for (;;) {
        {
            std::unique_lock<std::mutex> lk(m_);
            cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            work.swap(queue_);
        }
        for (auto &fn : work)
            fn();
        work.clear();
    }
}

void retainHandle(_Tindrel *h) { h->refs.fetch_add(1, std::memory_order_relaxed); }

void releaseHandle(_Tindrel *h)
{
    if (h && h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        releaseHandle(h->parentHandle);
        releaseHandle(h->hubHandle);
        for (auto *o : h->oldRelatives)
            releaseHandle(o);
        delete h;
    }
}

void retainManager(_TindrelManager *m) { m->refs.fetch_add(1, std::memory_order_relaxed); }

void releaseManager(_TindrelManager *m)
{
    if (m && m->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete m;
}

}   // namespace tsim
