#include "Protocol.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tindrel::raisetool;

namespace {

template <class T>
const T &as(const DecodedBlock &decoded)
{
    EXPECT_TRUE(std::holds_alternative<T>(decoded.command));
    return std::get<T>(decoded.command);
}

void fill(Block &block, std::size_t offset, std::size_t size, char c) { std::memset(block.data() + offset, c, size); }

}   // namespace

TEST(Protocol, BuiltBlocksDecodeToTheirFieldsAtTheirOffsets)
{
    const auto write = makeWriteFileBlock("/etc/x.pc", "a=1\n", 2);
    ASSERT_TRUE(write);
    EXPECT_EQ(std::memcmp(write->data() + 8, "/etc/x.pc", 10), 0);
    EXPECT_EQ(std::memcmp(write->data() + 264, "a=1\n", 5), 0);
    const auto w = decodeBlock(*write);
    EXPECT_EQ(w.right, 2u);
    EXPECT_EQ(as<WriteFile>(w).path, "/etc/x.pc");
    EXPECT_EQ(as<WriteFile>(w).content, "a=1\n");

    const auto service = makeServiceBlock("com.tindrels.tindrel22networkserver", "unload");
    ASSERT_TRUE(service);
    EXPECT_EQ(std::memcmp(service->data() + 1032, "unload", 7), 0);
    const auto s = decodeBlock(*service);
    EXPECT_EQ(s.right, 1u);
    EXPECT_EQ(as<ServiceCommand>(s).target, "com.tindrels.tindrel22networkserver");
    EXPECT_EQ(as<ServiceCommand>(s).verb, "unload");

    EXPECT_EQ(as<DeleteFile>(decodeBlock(*makeDeleteFileBlock("/tmp/a"))).path, "/tmp/a");
    EXPECT_TRUE(std::holds_alternative<LoadDriver>(decodeBlock(makeLoadDriverBlock()).command));
    EXPECT_EQ(as<UnknownCommand>(decodeBlock(makeRawBlock(1, 4))).number, 4u);
    EXPECT_EQ(as<UnknownCommand>(decodeBlock(makeRawBlock(1, 0xffffffffu))).number, 0xffffffffu);
}

TEST(Protocol, FieldsAtTheirLimitsFitAndOneMoreByteDoesNot)
{
    const std::string path = "/" + std::string(254, 'p');
    const std::string content(16383, 'c');
    const auto block = makeWriteFileBlock(path, content);
    ASSERT_TRUE(block);
    EXPECT_EQ(as<WriteFile>(decodeBlock(*block)).content.size(), 16383u);
    EXPECT_EQ(as<WriteFile>(decodeBlock(*block)).path, path);
    EXPECT_FALSE(makeWriteFileBlock(path + "p", "x"));
    EXPECT_FALSE(makeWriteFileBlock("/a", content + "c"));
    EXPECT_TRUE(makeServiceBlock(std::string(1023, 't'), "unload"));
    EXPECT_FALSE(makeServiceBlock(std::string(1024, 't'), "stop"));
    EXPECT_FALSE(makeServiceBlock("t", "123456789a"));
    EXPECT_FALSE(makeWriteFileBlock(std::string("/a\0b", 4), "x"));
}

TEST(Protocol, FieldsWithoutTerminatingNulAreMalformedNotOverread)
{
    struct Case {
        std::uint32_t command;
        std::size_t offset, size;
        std::string_view field;
    };
    for (const Case &c : {Case{0, 8, 256, "path"}, Case{0, 264, 16384, "content"}, Case{1, 8, 256, "path"},
                          Case{2, 8, 1024, "target"}, Case{2, 1032, 10, "verb"}}) {
        Block block = makeRawBlock(1, c.command);
        fill(block, c.offset, c.size, 'x');
        const auto decoded = decodeBlock(block);
        ASSERT_TRUE(std::holds_alternative<MalformedCommand>(decoded.command)) << c.field;
        EXPECT_EQ(std::get<MalformedCommand>(decoded.command).field, c.field);
    }
}

TEST(Protocol, BytesAfterTheFirstNulCarryNoMeaning)
{
    Block block = *makeServiceBlock("label", "stop");
    fill(block, 8 + 6, 1024 - 6, 'z');   // garbage after the target's NUL
    block[8 + 1023] = std::byte{0};
    const auto decoded = decodeBlock(block);
    EXPECT_EQ(as<ServiceCommand>(decoded).target, "label");
}

TEST(Protocol, RightNumbersMapToActionIds)
{
    EXPECT_EQ(rightName(1), "com.tindrels.raisetool.admin");
    EXPECT_EQ(rightName(2), "com.tindrels.raisetool.user");
    for (std::uint32_t other : {0u, 3u, 0xffffffffu})
        EXPECT_EQ(rightName(other), "system.unknown");
}

TEST(Protocol, WritePathRules)
{
    for (std::string_view good : {"/a", "/etc/x.pc", "/a..b/c", "/a/.hidden", "/a/b..", "//a"})
        EXPECT_TRUE(isAcceptablePath(good)) << good;
    for (std::string_view bad : {"", "a", "a/b", "/", "/a/", "/../etc/passwd", "/a/../b", "/a/..", "/./a", "/a/."})
        EXPECT_FALSE(isAcceptablePath(bad)) << bad;
    EXPECT_EQ(directoryOf("/etc/x/y.pc"), "/etc/x");
    EXPECT_EQ(directoryOf("/y.pc"), "/");
}

TEST(Protocol, ServiceVerbsAndTargets)
{
    for (std::string_view verb : {"load", "unload", "start", "stop"})
        EXPECT_TRUE(isServiceVerb(verb));
    for (std::string_view verb : {"", "restart", "Load", "load ", "stop;rm"})
        EXPECT_FALSE(isServiceVerb(verb));
    EXPECT_TRUE(isAcceptableServiceTarget("/etc/systemd/system/x.service"));
    EXPECT_TRUE(isAcceptableServiceTarget("a b; rm -rf /"));   // one argument, never a shell
    EXPECT_FALSE(isAcceptableServiceTarget(""));
    EXPECT_FALSE(isAcceptableServiceTarget("--help"));
}
