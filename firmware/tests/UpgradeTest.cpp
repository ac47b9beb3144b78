// The upgrade procedure and the lookup against the simulated devices: a
// device comes back with the new version, a wrong image is refused on every
// attempt, an unplug ends the upgrade and a second one works.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FirmwareCatalogue.h"
#include "FirmwareLookup.h"
#include "FirmwareUpgrader.h"
#include "TindrelTreeNode.h"
#include "firmware_image.h"
#include "tindrel22.h"
#include "tindrelsim.h"

using namespace tindrel::fw;

namespace {

const char *const kRig = R"({"devices": [
  {"id": "hub", "deviceId": 129, "class": 8, "name": "Hub", "serial": 7000, "channels": [{"class": "Hub"}]},
  {"id": "motor", "parent": "hub", "hubPort": 3, "deviceId": 57, "class": 21, "name": "Motor", "xlnkId": 57,
   "firmwareUpgradeString": "TDR6100", "version": 100, "channels": [{"class": "DCMotor"}]},
  {"id": "relay", "deviceId": 30, "class": 2, "name": "Relay", "serial": 300, "version": 100,
   "firmwareUpgradeString": "TDR3301", "channels": [{"class": "DigitalOutput"}]},
  {"id": "encoder", "deviceId": 25, "class": 2, "name": "Encoder", "serial": 400, "version": 103, "present": false,
   "firmwareUpgradeString": "TDR7100", "channels": [{"class": "Encoder"}]},
  {"id": "loader", "deviceId": 143, "class": 2, "name": "Firmware Loader", "serial": 400, "version": 100,
   "firmwareUpgradeString": "TDR7100", "afterUpgrade": "encoder", "channels": [{"class": "FirmwareUpgrade"}]},
  {"id": "portloader", "parent": "hub", "hubPort": 1, "deviceId": 103, "class": 21, "name": "Port Loader",
   "xlnkId": 24, "firmwareUpgradeString": "TDR4500", "channels": [{"class": "FirmwareUpgrade"}]},
  {"id": "mute", "deviceId": 102, "class": 2, "name": "Silent Loader", "serial": 500, "identifies": false,
   "firmwareUpgradeString": "TDR5400", "channels": [{"class": "FirmwareUpgrade"}]},
  {"id": "hub2", "deviceId": 129, "class": 8, "name": "Second Hub", "serial": 7100, "version": 111,
   "firmwareUpgradeString": "TDR2006", "channels": [{"class": "Hub"}]},
  {"id": "port0loader", "parent": "hub2", "hubPort": 0, "deviceId": 103, "class": 21, "name": "Port Loader",
   "xlnkId": 24, "firmwareUpgradeString": "TDR4500", "channels": [{"class": "FirmwareUpgrade"}]}
]})";

void load()
{
    char err[512] = {};
    ASSERT_EQ(TindrelSim_loadRigText(kRig, "upgrade rig", err, sizeof err), TINDREL_OK) << err;
}

// Writes an image file and returns its record.
FirmwareUpgrade writeImage(const QTemporaryDir &dir, const char *family, uint32_t xlnkId, int version,
                           size_t payload = 2000, const char *content = nullptr)
{
    tindrel_fwimage::Image img{content ? content : family, xlnkId, static_cast<uint32_t>(version),
                               std::vector<uint8_t>(payload, 0x33)};
    const std::vector<uint8_t> bytes = tindrel_fwimage::encode(img);
    const QString name = xlnkId ? QString::asprintf("%s_%05X_v%03d.bin.obf", family, xlnkId, version)
                                : QString::asprintf("%s_%03d.bin.rc4", family, version);
    QFile f(QDir(dir.path()).filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    f.close();
    auto fw = initWithFile(f.fileName());
    EXPECT_TRUE(fw);
    return fw.value_or(FirmwareUpgrade{});
}

UpgradeTarget motorTarget(const FirmwareUpgrade &fw)
{
    UpgradeTarget t;
    t.hasFirmwareUpgrade = true;
    t.fw = fw;
    t.address = {7000, true, 3, false, {}};
    t.devClass = TINDREL_DEVCLASS_XLNK;
    t.normalClass = TINDREL_CHCLASS_DCMOTOR;
    return t;
}

UpgradeTarget relayTarget(const FirmwareUpgrade &fw)
{
    UpgradeTarget t;
    t.hasFirmwareUpgrade = true;
    t.fw = fw;
    t.address = {300, false, 0, false, {}};
    t.devClass = 2;
    t.normalClass = TINDREL_CHCLASS_DIGITALOUTPUT;
    return t;
}

class Progress : public ProgressTarget {
public:
    void progressFromLibrary(double p) override
    {
        std::lock_guard<std::mutex> lock(m);
        values.push_back(p);
    }
    std::vector<double> all()
    {
        std::lock_guard<std::mutex> lock(m);
        return values;
    }

private:
    std::mutex m;
    std::vector<double> values;
};

struct Attempt {
    std::ostringstream out, err;
    Progress progress;
    bool upgrade(const UpgradeTarget &t) { return upgradeFirmware(t, &progress, {out, err}); }
};

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The version of the device holding a channel of this class and serial
// number, once it is attached again.
int versionAfterRestart(Tindrel_ChannelClass cls, int serial, int hubPort = 0)
{
    TindrelHandle h = nullptr;
    createTypedTindrelChannelHandle(&h, cls);
    Tindrel_setDeviceSerialNumber(h, serial);
    Tindrel_setHubPort(h, hubPort);
    int version = -1;
    if (Tindrel_openWaitForAttachment(h, 10000) == TINDREL_OK)
        Tindrel_getDeviceVersion(h, &version);
    Tindrel_close(h);
    Tindrel_delete(&h);
    return version;
}

// The lookup on a device, through a channel handle's parent device handle.
std::optional<FirmwareUpgrade> lookup(Tindrel_ChannelClass cls, int serial, int hubPort,
                                      const std::vector<FirmwareUpgrade> &list)
{
    TindrelHandle h = nullptr;
    createTypedTindrelChannelHandle(&h, cls);
    Tindrel_setDeviceSerialNumber(h, serial);
    Tindrel_setHubPort(h, hubPort);
    std::optional<FirmwareUpgrade> fw;
    TindrelHandle device = nullptr;
    if (Tindrel_openWaitForAttachment(h, 5000) == TINDREL_OK && Tindrel_getParent(h, &device) == TINDREL_OK) {
        // The loader cannot be opened by the lookup while this handle holds it.
        Tindrel_retain(device);
        Tindrel_close(h);
        fw = latestFirmwareForTindrel(device, list);
        Tindrel_release(&device);
    }
    Tindrel_close(h);
    Tindrel_delete(&h);
    return fw;
}

class Upgrade : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        load();
    }
    void TearDown() override { TindrelSim_clear(); }
    QTemporaryDir dir;
};

}   // namespace

TEST_F(Upgrade, HubPortDeviceIsPowerCycledAndComesBackWithTheNewVersion)
{
    Attempt run;
    ASSERT_TRUE(run.upgrade(motorTarget(writeImage(dir, "TDR6100", 57, 105)))) << run.err.str();
    EXPECT_EQ(count(run.out.str(), "Power cycling hub port\n"), 2u) << "before the attempt and instead of a reboot";
    EXPECT_NE(run.out.str().find("Opening with serial: 7000, hubport: 3\n"), std::string::npos);
    EXPECT_NE(run.out.str().find("Sending firmware to device...\n"), std::string::npos);
    EXPECT_TRUE(run.out.str().ends_with("Success!\n\n")) << run.out.str();
    EXPECT_EQ(run.err.str(), "");
    const std::vector<double> p = run.progress.all();
    ASSERT_GE(p.size(), 10u);
    EXPECT_EQ(p.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DCMOTOR, 7000, 3), 105);
}

TEST_F(Upgrade, UsbDeviceRebootsIntoItsLoaderAndBack)
{
    Attempt run;
    ASSERT_TRUE(run.upgrade(relayTarget(writeImage(dir, "TDR3301", 0, 702)))) << run.err.str();
    EXPECT_NE(run.out.str().find("Rebooting into firmware upgrade mode...\n"), std::string::npos);
    EXPECT_NE(run.out.str().find("Rebooting device...\n"), std::string::npos);
    EXPECT_EQ(run.out.str().find("Power cycling"), std::string::npos);
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 702);
}

TEST_F(Upgrade, AHubIsUpgradedItselfNotTheLoaderOnItsFirstPort)
{
    // The hub and the device on its port 0 have the same serial number and
    // hub port; the loader there is waiting for an image of its own.
    UpgradeTarget t;
    t.hasFirmwareUpgrade = true;
    t.fw = writeImage(dir, "TDR2006", 0, 112);
    t.address = {7100, false, 0, false, {}};
    t.devClass = TINDREL_DEVCLASS_HUB;
    t.normalClass = TINDREL_CHCLASS_HUB;
    Attempt run;
    ASSERT_TRUE(run.upgrade(t)) << run.err.str();
    EXPECT_EQ(count(run.out.str(), "Trying again..."), 0u) << run.err.str();
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_HUB, 7100), 112);

    // The loader is still a loader, and takes its own image.
    UpgradeTarget port;
    port.hasFirmwareUpgrade = true;
    port.fw = writeImage(dir, "TDR4500", 24, 104);
    port.address = {7100, true, 0, false, {}};
    port.devClass = TINDREL_DEVCLASS_XLNK;
    port.normalClass = TINDREL_CHCLASS_FIRMWAREUPGRADE;
    port.showsLoader = true;
    Attempt second;
    EXPECT_TRUE(second.upgrade(port)) << second.err.str();
}

TEST_F(Upgrade, AnImageForAnotherDeviceFailsEveryAttempt)
{
    Attempt run;
    EXPECT_FALSE(run.upgrade(relayTarget(writeImage(dir, "TDR3301", 0, 702, 2000, "TDR3304"))));
    const std::string wrong =
        std::string("Error sending firmware to device: ") + Tindrel_strerror(TINDREL_EWRONGDEVICE);
    EXPECT_EQ(count(run.err.str(), wrong), 4u) << run.err.str();
    EXPECT_EQ(count(run.out.str(), "Trying again...\n"), 3u);
    EXPECT_TRUE(run.err.str().ends_with("Fail!\n\n"));
    EXPECT_TRUE(run.progress.all().empty());
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 100);
}

TEST_F(Upgrade, UnpluggedMidUpgradeFailsAndTheReplugedDeviceUpgradesAgain)
{
    const FirmwareUpgrade fw = writeImage(dir, "TDR3301", 0, 702);
    ASSERT_EQ(TindrelSim_setUpgradeFault("relay", TINDRELSIM_UPGRADE_UNPLUG, 1), TINDREL_OK);
    Attempt first;
    EXPECT_FALSE(first.upgrade(relayTarget(fw)));
    EXPECT_NE(first.err.str().find("Error sending firmware to device: "), std::string::npos);
    // The later attempts find no device at all.
    EXPECT_NE(first.err.str().find("Error on fw wait for attach: "), std::string::npos);
    ASSERT_FALSE(first.progress.all().empty());
    EXPECT_LT(first.progress.all().back(), 1.0);

    ASSERT_EQ(TindrelSim_attachDevice("relay"), TINDREL_OK);
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 100);
    Attempt second;
    EXPECT_TRUE(second.upgrade(relayTarget(fw))) << second.err.str();
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 702);
}

// An output that runs an action once, when a line is written to it.
class OnLine : public std::stringbuf {
public:
    OnLine(std::string line, std::function<void()> action)
        : line_(std::move(line))
        , action_(std::move(action))
    { }

protected:
    int sync() override
    {
        if (action_ && str().find(line_) != std::string::npos)
            std::exchange(action_, nullptr)();
        return 0;
    }

private:
    std::string line_;
    std::function<void()> action_;
};

// A device found in neither mode, back running its own firmware as its
// loader is looked for (as one that just left a loader is): the attempt looks
// for it once more and goes on, rather than failing.
TEST_F(Upgrade, ADeviceBackFromItsLoaderWhileItWasLookedForIsRebootedIntoItAgain)
{
    ASSERT_EQ(TindrelSim_detachDevice("relay"), TINDREL_OK);
    OnLine out("Opening in firmware upgrade mode...\n", [] { TindrelSim_attachDevice("relay"); });
    std::ostream outStream(&out);
    std::ostringstream err;
    ASSERT_TRUE(upgradeFirmware(relayTarget(writeImage(dir, "TDR3301", 0, 702)), nullptr, {outStream, err}))
        << out.str() << err.str();
    EXPECT_EQ(err.str(), "") << "the first attempt went on";
    EXPECT_EQ(count(out.str(), "Rebooting into firmware upgrade mode...\n"), 1u) << out.str();
    EXPECT_TRUE(out.str().ends_with("Success!\n\n")) << out.str();
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 702);
}

TEST_F(Upgrade, AFailedTransferIsRetriedAndTheRetrySucceeds)
{
    ASSERT_EQ(TindrelSim_setUpgradeFault("relay", TINDRELSIM_UPGRADE_FAIL, 1), TINDREL_OK);
    Attempt run;
    EXPECT_TRUE(run.upgrade(relayTarget(writeImage(dir, "TDR3301", 0, 702)))) << run.err.str();
    EXPECT_EQ(count(run.out.str(), "Trying again..."), 1u);
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_DIGITALOUTPUT, 300), 702);
}

TEST_F(Upgrade, ImageSizeLimitsAndNothingToDo)
{
    // 32768 bytes in all go to the device; one more fails before any traffic.
    constexpr size_t kOverhead = 8 + 2 + 7 + 12 + 4;
    Attempt exact;
    EXPECT_TRUE(exact.upgrade(relayTarget(writeImage(dir, "TDR3301", 0, 703, 32768 - kOverhead)))) << exact.err.str();
    Attempt over;
    EXPECT_FALSE(over.upgrade(relayTarget(writeImage(dir, "TDR3301", 0, 704, 32769 - kOverhead))));
    EXPECT_EQ(over.out.str(), "");
    Attempt missing;
    UpgradeTarget gone = relayTarget(FirmwareUpgrade{});
    gone.fw.filePath = dir.filePath(QStringLiteral("none.bin.rc4"));
    EXPECT_FALSE(missing.upgrade(gone));
    EXPECT_EQ(missing.out.str(), "");
    Attempt nothing;
    UpgradeTarget upToDate = relayTarget(FirmwareUpgrade{});
    upToDate.hasFirmwareUpgrade = false;
    EXPECT_TRUE(nothing.upgrade(upToDate));
    EXPECT_EQ(nothing.out.str(), "");
}

TEST_F(Upgrade, LoaderDeviceSkipsTheRebootAndComesBackAsItsProduct)
{
    UpgradeTarget t;
    t.hasFirmwareUpgrade = true;
    t.fw = writeImage(dir, "TDR7100", 0, 104);
    t.address = {400, false, 0, false, {}};
    t.devClass = 2;
    t.normalClass = TINDREL_CHCLASS_FIRMWAREUPGRADE;
    t.showsLoader = true;
    Attempt run;
    ASSERT_TRUE(run.upgrade(t)) << run.err.str();
    EXPECT_EQ(run.out.str().find("Opening with serial"), std::string::npos);
    EXPECT_EQ(run.out.str().find("Rebooting into firmware upgrade mode"), std::string::npos);
    EXPECT_EQ(versionAfterRestart(TINDREL_CHCLASS_ENCODER, 400), 104);
}

TEST_F(Upgrade, LookupAsksLoadersWhatTheyAreAndGivesUpOnSilentOnes)
{
    const std::vector<FirmwareUpgrade> list = {
        writeImage(dir, "TDR7100", 0, 103),  writeImage(dir, "TDR7100", 0, 102), writeImage(dir, "TDR4500", 24, 104),
        writeImage(dir, "TDR4500", 25, 109), writeImage(dir, "TDR5400", 0, 101), writeImage(dir, "TDR6100", 57, 101),
        writeImage(dir, "TDR6100", 58, 109),
    };
    auto usb = lookup(TINDREL_CHCLASS_FIRMWAREUPGRADE, 400, 0, list);
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->version, 103);
    auto port = lookup(TINDREL_CHCLASS_FIRMWAREUPGRADE, 7000, 1, list);
    ASSERT_TRUE(port);
    EXPECT_EQ(port->version, 104) << "the loader's actual identifier picks the image";
    EXPECT_FALSE(lookup(TINDREL_CHCLASS_FIRMWAREUPGRADE, 500, 0, list)) << "a loader that never identifies";
    auto motor = lookup(TINDREL_CHCLASS_DCMOTOR, 7000, 3, list);
    ASSERT_TRUE(motor);
    EXPECT_EQ(motor->version, 101);
    EXPECT_FALSE(lookup(TINDREL_CHCLASS_DIGITALOUTPUT, 300, 0, list)) << "no image of its family";
}
