#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace tindrel::cli {

// A queue of at most `capacity` items between producer threads (library
// callbacks) and one consumer. push never blocks: when the queue is full the
// item is counted as dropped instead, so a slow consumer can never stall the
// library, and the loss is known.
template <class T>
class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity)
        : capacity_(capacity == 0 ? 1 : capacity)
    { }

    // False when the item was not queued: dropped (and counted) because the
    // queue is full, or refused because it is closed.
    bool push(T item)
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            if (closed_)
                return false;
            if (items_.size() >= capacity_) {
                ++dropped_;
                return false;
            }
            items_.push_back(std::move(item));
        }
        cv_.notify_one();
        return true;
    }

    // Waits until items are there, the queue is woken or closed, or the
    // deadline passes; then takes every queued item.
    std::vector<T> takeAll(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait_until(lk, deadline, [this] { return !items_.empty() || closed_ || woken_; });
        woken_ = false;
        std::vector<T> out;
        out.reserve(items_.size());
        for (T &item : items_)
            out.push_back(std::move(item));
        items_.clear();
        return out;
    }

    // Makes a waiting takeAll return (for a stop request).
    void wake()
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            woken_ = true;
        }
        cv_.notify_all();
    }

    // Later pushes are refused (the consumer has stopped; they are not losses).
    void close()
    {
        {
            std::lock_guard<std::mutex> lk(m_);
            closed_ = true;
        }
        cv_.notify_all();
    }

    uint64_t dropped() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return dropped_;
    }
    size_t capacity() const { return capacity_; }

private:
    const size_t capacity_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<T> items_;
    uint64_t dropped_ = 0;
    bool closed_ = false;
    bool woken_ = false;
};

}   // namespace tindrel::cli
