// Rules of the motor windows that need no window.
#include "MotorLogic.h"
#include "WindowLogic.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <cmath>

using namespace tindrel;
using namespace tindrel::motors;

TEST(MotorLogic, StepRuleIsHalfTheDecadeOfTheValue)
{
    EXPECT_EQ(stepperStepFor(0), 0.5);
    EXPECT_EQ(stepperStepFor(0.3), 0.5);
    EXPECT_EQ(stepperStepFor(-1), 0.5);
    EXPECT_EQ(stepperStepFor(7), 0.5);
    EXPECT_EQ(stepperStepFor(12), 5);
    EXPECT_EQ(stepperStepFor(25), 5);
    EXPECT_EQ(stepperStepFor(250), 50);
    EXPECT_EQ(stepperStepFor(400), 50);
    EXPECT_EQ(stepperStepFor(-3000), 500);
    EXPECT_EQ(stepperStepFor(std::nan("")), 0.5);
}

TEST(MotorLogic, FanAndIOModeCodes)
{
    EXPECT_EQ(dcFanModeFor(0), 2);
    EXPECT_EQ(dcFanModeFor(1), 1);
    EXPECT_EQ(dcFanModeFor(2), 3);
    EXPECT_EQ(dcFanModeFor(-1), 3);
    EXPECT_EQ(fanModeFor(2), 3);
    EXPECT_FALSE(fanModeFor(3));
    EXPECT_EQ(ioModeFor(0), 1);
    EXPECT_EQ(ioModeFor(4), 5);
    EXPECT_FALSE(ioModeFor(5));
    EXPECT_FALSE(ioModeFor(-1));
}

TEST(MotorLogic, SavedSettingsKeysAndTheirDevices)
{
    const auto position = positionSettings();
    ASSERT_EQ(position.size(), 11u);
    for (size_t i = 0; i < position.size(); ++i)
        EXPECT_EQ(position[i].tag, static_cast<int>(i));
    EXPECT_STREQ(position[0].key, "rescaleFactor");
    EXPECT_STREQ(position[10].key, "encoderIOMode");
    EXPECT_TRUE(position[7].appliesTo(108));
    EXPECT_FALSE(position[7].appliesTo(57));
    EXPECT_TRUE(position[8].appliesTo(110));
    EXPECT_TRUE(position[8].appliesTo(57));
    EXPECT_FALSE(position[9].appliesTo(110));
    EXPECT_TRUE(position[1].appliesTo(4242));

    const auto velocity = velocitySettings();
    ASSERT_EQ(velocity.size(), 7u);
    for (const SavedSetting &v : velocity) {
        EXPECT_EQ(QString::fromLatin1(v.key).left(3), QStringLiteral("MVC"));
        for (const SavedSetting &p : position)
            EXPECT_STRNE(v.key, p.key);
    }
    for (int id : {57, 110, 128, 150})
        EXPECT_TRUE(velocity[6].appliesTo(id));
    EXPECT_FALSE(velocity[6].appliesTo(108));

    EXPECT_EQ(disabledPositionCells(108).size(), 3u);
    EXPECT_EQ(disabledPositionCells(57).front(), 7);
    EXPECT_TRUE(disabledPositionCells(1).empty());
}

TEST(MotorLogic, SavedValuesReadBackAsDoublesAndJunkIsAbsent)
{
    QTemporaryDir dir;
    {
        QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
        d.setValue("kp", 20000.5);
        d.setValue("ki", QStringLiteral("not a number"));
    }
    QSettings d(dir.filePath("d.ini"), QSettings::IniFormat);
    EXPECT_EQ(savedDouble(d, "kp"), 20000.5);
    EXPECT_FALSE(savedDouble(d, "ki"));
    EXPECT_FALSE(savedDouble(d, "kd"));
    EXPECT_EQ(fieldNumber(QStringLiteral(" 2.5 ")), 2.5);
    EXPECT_EQ(fieldNumber(QStringLiteral("abc")), 0.0);
}
