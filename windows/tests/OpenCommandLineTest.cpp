// Opening a channel with the open settings: user defaults, then flags.
#include "DigitalInputController.h"
#include "OpenSettings.h"
#include "WindowTestSupport.h"

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "computers": [{"id": "srv", "name": "labserver", "password": "secret"}],
  "devices": [
    {"id": "a", "deviceId": 55, "class": 1, "serial": 5001, "name": "Board A",
     "channels": [{"class": "DigitalInput", "count": 3}]},
    {"id": "b", "deviceId": 56, "class": 1, "serial": 5002, "name": "Board B",
     "channels": [{"class": "DigitalInput"}]},
    {"id": "r", "deviceId": 57, "class": 1, "serial": 6001, "server": "srv", "name": "Remote Board",
     "channels": [{"class": "DigitalInput"}]}
  ]
})";

QStringList withProgram(QStringList words)
{
    words.prepend(QStringLiteral("/opt/tindrel/tindrelexample"));
    return words;
}

}   // namespace

class OpenCmdLineTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void flagsOverrideUserDefaults_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::newRow("bare") << QStringList{"n", "5002"};
        QTest::newRow("dashed") << QStringList{"-n", "5002"};
    }
    void flagsOverrideUserDefaults()
    {
        QFETCH(QStringList, words);
        Surroundings s;
        s.aimAt(5001);
        s.arguments = withProgram(words);
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Board B")));
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void channelFlagPicksTheChannel()
    {
        Surroundings s;
        s.aimAt(5001);
        s.arguments = withProgram({"-c", "2"});
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Board A")));
        QCOMPARE(w->tindrelInfoBoxView()->channelTxt->text(), QStringLiteral("2"));
    }

    void serverWithoutRemoteFlagOpensRemotely()
    {
        Surroundings s;
        s.aimAt(6001);
        s.defaults().setValue("s", "labserver");
        s.defaults().setValue("p", "secret");
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Remote Board")));
        QVERIFY(w->tindrelInfoBoxView()->remoteLbl->isVisible());
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void passwordWithoutServerIsIgnored()
    {
        Surroundings s;
        s.aimAt(5001);
        s.arguments = withProgram({"p", "whatever"});
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Board A")));
        QVERIFY(w->tindrelInfoBoxView()->remoteLbl->isHidden());
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void trailingFlagWithoutValueDoesNotStopTheOpen()
    {
        Surroundings s;
        s.aimAt(5002);
        s.arguments = withProgram({"c"});
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Board B")));
        QVERIFY(s.alerts.alerts.isEmpty());
    }

    void failingSettingShowsItsAlertThenUsage_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("detailMentions");
        QTest::newRow("hub port out of range") << QStringList{"v", "99"} << QStringLiteral("99");
        QTest::newRow("label too long") << QStringList{"-L", "a-label-longer-than-sixteen"}
                                        << QStringLiteral("a-label-longer-than-sixteen");
    }
    void failingSettingShowsItsAlertThenUsage()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, detailMentions);
        Surroundings s;
        s.aimAt(5002);
        s.arguments = withProgram(words);
        auto failed = s.open<DigitalInputController>();

        QCOMPARE(s.alerts.alerts.size(), 2);
        QVERIFY2(s.alerts.alerts[0].title.contains(detailMentions), qPrintable(s.alerts.alerts[0].title));
        QVERIFY(!s.alerts.alerts[0].critical);
        QCOMPARE(s.alerts.alerts[1].title, usageText(QStringLiteral("/opt/tindrel/tindrelexample")));
        QVERIFY(s.alerts.alerts[1].critical);

        // The channel was not opened: a window opened afterwards gets it and
        // the failed one stays waiting.
        s.arguments = withProgram({});
        auto good = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*good, QStringLiteral("Board B")));
        QCoreApplication::processEvents();
        QCOMPARE(deviceText(*failed), QStringLiteral("Nothing"));
        QVERIFY(failed->hasChannel());
    }
};

QTEST_MAIN(OpenCmdLineTest)
#include "OpenCommandLineTest.moc"
