// The channel settings file: what is written reads back the same, and a
// damaged or foreign file is refused with a message that says where.
#include <gtest/gtest.h>

#include "SettingsFile.h"

using namespace tindrel::settings;

namespace {

SettingsFile sample()
{
    SettingsFile f;
    ChannelSettings a;
    a.className = "DigitalOutput";
    a.address.serialNumber = 300111;
    a.address.channel = 3;
    a.address.label = "bench";
    a.device = DeviceNote{"Some board", "TDR3264_0", 16, 100};
    a.properties = {{"State", int64_t{1}}, {"DutyCycle", 0.25}};
    ChannelSettings b;
    b.className = "VoltageInput";
    b.address.serialNumber = 561777;
    b.address.hubPort = 4;
    b.address.hubPortDevice = true;
    b.address.remote = true;
    b.address.serverName = "labserver";
    b.properties = {{"DataInterval", int64_t{100}}, {"VoltageChangeTrigger", 0.0}};
    f.channels = {a, b};
    return f;
}

std::string problemOf(const std::string &text)
{
    std::string problem;
    EXPECT_FALSE(readSettings(text, &problem)) << text;
    return problem;
}

}   // namespace

TEST(SettingsFileTest, writtenFilesReadBackTheSame)
{
    const SettingsFile f = sample();
    std::string problem;
    const auto back = readSettings(writeSettings(f), &problem);
    ASSERT_TRUE(back) << problem;
    EXPECT_EQ(*back, f);
    // A double that happens to be whole stays a double, so it is set as one.
    EXPECT_TRUE(std::holds_alternative<double>(back->channels[1].properties[1].second));
}

TEST(SettingsFileTest, propertiesKeepTheirWrittenOrder)
{
    SettingsFile f;
    ChannelSettings c;
    c.className = "RCServo";
    c.properties = {{"MinPosition", 0.0}, {"MaxPosition", 180.0}, {"Engaged", int64_t{1}}, {"Acceleration", 10.0}};
    f.channels = {c};
    const auto back = readSettings(writeSettings(f), nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->channels[0].properties, c.properties);
}

TEST(SettingsFileTest, damagedOrForeignFilesAreRefusedWithThePlace)
{
    EXPECT_EQ(problemOf("{\n  \"format\": \"tindrel-channel-settings\",\n  oops\n}"),
              "line 3, column 3: not valid JSON");
    EXPECT_NE(problemOf(R"({"format": "something-else", "version": 1, "channels": []})").find("something-else"),
              std::string::npos);
    EXPECT_NE(problemOf(R"({"format": "tindrel-channel-settings", "version": 2, "channels": []})").find("newer"),
              std::string::npos);
    EXPECT_EQ(problemOf(R"({"format": "tindrel-channel-settings", "version": 1})"), "channels: missing or not a list");
    EXPECT_EQ(problemOf(R"({"format": "tindrel-channel-settings", "version": 1, "channels": [
                  {"class": "X", "address": {"serialNumber": "12"}, "properties": {}}]})"),
              "channels[0].address.serialNumber: not a whole number");
    EXPECT_EQ(problemOf(R"({"format": "tindrel-channel-settings", "version": 1, "channels": [
                  {"class": "X", "address": {}, "properties": {"State": "on"}}]})"),
              "channels[0].properties.State: not a number");
    EXPECT_EQ(problemOf(R"({"format": "tindrel-channel-settings", "version": 1, "channels": [
                  {"address": {}, "properties": {}}]})"),
              "channels[0]: \"class\" is missing");
    EXPECT_EQ(problemOf("[1, 2]"), "file: not a settings object");
    EXPECT_FALSE(problemOf("").empty());
}

TEST(SettingsFileTest, unknownKeysAreIgnoredAndBooleansReadAsZeroOrOne)
{
    std::string problem;
    const auto f = readSettings(R"({"format": "tindrel-channel-settings", "version": 1, "comment": "x",
        "channels": [{"class": "DigitalOutput", "address": {"channel": 2, "future": 1},
                      "properties": {"State": true}, "notes": "kept out"}]})",
                                &problem);
    ASSERT_TRUE(f) << problem;
    ASSERT_EQ(f->channels.size(), 1u);
    EXPECT_EQ(f->channels[0].address.channel, 2);
    EXPECT_EQ(f->channels[0].address.serialNumber, 0);
    EXPECT_EQ(f->channels[0].properties[0].second, Number(int64_t{1}));
}

TEST(SettingsFileTest, scaleGoesFirstAndEngagementLast)
{
    EXPECT_EQ(applyOrder({"Engaged", "Acceleration", "RescaleFactor", "TargetPosition"}),
              (std::vector<std::string>{"RescaleFactor", "Acceleration", "TargetPosition", "Engaged"}));
}
