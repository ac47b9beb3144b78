// Work off the main thread, and the way back to it.
//
// BackgroundQueue runs jobs one after another, in posting order, on its own
// thread. A job that has not started yet can be replaced by a newer one with
// the same key (the newer supersedes it), which keeps the queue bounded.
// Destroying the queue drops jobs not yet started and leaves a running job
// to finish on its own: jobs may block without bound (an authorization
// dialog), so nobody waits for them. Whatever a job uses must be owned by
// the job (shared pointers), not borrowed.
//
// MainThreadRelay hands results to a main-thread object through queued
// calls; after detach() nothing more is posted, and calls already posted die
// with the receiver.
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tindrel::server {

class MainThreadRelay {
public:
    explicit MainThreadRelay(QObject *receiver)
        : receiver_(receiver)
    { }
    void post(std::function<void()> call)
    {
        std::lock_guard lock(mutex_);
        if (receiver_)
            QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
    }
    void detach()
    {
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
    }

private:
    std::mutex mutex_;
    QObject *receiver_;
};

class BackgroundQueue {
public:
    static constexpr std::size_t kMaxPending = 64;

    BackgroundQueue()
        : state_(std::make_shared<State>())
    {
        std::thread([state = state_] { state->loop(); }).detach();
    }
    ~BackgroundQueue()
    {
        std::lock_guard lock(state_->mutex);
        state_->closed = true;
        state_->jobs.clear();
        state_->wake.notify_all();
    }
    BackgroundQueue(const BackgroundQueue &) = delete;
    BackgroundQueue &operator=(const BackgroundQueue &) = delete;

    // False when the queue is full (the job is not run).
    bool post(std::function<void()> job, std::string supersedeKey = {})
    {
        std::lock_guard lock(state_->mutex);
        if (!supersedeKey.empty()) {
            for (auto &pending : state_->jobs) {
                if (pending.key == supersedeKey) {
                    pending.run = std::move(job);
                    return true;
                }
            }
        }
        if (state_->jobs.size() >= kMaxPending)
            return false;
        state_->jobs.push_back({std::move(supersedeKey), std::move(job)});
        state_->wake.notify_all();
        return true;
    }
    // True while a job runs or waits.
    bool busy() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->running || !state_->jobs.empty();
    }

private:
    struct Job {
        std::string key;
        std::function<void()> run;
    };
    struct State {
        mutable std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        bool closed = false;
        bool running = false;
        void loop()
        {
            std::unique_lock lock(mutex);
            for (;;) {
                wake.wait(lock, [this] { return closed || !jobs.empty(); });
                if (closed)
                    return;
                Job job = std::move(jobs.front());
                jobs.pop_front();
                running = true;
                lock.unlock();
                job.run();
                job.run = nullptr;   // its captures go before the next job
                lock.lock();
                running = false;
            }
        }
    };
    std::shared_ptr<State> state_;
};

}   // namespace tindrel::server
