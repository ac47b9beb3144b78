#include "LinuxServices.h"
#include "XdgUrlOpener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace tindrel::platform;
using namespace tindrel::platform::linux_impl;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class Scratch : public ::testing::Test {
protected:
    fs::path dir;
    mode_t oldMask = 0;
    void SetUp() override
    {
        dir = fs::path(TINDREL_TEST_SCRATCH) /
              (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
               std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        oldMask = ::umask(022);
        ::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override
    {
        ::umask(oldMask);
        fs::remove_all(dir);
    }
    fs::path script(const std::string &name, const std::string &body)
    {
        const fs::path path = dir / name;
        writeText(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    std::vector<std::string> entries()
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    static mode_t modeOf(const fs::path &p)
    {
        struct stat st { };
        EXPECT_EQ(::lstat(p.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

using LinuxFilesTest = Scratch;

TEST_F(LinuxFilesTest, ReplaceCreatesWithDefaultModeAndLeavesNoTemporaryBehind)
{
    LinuxFiles files;
    EXPECT_EQ(files.replaceFile(dir / "a.pc", "one\n"), 0);
    EXPECT_EQ(readText(dir / "a.pc"), "one\n");
    EXPECT_EQ(modeOf(dir / "a.pc"), 0644u);
    EXPECT_EQ(files.replaceFile(dir / "a.pc", ""), 0);
    EXPECT_EQ(readText(dir / "a.pc"), "");
    EXPECT_EQ(fs::file_size(dir / "a.pc"), 0u);
    EXPECT_THAT(entries(), ElementsAre("a.pc"));
    EXPECT_EQ(files.replaceFile(dir / "missing" / "a", "x"), ENOENT);
    EXPECT_THAT(entries(), ElementsAre("a.pc"));
}

TEST_F(LinuxFilesTest, ReplaceKeepsModeAndOwnerOfAnExistingFile)
{
    LinuxFiles files;
    writeText(dir / "f", "a much longer old content");
    ASSERT_EQ(::chmod((dir / "f").c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((dir / "f").c_str(), 1234, 5678), 0);
    }
    EXPECT_EQ(files.replaceFile(dir / "f", "new"), 0);
    EXPECT_EQ(readText(dir / "f"), "new");
    EXPECT_EQ(modeOf(dir / "f"), 0640u);
    if (root) {
        struct stat st { };
        ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
}

TEST_F(LinuxFilesTest, PlantedSymlinkOrDirectoryAtTheTargetIsNeverFollowedOrReplaced)
{
    LinuxFiles files;
    writeText(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", dir / "link");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    fs::create_directory(dir / "sub");
    EXPECT_EQ(files.replaceFile(dir / "link", "evil"), ELOOP);
    EXPECT_EQ(files.replaceFile(dir / "dangling", "evil"), ELOOP);
    EXPECT_EQ(files.replaceFile(dir / "sub", "evil"), EISDIR);
    EXPECT_EQ(readText(dir / "victim"), "precious");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_THAT(entries(), ElementsAre("dangling", "link", "sub", "victim"));

    // Removing a link removes the link only.
    EXPECT_EQ(files.removeFile(dir / "link"), 0);
    EXPECT_EQ(readText(dir / "victim"), "precious");
    EXPECT_EQ(files.removeFile(dir / "link"), ENOENT);
    EXPECT_EQ(files.removeFile(dir / "sub"), EISDIR);
}

TEST_F(LinuxFilesTest, KilledWriterLeavesOldOrNewContentNeverAMix)
{
    const std::string a(1 << 20, 'a');
    const std::string b(1 << 20, 'b');
    writeText(dir / "f", a);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        LinuxFiles files;
        for (int i = 0;; ++i)
            files.replaceFile(dir / "f", i % 2 ? a : b);
    }
    struct KillOnExit {
        pid_t pid;
        void stop()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
                pid = 0;
            }
        }
        ~KillOnExit() { stop(); }
    } guard{writer};
    for (int i = 0; i < 200; ++i) {
        const std::string seen = readText(dir / "f");
        ASSERT_TRUE(seen == a || seen == b) << "mixed content of size " << seen.size();
    }
    guard.stop();
    const std::string final = readText(dir / "f");
    EXPECT_TRUE(final == a || final == b);
    // The next write clears what the killed writer left behind.
    EXPECT_EQ(LinuxFiles().replaceFile(dir / "f", "c"), 0);
    EXPECT_THAT(entries(), ElementsAre("f"));
}

TEST(TemporaryName, OnlyTheToolsOwnPattern)
{
    EXPECT_TRUE(isToolTemporaryName(".tindrel-abcdefghij"));
    EXPECT_TRUE(isToolTemporaryName(".tindrel-0123456789"));
    for (const char *name : {".tindrel-abcdefghi", ".tindrel-abcdefghijk", ".tindrel-ABCDEFGHIJ", "tindrel-abcdefghij",
                             ".tindrel-abcde.ghij", ".tindrel-abcdefghij.pc", ".other-abcdefghij", ""})
        EXPECT_FALSE(isToolTemporaryName(name)) << name;
}

TEST_F(LinuxFilesTest, WriteRemovesOnlyStaleTemporariesOfItsOwn)
{
    const auto plantFile = [&](const std::string &name, int ageSeconds) {
        writeText(dir / name, "left");
        const timespec when[2] = {{::time(nullptr) - ageSeconds, 0}, {::time(nullptr) - ageSeconds, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), when, AT_SYMLINK_NOFOLLOW), 0);
    };
    plantFile(".tindrel-stale00001", 3600);    // a killed writer's: removed
    plantFile(".tindrel-held000001", 3600);    // a live writer's (locked): kept
    plantFile(".tindrel-fresh00001", -3600);   // changed after the write began: kept
    plantFile(".tindrel-short", 3600);         // not the tool's naming: kept
    plantFile(".tindrel-stale00001.pc", 3600);
    plantFile("tindrel-stale000001", 3600);
    writeText(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", dir / ".tindrel-link000001");
    fs::create_directory(dir / ".tindrel-dir0000001");
    plantFile("linked", 3600);
    fs::create_hard_link(dir / "linked", dir / ".tindrel-hard000001");
    const bool root = ::geteuid() == 0;
    if (root) {
        plantFile(".tindrel-other00001", 3600);
        ASSERT_EQ(::chown((dir / ".tindrel-other00001").c_str(), 1, 1), 0);
    }
    const int held = ::open((dir / ".tindrel-held000001").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(LinuxFiles().replaceFile(dir / "target", "new"), 0);
    ::close(held);
    auto expected = std::vector<std::string>{".tindrel-dir0000001",
                                             ".tindrel-fresh00001",
                                             ".tindrel-hard000001",
                                             ".tindrel-held000001",
                                             ".tindrel-link000001",
                                             ".tindrel-short",
                                             ".tindrel-stale00001.pc",
                                             "linked",
                                             "target",
                                             "tindrel-stale000001",
                                             "victim"};
    if (root)
        expected.push_back(".tindrel-other00001");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(readText(dir / "victim"), "precious");
    EXPECT_EQ(readText(dir / "target"), "new");
}

TEST_F(LinuxFilesTest, MakeDirectoryCreatesOneLevelOnly)
{
    LinuxFiles files;
    EXPECT_EQ(files.makeDirectory(dir / "d", 0755), Files::DirectoryResult::Created);
    EXPECT_EQ(modeOf(dir / "d"), 0755u);
    EXPECT_EQ(files.makeDirectory(dir / "d", 0755), Files::DirectoryResult::Existed);
    EXPECT_EQ(files.makeDirectory(dir / "x" / "y", 0755), Files::DirectoryResult::Failed);
    EXPECT_FALSE(fs::exists(dir / "x"));
    EXPECT_TRUE(files.changeOwner(dir / "d", ::geteuid(), ::getegid()));
    EXPECT_FALSE(files.changeOwner(dir / "x", ::geteuid(), ::getegid()));
}

TEST_F(LinuxFilesTest, LockedOpenIsExclusiveAndChangesTheOpenedFile)
{
    LinuxFiles files;
    writeText(dir / "tool", "elf");
    ASSERT_EQ(::chmod((dir / "tool").c_str(), 0777), 0);
    auto first = files.openLocked(dir / "tool");
    ASSERT_TRUE(first);
    EXPECT_FALSE(files.openLocked(dir / "tool"));   // already locked
    const auto status = first->status();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->mode, 0777u);
    struct stat st { };
    ASSERT_EQ(::stat((dir / "tool").c_str(), &st), 0);
    EXPECT_EQ(status->identity, (FileIdentity{st.st_dev, st.st_ino}));
    EXPECT_TRUE(first->changeMode(04755));
    EXPECT_EQ(modeOf(dir / "tool"), 04755u);
    first.reset();
    EXPECT_TRUE(files.openLocked(dir / "tool"));
    fs::create_symlink(dir / "tool", dir / "toollink");
    EXPECT_FALSE(files.openLocked(dir / "toollink"));
}

TEST(ProcSelfLocator, NamesTheRunningExecutable)
{
    ProcSelfLocator self;
    const auto path = self.ownPath();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, fs::read_symlink("/proc/self/exe").string());
    struct stat st { };
    ASSERT_EQ(::stat(path->c_str(), &st), 0);
    EXPECT_EQ(self.runningImage(), (FileIdentity{st.st_dev, st.st_ino}));
}

TEST(ProcessStartTime, MatchesOwnStat)
{
    const auto own = processStartTime(::getpid());
    ASSERT_TRUE(own);
    EXPECT_EQ(processStartTime(::getpid()), own);
    EXPECT_FALSE(processStartTime(-1));
}

TEST(FdByteSource, ReportsDataThenEnd)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "abc", 3), 3);
    ::close(fds[1]);
    FdByteSource source(fds[0]);
    std::array<std::byte, 8> buffer;
    const auto got = source.read(buffer);
    EXPECT_EQ(got.status, ByteSource::Status::Data);
    EXPECT_EQ(got.count, 3u);
    EXPECT_EQ(source.read(buffer).status, ByteSource::Status::End);
    ::close(fds[0]);
    EXPECT_EQ(source.read(buffer).status, ByteSource::Status::Error);
}

using ChildProgramTest = Scratch;

TEST_F(ChildProgramTest, ServiceManagerGetsVerbAndTargetAsTwoArgumentsAndAMinimalEnvironment)
{
    const auto out = dir / "args";
    const auto env = dir / "env";
    const auto manager = script("manager", "printf '%s\\n' \"$@\" > " + out.string() + "\n/usr/bin/env > " +
                                               env.string() + "\nhead -c 300000 /dev/zero\nexit 3\n");
    ::setenv("TINDREL_SECRET_LEAK", "1", 1);
    ProgramServiceManager serviceManager(manager);
    // A failing run still counts as run; a flood of output cannot block it.
    EXPECT_TRUE(serviceManager.run("stop", "a b; touch " + (dir / "pwned").string()));
    ::unsetenv("TINDREL_SECRET_LEAK");
    EXPECT_THAT(lines(readText(out)), ElementsAre("stop", "a b; touch " + (dir / "pwned").string()));
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    const std::string environment = readText(env);
    EXPECT_THAT(environment, HasSubstr("PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"));
    EXPECT_THAT(environment, HasSubstr("LC_ALL=C\n"));
    EXPECT_THAT(environment, Not(HasSubstr("TINDREL_SECRET_LEAK")));
}

TEST_F(ChildProgramTest, ChildrenGetTheDefaultSigpipeAndAResetPriority)
{
    // The tool itself ignores SIGPIPE (as this test process does); a child
    // that inherited that would run on after its reader is gone.
    const auto nice = dir / "nice";
    const auto child = script("child", "cut -d' ' -f19 /proc/$$/stat > " + nice.string() + "\nkill -PIPE $$\nexit 9\n");
    const bool privileged = ::geteuid() == 0;
    if (privileged) {
        ASSERT_EQ(::setpriority(PRIO_PROCESS, 0, 12), 0);   // as a caller could renice us
    }
    const auto result = runProgramAndWait(child, {child.string()});
    if (privileged) {
        ASSERT_EQ(::setpriority(PRIO_PROCESS, 0, 0), 0);
    }
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.exit.waited);
    EXPECT_FALSE(result.exit.exitedNormally);   // killed by SIGPIPE, not exit 9
    if (privileged) {
        EXPECT_EQ(readText(nice), "0\n");
    }
}

TEST_F(ChildProgramTest, ProgramsThatCannotBeExecutedAreReportedAsNotStarted)
{
    ProgramServiceManager serviceManager((dir / "absent").string());
    EXPECT_FALSE(serviceManager.run("load", "x"));
    writeText(dir / "notexecutable", "#!/bin/sh\n");
    EXPECT_FALSE(ProgramServiceManager(dir / "notexecutable").run("load", "x"));
    EXPECT_FALSE(PkexecExecution((dir / "absent").string()).start("/x", "--self-repair"));
}

TEST_F(ChildProgramTest, DriverLoaderMapsAbsentPackageAndLoaderStatuses)
{
    const auto marker = dir / "ran";
    const auto package = dir / "driver";
    const auto status = dir / "status";
    const auto loader =
        script("loader", "echo \"$1\" > " + marker.string() + "\nexit $(cat " + status.string() + ")\n");
    PackageDriverLoader driver(package, loader);
    EXPECT_EQ(driver.load(), DriverLoader::Result::NotFound);
    EXPECT_FALSE(fs::exists(marker));

    fs::create_directory(package);
    const std::pair<int, DriverLoader::Result> table[] = {
        {0, DriverLoader::Result::Loaded},          {5, DriverLoader::Result::NotFound},
        {6, DriverLoader::Result::BlockedByPolicy}, {7, DriverLoader::Result::AuthenticationFailed},
        {1, DriverLoader::Result::Failed},
    };
    for (const auto &[code, expected] : table) {
        writeText(status, std::to_string(code));
        EXPECT_EQ(driver.load(), expected) << code;
    }
    EXPECT_EQ(readText(marker), package.string() + "\n");
    EXPECT_EQ(PackageDriverLoader(package, dir / "absent").load(), DriverLoader::Result::Failed);
}

TEST_F(ChildProgramTest, PrivilegedExecutionFeedsTheChildAndPassesItsStatus)
{
    const auto args = dir / "args";
    const auto received = dir / "received";
    const auto pkexec =
        script("pkexec", "echo \"$@\" > " + args.string() + "\ncat > " + received.string() + "\nexit 7\n");
    PkexecExecution execution(pkexec);
    auto child = execution.start("/opt/raiseTool", "--self-repair");
    ASSERT_TRUE(child);
    const std::string payload(20000, 'q');
    EXPECT_TRUE(child->write(std::as_bytes(std::span(payload))));
    child->closeInput();
    const auto exit = child->wait();
    EXPECT_TRUE(exit.waited);
    EXPECT_TRUE(exit.exitedNormally);
    EXPECT_EQ(exit.status, 7);
    EXPECT_EQ(readText(args), "/opt/raiseTool --self-repair\n");
    EXPECT_EQ(readText(received), payload);
}

TEST_F(ChildProgramTest, PrivilegedChildThatStopsReadingOrIsKilledIsReportedNotFatal)
{
    PkexecExecution quits(script("quits", "exit 0\n"));
    auto child = quits.start("/x", "--self-repair");
    ASSERT_TRUE(child);
    const std::string payload(1 << 20, 'q');
    EXPECT_FALSE(child->write(std::as_bytes(std::span(payload))));   // EPIPE, not SIGPIPE
    EXPECT_TRUE(child->wait().exitedNormally);

    PkexecExecution killed(script("killed", "kill -9 $$\n"));
    auto victim = killed.start("/x", "--self-repair");
    ASSERT_TRUE(victim);
    const auto exit = victim->wait();
    EXPECT_TRUE(exit.waited);
    EXPECT_FALSE(exit.exitedNormally);
}

}   // namespace

using UrlOpenerTest = Scratch;

TEST_F(UrlOpenerTest, HandsTheUrlAsOneArgumentWithoutWaitingForTheOpener)
{
    const std::string out = (dir / "opened").string();
    const std::string go = (dir / "go").string();
    // The opener lingers, like a browser starting, until the test lets it
    // go: a openUrl that waited for it would never return.
    const fs::path opener = script("opener", "printf '%s|%s' \"$1\" \"$#\" > '" + out + ".part'\nwhile [ ! -e '" + go +
                                                 "' ]; do sleep 0.05; done\nmv '" + out + ".part' '" + out + "'\n");
    XdgUrlOpener urls(opener.string());
    ASSERT_TRUE(urls.openUrl("http://192.168.7.30 x"));
    writeText(go, "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(out) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(readText(out), "http://192.168.7.30 x|1");
}

TEST_F(UrlOpenerTest, RefusesWhatWouldBeAnOptionAndAMissingOpener)
{
    const fs::path out = dir / "opened";
    XdgUrlOpener urls(script("opener", "echo \"$1\" > '" + out.string() + "'\n").string());
    EXPECT_FALSE(urls.openUrl("--help"));
    EXPECT_FALSE(urls.openUrl(""));
    EXPECT_FALSE(XdgUrlOpener((dir / "no-such-opener").string()).openUrl("http://10.0.0.1"));
    EXPECT_FALSE(fs::exists(out));
}
