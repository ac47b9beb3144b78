#include "WindowLogic.h"
#include "DigitalLogic.h"

#include <gtest/gtest.h>

using namespace tindrel;

TEST(WindowName, DropsTheProductWordAndSplitsLcdBySubclass)
{
    EXPECT_EQ(windowNameForChannel(QStringLiteral("TindrelDigitalOutput"), 6, 0), QStringLiteral("DigitalOutput"));
    EXPECT_EQ(windowNameForChannel(QStringLiteral("TindrelVoltageRatioInput"), 31, 0),
              QStringLiteral("VoltageRatioInput"));
    EXPECT_EQ(windowNameForChannel(QStringLiteral("TindrelLCD"), 11, 81), QStringLiteral("TextLCD"));
    EXPECT_EQ(windowNameForChannel(QStringLiteral("TindrelLCD"), 11, 80), QStringLiteral("GraphicLCD"));
    EXPECT_EQ(windowNameForChannel(QStringLiteral("DigitalInput"), 5, 0), QStringLiteral("DigitalInput"));
    EXPECT_EQ(windowNameForChannel(QString(), 6, 0), QString());
}

TEST(PictureName, CodeUpToFirstSlashUnlessItHoldsTheSharedNumber)
{
    EXPECT_EQ(pictureNameForSku(QStringLiteral("TDR9105_0")), QStringLiteral("TDR9105_0.png"));
    EXPECT_EQ(pictureNameForSku(QStringLiteral("TDR9105_0/A/B")), QStringLiteral("TDR9105_0.png"));
    EXPECT_EQ(pictureNameForSku(QStringLiteral("/x")), QStringLiteral(".png"));
    const QString shared = QString::fromLatin1(sharedPictureCatalogueNumber);
    EXPECT_EQ(pictureNameForSku(QStringLiteral("X") + shared + QStringLiteral("_2/Y")), shared);
}

TEST(FormatNumber, PicksIntegerOrDoubleConversion)
{
    EXPECT_EQ(formatNumber("%d ms", 249.6), QStringLiteral("250 ms"));
    EXPECT_EQ(formatNumber("%0.3f V", 0.25), QStringLiteral("0.250 V"));
    EXPECT_EQ(formatNumber("%.2f", 1.0), QStringLiteral("1.00"));
    EXPECT_EQ(formatNumber("%.3f A", 0.02), QStringLiteral("0.020 A"));
    EXPECT_EQ(formatNumber("100%% %d", 3), QStringLiteral("100% 3"));
    EXPECT_EQ(formatNumber("%d", 1e12), QStringLiteral("2147483647"));
    // Formats printf could not be handed one int or double: plain text.
    for (const char *unsafe : {"%ld", "%Lf", "%s", "%d %d", "%*d", "trailing %"})
        EXPECT_EQ(formatNumber(unsafe, 2.5), QStringLiteral("2.5")) << unsafe;
    EXPECT_EQ(formatNumber("plain 100%%", 2.5), QStringLiteral("plain 100%"));
}

TEST(SliderScale, MapsDoublesOntoPositionsAndBack)
{
    SliderScale s{0.0, 5.0, false, 1000};
    EXPECT_EQ(s.toPosition(0.25), 50);
    EXPECT_DOUBLE_EQ(s.toValue(50), 0.25);
    EXPECT_EQ(s.toPosition(-1.0), 0);
    EXPECT_EQ(s.toPosition(9.0), 1000);
    EXPECT_DOUBLE_EQ(s.toValue(1000), 5.0);
    EXPECT_DOUBLE_EQ(s.toValue(5000), 5.0);

    SliderScale ms{8.0, 60000.0, true};
    EXPECT_EQ(ms.positions(), 59992);
    EXPECT_EQ(ms.toPosition(250.0), 242);
    EXPECT_DOUBLE_EQ(ms.toValue(242), 250.0);

    SliderScale flat{1.0, 1.0, false};
    EXPECT_EQ(flat.positions(), 0);
    EXPECT_EQ(flat.toPosition(1.0), 0);
    EXPECT_DOUBLE_EQ(flat.toValue(0), 1.0);

    SliderScale reversed{2.0, 1.0, false};
    EXPECT_EQ(reversed.positions(), 0);
    EXPECT_EQ(s.toPosition(std::nan("")), 0);
}

TEST(CodeTable, TitlesAndCodesLookUpBothWays)
{
    EXPECT_EQ(codeForTitle(digital::forwardVoltages, u"2.75 V"), 2);
    EXPECT_EQ(codeForTitle(digital::forwardVoltages, u"5.6 V"), 8);
    EXPECT_FALSE(codeForTitle(digital::forwardVoltages, u"9 V").has_value());
    EXPECT_EQ(titleForCode(digital::forwardVoltages, 4), QStringLiteral("3.9 V"));
    EXPECT_FALSE(titleForCode(digital::forwardVoltages, 0).has_value());
}

TEST(DigitalLogic, ForwardVoltageChoicesAndSelection)
{
    const QStringList low{"1.7 V", "2.75 V", "3.9 V", "5.0 V"};
    const QStringList high{"3.2 V", "4.0 V", "4.8 V", "5.6 V"};
    EXPECT_EQ(digital::forwardVoltageChoices(16), low);
    EXPECT_EQ(digital::forwardVoltageChoices(17), low);
    EXPECT_EQ(digital::forwardVoltageChoices(71), high);
    EXPECT_TRUE(digital::forwardVoltageChoices(18).isEmpty());
    for (const QString &title : low + high)
        EXPECT_TRUE(codeForTitle(digital::forwardVoltages, title).has_value()) << title.toStdString();

    EXPECT_EQ(digital::forwardVoltageTitleToSelect(1), QStringLiteral("1.7 V"));
    EXPECT_EQ(digital::forwardVoltageTitleToSelect(7), QStringLiteral("5.0 V"));
    EXPECT_EQ(digital::forwardVoltageTitleToSelect(8), QStringLiteral("5.6 V"));
    EXPECT_EQ(digital::forwardVoltageTitleToSelect(0), QStringLiteral("5.6 V"));
    EXPECT_EQ(digital::forwardVoltageTitleToSelect(42), QStringLiteral("5.6 V"));
}

TEST(DigitalLogic, SubclassesAndInputPopups)
{
    EXPECT_FALSE(digital::hasDutyCycle(15));
    EXPECT_TRUE(digital::hasDutyCycle(16));
    EXPECT_TRUE(digital::hasDutyCycle(17));
    EXPECT_TRUE(digital::hasDutyCycle(18));
    EXPECT_FALSE(digital::hasDutyCycle(19));

    EXPECT_EQ(digital::powerSupplyCodeForItem(0), 1);
    EXPECT_EQ(digital::powerSupplyCodeForItem(1), 2);
    EXPECT_EQ(digital::powerSupplyCodeForItem(2), 3);
    EXPECT_EQ(digital::powerSupplyCodeForItem(-1), 3);
    EXPECT_EQ(digital::inputModeCodeForItem(0), 1);
    EXPECT_EQ(digital::inputModeCodeForItem(1), 2);
    for (int code : {1, 2, 3})
        EXPECT_EQ(digital::powerSupplyCodeForItem(digital::powerSupplyItemForCode(code)), code);
    EXPECT_EQ(digital::powerSupplyItemForCode(9), 2);
    EXPECT_EQ(digital::inputModeItemForCode(1), 0);
    EXPECT_EQ(digital::inputModeItemForCode(7), 1);
}
