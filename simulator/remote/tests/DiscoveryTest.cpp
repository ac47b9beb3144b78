// Publishing and browsing through the record directory, the record file's
// reader, and, where a private mDNS responder can be started, Avahi.
#include "discovery.h"
#include "discovery_record.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>
#include <variant>

extern char **environ;

namespace {

namespace fs = std::filesystem;
namespace remote = tsim::remote;
using remote::BrowseHandlers;
using remote::Browsing;
using remote::formatRecordFile;
using remote::kMaxRecordFileBytes;
using remote::makeAvahiDiscovery;
using remote::makeDirectoryDiscovery;
using remote::makeDiscovery;
using remote::parseRecordFile;
using remote::Publication;
using remote::RecordFile;
using remote::recordFileName;
using remote::ServiceRecord;
using namespace std::chrono_literals;

constexpr auto kDeadline = 10s;

// What a browsing's handlers were told, in order.
class Events {
public:
    BrowseHandlers handlers()
    {
        return {[this](const ServiceRecord &r) { add(r); }, [this](const std::string &name) { add(name); }};
    }
    // The record found last for the name, once found() told it.
    std::optional<ServiceRecord> waitFound(const std::string &name,
                                           const std::function<bool(const ServiceRecord &)> &ok = {})
    {
        std::optional<ServiceRecord> result;
        waitUntil([&] {
            for (auto it = events_.rbegin(); it != events_.rend(); ++it)
                if (const auto *r = std::get_if<ServiceRecord>(&*it); r && r->name == name && (!ok || ok(*r))) {
                    result = *r;
                    return true;
                }
            return false;
        });
        return result;
    }
    bool waitLost(const std::string &name)
    {
        return waitUntil([&] {
            for (const auto &e : events_)
                if (const auto *n = std::get_if<std::string>(&e); n && *n == name)
                    return true;
            return false;
        });
    }
    std::vector<std::string> foundNames()
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> names;
        for (const auto &e : events_)
            if (const auto *r = std::get_if<ServiceRecord>(&e))
                names.push_back(r->name);
        return names;
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex_);
        return events_.size();
    }

    std::function<void()> onEvent;   // runs on the handler thread, after recording

private:
    void add(std::variant<ServiceRecord, std::string> e)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
        }
        changed_.notify_all();
        if (onEvent)
            onEvent();
    }
    bool waitUntil(const std::function<bool()> &done)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kDeadline, done);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::variant<ServiceRecord, std::string>> events_;
};

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "tindrel-discovery-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string &path() const { return path_; }
    void write(const std::string &name, const std::string &content) const
    {
        std::ofstream(path_ + "/" + name) << content;
    }

private:
    std::string path_;
};

// A process that waits to be killed, for records of a live, then dead, publisher.
class Sleeper {
public:
    Sleeper()
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (;;)
                ::pause();
        }
    }
    ~Sleeper() { stop(); }
    pid_t pid() const { return pid_; }
    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
};

ServiceRecord benchRecord(const std::string &name = "Bench A", int port = 4711)
{
    return {name, "", "", port, {{"serial", "TS 2201-0042"}, {"model", "hub%7"}, {"empty", ""}}};
}

std::string hostName()
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value)
        : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char *name_;
    std::optional<std::string> old_;
};

// The private system bus of this test process. One path for every test:
// the D-Bus library reads the bus address once per process.
std::string privateBusPath()
{
    return (fs::temp_directory_path() / ("tindrel-discovery-bus-" + std::to_string(::getpid()))).string();
}

// ---- a private mDNS responder ----

class Child {
public:
    Child() = default;
    Child(const std::vector<std::string> &argv, const std::string &log)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(Child &&other) noexcept
        : pid_(std::exchange(other.pid_, -1))
    { }
    Child &operator=(Child &&other) noexcept
    {
        std::swap(pid_, other.pid_);
        return *this;
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running()
    {
        if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) != 0)
            pid_ = -1;
        return pid_ > 0;
    }
    int wait()
    {
        int status = -1;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return status;
    }

private:
    pid_t pid_ = -1;
};

bool onPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::stringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/sbin");
    for (std::string d; std::getline(dirs, d, ':');)
        if (!d.empty() && ::access((d + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A system bus and an avahi-daemon of the test's own: the daemon lives in a
// network namespace whose loopback carries multicast, and in a mount
// namespace where its run folder is private, so that it meets no other.
class Discovery : public ::testing::Test {
protected:
    // Skips the test where no private responder can be had here.
    void startResponder()
    {
        for (const char *program : {"dbus-daemon", "avahi-daemon", "unshare", "ip", "mount"})
            if (!onPath(program))
                GTEST_SKIP() << program << " is not installed (packages dbus, avahi-daemon, util-linux, iproute2)";
        if (::geteuid() != 0)
            GTEST_SKIP() << "starting a private avahi-daemon in its own network namespace needs root";
        const std::string log = dir_.path() + "/log";
        if (Child({"unshare", "--net", "--mount", "true"}, log).wait() != 0)
            GTEST_SKIP() << "cannot make a private network and mount namespace (unshare --net --mount): " << slurp(log);

        const std::string bus = privateBusPath();
        fs::remove(bus);
        dir_.write("bus.conf", "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                               "<busconfig><type>system</type><listen>unix:path=" +
                                   bus +
                                   "</listen><auth>EXTERNAL</auth>"
                                   "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                                   "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy>"
                                   "<includedir>/usr/share/dbus-1/system.d</includedir>"
                                   "<includedir>/etc/dbus-1/system.d</includedir></busconfig>\n");
        dir_.write("avahi.conf", "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
                                 "ratelimit-interval-usec=1000000\nratelimit-burst=1000\n"
                                 "[wide-area]\nenable-wide-area=no\n"
                                 "[publish]\npublish-hinfo=no\npublish-workstation=no\n");
        busDaemon_ = Child({"dbus-daemon", "--config-file=" + dir_.path() + "/bus.conf", "--nofork", "--nopidfile"},
                           dir_.path() + "/dbus.log");
        busEnv_.emplace("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + bus).c_str());
        // The responder gives up at once when the bus is not there yet.
        const auto busDeadline = std::chrono::steady_clock::now() + kDeadline;
        while (!fs::exists(bus) && busDaemon_.running() && std::chrono::steady_clock::now() < busDeadline)
            std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::exists(bus)) << "dbus-daemon: " << slurp(dir_.path() + "/dbus.log");
        responder_ = Child({"unshare", "--net", "--mount", "sh", "-c",
                            "ip link set lo up multicast on && mkdir -p /run/avahi-daemon && "
                            "mount -t tmpfs tmpfs /run/avahi-daemon && "
                            "exec avahi-daemon --file=\"$0\" --no-drop-root --no-chroot --no-rlimits",
                            dir_.path() + "/avahi.conf"},
                           dir_.path() + "/avahi.log");
        // Up once a client gets through to it.
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        std::string err;
        while (!(discovery_ = makeAvahiDiscovery(err)) && std::chrono::steady_clock::now() < deadline &&
               responder_.running())
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(discovery_) << err << "\ndbus-daemon: " << slurp(dir_.path() + "/dbus.log")
                                << "\navahi-daemon: " << slurp(dir_.path() + "/avahi.log");
        EXPECT_EQ(discovery_->describe(), "mDNS (Avahi)");
    }
    void TearDown() override
    {
        if (!busEnv_)
            return;
        discovery_.reset();
        responder_ = Child();
        busDaemon_ = Child();
        fs::remove(privateBusPath());
    }

    std::unique_ptr<Publication> publish(const ServiceRecord &record)
    {
        std::string err;
        auto publication = discovery_->publish(record, err);
        EXPECT_TRUE(publication) << err << "\navahi-daemon: " << slurp(dir_.path() + "/avahi.log");
        return publication;
    }

    TempDir dir_;
    Child busDaemon_, responder_;
    std::optional<ScopedEnv> busEnv_;
    std::unique_ptr<remote::Discovery> discovery_;
};

// ---- the record file ----

TEST_F(Discovery, RecordFileReadsBackWhatWasWritten)
{
    const RecordFile file{{"Bench A \xc3\xa9 100%", "lab pc", "fe80::1%eth0", 65535, {{"k y", "v=1 %41"}, {"e", ""}}},
                          4242};
    const std::string text = formatRecordFile(file);
    std::string err;
    const auto back = parseRecordFile(text, err);
    ASSERT_TRUE(back) << err;
    EXPECT_EQ(*back, file);
    // One file name per publish name, never hidden, never a path.
    EXPECT_EQ(recordFileName("Bench A"), "Bench%20A.server");
    EXPECT_NE(recordFileName("a b"), recordFileName("a_b"));
    EXPECT_EQ(recordFileName("../x"), "%2E%2E%2Fx.server");
    // Lines from a newer publisher are passed over.
    EXPECT_TRUE(parseRecordFile(text + "colour blue\n", err)) << err;
}

TEST_F(Discovery, RecordFileRefusesMalformed)
{
    const std::string good = formatRecordFile({benchRecord(), 99});
    const auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<std::string, std::string> bad[] = {
        {"", "whole line"},
        {good.substr(0, good.size() - 1), "whole line"},
        {replaced("tindrel22-server 1", "tindrel22-server 2"), "not a server record"},
        {replaced("port 4711", "port 0"), "port"},
        {replaced("port 4711", "port 65536"), "port"},
        {replaced("port 4711", "port +4711"), "port"},
        {replaced("pid 99", "pid -1"), "pid"},
        {replaced("pid 99", "pid 099"), "pid"},
        {replaced("pid 99", "pid 99999999999"), "pid"},
        {replaced("pid 99\n", ""), "no \"pid\""},
        {good + "name Other\n", "twice"},
        {replaced("name Bench%20A", "name Bench A"), "escaped"},
        {replaced("name Bench%20A", "name Bench%2"), "escaped"},
        {replaced("name Bench%20A", "name %00"), "control"},
        {replaced("name Bench%20A", "name "), "empty"},
        {replaced("txt empty ", "txt em%3Dpty x"), "'='"},
        {replaced("txt empty ", "txt empty"), "txt key value"},
        {replaced("host ", "host\tx"), "key value"},
        {good + "txt pad " + std::string(kMaxRecordFileBytes, 'x') + "\n", "larger than"},
    };
    for (const auto &[text, why] : bad) {
        std::string err;
        EXPECT_FALSE(parseRecordFile(text, err)) << text;
        EXPECT_NE(err.find(why), std::string::npos) << "for:\n" << text << "said: " << err;
    }
}

TEST_F(Discovery, DirectoryPublishFoundThenWithdrawnLost)
{
    TempDir dir;
    auto discovery = makeDirectoryDiscovery(dir.path() + "/made/here");
    EXPECT_EQ(discovery->describe(), "directory " + dir.path() + "/made/here");
    Events events;
    std::string err;
    auto browsing = discovery->browse(events.handlers(), err);
    ASSERT_TRUE(browsing) << err;

    auto publication = discovery->publish(benchRecord("Bench A/\xc3\xa9"), err);
    ASSERT_TRUE(publication) << err;
    const fs::path file = dir.path() + "/made/here/" + recordFileName("Bench A/\xc3\xa9");
    EXPECT_TRUE(fs::is_regular_file(file));

    const auto found = events.waitFound("Bench A/\xc3\xa9");
    ASSERT_TRUE(found);
    ServiceRecord expected = benchRecord("Bench A/\xc3\xa9");
    expected.host = hostName();
    expected.address = "127.0.0.1";
    EXPECT_EQ(*found, expected);

    publication.reset();
    EXPECT_TRUE(events.waitLost("Bench A/\xc3\xa9"));
    EXPECT_FALSE(fs::exists(file));

    // Published again with other contents: found anew with them.
    ServiceRecord moved = benchRecord("Bench A/\xc3\xa9", 5000);
    moved.address = "192.0.2.7";
    moved.host = "lab-pc";
    publication = discovery->publish(moved, err);
    ASSERT_TRUE(publication) << err;
    const auto again = events.waitFound("Bench A/\xc3\xa9", [](const ServiceRecord &r) { return r.port == 5000; });
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, moved);
}

TEST_F(Discovery, DirectoryNameHeldByLivePublisherOnly)
{
    TempDir dir;
    auto discovery = makeDirectoryDiscovery(dir.path());
    std::string err;
    auto first = discovery->publish(benchRecord(), err);
    ASSERT_TRUE(first) << err;
    EXPECT_FALSE(discovery->publish(benchRecord("Bench A", 1), err));
    EXPECT_NE(err.find("already published by process " + std::to_string(::getpid())), std::string::npos) << err;
    first.reset();

    // A dead publisher's record is taken over.
    Sleeper dead;
    const pid_t deadPid = dead.pid();
    dead.stop();
    dir.write(recordFileName("Bench A"), formatRecordFile({{"Bench A", "h", "127.0.0.1", 1, {}}, deadPid}));
    auto second = discovery->publish(benchRecord(), err);
    ASSERT_TRUE(second) << err;

    // Withdrawing leaves a record that another, live, publisher put there since.
    Sleeper other;
    const std::string theirs = formatRecordFile({{"Bench A", "h", "127.0.0.1", 2, {}}, other.pid()});
    dir.write(recordFileName("Bench A"), theirs);
    second.reset();
    std::ifstream in(dir.path() + "/" + recordFileName("Bench A"));
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), theirs);

    for (const ServiceRecord &bad :
         {ServiceRecord{"", "", "", 1, {}}, ServiceRecord{"x", "", "", 0, {}},
          ServiceRecord{std::string(64, 'n'), "", "", 1, {}}, ServiceRecord{"x", "", "", 1, {{"a=b", "c"}}}}) {
        err.clear();
        EXPECT_FALSE(discovery->publish(bad, err));
        EXPECT_FALSE(err.empty());
    }
}

TEST_F(Discovery, DirectoryRecordOfDeadPublisherIsLost)
{
    TempDir dir;
    Sleeper publisher;
    dir.write(recordFileName("Bench B"), formatRecordFile({{"Bench B", "h", "127.0.0.1", 4711, {}}, publisher.pid()}));
    Sleeper deadOne;
    const pid_t deadPid = deadOne.pid();
    deadOne.stop();
    dir.write(recordFileName("Gone"), formatRecordFile({{"Gone", "h", "127.0.0.1", 4711, {}}, deadPid}));

    auto discovery = makeDirectoryDiscovery(dir.path());
    Events events;
    std::string err;
    auto browsing = discovery->browse(events.handlers(), err);
    ASSERT_TRUE(browsing) << err;
    ASSERT_TRUE(events.waitFound("Bench B"));
    publisher.stop();   // dies without removing its file
    EXPECT_TRUE(events.waitLost("Bench B"));
    EXPECT_TRUE(fs::exists(dir.path() + "/" + recordFileName("Bench B")));
    EXPECT_EQ(events.foundNames(), std::vector<std::string>{"Bench B"});
}

TEST_F(Discovery, DirectoryIgnoresBadFilesBesideGoodOne)
{
    TempDir dir;
    const std::string good = formatRecordFile({benchRecord("Good"), ::getpid()});
    dir.write(recordFileName("Broken"), "tindrel22-server 1\nname Broken\nport 80\n");
    dir.write(recordFileName("Huge"), formatRecordFile({benchRecord("Huge"), ::getpid()}) + "x " +
                                          std::string(kMaxRecordFileBytes, 'x') + "\n");
    dir.write(recordFileName("Elsewhere"), formatRecordFile({benchRecord("Not Elsewhere"), ::getpid()}));
    dir.write("binary.server", std::string("\0\xff\n\n", 4));
    ASSERT_EQ(::mkfifo((dir.path() + "/" + recordFileName("Pipe")).c_str(), 0600), 0);   // would block a reader
    dir.write("target", formatRecordFile({benchRecord("Link"), ::getpid()}));
    fs::create_symlink(dir.path() + "/target", dir.path() + "/" + recordFileName("Link"));
    fs::create_directory(dir.path() + "/" + recordFileName("Folder"));
    dir.write(recordFileName("Good"), good);

    auto discovery = makeDirectoryDiscovery(dir.path());
    Events events;
    std::string err;
    auto browsing = discovery->browse(events.handlers(), err);
    ASSERT_TRUE(browsing) << err;
    const auto found = events.waitFound("Good");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->txt, benchRecord().txt);
    // A record published later is found on a later scan, which read the bad files again.
    auto marker = discovery->publish(benchRecord("Marker"), err);
    ASSERT_TRUE(marker) << err;
    ASSERT_TRUE(events.waitFound("Marker"));
    EXPECT_EQ(events.foundNames(), (std::vector<std::string>{"Good", "Marker"}));
}

TEST_F(Discovery, DirectoryTwoBrowsersSeeTheSame)
{
    TempDir dir;
    auto discovery = makeDirectoryDiscovery(dir.path());
    auto otherView = makeDirectoryDiscovery(dir.path());
    Events first, second;
    std::string err;
    auto browsingA = discovery->browse(first.handlers(), err);
    auto browsingB = otherView->browse(second.handlers(), err);
    ASSERT_TRUE(browsingA && browsingB) << err;
    auto publication = discovery->publish(benchRecord(), err);
    ASSERT_TRUE(publication) << err;
    const auto a = first.waitFound("Bench A");
    const auto b = second.waitFound("Bench A");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    publication.reset();
    EXPECT_TRUE(first.waitLost("Bench A"));
    EXPECT_TRUE(second.waitLost("Bench A"));
}

// Destroying a Browsing from inside its own handler returns at once; no
// handler of it runs afterwards.
void expectBrowsingEndsInsideHandler(remote::Discovery &discovery,
                                     const std::function<void(const std::string &)> &publish,
                                     const std::string &firstName, const std::string &secondName)
{
    Events events, control;
    std::mutex mutex;
    std::condition_variable done;
    bool destroyed = false;
    std::string err;
    std::unique_ptr<Browsing> browsing;
    events.onEvent = [&] {
        std::unique_lock lock(mutex);
        browsing.reset();
        destroyed = true;
        done.notify_all();
    };
    {
        std::lock_guard lock(mutex);
        browsing = discovery.browse(events.handlers(), err);
        ASSERT_TRUE(browsing) << err;
    }
    auto watcher = discovery.browse(control.handlers(), err);
    ASSERT_TRUE(watcher) << err;
    publish(firstName);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, kDeadline, [&] { return destroyed; }));
    }
    publish(secondName);
    ASSERT_TRUE(control.waitFound(secondName));
    EXPECT_EQ(events.count(), 1u);
}

TEST_F(Discovery, DirectoryBrowsingDestroyedInsideHandler)
{
    TempDir dir;
    auto discovery = makeDirectoryDiscovery(dir.path());
    std::vector<std::unique_ptr<Publication>> publications;
    expectBrowsingEndsInsideHandler(
        *discovery,
        [&](const std::string &name) {
            std::string err;
            publications.push_back(discovery->publish(benchRecord(name), err));
            ASSERT_TRUE(publications.back()) << err;
        },
        "One", "Two");
}

TEST_F(Discovery, MakeDiscoveryFollowsTheEnvironment)
{
    TempDir dir;
    // No responder answers: the private bus is not up outside the responder's tests.
    ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + privateBusPath()).c_str());
    std::string err;
    {
        ScopedEnv way("TINDREL_DISCOVERY", ("dir:" + dir.path() + "/chosen").c_str());
        auto discovery = makeDiscovery(err);
        ASSERT_TRUE(discovery) << err;
        EXPECT_EQ(discovery->describe(), "directory " + dir.path() + "/chosen");
    }
    {
        ScopedEnv way("TINDREL_DISCOVERY", nullptr);
        ScopedEnv where("TINDREL_DISCOVERY_DIR", (dir.path() + "/fallback").c_str());
        auto discovery = makeDiscovery(err);
        ASSERT_TRUE(discovery) << err;
        EXPECT_EQ(discovery->describe(), "directory " + dir.path() + "/fallback");
    }
    for (const char *bad : {"avahi", "dir:", "mdns"}) {
        ScopedEnv way("TINDREL_DISCOVERY", bad);
        err.clear();
        EXPECT_FALSE(makeDiscovery(err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
    err.clear();
    EXPECT_FALSE(makeAvahiDiscovery(err));
    EXPECT_NE(err.find("avahi-daemon"), std::string::npos) << err;
}

// ---- the private mDNS responder ----

TEST_F(Discovery, AvahiPublishFoundThenWithdrawnLost)
{
    startResponder();
    if (IsSkipped() || HasFatalFailure())
        return;
    Events events;
    std::string err;
    auto browsing = discovery_->browse(events.handlers(), err);
    ASSERT_TRUE(browsing) << err;
    auto publication = publish(benchRecord());
    ASSERT_TRUE(publication);
    const auto found = events.waitFound("Bench A");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->port, 4711);
    EXPECT_EQ(found->txt, benchRecord().txt);
    EXPECT_EQ(found->address, "127.0.0.1");
    EXPECT_TRUE(found->host.ends_with(".local")) << found->host;

    // The name is ours while published: a second claim is refused, not renamed.
    EXPECT_FALSE(discovery_->publish(benchRecord("Bench A", 5000), err));
    EXPECT_NE(err.find("already in use"), std::string::npos) << err;

    publication.reset();
    EXPECT_TRUE(events.waitLost("Bench A"));
}

TEST_F(Discovery, AvahiBrowsingDestroyedInsideHandler)
{
    startResponder();
    if (IsSkipped() || HasFatalFailure())
        return;
    std::vector<std::unique_ptr<Publication>> publications;
    expectBrowsingEndsInsideHandler(
        *discovery_, [&](const std::string &name) { publications.push_back(publish(benchRecord(name))); }, "One",
        "Two");
}

}   // namespace
