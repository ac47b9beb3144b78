// The device server's protocol: what is encoded decodes to the same, and
// whatever else arrives is refused as a whole without reading past it.
#include "wire.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tsim::wire;

namespace {

std::vector<Message> decodeAll(const std::string &bytes, std::string *error = nullptr, size_t step = 0)
{
    Decoder d;
    std::vector<Message> out;
    for (size_t i = 0; i < bytes.size(); i += step ? step : bytes.size()) {
        const size_t n = std::min(step ? step : bytes.size(), bytes.size() - i);
        d.feed(bytes.data() + i, n);
        while (auto m = d.next())
            out.push_back(std::move(*m));
    }
    if (error)
        *error = d.error();
    return out;
}

Event sampleEvent()
{
    Event e;
    e.key = 7;
    e.slot = 4;
    e.sentNs = 123456789;
    for (int i = 0; i < 16; ++i)
        e.args.d[i] = i * 0.5 - 3;
    e.args.ts = 1234.5;
    e.args.i[0] = -2;
    e.args.i[3] = 99;
    e.args.u64 = 1ull << 40;
    e.args.s[0] = "tag \"A\"";
    e.args.s[1] = std::string("nul\0inside", 10);
    e.args.raw = {9000, 4500, 560};
    e.args.unit = {TINDREL_UNIT_LUX, "lux", "lx"};
    e.args.ir.bitCount = 32;
    e.args.ir.dutyCycle = 0.33;
    std::memcpy(e.args.ir.toggleMask, "0000ffff", 9);
    return e;
}

TEST(Wire, EveryMessageSurvivesTheTripAlsoFedAByteAtATime)
{
    DeviceRecord dev;
    dev.key = 3;
    dev.parent = 1;
    dev.sku = "TDR1140_0";
    dev.name = "Bench Module";
    dev.serial = 730001;
    dev.hubPortDevice = true;
    ChannelRecord ch;
    ch.key = 9;
    ch.device = 3;
    ch.cls = TINDREL_CHCLASS_VOLTAGEINPUT;
    ch.index = 2;
    ch.name = "Voltage Input";
    ch.unsupported = {3, 4};
    const std::vector<Message> sent = {Hello{kMagic, kVersion, "panel", "pw"},
                                       Open{1, 9},
                                       Close{9},
                                       Set{2, 9, 0, 20.0},
                                       Ping{77, true},
                                       Welcome{"Bench", "Bench@vm", "vm", 2, 3},
                                       Denied{TINDREL_EACCESS, "refused"},
                                       dev,
                                       ch,
                                       ChannelGone{9},
                                       Attachment{9, true},
                                       Reply{2, TINDREL_EINVALIDARG, "Value 0 is out of range"},
                                       State{9, {1, 2, 3}, {0, 0, 0}, {5, 5, 5}},
                                       sampleEvent()};
    std::string bytes;
    for (const Message &m : sent)
        encode(m, bytes);
    for (size_t step : {size_t{0}, size_t{1}, size_t{7}}) {
        std::string error;
        const std::vector<Message> got = decodeAll(bytes, &error, step);
        ASSERT_EQ(got.size(), sent.size()) << error;
        EXPECT_EQ(error, "");
        EXPECT_EQ(std::get<DeviceRecord>(got[7]), dev);
        EXPECT_EQ(std::get<ChannelRecord>(got[8]), ch);
        EXPECT_EQ(std::get<Set>(got[3]).value, 20.0);
        EXPECT_EQ(std::get<State>(got[12]).maxs, (std::vector<double>{5, 5, 5}));
        const Event &e = std::get<Event>(got[13]);
        const Event want = sampleEvent();
        EXPECT_EQ(std::memcmp(e.args.d, want.args.d, sizeof e.args.d), 0);
        EXPECT_EQ(e.args.s[1], want.args.s[1]);
        EXPECT_EQ(e.args.raw, want.args.raw);
        EXPECT_STREQ(e.args.unit.symbol, "lx");
        EXPECT_EQ(e.args.unit.unit, TINDREL_UNIT_LUX);
        EXPECT_STREQ(e.args.ir.toggleMask, "0000ffff");
        EXPECT_EQ(e.sentNs, want.sentNs);
    }
}

TEST(Wire, MalformedFramesAreRefusedAndNothingAfterThemIsRead)
{
    std::string good;
    encode(Ping{1, false}, good);
    const auto refused = [&](std::string bytes, const std::string &why) {
        bytes += good;   // a good frame after the bad one is never reached
        std::string error;
        const auto got = decodeAll(bytes, &error);
        EXPECT_TRUE(got.empty()) << why;
        EXPECT_NE(error, "") << why;
        return error;
    };
    // An HTTP request read as a length is far too long.
    EXPECT_NE(refused("GET / HTTP/1.1\r\n\r\n", "text").find("frame of"), std::string::npos);
    refused(std::string("\0\0\0\0\x05", 5), "empty frame");
    EXPECT_NE(refused(std::string("\x01\0\0\0\x63", 5), "unknown type").find("unknown type"), std::string::npos);
    // A string longer than its frame, a count beyond the limit, bytes left over.
    std::string hello;
    encode(Hello{kMagic, kVersion, "x", "y"}, hello);
    std::string longString = hello;
    std::memset(&longString[11], 0x7f, 3);
    refused(longString, "string length");
    std::string state;
    encode(State{1, {1}, {1}, {1}}, state);
    std::string tooMany = state;
    tooMany[9] = static_cast<char>(0xff);
    tooMany[10] = static_cast<char>(0xff);
    refused(tooMany, "value count");
    std::string extra = good;
    extra[0] = static_cast<char>(extra[0] + 1);
    extra.push_back('\0');
    EXPECT_NE(refused(extra, "trailing").find("after the message"), std::string::npos);
    // Values and limits of different lengths cannot be one channel's state.
    std::string uneven;
    encode(State{1, {1, 2}, {1}, {1, 2}}, uneven);
    refused(uneven, "uneven state");
    // A flag is 0 or 1.
    std::string flag = good;
    flag.back() = 2;
    refused(flag, "flag");
    // A unit code outside the unit list.
    std::string event;
    encode(sampleEvent(), event);
    const std::string lux("\x0e\0\0\0\x03\0\0\0lux", 11);
    const size_t at = event.find(lux);
    ASSERT_NE(at, std::string::npos);
    std::string unit = event;
    unit.replace(at, 4, std::string("\x0a\x00\x29\x00", 4));
    EXPECT_NE(refused(unit, "unit").find("a unit of 2686986"), std::string::npos);
    unit.replace(at, 4, std::string("\xff\xff\xff\xff", 4));
    EXPECT_NE(refused(unit, "negative unit").find("a unit of -1"), std::string::npos);
}

TEST(Wire, AFrameCutShortWaitsForTheRestRatherThanFailing)
{
    std::string bytes;
    encode(sampleEvent(), bytes);
    Decoder d;
    d.feed(bytes.data(), bytes.size() - 1);
    EXPECT_FALSE(d.next());
    EXPECT_EQ(d.error(), "");
    d.feed(bytes.data() + bytes.size() - 1, 1);
    EXPECT_TRUE(d.next());
    EXPECT_EQ(d.buffered(), 0u);
}

}   // namespace
