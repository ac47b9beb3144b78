#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "TempDir.h"
#include "tindrel22extra.h"

namespace {

// Owns a configuration for the length of a test.
struct Config {
    pconf_t *pc = nullptr;
    Config() = default;
    Config(const Config &) = delete;
    Config &operator=(const Config &) = delete;
    ~Config() { pconf_release(&pc); }
};

std::string render(pconf_t *pc)
{
    std::vector<char> buf(1 << 16);
    EXPECT_EQ(pconf_renderpc(pc, buf.data(), buf.size()), 0);
    return buf.data();
}

void parseOrFail(Config &config, const std::string &text)
{
    char err[1024] = "";
    ASSERT_EQ(pconf_parsepcs(&config.pc, err, sizeof err, text.c_str()), 0) << err;
    ASSERT_NE(config.pc, nullptr);
}

// Renders the configuration and parses the text again.
void reparse(Config &from, Config &to) { parseOrFail(to, render(from.pc)); }

const char kDaemonFile[] = R"(# written by hand
[tindrel]
enabled = "false"
futureoption = 42
peers = ["a", "b", 3]
inlinething = { x = 1, y = "two" }
since = 2024-03-01T10:00:00Z

[tindrel.network.ipv4]
port = 5661
bind = "0.0.0.0"

[other]
path = 'C:\literal\path'
)";

}   // namespace

TEST(PconfRoundTrip, KeepsKeysTheCallerNeverTouched)
{
    Config original;
    parseOrFail(original, kDaemonFile);
    ASSERT_EQ(pconf_setcreatemissing(original.pc, 1), 0);
    ASSERT_EQ(pconf_set(original.pc, "true", "tindrel.enabled"), 0);
    ASSERT_EQ(pconf_set(original.pc, "8990", "tindrel.www.network.ipv4.port"), 0);

    Config again;
    reparse(original, again);
    EXPECT_EQ(pconf_get32(again.pc, -1, "tindrel.futureoption"), 42);
    EXPECT_STREQ(pconf_getstr(again.pc, "", "tindrel.network.ipv4.bind"), "0.0.0.0");
    EXPECT_EQ(pconf_getu32(again.pc, 0, "tindrel.network.ipv4.port"), 5661u);
    EXPECT_STREQ(pconf_getstr(again.pc, "", "tindrel.inlinething.y"), "two");
    EXPECT_EQ(pconf_get32(again.pc, 0, "tindrel.inlinething.x"), 1);
    EXPECT_STREQ(pconf_getstr(again.pc, "", "other.path"), "C:\\literal\\path");
    EXPECT_EQ(pconf_getbool(again.pc, 0, "tindrel.enabled"), 1);
    EXPECT_EQ(pconf_getu32(again.pc, 0, "tindrel.www.network.ipv4.port"), 8990u);
    const std::string text = render(again.pc);
    EXPECT_NE(text.find("peers = [ 'a', 'b', 3 ]"), std::string::npos) << text;
    EXPECT_NE(text.find("2024-03-01T10:00:00Z"), std::string::npos) << text;
    EXPECT_EQ(render(again.pc), render(original.pc)) << "rendering is stable";
}

TEST(PconfRoundTrip, StringsWithSpecialCharactersSurvive)
{
    const std::vector<std::string> values = {"plain", "", "with \"quotes\" and 'apostrophes'", "back\\slash",
                                             "two\nlines", "tab\there", "caf\xC3\xA9 \xE2\x9C\x93", "# not a comment",
                                             "[not.a.table]", "ends with backslash\\",
                                             // Closes a literal string, then goes on over a line end.
                                             "`''''''\\n \\n", "''' and\na line end", "'''"};
    Config config;
    ASSERT_EQ(pconf_create(&config.pc), 0);
    ASSERT_EQ(pconf_setcreatemissing(config.pc, 1), 0);
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(pconf_set(config.pc, values[i].c_str(), "v.k%zu", i), 0);
    Config again;
    reparse(config, again);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(pconf_getstr(again.pc, "<missing>", "v.k%zu", i), values[i]) << i;
}

TEST(PconfParse, MissingFileNamesThePathAndLeavesTheTargetAlone)
{
    TempDir dir;
    const std::string path = (dir.path() / "absent.pc").string();
    pconf_t *untouched = reinterpret_cast<pconf_t *>(0x1);
    char err[8192] = "";
    EXPECT_NE(pconf_parsepc(&untouched, err, sizeof err, "%s", path.c_str()), 0);
    EXPECT_EQ(untouched, reinterpret_cast<pconf_t *>(0x1));
    EXPECT_NE(std::string(err).find(path), std::string::npos) << err;
    EXPECT_NE(std::string(err).find("No such file"), std::string::npos) << err;

    // Only regular files are read: a directory or a pipe (which would block) is refused.
    EXPECT_NE(pconf_parsepc(&untouched, err, sizeof err, "%s", dir.path().c_str()), 0);
    EXPECT_NE(std::string(err).find("not a regular file"), std::string::npos) << err;
    const std::string fifo = (dir.path() / "fifo.dpc").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(pconf_parsepc(&untouched, err, sizeof err, "%s", fifo.c_str()), 0);
    EXPECT_NE(std::string(err).find("not a regular file"), std::string::npos) << err;
    EXPECT_EQ(untouched, reinterpret_cast<pconf_t *>(0x1));
}

TEST(PconfParse, MalformedFileReportsFileLineAndProblem)
{
    TempDir dir;
    const std::string path = dir.write("bad.pc", "[tindrel]\nenabled = true\nport = = 5\n");
    Config config;
    char err[8192] = "";
    EXPECT_NE(pconf_parsepc(&config.pc, err, sizeof err, "%s/%s", dir.path().c_str(), "bad.pc"), 0);
    EXPECT_EQ(config.pc, nullptr);
    EXPECT_EQ(std::string(err).rfind(path + ":3:", 0), 0u) << err;
    EXPECT_GT(std::strlen(err), path.size() + 5) << "a description of the problem follows";

    // Redefining a table and invalid UTF-8 are refused as well.
    EXPECT_NE(pconf_parsepcs(&config.pc, err, sizeof err, "[a]\nx=1\n[a]\ny=2\n"), 0);
    EXPECT_EQ(std::string(err).rfind("(text):3:", 0), 0u) << err;
    EXPECT_NE(pconf_parsepcs(&config.pc, err, sizeof err, "a = \"\xFF\"\n"), 0);
    EXPECT_EQ(config.pc, nullptr);
}

TEST(PconfParse, ErrorBufferIsNeverOverrun)
{
    char err[8];
    std::memset(err, 'x', sizeof err);
    Config config;
    EXPECT_NE(pconf_parsepcs(&config.pc, err, 4, "= broken"), 0);
    EXPECT_EQ(std::strlen(err), 3u);
    EXPECT_EQ(err[4], 'x');
    EXPECT_NE(pconf_parsepcs(&config.pc, nullptr, 0, "= broken"), 0);
}

TEST(PconfParse, ReadsAFileFromDisk)
{
    TempDir dir;
    dir.write("tindrel22networkserver.pc", kDaemonFile);
    Config config;
    char err[8192];
    ASSERT_EQ(pconf_parsepc(&config.pc, err, sizeof err, "%s/tindrel22networkserver.pc", dir.path().c_str()), 0) << err;
    EXPECT_EQ(pconf_getbool(config.pc, 1, "tindrel.enabled"), 0);
}

TEST(PconfGetters, BooleansAcceptTomlBooleansAndTheirStrings)
{
    Config config;
    parseOrFail(config, "t1 = true\nt2 = \"true\"\nf1 = false\nf2 = \"false\"\n"
                        "yes = \"yes\"\nnum = 1\ntbl = { a = 1 }\nTrue = \"True\"\n");
    for (const char *key : {"t1", "t2"}) {
        EXPECT_EQ(pconf_getbool(config.pc, 0, "%s", key), 1) << key;
    }
    for (const char *key : {"f1", "f2"}) {
        EXPECT_EQ(pconf_getbool(config.pc, 1, "%s", key), 0) << key;
    }
    for (const char *key : {"yes", "num", "tbl", "True", "missing", "t1.below"}) {
        EXPECT_EQ(pconf_getbool(config.pc, 7, "%s", key), 7) << key;
    }
}

TEST(PconfGetters, IntegersFromTomlIntegersAndDecimalStrings)
{
    Config config;
    parseOrFail(config, "i = 5661\ns = \"8989\"\nneg = \"-12\"\nnegint = -7\nhex = 0x10\n"
                        "spaced = \" 42 \"\nplus = \"+3\"\n"
                        "big = 4294967295\nhuge = 4294967296\nbigstr = \"99999999999999999999\"\n"
                        "garbage = \"12ab\"\nempty = \"\"\nfloat = 1.5\nbool = true\n");
    struct Case {
        const char *key;
        int32_t signedValue;
        uint32_t unsignedValue;
    };
    constexpr int32_t kDef = -999;
    constexpr uint32_t kUDef = 77;
    const Case cases[] = {
        {"i", 5661, 5661},      {"s", 8989, 8989},       {"neg", -12, kUDef},      {"negint", -7, kUDef},
        {"hex", 16, 16},        {"spaced", 42, 42},      {"plus", 3, 3},           {"big", kDef, 4294967295u},
        {"huge", kDef, kUDef},  {"bigstr", kDef, kUDef}, {"garbage", kDef, kUDef}, {"empty", kDef, kUDef},
        {"float", kDef, kUDef}, {"bool", kDef, kUDef},   {"missing", kDef, kUDef},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(pconf_get32(config.pc, kDef, "%s", c.key), c.signedValue) << c.key;
        EXPECT_EQ(pconf_getu32(config.pc, kUDef, "%s", c.key), c.unsignedValue) << c.key;
    }
}

TEST(PconfGetters, StringsAndDefaults)
{
    Config config;
    parseOrFail(config, "[a]\ns = \"text\"\ni = 12\nb = false\n[a.sub]\nx = 1\n");
    const char *def = "default";
    EXPECT_STREQ(pconf_getstr(config.pc, def, "a.s"), "text");
    EXPECT_STREQ(pconf_getstr(config.pc, def, "a.i"), "12");
    EXPECT_STREQ(pconf_getstr(config.pc, def, "a.b"), "false");
    EXPECT_EQ(pconf_getstr(config.pc, def, "a.sub"), def) << "a table has no string value";
    EXPECT_EQ(pconf_getstr(config.pc, def, "a.missing"), def);
    EXPECT_EQ(pconf_getstr(config.pc, nullptr, "a.missing"), nullptr);
    EXPECT_EQ(pconf_getstr(config.pc, def, "a..s"), def);
    EXPECT_EQ(pconf_getstr(config.pc, def, "%s", ""), def);
    EXPECT_EQ(pconf_getstr(nullptr, def, "a.s"), def);
    // A key text holding printf directives is only ever an argument.
    EXPECT_EQ(pconf_getstr(config.pc, def, "%s", "%s%s%n.%d"), def);
}

TEST(PconfSet, WithoutCreateMissingOnlyExistingKeysChange)
{
    Config config;
    parseOrFail(config, "[tindrel]\nenabled = true\n");
    EXPECT_NE(pconf_set(config.pc, "x", "tindrel.www.enabled"), 0) << "missing parent";
    EXPECT_NE(pconf_set(config.pc, "x", "tindrel.newkey"), 0) << "missing key";
    EXPECT_EQ(pconf_set(config.pc, "false", "tindrel.enabled"), 0);
    EXPECT_EQ(pconf_getbool(config.pc, 1, "tindrel.enabled"), 0);
    EXPECT_EQ(render(config.pc), "[tindrel]\nenabled = 'false'\n");
}

TEST(PconfSet, CreateMissingBuildsParentsButNeverDropsData)
{
    Config config;
    parseOrFail(config, "[a]\nvalue = 1\n[a.sub]\nkept = 2\n");
    ASSERT_EQ(pconf_setcreatemissing(config.pc, 1), 0);
    EXPECT_EQ(pconf_set(config.pc, "deep", "x.y.z.w"), 0);
    EXPECT_STREQ(pconf_getstr(config.pc, "", "x.y.z.w"), "deep");
    EXPECT_NE(pconf_set(config.pc, "v", "a.value.below"), 0) << "a plain value cannot hold keys";
    EXPECT_NE(pconf_set(config.pc, "v", "a.sub"), 0) << "would drop the table below";
    EXPECT_EQ(pconf_get32(config.pc, 0, "a.sub.kept"), 2);
    EXPECT_EQ(pconf_get32(config.pc, 0, "a.value"), 1);
    EXPECT_NE(pconf_set(config.pc, "bad \xC0\x80", "a.v"), 0) << "not UTF-8";
    EXPECT_NE(pconf_set(config.pc, nullptr, "a.v"), 0);
    EXPECT_NE(pconf_set(config.pc, "v", "a."), 0);
    EXPECT_EQ(pconf_getstr(config.pc, nullptr, "a.v"), nullptr);
}

TEST(PconfRemove, RemovesTheKeyAndEverythingBelow)
{
    Config config;
    parseOrFail(config,
                "[tindrel]\nkeep = 1\n[tindrel.network.publish]\nname = \"x\"\n[tindrel.www]\nenabled = true\n");
    EXPECT_EQ(pconf_remove(config.pc, "tindrel.network.publish.name"), 0);
    EXPECT_EQ(pconf_getstr(config.pc, nullptr, "tindrel.network.publish.name"), nullptr);
    EXPECT_NE(pconf_remove(config.pc, "tindrel.network.publish.name"), 0) << "already gone";
    EXPECT_EQ(pconf_remove(config.pc, "tindrel.www"), 0);
    EXPECT_EQ(pconf_getbool(config.pc, 0, "tindrel.www.enabled"), 0);
    EXPECT_NE(pconf_remove(config.pc, "tindrel.keep.below"), 0);
    EXPECT_EQ(pconf_get32(config.pc, 0, "tindrel.keep"), 1);
}

TEST(PconfRender, OverflowLeavesAnEmptyBuffer)
{
    Config config;
    parseOrFail(config, "[tindrel]\nenabled = 'true'\n");
    const std::string full = render(config.pc);
    ASSERT_FALSE(full.empty());
    std::vector<char> buf(full.size() + 1, 'x');
    EXPECT_NE(pconf_renderpc(config.pc, buf.data(), full.size()), 0) << "no room for the terminator";
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(pconf_renderpc(config.pc, buf.data(), buf.size()), 0);
    EXPECT_EQ(std::string(buf.data()), full);
    EXPECT_NE(pconf_renderpc(config.pc, buf.data(), 0), 0);
    EXPECT_NE(pconf_renderpc(config.pc, nullptr, 10), 0);

    Config empty;
    ASSERT_EQ(pconf_create(&empty.pc), 0);
    char one[1] = {'x'};
    EXPECT_EQ(pconf_renderpc(empty.pc, one, sizeof one), 0);
    EXPECT_EQ(one[0], '\0');
}

TEST(PconfRelease, ClearsTheVariableAndToleratesNull)
{
    pconf_t *pc = nullptr;
    ASSERT_EQ(pconf_create(&pc), 0);
    pconf_release(&pc);
    EXPECT_EQ(pc, nullptr);
    pconf_release(&pc);
    pconf_release(nullptr);
}

// The network server panel's write: every key set from an empty or parsed
// file, then read back the way the panel reads it.
TEST(PconfServerPanel, PanelKeysReadBackAfterAWrite)
{
    struct Key {
        const char *key;
        const char *written;
    };
    const Key keys[] = {
        {"tindrel.startatboot", "false"},
        {"tindrel.logging.level", "info"},
        {"tindrel.logging.file", "/Library/Logs/tindrel22networkserver.log"},
        {"tindrel.enabled", "true"},
        {"tindrel.network.ipv4.port", "5661"},
        {"tindrel.network.publish.enabled", "true"},
        {"tindrel.network.publish.name", "My Server"},
        {"tindrel.auth.password", "s3cr\"t"},
        {"tindrel.www.enabled", "false"},
        {"tindrel.www.docroot", "/Library/Application Support/Tindrels/Tindrel22NetworkServer/html"},
        {"tindrel.www.logging.accesslog", "/Library/Logs/tindrel22networkserver_webserveraccess.log"},
        {"tindrel.www.network.ipv4.port", "80x"},
        {"tindrel.www.mimetypes", "/Library/Application Support/Tindrels/Tindrel22NetworkServer/mimetypes.kv"},
        {"tindrel.feature.dictionary.directory", "/Library/Preferences/Tindrel22NetworkServer/dictionary.d"},
        {"tindrel.feature.dictionary.enabled", "true"},
        {"tindrel.feature.control.enabled", "false"},
    };
    Config config;
    parseOrFail(config, "[tindrel]\nenabled = \"false\"\nunknown = \"kept\"\n");
    ASSERT_EQ(pconf_setcreatemissing(config.pc, 1), 0);
    for (const Key &k : keys)
        ASSERT_EQ(pconf_set(config.pc, k.written, "%s", k.key), 0) << k.key;
    std::vector<char> buf(4096);
    ASSERT_EQ(pconf_renderpc(config.pc, buf.data(), buf.size()), 0);

    Config again;
    parseOrFail(again, buf.data());
    for (const Key &k : keys)
        EXPECT_STREQ(pconf_getstr(again.pc, "", "%s", k.key), k.written) << k.key;
    EXPECT_EQ(pconf_getbool(again.pc, 1, "tindrel.startatboot"), 0);
    EXPECT_EQ(pconf_getbool(again.pc, 0, "tindrel.enabled"), 1);
    EXPECT_EQ(pconf_getu32(again.pc, 0, "tindrel.network.ipv4.port"), 5661u);
    EXPECT_EQ(pconf_getu32(again.pc, 8989, "tindrel.www.network.ipv4.port"), 8989u) << "letters give the default";
    EXPECT_EQ(pconf_getbool(again.pc, 1, "tindrel.feature.control.enabled"), 0);
    EXPECT_STREQ(pconf_getstr(again.pc, "", "tindrel.unknown"), "kept");

    // Clearing the server name removes the key; the rest stays.
    ASSERT_EQ(pconf_remove(again.pc, "tindrel.network.publish.name"), 0);
    Config third;
    reparse(again, third);
    EXPECT_STREQ(pconf_getstr(third.pc, "", "tindrel.network.publish.name"), "");
    EXPECT_EQ(pconf_getbool(third.pc, 0, "tindrel.network.publish.enabled"), 1);
}

TEST(PconfServerPanel, DictionaryFileSerialIsDecimalText)
{
    TempDir dir;
    Config config;
    ASSERT_EQ(pconf_create(&config.pc), 0);
    ASSERT_EQ(pconf_setcreatemissing(config.pc, 1), 0);
    ASSERT_EQ(pconf_set(config.pc, "Kitchen", "dictionary.label"), 0);
    ASSERT_EQ(pconf_set(config.pc, "1003", "dictionary.sn"), 0);
    ASSERT_EQ(pconf_set(config.pc, "true", "dictionary.enabled"), 0);
    char buf[16384];
    ASSERT_EQ(pconf_renderpc(config.pc, buf, sizeof buf), 0);
    dir.write("1002.dpc", buf);

    Config read;
    char err[1024];
    ASSERT_EQ(pconf_parsepc(&read.pc, err, sizeof err, "%s/%s", dir.path().c_str(), "1002.dpc"), 0) << err;
    EXPECT_EQ(pconf_get32(read.pc, 0, "dictionary.sn"), 1003);
    EXPECT_STREQ(pconf_getstr(read.pc, "", "dictionary.label"), "Kitchen");
    EXPECT_EQ(pconf_getbool(read.pc, 0, "dictionary.enabled"), 1);
}
