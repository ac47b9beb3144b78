#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <variant>

#include "FakeSim.h"
#include "TempDir.h"
#include "control_protocol.h"

using namespace tindrel::control;

namespace {

class Protocol : public ::testing::Test {
protected:
    void SetUp() override { fakesim::reset(); }
    std::string handle(std::string_view line) { return handleLine(line, fakesim::table()); }
};

std::string parseFailure(std::string_view line)
{
    auto parsed = parseRequest(line);
    if (const auto *error = std::get_if<ProtocolError>(&parsed))
        return error->detail;
    return "(parsed)";
}

}   // namespace

TEST(ProtocolEncoding, ArgumentsSurviveEncodingWhateverTheyHold)
{
    for (const std::string raw : {"plain", "with space", "100%", "two\nlines", "tab\t", "caf\xC3\xA9", "%41"}) {
        const std::string encoded = encodeArg(raw);
        EXPECT_EQ(encoded.find_first_of(" \n\t"), std::string::npos) << raw;
        EXPECT_EQ(decodeArg(encoded), raw);
    }
    EXPECT_EQ(decodeArg("a%20b%2fc"), "a b/c");
    for (const char *bad : {"%", "%4", "%G1", "%00", "x%2"})
        EXPECT_FALSE(decodeArg(bad).has_value()) << bad;
    // A raw NUL would cut the argument short once it is handed on as a C
    // string, so that the request means something else than it says.
    EXPECT_FALSE(decodeArg(std::string("sen\0sor", 7)).has_value());
    EXPECT_EQ(parseFailure(std::string("detach led16\0x", 14)), "badly encoded <deviceId>");
}

TEST(ProtocolParse, RefusesMalformedRequestsWithAReason)
{
    struct Case {
        std::string line;
        const char *expected;   // part of the detail
    };
    const Case cases[] = {
        {"", "empty request"},
        {"   ", "empty request"},
        {"fly away", "unknown command 'fly'"},
        {"detach", "usage: detach <deviceId>"},
        {"detach a b", "usage: detach <deviceId>"},
        {"list extra", "usage: list"},
        {"error dev six 0 1 text", "<channelClass> must be a 32-bit integer, not 'six'"},
        {"error dev 6 0 99999999999 text", "<code> must be a 32-bit integer"},
        {"set dev 29 0 Voltage 1,5", "<value> must be a finite number, not '1,5'"},
        {"set dev 29 0 Voltage nan", "<value> must be a finite number"},
        {"set dev 29 0 Voltage inf", "<value> must be a finite number"},
        {"detach %G0", "badly encoded <deviceId>"},
        {"detach " + std::string(kMaxRequestLine, 'x'), "request longer than 4096 bytes"},
    };
    for (const Case &c : cases)
        EXPECT_NE(parseFailure(c.line).find(c.expected), std::string::npos)
            << "line '" << c.line.substr(0, 60) << "' gave '" << parseFailure(c.line) << "'";
}

TEST(ProtocolParse, ConvertsArgumentsByKind)
{
    auto parsed = parseRequest("error hub%201 0x6 -1 0x100F Motor  stalled%0A now\r");
    ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << parseFailure("error hub%201 0x6 -1 0x100F x");
    const Request &request = std::get<Request>(parsed);
    EXPECT_STREQ(request.command->name, "error");
    ASSERT_EQ(request.args.size(), 5u);
    EXPECT_EQ(request.args[0].text, "hub 1");
    EXPECT_EQ(request.args[1].integer, 6);
    EXPECT_EQ(request.args[2].integer, -1);
    EXPECT_EQ(request.args[3].integer, 4111);
    EXPECT_EQ(request.args[4].text, "Motor stalled\n now") << "rest words joined by one space";

    auto noText = parseRequest("error dev 6 0 5");
    ASSERT_TRUE(std::holds_alternative<Request>(noText));
    EXPECT_EQ(std::get<Request>(noText).args[4].text, "");

    auto set = parseRequest("set dev 29 0 Voltage -1.25e1");
    ASSERT_TRUE(std::holds_alternative<Request>(set));
    EXPECT_DOUBLE_EQ(std::get<Request>(set).args[4].number, -12.5);
}

TEST(ProtocolReply, RepliesAreSingleLinesAndParseBack)
{
    EXPECT_EQ(okReply(), "ok");
    EXPECT_EQ(okReply("{\n  \"a\": 1\n}"), "ok {   \"a\": 1 }");
    EXPECT_EQ(errorReply(2, "no device\n'x'"), "error 2 no device 'x'");

    const auto ok = parseReply("ok [1, 2]\n");
    ASSERT_TRUE(ok.has_value());
    EXPECT_TRUE(ok->ok);
    EXPECT_EQ(ok->text, "[1, 2]");
    const auto error = parseReply("error 52 not attached");
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->ok);
    EXPECT_EQ(error->code, 52);
    EXPECT_EQ(error->text, "not attached");
    for (const char *bad : {"", "okay", "error", "error x y", "error 0 fine", "OK"})
        EXPECT_FALSE(parseReply(bad).has_value()) << bad;
}

TEST(ProtocolReply, UsageListsEveryCommand)
{
    const std::string usage = commandUsage();
    for (const CommandSpec &command : commandTable()) {
        EXPECT_NE(usage.find(std::string("  ") + command.name), std::string::npos) << command.name;
        EXPECT_NE(usage.find(command.summary), std::string::npos) << command.name;
    }
    EXPECT_NE(usage.find("error <deviceId> <channelClass> <channelIndex> <code> <text...>"), std::string::npos);
}

TEST_F(Protocol, EachCommandReachesItsCall)
{
    const std::pair<const char *, const char *> cases[] = {
        {"attach dev1", "attach dev1"},
        {"detach dev%201", "detach dev 1"},
        {"add-server remote", "add-server remote"},
        {"remove-server remote", "remove-server remote"},
        {"error dev1 6 2 4113 bad connection", "error dev1 6 2 4113 [bad connection]"},
        {"set dev1 5 0 State 1", "set dev1 5 0 State 1.000000"},
        {"supply guard1 0 36 90.5", "supply guard1 0 36.000000 90.500000"},
        {"load /tmp/rig.json", "load /tmp/rig.json"},
        {"fail-upgrade dev1 4", "upgrade-fault dev1 1 4"},
        {"unplug-upgrade dev1", "upgrade-fault dev1 2 1"},
        {"motor bldc108 0 hold 1", "motor bldc108 0 hold 1.000000"},
        {"motor dcmotor37 1 load -0.25", "motor dcmotor37 1 load -0.250000"},
        {"shaft enc1 0 -720.5", "shaft enc1 0 -720.500000"},
        {"touch pad1 1", "set pad1 14 1 TouchValue 0.900000"},
        {"release pad1 1", "set pad1 14 1 TouchValue 0.000000"},
        {"orient spatial100 10 -5 90 0", "orient spatial100 10.000000 -5.000000 90.000000 0.000000"},
        {"place-tag rfid14", "set rfid14 24 0 TagPresent 1.000000"},
        {"remove-tag rfid14", "set rfid14 24 0 TagPresent 0.000000"},
        {"lose-fix gps50", "set gps50 10 0 PositionFixState 0.000000"},
        {"regain-fix gps50", "set gps50 10 0 PositionFixState 1.000000"},
        {"dict-set dict-local room kitchen north", "dict-set dict-local 0 room kitchen north"},
        {"dict-set dict-local room", "dict-set dict-local 0 room "},
        {"dict-remove dict-local room", "dict-remove dict-local 0 room"},
        {"fail-calls 0.05 -1", "fail-calls 0.050000 4294967295"},
    };
    for (const auto &[line, call] : cases) {
        fakesim::reset();
        EXPECT_EQ(handle(line), "ok") << line;
        EXPECT_EQ(fakesim::calls(), std::vector<std::string>{call}) << line;
    }
}

TEST_F(Protocol, FailuresCarryCodeAndDetail)
{
    fakesim::state().result = TINDREL_ENOENT;
    fakesim::state().lastError = "no device 'ghost' in the rig";
    EXPECT_EQ(handle("detach ghost"), "error 2 no device 'ghost' in the rig");

    fakesim::state().lastError.clear();
    EXPECT_EQ(handle("attach ghost"), "error 2 the call failed");

    // A rig load reports the parser's message rather than the last error.
    fakesim::state().result = TINDREL_EINVALIDARG;
    fakesim::state().lastError = "generic";
    fakesim::state().loadError = "/tmp/rig.json:3:7: expected a value";
    EXPECT_EQ(handle("load /tmp/rig.json"), "error 21 /tmp/rig.json:3:7: expected a value");

    EXPECT_EQ(handle("bogus"), "error 21 unknown command 'bogus'");
    EXPECT_TRUE(fakesim::calls().size() == 3u) << "malformed requests call nothing";
}

TEST_F(Protocol, ListGrowsItsBufferAndStaysOneLine)
{
    std::string big = "{\n\"devices\": [";
    for (int i = 0; i < 20000; ++i)
        big += "\n  {\"id\": \"dev" + std::to_string(i) + "\"},";
    big += "\n  {}]\n}";
    fakesim::state().listJson = big;
    const std::string reply = handle("list");
    ASSERT_EQ(reply.rfind("ok {", 0), 0u);
    EXPECT_EQ(reply.find('\n'), std::string::npos);
    EXPECT_EQ(reply.size(), big.size() + 3);
    EXPECT_NE(reply.find("\"id\": \"dev19999\""), std::string::npos);
}

TEST_F(Protocol, BusLogPrintsEveryTransferOnOneLine)
{
    fakesim::state().busLog = "SPI sent 9F reply 7D 1E 83 10\nI2C 0x33 no answer\n";
    EXPECT_EQ(handle("bus-log spi160"), "ok SPI sent 9F reply 7D 1E 83 10 | I2C 0x33 no answer");
    EXPECT_EQ(fakesim::calls().back(), "bus-log spi160");

    fakesim::state().busLog.clear();
    EXPECT_EQ(handle("bus-log spi160"), "ok") << "an adapter nothing went over";

    // A long log grows the buffer and loses no transfer.
    std::string longLog;
    for (int i = 0; i < 2000; ++i)
        longLog += "SPI sent " + std::to_string(i) + "\n";
    fakesim::state().busLog = longLog;
    const std::string reply = handle("bus-log spi160");
    EXPECT_EQ(reply.rfind("ok SPI sent 0 | SPI sent 1 | ", 0), 0u);
    const std::string tail = "SPI sent 1998 | SPI sent 1999";
    EXPECT_EQ(reply.substr(reply.size() - tail.size()), tail);
    EXPECT_EQ(reply.size(), 3 + longLog.size() - 1 + 2 * 1999) << "every newline but the last becomes \" | \"";

    fakesim::state().result = TINDREL_ENOENT;
    fakesim::state().lastError = "No device \"ghost\" in the rig";
    EXPECT_EQ(handle("bus-log ghost"), "error 2 No device \"ghost\" in the rig");

    SimCalls without = fakesim::table();
    without.getBusLog = nullptr;
    EXPECT_EQ(handleLine("bus-log spi160", without).rfind("error 20 ", 0), 0u);
    EXPECT_EQ(handle("bus-log").rfind("error 21 ", 0), 0u) << "the adapter must be named";
}

TEST_F(Protocol, LcdImageWritesTheGreyLevelsAsAPlainGreyMap)
{
    TempDir dir;
    const std::string file = (dir.path() / "lcd.pgm").string();
    auto slurp = [](const std::string &path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    fakesim::state().picture = {0, 128, 255, 7, 64, 200};
    fakesim::state().pictureWidth = 3;
    fakesim::state().pictureHeight = 2;
    EXPECT_EQ(handle("lcd-image lcd1 0 " + encodeArg(file)), "ok 3x2");
    EXPECT_EQ(slurp(file), "P2\n3 2\n255\n0 128 255\n7 64 200\n");
    EXPECT_EQ(fakesim::calls().back(), "lcd-picture lcd1 0");

    // A picture smaller than the size it claims writes no file.
    const std::string shortFile = (dir.path() / "short.pgm").string();
    fakesim::state().pictureHeight = 3;
    EXPECT_EQ(handle("lcd-image lcd1 0 " + encodeArg(shortFile)).rfind("error ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(shortFile));

    fakesim::state().result = TINDREL_ENOENT;
    fakesim::state().lastError = "Device \"lcd1\" has no channel of class 11 with index 4";
    EXPECT_EQ(handle("lcd-image lcd1 4 " + encodeArg(file)),
              "error 2 Device \"lcd1\" has no channel of class 11 with index 4");
}

TEST_F(Protocol, GetPrintsTheValueExactly)
{
    fakesim::state().value = 0.1;
    EXPECT_EQ(handle("get dev 30 0 Voltage"), "ok 0.1");
    fakesim::state().value = -2.5e-7;
    EXPECT_EQ(handle("get dev 30 0 Voltage"), "ok -2.5e-07");
}

TEST_F(Protocol, ArbitraryBytesNeverBreakTheParser)
{
    // Lines made of the characters that matter to the parser, plus random bytes.
    const std::string alphabet = "% 0123456789aAfFxX-+.e\t\r\xff\x01"
                                 "detachsrorlistget";
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const std::string prefixes[] = {"", "error ", "set ", "get ", "detach ", "load "};
    for (int round = 0; round < 3000; ++round) {
        std::string line = prefixes[next() % std::size(prefixes)];
        const size_t length = next() % 80;
        for (size_t i = 0; i < length; ++i)
            line.push_back(next() % 4 == 0 ? static_cast<char>(next() % 256) : alphabet[next() % alphabet.size()]);
        const std::string reply = handle(line);
        EXPECT_TRUE(reply == "ok" || reply.rfind("ok ", 0) == 0 || reply.rfind("error ", 0) == 0) << reply;
        EXPECT_EQ(reply.find('\n'), std::string::npos);
    }
}
