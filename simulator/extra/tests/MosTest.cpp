#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "TempDir.h"
#include "tindrel22extra.h"

namespace {

// Reads every entry; name -> is a directory.
std::map<std::string, bool> readAll(const std::string &path)
{
    std::map<std::string, bool> entries;
    mosdir_t *dir = nullptr;
    EXPECT_EQ(mos_opendir(nullptr, path.c_str(), &dir), 0);
    if (dir == nullptr)
        return entries;
    for (int guard = 0; guard < 1000; ++guard) {
        EXPECT_EQ(mos_readdir(nullptr, dir), 0);
        if (dir->eof)
            break;
        entries[dir->name] = dir->isdir != 0;
    }
    // Reading past the end keeps reporting the end.
    EXPECT_EQ(mos_readdir(nullptr, dir), 0);
    EXPECT_EQ(dir->eof, 1);
    mos_closedir(&dir);
    EXPECT_EQ(dir, nullptr);
    return entries;
}

}   // namespace

TEST(Mos, ListsFilesAndDirectoriesWithoutDotEntries)
{
    TempDir dir;
    dir.write("1001.dpc", "dictionary.sn = 1001\n");
    dir.write("notes.txt", "x");
    std::filesystem::create_directory(dir.path() / "folder.dpc");
    std::filesystem::create_directory_symlink(dir.path() / "folder.dpc", dir.path() / "link");
    std::filesystem::create_symlink(dir.path() / "1001.dpc", dir.path() / "filelink");
    const std::map<std::string, bool> expected = {
        {"1001.dpc", false}, {"notes.txt", false}, {"folder.dpc", true}, {"link", true}, {"filelink", false}};
    EXPECT_EQ(readAll(dir.path().string()), expected);
}

TEST(Mos, EmptyDirectoryReachesTheEndAtOnce)
{
    TempDir dir;
    EXPECT_TRUE(readAll(dir.path().string()).empty());
}

TEST(Mos, OpeningFailsCleanly)
{
    TempDir dir;
    const std::string file = dir.write("plain", "x");
    mosdir_t *out = nullptr;
    EXPECT_EQ(mos_opendir(nullptr, (dir.path() / "absent").c_str(), &out), TINDREL_ENOENT);
    EXPECT_EQ(mos_opendir(nullptr, file.c_str(), &out), TINDREL_ENOTDIR);
    EXPECT_NE(mos_opendir(nullptr, nullptr, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(mos_readdir(nullptr, nullptr), 0);
    mos_closedir(&out);
    mos_closedir(nullptr);
}

TEST(Mos, EndsWith)
{
    struct Case {
        const char *str;
        const char *suffix;
        int expected;
    };
    const Case cases[] = {{"1001.dpc", ".dpc", 1}, {"1001.dpc.bak", ".dpc", 0},
                          {".dpc", ".dpc", 1},     {"dpc", ".dpc", 0},
                          {"anything", "", 1},     {"", "", 1},
                          {nullptr, ".dpc", 0},    {"x", nullptr, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(mos_endswith(c.str, c.suffix) != 0, c.expected != 0)
            << (c.str ? c.str : "(null)") << " / " << (c.suffix ? c.suffix : "(null)");
}
