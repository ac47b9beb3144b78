#include "OpenSettings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

using namespace tindrel;

namespace {

QStringList args(std::initializer_list<const char *> words)
{
    QStringList out{QStringLiteral("/usr/bin/tindrelexample")};
    for (const char *w : words)
        out.append(QString::fromLatin1(w));
    return out;
}

OpenSettings parsed(std::initializer_list<const char *> words, OpenSettings start = {})
{
    applyArguments(start, args(words));
    return start;
}

}   // namespace

TEST(LeadingInt, ReadsOptionallySignedLeadingDigits)
{
    EXPECT_EQ(leadingInt(u"12345"), 12345);
    EXPECT_EQ(leadingInt(u"-7"), -7);
    EXPECT_EQ(leadingInt(u"+3"), 3);
    EXPECT_EQ(leadingInt(u"42abc"), 42);
    EXPECT_EQ(leadingInt(u"abc"), 0);
    EXPECT_EQ(leadingInt(u""), 0);
    EXPECT_EQ(leadingInt(u"-"), 0);
    EXPECT_EQ(leadingInt(u" 5"), 0);
    EXPECT_EQ(leadingInt(u"2147483647"), 2147483647);
    EXPECT_EQ(leadingInt(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(leadingInt(u"99999999999999999999"), 0) << "an overflowing number must not wrap";
}

TEST(OpenSettingsArguments, BareAndDashFlagWordsAreTheSame)
{
    const OpenSettings bare =
        parsed({"n", "5", "v", "2", "c", "1", "h", "r", "s", "srv", "p", "pw", "L", "lab", "l", "/tmp/x.log"});
    const OpenSettings dashed =
        parsed({"-n", "5", "-v", "2", "-c", "1", "-h", "-r", "-s", "srv", "-p", "pw", "-L", "lab", "-l", "/tmp/x.log"});
    EXPECT_EQ(bare, dashed);
    EXPECT_EQ(bare.serialNumber, 5);
    EXPECT_EQ(bare.hubPort, 2);
    EXPECT_EQ(bare.channel, 1);
    EXPECT_TRUE(bare.hubPortDevice);
    EXPECT_TRUE(bare.remote);
    EXPECT_EQ(bare.serverName, QStringLiteral("srv"));
    EXPECT_EQ(bare.password, QStringLiteral("pw"));
    EXPECT_EQ(bare.label, QStringLiteral("lab"));
    EXPECT_EQ(bare.logFile, QStringLiteral("/tmp/x.log"));
}

TEST(OpenSettingsArguments, ArgumentsOverrideDefaultsAndUnknownWordsAreSkipped)
{
    OpenSettings start;
    start.serialNumber = 100;
    start.channel = 3;
    const OpenSettings s = parsed({"DigitalOutput", "--verbose", "n", "200", "x"}, start);
    EXPECT_EQ(s.serialNumber, 200);
    EXPECT_EQ(s.channel, 3);
}

TEST(OpenSettingsArguments, ValueWordIsExaminedInTurnAndTrailingFlagIsIgnored)
{
    // "s r": "r" is the server name and then also the remote flag.
    const OpenSettings s = parsed({"s", "r"});
    EXPECT_EQ(s.serverName, QStringLiteral("r"));
    EXPECT_TRUE(s.remote);

    OpenSettings start;
    start.serialNumber = 9;
    const OpenSettings trailing = parsed({"c", "2", "n"}, start);
    EXPECT_EQ(trailing.serialNumber, 9);
    EXPECT_EQ(trailing.channel, 2);

    EXPECT_EQ(parsed({"n", "abc"}).serialNumber, 0);
    // Case matters: "l" is the log file, "L" the label.
    const OpenSettings cased = parsed({"L", "a"});
    EXPECT_EQ(cased.label, QStringLiteral("a"));
    EXPECT_FALSE(cased.logFile.has_value());
}

TEST(OpenSettingsArguments, ServerImpliesRemoteAndZeroSerialMeansAny)
{
    OpenSettings s;
    EXPECT_FALSE(s.opensRemotely());
    EXPECT_EQ(s.librarySerialNumber(), -1);
    s.serverName = QStringLiteral("srv");
    EXPECT_TRUE(s.opensRemotely());
    s.serialNumber = 42;
    EXPECT_EQ(s.librarySerialNumber(), 42);
}

TEST(OpenSettingsDefaults, ReadsTypedKeysAndTreatsMissingStringsAsUnset)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings defaults(dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat);
    EXPECT_EQ(readOpenSettings(defaults), OpenSettings{});

    defaults.setValue("n", 5000);
    defaults.setValue("v", 3);
    defaults.setValue("c", 2);
    defaults.setValue("h", true);
    defaults.setValue("r", true);
    defaults.setValue("s", "server-a");
    defaults.setValue("L", "");
    const OpenSettings s = readOpenSettings(defaults);
    EXPECT_EQ(s.serialNumber, 5000);
    EXPECT_EQ(s.hubPort, 3);
    EXPECT_EQ(s.channel, 2);
    EXPECT_TRUE(s.hubPortDevice);
    EXPECT_TRUE(s.remote);
    EXPECT_EQ(s.serverName, QStringLiteral("server-a"));
    EXPECT_EQ(s.label, QString());
    EXPECT_FALSE(s.password.has_value());
    EXPECT_FALSE(s.logFile.has_value());
}

TEST(OpenSettingsUsage, NamesTheProgramAndEveryFlag)
{
    const QString text = usageText(QStringLiteral("/opt/x"));
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("Invaid Command Line Argument\nUsage:\n /opt/x Flags[...]\n\nFlags:\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("-s serverName\tuse only if a specific server is known, otherwise use -r "
                                             "for any server\n\n-p password\tomit for no password")));
    for (const char *flag : {"-n ", "-l ", "-v ", "-c ", "-h ", "-L ", "-r ", "-s ", "-p "})
        EXPECT_TRUE(text.contains(QLatin1String(flag))) << flag;
}
