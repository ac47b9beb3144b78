#include "Tool.h"
#include "FakeServices.h"
#include "Paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace tindrel::raisetool;
using namespace tindrel::platform;
using namespace tindrel::platform::fakes;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::byte> bytesOf(std::span<const std::byte> span) { return {span.begin(), span.end()}; }

const std::string kServerDir = "/etc/tindrel22networkserver";
const std::string kConfig(tindrel::paths::kServerConfigFile);
const std::string kDictionaryDir(tindrel::paths::kServerDictionaryDir);
const std::string kServiceFile(tindrel::paths::kServerServiceDescription);
const std::string kLabel(tindrel::paths::kServerServiceLabel);

class ToolTest : public ::testing::Test {
protected:
    FakeSelf self;
    FakeAuthority authority;
    FakePrivilegedExecution privileged;
    FakeFiles files;
    FakeServiceManager serviceManager;
    FakeDriver driver;
    FakeLog log;
    FakeIdentity identity;
    std::unique_ptr<FakeInput> input;

    ToolTest()
    {
        authority.grant("com.tindrels.raisetool.admin");
        files.addDirectory("/etc");
        files.addDirectory("/etc/systemd");
        files.addDirectory("/etc/systemd/system");
    }

    // Authorization bytes followed by the block (or the given raw tail).
    static std::vector<std::byte> withAuthorization(std::span<const std::byte> tail)
    {
        std::vector<std::byte> bytes(32, std::byte{0x5a});
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    }

    int runWith(RunMode mode, std::vector<std::byte> bytes, std::size_t piece = SIZE_MAX, bool interrupt = false,
                bool endWithError = false)
    {
        input = std::make_unique<FakeInput>(std::move(bytes), piece, interrupt, endWithError);
        Services services{*input, self, authority, privileged, files, serviceManager, driver, log, identity};
        return run(mode, services);
    }

    int runNormal(const Block &block) { return runWith(RunMode::Normal, withAuthorization(block)); }
};

TEST(RunMode, OnlyTheBareProgramOrTheRepairArgumentStartAWork)
{
    const char *none[] = {nullptr};
    const char *bare[] = {"raiseTool", nullptr};
    const char *repair[] = {"raiseTool", "--self-repair", nullptr};
    const char *stray[] = {"raiseTool", "--help", nullptr};
    const char *repairPlus[] = {"raiseTool", "--self-repair", "x", nullptr};
    const char *nullName[] = {nullptr, "--self-repair", nullptr};
    EXPECT_EQ(runModeFromArguments(0, none), RunMode::Refused);
    EXPECT_EQ(runModeFromArguments(1, bare), RunMode::Normal);
    EXPECT_EQ(runModeFromArguments(2, repair), RunMode::SelfRepair);
    EXPECT_EQ(runModeFromArguments(2, stray), RunMode::Refused);
    EXPECT_EQ(runModeFromArguments(3, repairPlus), RunMode::Refused);
    EXPECT_EQ(runModeFromArguments(2, nullName), RunMode::Refused);
}

TEST_F(ToolTest, RefusedArgumentsAndMissingOwnPathEndWith255BeforeReadingInput)
{
    EXPECT_EQ(runWith(RunMode::Refused, withAuthorization(*makeDeleteFileBlock("/a"))), 255);
    EXPECT_EQ(input->reads, 0u);
    self.path.reset();
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/a")), 255);
    EXPECT_EQ(input->reads, 0u);
}

TEST_F(ToolTest, MissingOrRefusedAuthorizationEndsWith255)
{
    EXPECT_EQ(runWith(RunMode::Normal, std::vector<std::byte>(31)), 255);
    EXPECT_THAT(authority.forms, IsEmpty());
    authority.acceptForm = false;
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/a")), 255);
    EXPECT_THAT(authority.asked, IsEmpty());
    EXPECT_EQ(privileged.starts, 0);
}

TEST_F(ToolTest, ShortBlockEndsWith2AndChangesNothing)
{
    files.addFile("/etc/a", "old");
    const auto block = *makeDeleteFileBlock("/etc/a");
    auto bytes = withAuthorization(block);
    bytes.pop_back();
    EXPECT_EQ(runWith(RunMode::Normal, bytes), 2);
    EXPECT_EQ(runWith(RunMode::Normal, bytes, 100, true, true), 2);   // input failing after the bytes
    EXPECT_EQ(runWith(RunMode::Normal, withAuthorization({})), 2);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(authority.asked, IsEmpty());
}

TEST_F(ToolTest, BlockArrivingInSmallInterruptedPiecesIsReadWhole)
{
    const auto block = *makeWriteFileBlock(kConfig, "key=value\n");
    EXPECT_EQ(runWith(RunMode::Normal, withAuthorization(block), 7, true), 0);
    EXPECT_EQ(files.find(kConfig)->content, "key=value\n");
    Authority::ExternalForm form;
    form.fill(std::byte{0x5a});
    EXPECT_EQ(authority.forms.at(0), form);
}

TEST_F(ToolTest, CommandAbove3Ends3BeforeAnyRightIsAsked)
{
    EXPECT_EQ(runNormal(makeRawBlock(1, 4)), 3);
    EXPECT_EQ(runNormal(makeRawBlock(1, 0xffffffffu)), 3);
    EXPECT_THAT(authority.asked, IsEmpty());
}

TEST_F(ToolTest, DriverLoadNeedsNoRightAndMapsEveryResult)
{
    authority.granted.clear();
    const std::pair<DriverLoader::Result, int> table[] = {
        {DriverLoader::Result::Loaded, 0},          {DriverLoader::Result::NotFound, 5},
        {DriverLoader::Result::BlockedByPolicy, 6}, {DriverLoader::Result::AuthenticationFailed, 7},
        {DriverLoader::Result::Failed, 4},
    };
    for (const auto &[result, status] : table) {
        driver.result = result;
        EXPECT_EQ(runNormal(makeLoadDriverBlock(0)), status);
    }
    EXPECT_EQ(driver.loads, 5);
    EXPECT_THAT(authority.asked, IsEmpty());
}

TEST_F(ToolTest, RightFieldChoosesTheActionAndRefusalChangesNothing)
{
    files.addFile("/etc/a", "old");
    authority.granted.clear();
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a", 1)), 3);
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a", 2)), 3);
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a", 9)), 3);
    EXPECT_EQ(runNormal(*makeServiceBlock("x", "stop", 0)), 3);
    EXPECT_THAT(authority.asked, ElementsAre("com.tindrels.raisetool.admin", "com.tindrels.raisetool.user",
                                             "system.unknown", "system.unknown"));
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(serviceManager.runs, IsEmpty());
}

TEST_F(ToolTest, CallerWithOnlyItsOwnPasswordChangesNothing)
{
    // The attack: a desktop user names the "user" right, which an older
    // policy let it grant itself with its own password.
    files.addDirectory(kServerDir);
    files.addFile(kConfig, "old");
    authority.granted.clear();
    authority.grant("com.tindrels.raisetool.user", FakeAuthority::Proof::OwnPassword);
    for (std::uint32_t right : {1u, 2u, 9u}) {
        EXPECT_EQ(runNormal(*makeWriteFileBlock(kConfig, "owned", right)), 3);
        EXPECT_EQ(runNormal(*makeDeleteFileBlock(kConfig, right)), 3);
        EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "stop", right)), 3);
    }
    EXPECT_EQ(files.find(kConfig)->content, "old");
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(serviceManager.runs, IsEmpty());
    EXPECT_FALSE(authority.administratorAuthorized);
    EXPECT_EQ(std::count(authority.asked.begin(), authority.asked.end(), "com.tindrels.raisetool.admin"), 6);
}

TEST_F(ToolTest, UserRightServesOnlyWhenAnAdministratorAlsoAllowedIt)
{
    files.addDirectory(kServerDir);
    files.addFile(kConfig, "old");
    authority.grant("com.tindrels.raisetool.user");
    EXPECT_EQ(runNormal(*makeDeleteFileBlock(kConfig, 2)), 0);
    EXPECT_EQ(files.find(kConfig), nullptr);
    EXPECT_THAT(authority.asked, ElementsAre("com.tindrels.raisetool.user", "com.tindrels.raisetool.admin"));
    EXPECT_TRUE(authority.administratorAuthorized);
}

TEST_F(ToolTest, AnythingOutsideThePanelsFilesAndServiceEnds4AndChangesNothing)
{
    files.addDirectory("/etc/sudoers.d");
    files.addFile("/etc/passwd", "root:x:0:0::/root:/bin/sh\n");
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/sudoers.d/me", "me ALL=(ALL) NOPASSWD: ALL\n")), 4);
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kDictionaryDir + "/../../sudoers.d/me", "x")), 4);
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/passwd")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock("ssh.service", "stop")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock("/etc/systemd/system/evil.service", "load")), 4);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(serviceManager.runs, IsEmpty());
    EXPECT_EQ(files.find("/etc/sudoers.d/me"), nullptr);
    EXPECT_NE(files.find("/etc/passwd"), nullptr);
    EXPECT_THAT(log.lines, ElementsAre("Unlink file (/etc/passwd) failed: 1.\n"));
}

TEST_F(ToolTest, CallerIsTheParentReadOnceAroundItsRecord)
{
    identity.real = 1234;
    EXPECT_EQ(runNormal(makeLoadDriverBlock()), 0);
    ASSERT_FALSE(authority.callers.empty());
    EXPECT_EQ(authority.callers.front(), (ProcessSubject{4000, 777, 1234}));

    // The parent ended while its record was read: its pid may be someone
    // else's now.
    identity.parents = {4000, 1};
    EXPECT_EQ(runNormal(makeLoadDriverBlock()), 255);
    EXPECT_EQ(input->reads, 0u);
    identity.parents = {4001};   // no record
    EXPECT_EQ(runNormal(makeLoadDriverBlock()), 255);
    EXPECT_EQ(driver.loads, 1);
}

TEST_F(ToolTest, ParentChangedDuringTheRightCheckEnds255AndChangesNothing)
{
    files.addDirectory(kServerDir);
    authority.afterAnswer = [this] { identity.parents = {1}; };
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kConfig, "x")), 255);
    EXPECT_THAT(files.calls, IsEmpty());
    identity.parents = {4000};
    authority.afterAnswer = [this, n = 0]() mutable {
        if (++n == 2)
            identity.parents = {1};
    };
    authority.grant("com.tindrels.raisetool.user");
    EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "start", 2)), 255);   // after the second answer
    EXPECT_THAT(serviceManager.runs, IsEmpty());
}

TEST_F(ToolTest, WriteCreatesOneMissingDirectoryLevelOwnedByRootGroup0)
{
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kConfig, "a")), 0);
    EXPECT_THAT(files.calls,
                ElementsAre("mkdir " + kServerDir + " 755", "chown " + kServerDir + " 0:0", "replace " + kConfig));
    EXPECT_EQ(files.find(kConfig)->content, "a");

    files.calls.clear();
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kConfig, "b")), 0);
    EXPECT_THAT(files.calls, ElementsAre("mkdir " + kServerDir + " 755", "replace " + kConfig));   // left alone
}

TEST_F(ToolTest, WriteWithMissingParentCreatesNothingAndEnds4)
{
    const std::string dictionary = kDictionaryDir + "/lab.dict";
    EXPECT_EQ(runNormal(*makeWriteFileBlock(dictionary, "a")), 4);
    EXPECT_EQ(files.find(kDictionaryDir), nullptr);
    EXPECT_EQ(files.find(dictionary), nullptr);
    EXPECT_THAT(files.calls, ElementsAre("mkdir " + kDictionaryDir + " 755"));
}

TEST_F(ToolTest, WriteReplacesWholeContentIncludingToEmpty)
{
    files.addFile(kServiceFile, "a long old content", 0600, 7, 8);
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kServiceFile, "new")), 0);
    EXPECT_EQ(files.find(kServiceFile)->content, "new");
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kServiceFile, "")), 0);
    EXPECT_EQ(files.find(kServiceFile)->content, "");
    EXPECT_EQ(files.find(kServiceFile)->mode, 0600u);
}

TEST_F(ToolTest, WriteFailuresEnd4)
{
    files.replaceError = EACCES;
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kServiceFile, "x")), 4);
    files.replaceError = 0;
    files.addSymlink(kServiceFile);
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kServiceFile, "x")), 4);
    EXPECT_TRUE(files.find(kServiceFile)->symlink);
    files.failChown = true;
    EXPECT_EQ(runNormal(*makeWriteFileBlock(kConfig, "x")), 4);
    EXPECT_EQ(files.find(kConfig), nullptr);
}

TEST_F(ToolTest, UnacceptableWritePathsEnd4WithoutTouchingFiles)
{
    for (std::string_view path : {"", "relative.pc", "dir/x", "/etc/../x", "/etc/", "/"}) {
        EXPECT_EQ(runNormal(*makeWriteFileBlock(path, "x")), 4) << path;
    }
    EXPECT_THAT(files.calls, IsEmpty());
}

TEST_F(ToolTest, MalformedFieldsEnd4AfterTheRightCheck)
{
    Block block = makeRawBlock(1, 0);
    std::memset(block.data() + 8, 'a', 256);
    EXPECT_EQ(runNormal(block), 4);
    Block verb = *makeServiceBlock("x", "stop");
    std::memset(verb.data() + 1032, 's', 10);
    EXPECT_EQ(runNormal(verb), 4);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(serviceManager.runs, IsEmpty());
    EXPECT_EQ(authority.asked.size(), 2u);
}

TEST_F(ToolTest, DeleteRemovesOrLogsTheFailureWithErrno)
{
    files.addFile(kServiceFile, "x");
    EXPECT_EQ(runNormal(*makeDeleteFileBlock(kServiceFile)), 0);
    EXPECT_EQ(files.find(kServiceFile), nullptr);
    EXPECT_THAT(log.lines, IsEmpty());

    EXPECT_EQ(runNormal(*makeDeleteFileBlock(kServiceFile)), 4);
    EXPECT_THAT(log.lines, ElementsAre("Unlink file (" + kServiceFile + ") failed: 2.\n"));

    // Paths outside the panel's files are refused, never handed to unlink.
    files.calls.clear();
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("relative")), 4);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_EQ(log.lines.back(), "Unlink file (relative) failed: 1.\n");
}

TEST(UnlinkMessage, ControlBytesInThePathCannotForgeLogLines)
{
    EXPECT_EQ(unlinkFailedMessage("/a\nfake: root login\\", 2),
              "Unlink file (/a\\x0afake: root login\\x5c) failed: 2.\n");
    EXPECT_EQ(unlinkFailedMessage("/\xff", 13), "Unlink file (/\\xff) failed: 13.\n");
}

TEST_F(ToolTest, ServiceCommandRunsTheManagerWithVerbAndTarget)
{
    EXPECT_EQ(runNormal(*makeServiceBlock(kServiceFile, "unload")), 0);
    EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "start")), 0);
    EXPECT_THAT(serviceManager.runs, ElementsAre(std::pair<std::string, std::string>{"unload", kServiceFile},
                                                 std::pair<std::string, std::string>{"start", kLabel}));
    serviceManager.canRun = false;
    EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "stop")), 4);
}

TEST_F(ToolTest, ServiceCommandRefusesOtherVerbsAndOptionLikeTargets)
{
    EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "restart")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock(kLabel, "")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock("--now", "stop")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock("", "stop")), 4);
    EXPECT_THAT(serviceManager.runs, IsEmpty());
}

TEST_F(ToolTest, NonRootRunPassesOneBlockToAPrivilegedCopyInPieces)
{
    identity.root = false;
    privileged.exit = {true, true, 3};
    const auto block = *makeWriteFileBlock("/etc/a", std::string(9000, 'x'));
    std::vector<std::byte> extra(100, std::byte{1});
    auto bytes = withAuthorization(block);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    EXPECT_EQ(runWith(RunMode::Normal, bytes, SIZE_MAX, true), 3);
    EXPECT_EQ(privileged.program, "/opt/tindrel/raiseTool");
    EXPECT_EQ(privileged.argument, "--self-repair");
    EXPECT_EQ(privileged.received, bytesOf(block));   // nothing after the block
    for (std::size_t size : privileged.writeSizes)
        EXPECT_LE(size, 4096u);
    EXPECT_TRUE(privileged.inputClosed);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_THAT(authority.asked, IsEmpty());
}

TEST_F(ToolTest, NonRootRunEnds255WhenTheCopyCannotRunOrEndsAbnormally)
{
    identity.root = false;
    const auto block = makeLoadDriverBlock();
    privileged.canStart = false;
    EXPECT_EQ(runNormal(block), 255);
    privileged.canStart = true;
    privileged.exit = {false, false, 0};
    EXPECT_EQ(runNormal(block), 255);
    privileged.exit = {true, false, 0};
    EXPECT_EQ(runNormal(block), 255);
    // A copy that stops reading early is still closed and waited for.
    privileged.exit = {true, true, 2};
    privileged.acceptLimit = 10;
    privileged.inputClosed = false;
    EXPECT_EQ(runNormal(block), 2);
    EXPECT_TRUE(privileged.inputClosed);
    EXPECT_EQ(driver.loads, 0);
}

TEST(RepairedMode, SetsSetUidAndClearsGroupAndOtherWrite)
{
    EXPECT_EQ(repairedMode(0777), 04755u);
    EXPECT_EQ(repairedMode(0755), 04755u);
    EXPECT_EQ(repairedMode(0700), 04700u);
    EXPECT_EQ(repairedMode(02775), 06755u);
    EXPECT_EQ(repairedMode(0100664), 04644u);
}

class RepairTest : public ToolTest {
protected:
    RepairTest() { files.addFile("/opt/tindrel/raiseTool", "elf", 0775, 1000, 1000); }
    const FakeFiles::Node &tool() { return *files.find("/opt/tindrel/raiseTool"); }
};

TEST_F(RepairTest, RepairMakesTheToolRootOwnedSetUidThenRunsTheBlockWithoutAuthorizationBytes)
{
    files.addDirectory(kServerDir);
    const auto block = *makeWriteFileBlock(kConfig, "x");
    EXPECT_EQ(runWith(RunMode::SelfRepair, bytesOf(block)), 0);
    EXPECT_EQ(tool().owner, 0u);
    EXPECT_EQ(tool().group, 1000u);
    EXPECT_EQ(tool().mode, 04755u);
    EXPECT_EQ(files.find(kConfig)->content, "x");
    EXPECT_THAT(authority.forms, IsEmpty());
    EXPECT_THAT(authority.asked, ElementsAre("com.tindrels.raisetool.admin"));
}

TEST_F(RepairTest, RootOwnedToolOnlyGetsItsMode)
{
    files.nodes["/opt/tindrel/raiseTool"].owner = 0;
    EXPECT_EQ(runWith(RunMode::SelfRepair, bytesOf(makeLoadDriverBlock())), 0);
    EXPECT_THAT(files.calls, ElementsAre("open-locked /opt/tindrel/raiseTool", "fchmod /opt/tindrel/raiseTool 4755"));
}

TEST_F(RepairTest, EveryRepairFailureEnds255BeforeTheBlock)
{
    const auto block = bytesOf(makeLoadDriverBlock());
    authority.privilegedHandover = false;
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 255);
    authority.privilegedHandover = true;
    files.lockFails = true;
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 255);
    files.lockFails = false;
    self.image = FileIdentity{1, 43};   // the path names another file than the running image
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 255);
    self.image = FileIdentity{1, 42};
    files.failChown = true;
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 255);
    files.failChown = false;
    files.failChmod = true;
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 255);
    EXPECT_EQ(driver.loads, 0);
    EXPECT_EQ(tool().mode & 04000, 0u);
}

TEST_F(RepairTest, RepairRunWithShortBlockEnds2AfterRepairing)
{
    auto block = bytesOf(makeLoadDriverBlock());
    block.resize(kBlockSize - 1);
    EXPECT_EQ(runWith(RunMode::SelfRepair, block), 2);
    EXPECT_EQ(tool().mode, 04755u);
}

}   // namespace
