// The network server panel against fake system services: what the panel
// shows, what reaches the helper tool, and how the lock enables it.
#include "AuthorizationView.h"
#include "DictionaryPanelController.h"
#include "Protocol.h"
#include "RecordingAlertService.h"
#include "ServerFakes.h"
#include "ServerPanelController.h"
#include "TempDir.h"
#include "tindrel22extra.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace tindrel;
using namespace tindrel::server;
using platform::fakes::FakeHelperLauncher;
using platform::fakes::FakePanelAuthority;
using platform::fakes::FakeProcessTable;
using platform::fakes::FakeSleeper;
using server::testing::readText;
using server::testing::TempDir;
using server::testing::writeText;

namespace {

const platform::ProcessRecord kDaemonProcess{4242, "tindrel22networkserver"};

// A helper that does what raiseTool would: writes files, and remembers the
// service commands; "start" makes the daemon appear when asked to.
struct Rig {
    TempDir dir;
    std::shared_ptr<FakeHelperLauncher> helper = std::make_shared<FakeHelperLauncher>();
    std::shared_ptr<FakeProcessTable> processes = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeSleeper> sleeper = std::make_shared<FakeSleeper>();
    std::shared_ptr<FakePanelAuthority> authority = std::make_shared<FakePanelAuthority>();
    RecordingAlertService alerts;
    std::vector<QUrl> opened;
    std::atomic<DeviceAccessState> access = DeviceAccessState::NotInstalled;
    std::mutex mutex;
    std::vector<std::string> commands;   // "write PATH", "service VERB TARGET", "driver"
    std::atomic<bool> startMakesDaemon = true;
    std::atomic<bool> stopEndsDaemon = true;
    std::atomic<int> driverResult = 0;

    Rig()
    {
        helper->onRun = [this](const std::vector<std::byte> &input) {
            raisetool::Block block{};
            std::copy(input.begin() + 32, input.end(), block.begin());
            const raisetool::DecodedBlock decoded = raisetool::decodeBlock(block);
            std::lock_guard lock(mutex);
            if (const auto *w = std::get_if<raisetool::WriteFile>(&decoded.command)) {
                commands.push_back("write " + w->path);
                writeText(w->path, w->content);
            } else if (const auto *c = std::get_if<raisetool::ServiceCommand>(&decoded.command)) {
                commands.push_back("service " + c->verb + " " + c->target);
                if (c->verb == "start" && startMakesDaemon)
                    processes->set({kDaemonProcess});
                if (c->verb == "stop" && stopEndsDaemon)
                    processes->set({});
            } else if (const auto *d = std::get_if<raisetool::DeleteFile>(&decoded.command)) {
                commands.push_back("delete " + d->path);
            } else if (std::holds_alternative<raisetool::LoadDriver>(decoded.command)) {
                commands.push_back("driver");
                helper->outcomes = {{platform::HelperOutcome::Kind::Exited, driverResult}};
            }
        };
    }
    ServerPanelServices services()
    {
        ServerPanelServices s;
        s.helper = helper;
        s.processes = processes;
        s.sleeper = sleeper;
        s.authority = authority;
        s.alerts = &alerts;
        s.openUrl = [this](const QUrl &url) {
            opened.push_back(url);
            return true;
        };
        s.deviceAccess = [this] { return access.load(); };
        s.authorizationForm = [] { return platform::encodeAuthorizationForm({1, 2, 3}); };
        s.configPath = dir.file("etc/tindrel22networkserver.pc");
        s.descriptionPath = dir.file("systemd/tindrel22networkserver.service");
        s.dictionaryDirectory = dir.file("dictionary.d");
        return s;
    }
    std::vector<std::string> takeCommands()
    {
        std::lock_guard lock(mutex);
        return std::exchange(commands, {});
    }
};

std::optional<std::string> keyIn(const std::string &text, const char *key)
{
    pconf_t *pc = nullptr;
    char error[256];
    if (pconf_parsepcs(&pc, error, sizeof error, text.c_str()) != 0)
        return std::nullopt;
    const char *v = pconf_getstr(pc, nullptr, "%s", key);
    std::optional<std::string> out = v ? std::optional<std::string>(v) : std::nullopt;
    pconf_release(&pc);
    return out;
}

}   // namespace

class ServerPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> rig;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<ServerPanelController> panel;

    void make()
    {
        panel.reset();
        window = std::make_unique<QWidget>();
        panel = std::make_unique<ServerPanelController>(rig->services(), window.get());
    }
    void unlock()
    {
        panel->authView()->authorize();
        QTRY_VERIFY(panel->isUnlocked());
    }
    void idle() { QTRY_VERIFY_WITH_TIMEOUT(!panel->busy(), 10000); }

private slots:
    void init()
    {
        rig = std::make_unique<Rig>();
        make();
    }
    void cleanup()
    {
        panel.reset();
        window.reset();
        rig.reset();
    }

    void everyLockStateEnablesTheRightControls()
    {
        QWidget dictionaryTable;
        panel->addLockedControl(&dictionaryTable);
        const QList<QWidget *> controlled = {panel->startStopNetworkServiceButton,
                                             panel->networkServiveStartAtBootButton,
                                             panel->tindrelServerEnabledBtn,
                                             panel->tindrelServerPublishBtn,
                                             panel->serverNameTxt,
                                             panel->tindrelServerPortTxt,
                                             panel->tindrelServerPassTxt,
                                             panel->webserverEnabledBtn,
                                             panel->webserverPortTxt,
                                             panel->webserverDocrootTxt,
                                             panel->dictEnableBtn,
                                             panel->dictMonitorEnableBtn,
                                             &dictionaryTable};
        const auto expectEnabled = [&](bool enabled) {
            for (QWidget *w : controlled)
                QVERIFY2(w->isEnabled() == enabled, qPrintable(w->objectName()));
            // Outside the list: always usable.
            QVERIFY(panel->viewInBrowserBtn->isEnabled());
            QVERIFY(panel->deviceAccessBtn->isEnabled());
        };
        // The first status update decides: not authorized yet.
        panel->setUpAuthorizationView();
        QTRY_VERIFY(rig->authority->checks >= 1);
        QTest::qWait(20);
        expectEnabled(false);
        QCOMPARE(rig->authority->interactiveChecks.load(), 0);
        unlock();
        expectEnabled(true);
        panel->authView()->deauthorize();
        QVERIFY(!panel->isUnlocked());
        expectEnabled(false);
        QTRY_COMPARE(rig->authority->revokes.load(), 1);

        // An authorization that runs out locks the panel at the next quiet check.
        unlock();
        rig->authority->granted = false;
        panel->authView()->updateStatus();
        QTRY_VERIFY(!panel->isUnlocked());
        expectEnabled(false);

        // Already authorized at start-up: unlocked by the first update.
        rig->authority->granted = true;
        make();
        panel->setUpAuthorizationView();
        QTRY_VERIFY(panel->isUnlocked());
        QVERIFY(panel->tindrelServerPortTxt->isEnabled());
    }

    void anAnswerAskedBeforeALockDoesNotUnlockAgain()
    {
        // An authority that answers yes only when the test lets it.
        struct SlowAuthority : platform::PanelAuthority {
            std::atomic<bool> release = false;
            std::atomic<int> asked = 0;
            bool isAuthorized(bool) override
            {
                ++asked;
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return true;
            }
            void revoke() override { }
        };
        auto slow = std::make_shared<SlowAuthority>();
        panel.reset();
        window = std::make_unique<QWidget>();
        ServerPanelServices services = rig->services();
        services.authority = slow;
        panel = std::make_unique<ServerPanelController>(services, window.get());
        panel->authView()->updateStatus();
        QTRY_COMPARE(slow->asked.load(), 1);
        panel->authView()->deauthorize();
        slow->release = true;
        QTest::qWait(100);
        QVERIFY(!panel->isUnlocked());
        QVERIFY(!panel->tindrelServerPortTxt->isEnabled());
        // A later check decides again.
        panel->authView()->updateStatus();
        QTRY_VERIFY(panel->isUnlocked());
    }

    void aQuietRecheckDuringAStartLeavesTheButtonOff()
    {
        unlock();
        auto release = std::make_shared<std::atomic<bool>>(false);
        rig->helper->onRun = [release](const std::vector<std::byte> &) {
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        const int before = rig->authority->checks;
        panel->authView()->updateStatus();
        QTRY_VERIFY(rig->authority->checks > before);
        QTest::qWait(50);
        QVERIFY(!panel->startStopNetworkServiceButton->isEnabled());
        *release = true;
        QTRY_COMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Couldn't Start"));
        QVERIFY(panel->startStopNetworkServiceButton->isEnabled());
    }

    void aMissingOrUnparsableFileShowsTheDefaults()
    {
        panel->readInNetworkServiceConfig();
        QVERIFY(!panel->networkServiveStartAtBootButton->isChecked());
        QVERIFY(panel->tindrelServerEnabledBtn->isChecked());
        QCOMPARE(panel->tindrelServerPortTxt->text(), QStringLiteral("5661"));
        QVERIFY(panel->tindrelServerPublishBtn->isChecked());
        QVERIFY(panel->serverNameTxt->text().isEmpty());
        QVERIFY(panel->tindrelServerPassTxt->text().isEmpty());
        QVERIFY(panel->webserverEnabledBtn->isChecked());
        QCOMPARE(panel->webserverPortTxt->text(), QStringLiteral("8989"));
        QCOMPARE(panel->webserverDocrootTxt->text(), QStringLiteral("/usr/share/tindrel22networkserver/html"));
        QVERIFY(panel->dictEnableBtn->isChecked() && panel->dictMonitorEnableBtn->isChecked());

        writeText(rig->services().configPath, "[tindrel\nbroken");
        panel->tindrelServerPortTxt->setText(QStringLiteral("1"));
        panel->readInNetworkServiceConfig();
        QCOMPARE(panel->tindrelServerPortTxt->text(), QStringLiteral("5661"));
    }

    void editsAreWrittenThroughTheHelperAndKeepUnknownKeys()
    {
        const std::string path = rig->services().configPath;
        writeText(path, "[tindrel]\nenabled = \"false\"\nsecretsauce = \"42\"\n[tindrel.network.publish]\n"
                        "name = \"Old\"\n");
        panel->readInNetworkServiceConfig();
        QVERIFY(!panel->tindrelServerEnabledBtn->isChecked());
        QCOMPARE(panel->serverNameTxt->text(), QStringLiteral("Old"));
        QCOMPARE(panel->tindrelServerPortTxt->text(), QStringLiteral("5661"));
        unlock();

        QTest::mouseClick(panel->tindrelServerEnabledBtn, Qt::LeftButton);
        idle();
        QCOMPARE(rig->takeCommands(), std::vector<std::string>{"write " + path});
        std::string text = readText(path);
        QCOMPARE(keyIn(text, "tindrel.enabled"), std::optional<std::string>("true"));
        QCOMPARE(keyIn(text, "tindrel.secretsauce"), std::optional<std::string>("42"));

        // Clearing the name removes its key; letters in a port are written as typed.
        panel->serverNameTxt->setText({});
        panel->serverNameTxt->setModified(true);
        emit panel->serverNameTxt->editingFinished();
        panel->tindrelServerPortTxt->setText(QStringLiteral("abc"));
        panel->tindrelServerPortTxt->setModified(true);
        emit panel->tindrelServerPortTxt->editingFinished();
        // Leaving a field that was not changed writes nothing.
        emit panel->webserverPortTxt->editingFinished();
        idle();
        text = readText(path);
        QCOMPARE(keyIn(text, "tindrel.network.publish.name"), std::nullopt);
        QCOMPARE(keyIn(text, "tindrel.network.ipv4.port"), std::optional<std::string>("abc"));
        QCOMPARE(keyIn(text, "tindrel.secretsauce"), std::optional<std::string>("42"));
        QVERIFY(rig->takeCommands().size() <= 2);

        // Refused authorization: nothing reaches the helper.
        rig->authority->granted = false;
        rig->authority->grantOnInteraction = false;
        QTest::mouseClick(panel->dictEnableBtn, Qt::LeftButton);
        idle();
        QVERIFY(rig->takeCommands().empty());
    }

    void otherFilesAreWrittenAndDeletedInTheOrderAsked()
    {
        unlock();
        const std::string file = rig->dir.file("dictionary.d/a.pc");
        panel->writeAuthorized(QStringLiteral("x = 1\n"), QString::fromStdString(file));
        panel->deleteAuthorized(QString::fromStdString(file));
        idle();
        QCOMPARE(rig->takeCommands(), (std::vector<std::string>{"write " + file, "delete " + file}));
    }

    // The dictionary table of the panel: locked with it, and its files go
    // through the helper like the panel's own.
    void dictionaryTableFollowsTheLockAndWritesThroughTheHelper()
    {
        DictionaryPanelController *dictionaries = panel->dictionaryPanel();
        panel->setUpAuthorizationView();
        QTRY_VERIFY(rig->authority->checks >= 1);
        QVERIFY(!dictionaries->dictionaryTable->isEnabled());
        QVERIFY(!dictionaries->dictionaryTableButtons->isEnabled());
        QVERIFY(!dictionaries->dictionaryFakeButton->isEnabled());
        unlock();
        QVERIFY(dictionaries->dictionaryTable->isEnabled());
        QVERIFY(dictionaries->dictionaryAddButton->isEnabled());
        QVERIFY(!dictionaries->dictionaryRemoveButton->isEnabled());   // nothing selected

        dictionaries->readInDictionaries();
        dictionaries->dictionaryTableButtonPressed(0);
        QCOMPARE(dictionaries->dictionaryAddSerial->text(), QStringLiteral("1001"));
        dictionaries->dictionaryAddLabel->setText(QStringLiteral("Lab"));
        dictionaries->dictionaryAddSheetCreate();
        idle();
        const std::string file = rig->dir.file("dictionary.d/1001.dpc");
        QCOMPARE(rig->takeCommands(), std::vector<std::string>{"write " + file});
        QCOMPARE(keyIn(readText(file), "dictionary.label"), "Lab");

        dictionaries->dictionaryTable->selectRow(0);
        QVERIFY(dictionaries->dictionaryRemoveButton->isEnabled());
        dictionaries->dictionaryTableButtonPressed(1);
        idle();
        QCOMPARE(rig->takeCommands(), std::vector<std::string>{"delete " + file});
        QVERIFY(rig->alerts.alerts.isEmpty());
    }

    void startAtBootRewritesTheDescriptionAndTheConfiguration()
    {
        unlock();
        QTest::mouseClick(panel->networkServiveStartAtBootButton, Qt::LeftButton);
        idle();
        const auto s = rig->services();
        QCOMPARE(rig->takeCommands(),
                 (std::vector<std::string>{"write " + s.descriptionPath, "write " + s.configPath}));
        QVERIFY(readText(s.descriptionPath).find("WantedBy=multi-user.target") != std::string::npos);
        QCOMPARE(keyIn(readText(s.configPath), "tindrel.startatboot"), std::optional<std::string>("true"));
    }

    void startWithTheDaemonAlreadyRunningOnlyRefreshes()
    {
        unlock();
        rig->processes->set({kDaemonProcess});
        QCOMPARE(panel->startStopNetworkServiceButton->text(), QStringLiteral("Start Network Server"));
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        QCOMPARE(panel->startStopNetworkServiceButton->text(), QStringLiteral("Stop Network Server"));
        QCOMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is running."));
        QVERIFY(!panel->busy());
        QCOMPARE(rig->helper->runs(), std::size_t{0});
        QVERIFY(panel->startStopNetworkServiceButton->isEnabled());
    }

    void startRunsTheSequenceAndShowsTheRunningServer()
    {
        panel->readInNetworkServiceConfig();
        panel->updateNetworkServiceStatus();
        QCOMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is not running."));
        QVERIFY(panel->viewInBrowserBtn->isHidden());
        unlock();
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        QVERIFY(!panel->startStopNetworkServiceButton->isEnabled());
        QVERIFY(panel->networkServiceStatusTxt->text() == QStringLiteral("Starting"));
        QVERIFY(!panel->networkServiceProgress->isHidden());
        QTRY_COMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is running."));
        QCOMPARE(panel->startStopNetworkServiceButton->text(), QStringLiteral("Stop Network Server"));
        QVERIFY(panel->startStopNetworkServiceButton->isEnabled());
        QVERIFY(panel->networkServiceProgress->isHidden());
        QVERIFY(!panel->viewInBrowserBtn->isHidden());
        const auto s = rig->services();
        const std::string description = s.descriptionPath;
        QCOMPARE(rig->takeCommands(),
                 (std::vector<std::string>{"write " + description, "write " + s.configPath,
                                           "service unload " + description, "service load " + description,
                                           "service start com.tindrels.tindrel22networkserver"}));

        QTest::mouseClick(panel->viewInBrowserBtn, Qt::LeftButton);
        QCOMPARE(rig->opened, std::vector<QUrl>{QUrl(QStringLiteral("http://localhost:8989"))});

        // With the web server off the button stays hidden while the daemon runs.
        panel->webserverEnabledBtn->setChecked(false);
        panel->updateNetworkServiceStatus();
        QVERIFY(panel->viewInBrowserBtn->isHidden());

        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        QCOMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Stopping"));
        QTRY_COMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is not running."));
        QCOMPARE(rig->takeCommands(), (std::vector<std::string>{"write " + description,
                                                                "service stop com.tindrels.tindrel22networkserver"}));
    }

    void aDaemonThatDoesNotAppearGivesCouldntStartAndOneThatStaysCouldntStop()
    {
        unlock();
        rig->startMakesDaemon = false;
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        QTRY_COMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Couldn't Start"));
        QCOMPARE(panel->startStopNetworkServiceButton->text(), QStringLiteral("Start Network Server"));
        QCOMPARE(rig->sleeper->slept.load(), 5000L);

        rig->processes->set({kDaemonProcess});
        rig->stopEndsDaemon = false;
        panel->updateNetworkServiceStatus();
        rig->sleeper->slept = 0;
        // Locked while it runs: the button stays off at the end.
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        panel->authView()->deauthorize();
        QTRY_COMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Couldn't Stop"));
        QCOMPARE(panel->startStopNetworkServiceButton->text(), QStringLiteral("Stop Network Server"));
        QVERIFY(!panel->startStopNetworkServiceButton->isEnabled());
    }

    void twoDaemonProcessesCountAsNotRunning()
    {
        rig->processes->set({kDaemonProcess, {4243, "tindrel22networkserver"}});
        panel->updateNetworkServiceStatus();
        QCOMPARE(panel->networkServiceStatusTxt->text(), QStringLiteral("Network Server is not running."));
    }

    void deviceAccessAsksFirstAndAFailureAlertsAndLocks()
    {
        // Already active: no question, no helper run.
        rig->access = DeviceAccessState::Active;
        panel->checkDeviceAccessAtStartUp();
        // Installed but waiting for udev: asking again would not help.
        rig->access = DeviceAccessState::UdevNotRunning;
        panel->checkDeviceAccessAtStartUp();
        QVERIFY(rig->alerts.alerts.isEmpty());
        QCOMPARE(rig->helper->runs(), std::size_t{0});

        rig->access = DeviceAccessState::NotInstalled;
        rig->alerts.answer = 1;   // "Not Now"
        panel->checkDeviceAccessAtStartUp();
        QCOMPARE(rig->alerts.titles(), QStringList{QStringLiteral("Grant Access to Tindrels?")});
        QCOMPARE(rig->helper->runs(), std::size_t{0});
        QVERIFY(panel->deviceAccessBtn->isVisibleTo(window.get()));

        unlock();
        rig->alerts.alerts.clear();
        rig->alerts.answer = 0;   // "Grant Access"
        rig->driverResult = 6;
        QSignalSpy done(panel.get(), &ServerPanelController::deviceAccessFinished);
        panel->checkDeviceAccessAtStartUp();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toInt(), 6);
        QCOMPARE(rig->alerts.titles(),
                 (QStringList{QStringLiteral("Grant Access to Tindrels?"), QStringLiteral("Tindrels Driver Blocked")}));
        QVERIFY(!rig->alerts.alerts.last().critical);
        QVERIFY(!panel->isUnlocked());
        QCOMPARE(rig->takeCommands(), std::vector<std::string>{"driver"});

        // Granting from the panel's button; success shows nothing.
        rig->alerts.alerts.clear();
        rig->driverResult = 0;
        rig->access = DeviceAccessState::Active;
        QTest::mouseClick(panel->deviceAccessBtn, Qt::LeftButton);
        QTRY_COMPARE(done.count(), 2);
        QVERIFY(rig->alerts.alerts.isEmpty());
        QVERIFY(!panel->deviceAccessBtn->isVisibleTo(window.get()));
    }

    void driverResultsHaveTheirAlerts()
    {
        QCOMPARE(driverAlertFor(4)->title, QStringLiteral("Tindrels Driver Failure"));
        QVERIFY(driverAlertFor(4)->text.contains(QStringLiteral("(Code: 4)")));
        QVERIFY(driverAlertFor(4)->critical && driverAlertFor(5)->critical);
        QCOMPARE(driverAlertFor(5)->title, QStringLiteral("Tindrels Driver Not Loaded"));
        QCOMPARE(driverAlertFor(6)->title, QStringLiteral("Tindrels Driver Blocked"));
        QCOMPARE(driverAlertFor(7)->title, QStringLiteral("Tindrels Driver Not Loaded"));
        QVERIFY(!driverAlertFor(7)->critical);
        QVERIFY(!driverAlertFor(-1) && !driverAlertFor(3) && !driverAlertFor(8));
    }

    void anAnswerArrivingAfterShutDownOpensNoAlert()
    {
        unlock();
        rig->alerts.answer = 0;   // "Grant Access"
        rig->access = DeviceAccessState::NotInstalled;
        rig->driverResult = 6;   // would alert "Tindrels Driver Blocked"
        auto release = std::make_shared<std::atomic<bool>>(false);
        auto left = std::make_shared<std::atomic<bool>>(false);
        rig->helper->onRun = [release, left](const std::vector<std::byte> &) {
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            *left = true;
        };
        QSignalSpy done(panel.get(), &ServerPanelController::deviceAccessFinished);
        panel->checkDeviceAccessAtStartUp();
        rig->alerts.alerts.clear();
        panel->shutDown();
        *release = true;
        QTRY_VERIFY_WITH_TIMEOUT(left->load(), 10000);
        QTest::qWait(300);
        QVERIFY(rig->alerts.alerts.isEmpty());
        QCOMPARE(done.count(), 0);
    }

    void closingThePanelWhileAHelperRunsIsSafe()
    {
        unlock();
        auto release = std::make_shared<std::atomic<bool>>(false);
        auto entered = std::make_shared<std::atomic<int>>(0);
        rig->helper->onRun = [release, entered](const std::vector<std::byte> &) {
            ++*entered;
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        QTest::mouseClick(panel->startStopNetworkServiceButton, Qt::LeftButton);
        QTRY_VERIFY(*entered >= 1);
        std::weak_ptr<FakeHelperLauncher> helper = rig->helper;
        panel.reset();
        window.reset();
        rig.reset();   // the job still holds what it uses
        QVERIFY(!helper.expired());
        *release = true;
        // The sequence runs to its end with nobody to tell, then lets go.
        QTRY_VERIFY_WITH_TIMEOUT(helper.expired(), 10000);
        QCOMPARE(entered->load(), 5);
    }
};

QTEST_MAIN(ServerPanelTest)
#include "ServerPanelTest.moc"
