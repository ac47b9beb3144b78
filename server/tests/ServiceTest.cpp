// The service description, the helper transport, the process lookup, the
// service verbs and the device access rule.
#include "DeviceAccess.h"
#include "HelperTransport.h"
#include "ServerFakes.h"
#include "ServerLinux.h"
#include "ServiceControl.h"
#include "ServiceDescription.h"
#include "ServiceState.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

using namespace tindrel;
using namespace tindrel::server;
using platform::HelperOutcome;
using server::testing::readText;
using server::testing::TempDir;
using server::testing::writeText;

namespace {

TEST(ServiceDescription, TheThreeFactsSurviveAUnit)
{
    for (const bool atBoot : {false, true}) {
        const ServiceDescription d = networkServerDescription(atBoot);
        const RenderedUnit unit = renderUnit(d);
        ASSERT_TRUE(unit.error.empty());
        EXPECT_NE(unit.text.find("ExecStart=\"/usr/local/bin/tindrel22networkserver\" \"-c\" "
                                 "\"/etc/tindrel22networkserver/tindrel22networkserver.pc\""),
                  std::string::npos);
        EXPECT_EQ(unit.text.find("WantedBy=multi-user.target") != std::string::npos, atBoot);
        EXPECT_EQ(parseUnit(unit.text), d);
    }
}

TEST(ServiceDescription, ArgumentsAreQuotedForSystemdAndControlCharactersRefused)
{
    ServiceDescription d{"label", {"/bin/x", "a b", "100%", "$HOME", "q\"uote", "back\\slash"}, false};
    const RenderedUnit unit = renderUnit(d);
    ASSERT_TRUE(unit.error.empty());
    EXPECT_NE(unit.text.find("\"100%%\" \"$$HOME\""), std::string::npos);
    EXPECT_EQ(parseUnit(unit.text), d);
    d.programArguments.push_back("new\nline");
    EXPECT_FALSE(renderUnit(d).error.empty());
    EXPECT_EQ(parseUnit("[Unit]\nDescription=x\n"), std::nullopt);
}

raisetool::Block someBlock() { return *raisetool::makeServiceBlock("com.tindrels.tindrel22networkserver", "start"); }

TEST(HelperTransport, WritesTheFormThenTheBlockAndReturnsTheExitStatus)
{
    platform::fakes::FakeHelperLauncher helper;
    helper.outcomes = {{HelperOutcome::Kind::Exited, 3}};
    const auto form = platform::encodeAuthorizationForm({42, 7, 1000});
    EXPECT_EQ(performCommand(helper, someBlock(), form), 3);
    ASSERT_EQ(helper.inputs.size(), 1u);
    ASSERT_EQ(helper.inputs[0].size(), 32u + 16648u);
    EXPECT_TRUE(std::equal(form.begin(), form.end(), helper.inputs[0].begin()));
    const auto block = someBlock();
    EXPECT_TRUE(std::equal(block.begin(), block.end(), helper.inputs[0].begin() + 32));
}

TEST(HelperTransport, AHelperKilledBySignalRunsOnceMoreAndASecondKillGivesMinusOne)
{
    const auto form = platform::encodeAuthorizationForm({42, 7, 1000});
    platform::fakes::FakeHelperLauncher once;
    once.outcomes = {{HelperOutcome::Kind::Signalled, 0}, {HelperOutcome::Kind::Exited, 0}};
    EXPECT_EQ(performCommand(once, someBlock(), form), 0);
    EXPECT_EQ(once.inputs.size(), 2u);
    EXPECT_EQ(once.inputs[0], once.inputs[1]);

    platform::fakes::FakeHelperLauncher twice;
    twice.outcomes = {{HelperOutcome::Kind::Signalled, 0}};
    EXPECT_EQ(performCommand(twice, someBlock(), form), -1);
    EXPECT_EQ(twice.inputs.size(), 2u);

    platform::fakes::FakeHelperLauncher missing;
    missing.outcomes = {{HelperOutcome::Kind::NotRun, 0}};
    EXPECT_EQ(performCommand(missing, someBlock(), form), -1);
    EXPECT_EQ(missing.inputs.size(), 1u);
    EXPECT_EQ(performCommand(missing, someBlock(), std::nullopt), -1);
    EXPECT_EQ(missing.inputs.size(), 1u);
}

TEST(HelperTransport, RealLauncherReportsExitSignalAndAMissingProgram)
{
    TempDir dir;
    const auto script = [&](const std::string &name, const std::string &body) {
        writeText(dir.file(name), "#!/bin/sh\n" + body + "\n");
        ::chmod(dir.file(name).c_str(), 0755);
        return dir.file(name);
    };
    const std::string counter = dir.file("runs");
    platform::linux_impl::ForkHelperLauncher exits(script("exits", "n=$(wc -c)\n[ \"$n\" = 16680 ] && exit 9; exit 1"));
    EXPECT_EQ(performCommand(exits, someBlock(), platform::encodeAuthorizationForm({1, 2, 3})), 9);
    platform::linux_impl::ForkHelperLauncher killed(script("killed", "echo x >> " + counter + "\nkill -9 $$"));
    EXPECT_EQ(performCommand(killed, someBlock(), platform::encodeAuthorizationForm({1, 2, 3})), -1);
    EXPECT_EQ(readText(counter), "x\nx\n");
    // Killed before it read anything: with more input than a pipe holds the
    // write always fails, and the helper still counts as killed, not as
    // never run.
    const std::vector<std::byte> large(1 << 20, std::byte{1});
    EXPECT_EQ(killed.runOnce(large).kind, HelperOutcome::Kind::Signalled);
    // A helper that cannot be executed ends its child with status 1.
    platform::linux_impl::ForkHelperLauncher absent(dir.file("nothing-here"));
    EXPECT_EQ(performCommand(absent, someBlock(), platform::encodeAuthorizationForm({1, 2, 3})), 1);
}

TEST(ProcessLookup, ExactlyOneProcessOfTheNameRuns)
{
    platform::fakes::FakeProcessTable table;
    table.set({{1, "init"}, {300, "tindrel22networkserver"}});
    EXPECT_TRUE(isRunning(table, "tindrel22networkserver"));
    table.set({{300, "tindrel22networkserver"}, {301, "tindrel22networkserver"}});
    EXPECT_FALSE(isRunning(table, "tindrel22networkserver"));
    table.set({{0, "tindrel22networkserver"}});
    EXPECT_FALSE(isRunning(table, "tindrel22networkserver"));
    table.set({});
    EXPECT_FALSE(isRunning(table, "tindrel22networkserver"));
    table.set({{300, "tindrel22networkserver"}});
    table.readable = false;
    EXPECT_FALSE(isRunning(table, "tindrel22networkserver"));
}

TEST(ProcessLookup, NamesLongerThanSixteenCharactersMatchOnSixteen)
{
    platform::fakes::FakeProcessTable table;
    table.set({{300, "tindrel22networkXYZ"}});
    EXPECT_TRUE(isRunning(table, "tindrel22networkserver"));
    table.set({{300, "tindrel22networ"}});   // the kernel's 15 characters alone do not match
    EXPECT_FALSE(isRunning(table, "tindrel22networkserver"));
    table.set({{300, "short"}});
    EXPECT_FALSE(isRunning(table, "shorter"));
}

TEST(ProcessLookup, ProcEntriesGiveTheFullProgramNameAndSkipZombies)
{
    using platform::linux_impl::processNameFrom;
    const std::string cmdline("/usr/local/bin/tindrel22networkserver\0-c\0/x.pc\0", 47);
    EXPECT_EQ(processNameFrom("300 (tindrel22networ) S 1 300", cmdline), "tindrel22networkserver");
    EXPECT_EQ(processNameFrom("300 (tindrel22networ) Z 1 300", cmdline), std::nullopt);
    // A command line that does not begin with the kernel's name is not believed.
    EXPECT_EQ(processNameFrom("300 (sleep) S 1", cmdline), "sleep");
    EXPECT_EQ(processNameFrom("9 (a) b) (c) R 1", ""), "a) b) (c");
    EXPECT_EQ(processNameFrom("garbage", ""), std::nullopt);

    platform::linux_impl::ProcProcessTable table;
    const auto records = table.snapshot();
    ASSERT_TRUE(records);
    const pid_t self = ::getpid();
    EXPECT_TRUE(std::any_of(records->begin(), records->end(),
                            [&](const auto &r) { return r.pid == self && r.name == "server_core_tests"; }));
}

TEST(ProcessLookup, WaitsPollEveryFiftyMillisecondsUntilTheTimeOut)
{
    platform::fakes::FakeProcessTable table;
    platform::fakes::FakeSleeper sleeper;
    EXPECT_FALSE(waitForRunning(table, sleeper, "d", 5000));
    EXPECT_EQ(table.snapshots, 100);
    EXPECT_EQ(sleeper.slept, 5000);

    table.snapshots = 0;
    table.onSnapshot = [&](int n) {
        if (n == 4)
            table.records = {{10, "d"}};
    };
    EXPECT_TRUE(waitForRunning(table, sleeper, "d", 5000));
    EXPECT_EQ(table.snapshots, 4);
    table.onSnapshot = nullptr;
    EXPECT_TRUE(waitForRunning(table, sleeper, "d", 5000));
    table.snapshots = 0;
    EXPECT_FALSE(waitForStopped(table, sleeper, "d", 10000));
    EXPECT_EQ(table.snapshots, 200);
}

class RecordingBackend : public ServiceBackend {
public:
    std::vector<std::string> calls;
    int load() override { return record("load"); }
    int unload() override { return record("unload"); }
    int start() override { return record("start"); }
    int stop() override { return record("stop"); }
    int boot() override { return record("boot"); }

private:
    int record(const char *c)
    {
        calls.emplace_back(c);
        return 0;
    }
};

TEST(ServiceVerbs, OnlyTheServersDescriptionAndLabelAreAccepted)
{
    const ServiceSetup setup = networkServerSetup();
    RecordingBackend backend;
    std::string error;
    EXPECT_EQ(runServiceVerb(setup, backend, {"load", setup.descriptionPath}, error), 0);
    EXPECT_EQ(runServiceVerb(setup, backend, {"unload", setup.descriptionPath}, error), 0);
    EXPECT_EQ(runServiceVerb(setup, backend, {"start", setup.label}, error), 0);
    EXPECT_EQ(runServiceVerb(setup, backend, {"stop", setup.label}, error), 0);
    EXPECT_EQ(runServiceVerb(setup, backend, {"boot"}, error), 0);
    EXPECT_EQ(backend.calls, (std::vector<std::string>{"load", "unload", "start", "stop", "boot"}));
    EXPECT_EQ(runServiceVerb(setup, backend, {"start", "ssh"}, error), 4);
    EXPECT_EQ(runServiceVerb(setup, backend, {"load", "/etc/systemd/system/ssh.service"}, error), 4);
    EXPECT_EQ(runServiceVerb(setup, backend, {"load", setup.label}, error), 4);
    EXPECT_EQ(runServiceVerb(setup, backend, {"restart", setup.label}, error), 4);
    EXPECT_EQ(runServiceVerb(setup, backend, {}, error), 4);
    EXPECT_EQ(backend.calls.size(), 5u);
    EXPECT_FALSE(error.empty());
}

TEST(ServiceVerbs, SystemdEnablesByTheStartAtBootFact)
{
    TempDir dir;
    ServiceSetup setup = networkServerSetup();
    setup.descriptionPath = dir.file("tindrel22networkserver.service");
    std::vector<std::vector<std::string>> runs;
    SystemdBackend systemd(setup, "/usr/bin/systemctl", [&](const std::vector<std::string> &a) {
        runs.push_back(a);
        return 0;
    });
    EXPECT_EQ(systemd.load(), 4);   // no description yet
    writeText(setup.descriptionPath, renderUnit(networkServerDescription(true)).text);
    EXPECT_EQ(systemd.load(), 0);
    writeText(setup.descriptionPath, renderUnit(networkServerDescription(false)).text);
    EXPECT_EQ(systemd.load(), 0);
    EXPECT_EQ(systemd.start(), 0);
    EXPECT_EQ(systemd.stop(), 0);
    using V = std::vector<std::string>;
    const std::string sc = "/usr/bin/systemctl", unit = "tindrel22networkserver.service";
    EXPECT_EQ(runs, (std::vector<V>{V{sc, "daemon-reload"}, V{sc, "enable", unit}, V{sc, "daemon-reload"},
                                    V{sc, "disable", unit}, V{sc, "start", unit}, V{sc, "stop", unit}}));
}

TEST(DeviceAccess, CheckAndInstallAgainstATemporaryRoot)
{
    TempDir root;
    TempDir package;
    std::vector<std::vector<std::string>> runs;
    int reloadStatus = 0;
    const ProgramRunner runner = [&](const std::vector<std::string> &a) {
        runs.push_back(a);
        return a.at(1) == "control" ? reloadStatus : 0;
    };
    EXPECT_EQ(checkDeviceAccess(root.path()), DeviceAccessState::NotInstalled);
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 5);

    const std::string shipped = package.file("70-tindrel22.rules");
    writeText(shipped, "SUBSYSTEM==\"usb\", MODE=\"0666\"\n");
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 7);
    writeText(shipped, deviceRuleText());
    ::chmod(shipped.c_str(), 0666);
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 7);
    ::chmod(shipped.c_str(), 0644);
    EXPECT_TRUE(runs.empty());

    // Installed, but no udev to apply it.
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 6);
    const auto installed = root.path() / "etc/udev/rules.d/70-tindrel22.rules";
    EXPECT_EQ(readText(installed), deviceRuleText());
    EXPECT_EQ(checkDeviceAccess(root.path()), DeviceAccessState::UdevNotRunning);
    EXPECT_TRUE(runs.empty());

    // A socket where udev keeps its control socket: udev runs.
    std::filesystem::create_directories(root.path() / "run/udev");
    const std::string socketPath = (root.path() / "run/udev/control").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_EQ(checkDeviceAccess(root.path()), DeviceAccessState::Active);
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 0);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"/usr/bin/udevadm", "control", "--reload"}));
    EXPECT_EQ(runs[1].at(1), "trigger");
    reloadStatus = 1;
    EXPECT_EQ(installDeviceAccess(root.path(), package.path(), runner), 4);
    ::close(fd);

    // Another rule text in place is not this version's rule.
    writeText(installed, "# old\n");
    EXPECT_EQ(checkDeviceAccess(root.path()), DeviceAccessState::NotInstalled);
}

TEST(DeviceAccess, TheRuleMatchesTheVendorAndGivesTheSeatUserAccess)
{
    const std::string rule = deviceRuleText();
    EXPECT_NE(rule.find("ATTR{idVendor}==\"7d1e\""), std::string::npos);
    EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos);
    EXPECT_EQ(rule.find("0666"), std::string::npos);
}

}   // namespace
