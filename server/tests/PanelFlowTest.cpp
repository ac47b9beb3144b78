// The panel's privileged steps end to end, run by private-polkit.sh as the
// user "daemon" (whom its rule grants the helper's rights): the real
// raiseTool (a set-user-ID copy), the service manager and device access
// installer, and the daemon, at the system's own paths (where the script
// installs this build's programs into its private layer over /usr). The
// files it changes are put back afterwards. Elsewhere it reports skipped.
#include "HelperTransport.h"
#include "Loopback.h"
#include "Paths.h"
#include "ServerConfig.h"
#include "ServerLinux.h"
#include "ServiceDescription.h"
#include "ServiceState.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tindrel;
namespace fs = std::filesystem;
using server::testing::freePort;
using server::testing::freePortBesides;
using server::testing::httpGet;

namespace {

std::optional<std::string> readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Keeps a system file as it was and puts it back at the end.
class Restore {
public:
    explicit Restore(std::string path)
        : path_(std::move(path))
        , old_(readFile(path_))
    { }
    ~Restore()
    {
        std::error_code ec;
        if (old_)
            std::ofstream(path_, std::ios::binary | std::ios::trunc) << *old_;
        else
            fs::remove(path_, ec);
    }

private:
    std::string path_;
    std::optional<std::string> old_;
};

// What the panel does, as the given user; returns what went wrong ("" when nothing).
std::string panelFlow(const std::string &tool, std::uint16_t port)
{
    platform::linux_impl::ForkHelperLauncher helper(tool);
    platform::linux_impl::ProcProcessTable processes;
    platform::linux_impl::RealSleeper sleeper;
    const auto form = server::ownAuthorizationForm();
    const auto run = [&](const std::optional<raisetool::Block> &block) {
        return block ? server::performCommand(helper, *block, form) : -1;
    };
    std::string problems;
    const auto expect = [&](bool ok, const std::string &what) {
        if (!ok)
            problems += what + "; ";
    };
    server::ServerSettings settings;
    settings.webserverPort = std::to_string(port);
    settings.port = std::to_string(freePortBesides(port));   // not the default: tests run side by side
    settings.publishName = "Flow";
    const std::string config(paths::kServerConfigFile);
    const std::string unit(paths::kServerServiceDescription);
    const std::string label(paths::kServerServiceLabel);
    const auto rendered = server::renderServerSettings(settings, config);
    expect(run(raisetool::makeWriteFileBlock(config, rendered.text)) == 0, "configuration write");
    expect(run(raisetool::makeWriteFileBlock(unit, server::renderUnit(server::networkServerDescription(false)).text)) ==
               0,
           "unit write");
    run(raisetool::makeServiceBlock(unit, "unload"));
    expect(run(raisetool::makeServiceBlock(unit, "load")) == 0, "load");
    expect(run(raisetool::makeServiceBlock(label, "start")) == 0, "start");
    const bool up = server::waitForRunning(processes, sleeper, paths::kServerProcessName, server::kStartTimeoutMs);
    expect(up, "the daemon did not appear");
    std::string page;
    for (int i = 0; i < 100 && page.empty(); ++i, sleeper.sleepMs(50))
        page = httpGet(port).value_or("");
    expect(page.find("<td>Flow</td>") != std::string::npos, "status page: " + page.substr(0, 200));
    expect(run(raisetool::makeServiceBlock(label, "stop")) == 0, "stop");
    expect(server::waitForStopped(processes, sleeper, paths::kServerProcessName, server::kStopTimeoutMs),
           "the daemon did not go");
    // Device access: installed; udev does not run in a container (6), or does (0).
    const int access = run(raisetool::makeLoadDriverBlock());
    expect(access == 0 || access == 6, "device access gave " + std::to_string(access));
    return problems;
}

TEST(Polkit, ThePanelsStepsWorkThroughTheHelperTool)
{
    if (!std::getenv("TINDREL_E2E_POLKIT"))
        GTEST_SKIP() << "needs the private polkit daemon of private-polkit.sh";
    if (!fs::exists(paths::kServiceManagerProgram) || !fs::exists(paths::kServerExecutable))
        GTEST_SKIP() << "the daemon and the service manager are not installed";
#if defined(BUILT_SERVICE_MANAGER) && defined(BUILT_DAEMON)
    // Installed privately by the script: the programs of this very build.
    if (std::getenv("TINDREL_E2E_PRIVATE_INSTALL")) {
        EXPECT_EQ(readFile(paths::kServiceManagerProgram), readFile(BUILT_SERVICE_MANAGER));
        EXPECT_EQ(readFile(paths::kServerExecutable), readFile(BUILT_DAEMON));
    }
#endif
    const passwd *pw = ::getpwnam("daemon");
    ASSERT_TRUE(pw);
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;

    char pattern[] = "/tmp/tindrel-flow-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const fs::path dir = pattern;
    ::chmod(dir.c_str(), 0755);
    const fs::path tool = dir / "raiseTool";
    fs::copy_file(RAISETOOL_PATH, tool);
    ASSERT_EQ(::chown(tool.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(tool.c_str(), 04755), 0);

    const Restore config{std::string(paths::kServerConfigFile)};
    const Restore unit{std::string(paths::kServerServiceDescription)};
    const Restore rule{std::string(paths::kDeviceRuleFile)};
    const std::uint16_t port = freePort();

    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        std::string problems = "could not become daemon";
        if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 && ::setresuid(uid, uid, uid) == 0)
            problems = panelFlow(tool.string(), port);
        [[maybe_unused]] auto n = ::write(report[1], problems.data(), problems.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string problems;
    char buffer[512];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        problems.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(problems, "");
    // What the helper wrote is what the panel rendered.
    EXPECT_EQ(server::readServerSettings(std::string(paths::kServerConfigFile)).publishName, "Flow");
    EXPECT_EQ(readFile(paths::kDeviceRuleFile).value_or("").find("7d1e") != std::string::npos, true);
    fs::remove_all(dir);
}

}   // namespace
