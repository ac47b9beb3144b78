#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <sstream>

#include "FakeSim.h"
#include "TempDir.h"
#include "UniqueFd.h"
#include "control_client.h"
#include "control_server.h"

using namespace tindrel::control;
using tindrel::UniqueFd;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 10s;

UniqueFd connectTo(const std::string &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        fd.reset();
    return fd;
}

// A socket file with nobody listening, as a crashed program leaves it.
void leaveStaleSocket(const std::string &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
}

class ControlServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakesim::reset();
        ASSERT_FALSE(dir.path().empty());
        path = (dir.path() / "ctl.sock").string();
    }

    std::unique_ptr<ControlServer> startServer(std::chrono::milliseconds clientTimeout = 10s)
    {
        ControlServer::StartResult started = ControlServer::start(path, fakesim::table(), clientTimeout);
        EXPECT_TRUE(started.server) << started.detail;
        return std::move(started.server);
    }

    int tool(std::vector<std::string> args, std::string &out, std::string &err, SocketEnvironment env = {})
    {
        std::ostringstream o;
        std::ostringstream e;
        const int status = runTool(args, env, "/work", o, e);
        out = o.str();
        err = e.str();
        return status;
    }

    TempDir dir;
    std::string path;
};

}   // namespace

TEST_F(ControlServerTest, AnswersRequestsOnAPrivateSocket)
{
    auto server = startServer();
    ASSERT_TRUE(server);
    struct stat info { };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const Exchange detach = exchange(path, "detach dev1", kDeadline);
    ASSERT_TRUE(detach.delivered) << detach.error;
    EXPECT_EQ(detach.reply, "ok");
    const Exchange bogus = exchange(path, "bogus", kDeadline);
    EXPECT_EQ(bogus.reply, "error 21 unknown command 'bogus'");
    const Exchange tooLong = exchange(path, std::string(4500, 'x'), kDeadline);
    ASSERT_TRUE(tooLong.delivered) << tooLong.error;
    EXPECT_NE(tooLong.reply.find("request longer than 4096 bytes"), std::string::npos) << tooLong.reply;
    EXPECT_EQ(fakesim::calls(), std::vector<std::string>{"detach dev1"});

    server.reset();
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the socket file goes with the server";
}

TEST_F(ControlServerTest, StopsWhileAClientIsConnectedAndSilent)
{
    auto server = startServer(10min);
    ASSERT_TRUE(server);
    UniqueFd silent = connectTo(path);
    ASSERT_TRUE(silent);
    auto stopped = std::async(std::launch::async, [&] { server.reset(); });
    ASSERT_EQ(stopped.wait_for(kDeadline), std::future_status::ready) << "stop hangs on the connected client";
    // Closed by the server, or reset when it stopped before accepting it.
    char byte = 0;
    const ssize_t n = recv(silent.get(), &byte, 1, 0);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << "the client sees the connection end";
}

TEST_F(ControlServerTest, ASilentClientTimesOutAndOthersGetServed)
{
    auto server = startServer(200ms);
    ASSERT_TRUE(server);
    UniqueFd silent = connectTo(path);
    ASSERT_TRUE(silent);
    const Exchange next = exchange(path, "attach dev2", kDeadline);
    ASSERT_TRUE(next.delivered) << next.error;
    EXPECT_EQ(next.reply, "ok");
}

TEST_F(ControlServerTest, ReplacesOnlyAStaleSocket)
{
    leaveStaleSocket(path);
    {
        auto server = startServer();
        ASSERT_TRUE(server) << "a leftover socket is replaced";
        ControlServer::StartResult second = ControlServer::start(path, fakesim::table());
        EXPECT_FALSE(second.server);
        EXPECT_EQ(second.code, TINDREL_EBUSY);
        EXPECT_NE(second.detail.find("already listens"), std::string::npos);
        EXPECT_EQ(exchange(path, "list", kDeadline).reply, "ok {}") << "the first server still serves";
    }

    const std::string file = dir.write("precious", "keep me");
    ControlServer::StartResult onFile = ControlServer::start(file, fakesim::table());
    EXPECT_FALSE(onFile.server);
    EXPECT_EQ(onFile.code, TINDREL_EEXIST);
    std::ifstream in(file);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "keep me");

    ControlServer::StartResult tooLong = ControlServer::start("/tmp/" + std::string(200, 'x'), fakesim::table());
    EXPECT_FALSE(tooLong.server);
    EXPECT_EQ(tooLong.code, TINDREL_EINVALIDARG);
    EXPECT_FALSE(ControlServer::start("", fakesim::table()).server);
}

TEST_F(ControlServerTest, ToolReportsRepliesThroughItsExitStatus)
{
    auto server = startServer();
    ASSERT_TRUE(server);
    std::string out;
    std::string err;
    EXPECT_EQ(tool({"--socket", path, "detach", "dev1"}, out, err), kExitOk) << err;
    EXPECT_EQ(out, "");

    fakesim::state().listJson = "{\n \"devices\": []\n}";
    EXPECT_EQ(tool({"--socket", path, "list"}, out, err), kExitOk) << err;
    EXPECT_EQ(out, "{  \"devices\": [] }\n");

    fakesim::state().result = TINDREL_ENOENT;
    fakesim::state().lastError = "no device 'ghost'";
    EXPECT_EQ(tool({"--socket", path, "attach", "ghost"}, out, err), kExitFailed);
    EXPECT_EQ(err, "tindrelsim: no device 'ghost' (code 2)\n");

    EXPECT_EQ(tool({"--socket", path, "attach"}, out, err), kExitUsage);
    EXPECT_NE(err.find("usage: attach <deviceId>"), std::string::npos);
    EXPECT_NE(err.find("usage: tindrelsim"), std::string::npos) << "the full usage follows";

    EXPECT_EQ(tool({"--socket", (dir.path() / "nobody.sock").string(), "list"}, out, err), kExitFailed);
    EXPECT_NE(err.find("cannot connect"), std::string::npos) << err;
}

TEST_F(ControlServerTest, ToolFindsTheOneLiveProgram)
{
    SocketEnvironment env{dir.path().string(), getuid()};
    std::string out;
    std::string err;
    EXPECT_EQ(tool({"list"}, out, err, env), kExitFailed);
    EXPECT_NE(err.find("no running program"), std::string::npos) << err;

    path = defaultSocketPath(env, getpid());
    auto server = startServer();
    ASSERT_TRUE(server);
    // A socket left by a process that has ended does not count.
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    leaveStaleSocket(defaultSocketPath(env, child));

    EXPECT_EQ(tool({"list"}, out, err, env), kExitOk) << err;
    EXPECT_EQ(out, "{}\n");
    EXPECT_EQ(tool({"--pid", std::to_string(getpid()), "list"}, out, err, env), kExitOk) << err;
    EXPECT_EQ(tool({"--pid", std::to_string(child), "list"}, out, err, env), kExitFailed);
    EXPECT_EQ(tool({"--pid", "2147483647", "list"}, out, err, env), kExitFailed);
    EXPECT_NE(err.find("has no control socket"), std::string::npos) << err;
}
