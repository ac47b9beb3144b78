// The remembered session's store: what is written reads back the same, also
// through an INI file (where every value comes back as text), and a damaged
// store loses only its damaged entries, each named.
#include "SessionStore.h"

#include <QByteArray>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tindrel::session;

namespace {

Session fullSession()
{
    Session s;
    s.mainWindow = MainWindowPlace{{40, 30}, {900, 640}, false};
    s.columnWidths = {{QStringLiteral("SerialColumn"), 130}, {QStringLiteral("VersionColumn"), 55}};
    WindowEntry local;
    local.address = {300509, 0, 0, 29, false, false, {}};
    local.position = QPoint(60, 70);
    local.plotSpan = 120;
    local.plotOpen = true;
    local.settings = {{QStringLiteral("0-slider"), 500.0},
                      {QStringLiteral("1-slider"), 0.125},
                      {QStringLiteral("2-popup"), 5.0},
                      {QStringLiteral("4-check"), true}};
    WindowEntry remote;
    remote.address = {300222, 0, 1, 5, false, true, QStringLiteral("labserver")};
    WindowEntry onPort;
    onPort.address = {561302, 3, 0, 5, true, false, {}};
    onPort.position = QPoint(-20, 5);
    s.windows = {local, remote, onPort};
    return s;
}

QVariantMap validWindow(int index, int serial)
{
    const QString p = QStringLiteral("windows/%1/").arg(index);
    return {{p + "serial", serial}, {p + "hubPort", 0},           {p + "channel", 0},
            {p + "class", 29},      {p + "hubPortDevice", false}, {p + "remote", false}};
}

QVariantMap merged(std::initializer_list<QVariantMap> maps)
{
    QVariantMap out;
    for (const QVariantMap &m : maps)
        out.insert(m);
    return out;
}

bool mentions(const QStringList &problems, const QString &text)
{
    return std::ranges::any_of(problems, [&](const QString &p) { return p.contains(text); });
}

}   // namespace

TEST(SessionStore, WhatIsWrittenReadsBackTheSame)
{
    const Session s = fullSession();
    const ReadResult r = readSession(writeSession(s));
    EXPECT_TRUE(r.problems.isEmpty()) << r.problems.join(u'\n').toStdString();
    EXPECT_EQ(r.session, s);

    Session clean;
    clean.startCleanAtNextLaunch = true;
    EXPECT_EQ(readSession(writeSession(clean)).session, clean);
    // Nothing stored: nothing remembered, nothing wrong.
    EXPECT_EQ(readSession({}).session, Session{});
    EXPECT_TRUE(readSession({}).problems.isEmpty());
}

TEST(SessionStore, AnIniFileKeepsTheSessionAndEveryOtherKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.ini"));
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("n"), 1001);
        settings.setValue(QStringLiteral("Motor/kp"), 2.5);
        settings.setValue(QStringLiteral("Session/windows/7/serial"), 5);   // an older session's leftover
        storeGroup(settings, writeSession(fullSession()));
    }
    QSettings settings(path, QSettings::IniFormat);
    const ReadResult r = readSession(loadGroup(settings));
    EXPECT_TRUE(r.problems.isEmpty()) << r.problems.join(u'\n').toStdString();
    EXPECT_EQ(r.session, fullSession());
    EXPECT_EQ(settings.value(QStringLiteral("n")).toInt(), 1001);
    EXPECT_EQ(settings.value(QStringLiteral("Motor/kp")).toDouble(), 2.5);
    clearGroup(settings);
    EXPECT_TRUE(loadGroup(settings).isEmpty());
    EXPECT_EQ(settings.value(QStringLiteral("Motor/kp")).toDouble(), 2.5);
}

TEST(SessionStore, DamagedWindowsAreLeftOutOneByOne)
{
    QVariantMap v =
        merged({validWindow(1, 300509), validWindow(2, 300510), validWindow(3, 300511), validWindow(4, 300509),
                validWindow(5, 300512), validWindow(6, 300513), validWindow(7, 300514), validWindow(9, 300515)});
    v.insert(QStringLiteral("version"), 1);
    v.insert(QStringLiteral("windows/size"), QStringLiteral("999999999999"));
    v.insert(QStringLiteral("windows/2/serial"), QStringLiteral("three hundred"));   // wrong type
    v.insert(QStringLiteral("windows/3/class"), 13);                                 // the hub's hidden channel
    // windows/4 is windows/1 again
    v.insert(QStringLiteral("windows/5/remote"), true);                             // remote without a server
    v.insert(QStringLiteral("windows/6/hubPort"), QByteArray("\xff\xfe\x00", 3));   // garbage bytes
    v.insert(QStringLiteral("windows/7/hubPortDevice"), QStringLiteral("perhaps"));
    v.remove(QStringLiteral("windows/9/channel"));

    const ReadResult r = readSession(v);
    ASSERT_EQ(r.session.windows.size(), 1u);
    EXPECT_EQ(r.session.windows[0].address.serialNumber, 300509);
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window count")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 2 (serial is not a whole number)")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 3 (channel class 13 is not known)")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 4 (the same channel")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 5 (a remote channel without")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 6 (hubPort is not a whole number)")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 7 (hubPortDevice is not true or false)")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("window 9 (channel is missing)")));

    // One message names them all.
    const QString report = problemReport(r.problems);
    EXPECT_FALSE(report.contains(u'\n'));
    EXPECT_TRUE(report.contains(QStringLiteral("window 9")));
    EXPECT_TRUE(problemReport({}).isEmpty());
}

TEST(SessionStore, AWindowWithAnUnreadablePlaceOrSettingStillOpens)
{
    QVariantMap v = validWindow(1, 300509);
    v.insert(QStringLiteral("version"), QStringLiteral("1"));
    v.insert(QStringLiteral("windows/1/x"), 50000);   // beyond any screen
    v.insert(QStringLiteral("windows/1/y"), 10);
    v.insert(QStringLiteral("windows/1/plotSpan"), QStringLiteral("nan"));
    v.insert(QStringLiteral("windows/1/plotOpen"), QVariantList{1, 2});
    v.insert(QStringLiteral("windows/1/settings/0-slider"), QStringLiteral("250"));
    v.insert(QStringLiteral("windows/1/settings/1-slider"), QStringLiteral("lots"));
    v.insert(QStringLiteral("windows/1/settings/2-check"), QStringLiteral("false"));
    v.insert(QStringLiteral("windows/1/settings/3-popup"), QRect(1, 2, 3, 4));

    const ReadResult r = readSession(v);
    ASSERT_EQ(r.session.windows.size(), 1u);
    const WindowEntry &e = r.session.windows[0];
    EXPECT_FALSE(e.position.has_value());
    EXPECT_EQ(e.plotSpan, defaultPlotSpan);
    EXPECT_FALSE(e.plotOpen);
    const QVariantMap kept{{QStringLiteral("0-slider"), 250.0}, {QStringLiteral("2-check"), false}};
    EXPECT_EQ(e.settings, kept);
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("part of window 1 (x 50000 is out of range)")));

    // A span beyond the plot's is no span.
    v.insert(QStringLiteral("windows/1/x"), 10);
    v.insert(QStringLiteral("windows/1/plotSpan"), 1e9);
    EXPECT_EQ(readSession(v).session.windows[0].plotSpan, defaultPlotSpan);
    EXPECT_EQ(readSession(v).session.windows[0].position, QPoint(10, 10));
}

TEST(SessionStore, TheMainWindowAndColumnsOutOfRangeAreLeftOut)
{
    QVariantMap v{{QStringLiteral("version"), 1},
                  {QStringLiteral("mainWindow/x"), 10},
                  {QStringLiteral("mainWindow/y"), 10},
                  {QStringLiteral("mainWindow/width"), -400},
                  {QStringLiteral("mainWindow/height"), 300},
                  {QStringLiteral("tree/SerialColumn"), 99999},
                  {QStringLiteral("tree/ChannelColumn"), QStringLiteral("80")},
                  {QStringLiteral("startCleanAtNextLaunch"), QStringLiteral("yes")}};
    ReadResult r = readSession(v);
    EXPECT_FALSE(r.session.mainWindow.has_value());
    EXPECT_EQ(r.session.columnWidths, (QMap<QString, int>{{QStringLiteral("ChannelColumn"), 80}}));
    EXPECT_FALSE(r.session.startCleanAtNextLaunch);
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("main window's place (width -400 is out of range)")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("SerialColumn")));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("start-clean mark")));

    v.insert(QStringLiteral("mainWindow/width"), 500);
    r = readSession(v);
    ASSERT_TRUE(r.session.mainWindow.has_value());
    EXPECT_EQ(r.session.mainWindow->size, QSize(500, 300));
}

TEST(SessionStore, AnotherVersionOrNoneIsNotRead)
{
    QVariantMap v = validWindow(1, 300509);
    ReadResult r = readSession(v);
    EXPECT_TRUE(r.session.windows.empty());
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("no format version")));

    v.insert(QStringLiteral("version"), 2);
    r = readSession(v);
    EXPECT_TRUE(r.session.windows.empty());
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("format version 2")));

    v.insert(QStringLiteral("version"), QByteArray("\x01\x02"));
    EXPECT_TRUE(readSession(v).session.windows.empty());
}

TEST(SessionStore, AbsurdCountsAreCut)
{
    QVariantMap v{{QStringLiteral("version"), 1}};
    for (int i = 1; i <= mostWindows + 50; ++i)
        v.insert(validWindow(i, 1000 + i));
    for (int k = 0; k < mostSettings + 10; ++k)
        v.insert(QStringLiteral("windows/1/settings/%1-slider").arg(k), k);
    const ReadResult r = readSession(v);
    ASSERT_EQ(r.session.windows.size(), std::size_t(mostWindows));
    EXPECT_EQ(r.session.windows.front().settings.size(), mostSettings);
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("windows past the %1th").arg(mostWindows)));
    EXPECT_TRUE(mentions(r.problems, QStringLiteral("settings past")));

    // Writing never stores more than is read.
    Session many = r.session;
    many.windows.insert(many.windows.end(), r.session.windows.begin(), r.session.windows.begin() + 5);
    EXPECT_EQ(writeSession(many).value(QStringLiteral("windows/size")).toInt(), mostWindows);
}
