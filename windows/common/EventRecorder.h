#pragma once

#include "ExampleWindow.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tindrel {

// Records every value event of a window to a CSV file. Events are queued on
// the main thread and written by a worker thread, each batch of whole lines
// with one write, so a program killed at any moment leaves a file of whole
// lines. Columns: time_s (the library's timestamp where the event has one,
// else the receive time), time_source ("library" or "received"),
// received_s, event, then the event's values.
class EventRecorder : public EventSink {
public:
    // Opens (truncates) path and writes the header. Null, with a message in
    // error, when the file cannot be written.
    static std::unique_ptr<EventRecorder> start(const QString &path, const ExampleWindow &window, QString &error);
    ~EventRecorder() override;   // writes what is queued, then closes

    void takeEvent(const EventSample &sample) override;

    const QString &path() const { return path_; }
    quint64 recorded() const { return taken_; }   // events taken in
    quint64 written() const;                      // lines on disk
    // The write failure, once there is one; lines queued before it stay
    // unwritten and later events are only counted.
    std::optional<QString> failure() const;
    quint64 notRecorded() const;   // events taken in after the failure
    // Waits until everything queued is written or has failed.
    void drain();

    // One line of the file (without its line end).
    static std::string line(const EventSample &sample, const std::string &eventName);

private:
    EventRecorder(QString path, int fd, std::vector<std::string> names);
    void run();

    const QString path_;
    const int fd_;
    const std::vector<std::string> names_;
    quint64 taken_ = 0;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::condition_variable idle_;
    std::deque<EventSample> queue_;    // guarded
    quint64 written_ = 0;              // guarded
    quint64 notRecorded_ = 0;          // guarded
    bool busy_ = false;                // guarded
    bool stop_ = false;                // guarded
    std::optional<QString> failure_;   // guarded
    std::thread worker_;
};

}   // namespace tindrel
