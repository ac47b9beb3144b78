// The remembered session, across quits of the panel against the simulated
// library's default rig: the main window, the columns and the example windows
// come back as they were left, a window whose channel comes late opens when
// it comes, a clean start forgets, a damaged store loses only what is damaged,
// and the channels' settings are set again only when the user asks for it.
#include <QFile>
#include <QHeaderView>
#include <QMainWindow>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <QAction>
#include <QDoubleSpinBox>

#include "ErrorEventLog.h"
#include "ExampleWindowDispatch.h"
#include "PanelTestSupport.h"
#include "PlotWindow.h"
#include "RecordingAlertService.h"
#include "SessionKeeper.h"
#include "SessionStore.h"
#include "TindrelInfoBox.h"
#include "ViewController.h"
#include "ViewFormController.h"
#include "VoltageInputController.h"
#include "WindowRegistry.h"
#include "tindrelsim.h"

using namespace tindrel;
using namespace tindrel::testsupport;

namespace {

constexpr int kWait = 20000;
// The default rig's precision voltage input: one channel with a range.
const char *const kBoardId = "vin49";
const QString kBoardRow = QStringLiteral("Precision Voltage Input Board");
const session::ChannelAddress kBoard{300509, 0, 0, TINDREL_CHCLASS_VOLTAGEINPUT, false, false, {}};
// The voltage input window's bound rows, in its declaration order.
const QString kIntervalKey = QStringLiteral("0-slider");
const QString kRangeKey = QStringLiteral("2-popup");

double boardProperty(const char *property)
{
    double v = -1;
    TindrelSim_getPropertyValue(kBoardId, TINDREL_CHCLASS_VOLTAGEINPUT, 0, property, &v);
    return v;
}

VoltageInputController *onlyVoltageWindow()
{
    const QList<ExampleWindow *> open = openExampleWindows();
    return open.size() == 1 ? qobject_cast<VoltageInputController *>(open.first()) : nullptr;
}

// Shown while the channel is attached, hidden while it is away.
bool attached(const VoltageInputController *w) { return w && !w->dataIntervalBox->isHidden(); }

// A range code of the window's pop-up other than the one it shows.
int anotherRange(VoltageInputController &w)
{
    const int shown = w.voltageRangeCombo->currentCode().value_or(-1);
    for (int i = 0; i < w.voltageRangeCombo->count(); ++i) {
        w.voltageRangeCombo->setCurrentIndex(i);
        if (const auto code = w.voltageRangeCombo->currentCode(); code && *code != shown) {
            w.voltageRangeCombo->selectCode(shown);
            return *code;
        }
    }
    return -1;
}

session::WindowEntry boardEntry(QVariantMap settings = {})
{
    session::WindowEntry e;
    e.address = kBoard;
    e.position = QPoint(50, 40);
    e.settings = std::move(settings);
    return e;
}

}   // namespace

class SessionTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void theSessionComesBackAfterAQuit();
    void settingsAreLeftAloneUnlessAskedFor();
    void aRefusedSettingIsLoggedAndTheOthersApply();
    void aWindowWhoseChannelComesLateOpensThen();
    void startingCleanForgetsTheSession();
    void aDamagedStoreLosesOnlyItsDamagedEntries();
    void theTreeIsUsedFromTheKeyboard();

private:
    std::unique_ptr<ViewController> start(bool clean = false);
    void quit(std::unique_ptr<ViewController> &vc);
    void remember(const std::vector<session::WindowEntry> &windows);
    // Waits until the row is in the tree and what its attach posted has run.
    void waitForRow(ViewController &vc, const QString &name);
    void waitForBoardRow(ViewController &vc);

    QTemporaryDir dir_;
    std::unique_ptr<QSettings> defaults_;
    RecordingAlertService alerts_;
    WindowRegistry registry_ = WindowRegistry::standard();
    std::unique_ptr<ExampleWindowDispatch> dispatch_;
};

void SessionTest::init()
{
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    QFile::remove(dir_.filePath(QStringLiteral("defaults.ini")));
    defaults_ = std::make_unique<QSettings>(dir_.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    dispatch_ = std::make_unique<ExampleWindowDispatch>(registry_, alerts_, *defaults_);
}

void SessionTest::cleanup()
{
    alerts_.alerts.clear();
    dispatch_.reset();
    defaults_.reset();
    TindrelSim_clear();
}

std::unique_ptr<ViewController> SessionTest::start(bool clean)
{
    ViewController::Options options;
    options.alerts = &alerts_;
    options.terminate = [] {};
    options.defaults = defaults_.get();
    options.startClean = clean;
    options.openLeaf = [this](TindrelTreeNode *leaf, QWidget *window) { return dispatch_->openWindow(leaf, window); };
    auto vc = std::make_unique<ViewController>(std::move(options));
    vc->window()->show();
    vc->applicationDidFinishLaunching();
    return vc;
}

void SessionTest::quit(std::unique_ptr<ViewController> &vc)
{
    vc->window()->close();
    vc->applicationWillTerminate();
    vc.reset();
    QVERIFY(openExampleWindows().isEmpty());
}

void SessionTest::remember(const std::vector<session::WindowEntry> &windows)
{
    session::Session s;
    s.windows = windows;
    session::storeGroup(*defaults_, session::writeSession(s));
}

void SessionTest::waitForRow(ViewController &vc, const QString &name)
{
    const auto shown = [&] {
        vc.flushViewUpdates();
        return findRow(*vc.treeModel(), name).isValid();
    };
    QTRY_VERIFY_WITH_TIMEOUT(shown(), kWait);
    QCoreApplication::processEvents();
}

void SessionTest::waitForBoardRow(ViewController &vc) { waitForRow(vc, kBoardRow); }

void SessionTest::theTreeIsUsedFromTheKeyboard()
{
    auto vc = start(true);
    waitForBoardRow(*vc);
    QTreeView *tree = vc->tindrelTreeView();
    QVERIFY(!tree->accessibleName().isEmpty());
    vc->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(vc->window()));
    tree->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(tree->hasFocus(), kWait);

    // Down the rows by the arrows, opening folded rows on the way.
    const QModelIndex board = findRow(*vc->treeModel(), kBoardRow);
    QTest::keyClick(tree, Qt::Key_Home);
    const auto above = [&](const QModelIndex &row) {
        for (QModelIndex p = board.parent(); p.isValid(); p = p.parent())
            if (p == row)
                return true;
        return false;
    };
    for (int presses = 0; presses < 500 && tree->currentIndex().siblingAtColumn(0) != board; ++presses) {
        const QModelIndex at = tree->currentIndex().siblingAtColumn(0);
        QTest::keyClick(tree, above(at) && !tree->isExpanded(at) ? Qt::Key_Right : Qt::Key_Down);
    }
    QCOMPARE(tree->currentIndex().siblingAtColumn(0), board);
    QVERIFY(openExampleWindows().isEmpty());
    QTest::keyClick(tree, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    onlyVoltageWindow()->close();
    QTRY_VERIFY_WITH_TIMEOUT(openExampleWindows().isEmpty(), kWait);
    QTest::keyClick(tree, Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    quit(vc);
}

void SessionTest::theSessionComesBackAfterAQuit()
{
    const double defaultInterval = boardProperty("DataInterval");
    auto vc = start();
    QVERIFY(vc->restoreChannelSettingsAction());
    QVERIFY(!vc->restoreChannelSettingsAction()->isChecked());   // off until asked for
    vc->restoreChannelSettingsAction()->setChecked(true);
    vc->window()->resize(760, 520);
    vc->window()->move(20, 30);
    vc->tindrelTreeView()->setColumnWidth(DeviceTreeModel::SerialColumn, 140);
    waitForBoardRow(*vc);
    doubleClickRow(vc->tindrelTreeView(), findRow(*vc->treeModel(), kBoardRow));
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    VoltageInputController *w = onlyVoltageWindow();

    // The user's choices, the window's place and its plot.
    const int range = anotherRange(*w);
    QVERIFY(range >= 0);
    QVERIFY(w->voltageRangeCombo->choose(range));
    w->dataIntervalBox->row->choose(defaultInterval * 2);
    QCOMPARE(boardProperty("DataInterval"), defaultInterval * 2);
    QCOMPARE(boardProperty("VoltageRange"), double(range));
    w->move(60, 70);
    w->openPlot()->spanSpin->setValue(120);
    quit(vc);

    const session::ReadResult stored = session::readSession(session::loadGroup(*defaults_));
    QVERIFY(stored.problems.isEmpty());
    QCOMPARE(stored.session.windows.size(), std::size_t(1));
    const session::WindowEntry &e = stored.session.windows.front();
    QCOMPARE(e.address, kBoard);
    QCOMPARE(e.position, std::optional<QPoint>(QPoint(60, 70)));
    QCOMPARE(e.plotSpan, 120.0);
    QVERIFY(e.plotOpen);
    QCOMPARE(e.settings.value(kIntervalKey).toDouble(), defaultInterval * 2);
    QCOMPARE(e.settings.value(kRangeKey).toInt(), range);

    // The device forgets (a new rig); the panel does not.
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    QCOMPARE(boardProperty("DataInterval"), defaultInterval);
    vc = start();
    QCOMPARE(vc->window()->size(), QSize(760, 520));
    QCOMPARE(vc->window()->pos(), QPoint(20, 30));
    QCOMPARE(vc->tindrelTreeView()->columnWidth(DeviceTreeModel::SerialColumn), 140);
    QVERIFY(vc->restoreChannelSettingsAction()->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    w = onlyVoltageWindow();
    QCOMPARE(w->tindrelInfoBoxView()->serialNumTxt->text(), QStringLiteral("300509"));
    QCOMPARE(w->pos(), QPoint(60, 70));   // kept through the attach's sizing
    QCOMPARE(w->plotSpan(), 120.0);
    QVERIFY(w->plot() && w->plot()->isVisible());
    QCOMPARE(w->plot()->spanSpin->value(), 120.0);
    // Set again on the device and read back from it.
    QTRY_COMPARE_WITH_TIMEOUT(boardProperty("DataInterval"), defaultInterval * 2, kWait);
    QCOMPARE(boardProperty("VoltageRange"), double(range));
    QCOMPARE(w->dataIntervalBox->row->acceptedValue(), defaultInterval * 2);
    QCOMPARE(w->voltageRangeCombo->currentCode(), std::optional<int>(range));
    QVERIFY(!w->errorEventLogWindow());
    quit(vc);
}

void SessionTest::settingsAreLeftAloneUnlessAskedFor()
{
    const double defaultInterval = boardProperty("DataInterval");
    const double defaultRange = boardProperty("VoltageRange");
    remember({boardEntry({{kIntervalKey, defaultInterval * 4}, {kRangeKey, 3}})});
    auto vc = start();
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    VoltageInputController *w = onlyVoltageWindow();
    QCOMPARE(w->pos(), QPoint(50, 40));
    QCOMPARE(w->plotSpan(), session::defaultPlotSpan);
    QVERIFY(!w->plot());
    // The window shows the device as it is, and nothing was sent to it.
    QCOMPARE(boardProperty("DataInterval"), defaultInterval);
    QCOMPARE(boardProperty("VoltageRange"), defaultRange);
    QCOMPARE(w->dataIntervalBox->row->acceptedValue(), defaultInterval);
    quit(vc);
    // What is remembered now is what the window showed at the quit.
    const session::Session s = session::readSession(session::loadGroup(*defaults_)).session;
    QCOMPARE(s.windows.size(), std::size_t(1));
    QCOMPARE(s.windows.front().settings.value(kIntervalKey).toDouble(), defaultInterval);
}

void SessionTest::aRefusedSettingIsLoggedAndTheOthersApply()
{
    const double defaultInterval = boardProperty("DataInterval");
    const int range = 5;
    QVERIFY(boardProperty("VoltageRange") != range);
    defaults_->setValue(QLatin1String(SessionKeeper::restoreSettingsKey), true);
    // An interval far beyond the device's longest, then a range it has.
    remember({boardEntry({{kIntervalKey, 1e7}, {kRangeKey, range}})});
    auto vc = start();
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    VoltageInputController *w = onlyVoltageWindow();
    QTRY_VERIFY_WITH_TIMEOUT(w->errorEventLogWindow() && w->errorEventLogWindow()->isVisible(), kWait);
    QVERIFY(!w->errorEventLogWindow()->errorEventLog->toPlainText().trimmed().isEmpty());
    QCOMPARE(boardProperty("DataInterval"), defaultInterval);
    QCOMPARE(boardProperty("VoltageRange"), double(range));
    QCOMPARE(w->dataIntervalBox->row->acceptedValue(), defaultInterval);
    QCOMPARE(w->voltageRangeCombo->currentCode(), std::optional<int>(range));
    quit(vc);
}

void SessionTest::aWindowWhoseChannelComesLateOpensThen()
{
    QVERIFY(TindrelSim_detachDevice(kBoardId) == TINDREL_OK);
    session::WindowEntry never = boardEntry();
    never.address.serialNumber = 999001;   // on no device of the rig
    remember({boardEntry(), never});
    auto vc = start();
    waitForRow(*vc, QStringLiteral("Sound Level Board"));
    QVERIFY(openExampleWindows().isEmpty());
    QCOMPARE(vc->session()->waiting().size(), std::size_t(2));

    QVERIFY(TindrelSim_attachDevice(kBoardId) == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    QCOMPARE(onlyVoltageWindow()->tindrelInfoBoxView()->serialNumTxt->text(), QStringLiteral("300509"));
    QCOMPARE(vc->session()->waiting().size(), std::size_t(1));
    // Unplugged and back: the same window, no second one.
    QVERIFY(TindrelSim_detachDevice(kBoardId) == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(!attached(onlyVoltageWindow()), kWait);
    QVERIFY(TindrelSim_attachDevice(kBoardId) == TINDREL_OK);
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    QCOMPARE(openExampleWindows().size(), 1);
    quit(vc);

    // The window that never came waits for the next start.
    const session::Session s = session::readSession(session::loadGroup(*defaults_)).session;
    QCOMPARE(s.windows.size(), std::size_t(2));
    QCOMPARE(s.windows[0].address, kBoard);
    QCOMPARE(s.windows[1].address, never.address);
}

void SessionTest::startingCleanForgetsTheSession()
{
    defaults_->setValue(QStringLiteral("Motor/kp"), 2.5);
    remember({boardEntry()});
    // --clean: cleared at once, and nothing opens.
    auto vc = start(true);
    QVERIFY(session::loadGroup(*defaults_).isEmpty());
    waitForBoardRow(*vc);
    QVERIFY(openExampleWindows().isEmpty());
    quit(vc);
    QVERIFY(session::readSession(session::loadGroup(*defaults_)).session.windows.empty());

    // The menu item: this run reopens, the next one does not.
    remember({boardEntry()});
    vc = start();
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    QVERIFY(!vc->startCleanAction()->isChecked());
    vc->startCleanAction()->setChecked(true);
    QVERIFY(session::readSession(session::loadGroup(*defaults_)).session.startCleanAtNextLaunch);
    quit(vc);
    vc = start();
    QVERIFY(!vc->startCleanAction()->isChecked());
    waitForBoardRow(*vc);
    QVERIFY(openExampleWindows().isEmpty());
    quit(vc);
    const session::Session s = session::readSession(session::loadGroup(*defaults_)).session;
    QVERIFY(s.windows.empty());
    QVERIFY(!s.startCleanAtNextLaunch);
    QCOMPARE(defaults_->value(QStringLiteral("Motor/kp")).toDouble(), 2.5);
}

void SessionTest::aDamagedStoreLosesOnlyItsDamagedEntries()
{
    // Written by hand: one good window among damaged ones, garbage bytes included.
    defaults_.reset();
    dispatch_.reset();
    QFile file(dir_.filePath(QStringLiteral("defaults.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Motor]\nkp=2.5\n\n[Session]\nversion=1\nwindows\\size=4000000000\n"
               "mainWindow\\x=10\nmainWindow\\y=10\nmainWindow\\width=wide\nmainWindow\\height=400\n"
               "windows\\1\\serial=300509\nwindows\\1\\hubPort=0\nwindows\\1\\channel=0\nwindows\\1\\class=29\n"
               "windows\\1\\hubPortDevice=false\nwindows\\1\\remote=false\nwindows\\1\\x=30\nwindows\\1\\y=20\n"
               "windows\\2\\serial=\xff\xfe\x01\x7f\nwindows\\2\\hubPort=0\nwindows\\2\\channel=0\n"
               "windows\\2\\class=29\nwindows\\2\\hubPortDevice=false\nwindows\\2\\remote=false\n"
               "windows\\3\\serial=300510\nwindows\\3\\hubPort=0\nwindows\\3\\channel=0\nwindows\\3\\class=777\n"
               "windows\\3\\hubPortDevice=false\nwindows\\3\\remote=false\n");
    file.close();
    defaults_ = std::make_unique<QSettings>(dir_.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    dispatch_ = std::make_unique<ExampleWindowDispatch>(registry_, alerts_, *defaults_);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                           "remembered session is damaged; left out: .*main window.*window count.*"
                                           "window 2 .*window 3 \\(channel class 777 is not known\\)")));
    auto vc = start();
    QTRY_VERIFY_WITH_TIMEOUT(attached(onlyVoltageWindow()), kWait);
    QCOMPARE(onlyVoltageWindow()->pos(), QPoint(30, 20));
    QVERIFY(alerts_.alerts.isEmpty());
    quit(vc);

    QCOMPARE(defaults_->value(QStringLiteral("Motor/kp")).toDouble(), 2.5);
    const session::ReadResult again = session::readSession(session::loadGroup(*defaults_));
    QVERIFY(again.problems.isEmpty());
    QCOMPARE(again.session.windows.size(), std::size_t(1));
    QCOMPARE(again.session.windows.front().address, kBoard);
}

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
