// The main window's start-up with the network server panel: the lock is set
// up first, the configuration read and the status shown after the manager
// is open, and the device access check comes last, from the event loop.
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

#include "DictionaryPanelController.h"
#include "RecordingAlertService.h"
#include "ServerFakes.h"
#include "ServerPanelController.h"
#include "ViewController.h"
#include "tindrelsim.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace tindrel;

class ServerPanelWiringTest : public QObject {
    Q_OBJECT
private slots:
    void startUpShowsTheConfigurationTheStatusAndAsksAboutDeviceAccess();
};

void ServerPanelWiringTest::startUpShowsTheConfigurationTheStatusAndAsksAboutDeviceAccess()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    char pattern[] = "/tmp/tindrel-wiring-XXXXXX";
    QVERIFY(::mkdtemp(pattern));
    const std::string config = std::string(pattern) + "/server.pc";
    std::ofstream(config) << "[tindrel.network.ipv4]\nport = 7001\n";
    const std::string dictionaries = std::string(pattern) + "/dictionary.d";
    std::filesystem::create_directories(dictionaries);
    std::ofstream(dictionaries + "/1007.dpc") << "[dictionary]\nlabel = \"Hall\"\nsn = 1007\nenabled = true\n";

    RecordingAlertService alerts;
    alerts.answer = 1;   // "Not Now"
    auto authority = std::make_shared<platform::fakes::FakePanelAuthority>();
    authority->granted = true;
    auto processes = std::make_shared<platform::fakes::FakeProcessTable>();
    processes->set({{77, "tindrel22networkserver"}});
    auto helper = std::make_shared<platform::fakes::FakeHelperLauncher>();

    ViewController::Options options;
    options.alerts = &alerts;
    options.terminate = [] {};
    options.makeServerPanel = [&](QWidget *parent) {
        server::ServerPanelServices s;
        s.helper = helper;
        s.processes = processes;
        s.sleeper = std::make_shared<platform::fakes::FakeSleeper>();
        s.authority = authority;
        s.alerts = &alerts;
        s.deviceAccess = [] { return server::DeviceAccessState::NotInstalled; };
        s.authorizationForm = [] { return platform::encodeAuthorizationForm({1, 2, 3}); };
        s.configPath = config;
        s.dictionaryDirectory = dictionaries;
        return std::make_unique<server::ServerPanelController>(std::move(s), parent);
    };
    ViewController vc(std::move(options));
    server::ServerPanelController *panel = vc.serverPanel();
    QVERIFY(panel);
    QVERIFY(vc.window()->isAncestorOf(panel->panel()));
    vc.window()->show();
    vc.applicationDidFinishLaunching();
    QCOMPARE(panel->tindrelServerPortTxt->text(), QStringLiteral("7001"));
    QCOMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is running."));
    // The dictionaries are read at start-up, into the panel's table.
    QCOMPARE(panel->dictionaryPanel()->numberOfRowsInTableView(), 1);
    QCOMPARE(panel->dictionaryPanel()->dictionaries().front().label, std::string("Hall"));
    QVERIFY(vc.window()->isAncestorOf(panel->dictionaryPanel()->view()));
    // The first status update unlocks the panel.
    QTRY_VERIFY(panel->isUnlocked());
    QVERIFY(panel->tindrelServerPortTxt->isEnabled());
    // The question comes from the event loop, after start-up.
    QTRY_COMPARE(alerts.titles(), QStringList{QStringLiteral("Grant Access to Tindrels?")});
    QCOMPARE(helper->runs(), std::size_t{0});
    vc.applicationWillTerminate();
    std::filesystem::remove_all(pattern);
    TindrelSim_clear();
}

QTEST_MAIN(ServerPanelWiringTest)
#include "ServerPanelWiringTest.moc"
