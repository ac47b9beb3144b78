// Dictionaries as the simulated server offers them: starting contents from
// the rig, one device per enabled dictionary file, and another client's
// changes reaching the open handles, several handles sharing one dictionary.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "tindrel22.h"
#include "tindrelsim.h"

using namespace simtest;

namespace {

struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tindrel-dict-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    void write(const std::string &name, const std::string &text) const
    {
        std::ofstream(path / name, std::ios::trunc) << text;
    }
};

std::string dpc(const char *label, const char *sn, const char *enabled)
{
    return std::string("[dictionary]\nlabel = \"") + label + "\"\nsn = " + sn + "\nenabled = " + enabled + "\n";
}

bool waitAttached(TindrelHandle h, bool wanted)
{
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < until) {
        int attached = -1;
        Tindrel_getAttached(h, &attached);
        if ((attached == 1) == wanted)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string keysOf(TindrelDictionaryHandle d)
{
    char keys[1024] = {};
    EXPECT_EQ(TindrelDictionary_scan(d, nullptr, keys, sizeof keys), TINDREL_OK);
    return keys;
}

}   // namespace

TEST(DictionaryServer, RigEntriesAreTheStartingContents)
{
    loadRig(R"({"devices": [{"id": "d", "deviceId": 200, "class": 2, "name": "Server Dictionary", "serial": 5000,
                "channels": [{"class": "Dictionary", "entries": {"b": "2", "a": "1"}}]}]})");
    Channel ch(TINDREL_CHCLASS_DICTIONARY);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
    EXPECT_EQ(keysOf(ch.as<TindrelDictionaryHandle>()), "a\nb\n");

    char err[256] = {};
    EXPECT_NE(TindrelSim_loadRigText(R"({"devices": [{"id": "x", "deviceId": 1, "class": 2, "name": "n",
        "serial": 1, "channels": [{"class": "DigitalInput", "entries": {"a": "1"}}]}]})",
                                     "bad", err, sizeof err),
              TINDREL_OK);
    EXPECT_NE(std::string(err).find("entries"), std::string::npos) << err;
    EXPECT_NE(TindrelSim_loadRigText(R"({"devices": [{"id": "x", "deviceId": 1, "class": 2, "name": "n",
        "serial": 1, "channels": [{"class": "Dictionary", "entries": {"a": 1}}]}]})",
                                     "bad", err, sizeof err),
              TINDREL_OK);
}

TEST(DictionaryServer, EnabledFilesOfferDictionariesThatKeepTheirKeys)
{
    loadRig("{}");
    TempDir dir;
    dir.write("2001.dpc", dpc("bench", "\"2001\"", "\"true\""));
    dir.write("2002.dpc", dpc("off", "2002", "false"));
    dir.write("notes.txt", dpc("notes", "2003", "true"));
    ASSERT_EQ(TindrelSim_watchDictionaryDirectory(dir.path.c_str()), TINDREL_OK);

    Channel on(TINDREL_CHCLASS_DICTIONARY);
    ASSERT_EQ(Tindrel_setDeviceSerialNumber(on.h, 2001), TINDREL_OK);
    ASSERT_EQ(Tindrel_openWaitForAttachment(on.h, 5000), TINDREL_OK);
    const char *label = nullptr;
    ASSERT_EQ(Tindrel_getDeviceLabel(on.h, &label), TINDREL_OK);
    EXPECT_STREQ(label, "bench");
    ASSERT_EQ(TindrelDictionary_add(on.as<TindrelDictionaryHandle>(), "k", "v"), TINDREL_OK);

    // Disabled and not-.dpc files offer nothing.
    for (int serial : {2002, 2003}) {
        Channel off(TINDREL_CHCLASS_DICTIONARY);
        ASSERT_EQ(Tindrel_setDeviceSerialNumber(off.h, serial), TINDREL_OK);
        EXPECT_NE(Tindrel_openWaitForAttachment(off.h, 600), TINDREL_OK) << serial;
    }

    // A new label: the dictionary comes back under it with what it held.
    dir.write("2001.dpc", dpc("relabelled", "2001", "true"));
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while ((Tindrel_getDeviceLabel(on.h, &label) != TINDREL_OK || std::string(label) != "relabelled") &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(waitAttached(on.h, true));
    EXPECT_STREQ(label, "relabelled");
    EXPECT_EQ(keysOf(on.as<TindrelDictionaryHandle>()), "k\n");

    // Another client's change reaches the open handle as an add event.
    Recorder<std::string> added;
    ASSERT_EQ(TindrelDictionary_setOnAddHandler(
                  on.as<TindrelDictionaryHandle>(),
                  [](TindrelDictionaryHandle, void *ctx, const char *key, const char *value) {
                      static_cast<Recorder<std::string> *>(ctx)->add(std::string(key) + "=" + value);
                  },
                  &added),
              TINDREL_OK);
    ASSERT_EQ(TindrelSim_setDictionaryKey("dictionary-2001", 0, "other", "client"), TINDREL_OK);
    ASSERT_TRUE(added.waitCount(1));
    EXPECT_EQ(added.items().front(), "other=client");
    EXPECT_NE(TindrelSim_removeDictionaryKey("dictionary-2001", 0, "missing"), TINDREL_OK);

    // The file goes: so does the dictionary. Watching nothing ends them all.
    std::filesystem::remove(dir.path / "2001.dpc");
    EXPECT_TRUE(waitAttached(on.h, false));
    ASSERT_EQ(TindrelSim_watchDictionaryDirectory(""), TINDREL_OK);
}

TEST(DictionaryServer, SeveralHandlesShareADictionaryAndEachHearsEveryChange)
{
    loadRig(R"({"devices": [
      {"id": "d", "deviceId": 200, "class": 2, "name": "Server Dictionary", "serial": 5000,
       "channels": [{"class": "Dictionary", "entries": {"a": "1"}}]},
      {"id": "in", "deviceId": 10, "class": 2, "name": "Input Board", "serial": 6000,
       "channels": [{"class": "DigitalInput"}]}]})");
    const auto record = [](TindrelDictionaryHandle, void *ctx, const char *key, const char *value) {
        static_cast<Recorder<std::string> *>(ctx)->add(std::string(key) + "=" + value);
    };
    const auto recordRemove = [](TindrelDictionaryHandle, void *ctx, const char *key) {
        static_cast<Recorder<std::string> *>(ctx)->add(std::string("-") + key);
    };
    auto first = std::make_unique<Channel>(TINDREL_CHCLASS_DICTIONARY);
    Channel second(TINDREL_CHCLASS_DICTIONARY);
    Recorder<std::string> heardFirst, heardSecond;
    for (auto [ch, heard] : {std::pair{first.get(), &heardFirst}, {&second, &heardSecond}}) {
        const auto d = ch->as<TindrelDictionaryHandle>();
        ASSERT_EQ(TindrelDictionary_setOnAddHandler(d, record, heard), TINDREL_OK);
        ASSERT_EQ(TindrelDictionary_setOnUpdateHandler(d, record, heard), TINDREL_OK);
        ASSERT_EQ(TindrelDictionary_setOnRemoveHandler(d, recordRemove, heard), TINDREL_OK);
        ASSERT_EQ(Tindrel_openWaitForAttachment(ch->h, 5000), TINDREL_OK);
    }
    EXPECT_EQ(keysOf(second.as<TindrelDictionaryHandle>()), "a\n");

    // One store: what either changes, both hear of, the changer too.
    ASSERT_EQ(TindrelDictionary_add(first->as<TindrelDictionaryHandle>(), "b", "2"), TINDREL_OK);
    ASSERT_EQ(TindrelDictionary_update(second.as<TindrelDictionaryHandle>(), "a", "3"), TINDREL_OK);
    ASSERT_EQ(TindrelDictionary_remove(second.as<TindrelDictionaryHandle>(), "b"), TINDREL_OK);
    const std::vector<std::string> expected{"b=2", "a=3", "-b"};
    EXPECT_TRUE(heardFirst.waitCount(3));
    EXPECT_TRUE(heardSecond.waitCount(3));
    EXPECT_EQ(heardFirst.items(), expected);
    EXPECT_EQ(heardSecond.items(), expected);

    // The first one closed, the other still holds it and hears of changes.
    first.reset();
    int attached = 0;
    ASSERT_EQ(Tindrel_getAttached(second.h, &attached), TINDREL_OK);
    EXPECT_EQ(attached, 1);
    ASSERT_EQ(TindrelSim_setDictionaryKey("d", 0, "c", "4"), TINDREL_OK);
    EXPECT_TRUE(heardSecond.waitCount(4));
    EXPECT_EQ(heardSecond.items().back(), "c=4");
    // Unplugged, every handle on it is detached.
    ASSERT_EQ(TindrelSim_detachDevice("d"), TINDREL_OK);
    EXPECT_TRUE(waitAttached(second.h, false));

    // A device's channel stays with one handle at a time.
    Channel taken(TINDREL_CHCLASS_DIGITALINPUT);
    ASSERT_EQ(Tindrel_openWaitForAttachment(taken.h, 5000), TINDREL_OK);
    auto waiting = std::make_unique<Channel>(TINDREL_CHCLASS_DIGITALINPUT);
    EXPECT_EQ(Tindrel_openWaitForAttachment(waiting->h, 300), TINDREL_ETIMEDOUT);
}
