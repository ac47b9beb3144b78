// The pure logic of the LED array, LCD and data adapter windows.
#include "DisplayLogic.h"

#include <gtest/gtest.h>

using namespace tindrel::displays;

namespace {

QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b)
        out.append(static_cast<char>(v));
    return out;
}

}   // namespace

TEST(HexCommand, SeparatorsPrefixesAndPairsGiveTheSameBytes)
{
    EXPECT_EQ(parseHexCommand("0x01 0x02,03;0A"), bytes({1, 2, 3, 0x0A}));
    EXPECT_EQ(parseHexCommand("0102030a"), bytes({1, 2, 3, 0x0A}));
    EXPECT_EQ(parseHexCommand("  0xABCD  "), bytes({0xAB, 0xCD}));
    EXPECT_EQ(parseHexCommand("A"), bytes({0x0A}));
    EXPECT_EQ(parseHexCommand("AA BB"), bytes({0xAA, 0xBB}));
    EXPECT_EQ(parseHexCommand("0x 7f"), bytes({0x7F}));
}

TEST(HexCommand, OddLongTokensNonHexAndEmptyTextsFail)
{
    EXPECT_FALSE(parseHexCommand("123"));
    EXPECT_FALSE(parseHexCommand("ABC"));
    EXPECT_FALSE(parseHexCommand("Command 1"));
    EXPECT_FALSE(parseHexCommand(""));
    EXPECT_FALSE(parseHexCommand(" , ; "));
    EXPECT_FALSE(parseHexCommand("0x"));
    EXPECT_FALSE(parseHexCommand("+1"));
    EXPECT_FALSE(parseHexCommand("0g"));
}

TEST(I2CAddress, LeadingZerosAndXAreSkipped)
{
    EXPECT_EQ(parseI2CAddress("0x48"), 0x48u);
    EXPECT_EQ(parseI2CAddress("48"), 0x48u);
    EXPECT_EQ(parseI2CAddress("x48"), 0x48u);
    EXPECT_EQ(parseI2CAddress("0x00"), 0u);
    EXPECT_EQ(parseI2CAddress(""), 0u);
    EXPECT_EQ(parseI2CAddress("0x5g"), 5u);
}

TEST(HexReply, BytesJoinedWithoutSeparators)
{
    const uint8_t b[] = {0x01, 0xAB, 0x00};
    EXPECT_EQ(hexReply(b, 3), QStringLiteral("01AB00"));
    EXPECT_EQ(hexReply(b, 0), QString());
}

TEST(LedSends, BasicSendPaintsTheRangeAndAnEndBelowTheStartIsTheStart)
{
    const LedSend one = basicSend(QColor::fromRgbF(1, 1, 1), 5, 2);
    EXPECT_EQ(one.start, 5u);
    EXPECT_EQ(one.end, 5u);
    ASSERT_EQ(one.records.size(), 1u);
    EXPECT_EQ(one.records[0], (LedRecord{255, 255, 255, 0}));
    const LedSend range = basicSend(QColor::fromRgbF(0.5, 0, 1), 0, 3);
    EXPECT_EQ(range.records.size(), 4u);
    EXPECT_EQ(range.records[3], (LedRecord{127, 0, 255, 0}));
    EXPECT_EQ(range.fadeTime, 0u);
}

TEST(LedSends, AdvancedSendPlacesRowsByIndexWithinTheRange)
{
    const std::vector<LedEntry> rows{{0, Qt::red}, {1, Qt::green}, {2, Qt::blue}};
    const LedSend s = advancedSend(rows, 1, 2, 250, 3);
    EXPECT_EQ(s.fadeTime, 250u);
    ASSERT_EQ(s.records.size(), 3u);
    EXPECT_EQ(s.records[0], (LedRecord{0, 255, 0, 0}));
    EXPECT_EQ(s.records[1], (LedRecord{0, 0, 255, 0}));
    EXPECT_EQ(s.records[2], LedRecord{});
    // Rows 0, 2 and a new row 2: the later row wins.
    const std::vector<LedEntry> repeated{{0, Qt::red}, {2, Qt::blue}, {2, Qt::white}};
    const LedSend r = advancedSend(repeated, 0, 2, 0, 3);
    EXPECT_EQ(r.records[2], (LedRecord{255, 255, 255, 0}));
    // A row past the record count is skipped, not written out of bounds.
    const LedSend past = advancedSend({{5, Qt::red}}, 0, 9, 0, 2);
    EXPECT_EQ(past.records, (std::vector<LedRecord>{{}, {}}));
}

TEST(LedSends, HexTextAndPowerTitles)
{
    EXPECT_EQ(hexStringFromColor(Qt::red), QStringLiteral("#FF0000"));
    const auto on = powerStep(QStringLiteral("Power Off"));
    ASSERT_TRUE(on);
    EXPECT_EQ(on->enable, 1);
    const auto off = powerStep(on->newTitle);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->enable, 0);
    EXPECT_EQ(off->newTitle, QStringLiteral("Power Off"));
    EXPECT_FALSE(powerStep(QStringLiteral("Power")));
}

TEST(LcdRows, TextIsPaddedOrCutToTheWidth)
{
    EXPECT_EQ(paddedRow(QStringLiteral("Hi"), 16), QByteArray("Hi              "));
    EXPECT_EQ(paddedRow(QStringLiteral("0123456789"), 4), QByteArray("0123"));
    EXPECT_EQ(paddedRow(QString(), 0), QByteArray());
}

TEST(LcdBitmaps, SizesMatchTheirFonts)
{
    EXPECT_EQ(smileyBitmap().size(), 40u);
    EXPECT_EQ(heartBitmap().size(), 40u);
    EXPECT_EQ(letterABitmap().size(), 90u);
    EXPECT_EQ(letterZBitmap().size(), 72u);
    EXPECT_EQ(blockWordBitmap().size(), 47u * 25u);
    EXPECT_EQ(heartBitmap()[2 * 5 + 0], 1);
    EXPECT_EQ(smileyBitmap()[2 * 5 + 0], 0);
}
