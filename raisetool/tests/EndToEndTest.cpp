// End-to-end tests of the built raiseTool executable. They run as root and
// start the tool from a separate caller process, as the control panel does:
// the caller writes the authorization naming itself and the command block to
// the tool's standard input. Tests in the Polkit suite need a polkit daemon
// and are run by private-polkit.sh (TINDREL_E2E_POLKIT=1); elsewhere they
// report skipped.
#include "LinuxServices.h"
#include "Paths.h"
#include "Protocol.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

using namespace tindrel;
using namespace tindrel::raisetool;
using platform::ProcessSubject;
namespace fs = std::filesystem;

namespace {

const fs::path kTool = RAISETOOL_PATH;

struct Caller {
    uid_t uid = 0;
    gid_t gid = 0;
    std::size_t piece = SIZE_MAX;   // bytes per write
};

using InputMaker = std::function<std::vector<std::byte>(const ProcessSubject &)>;

std::vector<std::byte> bytes(std::span<const std::byte> span) { return {span.begin(), span.end()}; }

// The authorization naming the caller, then the tail.
InputMaker authorized(std::span<const std::byte> tail, std::function<void(ProcessSubject &)> alter = {})
{
    std::vector<std::byte> copy(tail.begin(), tail.end());
    return [copy, alter](const ProcessSubject &me) {
        ProcessSubject subject = me;
        if (alter)
            alter(subject);
        const auto form = platform::encodeAuthorizationForm(subject);
        std::vector<std::byte> out(form.size() + copy.size());
        std::copy(form.begin(), form.end(), out.begin());
        std::copy(copy.begin(), copy.end(), out.begin() + static_cast<std::ptrdiff_t>(form.size()));
        return out;
    };
}

InputMaker raw(std::vector<std::byte> input)
{
    return [input](const ProcessSubject &) { return input; };
}

// Runs the tool from a forked caller process; returns its exit status, or
// -1 when it did not end normally (or the caller failed).
int runTool(const fs::path &tool, const std::vector<std::string> &args, const InputMaker &input, Caller caller = {})
{
    int result[2];
    if (::pipe2(result, O_CLOEXEC) != 0)
        return -1;
    const pid_t callerPid = ::fork();
    if (callerPid == 0) {
        ::close(result[0]);
        int status = -1;
        if (caller.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(caller.gid, caller.gid, caller.gid) != 0 ||
                                ::setresuid(caller.uid, caller.uid, caller.uid) != 0))
            ::_exit(1);
        const auto start = platform::linux_impl::processStartTime(::getpid());
        const auto data = input(ProcessSubject{::getpid(), start.value_or(0), ::getuid()});
        int in[2];
        if (!start || ::pipe(in) != 0)
            ::_exit(1);
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        char *envp[] = {nullptr};
        const pid_t toolPid = ::fork();
        if (toolPid == 0) {
            ::dup2(in[0], 0);
            ::close(in[0]);
            ::close(in[1]);
            ::execve(tool.c_str(), argv.data(), envp);
            ::_exit(126);
        }
        ::close(in[0]);
        ::signal(SIGPIPE, SIG_IGN);
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t n = std::min(caller.piece, data.size() - at);
            const ssize_t written = ::write(in[1], data.data() + at, n);
            if (written <= 0)
                break;
            at += static_cast<std::size_t>(written);
            ::sched_yield();
        }
        ::close(in[1]);
        int raw = 0;
        if (::waitpid(toolPid, &raw, 0) == toolPid && WIFEXITED(raw))
            status = WEXITSTATUS(raw);
        [[maybe_unused]] auto ignored = ::write(result[1], &status, sizeof status);
        ::_exit(0);
    }
    ::close(result[1]);
    int status = -1;
    if (callerPid < 0 || ::read(result[0], &status, sizeof status) != sizeof status)
        status = -1;
    ::close(result[0]);
    if (callerPid > 0)
        ::waitpid(callerPid, nullptr, 0);
    return status;
}

int run(const InputMaker &input, Caller caller = {}, const fs::path &tool = kTool)
{
    return runTool(tool, {tool.string()}, input, caller);
}

std::string readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct StatInfo {
    uid_t uid;
    gid_t gid;
    mode_t mode;
};

StatInfo statOf(const fs::path &path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return {st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
}

Caller userCaller(const char *name, std::size_t piece = SIZE_MAX)
{
    const passwd *pw = ::getpwnam(name);
    return pw ? Caller{pw->pw_uid, pw->pw_gid, piece} : Caller{};
}

class EndToEnd : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "end-to-end tests run as root";
        char pattern[] = "/tmp/tindrel-e2e-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir = pattern;
        fs::permissions(dir, fs::perms(0755));
    }
    void TearDown() override
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }
    // A copy of the tool with the given owner and mode.
    fs::path toolCopy(uid_t uid, gid_t gid, mode_t mode)
    {
        const fs::path copy = dir / "raiseTool";
        fs::copy_file(kTool, copy, fs::copy_options::overwrite_existing);
        EXPECT_EQ(::chown(copy.c_str(), uid, gid), 0);
        EXPECT_EQ(::chmod(copy.c_str(), mode), 0);
        return copy;
    }
    static bool systemBusPresent() { return fs::exists("/run/dbus/system_bus_socket"); }
};

TEST_F(EndToEnd, AnyArgumentsButNoneOrTheRepairEnd255)
{
    const auto driver = authorized(makeLoadDriverBlock());
    // With argc 0 (or the kernel's forced empty argv[0]) and no input.
    EXPECT_EQ(runTool(kTool, {}, raw({})), 255);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{kTool, "x"}, {kTool, "--self-repair", "x"}, {kTool, "--SELF-REPAIR"}, {kTool, ""}})
        EXPECT_EQ(runTool(kTool, args, driver), 255) << args.back();
}

TEST_F(EndToEnd, AuthorizationMustNameTheActualParent)
{
    const auto block = makeLoadDriverBlock();
    EXPECT_EQ(run(raw({})), 255);
    EXPECT_EQ(run(raw(std::vector<std::byte>(31))), 255);
    EXPECT_EQ(run(raw(std::vector<std::byte>(32 + kBlockSize))), 255);
    EXPECT_EQ(run(authorized(block, [](ProcessSubject &s) { s.pid = ::getppid(); })), 255);
    EXPECT_EQ(run(authorized(block, [](ProcessSubject &s) { s.startTime += 1; })), 255);
    EXPECT_EQ(run(authorized(block, [](ProcessSubject &s) { s.uid = 1234; })), 255);
    if (fs::exists(paths::kDriverPackage))
        GTEST_SKIP() << "a driver package is installed here";
    // The driver command needs no right: it runs and finds no package.
    EXPECT_EQ(run(authorized(block)), 5);
}

TEST_F(EndToEnd, ShortBlockEnds2AndChangesNothing)
{
    const fs::path target = dir / "new.pc";
    auto block = bytes(*makeWriteFileBlock(target.string(), "x"));
    block.pop_back();
    EXPECT_EQ(run(authorized(block)), 2);
    EXPECT_EQ(run(authorized({}), userCaller("root", 1000)), 2);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(EndToEnd, CommandAbove3Ends3)
{
    EXPECT_EQ(run(authorized(makeRawBlock(1, 4))), 3);
    EXPECT_EQ(run(authorized(makeRawBlock(1, 0x80000000u))), 3);
}

TEST_F(EndToEnd, WithoutAnAuthorityNothingIsWrittenOrDeleted)
{
    if (systemBusPresent())
        GTEST_SKIP() << "a system bus is running here; the Polkit suite covers this";
    const fs::path target = dir / "a.pc";
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(target.string(), "x"))), 3);
    EXPECT_FALSE(fs::exists(target));
    std::ofstream(dir / "keep") << "kept";
    EXPECT_EQ(run(authorized(*makeDeleteFileBlock((dir / "keep").string()))), 3);
    EXPECT_EQ(readText(dir / "keep"), "kept");
}

TEST_F(EndToEnd, RepairRunMakesTheToolRootOwnedSetUidWithoutGroupOrOtherWrite)
{
    const auto tool = toolCopy(1, 1, 0777);
    auto block = bytes(makeRawBlock(1, 4));
    EXPECT_EQ(runTool(tool, {tool.string(), "--self-repair"}, raw(block)), 3);
    const auto after = statOf(tool);
    EXPECT_EQ(after.uid, 0u);
    EXPECT_EQ(after.gid, 1u);
    EXPECT_EQ(after.mode, 04755u);

    ASSERT_EQ(::chmod(tool.c_str(), 0664 | 0111), 0);
    block.pop_back();
    EXPECT_EQ(runTool(tool, {tool.string(), "--self-repair"}, raw(block)), 2);
    EXPECT_EQ(statOf(tool).mode, 04755u);
}

TEST_F(EndToEnd, OrdinaryUserCannotUseTheRepairRunOfASetUidTool)
{
    const Caller nobody = userCaller("nobody");
    ASSERT_NE(nobody.uid, 0u);
    const auto tool = toolCopy(0, 0, 04775);
    const fs::path target = dir / "a.pc";
    EXPECT_EQ(
        runTool(tool, {tool.string(), "--self-repair"}, raw(bytes(*makeWriteFileBlock(target.string(), "x"))), nobody),
        255);
    EXPECT_EQ(statOf(tool).mode, 04775u);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(EndToEnd, SetUidToolServesAnOrdinaryCallerThatNamesItself)
{
    const Caller nobody = userCaller("nobody");
    const auto tool = toolCopy(0, 0, 04755);
    EXPECT_EQ(run(authorized(makeRawBlock(1, 4)), nobody, tool), 3);
    EXPECT_EQ(run(authorized(makeRawBlock(1, 4), [](ProcessSubject &s) { s.uid = 0; }), nobody, tool), 255);
    if (!fs::exists(paths::kDriverPackage)) {
        EXPECT_EQ(run(authorized(makeLoadDriverBlock()), nobody, tool), 5);
    }
}

TEST_F(EndToEnd, OrdinaryCallerOfAToolThatIsNotSetUidGetsNothingDone)
{
    // The tool tries its repair through pkexec, which cannot authorize
    // anybody here (no agent; or not installed: 255).
    const Caller nobody = userCaller("nobody");
    const auto tool = toolCopy(0, 0, 0755);
    const fs::path target = dir / "a.pc";
    const int status = run(authorized(*makeWriteFileBlock(target.string(), "x")), nobody, tool);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(statOf(tool).mode, 0755u);
}

// ---- With a polkit daemon (run by private-polkit.sh) ------------------------
// private-polkit.sh runs these with a private copy of /etc mounted, so they
// can write the panel's own files where the tool allows writing.

const fs::path kServerDir = "/etc/tindrel22networkserver";
const fs::path kConfig = paths::kServerConfigFile;
const fs::path kDictionaryDir = paths::kServerDictionaryDir;
const fs::path kServiceFile = paths::kServerServiceDescription;

class Polkit : public EndToEnd {
protected:
    void SetUp() override
    {
        if (!std::getenv("TINDREL_E2E_POLKIT") || !std::getenv("TINDREL_E2E_PRIVATE_ETC"))
            GTEST_SKIP() << "needs the private polkit daemon and /etc of private-polkit.sh";
        EndToEnd::SetUp();
        clearPanelFiles();
    }
    void TearDown() override
    {
        if (std::getenv("TINDREL_E2E_PRIVATE_ETC"))
            clearPanelFiles();
        EndToEnd::TearDown();
    }
    static void clearPanelFiles()
    {
        fs::remove_all(kServerDir);
        fs::remove(kServiceFile);
    }
};

TEST_F(Polkit, WriteCreatesOneDirectoryLevelThenTheFile)
{
    ::umask(077);   // the caller's mask must not shape what root creates
    // The dictionary folder's parent is missing too: nothing is created.
    EXPECT_EQ(run(authorized(*makeWriteFileBlock((kDictionaryDir / "lab").string(), "x"))), 4);
    EXPECT_FALSE(fs::exists(kServerDir));

    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "key=1\n"))), 0);
    EXPECT_EQ(readText(kConfig), "key=1\n");
    const auto created = statOf(kServerDir);
    EXPECT_EQ(created.mode, 0755u);
    EXPECT_EQ(created.uid, 0u);
    EXPECT_EQ(created.gid, 0u);
    EXPECT_EQ(statOf(kConfig).mode, 0644u);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock((kDictionaryDir / "lab").string(), "d\n"))), 0);
    EXPECT_EQ(readText(kDictionaryDir / "lab"), "d\n");
}

TEST_F(Polkit, WriteReplacesWholeContentKeepingModeAndOwner)
{
    fs::create_directory(kServerDir);
    std::ofstream(kConfig) << "a much longer old content\n";
    ASSERT_EQ(::chown(kConfig.c_str(), 1, 1), 0);
    ASSERT_EQ(::chmod(kConfig.c_str(), 0600), 0);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "new\n"))), 0);
    EXPECT_EQ(readText(kConfig), "new\n");
    const auto info = statOf(kConfig);
    EXPECT_EQ(info.uid, 1u);
    EXPECT_EQ(info.mode, 0600u);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), ""))), 0);
    EXPECT_EQ(fs::file_size(kConfig), 0u);
    // A block sent in small pieces arrives whole.
    const std::string big(16383, 'z');
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), big)), userCaller("root", 7)), 0);
    EXPECT_EQ(readText(kConfig), big);
}

TEST_F(Polkit, PlantedSymlinkAtTheTargetIsNeverFollowed)
{
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, kServiceFile);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kServiceFile.string(), "evil"))), 4);
    EXPECT_EQ(readText(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(kServiceFile));
    EXPECT_EQ(run(authorized(*makeDeleteFileBlock(kServiceFile.string()))), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(kServiceFile)));
    EXPECT_EQ(readText(victim), "precious");
}

TEST_F(Polkit, DeleteRemovesAndAMissingFileEnds4)
{
    fs::create_directory(kServerDir);
    std::ofstream(kConfig) << "x";
    EXPECT_EQ(run(authorized(*makeDeleteFileBlock(kConfig.string()))), 0);
    EXPECT_FALSE(fs::exists(kConfig));
    EXPECT_EQ(run(authorized(*makeDeleteFileBlock(kConfig.string()))), 4);
}

TEST_F(Polkit, PathsOutsideThePanelsFilesAndOversizedFieldsEnd4AndChangeNothing)
{
    for (const std::string &path : {std::string("relative.pc"), dir.string() + "/../escaped.pc", std::string(""),
                                    dir.string() + "/", (dir / "a.pc").string(), (kDictionaryDir / ".x").string()})
        EXPECT_EQ(run(authorized(*makeWriteFileBlock(path, "x"))), 4) << path;
    const fs::path sudoers = "/etc/sudoers.d/tindrel-e2e";
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(sudoers.string(), "nobody ALL=(ALL) NOPASSWD: ALL\n"))), 4);
    EXPECT_FALSE(fs::exists(sudoers));
    std::ofstream(dir / "keep") << "kept";
    EXPECT_EQ(run(authorized(*makeDeleteFileBlock((dir / "keep").string()))), 4);
    EXPECT_EQ(readText(dir / "keep"), "kept");
    fs::remove(dir / "keep");
    Block noNul = *makeWriteFileBlock(kConfig.string(), "x");
    std::memset(noNul.data() + kPathOffset, 'a', kPathSize);
    EXPECT_EQ(run(authorized(noNul)), 4);
    Block fullContent = *makeWriteFileBlock(kConfig.string(), "x");
    std::memset(fullContent.data() + kContentOffset, 'c', kContentSize);
    EXPECT_EQ(run(authorized(fullContent)), 4);
    Block longVerb = *makeServiceBlock(std::string(paths::kServerServiceLabel), "stop");
    std::memset(longVerb.data() + kVerbOffset, 's', kVerbSize);
    EXPECT_EQ(run(authorized(longVerb)), 4);
    EXPECT_EQ(run(authorized(*makeServiceBlock(std::string(paths::kServerServiceLabel), "restart"))), 4);
    EXPECT_EQ(run(authorized(*makeServiceBlock("ssh.service", "stop"))), 4);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escaped.pc"));
    EXPECT_FALSE(fs::exists(kServerDir));
}

TEST_F(Polkit, ServiceCommandWithoutItsServiceManagerEnds4)
{
    if (fs::exists(paths::kServiceManagerProgram))
        GTEST_SKIP() << "a service manager is installed here";
    EXPECT_EQ(run(authorized(*makeServiceBlock(std::string(paths::kServerServiceLabel), "start"))), 4);
}

TEST_F(Polkit, GrantedCallerIsServedAndOthersAreRefused)
{
    const Caller granted = userCaller("daemon");
    const Caller refused = userCaller("nobody");
    ASSERT_NE(granted.uid, 0u);
    const auto tool = toolCopy(0, 0, 04755);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "x")), refused, tool), 3);
    EXPECT_FALSE(fs::exists(kServerDir));
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "x", 9)), granted, tool), 3);
    EXPECT_FALSE(fs::exists(kServerDir));
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "x")), granted, tool), 0);
    EXPECT_EQ(readText(kConfig), "x");
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "y", 2)), granted, tool), 0);
    EXPECT_EQ(readText(kConfig), "y");
}

// "sys" has the user right outright and everything else only on its own
// password: a desktop user typing its own password. It must change nothing.
TEST_F(Polkit, CallerAllowedOnlyOnItsOwnPasswordChangesNothing)
{
    const Caller self = userCaller("sys");
    ASSERT_NE(self.uid, 0u);
    const auto tool = toolCopy(0, 0, 04755);
    fs::create_directory(kServerDir);
    std::ofstream(kConfig) << "old";
    for (std::uint32_t right : {1u, 2u}) {
        EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "owned", right)), self, tool), 3);
        EXPECT_EQ(run(authorized(*makeWriteFileBlock((kDictionaryDir / "x").string(), "owned", right)), self, tool), 3);
        EXPECT_EQ(run(authorized(*makeDeleteFileBlock(kConfig.string(), right)), self, tool), 3);
        EXPECT_EQ(
            run(authorized(*makeServiceBlock(std::string(paths::kServerServiceLabel), "stop", right)), self, tool), 3);
    }
    EXPECT_EQ(readText(kConfig), "old");
    EXPECT_FALSE(fs::exists(kDictionaryDir));
}

TEST_F(Polkit, ToolWithoutSetUidRepairsItselfThroughPkexecForAGrantedCallerOnly)
{
    if (!fs::exists(paths::kPrivilegedExecutionProgram))
        GTEST_SKIP() << "pkexec is not installed";
    const Caller granted = userCaller("daemon");
    const Caller refused = userCaller("nobody");

    auto tool = toolCopy(refused.uid, refused.gid, 0775);
    EXPECT_NE(run(authorized(*makeWriteFileBlock(kConfig.string(), "x")), refused, tool), 0);
    EXPECT_FALSE(fs::exists(kServerDir));
    EXPECT_EQ(statOf(tool).mode, 0775u);

    tool = toolCopy(granted.uid, granted.gid, 0775);
    EXPECT_EQ(run(authorized(*makeWriteFileBlock(kConfig.string(), "repaired\n")), granted, tool), 0);
    EXPECT_EQ(readText(kConfig), "repaired\n");
    const auto after = statOf(tool);
    EXPECT_EQ(after.uid, 0u);
    EXPECT_EQ(after.gid, granted.gid);
    EXPECT_EQ(after.mode, 04755u);
}

}   // namespace
