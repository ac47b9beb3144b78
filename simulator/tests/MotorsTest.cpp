// Motors and their controllers on the shared shaft: tuning, stalls, cut leads.
#include <cmath>
#include <thread>

#include "TestSupport.h"

using namespace simtest;

namespace {

const char *kRig = R"RIG({
  "devices": [
    {"id": "bldc", "deviceId": 108, "class": 2, "name": "Brushless", "serial": 9100,
     "channels": [{"class": "BLDCMotor"}, {"class": "MotorPositionController"}, {"class": "MotorVelocityController"}]},
    {"id": "brushed", "deviceId": 42, "class": 2, "name": "Brushed", "serial": 9101, "channels": [{"class": "DCMotor"}]},
    {"id": "looped", "deviceId": 110, "class": 2, "name": "Looped", "serial": 9102,
     "channels": [{"class": "DCMotor"}, {"class": "Encoder"}]},
    {"id": "relay", "deviceId": 30, "class": 2, "name": "Relay", "serial": 9103,
     "channels": [{"class": "DigitalOutput"}, {"class": "Encoder"}]}
  ]
})RIG";

class Motors : public ::testing::Test {
protected:
    void SetUp() override { loadRig(kRig); }
    void TearDown() override { TindrelSim_clear(); }
};

void open(Channel &ch, int serial)
{
    Tindrel_setDeviceSerialNumber(ch.h, serial);
    ASSERT_EQ(Tindrel_openWaitForAttachment(ch.h, 5000), TINDREL_OK) << lastErrorDetail();
}

void recordErrors(Channel &ch, Recorder<int> &codes)
{
    Tindrel_setOnErrorHandler(
        ch.h,
        [](TindrelHandle, void *ctx, int32_t code, const char *) { static_cast<Recorder<int> *>(ctx)->add(code); },
        &codes);
}

template <class Get>
bool eventually(Get get)
{
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < end) {
        if (get())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int countOf(const std::vector<int> &v, int code) { return static_cast<int>(std::count(v.begin(), v.end(), code)); }

}   // namespace

TEST_F(Motors, PositionControllerSettlesInItsDeadBandThenStallsWhenHeldAndDisengages)
{
    Channel ch(TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER);
    auto m = ch.as<TindrelMotorPositionControllerHandle>();
    Recorder<int> errors;
    recordErrors(ch, errors);
    open(ch, 9100);
    ASSERT_EQ(TindrelMotorPositionController_setDeadBand(m, 5), TINDREL_OK);
    ASSERT_EQ(TindrelMotorPositionController_setTargetPosition(m, 3000), TINDREL_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double p = 0;
    TindrelMotorPositionController_getPosition(m, &p);
    EXPECT_EQ(p, 0) << "a disengaged controller does not move";

    ASSERT_EQ(TindrelMotorPositionController_setEngaged(m, 1), TINDREL_OK);
    EXPECT_TRUE(eventually([&] {
        TindrelMotorPositionController_getPosition(m, &p);
        return std::fabs(p - 3000) <= 5;
    })) << "at "
        << p;

    ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, "hold", 1), TINDREL_OK);
    ASSERT_EQ(TindrelMotorPositionController_setTargetPosition(m, 9000), TINDREL_OK);
    ASSERT_TRUE(errors.waitFor([](const std::vector<int> &v) { return countOf(v, TINDREL_EEVENT_MOTORSTALL) > 0; }));
    int engaged = 1;
    TindrelMotorPositionController_getEngaged(m, &engaged);
    EXPECT_EQ(engaged, 0) << "a stall disengages the motor";
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(countOf(errors.items(), TINDREL_EEVENT_MOTORSTALL), 1);
}

TEST_F(Motors, AbsurdGainKeepsThePositionControllerSwinging)
{
    Channel ch(TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER);
    auto m = ch.as<TindrelMotorPositionControllerHandle>();
    open(ch, 9100);
    TindrelMotorPositionController_setKp(m, 5e6);
    TindrelMotorPositionController_setKd(m, 0);
    TindrelMotorPositionController_setDeadBand(m, 5);
    TindrelMotorPositionController_setTargetPosition(m, 2000);
    TindrelMotorPositionController_setEngaged(m, 1);
    // Once near the target it keeps crossing it, both ways, well outside the dead band.
    bool above = false, below = false;
    EXPECT_TRUE(eventually([&] {
        double p = 0;
        TindrelMotorPositionController_getPosition(m, &p);
        above |= p > 2010;
        below |= above && p < 1990;
        return above && below;
    }));
}

TEST_F(Motors, HeldBrushlessMotorStallsOnceAndStops)
{
    Channel ch(TINDREL_CHCLASS_BLDCMOTOR);
    auto m = ch.as<TindrelBLDCMotorHandle>();
    Recorder<int> errors;
    recordErrors(ch, errors);
    open(ch, 9100);
    TindrelBLDCMotor_setAcceleration(m, 100);
    ASSERT_EQ(TindrelBLDCMotor_setTargetVelocity(m, 0.6), TINDREL_OK);
    double before = 0, after = 0;
    EXPECT_TRUE(eventually([&] {
        TindrelBLDCMotor_getPosition(m, &before);
        return before > 1000;
    }));
    ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, "hold", 1), TINDREL_OK);
    ASSERT_TRUE(errors.waitFor([](const std::vector<int> &v) { return countOf(v, TINDREL_EEVENT_MOTORSTALL) > 0; }));
    double target = 1;
    TindrelBLDCMotor_getTargetVelocity(m, &target);
    EXPECT_EQ(target, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(countOf(errors.items(), TINDREL_EEVENT_MOTORSTALL), 1);
    TindrelBLDCMotor_getPosition(m, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TindrelBLDCMotor_getPosition(m, &after);
    EXPECT_EQ(before, after) << "the held shaft does not turn";
}

TEST_F(Motors, CutLeadsRaiseOneBadConnectionAndTheVelocityLoopRecoversWhenMended)
{
    Channel ch(TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER);
    auto m = ch.as<TindrelMotorVelocityControllerHandle>();
    Recorder<int> errors;
    recordErrors(ch, errors);
    open(ch, 9100);
    TindrelMotorVelocityController_setAcceleration(m, 20000);
    TindrelMotorVelocityController_setTargetVelocity(m, 5000);
    TindrelMotorVelocityController_setEngaged(m, 1);
    double v = 0;
    EXPECT_TRUE(eventually([&] {
        TindrelMotorVelocityController_getVelocity(m, &v);
        return std::fabs(v - 5000) < 50;
    })) << v;
    ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, "connection", 0), TINDREL_OK);
    ASSERT_TRUE(errors.waitFor([](const std::vector<int> &e) { return countOf(e, TINDREL_EEVENT_BADCONNECTION) > 0; }));
    EXPECT_TRUE(eventually([&] {
        TindrelMotorVelocityController_getVelocity(m, &v);
        return v < 1000;
    })) << "without torque the shaft runs down";
    EXPECT_EQ(countOf(errors.items(), TINDREL_EEVENT_BADCONNECTION), 1);
    ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, "connection", 1), TINDREL_OK);
    EXPECT_TRUE(eventually([&] {
        TindrelMotorVelocityController_getVelocity(m, &v);
        return std::fabs(v - 5000) < 50;
    })) << v;
    EXPECT_EQ(TindrelSim_setMotorCondition("bldc", 0, "torque", 1), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelSim_setMotorCondition("bldc", 0, "load", 3), TINDREL_EINVALIDARG);
    EXPECT_EQ(TindrelSim_setMotorCondition("nothing", 0, "load", 0), TINDREL_ENOENT);
}

TEST_F(Motors, ALoadSlowsABrushedMotorAsItsBackEMFShows)
{
    Channel ch(TINDREL_CHCLASS_DCMOTOR);
    auto m = ch.as<TindrelDCMotorHandle>();
    open(ch, 9101);
    TindrelDCMotor_setBackEMFSensingState(m, 1);
    TindrelDCMotor_setAcceleration(m, 100);
    TindrelDCMotor_setTargetVelocity(m, 1);
    double emf = 0;
    EXPECT_TRUE(eventually([&] {
        TindrelDCMotor_getBackEMF(m, &emf);
        return emf > 10;
    })) << emf;
    TindrelSim_setMotorCondition("brushed", 0, "load", 0.6);
    EXPECT_TRUE(eventually([&] {
        TindrelDCMotor_getBackEMF(m, &emf);
        return emf < 6;
    })) << emf;
}

namespace {

int64_t encoderCounts(TindrelEncoderHandle e)
{
    int64_t p = 0;
    TindrelEncoder_getPosition(e, &p);
    return p;
}

// True once two reads a good while apart agree.
bool comesToRest(TindrelEncoderHandle e)
{
    return eventually([&] {
        const int64_t before = encoderCounts(e);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return encoderCounts(e) == before;
    });
}

}   // namespace

TEST_F(Motors, EncoderOnTheMotorBoardCountsTheShaftInTheMotorsDirection)
{
    Channel motorCh(TINDREL_CHCLASS_DCMOTOR), encoderCh(TINDREL_CHCLASS_ENCODER);
    auto m = motorCh.as<TindrelDCMotorHandle>();
    auto e = encoderCh.as<TindrelEncoderHandle>();
    open(encoderCh, 9102);
    open(motorCh, 9102);
    ASSERT_TRUE(comesToRest(e)) << "an undriven shaft keeps its encoder still";
    const int64_t start = encoderCounts(e);
    TindrelDCMotor_setAcceleration(m, 100);

    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, 0.5), TINDREL_OK);
    EXPECT_TRUE(eventually([&] { return encoderCounts(e) > start + 2000; })) << encoderCounts(e);
    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, 0), TINDREL_OK);
    ASSERT_TRUE(comesToRest(e)) << "the encoder stops with the motor";
    const int64_t stopped = encoderCounts(e);
    EXPECT_GT(stopped, start + 2000);

    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, -0.5), TINDREL_OK);
    EXPECT_TRUE(eventually([&] { return encoderCounts(e) < stopped - 2000; })) << encoderCounts(e);
    TindrelDCMotor_setTargetVelocity(m, 0);
    ASSERT_TRUE(comesToRest(e));

    // A held shaft does not turn, however hard the motor pulls.
    ASSERT_EQ(TindrelSim_setMotorCondition("looped", 0, "hold", 1), TINDREL_OK);
    const int64_t held = encoderCounts(e);
    TindrelDCMotor_setTargetVelocity(m, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(encoderCounts(e), held);
    TindrelDCMotor_setTargetVelocity(m, 0);
    TindrelSim_setMotorCondition("looped", 0, "hold", 0);

    EXPECT_EQ(TindrelSim_turnShaft("looped", 0, 1000), TINDREL_EINVALIDSTATE) << "the motor turns this shaft";
}

TEST_F(Motors, PositionControllerOfTheDefaultRigBringsItsEncoderToTheTarget)
{
    ASSERT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK);
    Channel controllerCh(TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER), encoderCh(TINDREL_CHCLASS_ENCODER);
    auto m = controllerCh.as<TindrelMotorPositionControllerHandle>();
    auto e = encoderCh.as<TindrelEncoderHandle>();
    open(encoderCh, 306150);
    open(controllerCh, 306150);
    ASSERT_TRUE(comesToRest(e));
    const int64_t start = encoderCounts(e);
    double position = 0, rescale = 0;
    TindrelMotorPositionController_getPosition(m, &position);
    TindrelMotorPositionController_getRescaleFactor(m, &rescale);
    ASSERT_GT(rescale, 0);
    const double step = 3000 * rescale, deadBand = 5 * rescale;
    ASSERT_EQ(TindrelMotorPositionController_setDeadBand(m, deadBand), TINDREL_OK);
    ASSERT_EQ(TindrelMotorPositionController_setTargetPosition(m, position + step), TINDREL_OK);
    ASSERT_EQ(TindrelMotorPositionController_setEngaged(m, 1), TINDREL_OK);
    double now = 0;
    EXPECT_TRUE(eventually([&] {
        TindrelMotorPositionController_getPosition(m, &now);
        return std::fabs(now - (position + step)) <= deadBand;
    })) << now;
    ASSERT_TRUE(comesToRest(e));
    EXPECT_NEAR(static_cast<double>(encoderCounts(e) - start), 3000.0, 6.0) << "the encoder saw the whole move";
    TindrelMotorPositionController_setEngaged(m, 0);
}

TEST_F(Motors, FeedbackPotentiometerOfTheDefaultRigFollowsTheShaftBetweenItsEndStops)
{
    ASSERT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK);
    Channel motorCh(TINDREL_CHCLASS_DCMOTOR), potCh(TINDREL_CHCLASS_VOLTAGERATIOINPUT);
    auto m = motorCh.as<TindrelDCMotorHandle>();
    auto pot = potCh.as<TindrelVoltageRatioInputHandle>();
    for (Channel *ch : {&potCh, &motorCh})
        Tindrel_setHubPort(ch->h, 2);
    open(potCh, 561777);
    open(motorCh, 561777);
    const auto ratio = [&] {
        double r = -1;
        TindrelVoltageRatioInput_getVoltageRatio(pot, &r);
        return r;
    };
    const auto steady = [&] {
        double before = ratio();
        return eventually([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            const double now = ratio();
            const bool still = now == before;
            before = now;
            return still;
        });
    };
    ASSERT_TRUE(steady()) << "a standing motor leaves its potentiometer still";
    const double start = ratio();
    EXPECT_GE(start, 0.0);
    EXPECT_LE(start, 1.0);
    TindrelDCMotor_setAcceleration(m, 100);

    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, 0.5), TINDREL_OK);
    EXPECT_TRUE(eventually([&] { return ratio() > start + 0.05; })) << ratio();
    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, 0), TINDREL_OK);
    ASSERT_TRUE(steady()) << "the potentiometer stops with the shaft";
    const double stopped = ratio();

    ASSERT_EQ(TindrelDCMotor_setTargetVelocity(m, -1), TINDREL_OK);
    EXPECT_TRUE(eventually([&] { return ratio() < stopped - 0.05; })) << ratio();
    // Driven on, it rests against its end stop rather than wrapping round.
    EXPECT_TRUE(eventually([&] { return ratio() == 0.0; })) << ratio();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ratio(), 0.0);
    TindrelDCMotor_setTargetVelocity(m, 0);
}

// The shafts belong to the rig: a rig loaded anew starts with every shaft
// at rest, free and connected, whatever the one before went through.
TEST_F(Motors, AReloadedRigStartsWithItsShaftsAtRestAndFree)
{
    auto runUp = [](TindrelBLDCMotorHandle m, double &position) {
        TindrelBLDCMotor_setAcceleration(m, 100);
        EXPECT_EQ(TindrelBLDCMotor_setTargetVelocity(m, 0.6), TINDREL_OK);
        return eventually([&] {
            TindrelBLDCMotor_getPosition(m, &position);
            return position > 1000;
        });
    };
    for (auto replace : {+[] { loadRig(kRig); },
                         +[] {
                             TindrelSim_clear();
                             loadRig(kRig);
                         }}) {
        double position = 0;
        {
            Channel ch(TINDREL_CHCLASS_BLDCMOTOR);
            open(ch, 9100);
            ASSERT_TRUE(runUp(ch.as<TindrelBLDCMotorHandle>(), position)) << position;
            for (const char *what : {"hold", "load"})
                ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, what, what[0] == 'h' ? 1 : 0.5), TINDREL_OK);
            ASSERT_EQ(TindrelSim_setMotorCondition("bldc", 0, "connection", 0), TINDREL_OK);
        }
        replace();
        Channel ch(TINDREL_CHCLASS_BLDCMOTOR);
        auto m = ch.as<TindrelBLDCMotorHandle>();
        Recorder<int> errors;
        recordErrors(ch, errors);
        open(ch, 9100);
        ASSERT_EQ(TindrelBLDCMotor_getPosition(m, &position), TINDREL_OK);
        EXPECT_EQ(position, 0) << "the shaft starts where the new rig puts it";
        EXPECT_TRUE(runUp(m, position)) << "a held or cut shaft would not turn: " << position;
        EXPECT_EQ(errors.size(), 0u) << "no stall and no cut leads";
    }
}

TEST_F(Motors, AConditionIsSetOnlyOnAMotorTheDeviceHas)
{
    TindrelReturnCode code = TINDREL_OK;
    EXPECT_EQ(TindrelSim_setMotorCondition("bldc", 1, "hold", 1), TINDREL_ENOENT);
    EXPECT_EQ(lastErrorDetail(&code), "Device \"bldc\" has no motor 1 (its motors: 0)");
    EXPECT_EQ(code, TINDREL_ENOENT);
    EXPECT_EQ(TindrelSim_setMotorCondition("bldc", -1, "load", 0), TINDREL_ENOENT);
    // An encoder alone is no motor.
    EXPECT_EQ(TindrelSim_setMotorCondition("relay", 0, "hold", 1), TINDREL_ENOENT);
    EXPECT_EQ(lastErrorDetail(), "Device \"relay\" has no motor");
    EXPECT_EQ(TindrelSim_setMotorCondition("looped", 0, "hold", 0), TINDREL_OK);
}
