// tindrel watch: the value events of one channel as CSV or JSON lines.
//
// Library threads only copy each event's values and queue them (a bounded
// queue, so a slow output never stalls the library); the main thread writes
// them. A full queue drops the line and counts it; every line carries the
// number of the event among those the library delivered, so a drop shows as
// a gap, and the count is reported on standard error.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <variant>

#include "Arguments.h"
#include "BoundedQueue.h"
#include "ClassTable.h"
#include "Commands.h"
#include "EventFormat.h"
#include "Lookup.h"
#include "OpenChannel.h"
#include "Output.h"
#include "Signals.h"
#include "Values.h"

namespace tindrel::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr OptionSpec kOptions[] = {{"json", false},   {"csv", false},  {"interval", true},
                                   {"trigger", true}, {"count", true}, {"output", true},
                                   {"timeout", true}, {"queue", true}, {"no-header", false}};
constexpr size_t kDefaultQueue = 65536;

// Something for the writer besides event lines: the channel came or went, or
// the library reported an error event.
struct Note {
    enum Kind { Attached, Detached, Error } kind;
    std::string text;
};
using Item = std::variant<EventLine, Note>;

class Receiver : public EventReceiver {
public:
    Receiver(BoundedQueue<Item> &queue, uint64_t limit)
        : queue_(queue)
        , limit_(limit)
    { }

    void onEvent(EventValues &&values) override
    {
        const uint64_t seq = delivered_.fetch_add(1) + 1;
        if (limit_ && seq > limit_)
            return;
        const double t = std::chrono::duration<double>(Clock::now() - start_).count();
        if (!queue_.push(EventLine{seq, t, std::move(values)}))
            dropped_.fetch_add(1);
    }

    static void onAttach(TindrelHandle, void *ctx) { static_cast<Receiver *>(ctx)->note({Note::Attached, {}}); }
    static void onDetach(TindrelHandle, void *ctx) { static_cast<Receiver *>(ctx)->note({Note::Detached, {}}); }
    static void onError(TindrelHandle, void *ctx, int32_t code, const char *description)
    {
        char text[64];
        std::snprintf(text, sizeof text, "error event 0x%04x: ", static_cast<unsigned>(code));
        static_cast<Receiver *>(ctx)->note({Note::Error, text + std::string(description ? description : "")});
    }

    // Events the library delivered, up to the limit.
    uint64_t delivered() const
    {
        const uint64_t d = delivered_.load();
        return limit_ ? std::min(d, limit_) : d;
    }
    uint64_t dropped() const { return dropped_.load(); }

private:
    void note(Note n)
    {
        // A note that finds the queue full is lost like a line, but is no event.
        queue_.push(std::move(n));
    }

    BoundedQueue<Item> &queue_;
    const uint64_t limit_;
    const Clock::time_point start_ = Clock::now();
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> dropped_{0};
};

struct Setting {
    const PropertyInfo *property;
    Value value;
};

}   // namespace

int runWatch(Words words)
{
    std::string problem;
    auto args = parseArguments(words, kOptions, &problem);
    if (!args)
        return report(kExitUsage, "watch: " + problem);
    if (args->positional.empty())
        return report(kExitUsage, "usage: tindrel watch CLASS [ADDRESS FLAGS] [EVENT...] [--json] [--interval MS] "
                                  "[--trigger VALUE] [--count N] [--output FILE]");
    auto cls = findClass(args->positional[0]);
    if (!cls)
        return report(cls.error().status, cls.error().message);
    const ClassInfo &c = **cls;
    if (args->has("json") && args->has("csv"))
        return report(kExitUsage, "watch: choose --json or --csv, not both");

    std::vector<const EventInfo *> events;
    for (size_t i = 1; i < args->positional.size(); ++i) {
        auto e = findEvent(c, args->positional[i]);
        if (!e)
            return report(e.error().status, e.error().message);
        if (std::find(events.begin(), events.end(), *e) == events.end())
            events.push_back(*e);
    }
    if (events.empty())
        for (const EventInfo &e : c.events)
            events.push_back(&e);
    if (events.empty())
        return report(kExitUnknownName, c.libraryName() + " has no value events to watch");

    // Settings made at every attach (the channel starts afresh each time).
    std::vector<Setting> settings;
    if (const auto text = args->value("interval")) {
        const PropertyInfo *p = c.property("DataInterval");
        if (!p)
            return report(kExitBadValue, c.libraryName() + " has no data interval (--interval)");
        auto v = parseValue(*p, *text, &problem);
        if (!v)
            return report(kExitBadValue, "--interval: " + problem);
        settings.push_back({p, *v});
    }
    if (const auto text = args->value("trigger")) {
        size_t triggers = 0;
        for (const EventInfo *e : events) {
            const auto name = e->triggerProperty();
            const PropertyInfo *p = name ? c.property(*name) : nullptr;
            if (!p || std::any_of(settings.begin(), settings.end(), [&](const Setting &s) { return s.property == p; }))
                continue;
            auto v = parseValue(*p, *text, &problem);
            if (!v)
                return report(kExitBadValue, "--trigger: " + problem);
            settings.push_back({p, *v});
            ++triggers;
        }
        if (triggers == 0)
            return report(kExitBadValue,
                          "--trigger: none of the watched events of " + c.libraryName() + " has a change trigger");
    }
    long long count = 0, queueSize = static_cast<long long>(kDefaultQueue);
    if (auto f = numberOption(*args, "count", 1, INT64_MAX, &count))
        return report(f->status, f->message);
    if (auto f = numberOption(*args, "queue", 1, 10'000'000, &queueSize))
        return report(f->status, f->message);
    uint32_t timeout = kDefaultOpenTimeoutMs;
    if (auto f = timeoutOption(*args, &timeout))
        return report(f->status, f->message);

    int fd = STDOUT_FILENO;
    if (const auto path = args->value("output")) {
        fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return report(kExitFile, "cannot write " + *path + ": " + std::strerror(errno));
    }
    struct CloseFd {
        int fd;
        ~CloseFd()
        {
            if (fd != STDOUT_FILENO)
                ::close(fd);
        }
    } closeFd{fd};
    Output output(fd);

    const EventFormatter formatter(args->has("json") ? OutputFormat::Json : OutputFormat::Csv, events);
    BoundedQueue<Item> queue(static_cast<size_t>(queueSize));
    Receiver receiver(queue, static_cast<uint64_t>(count));
    std::atomic<bool> stop{false};
    StopSignals stopSignals([&] {
        stop = true;
        queue.wake();
    });
    SimulatorControl control;

    // Registrations, removed by the handle's tear-down (newest first) before
    // it closes; the subscriptions outlive the handle.
    std::deque<EventSubscription> subscriptions;
    ChannelHandle handle;
    if (auto f = createChannel(handle, c))
        return report(f->status, f->message);
    TindrelReturnCode rc =
        handle.setCommonHandlers(&Receiver::onAttach, &Receiver::onDetach, &Receiver::onError, &receiver);
    if (rc != TINDREL_OK)
        return report(kExitRefused, "cannot register the attach, detach and error handlers: " + libraryMessage(rc));
    for (const EventInfo *e : events) {
        subscriptions.push_back({e, &receiver});
        rc = e->subscribe(handle.get(), &subscriptions.back());
        if (rc != TINDREL_OK)
            return report(kExitRefused, std::string("cannot register for ") + e->name + ": " + libraryMessage(rc));
        handle.addRemover([e](TindrelHandle h) { e->subscribe(h, nullptr); });
    }
    if (auto f = openChannel(handle, c, args->address().settings, timeout))
        return report(f->status, f->message);

    std::optional<Failure> settingFailed;
    uint64_t written = 0, reportedDrops = 0;
    bool attachedOnce = false, outputGone = false, outputFailed = false;
    // Lines taken from the queue but not yet out. While some are pending
    // nothing more is taken, so the queue alone bounds what is held.
    std::string pending = args->has("no-header") ? std::string() : formatter.header();
    size_t headerBytes = pending.size();
    auto writeFor = [&](int waitMs) {
        if (outputGone || pending.empty())
            return;
        size_t sent = 0;
        const Output::Result r = output.write(pending, waitMs, &sent);
        const size_t skipped = std::min(sent, headerBytes);
        written += static_cast<uint64_t>(
            std::count(pending.begin() + static_cast<long>(skipped), pending.begin() + static_cast<long>(sent), '\n'));
        headerBytes -= skipped;
        pending.erase(0, sent);
        if (r == Output::Result::Closed || r == Output::Result::Failed) {
            outputGone = true;
            outputFailed = r == Output::Result::Failed;
        }
    };

    auto take = [&](std::vector<Item> &items) {
        for (Item &item : items) {
            if (auto *line = std::get_if<EventLine>(&item)) {
                pending += formatter.line(*line);
                continue;
            }
            const Note &n = std::get<Note>(item);
            if (n.kind == Note::Attached) {
                // Values start afresh at every attach: set what was asked again.
                for (const Setting &s : handle ? settings : std::vector<Setting>{}) {
                    const TindrelReturnCode src = s.property->set(handle.get(), s.value);
                    // Watching with other settings than asked would mislead: stop.
                    if (src != TINDREL_OK && !settingFailed) {
                        settingFailed =
                            Failure{kExitRefused, std::string("setting ") + s.property->name + " to " +
                                                      formatValue(s.value) + " failed: " + libraryMessage(src)};
                        stop = true;
                    }
                }
                if (attachedOnce)
                    report(kExitOk, "the channel is back");
                attachedOnce = true;
            } else if (n.kind == Note::Detached) {
                report(kExitOk, "the channel detached; waiting for it to come back");
            } else {
                report(kExitOk, n.text);
            }
        }
    };

    const auto limit = static_cast<uint64_t>(count);
    while (!stop && !outputGone) {
        if (pending.empty()) {
            std::vector<Item> items = queue.takeAll(Clock::now() + std::chrono::milliseconds(200));
            take(items);
        }
        writeFor(200);
        if (const uint64_t d = receiver.dropped(); d > reportedDrops) {
            report(kExitOk, std::to_string(d) + " lines dropped so far: the output is slower than the events");
            reportedDrops = d;
        }
        if (limit && receiver.delivered() >= limit && pending.empty() && written + receiver.dropped() >= limit)
            break;
    }
    // No callback runs once the handle is torn down; then what is queued
    // goes out, unless the output stays stalled for a second.
    handle.reset();
    queue.close();
    std::vector<Item> rest = queue.takeAll(Clock::now());
    take(rest);
    writeFor(1000);

    const uint64_t delivered = receiver.delivered();
    const uint64_t lost = delivered > written ? delivered - written : 0;
    std::fprintf(stderr, "tindrel: watch ended: %llu events, %llu lines written, %llu dropped\n",
                 static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(written),
                 static_cast<unsigned long long>(lost));
    if (settingFailed)
        return report(settingFailed->status, settingFailed->message);
    if (outputFailed)
        return report(kExitFile, std::string("writing the output failed: ") + std::strerror(errno));
    if (outputGone && !stop)
        return kExitOk;   // the reader went away (a pipe into head): nothing more to say
    return lost > 0 ? kExitDropped : kExitOk;
}

}   // namespace tindrel::cli
