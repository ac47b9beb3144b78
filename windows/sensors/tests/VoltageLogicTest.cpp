// The voltage windows' tables and choices, without a window.
#include "VoltageLogic.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <set>

using namespace tindrel;
using namespace tindrel::voltage;

TEST(VoltageLogic, SensorListsHoldTheGenericRowThenTheCatalogueOnce)
{
    ASSERT_EQ(voltageSensors().size(), 35u);
    ASSERT_EQ(ratioSensors().size(), 49u);
    EXPECT_STREQ(voltageSensors()[0].title, "Generic Voltage Sensor");
    EXPECT_EQ(voltageSensors()[0].code, 0);
    EXPECT_STREQ(ratioSensors()[0].title, "Generic ratiometric sensor");
    std::set<int> codes;
    for (auto list : {voltageSensors(), ratioSensors()})
        for (std::size_t i = 1; i < list.size(); ++i) {
            const QString title = QString::fromLatin1(list[i].title);
            // "TDRnnnn_v - description", its code the number's digits and variant.
            EXPECT_TRUE(title.contains(QRegularExpression(QStringLiteral("^TDR\\d{4}_\\d - \\S")))) << list[i].title;
            EXPECT_EQ(list[i].code, title.mid(3, 4).toInt() * 10 + title.mid(8, 1).toInt()) << list[i].title;
            EXPECT_TRUE(codes.insert(list[i].code).second) << list[i].title;
            for (QChar c : title)
                EXPECT_LT(c.unicode(), 128) << list[i].title;
        }
}

TEST(VoltageLogic, SensorTitleLookupIsExactAndFallsBackToZero)
{
    EXPECT_EQ(sensorCodeForTitle(voltageSensors(), QString::fromLatin1(voltageSensors()[3].title)),
              voltageSensors()[3].code);
    EXPECT_EQ(sensorCodeForTitle(voltageSensors(), QStringLiteral("Generic Voltage Sensor")), 0);
    EXPECT_EQ(sensorCodeForTitle(voltageSensors(), QStringLiteral("generic voltage sensor")), 0);
    EXPECT_EQ(sensorCodeForTitle(ratioSensors(), QStringLiteral("No such sensor")), 0);
}

TEST(VoltageLogic, RangeChoicesAndSelectionByDevice)
{
    EXPECT_EQ(rangeTitles(49), (QStringList{"400 mV", "2 V"}));
    EXPECT_EQ(rangeTitleToSelect(49, 5), QStringLiteral("400 mV"));
    EXPECT_EQ(rangeTitleToSelect(49, 7), QStringLiteral("2 V"));
    EXPECT_EQ(rangeTitleToSelect(49, 8), std::nullopt);
    EXPECT_EQ(rangeTitleToSelect(92, 4), QStringLiteral("312.5 mV"));
    EXPECT_EQ(rangeTitleToSelect(92, 10), QStringLiteral("40 V"));
    EXPECT_EQ(rangeTitleToSelect(92, 1), QStringLiteral("40 V"));
    for (int code = 8; code <= 11; ++code)
        EXPECT_EQ(rangeTitleToSelect(93, code), rangeTitles(93).at(code - 8));
    EXPECT_EQ(rangeTitleToSelect(93, 7), std::nullopt);
    const int codes94[] = {1, 2, 3, 6, 11};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(rangeTitleToSelect(94, codes94[i]), rangeTitles(94).at(i));
    EXPECT_EQ(rangeTitleToSelect(94, 4), std::nullopt);
    EXPECT_TRUE(rangeTitles(6).isEmpty());
    for (int id : {6, 7, 42, 45, 51, 97})
        EXPECT_TRUE(hasSensorPort(id) && !hasVoltageRange(id));
    EXPECT_TRUE(hasPowerSupply(55) && !hasSensorPort(55));
}

TEST(VoltageLogic, GainChoicesAndSelection)
{
    EXPECT_EQ(gainTitles(24), (QStringList{"1x", "8x", "16x", "32x", "64x", "128x"}));
    EXPECT_EQ(gainTitles(99).size(), 8);
    EXPECT_EQ(gainTitleToSelect(2), QStringLiteral("2x"));   // absent on device 24: nothing selected there
    EXPECT_EQ(gainTitleToSelect(7), QStringLiteral("64x"));
    EXPECT_EQ(gainTitleToSelect(8), QStringLiteral("128x"));
    EXPECT_EQ(gainTitleToSelect(42), QStringLiteral("128x"));
    EXPECT_EQ(gainTitleToSelect(0), QStringLiteral("128x"));
}

TEST(VoltageLogic, ValueTexts)
{
    EXPECT_EQ(voltageText(1.23456), QStringLiteral("1.2346 V"));
    EXPECT_EQ(ratioText(0.001234, bridgeSubclass), QStringLiteral("1.234e-03 V/V"));
    EXPECT_EQ(ratioText(0.001234, sensorPortSubclass), QStringLiteral("0.001 V/V"));
    EXPECT_EQ(sensorText(25, QStringLiteral("\u00b0C")), QStringLiteral("25.000 \u00b0C"));
}
