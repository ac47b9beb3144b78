#include <gtest/gtest.h>

#include "pconf_text.h"

using tindrel::pconfIsValidUtf8;
using tindrel::pconfParseInteger;
using tindrel::pconfSplitKey;

TEST(PconfText, SplitsDottedKeysAndRefusesEmptyParts)
{
    EXPECT_EQ(pconfSplitKey("tindrel.www.network.ipv4.port"),
              (std::vector<std::string>{"tindrel", "www", "network", "ipv4", "port"}));
    EXPECT_EQ(pconfSplitKey("single"), (std::vector<std::string>{"single"}));
    EXPECT_EQ(pconfSplitKey("with space.x"), (std::vector<std::string>{"with space", "x"}));
    for (const char *bad : {"", ".", "a.", ".a", "a..b"})
        EXPECT_FALSE(pconfSplitKey(bad).has_value()) << bad;
}

TEST(PconfText, IntegersAreWholeDecimalNumbers)
{
    EXPECT_EQ(pconfParseInteger("0"), 0);
    EXPECT_EQ(pconfParseInteger("-2147483648"), -2147483648LL);
    EXPECT_EQ(pconfParseInteger("\t77\n"), 77);
    EXPECT_EQ(pconfParseInteger("+9"), 9);
    for (const char *bad : {"", " ", "+", "-", "+-1", "1 2", "0x10", "1e3", "12a", "99999999999999999999"})
        EXPECT_FALSE(pconfParseInteger(bad).has_value()) << bad;
}

TEST(PconfText, Utf8Check)
{
    EXPECT_TRUE(pconfIsValidUtf8("plain ascii"));
    EXPECT_TRUE(pconfIsValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    for (const char *bad : {"\xFF", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x9C"})
        EXPECT_FALSE(pconfIsValidUtf8(bad)) << bad;
}
