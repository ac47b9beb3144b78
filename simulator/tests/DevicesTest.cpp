// Device-specific behaviour of the remaining classes and handle lifetimes.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "behaviour/gps_track.h"

using namespace simtest;

namespace {

const char *kRig = R"RIG({
  "computers": [
    {"id": "locked", "name": "vault", "host": "vault.local", "type": 2, "password": "s3cret"}
  ],
  "devices": [
    {"id": "hub", "deviceId": 129, "class": 8, "name": "Hub", "serial": 8000, "channels": [{"class": "Hub"}]},
    {"id": "port", "parent": "hub", "hubPort": 1, "hubPortDevice": true, "deviceId": 20, "class": 21,
     "name": "Port Input", "channels": [{"class": "DigitalInput"}]},
    {"id": "motors", "deviceId": 57, "class": 2, "name": "Motors", "serial": 8001,
     "channels": [{"class": "DCMotor"}, {"class": "BLDCMotor"}, {"class": "MotorPositionController"},
                  {"class": "VoltageOutput"}, {"class": "VoltageRatioInput", "subclass": 65}]},
    {"id": "bridge24", "deviceId": 24, "class": 2, "name": "Bridge", "serial": 8002,
     "channels": [{"class": "VoltageRatioInput", "subclass": 65}, {"class": "TemperatureSensor", "subclass": 33}]},
    {"id": "io", "deviceId": 54, "class": 2, "name": "IO", "serial": 8003,
     "channels": [{"class": "RFID", "behaviour": {"waveform": "constant", "period": 0.4}},
                  {"class": "IR", "behaviour": {"waveform": "constant", "period": 0.2}},
                  {"class": "GPS"}, {"class": "LEDArray"},
                  {"class": "FrequencyCounter", "behaviour": {"waveform": "constant", "offset": 1000}},
                  {"class": "CapacitiveTouch", "behaviour": {"waveform": "square", "amplitude": 0.5, "offset": 0.5,
                                                              "period": 0.3}}]},
    {"id": "ir-a", "deviceId": 53, "class": 2, "name": "IR A", "serial": 8005,
     "channels": [{"class": "IR", "behaviour": {"waveform": "constant", "period": 1000}}]},
    {"id": "ir-b", "deviceId": 56, "class": 2, "name": "IR B", "serial": 8006,
     "channels": [{"class": "IR", "hearsOwnSignal": true, "behaviour": {"waveform": "constant", "period": 1000}}]},
    {"id": "pixels", "deviceId": 87, "class": 2, "name": "Pixels", "serial": 8007,
     "channels": [{"class": "LCD", "subclass": 80}]},
    {"id": "chars", "deviceId": 88, "class": 2, "name": "Chars", "serial": 8010,
     "channels": [{"class": "LCD", "subclass": 81, "properties": {"Width": 16, "Height": 2}}]},
    {"id": "spi", "deviceId": 160, "class": 2, "name": "SPI", "serial": 8008, "channels": [{"class": "DataAdapter"}]},
    {"id": "i2c", "deviceId": 134, "class": 2, "name": "I2C", "serial": 8011, "channels": [{"class": "DataAdapter"}]},
    {"id": "line", "deviceId": 162, "class": 2, "name": "Line", "serial": 8009, "channels": [{"class": "DataAdapter"}]},
    {"id": "vaultdev", "server": "locked", "deviceId": 30, "class": 2, "name": "Relay", "serial": 8004,
     "channels": [{"class": "DigitalOutput"}]}
  ]
})RIG";

class Devices : public ::testing::Test {
protected:
    void SetUp() override { loadRig(kRig); }
    void TearDown() override
    {
        TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
        TindrelSim_clear();
    }
};

void openOn(Channel &ch, int serial, int index = 0)
{
    Tindrel_setDeviceSerialNumber(ch.h, serial);
    Tindrel_setChannel(ch.h, index);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK) << lastErrorDetail();
}

// Polls a getter until it satisfies pred (the library moves on its own thread).
template <class Get>
bool eventually(Get get)
{
    for (int i = 0; i < 1000; ++i) {
        if (get())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}   // namespace

TEST_F(Devices, RetainedDeviceHandleOutlivesTheManagerCallback)
{
    struct Kept {
        Recorder<TindrelHandle> devices;
    } kept;
    TindrelManagerHandle mg = nullptr;
    TindrelManager_create(&mg);
    TindrelManager_setOnAttachHandler(
        mg,
        [](TindrelManagerHandle, void *ctx, TindrelHandle ch) {
            Tindrel_ChannelClass cls{};
            Tindrel_getChannelClass(ch, &cls);
            if (cls != TINDREL_CHCLASS_DIGITALINPUT)
                return;
            TindrelHandle dev = nullptr;
            Tindrel_getParent(ch, &dev);
            Tindrel_retain(dev);
            static_cast<Kept *>(ctx)->devices.add(dev);
        },
        &kept);
    TindrelManager_open(mg);
    ASSERT_TRUE(kept.devices.waitCount(1));
    TindrelManager_close(mg);
    TindrelManager_delete(&mg);
    drainManagerEvents();
    TindrelSim_detachDevice("hub");

    // The borrowed channel handle is gone; the retained device handle still reads.
    TindrelHandle dev = kept.devices.items()[0];
    int port = -1, portMode = 0;
    int32_t cls = 0;
    EXPECT_EQ(Tindrel_getHubPort(dev, &port), TINDREL_OK);
    EXPECT_EQ(port, 1);
    Tindrel_getIsHubPortDevice(dev, &portMode);
    EXPECT_EQ(portMode, 1);
    TindrelHandle hub = nullptr;
    ASSERT_EQ(Tindrel_getParent(dev, &hub), TINDREL_OK);
    Tindrel_getDeviceClass(hub, &cls);
    EXPECT_EQ(cls, 8);
    EXPECT_EQ(Tindrel_release(&dev), TINDREL_OK);
    EXPECT_EQ(dev, nullptr);
}

TEST_F(Devices, PasswordProtectedServerShowsItsDevicesOnlyWithThePassword)
{
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setServerName(ch.h, "vault");
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 50), TINDREL_ETIMEDOUT);
    TindrelNet_setServerPassword("vault", "wrong");
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 50), TINDREL_ETIMEDOUT);
    TindrelNet_setServerPassword("vault", "s3cret");
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
    EXPECT_EQ(TindrelNet_setServerPassword(nullptr, "x"), TINDREL_EFAULT);
    Tindrel_close(ch.h);
    TindrelNet_setServerPassword("vault", "");
}

TEST_F(Devices, DCMotorRampsToItsTargetAndBrakesAtRest)
{
    Channel ch(TINDREL_CHCLASS_DCMOTOR);
    auto m = ch.as<TindrelDCMotorHandle>();
    openOn(ch, 8001);
    TindrelDCMotor_setAcceleration(m, 100);
    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, 0.5), TINDREL_OK);
    EXPECT_EQ(TindrelDCMotor_setTargetVelocity(m, 1.5), TINDREL_EINVALIDARG);
    EXPECT_TRUE(eventually([&] {
        double v = 0;
        TindrelDCMotor_getVelocity(m, &v);
        return v == 0.5;
    }));
    TindrelDCMotor_setTargetBrakingStrength(m, 0.8);
    TindrelDCMotor_setTargetVelocity(m, 0);
    EXPECT_TRUE(eventually([&] {
        double b = 0;
        TindrelDCMotor_getBrakingStrength(m, &b);
        return b == 0.8;
    }));
    double limit = 0;
    EXPECT_EQ(TindrelDCMotor_getMinCurrentLimit(m, &limit), TINDREL_OK) << "device 57 has a current limit";
    EXPECT_EQ(TindrelDCMotor_setFanMode(m, TINDREL_FAN_MODE_ON), TINDREL_OK);
}

TEST_F(Devices, BLDCRescaleScalesStallVelocityAndPosition)
{
    Channel ch(TINDREL_CHCLASS_BLDCMOTOR);
    auto m = ch.as<TindrelBLDCMotorHandle>();
    openOn(ch, 8001);
    double maxStall = 0, stall = 0;
    TindrelBLDCMotor_getMaxStallVelocity(m, &maxStall);
    TindrelBLDCMotor_getStallVelocity(m, &stall);
    EXPECT_EQ(TindrelBLDCMotor_setRescaleFactor(m, 0), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelBLDCMotor_setRescaleFactor(m, 0.5), TINDREL_OK);
    double maxStall2 = 0, stall2 = 0;
    TindrelBLDCMotor_getMaxStallVelocity(m, &maxStall2);
    TindrelBLDCMotor_getStallVelocity(m, &stall2);
    EXPECT_DOUBLE_EQ(maxStall2, maxStall / 2);
    EXPECT_DOUBLE_EQ(stall2, stall / 2);

    TindrelBLDCMotor_setAcceleration(m, 100);
    TindrelBLDCMotor_setTargetVelocity(m, 1);
    EXPECT_TRUE(eventually([&] {
        double p = 0;
        TindrelBLDCMotor_getPosition(m, &p);
        return p > 100;
    }));
    TindrelBLDCMotor_setTargetVelocity(m, 0);
    EXPECT_TRUE(eventually([&] {
        double v = 1;
        TindrelBLDCMotor_getVelocity(m, &v);
        return v == 0;
    }));
    double p = 0;
    TindrelBLDCMotor_getPosition(m, &p);
    ASSERT_EQ(TindrelBLDCMotor_addPositionOffset(m, -p), TINDREL_OK);
    TindrelBLDCMotor_getPosition(m, &p);
    EXPECT_NEAR(p, 0, 1e-9);
}

TEST_F(Devices, PositionControllerMovesOnlyWhenEngaged)
{
    Channel ch(TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER);
    auto m = ch.as<TindrelMotorPositionControllerHandle>();
    openOn(ch, 8001);
    std::atomic<int> negative{0};
    TindrelMotorPositionController_setOnDutyCycleUpdateHandler(
        m,
        [](TindrelMotorPositionControllerHandle, void *c, double d) {
            if (d < 0)
                ++*static_cast<std::atomic<int> *>(c);
        },
        &negative);
    TindrelMotorPositionController_setDataInterval(m, 25);
    ASSERT_EQ(TindrelMotorPositionController_setTargetPosition(m, -2000), TINDREL_OK);
    int engaged = 1;
    TindrelMotorPositionController_getEngaged(m, &engaged);
    EXPECT_EQ(engaged, 0);
    ASSERT_EQ(TindrelMotorPositionController_setEngaged(m, 1), TINDREL_OK);
    EXPECT_TRUE(eventually([&] {
        double p = 0;
        TindrelMotorPositionController_getPosition(m, &p);
        return std::fabs(p + 2000) <= 2;
    }));
    EXPECT_GT(negative.load(), 0) << "moving down drives a negative duty cycle";
    TindrelMotorPositionController_setOnDutyCycleUpdateHandler(m, nullptr, nullptr);
}

TEST_F(Devices, VoltageOutputRangeMovesItsLimits)
{
    Channel ch(TINDREL_CHCLASS_VOLTAGEOUTPUT);
    auto v = ch.as<TindrelVoltageOutputHandle>();
    openOn(ch, 8001);
    ASSERT_EQ(TindrelVoltageOutput_setVoltage(v, -7), TINDREL_OK);
    ASSERT_EQ(TindrelVoltageOutput_setVoltageOutputRange(v, TINDREL_VOLTAGE_OUTPUT_RANGE_5V), TINDREL_OK);
    double lo = -1, now = -1;
    TindrelVoltageOutput_getMinVoltage(v, &lo);
    TindrelVoltageOutput_getVoltage(v, &now);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(now, 0) << "the output is kept inside the new range";
    EXPECT_EQ(TindrelVoltageOutput_setVoltage(v, -1), TINDREL_EINVALIDARG);
}

TEST_F(Devices, BridgeGainsAndThermocoupleSettingsDependOnTheDevice)
{
    Channel plain(TINDREL_CHCLASS_VOLTAGERATIOINPUT), bridge24(TINDREL_CHCLASS_VOLTAGERATIOINPUT),
        tc(TINDREL_CHCLASS_TEMPERATURESENSOR);
    openOn(plain, 8001);
    openOn(bridge24, 8002);
    openOn(tc, 8002);
    EXPECT_EQ(TindrelVoltageRatioInput_setBridgeGain(plain.as<TindrelVoltageRatioInputHandle>(), TINDREL_BRIDGE_GAIN_2),
              TINDREL_OK);
    EXPECT_EQ(
        TindrelVoltageRatioInput_setBridgeGain(bridge24.as<TindrelVoltageRatioInputHandle>(), TINDREL_BRIDGE_GAIN_2),
        TINDREL_EINVALIDARG);
    EXPECT_EQ(
        TindrelVoltageRatioInput_setBridgeGain(bridge24.as<TindrelVoltageRatioInputHandle>(), TINDREL_BRIDGE_GAIN_8),
        TINDREL_OK);
    auto t = tc.as<TindrelTemperatureSensorHandle>();
    EXPECT_EQ(TindrelTemperatureSensor_setThermocoupleType(t, TINDREL_THERMOCOUPLE_TYPE_K), TINDREL_OK);
    EXPECT_EQ(TindrelTemperatureSensor_setRTDType(t, TINDREL_RTD_TYPE_PT100_3850), TINDREL_EUNSUPPORTED);
}

TEST_F(Devices, RFIDReportsTagsAndGuardsWrites)
{
    struct Seen {
        Recorder<std::string> tags;
        Recorder<int> lost;
    } seen;
    Channel ch(TINDREL_CHCLASS_RFID);
    auto r = ch.as<TindrelRFIDHandle>();
    TindrelRFID_setOnTagHandler(
        r,
        [](TindrelRFIDHandle, void *c, const char *tag, Tindrel_RFIDProtocol) {
            static_cast<Seen *>(c)->tags.add(tag);
        },
        &seen);
    TindrelRFID_setOnTagLostHandler(
        r, [](TindrelRFIDHandle, void *c) { static_cast<Seen *>(c)->lost.add(1); }, &seen);
    ASSERT_EQ(TindrelSim_setInputValue("io", TINDREL_CHCLASS_RFID, 0, "TagPresent", 0), TINDREL_OK);
    openOn(ch, 8003);
    EXPECT_EQ(TindrelRFID_write(r, "0102030405", TINDREL_RFID_PROTOCOL_EM4100, 0), TINDREL_EINVALIDSTATE)
        << "no tag in the field";
    TindrelSim_setInputValue("io", TINDREL_CHCLASS_RFID, 0, "TagPresent", 1);
    ASSERT_TRUE(seen.tags.waitCount(1));
    EXPECT_EQ(TindrelRFID_write(r, "12345", TINDREL_RFID_PROTOCOL_EM4100, 0), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelRFID_write(r, "999-000000001234", TINDREL_RFID_PROTOCOL_ISO11785_FDX_B, 0), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelRFID_write(r, "Hello Tag", TINDREL_RFID_PROTOCOL_TINDRELTAG, 1), TINDREL_OK);
    ASSERT_TRUE(seen.tags.waitCount(2));
    EXPECT_EQ(seen.tags.items()[1], "Hello Tag");
    EXPECT_EQ(TindrelRFID_write(r, "Again", TINDREL_RFID_PROTOCOL_TINDRELTAG, 0), TINDREL_EACCESS)
        << "a locked tag refuses writes";
    char tag[32];
    Tindrel_RFIDProtocol proto{};
    ASSERT_EQ(TindrelRFID_getLastTag(r, tag, sizeof tag, &proto), TINDREL_OK);
    EXPECT_STREQ(tag, "Hello Tag");
    EXPECT_EQ(proto, TINDREL_RFID_PROTOCOL_TINDRELTAG);
    TindrelRFID_setAntennaEnabled(r, 0);
    ASSERT_TRUE(seen.lost.waitCount(1)) << "switching the antenna off loses the tag";
}

// What was written to a tag and its lock are the tag's: they outlast the
// reader's sessions and go only with the rig.
TEST_F(Devices, AWrittenAndLockedTagStaysSoWhenTheReaderReopensOrIsReplugged)
{
    ASSERT_EQ(TindrelSim_setInputValue("io", TINDREL_CHCLASS_RFID, 0, "TagPresent", 1), TINDREL_OK);
    auto readTag = [](TindrelRFIDHandle r) {
        char tag[32] = "";
        Tindrel_RFIDProtocol proto{};
        EXPECT_EQ(TindrelRFID_getLastTag(r, tag, sizeof tag, &proto), TINDREL_OK);
        return std::to_string(proto) + ":" + tag;
    };
    // Writes once the reader has the tag in its field.
    auto writeTag = [](TindrelRFIDHandle r, const char *text, int lock) {
        TindrelReturnCode rc = TINDREL_EINVALIDSTATE;
        eventually([&] {
            rc = TindrelRFID_write(r, text, TINDREL_RFID_PROTOCOL_TINDRELTAG, lock);
            return rc != TINDREL_EINVALIDSTATE;
        });
        return rc;
    };
    const std::string written = std::to_string(TINDREL_RFID_PROTOCOL_TINDRELTAG) + ":Kept Tag";
    {
        Channel ch(TINDREL_CHCLASS_RFID);
        openOn(ch, 8003);
        ASSERT_EQ(writeTag(ch.as<TindrelRFIDHandle>(), "Kept Tag", 1), TINDREL_OK) << lastErrorDetail();
    }
    {
        Channel ch(TINDREL_CHCLASS_RFID);
        auto r = ch.as<TindrelRFIDHandle>();
        openOn(ch, 8003);
        EXPECT_EQ(readTag(r), written) << "reopened";
        EXPECT_EQ(writeTag(r, "Other", 0), TINDREL_EACCESS) << "still locked after a reopen";

        ASSERT_EQ(TindrelSim_detachDevice("io"), TINDREL_OK);
        ASSERT_EQ(TindrelSim_attachDevice("io"), TINDREL_OK);
        ASSERT_TRUE(eventually([&] {
            int attached = 0;
            Tindrel_getAttached(ch.h, &attached);
            return attached != 0;
        }));
        EXPECT_EQ(readTag(r), written) << "replugged";
        EXPECT_EQ(writeTag(r, "Other", 0), TINDREL_EACCESS) << "still locked after a replug";
    }
    // A new rig brings a new, blank tag.
    loadRig(kRig);
    ASSERT_EQ(TindrelSim_setInputValue("io", TINDREL_CHCLASS_RFID, 0, "TagPresent", 1), TINDREL_OK);
    Channel ch(TINDREL_CHCLASS_RFID);
    auto r = ch.as<TindrelRFIDHandle>();
    openOn(ch, 8003);
    EXPECT_EQ(readTag(r), std::to_string(TINDREL_RFID_PROTOCOL_EM4100) + ":0102a3b4c5");
    EXPECT_EQ(writeTag(r, "Fresh", 0), TINDREL_OK);
}

// The guard switches the power off and says why, once per fault, when the
// supply rises past its threshold or the board past its temperature limit,
// and refuses power until the fault has gone.
TEST_F(Devices, PowerGuardTripsOnOverVoltageAndOverTemperature)
{
    loadRig(R"({"devices": [{"id": "guard", "deviceId": 106, "class": 2, "name": "Guard", "serial": 10601,
                             "channels": [{"class": "PowerGuard"}]}]})");
    EXPECT_EQ(TindrelSim_setGuardSupply("guard", 0, 24, 30), TINDREL_EINVALIDSTATE) << "nothing has it open";
    Recorder<std::pair<int, std::string>> errors;
    Channel ch(TINDREL_CHCLASS_POWERGUARD);
    auto g = ch.as<TindrelPowerGuardHandle>();
    Tindrel_setOnErrorHandler(
        ch.h,
        [](TindrelHandle, void *c, int32_t code, const char *text) {
            static_cast<Recorder<std::pair<int, std::string>> *>(c)->add({code, text});
        },
        &errors);
    openOn(ch, 10601);
    ASSERT_EQ(TindrelPowerGuard_setOverVoltage(g, 20), TINDREL_OK);
    ASSERT_EQ(TindrelPowerGuard_setPowerEnabled(g, 1), TINDREL_OK);
    auto power = [&] {
        int on = -1;
        TindrelPowerGuard_getPowerEnabled(g, &on);
        return on;
    };
    auto raised = [&](int code) {
        return errors.waitFor([code](const auto &v) {
            return std::any_of(v.begin(), v.end(), [code](const auto &e) { return e.first == code; });
        });
    };

    ASSERT_EQ(TindrelSim_setGuardSupply("guard", 0, 24, 30), TINDREL_OK);
    ASSERT_TRUE(raised(TINDREL_EEVENT_OVERVOLTAGE));
    EXPECT_EQ(power(), 0);
    EXPECT_NE(errors.items().front().second.find("24.00 V"), std::string::npos) << errors.items().front().second;
    EXPECT_EQ(TindrelPowerGuard_setPowerEnabled(g, 1), TINDREL_EINVALIDSTATE) << "refused while too high";
    ASSERT_EQ(TindrelSim_setGuardSupply("guard", 0, 12, 30), TINDREL_OK);
    EXPECT_EQ(TindrelPowerGuard_setPowerEnabled(g, 1), TINDREL_OK) << "the fault has gone";
    EXPECT_EQ(power(), 1);

    ASSERT_EQ(TindrelSim_setGuardSupply("guard", 0, 12, 95), TINDREL_OK);
    ASSERT_TRUE(raised(TINDREL_EEVENT_OVERTEMP));
    EXPECT_EQ(power(), 0);
    EXPECT_EQ(TindrelPowerGuard_setPowerEnabled(g, 1), TINDREL_EINVALIDSTATE) << "refused while too hot";
    ASSERT_EQ(TindrelSim_setGuardSupply("guard", 0, 12, 40), TINDREL_OK);
    EXPECT_EQ(TindrelPowerGuard_setPowerEnabled(g, 1), TINDREL_OK);
    const auto seen = errors.items();
    EXPECT_EQ(seen.size(), 2u) << "one event for each fault";

    // A closed guard is driven no more.
    Tindrel_close(ch.h);
    EXPECT_EQ(TindrelSim_setGuardSupply("guard", 0, 24, 30), TINDREL_EINVALIDSTATE);
    EXPECT_EQ(TindrelSim_setGuardSupply("guard", 0, NAN, 30), TINDREL_EINVALIDARG);
}

TEST_F(Devices, IRLearnsARepeatedCodeAndSendsItBack)
{
    Channel ch(TINDREL_CHCLASS_IR);
    auto ir = ch.as<TindrelIRHandle>();
    Recorder<std::string> learned;
    TindrelIR_setOnLearnHandler(
        ir,
        [](TindrelIRHandle, void *c, const char *code, Tindrel_IRCodeInfo *) {
            static_cast<Recorder<std::string> *>(c)->add(code);
        },
        &learned);
    openOn(ch, 8003, 0);
    char code[16];
    Tindrel_IRCodeInfo info{};
    ASSERT_TRUE(learned.waitCount(1));
    ASSERT_EQ(TindrelIR_getLastLearnedCode(ir, code, sizeof code, &info), TINDREL_OK);
    EXPECT_EQ(learned.items()[0], code);
    EXPECT_EQ(info.bitCount, 32u);
    EXPECT_EQ(sizeof info, 200u);
    EXPECT_EQ(TindrelIR_transmit(ir, code, &info), TINDREL_OK);
    EXPECT_EQ(TindrelIR_transmit(ir, "xyz", &info), TINDREL_EINVALIDARG);
    char tiny[4];
    EXPECT_EQ(TindrelIR_getLastLearnedCode(ir, tiny, sizeof tiny, &info), TINDREL_ENOSPC);
    const uint32_t raw[] = {9000, 4500, 560};
    EXPECT_EQ(TindrelIR_transmitRaw(ir, raw, 3, 0, 0, 150000), TINDREL_OK);
    EXPECT_EQ(TindrelIR_transmitRaw(ir, nullptr, 0, 0, 0, 150000), TINDREL_OK) << "an empty segment is allowed";
    EXPECT_EQ(TindrelIR_transmitRaw(ir, raw, 2, 0, 0, 150000), TINDREL_EINVALIDARG);
}

// The receiver reports where the walk has got to: on the first leg it heads
// north at walking pace, its latitude growing and its longitude kept.
TEST_F(Devices, GPSPositionAndHeadingFollowTheWalk)
{
    struct Seen {
        std::mutex m;
        std::vector<std::pair<double, double>> positions;
        Recorder<std::pair<double, double>> headings;
    } seen;
    Channel ch(TINDREL_CHCLASS_GPS);
    auto g = ch.as<TindrelGPSHandle>();
    TindrelGPS_setOnPositionChangeHandler(
        g,
        [](TindrelGPSHandle, void *c, double lat, double lon, double) {
            auto *s = static_cast<Seen *>(c);
            std::lock_guard<std::mutex> lk(s->m);
            s->positions.emplace_back(lat, lon);
        },
        &seen);
    TindrelGPS_setOnHeadingChangeHandler(
        g,
        [](TindrelGPSHandle, void *c, double heading, double velocity) {
            static_cast<Seen *>(c)->headings.add({heading, velocity});
        },
        &seen);
    openOn(ch, 8003);
    // Three metres walked after the first fix: a little over two seconds.
    auto walked = [&] {
        std::lock_guard<std::mutex> lk(seen.m);
        return seen.positions.size() >= 2 &&
               (seen.positions.back().first - seen.positions.front().first) * tsim::gps::kMetresPerDegree >= 3.0;
    };
    ASSERT_TRUE(eventually(walked));
    std::lock_guard<std::mutex> lk(seen.m);
    const auto &track = seen.positions;
    for (size_t i = 1; i < track.size(); ++i) {
        EXPECT_GE(track[i].first, track[i - 1].first) << "northwards, point " << i;
        EXPECT_DOUBLE_EQ(track[i].second, tsim::gps::kTrack[0].lon) << "along the first leg, point " << i;
    }
    EXPECT_GE(track.front().first, tsim::gps::kTrack[0].lat);
    EXPECT_LT(track.back().first, tsim::gps::kTrack[1].lat);
    ASSERT_GE(seen.headings.size(), 2u);
    for (const auto &[heading, velocity] : seen.headings.items()) {
        EXPECT_DOUBLE_EQ(heading, 0.0);
        EXPECT_DOUBLE_EQ(velocity, tsim::gps::kWalkKmh);
    }
    double heading = -1;
    ASSERT_EQ(TindrelGPS_getHeading(g, &heading), TINDREL_OK);
    EXPECT_DOUBLE_EQ(heading, 0.0);
}

// The whole walk: round the park leg by leg, each heading the way the walker
// moves, a step never jumping, and back at the start after one lap.
TEST(GPSTrack, TheWalkGoesRoundThePark)
{
    using namespace tsim::gps;
    const double cosLat = std::cos(kTrack[0].lat * M_PI / 180.0);
    auto metresBetween = [&](const TrackFix &a, const TrackFix &b) {
        return std::hypot((b.lat - a.lat) * kMetresPerDegree, (b.lon - a.lon) * kMetresPerDegree * cosLat);
    };
    std::vector<double> headings;
    TrackFix last = trackAt(0);
    EXPECT_DOUBLE_EQ(last.lat, kTrack[0].lat);
    EXPECT_DOUBLE_EQ(last.lon, kTrack[0].lon);
    double lap = 0;
    for (double m = 1;; m += 1) {
        const TrackFix here = trackAt(m);
        if (metresBetween(here, trackAt(0)) < 0.5 && m > 10) {
            lap = m;
            break;
        }
        ASSERT_LT(m, 5000) << "the walk comes back to its start";
        const double step = metresBetween(last, here);   // less where it cuts a corner
        EXPECT_TRUE(step > 0.5 && step < 1.0 + 1e-6) << m << ": " << step;
        // The heading is the bearing of the step just made, away from corners.
        const double bearing =
            std::fmod(std::atan2((here.lon - last.lon) * cosLat, here.lat - last.lat) * 180.0 / M_PI + 360.0, 360.0);
        if (headings.empty() || std::fabs(headings.back() - here.heading) > 1e-9)
            headings.push_back(here.heading);
        else
            EXPECT_NEAR(bearing, here.heading, 1e-6) << m;
        last = here;
    }
    EXPECT_EQ(headings, (std::vector<double>{0, 90, 180, 270, 0}));
    // Round and round: the second lap walks the first again.
    for (double m : {0.0, 100.0, 250.0})
        EXPECT_NEAR(metresBetween(trackAt(m), trackAt(m + lap)), 0.0, 1.0) << m;
}

TEST_F(Devices, GPSKnowsTimeOnlyAfterAFix)
{
    Channel ch(TINDREL_CHCLASS_GPS);
    auto g = ch.as<TindrelGPSHandle>();
    Recorder<int> fixes;
    TindrelGPS_setOnPositionFixStateChangeHandler(
        g, [](TindrelGPSHandle, void *c, int s) { static_cast<Recorder<int> *>(c)->add(s); }, &fixes);
    openOn(ch, 8003);
    Tindrel_GPSTime t{};
    Tindrel_GPSDate d{};
    EXPECT_EQ(TindrelGPS_getTime(g, &t), TINDREL_EUNKNOWNVAL);
    ASSERT_TRUE(fixes.waitFor([](auto &v) { return !v.empty() && v.back() == 1; }));
    ASSERT_EQ(TindrelGPS_getTime(g, &t), TINDREL_OK);
    ASSERT_EQ(TindrelGPS_getDate(g, &d), TINDREL_OK);
    EXPECT_GE(d.tm_year, 2024);
    EXPECT_LT(t.tm_hour, 24);
    double lat = 0;
    EXPECT_EQ(TindrelGPS_getLatitude(g, &lat), TINDREL_OK);
}

TEST_F(Devices, LEDArrayChecksAddressesAndColours)
{
    Channel ch(TINDREL_CHCLASS_LEDARRAY);
    auto l = ch.as<TindrelLEDArrayHandle>();
    openOn(ch, 8003);
    Tindrel_LEDColor red{255, 0, 0, 0};
    EXPECT_EQ(TindrelLEDArray_setLEDs(l, 0, 9, &red, 1, 0), TINDREL_OK) << "one colour repeats over the range";
    EXPECT_EQ(TindrelLEDArray_setLEDs(l, 5, 2, &red, 1, 0), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelLEDArray_setLEDs(l, 0, 5000, &red, 1, 0), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelLEDArray_setLEDs(l, 0, 1, nullptr, 2, 0), TINDREL_EFAULT);
    EXPECT_EQ(TindrelLEDArray_setGamma(l, 0.5), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelLEDArray_setColorOrder(l, TINDREL_LED_COLOR_ORDER_GRBW), TINDREL_OK);
    EXPECT_EQ(TindrelLEDArray_clearLEDs(l), TINDREL_OK);
}

TEST_F(Devices, FrequencyCounterCountsAndResets)
{
    Channel ch(TINDREL_CHCLASS_FREQUENCYCOUNTER);
    auto f = ch.as<TindrelFrequencyCounterHandle>();
    Recorder<double> freq;
    TindrelFrequencyCounter_setOnFrequencyChangeHandler(
        f, [](TindrelFrequencyCounterHandle, void *c, double hz) { static_cast<Recorder<double> *>(c)->add(hz); },
        &freq);
    openOn(ch, 8003);
    TindrelFrequencyCounter_setDataInterval(f, 100);
    ASSERT_TRUE(freq.waitCount(3));
    EXPECT_EQ(freq.items()[2], 1000);
    uint64_t count = 0;
    EXPECT_TRUE(eventually([&] {
        TindrelFrequencyCounter_getCount(f, &count);
        return count > 100;
    }));
    ASSERT_EQ(TindrelFrequencyCounter_reset(f), TINDREL_OK);
    TindrelFrequencyCounter_getCount(f, &count);
    EXPECT_LT(count, 100u);
    EXPECT_EQ(TindrelFrequencyCounter_setPowerSupply(f, TINDREL_POWER_SUPPLY_12V), TINDREL_EUNSUPPORTED);
}

TEST_F(Devices, CapacitiveTouchReportsTouchesAndTheirEnd)
{
    struct Seen {
        Recorder<double> touch;
        Recorder<int> ends;
    } seen;
    Channel ch(TINDREL_CHCLASS_CAPACITIVETOUCH);
    auto t = ch.as<TindrelCapacitiveTouchHandle>();
    TindrelCapacitiveTouch_setOnTouchHandler(
        t, [](TindrelCapacitiveTouchHandle, void *c, double v) { static_cast<Seen *>(c)->touch.add(v); }, &seen);
    TindrelCapacitiveTouch_setOnTouchEndHandler(
        t, [](TindrelCapacitiveTouchHandle, void *c) { static_cast<Seen *>(c)->ends.add(1); }, &seen);
    openOn(ch, 8003);
    TindrelCapacitiveTouch_setDataInterval(t, 25);
    ASSERT_TRUE(seen.touch.waitCount(1));
    ASSERT_TRUE(seen.ends.waitCount(1));
    EXPECT_GE(seen.touch.items()[0], 0.5);
}

// Transceivers in one room: a code one sends is received and learned by the
// others, and by itself only where its receiver hears its own transmitter;
// raw timings arrive with their trailing gap.
TEST_F(Devices, IRCodesSentInTheRoomAreReceivedAndLearned)
{
    struct Heard {
        Recorder<std::string> codes, learned;
        Recorder<std::vector<uint32_t>> raw;
    };
    auto listen = [](Channel &ch, Heard &heard) {
        auto ir = ch.as<TindrelIRHandle>();
        TindrelIR_setOnCodeHandler(
            ir,
            [](TindrelIRHandle, void *c, const char *code, uint32_t, int) { static_cast<Heard *>(c)->codes.add(code); },
            &heard);
        TindrelIR_setOnLearnHandler(
            ir,
            [](TindrelIRHandle, void *c, const char *code, Tindrel_IRCodeInfo *) {
                static_cast<Heard *>(c)->learned.add(code);
            },
            &heard);
        TindrelIR_setOnRawDataHandler(
            ir,
            [](TindrelIRHandle, void *c, const uint32_t *d, size_t n) {
                static_cast<Heard *>(c)->raw.add(std::vector<uint32_t>(d, d + n));
            },
            &heard);
    };
    Channel a(TINDREL_CHCLASS_IR), b(TINDREL_CHCLASS_IR);
    Heard heardA, heardB;
    listen(a, heardA);
    listen(b, heardB);
    openOn(a, 8005);
    openOn(b, 8006);
    Tindrel_IRCodeInfo info{};
    info.bitCount = 8;
    info.encoding = 2;
    info.length = 2;
    info.gap = 60000;
    info.header[0] = 9000;
    info.header[1] = 4500;
    info.one[0] = 560;
    info.one[1] = 1690;
    info.zero[0] = 560;
    info.zero[1] = 560;
    info.trail = 560;
    ASSERT_EQ(TindrelIR_transmit(a.as<TindrelIRHandle>(), "a5", &info), TINDREL_OK);
    ASSERT_TRUE(heardB.learned.waitCount(1));
    EXPECT_EQ(heardB.learned.items()[0], "a5");
    ASSERT_TRUE(heardB.codes.waitCount(1));
    ASSERT_TRUE(heardB.raw.waitCount(1));
    const std::vector<uint32_t> timings = heardB.raw.items()[0];
    // Header, eight bit pairs of 0xa5 (1010 0101), the trail, the gap.
    ASSERT_EQ(timings.size(), 2u + 16u + 2u);
    EXPECT_EQ(timings[3], 1690u);
    EXPECT_EQ(timings[5], 560u);
    EXPECT_EQ(timings.back(), 60000u);
    char code[33];
    Tindrel_IRCodeInfo back{};
    ASSERT_EQ(TindrelIR_getLastLearnedCode(b.as<TindrelIRHandle>(), code, sizeof code, &back), TINDREL_OK);
    EXPECT_STREQ(code, "a5");
    EXPECT_EQ(back.gap, 60000u);

    // B hears itself; A does not.
    ASSERT_EQ(TindrelIR_transmit(b.as<TindrelIRHandle>(), "3c", &info), TINDREL_OK);
    ASSERT_TRUE(heardB.learned.waitCount(2));
    EXPECT_EQ(heardB.learned.items()[1], "3c");
    ASSERT_TRUE(heardA.learned.waitCount(1));
    EXPECT_EQ(heardA.learned.items()[0], "3c");
    ASSERT_EQ(TindrelIR_transmit(a.as<TindrelIRHandle>(), "11", &info), TINDREL_OK);
    ASSERT_TRUE(heardB.learned.waitCount(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (const std::string &c : heardA.learned.items())
        EXPECT_NE(c, "11") << "A does not hear its own transmitter";

    const uint32_t raw[] = {900, 450, 560};
    ASSERT_EQ(TindrelIR_transmitRaw(a.as<TindrelIRHandle>(), raw, 3, 0, 0, 120000), TINDREL_OK);
    ASSERT_TRUE(heardB.raw.waitCount(4));
    EXPECT_EQ(heardB.raw.items()[3], (std::vector<uint32_t>{900, 450, 560, 120000}));
}

// The receiver's fix can be forced off and on; without it there is no time.
TEST_F(Devices, GPSFixForcedOffAndOn)
{
    Channel ch(TINDREL_CHCLASS_GPS);
    auto g = ch.as<TindrelGPSHandle>();
    Recorder<int> fixes;
    TindrelGPS_setOnPositionFixStateChangeHandler(
        g, [](TindrelGPSHandle, void *c, int s) { static_cast<Recorder<int> *>(c)->add(s); }, &fixes);
    openOn(ch, 8003, 0);
    ASSERT_EQ(TindrelSim_setInputValue("io", TINDREL_CHCLASS_GPS, 0, "PositionFixState", 1), TINDREL_OK);
    ASSERT_TRUE(eventually([&] {
        Tindrel_GPSTime t{};
        return TindrelGPS_getTime(g, &t) == TINDREL_OK;
    }));
    double lat = 0;
    ASSERT_EQ(TindrelGPS_getLatitude(g, &lat), TINDREL_OK);
    EXPECT_NEAR(lat, 53.344, 0.01);
    ASSERT_EQ(TindrelSim_setInputValue("io", TINDREL_CHCLASS_GPS, 0, "PositionFixState", 0), TINDREL_OK);
    ASSERT_TRUE(eventually([&] {
        Tindrel_GPSTime t{};
        return TindrelGPS_getTime(g, &t) == TINDREL_EUNKNOWNVAL;
    }));
    ASSERT_TRUE(eventually([&] { return !fixes.items().empty() && fixes.items().back() == 0; }));
}

namespace {

// The grey levels a display gives now, row by row.
std::vector<uint8_t> picture(const char *device, int *width = nullptr)
{
    size_t len = 0;
    int w = 0, h = 0;
    TindrelSim_getLCDPicture(device, 0, nullptr, &len, &w, &h);
    std::vector<uint8_t> levels(len);
    EXPECT_EQ(TindrelSim_getLCDPicture(device, 0, levels.data(), &len, &w, &h), TINDREL_OK) << lastErrorDetail();
    EXPECT_EQ(levels.size(), static_cast<size_t>(w * h));
    if (width)
        *width = w;
    return levels;
}

}   // namespace

TEST_F(Devices, LCDPictureIsLitByTheBacklightAndDarkenedByTheContrast)
{
    Channel ch(TINDREL_CHCLASS_LCD);
    auto lcd = ch.as<TindrelLCDHandle>();
    openOn(ch, 8007);
    ASSERT_EQ(TindrelLCD_drawRect(lcd, 10, 10, 19, 19, 1, 0), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_flush(lcd), TINDREL_OK);
    int w = 0;
    const std::vector<uint8_t> first = picture("pixels", &w);
    ASSERT_EQ(w, 128);
    auto lit = [&](const std::vector<uint8_t> &p) { return p[static_cast<size_t>(15 * w + 15)]; };
    auto unlit = [&](const std::vector<uint8_t> &p) { return p[0]; };
    EXPECT_LT(lit(first), unlit(first)) << "drawn dots are darker than the background";
    EXPECT_EQ(std::count(first.begin(), first.end(), lit(first)), 100) << "the rectangle's dots, no others";

    // Full backlight, and a contrast that drives drawn dots black.
    ASSERT_EQ(TindrelLCD_setBacklight(lcd, 1.0), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_setContrast(lcd, 0.5), TINDREL_OK);
    std::vector<uint8_t> p = picture("pixels");
    EXPECT_EQ(unlit(p), 255);
    EXPECT_EQ(lit(p), 0);
    EXPECT_GT(unlit(p), unlit(first)) << "more backlight, a brighter background";
    // No contrast: the drawing cannot be told from the background.
    ASSERT_EQ(TindrelLCD_setContrast(lcd, 0.0), TINDREL_OK);
    p = picture("pixels");
    EXPECT_EQ(lit(p), unlit(p));
    // A low contrast leaves the drawing faint, too high a one greys the background.
    ASSERT_EQ(TindrelLCD_setContrast(lcd, 0.05), TINDREL_OK);
    p = picture("pixels");
    EXPECT_LT(lit(p), unlit(p));
    EXPECT_LT(unlit(p) - lit(p), 40);
    ASSERT_EQ(TindrelLCD_setContrast(lcd, 1.0), TINDREL_OK);
    p = picture("pixels");
    EXPECT_LT(unlit(p), 128);
    EXPECT_EQ(lit(p), 0);
    // Without backlight, and asleep, the display is dark.
    ASSERT_EQ(TindrelLCD_setContrast(lcd, 0.5), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_setBacklight(lcd, 0.0), TINDREL_OK);
    p = picture("pixels");
    EXPECT_EQ(std::count(p.begin(), p.end(), 0), static_cast<long>(p.size()));
    ASSERT_EQ(TindrelLCD_setBacklight(lcd, 1.0), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_setSleeping(lcd, 1), TINDREL_OK);
    p = picture("pixels");
    EXPECT_EQ(std::count(p.begin(), p.end(), 0), static_cast<long>(p.size()));
    ASSERT_EQ(TindrelLCD_setSleeping(lcd, 0), TINDREL_OK);
    // Drawing shows only with the next flush.
    ASSERT_EQ(TindrelLCD_drawPixel(lcd, 0, 0, TINDREL_LCD_PIXEL_ON), TINDREL_OK);
    EXPECT_EQ(unlit(picture("pixels")), 255);
    ASSERT_EQ(TindrelLCD_flush(lcd), TINDREL_OK);
    EXPECT_EQ(picture("pixels")[0], 0);

    // Through the handle alike.
    size_t len = 0;
    int height = 0;
    EXPECT_EQ(TindrelSim_getLCDPictureOf(ch.h, nullptr, &len, &w, &height), TINDREL_ENOSPC);
    EXPECT_EQ(len, 128u * 64u);
}

TEST_F(Devices, TextLCDShowsItsCursorAfterTheLastText)
{
    Channel ch(TINDREL_CHCLASS_LCD);
    auto lcd = ch.as<TindrelLCDHandle>();
    openOn(ch, 8010);
    ASSERT_EQ(TindrelLCD_writeText(lcd, TINDREL_LCD_FONT_5x8, 0, 1, "Hi"), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_flush(lcd), TINDREL_OK);
    auto frame = [] {
        size_t len = 16 * 6 * 2 * 9;
        int w = 0, h = 0;
        std::vector<uint8_t> dots(len);
        EXPECT_EQ(TindrelSim_getLCDFrame("chars", 0, dots.data(), &len, &w, &h), TINDREL_OK);
        EXPECT_EQ(w, 96);
        return dots;
    };
    // The underline of the cell after "Hi": row 1's bottom dot row, column 2.
    auto underline = [](const std::vector<uint8_t> &dots) {
        int lit = 0;
        for (int x = 12; x < 17; ++x)
            lit += dots[static_cast<size_t>(16 * 96 + x)];
        return lit;
    };
    const std::vector<uint8_t> off = frame();
    EXPECT_EQ(underline(off), 0);
    ASSERT_EQ(TindrelLCD_setCursorOn(lcd, 1), TINDREL_OK);
    const std::vector<uint8_t> on = frame();
    EXPECT_EQ(underline(on), 5) << "the cursor shows without a flush";
    EXPECT_EQ(std::count(on.begin(), on.end(), 1) - std::count(off.begin(), off.end(), 1), 5) << "and nothing else";
    // Clearing takes it home, to the first cell.
    ASSERT_EQ(TindrelLCD_clear(lcd), TINDREL_OK);
    ASSERT_EQ(TindrelLCD_flush(lcd), TINDREL_OK);
    const std::vector<uint8_t> home = frame();
    EXPECT_EQ(std::count(home.begin(), home.end(), 1), 5);
    EXPECT_EQ(home[7 * 96 + 0], 1);
}

TEST_F(Devices, BusAdaptersLogEveryTransferAnsweredOrNot)
{
    auto log = [](const char *device) {
        char buf[4096] = {};
        size_t len = sizeof buf;
        EXPECT_EQ(TindrelSim_getBusLog(device, buf, &len), TINDREL_OK);
        return std::string(buf);
    };
    Channel spi(TINDREL_CHCLASS_DATAADAPTER), line(TINDREL_CHCLASS_DATAADAPTER);
    openOn(spi, 8008);
    openOn(line, 8009);
    const uint8_t bytes[] = {0x41, 0x42};
    uint8_t reply[8] = {};
    size_t replyLength = sizeof reply;
    // The serial line's loop-back plug sends every packet back.
    EXPECT_EQ(
        TindrelDataAdapter_sendPacketWaitResponse(line.as<TindrelDataAdapterHandle>(), bytes, 2, reply, &replyLength),
        TINDREL_OK);
    EXPECT_EQ(replyLength, 2u);
    EXPECT_EQ(std::memcmp(reply, bytes, 2), 0);
    EXPECT_EQ(TindrelDataAdapter_sendPacket(line.as<TindrelDataAdapterHandle>(), bytes, 1), TINDREL_OK);
    replyLength = sizeof reply;
    EXPECT_EQ(
        TindrelDataAdapter_i2cSendReceive(line.as<TindrelDataAdapterHandle>(), 0x48, bytes, 1, reply, &replyLength),
        TINDREL_EUNSUPPORTED);
    EXPECT_EQ(TindrelDataAdapter_setSPIMode(line.as<TindrelDataAdapterHandle>(), TINDREL_SPI_MODE_1),
              TINDREL_EUNSUPPORTED);
    EXPECT_EQ(log("line"), "Serial sent 41 42 reply 41 42\nSerial sent 41\n");
    // Too fast a clock for the SPI device: the bytes go out, nothing answers.
    EXPECT_EQ(TindrelDataAdapter_setFrequency(spi.as<TindrelDataAdapterHandle>(), TINDREL_DATAADAPTER_FREQUENCY_6MHz),
              TINDREL_OK);
    replyLength = sizeof reply;
    EXPECT_EQ(
        TindrelDataAdapter_sendPacketWaitResponse(spi.as<TindrelDataAdapterHandle>(), bytes, 2, reply, &replyLength),
        TINDREL_ETIMEDOUT);
    EXPECT_EQ(log("spi"), "SPI sent 41 42 no answer\n");
    // The temperature sensor keeps up to 100 kHz; the memory beside it answers at 400 kHz.
    Channel i2c(TINDREL_CHCLASS_DATAADAPTER);
    openOn(i2c, 8011);
    auto h = i2c.as<TindrelDataAdapterHandle>();
    const uint8_t identity[] = {0x0F}, memory[] = {0x10};
    replyLength = 1;
    EXPECT_EQ(TindrelDataAdapter_i2cSendReceive(h, 0x48, identity, 1, reply, &replyLength), TINDREL_OK);
    EXPECT_EQ(reply[0], 0xA1);
    EXPECT_EQ(TindrelDataAdapter_setFrequency(h, TINDREL_DATAADAPTER_FREQUENCY_400kHz), TINDREL_OK);
    replyLength = 1;
    EXPECT_EQ(TindrelDataAdapter_i2cSendReceive(h, 0x48, identity, 1, reply, &replyLength), TINDREL_ETIMEDOUT);
    EXPECT_EQ(replyLength, 0u);
    replyLength = 1;
    EXPECT_EQ(TindrelDataAdapter_i2cSendReceive(h, 0x50, memory, 1, reply, &replyLength), TINDREL_OK);
    EXPECT_EQ(log("i2c"), "I2C 0x48 sent 0F reply A1\nI2C 0x48 sent 0F no answer\nI2C 0x50 sent 10 reply 00\n");
}
