// Reboots, the firmware loader and hub port power.
#include <vector>

#include "test_support.h"

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

    std::vector<uint8_t> image(1000, 0x5a);
    EXPECT_EQ(TindrelFirmwareUpgrade_sendFirmware(f, image.data(), 0), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelFirmwareUpgrade_sendFirmware(f, image.data(), image.size()), TINDREL_OK);
    ASSERT_TRUE(progress.waitFor([](auto &v) { return !v.empty() && v.back() == 1.0; }));
    ASSERT_EQ(Tindrel_reboot(fw.h), TINDREL_OK);
    Tindrel_close(fw.h);

    // After the reboot the motor is back as itself.
    EXPECT_EQ(Tindrel_openWaitForAttachment(motor.h, 5000), TINDREL_OK);
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
