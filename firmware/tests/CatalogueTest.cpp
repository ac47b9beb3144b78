// Image file names, choosing a device's image, and the upgrade decision.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FirmwareCatalogue.h"
#include "UpgradeDecision.h"

using namespace tindrel::fw;

namespace {

FirmwareUpgrade record(const char *family, int version, uint32_t xlnkId = 0, const char *path = "")
{
    FirmwareUpgrade fw;
    fw.fwString = QString::fromLatin1(family);
    fw.version = version;
    fw.xlnkId = xlnkId;
    fw.isXlnk = xlnkId != 0;
    fw.filePath = QString::fromLatin1(path);
    return fw;
}

}   // namespace

TEST(FileName, HubPortImageGivesFamilyIdentifierAndVersion)
{
    const auto fw = initWithFile(QStringLiteral("/app/firmware/TDR3104_00037_v105.bin.obf"));
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->fwString, QStringLiteral("TDR3104"));
    EXPECT_EQ(fw->xlnkId, 0x37u);
    EXPECT_EQ(fw->version, 105);
    EXPECT_TRUE(fw->isXlnk);
    EXPECT_EQ(fw->filePath, QStringLiteral("/app/firmware/TDR3104_00037_v105.bin.obf"));
    // The identifier is hexadecimal, upper or lower case.
    EXPECT_EQ(initWithFile(QStringLiteral("TDR9_0001fAB200.bin.obf"))->xlnkId, 0x1fu);
    EXPECT_EQ(initWithFile(QStringLiteral("TDR9_0001fAB200.bin.obf"))->version, 200);
}

TEST(FileName, OtherImageGivesTheNameWithoutItsLastTwelveCharacters)
{
    const auto fw = initWithFile(QStringLiteral("TDR3100_2_905.bin.rc4"));
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->fwString, QStringLiteral("TDR3100_2"));
    EXPECT_EQ(fw->version, 905);
    EXPECT_FALSE(fw->isXlnk);
    EXPECT_EQ(fw->xlnkId, 0u);
}

TEST(FileName, OtherSuffixesAreCataloguedWithoutAFamily)
{
    const auto fw = initWithFile(QStringLiteral("README_100.txt.zip"));
    ASSERT_TRUE(fw);
    EXPECT_FALSE(fw->fwString);
    EXPECT_EQ(fw->version, 100);
}

TEST(FileName, ShortOrMalformedNamesGiveNoRecord)
{
    const char *const bad[] = {
        "",                          // nothing at all
        ".bin.rc4",                  // no version
        "12.bin.rc4",                // too short for a version
        "105.bin.rc4",               // a version but no family
        "_105.bin.rc4",              // an empty family
        "TDR1_1x5.bin.rc4",          // the version is not a number
        "TDR1_-05.bin.rc4",          // nor is this
        "TDR1_+05.bin.rc4",          // nor this
        "TDR1_١٠٥.bin.rc4",          // digits of another script
        "00037_v105.bin.obf",        // too short for an identifier
        "TDR1_0003G_v105.bin.obf",   // the identifier is not hexadecimal
        "TDR100037_v105.bin.obf",    // no "_" before the identifier
        "_00037_v105.bin.obf",       // an empty family
        "TDR1_00037_v1.5.bin.obf",   // broken version
    };
    for (const char *name : bad)
        EXPECT_FALSE(initWithFile(QString::fromUtf8(name))) << name;
}

TEST(Catalogue, FolderListingIsCataloguedAndUnreadableNamesSkipped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char *name : {"TDR3104_00037_v105.bin.obf", "TDR3100_905.bin.rc4", "notes_100.pdf.zip", "x.bin.rc4"}) {
        QFile f(QDir(dir.path()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const auto list = loadFirmwares(dir.path());
    ASSERT_EQ(list.size(), 3u);   // "x.bin.rc4" is too short
    EXPECT_EQ(list[0].fwString, QStringLiteral("TDR3100"));
    EXPECT_EQ(list[1].fwString, QStringLiteral("TDR3104"));
    EXPECT_FALSE(list[2].fwString);   // another suffix: no family
    EXPECT_TRUE(loadFirmwares(QStringLiteral("/no/such/folder")).empty());
}

TEST(Catalogue, TheNewestCandidateWinsAndTheFirstAmongEquals)
{
    const std::vector<FirmwareUpgrade> list = {
        record("TDR3104", 105, 55, "a"), record("TDR3104", 110, 55, "b"), record("TDR3104", 110, 55, "c"),
        record("TDR3104", 120, 56, "d"), record("TDR310", 130, 0, "e"),   record("tdr3104", 140, 55, "f"),
    };
    // A hub-port device: family and identifier must both match.
    const auto fw = latestFirmware({QStringLiteral("TDR3104"), true, 55}, list);
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->version, 110);
    EXPECT_EQ(fw->filePath, QStringLiteral("b"));
    EXPECT_EQ(latestFirmware({QStringLiteral("TDR3104"), true, 56}, list)->filePath, QStringLiteral("d"));
    EXPECT_FALSE(latestFirmware({QStringLiteral("TDR3104"), true, 57}, list));
    // A USB device ignores the identifier.
    EXPECT_EQ(latestFirmware({QStringLiteral("TDR3104"), false, 0}, list)->filePath, QStringLiteral("d"));
    // A device without a family name matches nothing, not even nameless records.
    std::vector<FirmwareUpgrade> nameless = list;
    nameless.push_back(FirmwareUpgrade{});
    EXPECT_FALSE(latestFirmware({QString(), false, 0}, nameless));
}

TEST(Decision, SameMajorVersionOffersTheUpgradeAsDefault)
{
    const UpgradeDecision d = upgradeDecision({false, 0, 0, 55, 21, 110, 120});
    EXPECT_EQ(d.kind, UpgradeDecision::Kind::Ask);
    EXPECT_EQ(d.title, QStringLiteral("Firmware Upgrade"));
    EXPECT_EQ(d.text, QStringLiteral("There is a firmware upgrade available for this device."));
    EXPECT_EQ(d.buttons, (QStringList{"Upgrade", "Don't Upgrade"}));
    EXPECT_EQ(d.upgradeButton, 0);
}

TEST(Decision, MajorUpgradeMakesDeclineTheDefault)
{
    const UpgradeDecision d = upgradeDecision({false, 0, 0, 71, 21, 110, 200});
    EXPECT_EQ(d.title, QStringLiteral("Firmware Upgrade"));
    EXPECT_EQ(d.text, QStringLiteral("There is a major firmware upgrade available for this device, which may be "
                                     "incompatible with existing code/software. Review the product page, and ensure "
                                     "all software has been updated before continuing."));
    EXPECT_EQ(d.buttons, (QStringList{"Don't Upgrade", "Upgrade"}));
    EXPECT_EQ(d.upgradeButton, 1);
}

TEST(Decision, RestoreModeIsAskedEvenWithoutANewerImage)
{
    const UpgradeDecision d = upgradeDecision({false, 0, 0, 0, 23, 905, 100});
    EXPECT_EQ(d.title, QStringLiteral("Firmware Restore"));
    EXPECT_EQ(d.text, QStringLiteral("This device is in restore mode, firmware should be restored."));
    EXPECT_EQ(d.buttons, (QStringList{"Restore", "Don't Restore"}));
    EXPECT_EQ(d.upgradeButton, 0);
}

TEST(Decision, OldServersRefuseTheImagesTheyCannotCarry)
{
    struct Case {
        int major, minor, devId, image;
        bool refused;
    };
    const Case cases[] = {
        {2, 2, 64, 300, true},  {2, 2, 64, 299, false},  {2, 2, 67, 200, true},  {2, 2, 67, 199, false},
        {2, 2, 123, 200, true}, {2, 2, 123, 199, false}, {1, 9, 123, 200, true}, {2, 3, 123, 200, false},
        {3, 0, 64, 300, false}, {2, 2, 30, 900, false},
    };
    for (const Case &c : cases) {
        const UpgradeDecision d = upgradeDecision({true, c.major, c.minor, c.devId, 2, 100, c.image});
        EXPECT_EQ(d.kind == UpgradeDecision::Kind::Refuse, c.refused)
            << c.major << "." << c.minor << " device " << c.devId << " image " << c.image;
        if (c.refused) {
            EXPECT_EQ(d.title, QStringLiteral("Upgrade Required"));
            EXPECT_EQ(d.text, QStringLiteral("The Tindrel Network Server and libraries must be upgraded (on the "
                                             "remote machine) to support the latest firmware release for this "
                                             "Tindrel."));
        }
    }
    // A local device is never refused.
    EXPECT_EQ(upgradeDecision({false, 0, 0, 123, 2, 100, 200}).kind, UpgradeDecision::Kind::Ask);
}
