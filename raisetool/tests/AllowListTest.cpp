#include "AllowList.h"
#include "Paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

using namespace tindrel;
using namespace tindrel::raisetool;

namespace {

const std::string kDictionaryDir(paths::kServerDictionaryDir);

TEST(AllowList, WritesAndDeletesOnlyThePanelsOwnFiles)
{
    const std::vector<std::string> allowed = {
        std::string(paths::kServerConfigFile),
        std::string(paths::kServerServiceDescription),
        kDictionaryDir + "/lab.dict",
        kDictionaryDir + "/a",
        kDictionaryDir + "/name with spaces..x",
    };
    const std::vector<std::string> refused = {
        "",
        "/etc/sudoers.d/me",
        "/etc/passwd",
        "/etc/tindrel22networkserver/other.pc",
        std::string(paths::kServerConfigFile) + ".bak",
        std::string(paths::kServerConfigFile) + "/",
        kDictionaryDir,
        kDictionaryDir + "/",
        kDictionaryDir + "/.hidden",
        kDictionaryDir + "/.",
        kDictionaryDir + "/..",
        kDictionaryDir + "/../../sudoers.d/me",
        kDictionaryDir + "/sub/file",
        kDictionaryDir + "x/file",
        kDictionaryDir + "//file",
        "/" + std::string(paths::kServerConfigFile),
        "relative/tindrel22networkserver.pc",
    };
    for (const auto &path : allowed) {
        EXPECT_TRUE(isAllowed(WriteFile{path, "x"})) << path;
        EXPECT_TRUE(isAllowed(DeleteFile{path})) << path;
    }
    for (const auto &path : refused) {
        EXPECT_FALSE(isAllowed(WriteFile{path, "x"})) << path;
        EXPECT_FALSE(isAllowed(DeleteFile{path})) << path;
    }
}

TEST(AllowList, ServiceCommandsOnlyForThePanelsServiceWithAKnownVerb)
{
    for (const char *verb : {"load", "unload", "start", "stop"}) {
        EXPECT_TRUE(isAllowed(ServiceCommand{std::string(paths::kServerServiceLabel), verb})) << verb;
        EXPECT_TRUE(isAllowed(ServiceCommand{std::string(paths::kServerServiceDescription), verb})) << verb;
    }
    EXPECT_FALSE(isAllowed(ServiceCommand{std::string(paths::kServerServiceLabel), "restart"}));
    EXPECT_FALSE(isAllowed(ServiceCommand{std::string(paths::kServerServiceLabel), ""}));
    for (const char *target : {"ssh.service", "", "-now", "/etc/systemd/system/evil.service",
                               "com.tindrels.tindrel22networkserver.x", "/etc/tindrel22networkserver/dictionary.d/a"})
        EXPECT_FALSE(isAllowed(ServiceCommand{target, "stop"})) << target;
}

TEST(AllowList, DriverLoadIsAllowedUnknownAndMalformedCommandsNever)
{
    EXPECT_TRUE(isAllowed(LoadDriver{}));
    EXPECT_FALSE(isAllowed(UnknownCommand{4}));
    EXPECT_FALSE(isAllowed(MalformedCommand{"path"}));
}

// Every action of the helper needs an administrator, in every session kind:
// no default lets a caller allow a root command with its own password.
TEST(Policy, EveryHelperActionDemandsAnAdministrator)
{
    std::ifstream in(RAISETOOL_POLICY_FILE);
    ASSERT_TRUE(in) << RAISETOOL_POLICY_FILE;
    std::stringstream text;
    text << in.rdbuf();
    const std::string policy = text.str();
    const std::regex action(R"re(<action id="([^"]+)">([\s\S]*?)</action>)re");
    const std::regex setting(R"re(<(allow_any|allow_inactive|allow_active)>([^<]*)</)re");
    int helperActions = 0;
    for (auto it = std::sregex_iterator(policy.begin(), policy.end(), action); it != std::sregex_iterator(); ++it) {
        const std::string id = (*it)[1];
        if (id.rfind("com.tindrels.raisetool.", 0) != 0)
            continue;
        ++helperActions;
        const std::string body = (*it)[2];
        int settings = 0;
        for (auto s = std::sregex_iterator(body.begin(), body.end(), setting); s != std::sregex_iterator(); ++s) {
            ++settings;
            const std::string value = (*s)[2];
            EXPECT_TRUE(value == "auth_admin" || value == "auth_admin_keep" || value == "no")
                << id << " " << (*s)[1] << " = " << value;
        }
        EXPECT_EQ(settings, 3) << id;
    }
    EXPECT_EQ(helperActions, 2);
}

}   // namespace
