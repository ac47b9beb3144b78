// Reboots, the firmware loader and hub port power.
#include <algorithm>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "firmware_image.h"

using namespace simtest;

namespace {

const char *kRig = R"RIG({
  "devices": [
    {"id": "hub", "deviceId": 129, "class": 8, "name": "Hub", "serial": 7000, "channels": [{"class": "Hub"}]},
    {"id": "motor", "parent": "hub", "hubPort": 3, "deviceId": 57, "class": 21, "name": "Motor", "xlnkId": 57,
     "firmwareUpgradeString": "TDR6100", "version": 100, "channels": [{"class": "DCMotor"}]}
  ]
})RIG";

void onProgress(TindrelFirmwareUpgradeHandle, void *ctx, double p) { static_cast<Recorder<double> *>(ctx)->add(p); }

std::vector<uint8_t> image(const std::string &family, uint32_t xlnkId, uint32_t version, size_t bytes = 3000)
{
    tindrel_fwimage::Image img;
    img.family = family;
    img.xlnkId = xlnkId;
    img.version = version;
    img.payload.assign(bytes, 0x5a);
    return tindrel_fwimage::encode(img);
}

int deviceVersion(TindrelHandle h)
{
    int v = -1;
    Tindrel_getDeviceVersion(h, &v);
    return v;
}

// Waits until the handle is attached (or the deadline passes).
bool waitAttached(TindrelHandle h, bool attached = true)
{
    int now = !attached;
    for (int i = 0; i < 1000 && now != attached; ++i) {
        Tindrel_getAttached(h, &now);
        if ((now != 0) != attached)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return (now != 0) == attached;
}

// The motor of kRig in its loader, with a firmware-upgrade handle open on it.
struct MotorInLoader {
    Channel motor{TINDREL_CHCLASS_DCMOTOR};
    Channel fw{TINDREL_CHCLASS_FIRMWAREUPGRADE};
    Recorder<double> progress;
    MotorInLoader()
    {
        Tindrel_setHubPort(motor.h, 3);
        EXPECT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
        EXPECT_EQ(Tindrel_rebootFirmwareUpgrade(motor.h, 1500), TINDREL_OK);
        Tindrel_close(motor.h);
        TindrelFirmwareUpgrade_setOnProgressChangeHandler(fw.as<TindrelFirmwareUpgradeHandle>(), onProgress, &progress);
        Tindrel_setHubPort(fw.h, 3);
        EXPECT_EQ(Tindrel_openWaitForAttachment(fw.h, 5000), TINDREL_OK) << lastErrorDetail();
    }
    TindrelReturnCode send(const std::vector<uint8_t> &bytes)
    {
        return TindrelFirmwareUpgrade_sendFirmware(fw.as<TindrelFirmwareUpgradeHandle>(), bytes.data(), bytes.size());
    }
};

}   // namespace

TEST(Upgrade, LoaderIdentifiesLateTakesTheImageAndRebootsBack)
{
    loadRig(kRig);
    Recorder<double> progress;
    Recorder<int> done;
    Channel motor(TINDREL_CHCLASS_DCMOTOR);
    Tindrel_setHubPort(motor.h, 3);
    ASSERT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
    ASSERT_EQ(Tindrel_rebootFirmwareUpgrade(motor.h, 5000), TINDREL_OK);
    Tindrel_close(motor.h);

    Channel fw(TINDREL_CHCLASS_FIRMWAREUPGRADE);
    auto f = fw.as<TindrelFirmwareUpgradeHandle>();
    TindrelFirmwareUpgrade_setOnProgressChangeHandler(f, onProgress, &progress);
    Tindrel_setHubPort(fw.h, 3);
    ASSERT_EQ(Tindrel_openWaitForAttachment(fw.h, 5000), TINDREL_OK) << lastErrorDetail();

    // Ask as the application does: code 51 means "later".
    uint32_t id = 0;
    TindrelReturnCode rc = TindrelFirmwareUpgrade_getActualDeviceXLNKID(f, &id);
    EXPECT_EQ(rc, TINDREL_EUNKNOWNVAL) << "a fresh loader does not know its device yet";
    std::thread asker([&] {
        TindrelReturnCode r = TINDREL_EUNKNOWNVAL;
        for (int i = 0; i < 1000 && r == TINDREL_EUNKNOWNVAL; ++i) {
            r = TindrelFirmwareUpgrade_getActualDeviceXLNKID(f, &id);
            if (r == TINDREL_EUNKNOWNVAL)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        done.add(r);
    });
    ASSERT_TRUE(done.waitCount(1));
    asker.join();
    EXPECT_EQ(done.items()[0], TINDREL_OK);
    EXPECT_EQ(id, 57u);
    const char *sku = nullptr;
    ASSERT_EQ(TindrelFirmwareUpgrade_getActualDeviceSKU(f, &sku), TINDREL_OK);
    EXPECT_STREQ(sku, "TDR6100");

    // The loader outlives its 5 s timeout while it is open and writing.
    std::vector<uint8_t> bytes = image("TDR6100", 57, 105);
    EXPECT_EQ(TindrelFirmwareUpgrade_sendFirmware(f, bytes.data(), 0), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelFirmwareUpgrade_sendFirmware(f, bytes.data(), bytes.size()), TINDREL_OK) << lastErrorDetail();
    // Progress came in steps from 0 to 1, in order, before the call returned.
    ASSERT_TRUE(progress.waitFor([](auto &v) { return !v.empty() && v.back() == 1.0; }));
    const std::vector<double> steps = progress.items();
    EXPECT_GE(steps.size(), 10u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.front(), 0.0);
    ASSERT_EQ(Tindrel_reboot(fw.h), TINDREL_OK);
    Tindrel_close(fw.h);

    // After the reboot the motor is back as itself, with the new version.
    EXPECT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
    EXPECT_EQ(deviceVersion(motor.h), 105);
    TindrelSim_clear();
}

TEST(Upgrade, HubPortPowerCyclesItsDevices)
{
    loadRig(kRig);
    Recorder<int> detached;
    Channel hub(TINDREL_CHCLASS_HUB), motor(TINDREL_CHCLASS_DCMOTOR);
    ASSERT_EQ(Tindrel_openWaitForAttachment(hub.h, 5000), TINDREL_OK);
    Tindrel_setOnDetachHandler(
        motor.h, [](TindrelHandle, void *c) { static_cast<Recorder<int> *>(c)->add(1); }, &detached);
    ASSERT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
    auto hb = hub.as<TindrelHubHandle>();
    ASSERT_EQ(TindrelHub_setPortPower(hb, 3, 0), TINDREL_OK);
    ASSERT_TRUE(detached.waitCount(1));
    EXPECT_EQ(TindrelHub_setPortPower(hb, 9, 1), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelHub_setPortPower(hb, 3, 1), TINDREL_OK);
    int attached = 0;
    for (int i = 0; i < 1000 && !attached; ++i) {
        Tindrel_getAttached(motor.h, &attached);
        if (!attached)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(attached, 1);
    TindrelSim_clear();
}

TEST(Upgrade, LoaderDevicesShowTheirUpgradeChannelWithoutReboot)
{
    loadRig(R"({"devices": [{"id": "l", "deviceId": 143, "class": 2, "name": "Loader", "serial": 9,
                             "firmwareUpgradeString": "TDR7100", "channels": [{"class": "FirmwareUpgrade"}]},
                            {"id": "plain", "deviceId": 30, "class": 2, "name": "Relay", "serial": 10,
                             "channels": [{"class": "DigitalOutput"}]}]})");
    Channel fw(TINDREL_CHCLASS_FIRMWAREUPGRADE), hidden(TINDREL_CHCLASS_FIRMWAREUPGRADE);
    Tindrel_setDeviceSerialNumber(fw.h, 9);
    EXPECT_EQ(Tindrel_openWaitForAttachment(fw.h, 5000), TINDREL_OK);
    Tindrel_setDeviceSerialNumber(hidden.h, 10);
    EXPECT_EQ(Tindrel_openWaitForAttachment(hidden.h, 50), TINDREL_ETIMEDOUT)
        << "an ordinary device shows its loader only after rebooting into it";
    TindrelSim_clear();
}

TEST(Upgrade, ImagesForAnotherDeviceOrDamagedAreRefusedAndChangeNothing)
{
    loadRig(kRig);
    MotorInLoader m;
    // Another family, or the right family for another hub-port identifier.
    EXPECT_EQ(m.send(image("TDR6200", 57, 105)), TINDREL_EWRONGDEVICE);
    EXPECT_NE(lastErrorDetail().find("TDR6200"), std::string::npos);
    EXPECT_EQ(m.send(image("TDR6100", 58, 105)), TINDREL_EWRONGDEVICE);
    std::vector<uint8_t> damaged = image("TDR6100", 57, 105);
    damaged[damaged.size() / 2] ^= 1;
    EXPECT_EQ(m.send(damaged), TINDREL_EINVALIDPACKET);
    EXPECT_NE(lastErrorDetail().find("checksum"), std::string::npos);
    std::vector<uint8_t> cut = image("TDR6100", 57, 105);
    cut.resize(cut.size() - 10);
    EXPECT_EQ(m.send(cut), TINDREL_EINVALIDPACKET);
    EXPECT_EQ(m.progress.size(), 0u) << "a refused image is not written at all";
    EXPECT_EQ(deviceVersion(m.fw.h), 100);
    TindrelSim_clear();
}

TEST(Upgrade, PlannedFaultsStopTheTransferHalfWayAndTheNextOneWorks)
{
    loadRig(kRig);
    ASSERT_EQ(TindrelSim_setUpgradeFault("motor", TINDRELSIM_UPGRADE_FAIL, 1), TINDREL_OK);
    EXPECT_EQ(TindrelSim_setUpgradeFault("nobody", TINDRELSIM_UPGRADE_FAIL, 1), TINDREL_ENOENT);
    MotorInLoader m;
    EXPECT_EQ(m.send(image("TDR6100", 57, 105)), TINDREL_EIO);
    const std::vector<double> partial = m.progress.items();
    ASSERT_FALSE(partial.empty());
    EXPECT_LT(partial.back(), 1.0);
    EXPECT_EQ(deviceVersion(m.fw.h), 100);
    // The plan was for one transfer: the next goes through.
    EXPECT_EQ(m.send(image("TDR6100", 57, 105)), TINDREL_OK);
    TindrelSim_clear();
}

TEST(Upgrade, UnpluggedHalfWayTheDeviceIsGoneUntilPluggedBackWithItsOldVersion)
{
    loadRig(kRig);
    ASSERT_EQ(TindrelSim_setUpgradeFault("motor", TINDRELSIM_UPGRADE_UNPLUG, 1), TINDREL_OK);
    MotorInLoader m;
    EXPECT_EQ(m.send(image("TDR6100", 57, 105)), TINDREL_EIO);
    int attached = 1;
    Tindrel_getAttached(m.fw.h, &attached);
    EXPECT_EQ(attached, 0);
    Tindrel_close(m.fw.h);
    ASSERT_EQ(TindrelSim_attachDevice("motor"), TINDREL_OK);
    ASSERT_EQ(Tindrel_openWaitForAttachment(m.motor.h, 5000), TINDREL_OK);
    EXPECT_EQ(deviceVersion(m.motor.h), 100);
    TindrelSim_clear();
}

TEST(Upgrade, PowerCycleAfterTheImageBringsTheDeviceBackNewAndOutOfItsLoader)
{
    loadRig(kRig);
    Channel hub(TINDREL_CHCLASS_HUB);
    ASSERT_EQ(Tindrel_openWaitForAttachment(hub.h, 5000), TINDREL_OK);
    {
        MotorInLoader m;
        ASSERT_EQ(m.send(image("TDR6100", 57, 110)), TINDREL_OK);
    }
    auto hb = hub.as<TindrelHubHandle>();
    ASSERT_EQ(TindrelHub_setPortPower(hb, 3, 0), TINDREL_OK);
    ASSERT_EQ(TindrelHub_setPortPower(hb, 3, 1), TINDREL_OK);
    Channel motor(TINDREL_CHCLASS_DCMOTOR);
    ASSERT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
    EXPECT_EQ(deviceVersion(motor.h), 110);
    TindrelSim_clear();
}

TEST(Upgrade, LoaderAndRestoreModeDevicesComeBackAsTheirProduct)
{
    loadRig(R"({"devices": [
        {"id": "board", "deviceId": 17, "class": 2, "name": "Board", "serial": 9, "version": 100, "present": false,
         "firmwareUpgradeString": "TDR3100", "channels": [{"class": "DigitalOutput"}]},
        {"id": "restore", "deviceId": 0, "class": 23, "name": "Restore", "serial": 9, "afterUpgrade": "board",
         "firmwareUpgradeString": "TDR3100", "channels": [{"class": "FirmwareUpgrade"}]},
        {"id": "mute", "deviceId": 143, "class": 2, "name": "Loader", "serial": 10, "identifies": false,
         "firmwareUpgradeString": "TDR7100", "channels": [{"class": "FirmwareUpgrade"}]}]})");
    Channel fw(TINDREL_CHCLASS_FIRMWAREUPGRADE);
    Tindrel_setDeviceSerialNumber(fw.h, 9);
    ASSERT_EQ(Tindrel_openWaitForAttachment(fw.h, 5000), TINDREL_OK);
    const std::vector<uint8_t> bytes = image("TDR3100", 0, 905);
    ASSERT_EQ(TindrelFirmwareUpgrade_sendFirmware(fw.as<TindrelFirmwareUpgradeHandle>(), bytes.data(), bytes.size()),
              TINDREL_OK)
        << lastErrorDetail();
    ASSERT_EQ(Tindrel_reboot(fw.h), TINDREL_OK);
    EXPECT_TRUE(waitAttached(fw.h, false));
    Channel out(TINDREL_CHCLASS_DIGITALOUTPUT);
    ASSERT_EQ(Tindrel_openWaitForAttachment(out.h, 5000), TINDREL_OK);
    EXPECT_EQ(deviceVersion(out.h), 905);
    int32_t cls = 0;
    Tindrel_getDeviceClass(out.h, &cls);
    EXPECT_EQ(cls, 2);
    // The restore-mode device stays away.
    Tindrel_close(fw.h);
    EXPECT_EQ(Tindrel_openWaitForAttachment(fw.h, 300), TINDREL_ETIMEDOUT);

    // A loader whose device never identifies keeps answering "later".
    Channel mute(TINDREL_CHCLASS_FIRMWAREUPGRADE);
    Tindrel_setDeviceSerialNumber(mute.h, 10);
    ASSERT_EQ(Tindrel_openWaitForAttachment(mute.h, 5000), TINDREL_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    uint32_t id = 0;
    EXPECT_EQ(TindrelFirmwareUpgrade_getActualDeviceXLNKID(mute.as<TindrelFirmwareUpgradeHandle>(), &id),
              TINDREL_EUNKNOWNVAL);
    TindrelSim_clear();
}

TEST(Upgrade, ImageLayoutRoundTripsAndNamesEachProblem)
{
    const std::vector<uint8_t> bytes = image("TDR3104", 55, 110, 100);
    tindrel_fwimage::Problem p = tindrel_fwimage::Problem::None;
    auto back = tindrel_fwimage::decode(bytes.data(), bytes.size(), &p);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->family, "TDR3104");
    EXPECT_EQ(back->xlnkId, 55u);
    EXPECT_EQ(back->version, 110u);
    EXPECT_EQ(back->payload.size(), 100u);
    EXPECT_FALSE(tindrel_fwimage::decode(bytes.data(), 10, &p));
    EXPECT_EQ(p, tindrel_fwimage::Problem::TooShort);
    std::vector<uint8_t> other = bytes;
    other[0] = 'X';
    EXPECT_FALSE(tindrel_fwimage::decode(other.data(), other.size(), &p));
    EXPECT_EQ(p, tindrel_fwimage::Problem::BadMagic);
    other = bytes;
    other.push_back(0);
    EXPECT_FALSE(tindrel_fwimage::decode(other.data(), other.size(), &p));
    EXPECT_EQ(p, tindrel_fwimage::Problem::BadLength);
    other = bytes;
    other[9] = 200;   // family length beyond the limit
    EXPECT_FALSE(tindrel_fwimage::decode(other.data(), other.size(), &p));
    EXPECT_EQ(p, tindrel_fwimage::Problem::BadLayout);
    EXPECT_TRUE(tindrel_fwimage::encode({std::string(40, 'x'), 0, 1, {}}).empty());
}
