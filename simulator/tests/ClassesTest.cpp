#include <array>
#include <unistd.h>
// Channel classes beyond the digital ones: value events, motion, methods,
// and the rig format, through the C interface.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestSupport.h"

using namespace simtest;
using Clock = std::chrono::steady_clock;

namespace {

const char *kRig = R"RIG({
  "devices": [
    {"id": "hub", "deviceId": 129, "class": 8, "name": "Hub", "serial": 5000, "channels": [{"class": "Hub"}]},
    {"id": "vin", "parent": "hub", "hubPort": 0, "deviceId": 93, "class": 21, "name": "Voltage Input",
     "channels": [{"class": "VoltageInput", "behaviour": {"waveform": "sine", "amplitude": 1, "offset": 2, "period": 0.5},
                   "ranges": {"Voltage": [-40, 40]}}]},
    {"id": "mix", "deviceId": 86, "class": 2, "name": "Mixed", "serial": 6000,
     "channels": [{"class": "Stepper"}, {"class": "RCServo"}, {"class": "Dictionary"},
                  {"class": "Accelerometer", "behaviour": {"waveform": "sine", "amplitude": 0.5, "offset": 0, "period": 1}},
                  {"class": "Encoder", "behaviour": {"waveform": "constant", "offset": 2000}},
                  {"class": "DigitalOutput", "subclass": 16}]},
    {"id": "lcd", "deviceId": 46, "class": 2, "name": "Text LCD", "serial": 6001,
     "channels": [{"class": "LCD", "subclass": 81}, {"class": "LCD", "subclass": 80, "index": 1}]},
    {"id": "spi", "deviceId": 160, "class": 2, "name": "SPI", "serial": 6002, "channels": [{"class": "DataAdapter"}]},
    {"id": "i2c", "deviceId": 134, "class": 2, "name": "I2C", "serial": 6003, "channels": [{"class": "DataAdapter"}]}
  ]
})RIG";

class Classes : public ::testing::Test {
protected:
    void SetUp() override { loadRig(kRig); }
    void TearDown() override { TindrelSim_clear(); }
};

void openOn(Channel &ch, int serial, int index = 0, int hubPort = -1)
{
    Tindrel_setDeviceSerialNumber(ch.h, serial);
    Tindrel_setChannel(ch.h, index);
    if (hubPort >= 0)
        Tindrel_setHubPort(ch.h, hubPort);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK) << lastErrorDetail();
}

struct Stamped {
    Clock::time_point at;
    double value;
};

void onVoltage(TindrelVoltageInputHandle, void *ctx, double v)
{
    static_cast<Recorder<Stamped> *>(ctx)->add({Clock::now(), v});
}

}   // namespace

TEST_F(Classes, ValueEventsFollowTheDataIntervalAndChangeTrigger)
{
    Recorder<Stamped> events;
    Channel ch(TINDREL_CHCLASS_VOLTAGEINPUT);
    auto vin = ch.as<TindrelVoltageInputHandle>();
    TindrelVoltageInput_setOnVoltageChangeHandler(vin, onVoltage, &events);
    openOn(ch, 5000, 0, 0);
    // Setting the interval again and again while events flow must not add schedules.
    ASSERT_TRUE(events.waitCount(1));
    for (uint32_t ms : {50, 30, 20, 20, 20})
        ASSERT_EQ(TindrelVoltageInput_setDataInterval(vin, ms), TINDREL_OK);
    uint32_t min = 0;
    TindrelVoltageInput_getMinDataInterval(vin, &min);
    EXPECT_EQ(TindrelVoltageInput_setDataInterval(vin, min - 1), TINDREL_EINVALIDARG);

    events.clear();
    ASSERT_TRUE(events.waitCount(11));
    auto got = events.items();
    double ms = std::chrono::duration<double, std::milli>(got[10].at - got[0].at).count();
    EXPECT_GE(ms, 10 * 20 * 0.9) << "events come no faster than the interval";
    for (auto &e : got) {
        EXPECT_GE(e.value, 1.0 - 1e-9);
        EXPECT_LE(e.value, 3.0 + 1e-9) << "values follow the rig's sine wave";
    }

    // A trigger wider than the whole wave lets only the first value through.
    ASSERT_EQ(TindrelVoltageInput_setVoltageChangeTrigger(vin, 5), TINDREL_OK);
    TindrelSim_setInputValue("vin", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "Voltage", 10);
    ASSERT_TRUE(events.waitFor([](auto &v) { return !v.empty() && v.back().value == 10; }));
    size_t n = events.size();
    TindrelSim_setInputValue("vin", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "Voltage", 12);
    EXPECT_FALSE(events.waitFor([n](auto &v) { return v.size() > n; }, std::chrono::milliseconds(200)));
    TindrelSim_setInputValue("vin", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "Voltage", 16);
    EXPECT_TRUE(events.waitFor([](auto &v) { return v.back().value == 16; }));
}

TEST_F(Classes, VoltageRangesNarrowTheLimitsAndRefuseCodesTheDeviceLacks)
{
    Channel ch(TINDREL_CHCLASS_VOLTAGEINPUT);
    auto vin = ch.as<TindrelVoltageInputHandle>();
    openOn(ch, 5000, 0, 0);
    ASSERT_EQ(TindrelVoltageInput_setVoltageRange(vin, TINDREL_VOLTAGE_RANGE_5V), TINDREL_OK);
    double lo = 0, hi = 0;
    TindrelVoltageInput_getMinVoltage(vin, &lo);
    TindrelVoltageInput_getMaxVoltage(vin, &hi);
    EXPECT_EQ(lo, -5);
    EXPECT_EQ(hi, 5);
    EXPECT_EQ(TindrelVoltageInput_setVoltageRange(vin, TINDREL_VOLTAGE_RANGE_10mV), TINDREL_EINVALIDARG);
    EXPECT_NE(lastErrorDetail().find("device 93"), std::string::npos);
    Tindrel_UnitInfo unit{};
    ASSERT_EQ(TindrelVoltageInput_getSensorUnit(vin, &unit), TINDREL_OK);
    EXPECT_STREQ(unit.symbol, "V");
    double sensor = 0;
    EXPECT_EQ(TindrelVoltageInput_getSensorValue(vin, &sensor), TINDREL_EUNKNOWNVAL) << "no sensor type set";
}

namespace {

void onStopped(TindrelStepperHandle, void *ctx) { static_cast<Recorder<int> *>(ctx)->add(1); }
void onError(TindrelHandle, void *ctx, int32_t code, const char *) { static_cast<Recorder<int> *>(ctx)->add(code); }

}   // namespace

TEST_F(Classes, StepperTracksItsTargetAndStops)
{
    Recorder<int> stopped;
    Channel ch(TINDREL_CHCLASS_STEPPER);
    auto st = ch.as<TindrelStepperHandle>();
    TindrelStepper_setOnStoppedHandler(st, onStopped, &stopped);
    openOn(ch, 6000);
    ASSERT_EQ(TindrelStepper_setTargetPosition(st, 500), TINDREL_OK);
    TindrelStepper_setVelocityLimit(st, 5000);
    TindrelStepper_setAcceleration(st, 50000);
    double pos = -1;
    TindrelStepper_getPosition(st, &pos);
    EXPECT_EQ(pos, 0) << "a disengaged motor does not move";
    ASSERT_EQ(TindrelStepper_setEngaged(st, 1), TINDREL_OK);
    ASSERT_TRUE(stopped.waitCount(1));
    TindrelStepper_getPosition(st, &pos);
    EXPECT_EQ(pos, 500);
    int moving = 1;
    TindrelStepper_getIsMoving(st, &moving);
    EXPECT_EQ(moving, 0);

    // An offset moves position and target together.
    ASSERT_EQ(TindrelStepper_addPositionOffset(st, -500), TINDREL_OK);
    TindrelStepper_getPosition(st, &pos);
    EXPECT_EQ(pos, 0);
}

TEST_F(Classes, StepperFailsafeDisengagesAndReportsAnErrorEvent)
{
    Recorder<int> errors;
    Channel ch(TINDREL_CHCLASS_STEPPER);
    auto st = ch.as<TindrelStepperHandle>();
    Tindrel_setOnErrorHandler(ch.h, onError, &errors);
    openOn(ch, 6000);
    EXPECT_EQ(TindrelStepper_resetFailsafe(st), TINDREL_EINVALIDSTATE) << "not enabled yet";
    EXPECT_EQ(TindrelStepper_enableFailsafe(st, 10), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelStepper_setEngaged(st, 1), TINDREL_OK);
    ASSERT_EQ(TindrelStepper_enableFailsafe(st, 500), TINDREL_OK);
    ASSERT_TRUE(errors.waitCount(1));
    EXPECT_EQ(errors.items()[0], TINDREL_EEVENT_FAILSAFE);
    int engaged = 1;
    TindrelStepper_getEngaged(st, &engaged);
    EXPECT_EQ(engaged, 0);
    EXPECT_EQ(TindrelStepper_setTargetPosition(st, 10), TINDREL_EINVALIDSTATE);
    EXPECT_EQ(TindrelStepper_resetFailsafe(st), TINDREL_EINVALIDSTATE) << "too late to reset";
    // Arming the failsafe again recovers; the motor waits to be engaged.
    ASSERT_EQ(TindrelStepper_enableFailsafe(st, 5000), TINDREL_OK);
    EXPECT_EQ(TindrelStepper_setTargetPosition(st, 10), TINDREL_OK);
    TindrelStepper_getEngaged(st, &engaged);
    EXPECT_EQ(engaged, 0);
    EXPECT_EQ(TindrelStepper_resetFailsafe(st), TINDREL_OK);
    // A fresh open clears the failsafe state as well.
    ASSERT_EQ(TindrelStepper_enableFailsafe(st, 500), TINDREL_OK);
    ASSERT_TRUE(errors.waitCount(2));
    EXPECT_EQ(TindrelStepper_setTargetPosition(st, 20), TINDREL_EINVALIDSTATE);
    Tindrel_close(ch.h);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
    EXPECT_EQ(TindrelStepper_setTargetPosition(st, 10), TINDREL_OK);
}

TEST_F(Classes, ServoTargetStaysWithinItsPositionRangeAndIsReported)
{
    Recorder<double> reached;
    Channel ch(TINDREL_CHCLASS_RCSERVO);
    auto sv = ch.as<TindrelRCServoHandle>();
    TindrelRCServo_setOnTargetPositionReachedHandler(
        sv, [](TindrelRCServoHandle, void *c, double p) { static_cast<Recorder<double> *>(c)->add(p); }, &reached);
    openOn(ch, 6000);
    double pos = 0;
    EXPECT_EQ(TindrelRCServo_getPosition(sv, &pos), TINDREL_EUNKNOWNVAL) << "unknown until engaged";
    EXPECT_EQ(TindrelRCServo_setTargetPosition(sv, 181), TINDREL_EINVALIDARG);
    EXPECT_EQ(lastErrorDetail(), "Value 181 is out of range for TargetPosition (0 - 180)");
    ASSERT_EQ(TindrelRCServo_setMaxPosition(sv, 270), TINDREL_OK);
    ASSERT_EQ(TindrelRCServo_setEngaged(sv, 1), TINDREL_OK);
    ASSERT_EQ(TindrelRCServo_setTargetPosition(sv, 200), TINDREL_OK);
    ASSERT_TRUE(reached.waitCount(1));
    EXPECT_EQ(reached.items()[0], 200);
    EXPECT_EQ(TindrelRCServo_setMinPulseWidth(sv, 3000), TINDREL_EINVALIDARG) << "must stay below the maximum";
}

namespace {

struct DictEvent {
    std::string kind, key, value;
};
void dictAdd(TindrelDictionaryHandle, void *c, const char *k, const char *v)
{
    static_cast<Recorder<DictEvent> *>(c)->add({"add", k, v});
}
void dictUpdate(TindrelDictionaryHandle, void *c, const char *k, const char *v)
{
    static_cast<Recorder<DictEvent> *>(c)->add({"update", k, v});
}
void dictRemove(TindrelDictionaryHandle, void *c, const char *k)
{
    static_cast<Recorder<DictEvent> *>(c)->add({"remove", k, ""});
}

}   // namespace

TEST_F(Classes, DictionaryStoresScansAndReportsChanges)
{
    Recorder<DictEvent> events;
    Channel ch(TINDREL_CHCLASS_DICTIONARY);
    auto d = ch.as<TindrelDictionaryHandle>();
    TindrelDictionary_setOnAddHandler(d, dictAdd, &events);
    TindrelDictionary_setOnUpdateHandler(d, dictUpdate, &events);
    TindrelDictionary_setOnRemoveHandler(d, dictRemove, &events);
    openOn(ch, 6000);
    ASSERT_EQ(TindrelDictionary_add(d, "beta", "2"), TINDREL_OK);
    ASSERT_EQ(TindrelDictionary_add(d, "alpha", "1"), TINDREL_OK);
    EXPECT_EQ(TindrelDictionary_add(d, "alpha", "x"), TINDREL_EEXIST);
    ASSERT_EQ(TindrelDictionary_set(d, "alpha", "one"), TINDREL_OK);
    EXPECT_EQ(TindrelDictionary_update(d, "gamma", "3"), TINDREL_ENOENT);
    EXPECT_EQ(TindrelDictionary_add(d, "", "x"), TINDREL_EINVALIDARG);

    char buf[1024];
    ASSERT_EQ(TindrelDictionary_get(d, "alpha", buf, sizeof buf), TINDREL_OK);
    EXPECT_STREQ(buf, "one");
    char tiny[2];
    EXPECT_EQ(TindrelDictionary_get(d, "alpha", tiny, sizeof tiny), TINDREL_ENOSPC);
    EXPECT_EQ(TindrelDictionary_get(d, "nope", buf, sizeof buf), TINDREL_ENOENT);
    ASSERT_EQ(TindrelDictionary_scan(d, nullptr, buf, sizeof buf), TINDREL_OK);
    EXPECT_STREQ(buf, "alpha\nbeta\n");
    ASSERT_EQ(TindrelDictionary_scan(d, "alpha", buf, sizeof buf), TINDREL_OK);
    EXPECT_STREQ(buf, "beta\n");
    ASSERT_EQ(TindrelDictionary_remove(d, "beta"), TINDREL_OK);
    EXPECT_EQ(TindrelDictionary_remove(d, "beta"), TINDREL_ENOENT);

    ASSERT_TRUE(events.waitCount(4));
    auto ev = events.items();
    EXPECT_EQ(ev[0].kind + ev[0].key, "addbeta");
    EXPECT_EQ(ev[2].kind + ev[2].key + ev[2].value, "updatealphaone");
    EXPECT_EQ(ev[3].kind + ev[3].key, "removebeta");

    // Contents outlive the session.
    Tindrel_close(ch.h);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
    EXPECT_EQ(TindrelDictionary_get(d, "alpha", buf, sizeof buf), TINDREL_OK);
}

TEST_F(Classes, AccelerometerReportsThreeAxesWithTimestamps)
{
    Recorder<std::array<double, 4>> events;
    Channel ch(TINDREL_CHCLASS_ACCELEROMETER);
    auto acc = ch.as<TindrelAccelerometerHandle>();
    TindrelAccelerometer_setOnAccelerationChangeHandler(
        acc,
        [](TindrelAccelerometerHandle, void *c, const double a[3], double ts) {
            static_cast<Recorder<std::array<double, 4>> *>(c)->add({a[0], a[1], a[2], ts});
        },
        &events);
    openOn(ch, 6000);
    ASSERT_TRUE(events.waitCount(5));
    auto ev = events.items();
    for (size_t i = 1; i < ev.size(); ++i)
        EXPECT_GT(ev[i][3], ev[i - 1][3]) << "timestamps rise";
    // A board lying flat (it only turns about its heading) reads gravity on z.
    EXPECT_NEAR(ev[4][2], 1.0, 0.05) << "1 g on z";
    EXPECT_NEAR(ev[4][0], 0.0, 0.05);
    EXPECT_NEAR(ev[4][1], 0.0, 0.05);
    double now[3], mx[3];
    ASSERT_EQ(TindrelAccelerometer_getAcceleration(acc, &now), TINDREL_OK);
    ASSERT_EQ(TindrelAccelerometer_getMaxAcceleration(acc, &mx), TINDREL_OK);
    EXPECT_EQ(mx[2], 8);
    int axes = 0;
    TindrelAccelerometer_getAxisCount(acc, &axes);
    EXPECT_EQ(axes, 3);
}

TEST_F(Classes, EncoderChangesAddUpToItsPosition)
{
    struct Sum {
        std::atomic<int64_t> total{0};
        Recorder<int> count;
    } sum;
    Channel ch(TINDREL_CHCLASS_ENCODER);
    auto enc = ch.as<TindrelEncoderHandle>();
    TindrelEncoder_setOnPositionChangeHandler(
        enc,
        [](TindrelEncoderHandle, void *c, int change, double, int) {
            auto *s = static_cast<Sum *>(c);
            s->total += change;
            s->count.add(change);
        },
        &sum);
    openOn(ch, 6000);
    TindrelEncoder_setDataInterval(enc, 20);
    ASSERT_TRUE(sum.count.waitCount(5));
    TindrelEncoder_setOnPositionChangeHandler(enc, nullptr, nullptr);
    int64_t pos = 0;
    ASSERT_EQ(TindrelEncoder_getPosition(enc, &pos), TINDREL_OK);
    EXPECT_GE(pos, sum.total.load());
    EXPECT_GT(sum.total.load(), 0);
    EXPECT_EQ(TindrelEncoder_setEnabled(enc, 0), TINDREL_EUNSUPPORTED) << "device 86 has no enable";
}

TEST_F(Classes, LCDChecksFontsCoordinatesAndDisplayKind)
{
    Recorder<int> done;
    Channel text(TINDREL_CHCLASS_LCD), graphic(TINDREL_CHCLASS_LCD);
    openOn(text, 6001, 0);
    openOn(graphic, 6001, 1);
    auto t = text.as<TindrelLCDHandle>();
    auto g = graphic.as<TindrelLCDHandle>();
    int w = 0, h = 0;
    TindrelLCD_getWidth(t, &w);
    TindrelLCD_getHeight(t, &h);
    EXPECT_EQ(w * 10 + h, 204);
    ASSERT_EQ(TindrelLCD_setScreenSize(t, TINDREL_LCD_SCREEN_SIZE_2x16), TINDREL_OK);
    TindrelLCD_getWidth(t, &w);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(TindrelLCD_writeText(t, TINDREL_LCD_FONT_5x8, 0, 1, "hello"), TINDREL_OK);
    EXPECT_EQ(TindrelLCD_writeText(t, TINDREL_LCD_FONT_5x8, 0, 2, "row 2"), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelLCD_drawLine(t, 0, 0, 1, 1), TINDREL_EUNSUPPORTED);
    EXPECT_EQ(TindrelLCD_writeText(g, TINDREL_LCD_FONT_USER1, 0, 0, "A"), TINDREL_EINVALIDSTATE);
    ASSERT_EQ(TindrelLCD_setFontSize(g, TINDREL_LCD_FONT_USER1, 9, 10), TINDREL_OK);
    EXPECT_EQ(TindrelLCD_writeText(g, TINDREL_LCD_FONT_USER1, 0, 13, "AAAAAA"), TINDREL_OK);
    EXPECT_EQ(TindrelLCD_drawRect(g, 0, 0, 127, 63, 0, 0), TINDREL_OK);
    EXPECT_EQ(TindrelLCD_drawRect(g, 0, 0, 128, 63, 0, 0), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelLCD_setFontSize(g, TINDREL_LCD_FONT_5x8, 9, 10), TINDREL_EINVALIDARG);

    TindrelLCD_drawLine_async(
        g, 0, 0, 500, 0, [](TindrelHandle, void *c, TindrelReturnCode rc) { static_cast<Recorder<int> *>(c)->add(rc); },
        &done);
    ASSERT_TRUE(done.waitCount(1));
    EXPECT_EQ(done.items()[0], TINDREL_EINVALIDARG) << "asynchronous failures reach the completion";
}

TEST_F(Classes, DataAdaptersAnswerOverSPIAndI2C)
{
    Channel spi(TINDREL_CHCLASS_DATAADAPTER), i2c(TINDREL_CHCLASS_DATAADAPTER);
    openOn(spi, 6002);
    openOn(i2c, 6003);
    auto s = spi.as<TindrelDataAdapterHandle>();
    auto i = i2c.as<TindrelDataAdapterHandle>();
    const uint8_t cmd[] = {0x01, 0xF0};
    uint8_t reply[8];
    size_t len = sizeof reply;
    ASSERT_EQ(TindrelDataAdapter_sendPacketWaitResponse(s, cmd, sizeof cmd, reply, &len), TINDREL_OK);
    ASSERT_EQ(len, 2u);
    EXPECT_EQ(reply[0], 0xFE);
    len = 1;
    EXPECT_EQ(TindrelDataAdapter_sendPacketWaitResponse(s, cmd, sizeof cmd, reply, &len), TINDREL_ENOSPC);
    EXPECT_EQ(TindrelDataAdapter_sendPacket(s, cmd, 0), TINDREL_EINVALIDARG);
    std::vector<uint8_t> big(4096);
    EXPECT_EQ(TindrelDataAdapter_sendPacket(s, big.data(), big.size()), TINDREL_ETOOBIG);
    EXPECT_EQ(TindrelDataAdapter_setDataAdapterVoltage(s, static_cast<Tindrel_DataAdapterVoltage>(2)),
              TINDREL_EINVALIDARG);

    const uint8_t write[] = {0x10, 0xAB, 0xCD};
    len = 0;
    // The memory at 0x50 keeps what is written from the address in the first byte.
    ASSERT_EQ(TindrelDataAdapter_i2cSendReceive(i, 0x50, write, sizeof write, reply, &len), TINDREL_OK);
    const uint8_t select[] = {0x10};
    len = 2;
    ASSERT_EQ(TindrelDataAdapter_i2cSendReceive(i, 0x50, select, 1, reply, &len), TINDREL_OK);
    EXPECT_EQ(reply[0], 0xAB);
    EXPECT_EQ(reply[1], 0xCD);
    // The temperature sensor at 0x48 tells its identity; nobody answers at 0x40.
    const uint8_t identity[] = {0x0F};
    len = 1;
    ASSERT_EQ(TindrelDataAdapter_i2cSendReceive(i, 0x48, identity, 1, reply, &len), TINDREL_OK);
    EXPECT_EQ(reply[0], 0xA1);
    EXPECT_EQ(TindrelDataAdapter_i2cSendReceive(i, 0x40, select, 1, reply, &len), TINDREL_EIO);
    // Clocks of the other bus are refused; the SPI device does not keep up with 6 MHz.
    EXPECT_EQ(TindrelDataAdapter_setFrequency(i, static_cast<Tindrel_DataAdapterFrequency>(8)), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelDataAdapter_setFrequency(s, static_cast<Tindrel_DataAdapterFrequency>(2)), TINDREL_EINVALIDARG);
    ASSERT_EQ(TindrelDataAdapter_setFrequency(s, static_cast<Tindrel_DataAdapterFrequency>(9)), TINDREL_OK);
    len = sizeof reply;
    EXPECT_EQ(TindrelDataAdapter_sendPacketWaitResponse(s, cmd, sizeof cmd, reply, &len), TINDREL_ETIMEDOUT);
    EXPECT_EQ(TindrelDataAdapter_i2cSendReceive(s, 0x40, select, 1, reply, &len), TINDREL_EUNSUPPORTED);
    EXPECT_EQ(TindrelDataAdapter_setSPIMode(i, TINDREL_SPI_MODE_1), TINDREL_EUNSUPPORTED);
}

namespace {

void noteAttach(TindrelManagerHandle, void *ctx, TindrelHandle h)
{
    Tindrel_ChannelClass cls{};
    int32_t devId = 0, sub = 0;
    Tindrel_getChannelClass(h, &cls);
    Tindrel_getDeviceID(h, &devId);
    Tindrel_getChannelSubclass(h, &sub);
    static_cast<Recorder<std::tuple<int, int, int>> *>(ctx)->add({cls, devId, sub});
}

}   // namespace

TEST(DefaultRig, HasEveryClassAndTheDevicesTheWindowsBranchOn)
{
    ASSERT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK);
    Recorder<std::tuple<int, int, int>> seen;
    TindrelManagerHandle mg = nullptr;
    TindrelManager_create(&mg);
    TindrelManager_setOnAttachHandler(mg, noteAttach, &seen);
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
    TindrelManager_open(mg);
    size_t expected = 0;
    size_t len = 0;
    ASSERT_EQ(TindrelSim_list(nullptr, &len), TINDREL_OK);
    std::string list(len, '\0');
    ASSERT_EQ(TindrelSim_list(list.data(), &len), TINDREL_OK);
    for (size_t at = 0; (at = list.find("\"attached\": true", at)) != std::string::npos; ++at)
        ++expected;
    ASSERT_TRUE(seen.waitFor([](auto &v) { return v.size() > 100; }));
    TindrelManager_close(mg);
    TindrelManager_delete(&mg);
    drainManagerEvents();
    TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);

    std::set<int> classes;
    std::set<std::pair<int, int>> classDevice, classSub;
    for (auto &[cls, dev, sub] : seen.items()) {
        classes.insert(cls);
        classDevice.insert({cls, dev});
        classSub.insert({cls, sub});
    }
    for (int cls : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 20,
                    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 34, 35, 36, 37, 39, 40})
        EXPECT_TRUE(classes.count(cls)) << "no channel of class " << cls;
    for (int dev : {16, 17, 71})
        EXPECT_TRUE(classDevice.count({TINDREL_CHCLASS_DIGITALOUTPUT, dev})) << "no digital output on device " << dev;
    EXPECT_TRUE(classDevice.count({TINDREL_CHCLASS_DIGITALINPUT, 55}));
    for (int sub : {16, 17, 18})
        EXPECT_TRUE(classSub.count({TINDREL_CHCLASS_DIGITALOUTPUT, sub})) << "no digital output subclass " << sub;
    EXPECT_TRUE(classSub.count({TINDREL_CHCLASS_LCD, 81}));
    EXPECT_TRUE(classSub.count({TINDREL_CHCLASS_VOLTAGERATIOINPUT, 65}));
    EXPECT_GT(expected, 100u);
}

// Every row of the rig document's branch tables ("| window | branch | rig
// device id |") names a device of the default rig that has a channel of the
// window's class, and the device ID the branch names.
TEST(DefaultRig, BranchTableNamesDevicesOfTheRig)
{
    const auto rig = nlohmann::json::parse(TindrelSim_defaultRigText());
    std::map<std::string, const nlohmann::json *> devices;
    std::set<std::string> classNames;
    for (const auto &d : rig["devices"]) {
        devices[d["id"].get<std::string>()] = &d;
        for (const auto &c : d.value("channels", nlohmann::json::array()))
            if (c["class"].is_string())
                classNames.insert(c["class"].get<std::string>());
    }
    std::ifstream doc(TINDREL_RIG_DOC_FILE);
    ASSERT_TRUE(doc.good()) << TINDREL_RIG_DOC_FILE;
    const std::regex header(R"(^\|\s*window\s*\|\s*branch\s*\|\s*rig device id\s*\|)");
    const std::regex row(R"(^\|\s*([A-Za-z]+)\s*\|\s*([^|]+?)\s*\|\s*([A-Za-z0-9_-]+)\s*\|\s*$)");
    const std::regex namedId(R"(device ID (\d+))");
    bool inTable = false;
    int rows = 0;
    for (std::string line; std::getline(doc, line);) {
        if (std::regex_search(line, header)) {
            inTable = true;
            continue;
        }
        if (!inTable || line.rfind("|---", 0) == 0)
            continue;
        std::smatch m;
        if (!std::regex_match(line, m, row)) {
            inTable = false;
            continue;
        }
        ++rows;
        const std::string window = m[1], branch = m[2], id = m[3];
        auto found = devices.find(id);
        ASSERT_NE(found, devices.end()) << line << ": no device " << id << " in the default rig";
        const nlohmann::json &device = *found->second;
        // Windows named after their channel class must find such a channel.
        if (classNames.count(window)) {
            bool hasClass = false;
            for (const auto &c : device.value("channels", nlohmann::json::array()))
                hasClass |= c["class"].is_string() && c["class"].get<std::string>() == window;
            EXPECT_TRUE(hasClass) << line << ": " << id << " has no " << window << " channel";
        }
        std::smatch idMatch;
        if (std::regex_search(branch, idMatch, namedId)) {
            EXPECT_EQ(device["deviceId"].get<int>(), std::stoi(idMatch[1])) << line;
        }
    }
    EXPECT_GT(rows, 10);
}

TEST(RigFile, ProblemsNameFileLineAndColumn)
{
    struct Case {
        const char *text;
        const char *expect;
    };
    const Case cases[] = {
        {"{\n  \"devices\": [\n    {\"id\": \"a\", \"deviceId\": 1, \"class\": 2, \"name\": \"x\", \"serial\": 1, "
         "\"colour\": 3}\n  ]\n}",
         "bad.json:3:70: unknown key \"colour\" in a device"},
        {"{\n  \"devices\": [\n    {\"id\": \"a\", \"deviceId\": \"one\"}]}",
         "bad.json:3:17: \"deviceId\" must be a whole number"},
        {"{\n  \"devices\": [\n    {\"id\": \"a\",, }]}", "bad.json:3:16:"},
        {"{\"devices\": [{\"id\": \"a\", \"deviceId\": 1, \"class\": 2, \"name\": \"x\", \"serial\": 1,\n"
         " \"channels\": [{\"class\": \"Teapot\"}]}]}",
         "bad.json:2:16: unknown channel class \"Teapot\""},
        {"{\"devices\": [{\"id\": \"a\", \"deviceId\": 1, \"class\": 2, \"name\": \"x\", \"serial\": 1,\n"
         " \"channels\": [{\"class\": \"DigitalOutput\", \"properties\": {\"DutyCycle\": 3}}]}]}",
         "bad.json:2:57: DutyCycle 3 is outside 0 - 1"},
        {"{\"devices\": [{\"id\": \"a\", \"deviceId\": 1, \"class\": 21, \"name\": \"x\", \"parent\": \"hub\"}]}",
         "parent \"hub\" is not listed before this device"},
        {"{\"devices\": [{\"id\": \"a\", \"deviceId\": 1, \"class\": 2, \"name\": \"x\", \"serial\": 1,\n"
         " \"channels\": [{\"class\": 6, \"unsupported\": [\"Colour\"]}]}]}",
         "DigitalOutput has no property \"Colour\""},
        {"", "bad.json:1:1:"},
    };
    ASSERT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK);
    for (const Case &c : cases) {
        char err[512] = {};
        EXPECT_EQ(TindrelSim_loadRigText(c.text, "bad.json", err, sizeof err), TINDREL_EINVALIDARG) << c.text;
        EXPECT_NE(std::string(err).find(c.expect), std::string::npos) << "got: " << err;
    }
    // The old rig stays.
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setDeviceSerialNumber(ch.h, 300333);
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);

    char err[256] = {};
    EXPECT_EQ(TindrelSim_loadRigFile("/nonexistent/rig.json", err, sizeof err), TINDREL_ENOENT);
    EXPECT_NE(std::string(err).find("/nonexistent/rig.json"), std::string::npos);
    TindrelSim_clear();
}

TEST(RigFile, LoadsFromAFile)
{
    char path[] = "/tmp/tindrel-rig-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char *text = R"({"devices": [{"id": "r", "deviceId": 30, "class": 2, "name": "Relay", "serial": 77,
                           "channels": [{"class": "DigitalOutput"}]}]})";
    ASSERT_EQ(write(fd, text, strlen(text)), static_cast<ssize_t>(strlen(text)));
    close(fd);
    char err[256] = {};
    EXPECT_EQ(TindrelSim_loadRigFile(path, err, sizeof err), TINDREL_OK) << err;
    unlink(path);
    Channel ch(TINDREL_CHCLASS_DIGITALOUTPUT);
    Tindrel_setDeviceSerialNumber(ch.h, 77);
    EXPECT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK);
    TindrelSim_clear();
}

TEST(DefaultRig, EveryClassRunsWhileOpen)
{
    // Opens one channel of every class the default rig has and lets the
    // generator step them all until the GPS (the slowest) reports a fix.
    ASSERT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK);
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
    Recorder<int> fix;
    std::vector<std::unique_ptr<Channel>> open;
    const Tindrel_ChannelClass classes[] = {TINDREL_CHCLASS_ACCELEROMETER,
                                            TINDREL_CHCLASS_BLDCMOTOR,
                                            TINDREL_CHCLASS_CAPACITIVETOUCH,
                                            TINDREL_CHCLASS_CURRENTINPUT,
                                            TINDREL_CHCLASS_DATAADAPTER,
                                            TINDREL_CHCLASS_DCMOTOR,
                                            TINDREL_CHCLASS_DICTIONARY,
                                            TINDREL_CHCLASS_DIGITALINPUT,
                                            TINDREL_CHCLASS_DIGITALOUTPUT,
                                            TINDREL_CHCLASS_DISTANCESENSOR,
                                            TINDREL_CHCLASS_ENCODER,
                                            TINDREL_CHCLASS_FIRMWAREUPGRADE,
                                            TINDREL_CHCLASS_FREQUENCYCOUNTER,
                                            TINDREL_CHCLASS_GPS,
                                            TINDREL_CHCLASS_LCD,
                                            TINDREL_CHCLASS_GYROSCOPE,
                                            TINDREL_CHCLASS_HUB,
                                            TINDREL_CHCLASS_HUMIDITYSENSOR,
                                            TINDREL_CHCLASS_IR,
                                            TINDREL_CHCLASS_LEDARRAY,
                                            TINDREL_CHCLASS_LIGHTSENSOR,
                                            TINDREL_CHCLASS_MAGNETOMETER,
                                            TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER,
                                            TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER,
                                            TINDREL_CHCLASS_PHSENSOR,
                                            TINDREL_CHCLASS_POWERGUARD,
                                            TINDREL_CHCLASS_PRESSURESENSOR,
                                            TINDREL_CHCLASS_RCSERVO,
                                            TINDREL_CHCLASS_RESISTANCEINPUT,
                                            TINDREL_CHCLASS_RFID,
                                            TINDREL_CHCLASS_SOUNDSENSOR,
                                            TINDREL_CHCLASS_SPATIAL,
                                            TINDREL_CHCLASS_STEPPER,
                                            TINDREL_CHCLASS_TEMPERATURESENSOR,
                                            TINDREL_CHCLASS_VOLTAGEINPUT,
                                            TINDREL_CHCLASS_VOLTAGEOUTPUT,
                                            TINDREL_CHCLASS_VOLTAGERATIOINPUT};
    for (Tindrel_ChannelClass cls : classes) {
        auto ch = std::make_unique<Channel>(cls);
        if (cls == TINDREL_CHCLASS_GPS)
            TindrelGPS_setOnPositionFixStateChangeHandler(
                ch->as<TindrelGPSHandle>(),
                [](TindrelGPSHandle, void *c, int s) { static_cast<Recorder<int> *>(c)->add(s); }, &fix);
        EXPECT_EQ(Tindrel_openWaitForAttachment(ch->h, 5000), TINDREL_OK)
            << "class " << cls << ": " << lastErrorDetail();
        open.push_back(std::move(ch));
    }
    EXPECT_TRUE(fix.waitFor([](auto &v) { return !v.empty() && v.back() == 1; }));
    open.clear();
    TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE);
    TindrelSim_clear();
}
