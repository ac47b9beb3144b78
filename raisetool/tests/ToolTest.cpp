#include "Tool.h"
#include "FakeServices.h"

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

    ToolTest() { authority.granted = {"com.tindrels.raisetool.admin"}; }

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
    const auto block = *makeWriteFileBlock("/etc/x.pc", "key=value\n");
    EXPECT_EQ(runWith(RunMode::Normal, withAuthorization(block), 7, true), 0);
    EXPECT_EQ(files.find("/etc/x.pc")->content, "key=value\n");
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

    authority.granted = {"com.tindrels.raisetool.user"};
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a", 2)), 0);
    EXPECT_EQ(files.find("/etc/a"), nullptr);
}

TEST_F(ToolTest, WriteCreatesOneMissingDirectoryLevelOwnedByRootGroup0)
{
    files.addDirectory("/etc");
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/tindrel/x.pc", "a")), 0);
    EXPECT_THAT(files.calls,
                ElementsAre("mkdir /etc/tindrel 755", "chown /etc/tindrel 0:0", "replace /etc/tindrel/x.pc"));
    EXPECT_EQ(files.find("/etc/tindrel/x.pc")->content, "a");

    files.calls.clear();
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/tindrel/y.pc", "b")), 0);
    EXPECT_THAT(files.calls, ElementsAre("mkdir /etc/tindrel 755", "replace /etc/tindrel/y.pc"));   // left alone
}

TEST_F(ToolTest, WriteWithMissingParentCreatesNothingAndEnds4)
{
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/nope/deeper/x.pc", "a")), 4);
    EXPECT_EQ(files.find("/nope/deeper"), nullptr);
    EXPECT_EQ(files.find("/nope/deeper/x.pc"), nullptr);
    EXPECT_THAT(files.calls, ElementsAre("mkdir /nope/deeper 755"));
}

TEST_F(ToolTest, WriteReplacesWholeContentIncludingToEmpty)
{
    files.addDirectory("/etc");
    files.addFile("/etc/a", "a long old content", 0600, 7, 8);
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/a", "new")), 0);
    EXPECT_EQ(files.find("/etc/a")->content, "new");
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/a", "")), 0);
    EXPECT_EQ(files.find("/etc/a")->content, "");
    EXPECT_EQ(files.find("/etc/a")->mode, 0600u);
}

TEST_F(ToolTest, WriteFailuresEnd4)
{
    files.addDirectory("/etc");
    files.replaceError = EACCES;
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/a", "x")), 4);
    files.replaceError = 0;
    files.addSymlink("/etc/link");
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/link", "x")), 4);
    EXPECT_TRUE(files.find("/etc/link")->symlink);
    files.failChown = true;
    EXPECT_EQ(runNormal(*makeWriteFileBlock("/etc/new/a", "x")), 4);
    EXPECT_EQ(files.find("/etc/new/a"), nullptr);
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
    files.addFile("/etc/a", "x");
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a")), 0);
    EXPECT_EQ(files.find("/etc/a"), nullptr);
    EXPECT_THAT(log.lines, IsEmpty());

    EXPECT_EQ(runNormal(*makeDeleteFileBlock("/etc/a")), 4);
    EXPECT_THAT(log.lines, ElementsAre("Unlink file (/etc/a) failed: 2.\n"));

    // Unacceptable paths are refused as invalid, never handed to unlink.
    files.calls.clear();
    EXPECT_EQ(runNormal(*makeDeleteFileBlock("relative")), 4);
    EXPECT_THAT(files.calls, IsEmpty());
    EXPECT_EQ(log.lines.back(), "Unlink file (relative) failed: 22.\n");
}

TEST(UnlinkMessage, ControlBytesInThePathCannotForgeLogLines)
{
    EXPECT_EQ(unlinkFailedMessage("/a\nfake: root login\\", 2),
              "Unlink file (/a\\x0afake: root login\\x5c) failed: 2.\n");
    EXPECT_EQ(unlinkFailedMessage("/\xff", 13), "Unlink file (/\\xff) failed: 13.\n");
}

TEST_F(ToolTest, ServiceCommandRunsTheManagerWithVerbAndTarget)
{
    EXPECT_EQ(runNormal(*makeServiceBlock("/etc/systemd/system/t.service", "unload")), 0);
    EXPECT_EQ(runNormal(*makeServiceBlock("com.tindrels.tindrel22networkserver", "start")), 0);
    EXPECT_THAT(serviceManager.runs,
                ElementsAre(std::pair<std::string, std::string>{"unload", "/etc/systemd/system/t.service"},
                            std::pair<std::string, std::string>{"start", "com.tindrels.tindrel22networkserver"}));
    serviceManager.canRun = false;
    EXPECT_EQ(runNormal(*makeServiceBlock("x", "stop")), 4);
}

TEST_F(ToolTest, ServiceCommandRefusesOtherVerbsAndOptionLikeTargets)
{
    EXPECT_EQ(runNormal(*makeServiceBlock("x", "restart")), 4);
    EXPECT_EQ(runNormal(*makeServiceBlock("x", "")), 4);
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
    files.addDirectory("/etc");
    const auto block = *makeWriteFileBlock("/etc/a", "x");
    EXPECT_EQ(runWith(RunMode::SelfRepair, bytesOf(block)), 0);
    EXPECT_EQ(tool().owner, 0u);
    EXPECT_EQ(tool().group, 1000u);
    EXPECT_EQ(tool().mode, 04755u);
    EXPECT_EQ(files.find("/etc/a")->content, "x");
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
