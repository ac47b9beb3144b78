// What the simulated sensors and counting inputs report: sound spectra whose
// levels belong together, encoders that count the shaft they are turned by,
// counters that see their input through the chosen filter.
#include <cmath>
#include <numeric>
#include <thread>

#include "../behaviour/common.h"
#include "TestSupport.h"

using namespace simtest;

namespace {

const char *kRig = R"RIG({
  "devices": [
    {"id": "enc", "deviceId": 25, "class": 2, "name": "Encoder", "serial": 9100,
     "channels": [{"class": "Encoder", "behaviour": {"waveform": "sine", "amplitude": 500, "offset": 0, "period": 3}}]},
    {"id": "ac", "deviceId": 115, "class": 2, "name": "Counter", "serial": 9101,
     "channels": [{"class": "FrequencyCounter", "behaviour": {"waveform": "constant", "offset": 400}}]},
    {"id": "logic", "deviceId": 55, "class": 2, "name": "Isolated", "serial": 9102,
     "channels": [{"class": "FrequencyCounter", "behaviour": {"waveform": "constant", "offset": 400}}]},
    {"id": "loud", "deviceId": 48, "class": 2, "name": "Sound", "serial": 9103,
     "channels": [{"class": "SoundSensor", "behaviour": {"waveform": "sine", "amplitude": 15, "offset": 80, "period": 2}}]}
  ]
})RIG";

class Sensors : public ::testing::Test {
protected:
    void SetUp() override { loadRig(kRig); }
    void TearDown() override { TindrelSim_clear(); }
};

void openOn(Channel &ch, int serial)
{
    Tindrel_setDeviceSerialNumber(ch.h, serial);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK) << lastErrorDetail();
}

double energy(const std::array<double, tsim::behaviour::kSoundBands> &bands, const double *weight)
{
    double e = 0;
    for (size_t i = 0; i < bands.size(); ++i)
        e += std::pow(10.0, (bands[i] + (weight ? weight[i] : 0.0)) / 10.0);
    return 10 * std::log10(e);
}

}   // namespace

TEST_F(Sensors, SoundLevelsBelongToTheirBands)
{
    struct Levels {
        double dB, dBA, dBC;
        std::array<double, tsim::behaviour::kSoundBands> bands;
    };
    Recorder<Levels> seen;
    Channel ch(TINDREL_CHCLASS_SOUNDSENSOR);
    auto snd = ch.as<TindrelSoundSensorHandle>();
    TindrelSoundSensor_setOnSPLChangeHandler(
        snd,
        [](TindrelSoundSensorHandle, void *ctx, double dB, double dBA, double dBC, const double octaves[10]) {
            Levels l{dB, dBA, dBC, {}};
            std::copy(octaves, octaves + 10, l.bands.begin());
            static_cast<Recorder<Levels> *>(ctx)->add(l);
        },
        &seen);
    openOn(ch, 9103);
    TindrelSoundSensor_setDataInterval(snd, 100);
    ASSERT_TRUE(seen.waitCount(5));
    const double a[] = {-39.4, -26.2, -16.1, -8.6, -3.2, 0.0, 1.2, 1.0, -1.1, -6.6};
    const double c[] = {-3.0, -0.8, -0.2, 0.0, 0.0, 0.0, -0.2, -0.8, -3.0, -8.5};
    for (const Levels &l : seen.items()) {
        EXPECT_NEAR(energy(l.bands, nullptr), l.dB, 1e-6) << "the bands add up to the unweighted level";
        EXPECT_NEAR(energy(l.bands, a), l.dBA, 1e-6);
        EXPECT_NEAR(energy(l.bands, c), l.dBC, 1e-6);
        EXPECT_GT(l.dB, 50);
        EXPECT_LT(l.dBA, l.dB) << "a room's hum weighs less in A";
    }

    // The 82 dB range clips every band and level.
    ASSERT_EQ(TindrelSoundSensor_setSPLRange(snd, TINDREL_SPL_RANGE_82dB), TINDREL_OK);
    seen.clear();
    ASSERT_TRUE(seen.waitCount(3));
    const Levels last = seen.items().back();
    for (double b : last.bands)
        EXPECT_LE(b, 82.0);
    EXPECT_LE(last.dB, 82.0);
}

TEST_F(Sensors, EncoderCountsTheShaftItIsTurnedByWithAnIndexEachRevolution)
{
    struct Change {
        int counts;
        int index;
    };
    Recorder<Change> changes;
    Channel ch(TINDREL_CHCLASS_ENCODER);
    auto e = ch.as<TindrelEncoderHandle>();
    ASSERT_EQ(TindrelSim_turnShaft("enc", 0, 3600), TINDREL_OK);
    TindrelEncoder_setOnPositionChangeHandler(
        e,
        [](TindrelEncoderHandle, void *ctx, int change, double, int index) {
            static_cast<Recorder<Change> *>(ctx)->add({change, index});
        },
        &changes);
    openOn(ch, 9100);
    TindrelEncoder_setDataInterval(e, 8);
    // Two revolutions and more.
    ASSERT_TRUE(changes.waitFor([](const std::vector<Change> &v) {
        return std::accumulate(v.begin(), v.end(), 0, [](int s, const Change &c) { return s + c.counts; }) > 3000;
    }));
    // Stop the shaft, so that events and position settle.
    ASSERT_EQ(TindrelSim_turnShaft("enc", 0, 0), TINDREL_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int64_t position = 0, index = 0;
    ASSERT_EQ(TindrelEncoder_getPosition(e, &position), TINDREL_OK);
    ASSERT_EQ(TindrelEncoder_getIndexPosition(e, &index), TINDREL_OK);
    const auto seen = changes.items();
    const int sum = std::accumulate(seen.begin(), seen.end(), 0, [](int s, const Change &c) { return s + c.counts; });
    EXPECT_EQ(sum, position) << "every count of the shaft reaches an event";
    int indexes = 0;
    for (const Change &c : seen) {
        EXPECT_GE(c.counts, 0) << "the shaft turns forwards only";
        indexes += c.index;
    }
    EXPECT_EQ(indexes, position / tsim::behaviour::kEncoderCountsPerRevolution);
    EXPECT_EQ(index, position / 1440 * 1440);

    // Backwards: the counts go down.
    changes.clear();
    ASSERT_EQ(TindrelSim_turnShaft("enc", 0, -3600), TINDREL_OK);
    ASSERT_TRUE(changes.waitFor([](const std::vector<Change> &v) { return !v.empty() && v.back().counts < 0; }));
    EXPECT_EQ(TindrelSim_turnShaft("nothing", 0, 10), TINDREL_ENOENT);
    EXPECT_EQ(TindrelSim_turnShaft("enc", 0, NAN), TINDREL_EINVALIDARG);
}

TEST_F(Sensors, CounterSeesItsInputThroughTheFilterAndCutoff)
{
    for (const int serial : {9101, 9102}) {
        Channel ch(TINDREL_CHCLASS_FREQUENCYCOUNTER);
        auto f = ch.as<TindrelFrequencyCounterHandle>();
        Recorder<double> hz;
        TindrelFrequencyCounter_setOnFrequencyChangeHandler(
            f, [](TindrelFrequencyCounterHandle, void *c, double v) { static_cast<Recorder<double> *>(c)->add(v); },
            &hz);
        openOn(ch, serial);
        TindrelFrequencyCounter_setDataInterval(f, 100);
        ASSERT_TRUE(hz.waitFor([](const std::vector<double> &v) { return !v.empty() && v.back() == 400; }));

        ASSERT_EQ(TindrelFrequencyCounter_setFilterType(f, TINDREL_FILTER_TYPE_LOGIC_LEVEL), TINDREL_OK);
        hz.clear();
        ASSERT_TRUE(hz.waitCount(3));
        // The small AC signal never reaches the logic threshold; logic levels do.
        EXPECT_EQ(hz.items().back(), serial == 9101 ? 0.0 : 400.0) << serial;

        ASSERT_EQ(TindrelFrequencyCounter_setFilterType(f, TINDREL_FILTER_TYPE_ZERO_CROSSING), TINDREL_OK);
        ASSERT_EQ(TindrelFrequencyCounter_setFrequencyCutoff(f, 10), TINDREL_OK);
        hz.clear();
        ASSERT_TRUE(hz.waitCount(3));
        EXPECT_EQ(hz.items().back(), 400.0) << "well above the cutoff";
        uint64_t before = 0, after = 0;
        TindrelFrequencyCounter_getCount(f, &before);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        TindrelFrequencyCounter_getCount(f, &after);
        EXPECT_GT(after, before + 40) << "400 Hz for 0.3 s";
    }
}
