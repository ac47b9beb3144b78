// Reading a whole dictionary in rounds, against a library stand-in that
// answers as the device library does (or misbehaves).
#include "DictionaryLogic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

using namespace tindrel;

namespace {

// Keys after start, as many whole lines as fit; counts the rounds.
struct FakeDictionary {
    std::map<std::string, std::string> entries;
    int rounds = 0;
    int failScanAtRound = -1;
    std::string unreadable;
    bool ignoreStart = false;   // a library that always answers from the first key

    TindrelDictionaryScanner::ScanCall scanCall()
    {
        return [this](const char *start, char *keys, std::size_t length) -> TindrelReturnCode {
            if (rounds++ == failScanAtRound)
                return TINDREL_EIO;
            auto it = start && !ignoreStart ? entries.upper_bound(start) : entries.begin();
            std::string out;
            for (; it != entries.end() && out.size() + it->first.size() + 2 <= length; ++it)
                out += it->first + "\n";
            std::memcpy(keys, out.c_str(), out.size() + 1);
            return TINDREL_OK;
        };
    }
    TindrelDictionaryScanner::GetCall getCall()
    {
        return [this](const char *key, char *value, std::size_t length) -> TindrelReturnCode {
            auto it = entries.find(key);
            if (it == entries.end() || it->first == unreadable)
                return TINDREL_ENOENT;
            std::strncpy(value, it->second.c_str(), length - 1);
            return TINDREL_OK;
        };
    }
    DictionaryPairs scan() { return TindrelDictionaryScanner::scan(scanCall(), getCall()); }
};

}   // namespace

TEST(DictionaryScan, ReadsMoreKeysThanOneAnswerHoldsInRounds)
{
    FakeDictionary d;
    for (int i = 0; i < 300; ++i)
        d.entries["sensor.calibration.offset." + std::to_string(1000 + i)] = "value " + std::to_string(i);
    const DictionaryPairs pairs = d.scan();
    ASSERT_EQ(pairs.size(), 300u);
    EXPECT_GT(d.rounds, 8);   // 300 keys of 31 bytes need at least nine answers of 1024 bytes
    EXPECT_EQ(pairs.at("sensor.calibration.offset.1000"), "value 0");
    EXPECT_EQ(pairs.at("sensor.calibration.offset.1299"), "value 299");
}

TEST(DictionaryScan, EmptyDictionaryAndFailuresEndTheScan)
{
    FakeDictionary empty;
    EXPECT_TRUE(empty.scan().empty());
    EXPECT_EQ(empty.rounds, 1);

    FakeDictionary d;
    for (int i = 0; i < 100; ++i)
        d.entries["k" + std::string(40, 'x') + std::to_string(100 + i)] = "v";
    d.failScanAtRound = 1;
    const DictionaryPairs partial = d.scan();
    EXPECT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), 100u);   // the keys of the first answer only

    // A value that cannot be read shows empty; the other keys are read on.
    FakeDictionary u;
    u.entries = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
    u.unreadable = "b";
    const DictionaryPairs pairs = u.scan();
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs.at("b"), QString());
    EXPECT_EQ(pairs.at("c"), "3");
}

TEST(DictionaryScan, AnAnswerWithNothingNewEndsTheScan)
{
    FakeDictionary d;
    for (int i = 0; i < 100; ++i)
        d.entries["key-" + std::string(30, 'y') + std::to_string(100 + i)] = "v";
    d.ignoreStart = true;
    const DictionaryPairs pairs = d.scan();
    EXPECT_EQ(d.rounds, 2);
    EXPECT_FALSE(pairs.empty());
}

TEST(DictionaryScan, NonAsciiKeysGoBackAsTheyCame)
{
    FakeDictionary d;
    d.entries = {{"gr\xC3\xBC\xC3\x9F", "hallo"}, {"z", "last"}};
    const DictionaryPairs pairs = d.scan();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs.at(QString::fromUtf8("gr\xC3\xBC\xC3\x9F")), "hallo");
}

TEST(DictionaryKeys, SplitAndSortCaseSensitively)
{
    EXPECT_EQ(splitKeyList("a\n\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(splitKeyList("").empty());
    EXPECT_TRUE(splitKeyList(nullptr).empty());
    const DictionaryPairs pairs = {{"b", "1"}, {"a", "2"}, {"B", "3"}};
    EXPECT_EQ(sortedKeysOf(pairs), (std::vector<QString>{"B", "a", "b"}));
}
