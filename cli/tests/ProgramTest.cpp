// The tindrel program itself, run as a separate process on the simulator's
// default rig. Devices are named by class, serial number and rig device id,
// never by product name or code.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include "ClassTable.h"
#include "SettingsFile.h"
#include "tindrel22.h"

namespace {

constexpr const char *kProgram = TINDREL_PROGRAM;
constexpr const char *kSimTool = TINDRELSIM_PROGRAM;
// Serial numbers of stand-alone devices in the default rig.
constexpr int kMotionSerial = 300517;    // rig device "spatial100": accelerometer, gyroscope, magnetometer
constexpr int kLedSerial = 300111;       // 8 dimmable digital outputs
constexpr int kVoltageSerial = 300509;   // one voltage input
constexpr int kHubSerial = 561302;       // a hub with port-mode devices on port 2

struct Result {
    int status = -1;
    std::string out, err;
};

QStringList toList(const std::vector<std::string> &args)
{
    QStringList l;
    for (const auto &a : args)
        l << QString::fromStdString(a);
    return l;
}

// Runs tindrel on the default rig, or with the rig file rigFile.
Result run(const std::vector<std::string> &args, int timeoutMs = 60000, const QString &rigFile = {})
{
    QProcess p;
    if (!rigFile.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TINDREL_RIG"), rigFile);
        p.setProcessEnvironment(env);
    }
    p.start(QString::fromLatin1(kProgram), toList(args));
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "tindrel did not finish in time";
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

std::string s(int n) { return std::to_string(n); }

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path);
    std::stringstream b;
    b << f.rdbuf();
    return b.str();
}

// Waits (with a generous deadline) until pred holds for the text read so far.
bool waitForOutput(QProcess &p, std::string &seen, QProcess::ProcessChannel channel,
                   const std::function<bool(const std::string &)> &pred)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        p.setReadChannel(channel);
        p.waitForReadyRead(200);
        seen +=
            (channel == QProcess::StandardOutput ? p.readAllStandardOutput() : p.readAllStandardError()).toStdString();
        if (pred(seen))
            return true;
        if (p.state() == QProcess::NotRunning)
            return pred(seen);
    }
    return false;
}

void collectChannels(const nlohmann::json &node, std::vector<nlohmann::json> &out)
{
    if (node.value("kind", "") == "channel")
        out.push_back(node);
    if (node.contains("children"))
        for (const auto &c : node["children"])
            collectChannels(c, out);
}

std::vector<nlohmann::json> listedChannels()
{
    const Result r = run({"list", "--json", "--settle", "1500"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> out;
    const auto tree = nlohmann::json::parse(r.out);
    for (const auto &computer : tree["computers"])
        collectChannels(computer, out);
    EXPECT_FALSE(out.empty()) << r.out.substr(0, 2000);
    return out;
}

// Saves output 3 of the LED board and the voltage input of the default rig into path.
tindrel::settings::SettingsFile saveOutputAndInput(const std::string &path)
{
    const Result r = run({"save", "DigitalOutput", "-n", s(kLedSerial), "-c", "3", "VoltageInput", "-n",
                          s(kVoltageSerial), "--output", path});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string problem;
    auto file = tindrel::settings::readSettings(readFile(path), &problem);
    EXPECT_TRUE(file && file->channels.size() == 2u) << problem;
    return file && file->channels.size() == 2u ? *file : tindrel::settings::SettingsFile{};
}

// Gives a saved property another value; false when the entry has none of that name.
bool change(tindrel::settings::ChannelSettings &c, const std::string &name, tindrel::settings::Number value)
{
    for (auto &[n, v] : c.properties)
        if (n == name) {
            v = value;
            return true;
        }
    return false;
}

}   // namespace

TEST(ProgramListTest, jsonListHasEveryKindOfPlacementWithWorkingAddresses)
{
    const auto channels = listedChannels();
    bool motion = false, portMode = false, onPort = false, remote = false;
    for (const auto &c : channels) {
        const auto &a = c["address"];
        motion |= c["class"] == "Accelerometer" && a["serialNumber"] == kMotionSerial;
        portMode |= a["serialNumber"] == kHubSerial && a["hubPortDevice"] == true && a["hubPort"] == 2;
        onPort |= a["serialNumber"] == kHubSerial && a["hubPortDevice"] == false && a["hubPort"] == 1;
        remote |= a["remote"] == true && a.contains("serverName");
    }
    EXPECT_TRUE(motion);
    EXPECT_TRUE(portMode);
    EXPECT_TRUE(onPort);
    EXPECT_TRUE(remote);

    // The listed address opens exactly that channel.
    for (const auto &c : channels) {
        if (c["address"]["hubPortDevice"] != true || c["class"] != "DigitalOutput")
            continue;
        std::vector<std::string> args{"get", c["class"]};
        std::istringstream flags(c["address"]["flags"].get<std::string>());
        for (std::string w; flags >> w;)
            args.push_back(w);
        args.push_back("State");
        const Result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "0\n");
        break;
    }
}

TEST(ProgramListTest, tableShowsSerialsClassesAndAddresses)
{
    const Result r = run({"list", "--local", "--settle", "1500"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).front().substr(0, 16), "DEVICE / CHANNEL");
    EXPECT_NE(r.out.find("Accelerometer"), std::string::npos);
    EXPECT_NE(r.out.find("-n " + s(kMotionSerial) + " -c 0"), std::string::npos);
    EXPECT_NE(r.out.find("-n " + s(kHubSerial) + " -v 2 -c 0 -h"), std::string::npos);
    EXPECT_EQ(r.out.find("Remote Server"), std::string::npos);   // --local
}

TEST(ProgramListTest, watchFollowsDetachAndAttachAndEndsOnSigterm)
{
    QProcess p;
    p.start(QString::fromLatin1(kProgram), {"list", "--watch", "--json", "--settle", "1000"});
    ASSERT_TRUE(p.waitForStarted());
    std::string out;
    ASSERT_TRUE(waitForOutput(p, out, QProcess::StandardOutput,
                              [](const std::string &t) { return t.find('\n') != std::string::npos; }));
    const auto first = nlohmann::json::parse(out.substr(0, out.find('\n')));
    EXPECT_EQ(first["event"], "list");
    out.erase(0, out.find('\n') + 1);

    const QString pid = QString::number(p.processId());
    auto sim = [&](const char *what) {
        QProcess t;
        t.start(QString::fromLatin1(kSimTool), {"--pid", pid, what, "spatial100"});
        EXPECT_TRUE(t.waitForFinished(60000));
        EXPECT_EQ(t.exitCode(), 0) << t.readAllStandardError().toStdString();
    };
    auto countOf = [](const std::string &text, const char *event) {
        int n = 0;
        for (const auto &l : lines(text)) {
            const auto j = nlohmann::json::parse(l);
            n += j["event"] == event && j["address"]["serialNumber"] == kMotionSerial;
        }
        return n;
    };
    // The control socket is up once the list is out; a few tries cover a slow start.
    sim("detach");
    ASSERT_TRUE(waitForOutput(p, out, QProcess::StandardOutput, [&](const std::string &t) {
        return countOf(t, "detach") >= 4;
    })) << out;
    sim("attach");
    ASSERT_TRUE(waitForOutput(p, out, QProcess::StandardOutput, [&](const std::string &t) {
        return countOf(t, "attach") >= 4;
    })) << out;
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

TEST(ProgramGetSetTest, setReportsWhatTheChannelThenHolds)
{
    Result r = run({"set", "DigitalOutput", "-n", s(kLedSerial), "-c", "3", "DutyCycle", "0.25"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0.25\n");
    r = run({"set", "DigitalOutput", "-n", s(kLedSerial), "-c", "3", "state", "on", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["property"], "State");
    EXPECT_EQ(j["value"], 1);
    r = run({"get", "tindrelvoltageinput", "-n", s(kVoltageSerial), "DataInterval"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "250\n");
}

TEST(ProgramGetSetTest, getWithoutPropertyReadsEveryPropertyOfTheTable)
{
    const Result r = run({"get", "VoltageInput", "-n", s(kVoltageSerial), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    for (const auto &p : tindrel::cli::classByName("VoltageInput")->properties)
        EXPECT_TRUE(j.contains(p.name)) << p.name;
    EXPECT_EQ(j["DataInterval"], 250);
}

TEST(ProgramGetSetTest, badClassAddressPropertyAndValueEachHaveTheirStatusAndMessage)
{
    const std::string n = s(kLedSerial);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"get", "NoSuchClass", "-n", n, "State"}, 3, "no channel class \"NoSuchClass\""},
        {{"get", "DigitalOutput", "-n", n, "NoSuchProperty"}, 3, "has no property \"NoSuchProperty\""},
        {{"set", "DigitalOutput", "-n", n, "DutyCycle", "lots"}, 4, "\"lots\" is not a value for DutyCycle"},
        {{"set", "DigitalOutput", "-n", n, "State", "7"}, 1, "State"},   // the library's range detail
        {{"set", "DigitalOutput", "-n", n, "DutyCycle", "2"}, 1, "failed: "},
        {{"set", "VoltageInput", "-n", s(kVoltageSerial), "Voltage", "1"}, 4, "read-only"},
        {{"get", "DigitalOutput", "-n", "12x", "State"}, 2, "-n needs a serial number"},
        {{"get", "DigitalOutput", "-n", "999999", "State", "--timeout", "300"}, 5, "no TindrelDigitalOutput"},
        {{"get", "DigitalOutput", "-c", "99", "State", "--timeout", "300"}, 5, "-c 99"},
        {{"get", "DigitalOutput", "-q", "State"}, 2, "unknown flag -q"},
        {{"get"}, 2, "usage"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"watch", "VoltageInput", "-n", s(kVoltageSerial), "NoSuchEvent"}, 3, "has no event"},
        {{"watch", "VoltageInput", "-n", s(kVoltageSerial), "--interval", "0"}, 1, "DataInterval"},
        {{"watch", "VoltageInput", "-n", s(kVoltageSerial), "--interval", "fast"}, 4, "--interval"},
        {{"watch", "Gyroscope", "-n", s(kMotionSerial), "--trigger", "1"}, 4, "no"},
    };
    for (const Case &c : cases) {
        const Result r = run(c.args);
        std::string joined;
        for (const auto &a : c.args)
            joined += a + " ";
        EXPECT_EQ(r.status, c.status) << joined << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << joined << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("tindrel: ", 0), 0u) << r.err;
    }
}

TEST(ProgramHelpTest, classHelpListsWhatTheTableDeclares)
{
    for (const auto &cls : tindrel::cli::allClasses()) {
        for (const auto &args : {std::vector<std::string>{"help", cls.name}, {cls.name, "--help"}}) {
            const Result r = run(args);
            ASSERT_EQ(r.status, 0) << cls.name << r.err;
            for (const auto &p : cls.properties)
                EXPECT_NE(r.out.find(std::string("  ") + p.name + " "), std::string::npos) << cls.name << p.name;
            for (const auto &e : cls.events)
                EXPECT_NE(r.out.find(std::string("  ") + e.name + " "), std::string::npos) << cls.name << e.name;
        }
    }
    const Result r = run({"help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
}

TEST(ProgramWatchTest, keepsEveryEventAtAMillisecondIntoAFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("acc.csv").toStdString();
    const int n = 3000;
    const Result r =
        run({"watch", "Accelerometer", "-n", s(kMotionSerial), "--interval", "1", "--count", s(n), "--output", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(s(n) + " events, " + s(n) + " lines written, 0 dropped"), std::string::npos) << r.err;
    const auto rows = lines(readFile(path));
    ASSERT_EQ(rows.size(), static_cast<size_t>(n) + 1);
    EXPECT_EQ(rows[0], "seq,time,event,acceleration0,acceleration1,acceleration2,timestamp");
    double lastTimestamp = -1;
    for (int i = 1; i <= n; ++i) {
        std::vector<std::string> cells;
        std::istringstream in(rows[static_cast<size_t>(i)]);
        for (std::string c; std::getline(in, c, ',');)
            cells.push_back(c);
        ASSERT_EQ(cells.size(), 7u) << rows[static_cast<size_t>(i)];
        EXPECT_EQ(cells[0], s(i));   // the library's own count: no gap, no repeat
        EXPECT_EQ(cells[2], "AccelerationChange");
        const double ts = std::stod(cells[6]);
        EXPECT_GT(ts, lastTimestamp);
        lastTimestamp = ts;
    }
}

TEST(ProgramWatchTest, jsonLinesParseAndNameTheFields)
{
    const Result r = run({"watch", "Spatial", "-n", s(kMotionSerial), "--json", "--count", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 20u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto j = nlohmann::json::parse(rows[i]);
        EXPECT_EQ(j["seq"], i + 1);
        EXPECT_EQ(j["event"], "SpatialData");
        EXPECT_EQ(j["acceleration"].size(), 3u);
        EXPECT_EQ(j["magneticField"].size(), 3u);
    }
}

TEST(ProgramWatchTest, aChangeTriggerReachesTheDeviceAndEventsStillArrive)
{
    // The input follows a slow wave: at its data interval one reading moves
    // it by less than 0.1 V, so only the trigger keeps the readings apart.
    const auto voltages = [](const Result &r) {
        std::vector<double> v;
        for (const auto &l : lines(r.out))
            v.push_back(nlohmann::json::parse(l)["voltage"].get<double>());
        return v;
    };
    const Result plain = run({"watch", "VoltageInput", "-n", s(kVoltageSerial), "--json", "--count", "6"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto close = voltages(plain);
    ASSERT_EQ(close.size(), 6u);
    for (size_t i = 1; i < close.size(); ++i)
        EXPECT_LT(std::fabs(close[i] - close[i - 1]), 0.15) << i;

    const Result r =
        run({"watch", "VoltageInput", "-n", s(kVoltageSerial), "--trigger", "0.2", "--json", "--count", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("5 events, 5 lines written, 0 dropped"), std::string::npos) << r.err;
    const auto apart = voltages(r);
    ASSERT_EQ(apart.size(), 5u);
    for (size_t i = 1; i < apart.size(); ++i)
        EXPECT_GE(std::fabs(apart[i] - apart[i - 1]), 0.2) << i << ": " << apart[i - 1] << " then " << apart[i];
}

TEST(ProgramWatchTest, sigintEndsTheWatchCleanly)
{
    QProcess p;
    p.start(QString::fromLatin1(kProgram), {"watch", "VoltageInput", "-n", QString::number(kVoltageSerial)});
    std::string out;
    ASSERT_TRUE(
        waitForOutput(p, out, QProcess::StandardOutput, [](const std::string &t) { return lines(t).size() >= 3; }));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_NE(p.readAllStandardError().toStdString().find("watch ended"), std::string::npos);
}

TEST(ProgramWatchTest, aStalledOutputDropsLinesAndSaysSo)
{
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("out").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opened for reading but never read, so the pipe fills up.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    QProcess p;
    p.start(QString::fromLatin1(kProgram),
            {"watch", "Accelerometer", "-n", QString::number(kMotionSerial), "--interval", "1", "--queue", "20",
             "--output", QString::fromStdString(fifo)});
    std::string err;
    EXPECT_TRUE(waitForOutput(p, err, QProcess::StandardError, [](const std::string &t) {
        return t.find("dropped so far") != std::string::npos;
    })) << err;
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60000));
    ::close(reader);
    err += p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 8) << err;
    unsigned long long events = 0, written = 0, dropped = 0;
    const size_t at = err.find("watch ended: ");
    ASSERT_NE(at, std::string::npos) << err;
    ASSERT_EQ(std::sscanf(err.c_str() + at, "watch ended: %llu events, %llu lines written, %llu dropped", &events,
                          &written, &dropped),
              3);
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(events, written + dropped);
}

TEST(ProgramSettingsTest, saveThenApplyReadsBackTheSame)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("settings.json").toStdString();
    auto file = saveOutputAndInput(path);
    ASSERT_EQ(file.channels.size(), 2u);
    EXPECT_EQ(file.channels[0].className, "DigitalOutput");
    EXPECT_EQ(file.channels[0].address.channel, 3);
    EXPECT_EQ(file.channels[1].address.serialNumber, kVoltageSerial);
    // Only settable properties, each one of the class.
    for (const auto &c : file.channels)
        for (const auto &[name, value] : c.properties)
            EXPECT_TRUE(tindrel::cli::classByName(c.className)->property(name)->writable()) << name;

    // Change two values, apply, and the channels read them back.
    EXPECT_TRUE(change(file.channels[0], "LEDCurrentLimit", 0.03));
    EXPECT_TRUE(change(file.channels[1], "DataInterval", int64_t{100}));
    std::ofstream(path) << tindrel::settings::writeSettings(file);
    const Result r = run({"apply", path});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(lines(r.out).size(), 2u) << r.out;
    EXPECT_NE(r.out.find("read back the same"), std::string::npos);
}

// Another rig with the same kinds of device under other serial numbers.
constexpr int kOtherLedSerial = 400111;
constexpr int kOtherVoltageSerial = 400509;
const char *const kOtherRig = R"({"devices": [
  {"id": "leds", "deviceId": 16, "class": 2, "sku": "TDR3264_0", "name": "64-Output LED Board", "version": 100,
   "serial": 400111, "channels": [{"class": "DigitalOutput", "subclass": 17, "index": 0, "count": 8}]},
  {"id": "volts", "deviceId": 49, "class": 2, "sku": "TDR4002_0", "name": "Precision Voltage Input Board",
   "version": 100, "serial": 400509, "channels": [{"class": "VoltageInput",
   "ranges": {"Voltage": [-2, 2], "VoltageChangeTrigger": [0, 2]}, "properties": {"VoltageRange": 7}}]}
]})";

TEST(ProgramSettingsTest, savedOnOneRigAppliedOnAnother)
{
    QTemporaryDir dir;
    const QString otherRig = dir.filePath(QStringLiteral("other-rig.json"));
    std::ofstream(otherRig.toStdString()) << kOtherRig;
    const std::string path = dir.filePath("settings.json").toStdString();
    auto file = saveOutputAndInput(path);
    ASSERT_EQ(file.channels.size(), 2u);
    // Values other than where a channel starts, so that applying them shows.
    ASSERT_TRUE(change(file.channels[0], "LEDCurrentLimit", 0.03));
    ASSERT_TRUE(change(file.channels[1], "DataInterval", int64_t{100}));
    std::ofstream(path) << tindrel::settings::writeSettings(file);

    // The saved addresses name no channel of the other rig.
    Result r = run({"apply", path, "--timeout", "300"}, 60000, otherRig);
    EXPECT_EQ(r.status, 7) << r.err << r.out;
    EXPECT_NE(r.err.find("-n " + s(kLedSerial) + " -c 3: not applied"), std::string::npos) << r.err;

    // With --all every channel of each class there takes the entry's values.
    r = run({"apply", path, "--all", "--settle", "1500"}, 60000, otherRig);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    const auto applied = lines(r.out);
    EXPECT_EQ(applied.size(), 9u) << r.out;   // eight outputs and one input
    size_t onLeds = 0, onVoltage = 0;
    for (const auto &l : applied) {
        EXPECT_NE(l.find("properties applied and read back the same"), std::string::npos) << l;
        onLeds += l.find("-n " + s(kOtherLedSerial) + " ") != std::string::npos;
        onVoltage += l.find("-n " + s(kOtherVoltageSerial) + " ") != std::string::npos;
    }
    EXPECT_EQ(onLeds, 8u) << r.out;
    EXPECT_EQ(onVoltage, 1u) << r.out;

    // Or with the addresses rewritten to the other rig's serial numbers.
    file.channels[0].address.serialNumber = kOtherLedSerial;
    file.channels[1].address.serialNumber = kOtherVoltageSerial;
    std::ofstream(path) << tindrel::settings::writeSettings(file);
    r = run({"apply", path}, 60000, otherRig);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    ASSERT_EQ(lines(r.out).size(), 2u) << r.out;
    EXPECT_NE(lines(r.out)[0].find("-n " + s(kOtherLedSerial) + " -c 3"), std::string::npos) << r.out;
    for (const auto &l : lines(r.out))
        EXPECT_NE(l.find("properties applied and read back the same"), std::string::npos) << l;
}

TEST(ProgramSettingsTest, applyReportsWhatCouldNotBeSet)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("bad.json").toStdString();
    tindrel::settings::SettingsFile file;
    tindrel::settings::ChannelSettings c;
    c.className = "DigitalOutput";
    c.address.serialNumber = kLedSerial;
    c.properties = {{"DutyCycle", 3.0}, {"NoSuchProperty", int64_t{1}}, {"State", int64_t{1}}};
    tindrel::settings::ChannelSettings unknown;
    unknown.className = "NoSuchClass";
    tindrel::settings::ChannelSettings absent;
    absent.className = "VoltageInput";
    absent.address.serialNumber = 999999;
    file.channels = {c, unknown, absent};
    std::ofstream(path) << tindrel::settings::writeSettings(file);
    const Result r = run({"apply", path, "--timeout", "300"});
    EXPECT_EQ(r.status, 7);
    EXPECT_NE(r.err.find("setting DutyCycle to 3 failed: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("has no property \"NoSuchProperty\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no channel class \"NoSuchClass\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("-n 999999 -c 0: not applied"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("1 of 3 properties applied"), std::string::npos) << r.out;

    std::ofstream(path) << "{ not json";
    const Result broken = run({"apply", path});
    EXPECT_EQ(broken.status, 6);
    EXPECT_NE(broken.err.find("line 1, column"), std::string::npos) << broken.err;
    EXPECT_EQ(run({"apply", dir.filePath("missing.json").toStdString()}).status, 6);
}

TEST(ProgramSettingsTest, applyAllSetsEveryChannelOfTheClass)
{
    int voltageInputs = 0;
    for (const auto &c : listedChannels())
        voltageInputs += c["class"] == "VoltageInput";
    ASSERT_GT(voltageInputs, 1);
    QTemporaryDir dir;
    const std::string path = dir.filePath("all.json").toStdString();
    tindrel::settings::SettingsFile file;
    tindrel::settings::ChannelSettings c;
    c.className = "VoltageInput";
    c.properties = {{"DataInterval", int64_t{500}}};
    file.channels = {c};
    std::ofstream(path) << tindrel::settings::writeSettings(file);
    const Result r = run({"apply", path, "--all", "--settle", "1500"});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(lines(r.out).size(), static_cast<size_t>(voltageInputs)) << r.out;
    for (const auto &l : lines(r.out))
        EXPECT_NE(l.find("1 of 1 properties applied"), std::string::npos) << l;
}

TEST(ProgramSettingsTest, saveAllWritesEveryChannelOfTheClassesNamed)
{
    size_t inputs = 0;
    for (const auto &c : listedChannels())
        inputs += c["class"] == "DigitalInput" && c["address"]["remote"] == false;
    const Result r = run({"save", "--all", "DigitalInput", "--local", "--settle", "1500"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string problem;
    const auto file = tindrel::settings::readSettings(r.out, &problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->channels.size(), inputs);
    std::set<std::tuple<int, int, int, bool>> addresses;
    for (const auto &c : file->channels) {
        EXPECT_EQ(c.className, "DigitalInput");
        EXPECT_FALSE(c.address.remote);
        addresses.insert({c.address.serialNumber, c.address.hubPort, c.address.channel, c.address.hubPortDevice});
    }
    EXPECT_EQ(addresses.size(), inputs);   // each channel once
    EXPECT_EQ(run({"save", "--all", "DigitalInput", "-n", "5"}).status, 2);
}

TEST(ProgramUpgradeTest, upgradesEveryDeviceWithANewerImageAndSummarises)
{
    const Result dry = run({"upgrade", "--dry-run", "--local", "--settle", "1500"}, 120000);
    ASSERT_EQ(dry.status, 0) << dry.err;
    std::vector<std::string> due;
    for (const auto &l : lines(dry.out)) {
        int from = 0, to = 0;
        const size_t at = l.find(": version ");
        if (at == std::string::npos || std::sscanf(l.c_str() + at, ": version %d -> %d", &from, &to) != 2)
            continue;
        due.push_back(l.substr(2, at - 2));
        EXPECT_GE(to, from) << l;
    }
    // The shipped images include one with another device's image inside and
    // a damaged one: their devices refuse them; every other one takes its image.
    const std::string wrongImage = "Acidity Probe Board (serial 300505)";
    const std::string damagedImage = "Humidity and Temperature Module (serial " + s(kHubSerial) + ", hub port 4)";
    ASSERT_EQ(std::count(due.begin(), due.end(), wrongImage), 1) << dry.out;
    ASSERT_EQ(std::count(due.begin(), due.end(), damagedImage), 1) << dry.out;
    ASSERT_GT(due.size(), 2u) << dry.out;

    // Every device is tried, one after another.
    const Result r = run({"upgrade", "--local", "--settle", "1500"}, 280000);
    EXPECT_EQ(r.status, 9) << r.err;
    const size_t summary = r.out.find("\nSummary:\n");
    ASSERT_NE(summary, std::string::npos) << r.out;
    const auto rows = lines(r.out.substr(summary + 10));
    ASSERT_EQ(rows.size(), due.size() + 1) << r.out;
    for (size_t i = 0; i < due.size(); ++i) {
        const std::string &row = rows[i];
        EXPECT_EQ(row.rfind("  " + due[i] + " ", 0), 0u) << row;
        const bool refused = due[i] == wrongImage || due[i] == damagedImage;
        EXPECT_TRUE(row.ends_with(refused ? "  failed" : "  upgraded")) << row;
    }
    EXPECT_EQ(rows.back(), s(static_cast<int>(due.size()) - 2) + " upgraded, 2 failed");

    // Each refusal is the device's own reason, on every attempt.
    const auto section = [&](const std::string &device) {
        const size_t from = r.err.find("] upgrading " + device + " ");
        const size_t to = from == std::string::npos ? from : r.err.find("\n[", from);
        return from == std::string::npos ? std::string() : r.err.substr(from, to - from);
    };
    const std::string sending = "Error sending firmware to device: ";
    for (const auto &[device, rc] :
         {std::pair{wrongImage, TINDREL_EWRONGDEVICE}, {damagedImage, TINDREL_EINVALIDPACKET}}) {
        const std::string text = section(device);
        size_t reasons = 0;
        for (size_t at = text.find(sending + Tindrel_strerror(rc)); at != std::string::npos;
             at = text.find(sending + Tindrel_strerror(rc), at + 1))
            ++reasons;
        EXPECT_EQ(reasons, 4u) << device << "\n" << text;
        EXPECT_NE(text.find("Fail!"), std::string::npos) << text;
    }
    const auto taken = std::find_if(due.begin(), due.end(),
                                    [&](const std::string &d) { return d != wrongImage && d != damagedImage; });
    EXPECT_EQ(section(*taken).find("Error"), std::string::npos) << section(*taken);
    EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
}

// Devices of network servers: upgraded through their server, the one on a
// server too old for its image refused with the reason. The local twin of
// one of them (same serial number) is of another family, so an image sent
// to it in the remote one's place would be refused.
TEST(ProgramUpgradeTest, remoteDevicesAreUpgradedThroughTheirServerAndAnOldServersRefused)
{
    QTemporaryDir dir;
    const QString rig = dir.filePath(QStringLiteral("servers.json"));
    std::ofstream(rig.toStdString()) << R"({"computers": [
  {"id": "lab", "name": "lab", "uniqueName": "lab-1", "host": "lab.local", "address": "192.168.7.20", "port": 5661,
   "type": 2, "version": [2, 3]},
  {"id": "old", "name": "old", "uniqueName": "old-1", "host": "old.local", "address": "192.168.7.21", "port": 5661,
   "type": 2, "version": [2, 2]}],
 "devices": [
  {"id": "local-io", "deviceId": 17, "class": 2, "sku": "TDR3101_0", "name": "Mixed Signal I/O Board", "version": 901,
   "serial": 300222, "firmwareUpgradeString": "TDR3101", "channels": [{"class": "DigitalInput"}]},
  {"id": "lab-io", "server": "lab", "deviceId": 17, "class": 2, "sku": "TDR3100_2", "name": "Mixed Signal I/O Board",
   "version": 901, "serial": 300222, "firmwareUpgradeString": "TDR3100", "channels": [{"class": "DigitalInput"}]},
  {"id": "lab-relays", "server": "lab", "deviceId": 123, "class": 2, "sku": "TDR3923_0",
   "name": "Eight-Relay Network Board", "version": 150, "serial": 300448, "firmwareUpgradeString": "TDR3923",
   "channels": [{"class": "DigitalOutput", "count": 8}]},
  {"id": "old-relays", "server": "old", "deviceId": 123, "class": 2, "sku": "TDR3923_0",
   "name": "Eight-Relay Network Board", "version": 150, "serial": 300446, "firmwareUpgradeString": "TDR3923",
   "channels": [{"class": "DigitalOutput", "count": 8}]}]})";

    const Result local = run({"upgrade", "--dry-run", "--local", "--settle", "1500"}, 120000, rig);
    EXPECT_EQ(local.status, 0) << local.err;
    EXPECT_NE(local.out.find("Every device has the newest shipped firmware (1 devices checked)"), std::string::npos)
        << local.out;

    const Result r = run({"upgrade", "--settle", "1500"}, 280000, rig);
    EXPECT_EQ(r.status, 9) << r.err;
    const size_t summary = r.out.find("\nSummary:\n");
    ASSERT_NE(summary, std::string::npos) << r.out;
    const auto rows = lines(r.out.substr(summary + 10));
    ASSERT_EQ(rows.size(), 4u) << r.out;
    EXPECT_EQ(rows[0], "  Eight-Relay Network Board (serial 300448, on lab)            150 -> 200  upgraded");
    EXPECT_EQ(rows[1], "  Mixed Signal I/O Board (serial 300222, on lab)               901 -> 905  upgraded");
    EXPECT_EQ(rows[2], "  Eight-Relay Network Board (serial 300446, on old)            150 -> 200  refused");
    EXPECT_EQ(rows[3], "2 upgraded, 1 failed");
    EXPECT_NE(r.err.find("tindrel: Eight-Relay Network Board (serial 300446, on old): The Tindrel Network Server "
                         "and libraries must be upgraded (on the remote machine)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("upgrading Eight-Relay Network Board (serial 300446"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
}
