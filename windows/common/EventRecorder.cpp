#include "EventRecorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tindrel {

namespace {

// Writes all of text; false with errno set on failure.
bool writeAll(int fd, const std::string &text)
{
    const char *p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::string csvField(const std::string &s)
{
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}   // namespace

std::unique_ptr<EventRecorder> EventRecorder::start(const QString &path, const ExampleWindow &window, QString &error)
{
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = QStringLiteral("Cannot record to %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    std::vector<std::string> names;
    std::size_t width = 0;
    for (const auto &stream : window.streams()) {
        std::string name = stream->name().toStdString();
        if (!stream->fields().empty() && !stream->fields().front().unit.isEmpty())
            name += " (" + stream->fields().front().unit.toStdString() + ")";
        names.push_back(std::move(name));
        width = std::max(width, stream->fields().size());
    }
    std::string header = "time_s,time_source,received_s,event";
    for (std::size_t i = 1; i <= width; ++i)
        header += ",value_" + std::to_string(i);
    header += "\n";
    if (!writeAll(fd, header)) {
        error = QStringLiteral("Cannot record to %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<EventRecorder>(new EventRecorder(path, fd, std::move(names)));
}

EventRecorder::EventRecorder(QString path, int fd, std::vector<std::string> names)
    : path_(std::move(path))
    , fd_(fd)
    , names_(std::move(names))
    , worker_([this] { run(); })
{ }

EventRecorder::~EventRecorder()
{
    {
        const std::lock_guard lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    worker_.join();
    ::close(fd_);
}

void EventRecorder::takeEvent(const EventSample &sample)
{
    ++taken_;
    {
        const std::lock_guard lock(m_);
        // After a failed write nothing more reaches the file: later events
        // are counted, not queued, so memory stays bounded until the user
        // stops the recording.
        if (failure_) {
            ++notRecorded_;
            return;
        }
        queue_.push_back(sample);
    }
    cv_.notify_one();
}

quint64 EventRecorder::written() const
{
    const std::lock_guard lock(m_);
    return written_;
}

std::optional<QString> EventRecorder::failure() const
{
    const std::lock_guard lock(m_);
    return failure_;
}

quint64 EventRecorder::notRecorded() const
{
    const std::lock_guard lock(m_);
    return notRecorded_;
}

void EventRecorder::drain()
{
    std::unique_lock lock(m_);
    idle_.wait(lock, [this] { return (queue_.empty() || failure_) && !busy_; });
}

std::string EventRecorder::line(const EventSample &sample, const std::string &eventName)
{
    char buf[64];
    std::string out;
    const bool library = sample.timestampMs.has_value();
    std::snprintf(buf, sizeof buf, "%.6f", library ? *sample.timestampMs / 1000.0 : sample.receivedAt);
    out += buf;
    out += library ? ",library," : ",received,";
    std::snprintf(buf, sizeof buf, "%.6f", sample.receivedAt);
    out += buf;
    out += ',';
    out += csvField(eventName);
    for (std::size_t i = 0; i < sample.count; ++i) {
        const double v = sample.values[i];
        if (v == TINDREL_UNKNOWN_VALUE)
            std::snprintf(buf, sizeof buf, ",");
        else
            std::snprintf(buf, sizeof buf, ",%.9g", v);
        out += buf;
    }
    return out;
}

void EventRecorder::run()
{
    std::deque<EventSample> batch;
    std::string text;
    for (;;) {
        {
            std::unique_lock lock(m_);
            busy_ = false;
            idle_.notify_all();
            cv_.wait(lock, [this] { return stop_ || (!queue_.empty() && !failure_); });
            if (failure_ || queue_.empty())
                return;   // stopping with nothing (more) to write
            batch.swap(queue_);
            busy_ = true;
        }
        text.clear();
        for (const EventSample &s : batch) {
            const std::size_t index = static_cast<std::size_t>(s.stream);
            text += line(s, index < names_.size() ? names_[index] : std::string("?"));
            text += '\n';
        }
        // One write of whole lines per batch; a write that fails part-way is
        // cut back, so the file never ends mid-line.
        const off_t before = ::lseek(fd_, 0, SEEK_CUR);
        const bool ok = writeAll(fd_, text);
        const int err = errno;
        if (!ok && before >= 0) {
            [[maybe_unused]] const int cut = ::ftruncate(fd_, before);
            ::lseek(fd_, before, SEEK_SET);
        }
        const std::lock_guard lock(m_);
        if (ok) {
            written_ += batch.size();
            batch.clear();
        } else {
            failure_ = QStringLiteral("Recording to %1 stopped: %2 (%3 events written, %4 not written; "
                                      "later events are not recorded)")
                           .arg(path_, QString::fromLocal8Bit(std::strerror(err)))
                           .arg(written_)
                           .arg(batch.size() + queue_.size());
            // The unwritten events stay in the queue, in order.
            for (auto it = batch.rbegin(); it != batch.rend(); ++it)
                queue_.push_front(*it);
            batch.clear();
        }
    }
}

}   // namespace tindrel
