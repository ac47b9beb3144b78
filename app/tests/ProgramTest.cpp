// The tindrelcontrolpanel program as a user starts it: its command line, its
// library log, the tindrelsim tool reaching it, a clean end on SIGTERM, and
// the session it keeps unless started clean.
#include <csignal>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char *const kRig = R"({"devices": [
  {"id": "din", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "channels": [{"class": 5}]},
  {"id": "single", "deviceId": 11, "class": 1, "name": "Single Relay", "serial": 1001, "present": false,
   "channels": [{"class": 6, "index": 3}]}
]})";

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

// Offscreen, with the user's state and defaults under dir.
QProcessEnvironment offscreenIn(const QTemporaryDir &dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    return env;
}

// A start of the panel, to its end.
struct PanelRun {
    bool clean = false;   // ended by itself with status 0
    QString out, err;
};

PanelRun runPanel(const QProcessEnvironment &env, const QStringList &args)
{
    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(TINDREL_PANEL_PATH), args);
    PanelRun run;
    run.clean = panel.waitForFinished(120000) && panel.exitStatus() == QProcess::NormalExit && panel.exitCode() == 0;
    run.out = QString::fromUtf8(panel.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(panel.readAllStandardError());
    return run;
}

}   // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void commandLineMistakesAreReported_data();
    void commandLineMistakesAreReported();
    void runsLogsFollowsTheToolAndEndsOnSigterm();
    void printsTheTreeOfTheRigAndQuits();
    void keepsTheSessionUnlessStartedClean();
    void aWindowOpenedByAddressComesBackAtTheNextStart();
};

void ProgramTest::commandLineMistakesAreReported_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "Unknown option 'bogus'";
    QTest::newRow("missing file") << QStringList{"--rig", "/nonexistent/rig.json"} << 2
                                  << "cannot load rig /nonexistent/rig.json";
    QTest::newRow("malformed rig") << QStringList{"--rig", "@bad"} << 2 << "bad.json:2:";
    QTest::newRow("rig without file") << QStringList{"--rig"} << 2 << "Missing value after '--rig'";
    QTest::newRow("stray argument") << QStringList{"stray"} << 2 << "unexpected argument 'stray'";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: tindrelcontrolpanel [--rig FILE]";
    // The example windows' flags are the panel's too; -h is one of them.
    QTest::newRow("window flags") << QStringList{"-n", "12", "-h", "-r", "-c", "1", "--version"} << 0
                                  << "Tindrel Control Panel";
    QTest::newRow("window flag without value") << QStringList{"-n"} << 2 << "Missing value after '-n'";
    QTest::newRow("window of no class") << QStringList{"--open-window", "Toaster:1000"} << 2
                                        << "'Toaster' is not a channel class";
    QTest::newRow("window without serial")
        << QStringList{"--open-window", "DigitalInput"} << 2 << "is not CLASS:SERIAL[:HUBPORT[:CHANNEL]]";
    QTest::newRow("window on a bad port")
        << QStringList{"--open-window", "DigitalInput:1000:x"} << 2 << "'x' in 'DigitalInput:1000:x' is not a hub port";
}

void ProgramTest::commandLineMistakesAreReported()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString bad = writeFile(dir, QStringLiteral("bad.json"), "{\"devices\": [\n  {\"id\": }\n]}");
    args.replaceInStrings(QStringLiteral("@bad"), bad);

    QProcess p;
    // No display at all: mistakes must still be answered before any window.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(v));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TINDREL_PANEL_PATH), args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    QVERIFY2(out.contains(message), qPrintable(out));
}

void ProgramTest::runsLogsFollowsTheToolAndEndsOnSigterm()
{
    QTemporaryDir dir;
    const QString rig = writeFile(dir, QStringLiteral("rig.json"), kRig);
    QVERIFY(!rig.isEmpty());
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(TINDREL_PANEL_PATH), {QStringLiteral("--rig"), rig});
    QVERIFY(panel.waitForStarted(10000));
    const QString pid = QString::number(panel.processId());
    const QString socket = dir.filePath(QStringLiteral("run/tindrelsim-%1.sock").arg(pid));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);

    // The library log goes to the user's state folder at level 4 (info).
    const QString log = dir.filePath(QStringLiteral("state/tindrelcontrolpanel22/tindrelcontrolpanel22.log"));
    auto logText = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("log enabled at level 4")), 10000);

    // The command-line tool plugs a device into the running panel.
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(TINDRELSIM_TOOL_PATH),
               {QStringLiteral("--pid"), pid, QStringLiteral("attach"), QStringLiteral("single")});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("Single Relay")), 10000);

    ::kill(static_cast<pid_t>(panel.processId()), SIGTERM);
    QVERIFY(panel.waitForFinished(10000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);
    QVERIFY(!QFile::exists(socket));   // the control socket went with it
}

void ProgramTest::printsTheTreeOfTheRigAndQuits()
{
    QTemporaryDir dir;
    const QString rig = writeFile(dir, QStringLiteral("rig.json"), R"({"devices": [
  {"id": "din", "deviceId": 10, "class": 1, "name": "Digital Board", "version": 102, "serial": 1000,
   "channels": [{"class": 5, "index": 0, "count": 2}]},
  {"id": "single", "deviceId": 11, "class": 1, "name": "Single Relay", "serial": 1001, "present": false,
   "channels": [{"class": 6, "index": 3}]}
]})");
    QVERIFY(!rig.isEmpty());
    const PanelRun run =
        runPanel(offscreenIn(dir), {QStringLiteral("--rig"), rig, QStringLiteral("--print-tree-and-quit")});
    QVERIFY2(run.clean, qPrintable(run.err));
    // The present device with its channels; the absent one is not there.
    const QStringList rows = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList expected{QStringLiteral("Local Tindrels"), QStringLiteral("  Digital Board\t1000\t102"),
                               QStringLiteral("    DigitalInput 0\t0"), QStringLiteral("    DigitalInput 1\t1")};
    QCOMPARE(rows, expected);
}

void ProgramTest::keepsTheSessionUnlessStartedClean()
{
    QTemporaryDir dir;
    const QString rig = writeFile(dir, QStringLiteral("rig.json"), kRig);
    QVERIFY(!rig.isEmpty());
    // A window remembered on a channel the rig does not have, beside a
    // setting of another part of the program.
    const QString config = dir.filePath(QStringLiteral("config/Tindrels/Tindrel Control Panel.conf"));
    {
        QSettings s(config, QSettings::IniFormat);
        s.setValue(QStringLiteral("Motor/kp"), 2.5);
        s.setValue(QStringLiteral("Session/version"), 1);
        for (const auto &[key, value] :
             std::initializer_list<std::pair<const char *, QVariant>>{{"serial", 999001},
                                                                      {"hubPort", 0},
                                                                      {"channel", 0},
                                                                      {"class", 29},
                                                                      {"hubPortDevice", false},
                                                                      {"remote", false}})
            s.setValue(QStringLiteral("Session/windows/1/") + QLatin1String(key), value);
        s.setValue(QStringLiteral("Session/windows/size"), 1);
    }
    const QProcessEnvironment env = offscreenIn(dir);
    const auto run = [&](QStringList extra) {
        return runPanel(env, QStringList{QStringLiteral("--rig"), rig, QStringLiteral("--print-tree-and-quit")} + extra)
            .clean;
    };
    const auto remembered = [&] {
        return QSettings(config, QSettings::IniFormat).value(QStringLiteral("Session/windows/1/serial")).toInt();
    };

    // The channel never came: its window stays remembered.
    QVERIFY(run({}));
    QCOMPARE(remembered(), 999001);
    QVERIFY(run({QStringLiteral("--clean")}));
    QCOMPARE(remembered(), 0);
    const QSettings after(config, QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("Motor/kp")).toDouble(), 2.5);
    QCOMPARE(after.value(QStringLiteral("Session/version")).toInt(), 1);
}

void ProgramTest::aWindowOpenedByAddressComesBackAtTheNextStart()
{
    QTemporaryDir dir;
    const QString rig = writeFile(dir, QStringLiteral("rig.json"), kRig);
    QVERIFY(!rig.isEmpty());
    const QProcessEnvironment env = offscreenIn(dir);
    // What a start prints, or a note of how it ended.
    const auto printed = [&](QStringList extra) {
        const PanelRun run = runPanel(
            env, QStringList{QStringLiteral("--rig"), rig, QStringLiteral("--print-windows-and-quit")} + extra);
        return run.clean ? run.out : QStringLiteral("did not end cleanly: ") + run.err;
    };
    const QString window = QStringLiteral("Digital Input\tDigitalInput:1000:0:0\n");
    QCOMPARE(printed({QStringLiteral("--open-window"), QStringLiteral("DigitalInput:1000")}), window);
    // Reopened from the session alone, and still remembered after.
    QCOMPARE(printed({}), window);
    QCOMPARE(printed({}), window);
    QCOMPARE(printed({QStringLiteral("--clean")}), QString());
    QCOMPARE(printed({}), QString());
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "ProgramTest.moc"
