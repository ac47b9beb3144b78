// The generated class table against the simulated library in this process:
// typed getters and setters, and event handlers that copy each shape of
// event values out. Also the writer that never blocks for long.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ClassTable.h"
#include "OpenChannel.h"
#include "Output.h"

using namespace tindrel::cli;

namespace {

// Collects event values handed over on the library's thread.
class Collector : public EventReceiver {
public:
    void onEvent(EventValues &&v) override
    {
        std::lock_guard<std::mutex> lk(m_);
        got_.push_back(std::move(v));
        cv_.notify_all();
    }
    // Waits (generously) for n events.
    std::vector<EventValues> wait(size_t n)
    {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait_for(lk, std::chrono::seconds(30), [&] { return got_.size() >= n; });
        return got_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<EventValues> got_;
};

struct Opened {
    tindrel::ChannelHandle handle;
    const ClassInfo *cls = nullptr;
};

void open(Opened &o, const char *cls, int serial, int channel = 0, int hubPort = 0)
{
    o.cls = classByName(cls);
    ASSERT_NE(o.cls, nullptr);
    ASSERT_FALSE(createChannel(o.handle, *o.cls));
    tindrel::OpenSettings a;
    a.serialNumber = serial;
    a.channel = channel;
    a.hubPort = hubPort;
    const auto f = openChannel(o.handle, *o.cls, a, 10000);
    ASSERT_FALSE(f) << f->message;
}

std::vector<EventValues> watch(Opened &o, const char *event, size_t n)
{
    const EventInfo *e = o.cls->event(event);
    EXPECT_NE(e, nullptr);
    Collector c;
    EventSubscription sub{e, &c};
    EXPECT_EQ(e->subscribe(o.handle.get(), &sub), TINDREL_OK);
    auto got = c.wait(n);
    EXPECT_EQ(e->subscribe(o.handle.get(), nullptr), TINDREL_OK);
    EXPECT_GE(got.size(), n) << event;
    return got;
}

}   // namespace

TEST(LibraryTest, typedSettersAndGettersReachTheChannel)
{
    Opened o;
    open(o, "VoltageInput", 300509);
    const PropertyInfo *interval = o.cls->property("DataInterval");
    EXPECT_EQ(interval->set(o.handle.get(), Value(uint64_t{100})), TINDREL_OK);
    Value v;
    EXPECT_EQ(interval->get(o.handle.get(), v), TINDREL_OK);
    EXPECT_EQ(v, Value(uint64_t{100}));
    EXPECT_EQ(interval->getMin(o.handle.get(), v), TINDREL_OK);
    EXPECT_EQ(v, Value(uint64_t{1}));
    EXPECT_EQ(interval->set(o.handle.get(), Value(uint64_t{0})), TINDREL_EINVALIDARG);
    EXPECT_FALSE(libraryMessage(TINDREL_EINVALIDARG).empty());
}

TEST(LibraryTest, eventValuesOfEveryShapeAreCopiedOut)
{
    Opened spatial;
    open(spatial, "Spatial", 300517);
    for (const EventValues &ev : watch(spatial, "SpatialData", 3)) {
        ASSERT_EQ(ev.fields.size(), 4u);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(std::get<std::vector<double>>(ev.fields[i]).size(), 3u);
        EXPECT_TRUE(std::holds_alternative<double>(ev.fields[3]));
    }
    Opened counter;
    open(counter, "FrequencyCounter", 561302, 0, 0);
    for (const EventValues &ev : watch(counter, "CountChange", 2)) {
        ASSERT_EQ(ev.fields.size(), 2u);
        EXPECT_TRUE(std::holds_alternative<uint64_t>(ev.fields[0]));
        EXPECT_GT(std::get<double>(ev.fields[1]), 0.0);
    }
    Opened input;
    open(input, "VoltageInput", 300509);
    const auto got = watch(input, "VoltageChange", 2);
    EXPECT_EQ(got.front().event->name, std::string("VoltageChange"));
    EXPECT_TRUE(std::holds_alternative<double>(got.front().fields.at(0)));
}
