#include "Paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

using namespace tindrel::paths;
namespace fs = std::filesystem;

TEST(Paths, LogDirectoryPrefersAbsoluteXdgStateHomeThenHome)
{
    EXPECT_EQ(userLogDirectoryFor("/x/state", "/home/u"), fs::path("/x/state/tindrelcontrolpanel22"));
    EXPECT_EQ(userLogDirectoryFor(nullptr, "/home/u"), fs::path("/home/u/.local/state/tindrelcontrolpanel22"));
    EXPECT_EQ(userLogDirectoryFor("", "/home/u"), fs::path("/home/u/.local/state/tindrelcontrolpanel22"));
    EXPECT_EQ(userLogDirectoryFor("relative", "/home/u"), fs::path("/home/u/.local/state/tindrelcontrolpanel22"));
    EXPECT_FALSE(userLogDirectoryFor(nullptr, nullptr));
    EXPECT_FALSE(userLogDirectoryFor(nullptr, "relative"));
}

TEST(Paths, LogDirectoryIsCreatedOnDemandPrivateToTheUser)
{
    const fs::path base = fs::temp_directory_path() / ("tindrel-paths-" + std::to_string(::getpid()));
    fs::remove_all(base);
    const char *old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", (base / "state").c_str(), 1);
    const auto log = libraryLogFile();
    if (old)
        ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(log);
    EXPECT_EQ(*log, base / "state" / "tindrelcontrolpanel22" / "tindrelcontrolpanel22.log");
    struct stat st { };
    ASSERT_EQ(::stat(log->parent_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::remove_all(base);
}
