#include <gtest/gtest.h>

#include "control_client.h"

using namespace tindrel::control;

namespace {

CommandLine parse(std::vector<std::string> args) { return parseCommandLine(args, "/home/me/rigs"); }

}   // namespace

TEST(ToolCommandLine, BuildsTheRequestLine)
{
    struct Case {
        std::vector<std::string> args;
        const char *requestLine;
    };
    const Case cases[] = {
        {{"list"}, "list"},
        {{"detach", "hub 1"}, "detach hub%201"},
        {{"error", "dev", "6", "0", "0x100F", "Motor", "stalled"}, "error dev 6 0 0x100F Motor stalled"},
        {{"set", "dev", "29", "0", "Voltage", "-1.5"}, "set dev 29 0 Voltage -1.5"},
        {{"load", "small.json"}, "load /home/me/rigs/small.json"},
        {{"load", "/abs/rig.json"}, "load /abs/rig.json"},
        {{"--", "list"}, "list"},
    };
    for (const Case &c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.kind, CommandLine::Kind::Run) << c.requestLine << ": " << line.error;
        EXPECT_EQ(line.requestLine, c.requestLine);
    }
}

TEST(ToolCommandLine, ReadsTheSocketOptions)
{
    const CommandLine bySocket = parse({"--socket", "/run/x.sock", "list"});
    EXPECT_EQ(bySocket.kind, CommandLine::Kind::Run);
    EXPECT_EQ(bySocket.socketPath, "/run/x.sock");
    const CommandLine byPid = parse({"--pid=77", "list"});
    EXPECT_EQ(byPid.kind, CommandLine::Kind::Run);
    EXPECT_EQ(byPid.pid, 77);
    EXPECT_EQ(parse({"list", "--help"}).kind, CommandLine::Kind::Usage) << "options come before the command";
    EXPECT_EQ(parse({"--help"}).kind, CommandLine::Kind::Help);
    EXPECT_EQ(parse({"--pid", "1", "-h"}).kind, CommandLine::Kind::Help);
}

TEST(ToolCommandLine, BadArgumentsSayWhatIsWrong)
{
    struct Case {
        std::vector<std::string> args;
        const char *expected;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"--pid", "1"}, "no command given"},
        {{"--socket"}, "--socket needs a value"},
        {{"--socket="}, "--socket needs a path"},
        {{"--pid", "abc", "list"}, "--pid needs a process ID, not 'abc'"},
        {{"--pid", "-3", "list"}, "--pid needs a process ID"},
        {{"--socket", "/x", "--pid", "3", "list"}, "either --socket or --pid"},
        {{"--verbose", "list"}, "unknown option --verbose"},
        {{"plug", "dev"}, "unknown command 'plug'"},
        {{"detach"}, "usage: detach <deviceId>"},
        {{"set", "dev", "29", "0", "Voltage", "high"}, "<value> must be a finite number, not 'high'"},
        {{"error", "dev", "x", "0", "1"}, "<channelClass> must be a 32-bit integer"},
    };
    EXPECT_NE(parseCommandLine({"load", "rig.json"}, "").error.find("absolute path"), std::string::npos);
    for (const Case &c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.kind, CommandLine::Kind::Usage) << c.expected;
        EXPECT_NE(line.error.find(c.expected), std::string::npos) << "got '" << line.error << "'";
    }
}
