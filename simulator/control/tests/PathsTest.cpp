#include <gtest/gtest.h>

#include <set>

#include "control_paths.h"

using namespace tindrel::control;

TEST(ControlPaths, DefaultPathPrefersTheRuntimeDirectory)
{
    EXPECT_EQ(defaultSocketPath({"/run/user/1000", 1000}, 4242), "/run/user/1000/tindrelsim-4242.sock");
    EXPECT_EQ(defaultSocketPath({"", 1000}, 4242), "/tmp/tindrelsim-1000-4242.sock");
}

TEST(ControlPaths, OnlyOurOwnSocketNamesCarryAPid)
{
    EXPECT_EQ(pidFromSocketName("tindrelsim-4242.sock", true, 1000), 4242);
    EXPECT_EQ(pidFromSocketName("tindrelsim-1000-4242.sock", false, 1000), 4242);
    const struct {
        const char *name;
        bool inRuntimeDir;
    } refused[] = {
        {"tindrelsim-1001-4242.sock", false},   // another user's
        {"tindrelsim-4242.sock", false},        // no uid in /tmp
        {"tindrelsim-1000-4242.sock", true},    // uid form in the runtime directory
        {"tindrelsim-.sock", true},
        {"tindrelsim-42a.sock", true},
        {"tindrelsim-0.sock", true},
        {"tindrelsim--5.sock", true},
        {"tindrelsim-42.socket", true},
        {"other-42.sock", true},
        {"tindrelsim-99999999999.sock", true},
    };
    for (const auto &c : refused)
        EXPECT_FALSE(pidFromSocketName(c.name, c.inRuntimeDir, 1000).has_value()) << c.name;
}

TEST(ControlPaths, ChoosesTheOneLiveProgram)
{
    const std::set<pid_t> alive = {10, 30};
    const auto isAlive = [&](pid_t pid) { return alive.count(pid) > 0; };

    const SocketChoice none = chooseSocket({{"/run/a/tindrelsim-20.sock", 20}}, isAlive);
    EXPECT_TRUE(none.path.empty());
    EXPECT_FALSE(none.ambiguous);
    EXPECT_NE(none.error.find("--socket"), std::string::npos);

    const SocketChoice one =
        chooseSocket({{"/run/a/tindrelsim-20.sock", 20}, {"/run/a/tindrelsim-10.sock", 10}}, isAlive);
    EXPECT_EQ(one.path, "/run/a/tindrelsim-10.sock");

    // The same process seen in both directories is still one program.
    const SocketChoice same =
        chooseSocket({{"/run/a/tindrelsim-10.sock", 10}, {"/tmp/tindrelsim-1-10.sock", 10}}, isAlive);
    EXPECT_EQ(same.path, "/run/a/tindrelsim-10.sock");

    const SocketChoice several =
        chooseSocket({{"/run/a/tindrelsim-10.sock", 10}, {"/run/a/tindrelsim-30.sock", 30}}, isAlive);
    EXPECT_TRUE(several.path.empty());
    EXPECT_TRUE(several.ambiguous);
    EXPECT_NE(several.error.find("--pid"), std::string::npos);
    EXPECT_NE(several.error.find("10  /run/a/tindrelsim-10.sock"), std::string::npos) << several.error;
    EXPECT_NE(several.error.find("30  /run/a/tindrelsim-30.sock"), std::string::npos) << several.error;
}
