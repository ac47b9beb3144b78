// The configuration file as the panel reads and writes it.
#include "ServerConfig.h"
#include "TempDir.h"
#include "tindrel22extra.h"

#include <gtest/gtest.h>

using namespace tindrel::server;
using tindrel::server::testing::TempDir;
using tindrel::server::testing::writeText;

namespace {

// The text of one key in rendered configuration text; nothing when absent.
std::optional<std::string> keyIn(const std::string &text, const char *key)
{
    pconf_t *pc = nullptr;
    char error[256];
    if (pconf_parsepcs(&pc, error, sizeof error, text.c_str()) != 0)
        return std::nullopt;
    const char *v = pconf_getstr(pc, nullptr, "%s", key);
    std::optional<std::string> out = v ? std::optional<std::string>(v) : std::nullopt;
    pconf_release(&pc);
    return out;
}

TEST(ServerConfig, MissingOrUnparsableFileShowsTheDefaults)
{
    TempDir dir;
    const ServerSettings defaults;
    EXPECT_EQ(readServerSettings(dir.file("absent.pc")), defaults);
    writeText(dir.file("broken.pc"), "[tindrel\nenabled = = =\n");
    EXPECT_EQ(readServerSettings(dir.file("broken.pc")), defaults);
    EXPECT_FALSE(defaults.startAtBoot);
    EXPECT_TRUE(defaults.enabled && defaults.publish && defaults.webserverEnabled);
    EXPECT_TRUE(defaults.dictionaryEnabled && defaults.controlEnabled);
    EXPECT_EQ(defaults.port, "5661");
    EXPECT_EQ(defaults.webserverPort, "8989");
    EXPECT_EQ(defaults.docroot, "/usr/share/tindrel22networkserver/html");
    EXPECT_TRUE(defaults.publishName.empty() && defaults.password.empty());
}

TEST(ServerConfig, AKeyMissingFromAParsedFileShowsItsDefault)
{
    const ServerSettings read = settingsFromText(std::string("[tindrel]\nenabled = \"false\"\n"));
    ServerSettings expected;
    expected.enabled = false;
    EXPECT_EQ(read, expected);
}

TEST(ServerConfig, RoundTripKeepsUnknownKeysAndEveryShownValue)
{
    const std::string existing = "[tindrel]\nenabled = true\nmystery = \"kept\"\n"
                                 "[tindrel.network.ipv4]\nport = 5661\nbacklog = 7\n"
                                 "[other]\nvalue = 3\n";
    ServerSettings s;
    s.startAtBoot = true;
    s.enabled = false;
    s.port = "6001";
    s.publish = false;
    s.publishName = "Bench \"A\" ünïcode";
    s.password = "secret";
    s.webserverEnabled = false;
    s.webserverPort = "8080";
    s.docroot = "/srv/www";
    s.dictionaryEnabled = false;
    s.controlEnabled = false;
    const RenderedConfig rendered = renderServerSettingsOver(s, existing);
    ASSERT_EQ(rendered.result, RenderedConfig::Result::Ok);
    EXPECT_EQ(keyIn(rendered.text, "tindrel.mystery"), "kept");
    EXPECT_EQ(keyIn(rendered.text, "tindrel.network.ipv4.backlog"), "7");
    EXPECT_EQ(keyIn(rendered.text, "other.value"), "3");
    EXPECT_EQ(keyIn(rendered.text, "tindrel.logging.level"), "info");
    EXPECT_EQ(keyIn(rendered.text, "tindrel.logging.file"), "/var/log/tindrel22networkserver.log");
    EXPECT_EQ(keyIn(rendered.text, "tindrel.feature.dictionary.directory"), "/etc/tindrel22networkserver/dictionary.d");
    EXPECT_EQ(settingsFromText(rendered.text), s);
}

TEST(ServerConfig, EmptyNameAndPasswordAreRemovedAndTypedAgainAdded)
{
    ServerSettings s;
    s.publishName = "Lab";
    s.password = "pw";
    const std::string with = renderServerSettingsOver(s, std::nullopt).text;
    EXPECT_EQ(keyIn(with, "tindrel.network.publish.name"), "Lab");
    s.publishName.clear();
    s.password.clear();
    const std::string without = renderServerSettingsOver(s, with).text;
    EXPECT_EQ(keyIn(without, "tindrel.network.publish.name"), std::nullopt);
    EXPECT_EQ(keyIn(without, "tindrel.auth.password"), std::nullopt);
}

TEST(ServerConfig, FirstWriteWithoutAFileHoldsTheFourteenKeysAndPortsAsTyped)
{
    ServerSettings s;
    s.port = "fifty";
    const RenderedConfig rendered = renderServerSettingsOver(s, std::nullopt);
    ASSERT_EQ(rendered.result, RenderedConfig::Result::Ok);
    const char *keys[] = {"tindrel.startatboot",
                          "tindrel.logging.level",
                          "tindrel.logging.file",
                          "tindrel.enabled",
                          "tindrel.network.ipv4.port",
                          "tindrel.network.publish.enabled",
                          "tindrel.www.enabled",
                          "tindrel.www.docroot",
                          "tindrel.www.logging.accesslog",
                          "tindrel.www.network.ipv4.port",
                          "tindrel.www.mimetypes",
                          "tindrel.feature.dictionary.directory",
                          "tindrel.feature.dictionary.enabled",
                          "tindrel.feature.control.enabled"};
    for (const char *key : keys)
        EXPECT_TRUE(keyIn(rendered.text, key)) << key;
    EXPECT_EQ(keyIn(rendered.text, "tindrel.network.ipv4.port"), "fifty");
    EXPECT_EQ(keyIn(rendered.text, "tindrel.startatboot"), "false");
    // A port that is not a number reads back as the default.
    EXPECT_EQ(settingsFromText(rendered.text).port, "5661");
}

TEST(ServerConfig, TextLargerThanTheRenderBufferIsRefusedWhole)
{
    ServerSettings s;
    s.docroot = std::string(5000, 'd');
    const RenderedConfig rendered = renderServerSettingsOver(s, std::nullopt);
    EXPECT_EQ(rendered.result, RenderedConfig::Result::TooLarge);
    EXPECT_TRUE(rendered.text.empty());
}

TEST(ServerConfig, AFileWhoseValuesStandWhereTheKeysNeedTablesIsRefusedNotWrittenWithoutThem)
{
    // "network" is a plain value here, so the port cannot go below it.
    ServerSettings s;
    s.port = "6001";
    const RenderedConfig plain =
        renderServerSettingsOver(s, std::string("[tindrel]\nnetwork = true\nmystery = \"kept\"\n"));
    EXPECT_EQ(plain.result, RenderedConfig::Result::Conflict);
    EXPECT_EQ(plain.text, "tindrel.network.ipv4.port");
    // And a table where a value goes.
    const RenderedConfig table = renderServerSettingsOver(s, std::string("[tindrel.enabled]\nwhy = 1\n"));
    EXPECT_EQ(table.result, RenderedConfig::Result::Conflict);
    EXPECT_EQ(table.text, "tindrel.enabled");
}

TEST(ServerConfig, RenderOverTheFileOnDiskStartsFromItsKeys)
{
    TempDir dir;
    writeText(dir.file("x.pc"), "[tindrel]\nown = \"yes\"\n");
    const RenderedConfig rendered = renderServerSettings(ServerSettings{}, dir.file("x.pc"));
    EXPECT_EQ(keyIn(rendered.text, "tindrel.own"), "yes");
}

}   // namespace
