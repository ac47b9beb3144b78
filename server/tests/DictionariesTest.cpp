// The dictionary files as the panel reads and writes them.
#include "Dictionaries.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace tindrel::server;
using tindrel::server::testing::TempDir;
using tindrel::server::testing::writeText;

namespace {

std::string fileText(const char *label, int sn, bool enabled)
{
    return std::string("[dictionary]\nlabel = \"") + label + "\"\nsn = " + std::to_string(sn) +
           "\nenabled = " + (enabled ? "true" : "false") + "\n";
}

TEST(Dictionaries, ProposedSerialFollowsTheLargestButNeverBelow1001)
{
    EXPECT_EQ(nextDictionarySerial({}), 1001);
    EXPECT_EQ(nextDictionarySerial({{1001, "a", true}, {1005, "b", false}}), 1006);
    EXPECT_EQ(nextDictionarySerial({{500, "hand", true}}), 1001);
    EXPECT_EQ(nextDictionarySerial({{-7, "neg", true}, {1002, "x", true}}), 1003);
    // The largest serial number has no successor: nothing is proposed rather than a wrapped one.
    EXPECT_EQ(nextDictionarySerial({{2147483647, "top", true}}), std::nullopt);
}

TEST(Dictionaries, SerialFieldRefusesSmallNumbersAndNonNumbers)
{
    EXPECT_EQ(checkDictionarySerial(std::nullopt), SerialCheck::RefusedSilently);
    EXPECT_EQ(checkDictionarySerial("999"), SerialCheck::RefusedWithAlert);
    EXPECT_EQ(checkDictionarySerial("abc"), SerialCheck::RefusedWithAlert);
    EXPECT_EQ(checkDictionarySerial("-5000"), SerialCheck::RefusedWithAlert);
    EXPECT_EQ(checkDictionarySerial("1000"), SerialCheck::Valid);
    EXPECT_EQ(checkDictionarySerial("  1234xyz"), SerialCheck::Valid);
    EXPECT_EQ(serialValue("99999999999999"), 2147483647);
}

TEST(Dictionaries, DirectoryListsParsableDpcFilesBySerialInTheFile)
{
    TempDir dir;
    writeText(dir.path() / "1002.dpc", fileText("Lab", 1003, true));
    writeText(dir.path() / "notes.txt", fileText("Ignored", 1500, true));
    writeText(dir.path() / "broken.dpc", "[dictionary\nlabel = = =\n");
    std::filesystem::create_directories(dir.path() / "sub.dpc");
    const auto list = readDictionaryDirectory(dir.path().string());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (TindrelDictionary{1003, "Lab", true}));
    EXPECT_EQ(dictionaryFilePath(dir.path().string(), list[0].sn), dir.file("1003.dpc"));
    EXPECT_TRUE(readDictionaryDirectory((dir.path() / "missing").string()).empty());
}

TEST(Dictionaries, RewriteKeepsOtherKeysAndReadsBack)
{
    const std::string existing = "[dictionary]\nlabel = \"Old\"\nsn = 1001\nenabled = true\n[site]\nextra = \"42\"\n";
    const auto rendered = renderDictionaryOver({1001, "Grüne Halle", false}, existing);
    ASSERT_EQ(rendered.result, RenderedConfig::Result::Ok);
    EXPECT_NE(rendered.text.find("extra"), std::string::npos);
    EXPECT_EQ(dictionaryFromText(rendered.text), (TindrelDictionary{1001, "Grüne Halle", false}));

    const auto fresh = renderDictionaryOver({1010, "New", true}, std::string("[not\nvalid = = =\n"));
    ASSERT_EQ(fresh.result, RenderedConfig::Result::Ok);
    EXPECT_EQ(dictionaryFromText(fresh.text), (TindrelDictionary{1010, "New", true}));
}

TEST(Dictionaries, AFileWhereTheDictionaryIsAPlainValueOrALabelThatIsNotUtf8WritesNothing)
{
    const auto plain = renderDictionaryOver({1001, "Lab", true}, std::string("dictionary = 3\n"));
    EXPECT_EQ(plain.result, RenderedConfig::Result::Conflict);
    EXPECT_EQ(plain.text, "dictionary.label");
    const auto badLabel = renderDictionaryOver({1001, "caf\xe9", true}, std::nullopt);
    EXPECT_EQ(badLabel.result, RenderedConfig::Result::Conflict);
}

TEST(Dictionaries, TooLongALabelWritesNothing)
{
    const auto rendered = renderDictionaryOver({1001, std::string(20000, 'x'), true}, std::nullopt);
    EXPECT_EQ(rendered.result, RenderedConfig::Result::TooLarge);
    EXPECT_TRUE(rendered.text.empty());
}

}   // namespace
