// The network server daemon: its configuration, its status page, and the
// real program started and stopped by the supervisor.
#include "DaemonConfig.h"
#include "Loopback.h"
#include "ServiceControl.h"
#include "ServiceDescription.h"
#include "TempDir.h"
#include "WebServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace tindrel;
using namespace tindrel::daemon;
using server::testing::freePort;
using server::testing::freePortBesides;
using server::testing::httpGet;
using server::testing::readText;
using server::testing::TempDir;
using server::testing::writeText;

namespace {

const std::string kDaemon = TINDREL_DAEMON_PATH;

TEST(DaemonConfig, ABadValueIsRefusedWithTheKeyAndTheValue)
{
    const auto bad = daemonConfigFromText("[tindrel.www.network.ipv4]\nport = \"eighty\"\n", "x.pc");
    ASSERT_TRUE(std::holds_alternative<std::string>(bad));
    EXPECT_EQ(std::get<std::string>(bad),
              "x.pc: tindrel.www.network.ipv4.port is \"eighty\", but must be a port number from 1 to 65535");
    EXPECT_TRUE(std::holds_alternative<std::string>(daemonConfigFromText("[tindrel]\nenabled = \"maybe\"\n", "x")));
    EXPECT_TRUE(
        std::holds_alternative<std::string>(daemonConfigFromText("[tindrel.network.ipv4]\nport = 70000\n", "x")));
    EXPECT_TRUE(std::holds_alternative<std::string>(daemonConfigFromText("not [ toml", "x")));
    const auto good = daemonConfigFromText("[tindrel]\nenabled = \"false\"\n[tindrel.auth]\npassword = \"pw\"\n", "x");
    ASSERT_TRUE(std::holds_alternative<DaemonConfig>(good));
    const DaemonConfig &c = std::get<DaemonConfig>(good);
    EXPECT_FALSE(c.enabled);
    EXPECT_EQ(c.webserverPort, 8989);
    EXPECT_TRUE(c.passwordSet);
}

TEST(DaemonWebServer, ServesTheStatusPageAndEscapesIt)
{
    DaemonConfig c;
    c.publishName = "<b>Lab</b>";
    c.passwordSet = true;
    const std::string page = statusPage(c, "/etc/x.pc", "now");
    EXPECT_NE(page.find("&lt;b&gt;Lab&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(page.find("(set, not shown)"), std::string::npos);
    EXPECT_EQ(answer("GET / HTTP/1.0\r\n", page).status, 0);   // not complete yet
    const HttpReply ok = answer("GET / HTTP/1.1\r\nHost: x\r\n\r\n", page);
    EXPECT_EQ(ok.status, 200);
    EXPECT_NE(ok.text.find(page), std::string::npos);
    EXPECT_EQ(answer("GET /../../etc/passwd HTTP/1.0\r\n\r\n", page).status, 404);
    EXPECT_EQ(answer("POST / HTTP/1.0\r\n\r\n", page).status, 405);
    EXPECT_EQ(answer("nonsense\r\n\r\n", page).status, 400);
    EXPECT_EQ(answer(std::string(kMaxRequestSize, 'a'), page).status, 431);
}

struct DaemonRun {
    int status = -1;
    std::string err;
};

DaemonRun runDaemon(const std::vector<std::string> &args, const TempDir &dir)
{
    const std::string errFile = dir.file("stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen(errFile.c_str(), "w", stderr))
            ::_exit(99);
        ::execv(argv[0], argv.data());
        ::_exit(98);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(errFile)};
}

TEST(DaemonProgram, RefusesABadConfigurationWithAClearMessage)
{
    TempDir dir;
    writeText(dir.file("bad.pc"), "[tindrel]\nenabled = \"sometimes\"\n");
    const DaemonRun bad = runDaemon({kDaemon, "-c", dir.file("bad.pc")}, dir);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("refusing to start: " + dir.file("bad.pc") + ": tindrel.enabled is \"sometimes\""),
              std::string::npos)
        << bad.err;
    const DaemonRun missing = runDaemon({kDaemon, "-c", dir.file("absent.pc")}, dir);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read the configuration"), std::string::npos) << missing.err;
    EXPECT_EQ(runDaemon({kDaemon}, dir).status, 2);
}

template <class F>
bool eventually(F condition, int seconds = 20)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class SupervisedDaemon : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = freePort();
        // The devices' port is a free one too: tests run side by side.
        const std::string devicePort = std::to_string(freePortBesides(port));
        writeText(dir.file("server.pc"),
                  "[tindrel]\nenabled = \"true\"\n[tindrel.network.ipv4]\nport = \"" + devicePort + "\"\n" +
                      "[tindrel.logging]\nfile = \"" + dir.file("server.log") + "\"\n" +
                      "[tindrel.www]\nenabled = \"true\"\nlogging.accesslog = \"" + dir.file("access.log") + "\"\n" +
                      "[tindrel.www.network.ipv4]\nport = \"" + std::to_string(port) + "\"\n" +
                      "[tindrel.network.publish]\nname = \"Bench\"\n");
        setup = server::networkServerSetup();
        setup.descriptionPath = dir.file("tindrel22networkserver.service");
        setup.stateDir = dir.path() / "state";
    }
    void describe(bool atBoot)
    {
        const server::ServiceDescription d{setup.label, {kDaemon, "-c", dir.file("server.pc")}, atBoot};
        writeText(setup.descriptionPath, server::renderUnit(d).text);
    }
    TempDir dir;
    std::uint16_t port = 0;
    server::ServiceSetup setup;
};

TEST_F(SupervisedDaemon, StartsServesItsStatusPageOnLoopbackAndStopsOnSigterm)
{
    describe(false);
    server::Supervisor supervisor(setup);
    ASSERT_EQ(supervisor.start(), 0);
    ASSERT_TRUE(eventually([&] { return supervisor.runningPid().has_value(); }));
    const pid_t pid = *supervisor.runningPid();
    // The daemon is not our child: it was started detached.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    std::optional<std::string> page;
    ASSERT_TRUE(eventually([&] { return (page = httpGet(port)).has_value(); })) << readText(supervisor.outputFile());
    EXPECT_NE(page->find("HTTP/1.0 200 OK"), std::string::npos);
    EXPECT_NE(page->find("Tindrel Network Server"), std::string::npos);
    EXPECT_NE(page->find("<th align=\"left\">tindrel.www.network.ipv4.port</th><td>" + std::to_string(port)),
              std::string::npos);
    EXPECT_NE(page->find("Bench"), std::string::npos);
    // A second start while it runs keeps the one process.
    EXPECT_EQ(supervisor.start(), 0);
    EXPECT_EQ(supervisor.runningPid(), pid);

    EXPECT_EQ(supervisor.stop(), 0);
    EXPECT_EQ(supervisor.runningPid(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(supervisor.pidFile()));
    EXPECT_FALSE(httpGet(port).has_value());
    const std::string log = readText(dir.file("server.log"));
    EXPECT_NE(log.find("starting with " + dir.file("server.pc")), std::string::npos) << log;
    EXPECT_NE(log.find("stopping on signal 15"), std::string::npos) << log;
    EXPECT_NE(readText(dir.file("access.log")).find("\"GET / HTTP/1.0\" 200"), std::string::npos);
}

TEST_F(SupervisedDaemon, LoadAndBootStartOnlyWhatStartsAtBootAndUnloadStops)
{
    describe(false);
    server::Supervisor supervisor(setup);
    EXPECT_EQ(supervisor.load(), 0);
    EXPECT_EQ(supervisor.boot(), 0);
    EXPECT_EQ(supervisor.runningPid(), std::nullopt);
    describe(true);
    EXPECT_EQ(supervisor.boot(), 0);
    ASSERT_TRUE(eventually([&] { return httpGet(port).has_value(); }));
    EXPECT_EQ(supervisor.unload(), 0);
    EXPECT_EQ(supervisor.runningPid(), std::nullopt);
}

TEST_F(SupervisedDaemon, AStalePidFileOfAnotherProgramIsNotOurs)
{
    describe(false);
    server::Supervisor supervisor(setup);
    std::filesystem::create_directories(setup.stateDir);
    writeText(supervisor.pidFile(), std::to_string(::getpid()) + "\n");
    EXPECT_EQ(supervisor.runningPid(), std::nullopt);
    EXPECT_EQ(supervisor.stop(), 0);   // and nothing is killed: we are still here
    writeText(setup.descriptionPath, "[Unit]\n");
    EXPECT_EQ(supervisor.start(), 4);
}

}   // namespace
