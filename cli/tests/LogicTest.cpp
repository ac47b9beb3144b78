// The program's pure parts: the class table as the program reads it,
// values, the command line, the event line formats, the queue and the
// addresses of tree nodes.
#include <gtest/gtest.h>

#include <thread>

#include <nlohmann/json.hpp>

#include "Arguments.h"
#include "BoundedQueue.h"
#include "ClassTable.h"
#include "EventFormat.h"
#include "TreeText.h"
#include "Values.h"

using namespace tindrel::cli;
using tindrel::OpenSettings;

namespace {

const PropertyInfo &prop(const char *cls, const char *name)
{
    const ClassInfo *c = classByName(cls);
    EXPECT_NE(c, nullptr) << cls;
    const PropertyInfo *p = c ? c->property(name) : nullptr;
    EXPECT_NE(p, nullptr) << cls << "." << name;
    return *p;
}

std::optional<Arguments> parse(std::vector<std::string> words, std::string *problem = nullptr)
{
    static constexpr OptionSpec options[] = {{"json", false}, {"timeout", true}};
    std::string dummy;
    return parseArguments(words, options, problem ? problem : &dummy);
}

}   // namespace

TEST(ClassTableTest, namesResolveWithOrWithoutTheProductWordInAnyCase)
{
    const ClassInfo *a = classByName("VoltageInput");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(classByName("tindrelvoltageinput"), a);
    EXPECT_EQ(classByName("VOLTAGEINPUT"), a);
    EXPECT_EQ(classByNumber(TINDREL_CHCLASS_VOLTAGEINPUT), a);
    EXPECT_EQ(classByName("Voltage"), nullptr);
    EXPECT_EQ(a->libraryName(), "TindrelVoltageInput");
}

TEST(ClassTableTest, propertiesCarryTheTableTypesLimitsAndAccess)
{
    const PropertyInfo &interval = prop("VoltageInput", "DataInterval");
    EXPECT_TRUE(interval.writable());
    EXPECT_TRUE(interval.ranged);
    EXPECT_EQ(interval.scalar, Scalar::Unsigned);
    EXPECT_EQ(interval.lo, 1);
    EXPECT_EQ(interval.hi, 60000);
    const PropertyInfo &position = prop("Encoder", "Position");
    EXPECT_FALSE(position.writable());
    EXPECT_EQ(position.scalar, Scalar::Signed);
    EXPECT_EQ(position.bits, 64);
    const PropertyInfo &axes = prop("Accelerometer", "Acceleration");
    EXPECT_EQ(axes.width, 3);
    EXPECT_TRUE(prop("DigitalOutput", "State").boolean());
    EXPECT_FALSE(prop("RCServo", "TargetPosition").hasLimits());
    EXPECT_EQ(prop("DCMotor", "FanMode").scalar, Scalar::Signed);
}

TEST(ClassTableTest, eventFieldsComeFromTheParameterLists)
{
    const auto fields = parseParameterList("(const double acceleration[3], double timestamp)");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "acceleration");
    EXPECT_EQ(fields[0].type, "const double");
    EXPECT_EQ(fields[0].arrayLength, 3);
    EXPECT_EQ(fields[1].name, "timestamp");
    EXPECT_EQ(fields[1].arrayLength, 0);
    const auto pointer = parseParameterList("(double sensorValue, Tindrel_UnitInfo *sensorUnit)");
    ASSERT_EQ(pointer.size(), 2u);
    EXPECT_EQ(pointer[1].name, "sensorUnit");
    EXPECT_EQ(pointer[1].type, "Tindrel_UnitInfo *");
    EXPECT_TRUE(parseParameterList("()").empty());

    const EventInfo *e = classByName("Accelerometer")->event("accelerationchange");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(columnNames(*e),
              (std::vector<std::string>{"acceleration0", "acceleration1", "acceleration2", "timestamp"}));
    EXPECT_EQ(e->triggerProperty(), std::optional<std::string_view>("AccelerationChangeTrigger"));
    EXPECT_FALSE(classByName("Gyroscope")->events.front().triggerProperty());
    EXPECT_TRUE(classByName("Stepper")->event("Stopped")->fields().empty());
}

TEST(ValuesTest, textIsCheckedAgainstThePropertyType)
{
    std::string problem;
    EXPECT_EQ(parseValue(prop("VoltageInput", "DataInterval"), "250", &problem), Value(uint64_t{250}));
    EXPECT_FALSE(parseValue(prop("VoltageInput", "DataInterval"), "-1", &problem));
    EXPECT_NE(problem.find("does not fit"), std::string::npos);
    EXPECT_FALSE(parseValue(prop("VoltageInput", "DataInterval"), "4294967296", &problem));
    EXPECT_FALSE(parseValue(prop("VoltageInput", "DataInterval"), "2.5", &problem));
    EXPECT_FALSE(parseValue(prop("VoltageInput", "DataInterval"), "", &problem));
    EXPECT_FALSE(parseValue(prop("VoltageInput", "DataInterval"), " 5", &problem));
    EXPECT_EQ(parseValue(prop("DigitalOutput", "DutyCycle"), "0.5", &problem), Value(0.5));
    EXPECT_EQ(parseValue(prop("DigitalOutput", "DutyCycle"), "-1e-3", &problem), Value(-0.001));
    EXPECT_FALSE(parseValue(prop("DigitalOutput", "DutyCycle"), "half", &problem));
    EXPECT_NE(problem.find("DutyCycle"), std::string::npos);
    EXPECT_FALSE(parseValue(prop("DigitalOutput", "DutyCycle"), "nan", &problem));
    EXPECT_FALSE(parseValue(prop("DigitalOutput", "DutyCycle"), "1e999", &problem));
    EXPECT_EQ(parseValue(prop("DigitalOutput", "State"), "on", &problem), Value(int64_t{1}));
    EXPECT_EQ(parseValue(prop("DigitalOutput", "State"), "False", &problem), Value(int64_t{0}));
    EXPECT_FALSE(parseValue(prop("DigitalOutput", "DutyCycle"), "on", &problem));
    EXPECT_EQ(parseValue(prop("VoltageInput", "SensorType"), "-2147483648", &problem), Value(int64_t{-2147483648LL}));
    EXPECT_FALSE(parseValue(prop("VoltageInput", "SensorType"), "2147483648", &problem));
    EXPECT_FALSE(parseValue(prop("Accelerometer", "Acceleration"), "1", &problem));
}

TEST(ValuesTest, fileNumbersNeedWholeNumbersForIntegerProperties)
{
    std::string problem;
    EXPECT_EQ(valueFromNumber(prop("VoltageInput", "DataInterval"), 100.0, &problem), Value(uint64_t{100}));
    EXPECT_FALSE(valueFromNumber(prop("VoltageInput", "DataInterval"), 100.5, &problem));
    EXPECT_FALSE(valueFromNumber(prop("VoltageInput", "DataInterval"), int64_t{-5}, &problem));
    EXPECT_EQ(valueFromNumber(prop("DigitalOutput", "DutyCycle"), int64_t{1}, &problem), Value(1.0));
    EXPECT_FALSE(valueFromNumber(prop("VoltageInput", "Voltage"), 1.0, &problem));
}

TEST(ValuesTest, readBackComparesDoublesWithRoundingNoiseOnly)
{
    EXPECT_TRUE(sameSetting(Value(0.1 + 0.2), Value(0.3)));
    EXPECT_FALSE(sameSetting(Value(0.3), Value(0.3001)));
    EXPECT_TRUE(sameSetting(Value(int64_t{4}), Value(uint64_t{4})));
    EXPECT_FALSE(sameSetting(Value(int64_t{4}), Value(int64_t{5})));
    EXPECT_TRUE(sameSetting(Value(uint64_t{250}), Value(250.0)));
}

TEST(ValuesTest, formattedDoublesReadBackExactly)
{
    for (double d : {0.1, 1.0 / 3.0, 1e300, -0.0, 123456.789, 5e-324}) {
        const std::string text = formatValue(Value(d));
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
    }
    EXPECT_EQ(formatValue(Value(0.25)), "0.25");
    EXPECT_EQ(formatValue(Value(std::vector<double>{1, 2.5})), "1;2.5");
}

TEST(ArgumentsTest, addressFlagsAreStrictAndNegativeNumbersArePositional)
{
    std::string problem;
    auto a = parse({"DCMotor", "-n", "300512", "-c", "1", "TargetVelocity", "-0.5", "--json"}, &problem);
    ASSERT_TRUE(a) << problem;
    EXPECT_EQ(a->positional, (std::vector<std::string>{"DCMotor", "TargetVelocity", "-0.5"}));
    EXPECT_EQ(a->address().settings.serialNumber, 300512);
    EXPECT_EQ(a->address().settings.channel, 1);
    EXPECT_TRUE(a->has("json"));

    EXPECT_FALSE(parse({"X", "-n", "12abc"}, &problem));
    EXPECT_NE(problem.find("12abc"), std::string::npos);
    EXPECT_FALSE(parse({"X", "-n", "-4"}, &problem));
    EXPECT_FALSE(parse({"X", "-c"}, &problem));
    EXPECT_NE(problem.find("needs a value"), std::string::npos);
    EXPECT_FALSE(parse({"X", "-q"}, &problem));
    EXPECT_FALSE(parse({"X", "--frobnicate"}, &problem));
    EXPECT_FALSE(parse({"X", "--json=1"}, &problem));
    EXPECT_FALSE(parse({"X", "--timeout"}, &problem));

    // A value that happens to be a flag word stays a value.
    a = parse({"X", "-L", "-h", "-s", "r"}, &problem);
    ASSERT_TRUE(a) << problem;
    EXPECT_EQ(a->address().settings.label, QStringLiteral("-h"));
    EXPECT_FALSE(a->address().settings.hubPortDevice);
    EXPECT_FALSE(a->address().settings.remote);
    EXPECT_TRUE(a->address().settings.opensRemotely());

    a = parse({"X", "--", "-n"}, &problem);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->positional.back(), "-n");
}

TEST(ArgumentsTest, flagsGroupBehindTheWordTheyFollow)
{
    auto a = parse({"DigitalOutput", "-n", "1", "-c", "3", "VoltageInput", "-n", "2", "-r"});
    ASSERT_TRUE(a);
    ASSERT_EQ(a->groups.size(), 3u);
    EXPECT_FALSE(a->groups[0].address.any());
    EXPECT_EQ(a->groups[1].word, "DigitalOutput");
    EXPECT_EQ(a->groups[1].address.settings.channel, 3);
    EXPECT_EQ(a->groups[2].address.settings.serialNumber, 2);
    EXPECT_TRUE(a->groups[2].address.settings.remote);
    EXPECT_EQ(a->groups[2].address.settings.channel, 0);
}

TEST(ArgumentsTest, addressTextReadsBackAsTheSameAddress)
{
    OpenSettings s;
    s.serialNumber = 561302;
    s.hubPort = 2;
    s.hubPortDevice = true;
    s.serverName = QStringLiteral("labserver");
    const std::string text = addressText(s);
    EXPECT_EQ(text, "-n 561302 -v 2 -c 0 -h -s labserver");
    std::vector<std::string> words{"X"};
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        words.push_back(text.substr(start, end - start));
    }
    auto a = parse(words);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->address().settings, s);
}

TEST(EventFormatTest, csvHasOneColumnPerFieldOfEveryWatchedEvent)
{
    const ClassInfo *vin = classByName("VoltageInput");
    const EventInfo *voltage = vin->event("VoltageChange");
    const EventInfo *sensor = vin->event("SensorChange");
    const EventFormatter f(OutputFormat::Csv, {voltage, sensor});
    EXPECT_EQ(f.header(), "seq,time,event,voltage,sensorValue,sensorUnit\n");
    EventLine line{7, 1.5, {sensor, {Value(2.5), Value(std::string("m,s"))}}};
    EXPECT_EQ(f.line(line), "7,1.500000,SensorChange,,2.5,\"m,s\"\n");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

TEST(EventFormatTest, jsonLinesNameEachFieldAndKeepArrays)
{
    const EventInfo *e = classByName("Accelerometer")->event("AccelerationChange");
    const EventFormatter f(OutputFormat::Json, {e});
    EXPECT_EQ(f.header(), "");
    const std::string text = f.line({3, 0.25, {e, {Value(std::vector<double>{1, 2, 3}), Value(12.0)}}});
    ASSERT_EQ(text.back(), '\n');
    const auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j["seq"], 3);
    EXPECT_EQ(j["event"], "AccelerationChange");
    EXPECT_EQ(j["acceleration"], (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(j["timestamp"], 12.0);
}

TEST(BoundedQueueTest, aFullQueueDropsAndCountsButAClosedOneOnlyRefuses)
{
    BoundedQueue<int> q(2);
    EXPECT_TRUE(q.push(1));
    EXPECT_TRUE(q.push(2));
    EXPECT_FALSE(q.push(3));
    EXPECT_EQ(q.dropped(), 1u);
    EXPECT_EQ(q.takeAll(std::chrono::steady_clock::now()), (std::vector<int>{1, 2}));
    EXPECT_TRUE(q.push(4));
    q.close();
    EXPECT_FALSE(q.push(5));
    EXPECT_EQ(q.dropped(), 1u);
    EXPECT_EQ(q.takeAll(std::chrono::steady_clock::now()), (std::vector<int>{4}));
}

TEST(BoundedQueueTest, wakeEndsAWaitWithoutItems)
{
    BoundedQueue<int> q(4);
    std::thread t([&] { q.wake(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(q.takeAll(start + std::chrono::seconds(60)).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    t.join();
}

TEST(TreeTextTest, channelAddressesComeFromTheirDeviceAndComputer)
{
    TindrelTreeNode root;
    auto computer = std::make_unique<ComputerNode>();
    computer->isRemote = true;
    computer->serverName = QStringLiteral("labserver");
    auto hub = std::make_unique<TindrelDevice>();
    hub->devSerial = 561302;
    hub->devClass = TINDREL_DEVCLASS_HUB;
    auto port = std::make_unique<HubPortNode>(2, 561302);
    auto dev = std::make_unique<TindrelDevice>();
    dev->devSerial = 561302;
    dev->devClass = TINDREL_DEVCLASS_XLNK;
    dev->hubPort = 2;
    dev->hubPortDevice = true;
    auto ch = std::make_unique<TindrelChannel>();
    ch->channel = 0;
    ch->chClass = TINDREL_CHCLASS_DIGITALINPUT;
    const TindrelChannel *leaf = ch.get();
    dev->addChild(std::move(ch));
    port->addChild(std::move(dev));
    hub->addChild(std::move(port));
    computer->addChild(std::move(hub));
    root.addChild(std::move(computer));

    const auto entries = channelsOf(root);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].node, leaf);
    EXPECT_EQ(addressText(entries[0].address), "-n 561302 -v 2 -c 0 -h -s labserver");
    const auto j = treeJson(root);
    const auto &channel = j["computers"][0]["children"][0]["children"][0]["children"][0]["children"][0];
    EXPECT_EQ(channel["class"], "DigitalInput");
    EXPECT_EQ(channel["address"]["hubPort"], 2);
    const std::string table = treeTable(root);
    EXPECT_NE(table.find("DigitalInput"), std::string::npos);
    EXPECT_NE(table.find("-n 561302 -v 2 -c 0 -h -s labserver"), std::string::npos);
}
