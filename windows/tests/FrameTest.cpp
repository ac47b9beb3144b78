// The frame every example window shares: opening, attach and detach, the
// error event log, closing, and the hand-off of library events.
#include "DigitalInputController.h"
#include "ErrorEventLog.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QPalette>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <thread>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "computers": [{"id": "srv", "name": "labserver"}],
  "devices": [
    {"id": "di", "deviceId": 55, "class": 1, "serial": 5001, "name": "Test Input Board", "sku": "TDR3108_0",
     "present": false, "channels": [{"class": "DigitalInput", "count": 8}]},
    {"id": "hub", "deviceId": 123, "class": 8, "serial": 7000, "name": "Test Hub", "sku": "TDR2006_0"},
    {"id": "portdevice", "deviceId": 80, "class": 21, "parent": "hub", "hubPort": 2, "name": "Port Input",
     "sku": "XTDR3100_5/B", "channels": [{"class": "DigitalInput"}]},
    {"id": "portmode", "deviceId": 20, "class": 21, "parent": "hub", "hubPort": 3, "hubPortDevice": true,
     "name": "Port Mode Input", "sku": "NOPICTURE_0", "channels": [{"class": "DigitalInput"}]},
    {"id": "remote", "deviceId": 55, "class": 1, "serial": 6001, "server": "srv", "name": "Remote Input",
     "channels": [{"class": "DigitalInput"}]}
  ]
})";

// A window built on the frame that counts the value events it handles
// (every event) and the times it shows one (display rate).
class CountingWindow : public ExampleWindowOf<CountingWindow> {
public:
    CountingWindow()
        : ExampleWindowOf(ChannelHandle::opsFor<TindrelDigitalInputHandle, TindrelDigitalInput_create,
                                                TindrelDigitalInput_delete>())
        , state(addStream<ScalarEvent>(QStringLiteral("State"), {{QStringLiteral("State"), QString()}},
                                       [this](const ScalarEvent &) { ++shown; }))
    {
        state.onEveryEvent([this](const ScalarEvent &) { ++handled; });
    }
    int handled = 0;
    int shown = 0;
    int tornDown = 0;
    int *tearDownsOutside = nullptr;   // counts past the window's own life
    ValueStream<ScalarEvent> &state;

protected:
    void registerValueHandlers() override { subscribe(&TindrelDigitalInput_setOnStateChangeHandler, state); }
    void beforeTearDown() override
    {
        ++tornDown;
        if (tearDownsOutside)
            ++*tearDownsOutside;
    }
};

// A window posting the old way, counting on the library thread what it hands over.
class PostingWindow : public ExampleWindowOf<PostingWindow> {
public:
    PostingWindow()
        : ExampleWindowOf(ChannelHandle::opsFor<TindrelDigitalInputHandle, TindrelDigitalInput_create,
                                                TindrelDigitalInput_delete>())
    { }
    void onStateChangeHandler(const QVariant &) { ++handled; }
    int handled = 0;
    std::atomic<int> posted{0};   // value events handed to the main thread

protected:
    void registerValueHandlers() override
    {
        auto h = handle<TindrelDigitalInputHandle>();
        if (!check(TindrelDigitalInput_setOnStateChangeHandler(h, &PostingWindow::callback, contextPointer())))
            return;
        channel().addRemover([](TindrelHandle ch) {
            TindrelDigitalInput_setOnStateChangeHandler(reinterpret_cast<TindrelDigitalInputHandle>(ch), nullptr,
                                                        nullptr);
        });
    }

private:
    static void callback(TindrelDigitalInputHandle, void *ctx, int state)
    {
        post(ctx, &PostingWindow::onStateChangeHandler, QVariant(state));
        ++static_cast<PostingWindow *>(ctx)->posted;
    }
};

// A window whose handle cannot be created.
class UncreatableWindow : public ExampleWindowOf<UncreatableWindow> {
public:
    UncreatableWindow()
        : ExampleWindowOf(ChannelHandle::Ops{[](TindrelHandle *) -> TindrelReturnCode { return TINDREL_ENOMEMORY; },
                                             [](TindrelHandle *h) -> TindrelReturnCode {
                                                 *h = nullptr;
                                                 return TINDREL_OK;
                                             }})
    { }
};

// A box always shown and a taller one never shown, sized by a height rule.
class RuledWindow : public ExampleWindowOf<RuledWindow> {
public:
    explicit RuledWindow(int rule, bool hiddenCountsOnlyWhenShown = false)
        : ExampleWindowOf(ChannelHandle::opsFor<TindrelDigitalInputHandle, TindrelDigitalInput_create,
                                                TindrelDigitalInput_delete>())
    {
        shownBox = new AttachBox(QStringLiteral("Shown"), this);
        (new QVBoxLayout(shownBox))->addWidget(new QLabel(QStringLiteral("shown"), shownBox));
        hiddenBox = new AttachBox(QStringLiteral("Never shown"), this, [] { return false; });
        auto *rows = new QVBoxLayout(hiddenBox);
        for (int i = 0; i < 6; ++i)
            rows->addWidget(new QLabel(QStringLiteral("row"), hiddenBox));
        contentLayout()->addWidget(shownBox);
        contentLayout()->addWidget(hiddenBox);
        if (hiddenCountsOnlyWhenShown)
            setHeightRule(static_cast<HeightRule>(rule), {hiddenBox});
        else
            setHeightRule(static_cast<HeightRule>(rule));
    }
    void fold(bool shown) { foldBox(hiddenBox, shown); }
    static constexpr int fitShown = static_cast<int>(HeightRule::FitShown);
    static constexpr int maximumAtAttach = static_cast<int>(HeightRule::MaximumAtAttach);
    static constexpr int keptUntilDetach = static_cast<int>(HeightRule::KeptUntilDetach);
    static constexpr int maximumSizeAtAttach = static_cast<int>(HeightRule::MaximumSizeAtAttach);
    AttachBox *shownBox;
    AttachBox *hiddenBox;
};

// Toggles the state of the given channels of device "di" until stopped.
class ValuePump {
public:
    explicit ValuePump(int channels)
        : thread_([this, channels] {
            for (int i = 0; !stop_; ++i) {
                for (int c = 0; c < channels; ++c)
                    TindrelSim_setInputValue("di", TINDREL_CHCLASS_DIGITALINPUT, c, "State", i % 2);
                ++rounds;
            }
        })
    { }
    ~ValuePump()
    {
        stop_ = true;
        thread_.join();
    }
    std::atomic<int> rounds{0};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}   // namespace

class FrameTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void absentChannelWaitsCollapsedThenFillsOnPlugIn()
    {
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        QCOMPARE(deviceText(*w), QStringLiteral("Nothing"));
        QVERIFY(w->tindrelInfoBox()->isVisible());
        QVERIFY(!w->dataBox->isVisible());
        const int collapsed = w->height();

        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        QVERIFY(w->dataBox->isVisible());
        QVERIFY(w->height() > collapsed);
        const auto *info = w->tindrelInfoBoxView();
        QCOMPARE(info->serialNumTxt->text(), QStringLiteral("5001"));
        QCOMPARE(info->channelTxt->text(), QStringLiteral("0"));
        QVERIFY(info->hubPortLbl->isHidden());
        QVERIFY(info->remoteLbl->isHidden());
        const int expanded = w->height();

        // Unplug collapses and clears; plugging back restores the same window.
        QCOMPARE(TindrelSim_detachDevice("di"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->dataBox->isVisible());
        QCOMPARE(w->height(), collapsed);
        QCOMPARE(info->serialNumTxt->text(), QString());

        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        QCOMPARE(w->height(), expanded);
        QVERIFY(w->hasChannel());
    }

    void deviceOnHubPortShowsHubSerialAndPort()
    {
        Surroundings s;
        s.aimAt(7000);
        s.defaults().setValue("v", 2);
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Port Input")));
        const auto *info = w->tindrelInfoBoxView();
        QCOMPARE(info->serialNumLbl->text(), QStringLiteral("Hub Serial Number: "));
        QCOMPARE(info->serialNumTxt->text(), QStringLiteral("7000"));
        QVERIFY(info->hubPortLbl->isVisible());
        QCOMPARE(info->hubPortTxt->text(), QStringLiteral("2"));
        // The product code holds the family's catalogue number: the family picture.
        QVERIFY(!info->pictureBox->pixmap().isNull());
    }

    void picturesFollowTheProductCode()
    {
        const QString savedName = QCoreApplication::applicationName();
        Surroundings s;

        // A port-mode channel of a hub shows the hub's picture, and outside
        // the control panel the picture also becomes the application icon.
        QCoreApplication::setApplicationName(QStringLiteral("Some Example"));
        QApplication::setWindowIcon(QIcon());
        s.aimAt(7000);
        s.defaults().setValue("v", 3);
        s.defaults().setValue("h", true);
        auto portMode = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*portMode, QStringLiteral("Port Mode Input")));
        const QPixmap hubPicture = portMode->tindrelInfoBoxView()->pictureBox->pixmap();
        QVERIFY(!hubPicture.isNull());
        QVERIFY(!QApplication::windowIcon().isNull());

        // Inside the control panel the icon stays; a product without a
        // picture leaves the picture empty.
        QCoreApplication::setApplicationName(QStringLiteral("Tindrel Control Panel"));
        QApplication::setWindowIcon(QIcon());
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        s.aimAt(5001);
        auto plain = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*plain, QStringLiteral("Test Input Board")));
        QVERIFY(plain->tindrelInfoBoxView()->pictureBox->pixmap().isNull());
        s.aimAt(7000);
        s.defaults().setValue("v", 2);
        auto family = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*family, QStringLiteral("Port Input")));
        QVERIFY(!family->tindrelInfoBoxView()->pictureBox->pixmap().isNull());
        QVERIFY(QApplication::windowIcon().isNull());

        // Detach clears the picture.
        QCOMPARE(TindrelSim_detachDevice("hub"), TINDREL_OK);
        QVERIFY(waitDetached(*portMode));
        QVERIFY(portMode->tindrelInfoBoxView()->pictureBox->pixmap().isNull());
        QCoreApplication::setApplicationName(savedName);
    }

    void remoteDeviceShowsMarkerUntilDetached()
    {
        Surroundings s;
        s.aimAt(6001);
        s.defaults().setValue("r", true);
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Remote Input")));
        QVERIFY(w->tindrelInfoBoxView()->remoteLbl->isVisible());
        QVERIFY(s.alerts.alerts.isEmpty());

        QCOMPARE(TindrelSim_removeServer("srv"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(w->tindrelInfoBoxView()->remoteLbl->isHidden());
    }

    void windowsOfOneClassShareTheErrorCount()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001, 0);
        auto a = s.open<DigitalInputController>();
        s.aimAt(5001, 1);
        auto b = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*a, QStringLiteral("Test Input Board")));
        QVERIFY(waitAttached(*b, QStringLiteral("Test Input Board")));
        a->clearErrorLog();
        QVERIFY(!a->errorEventLogWindow());

        QCOMPARE(TindrelSim_injectError("di", TINDREL_CHCLASS_DIGITALINPUT, 0, TINDREL_EEVENT_OVERCURRENT, "too much"),
                 TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(a->errorEventLogWindow() && a->errorEventLogWindow()->isVisible(), deadlineMs);
        QCOMPARE(a->errorEventLogWindow()->errorEventLogCounter->text(), QStringLiteral("1"));
        QCOMPARE(a->errorEventLogWindow()->errorEventLog->toPlainText(), QStringLiteral("too much\n"));
        QVERIFY(!b->errorEventLogWindow());

        QCOMPARE(TindrelSim_injectError("di", TINDREL_CHCLASS_DIGITALINPUT, 1, TINDREL_EEVENT_OVERCURRENT, "again"),
                 TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(b->errorEventLogWindow(), deadlineMs);
        QCOMPARE(b->errorEventLogWindow()->errorEventLogCounter->text(), QStringLiteral("2"));
        QCOMPARE(DigitalInputController::sharedErrorCount(), 2);

        // Clearing in one window resets the count both windows show next.
        a->errorEventLogWindow()->clearButton->click();
        QCOMPARE(a->errorEventLogWindow()->errorEventLog->toPlainText(), QString());
        QCOMPARE(a->errorEventLogWindow()->errorEventLogCounter->text(), QStringLiteral("0"));
        QCOMPARE(DigitalInputController::sharedErrorCount(), 0);
        QCOMPARE(TindrelSim_injectError("di", TINDREL_CHCLASS_DIGITALINPUT, 1, TINDREL_EEVENT_OVERCURRENT, "third"),
                 TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(b->errorEventLogWindow()->errorEventLogCounter->text(), QStringLiteral("1"),
                                  deadlineMs);
        // Further errors only append.
        QCOMPARE(b->errorEventLogWindow()->errorEventLog->toPlainText(), QStringLiteral("again\nthird\n"));
        // Another class keeps its own count.
        QCOMPARE(CountingWindow::sharedErrorCount(), 0);
    }

    void logLinesUseTheControlTextColour()
    {
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        w->outputError(QStringLiteral("first"));
        w->outputError(QStringLiteral("second"));
        QTextEdit *log = w->errorEventLogWindow()->errorEventLog;
        QCOMPARE(log->toPlainText(), QStringLiteral("first\nsecond\n"));
        // Lines written before the desktop's palette changed are drawn in the new text colour.
        QPalette dark = log->palette();
        dark.setColor(QPalette::Base, Qt::black);
        dark.setColor(QPalette::Text, QColor(255, 0, 0));
        log->setPalette(dark);
        const QImage drawn = log->viewport()->grab().toImage();
        int newColour = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                newColour += c.red() > 100 && c.green() < 60 && c.blue() < 60;   // red, as smoothed on black
            }
        QVERIFY2(newColour > 10, qPrintable(QString::number(newColour)));
        // A long-running log holds its lines once, not again as undo steps.
        QCOMPARE(log->document()->availableUndoSteps(), 0);
    }

    void failingLibraryCallLogsItsDetail()
    {
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        // The channel is not attached: setting the input mode fails.
        w->setInputMode(1);
        QVERIFY(w->errorEventLogWindow());
        QVERIFY(!w->errorEventLogWindow()->errorEventLog->toPlainText().trimmed().isEmpty());
    }

    void errorWhoseDetailCannotBeFetchedLogsNothing()
    {
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        const int before = DigitalInputController::sharedErrorCount();
        QCOMPARE(TindrelSim_failLastErrorReads(1), TINDREL_OK);
        // The channel is not attached: setting the input mode fails, but its
        // detail cannot be read.
        w->setInputMode(1);
        QCOMPARE(TindrelSim_failLastErrorReads(0), TINDREL_OK);
        QVERIFY(!w->errorEventLogWindow() || w->errorEventLogWindow()->errorEventLog->toPlainText().isEmpty());
        QCOMPARE(DigitalInputController::sharedErrorCount(), before);
    }

    void closingTwiceIsHarmless()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        QSignalSpy closing(w.get(), &ExampleWindow::windowWillClose);
        w->close();
        QVERIFY(!w->hasChannel());
        w->show();
        w->close();
        w->tearDown();
        QCOMPARE(closing.count(), 1);

        // The channel was given back: a new window can have it.
        auto again = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*again, QStringLiteral("Test Input Board")));

        UncreatableWindow broken;
        broken.setUp(s.env());
        QVERIFY(!broken.hasChannel());
        broken.close();
        broken.close();
    }

    void eventsInFlightAtCloseAreDropped()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<CountingWindow>();
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        {
            ValuePump pump(1);
            QTRY_VERIFY_WITH_TIMEOUT(w->handled > 20, deadlineMs);
            // Events posted before this close are still queued: none may run.
            w->close();
            const int handledAtClose = w->handled;
            const int roundsAtClose = pump.rounds;
            QTRY_VERIFY_WITH_TIMEOUT(pump.rounds > roundsAtClose + 50, deadlineMs);
            QCoreApplication::processEvents();
            QCOMPARE(w->handled, handledAtClose);
        }
    }

    // (The display-rate side is checked with a fast voltage input.)
    void everyEventIsCountedAndTheLatestShown()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<CountingWindow>();
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        {
            ValuePump pump(1);
            QTRY_VERIFY_WITH_TIMEOUT(w->handled > 30, deadlineMs);
        }
        w->flushValues();
        QCOMPARE(static_cast<quint64>(w->handled), w->state.eventCount());
        QVERIFY(w->shown > 0);
        QVERIFY(w->shown <= w->handled);
    }

    void beforeTearDownRunsOnceOnCloseAndOnDestruction()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto closed = s.open<CountingWindow>();
        QVERIFY(waitAttached(*closed, QStringLiteral("Test Input Board")));
        closed->close();
        closed->close();
        QCOMPARE(closed->tornDown, 1);

        // Destroyed without closing: the hook runs once, while the window is
        // still whole (the override is reached, not the frame's default).
        int seen = 0;
        int tearDowns = 0;
        {
            s.aimAt(5001, 1);
            auto destroyed = s.open<CountingWindow>();
            QVERIFY(waitAttached(*destroyed, QStringLiteral("Test Input Board")));
            destroyed->tearDownsOutside = &tearDowns;
            QObject::connect(destroyed.get(), &QObject::destroyed, [&] { ++seen; });
            destroyed.reset();
        }
        QCOMPARE(seen, 1);
        QCOMPARE(tearDowns, 1);
    }

    void conditionalBoxesFollowTheChannelAndAllHideOnDetach()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        // Device 55 is the configurable one.
        QVERIFY(w->settingsBox->isVisible());
        QCOMPARE(w->identity().deviceId, 55);
        QCOMPARE(TindrelSim_detachDevice("di"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(!w->settingsBox->isVisible());
        QVERIFY(!w->dataBox->isVisible());

        s.aimAt(7000);
        s.defaults().setValue("v", 2);
        auto other = s.open<DigitalInputController>();
        QVERIFY(waitAttached(*other, QStringLiteral("Port Input")));
        QVERIFY(!other->settingsBox->isVisible());
        QVERIFY(other->dataBox->isVisible());
    }

    void heightRulesSizeTheWindowAtOpenAttachAndDetach()
    {
        QMap<int, int> attached, collapsed;
        for (int rule : {RuledWindow::fitShown, RuledWindow::maximumAtAttach, RuledWindow::keptUntilDetach}) {
            Surroundings s;
            s.aimAt(7000);
            s.defaults().setValue("v", 2);
            auto w = std::unique_ptr<RuledWindow>(new WindowInstance<RuledWindow>(rule));
            w->resize(500, 900);
            w->setUp(s.env());
            w->show();
            const int opened = w->height();
            QVERIFY(waitAttached(*w, QStringLiteral("Port Input")));
            QVERIFY(w->shownBox->isVisible());
            QVERIFY(!w->hiddenBox->isVisible());
            attached[rule] = w->height();
            if (rule == RuledWindow::keptUntilDetach) {
                QCOMPARE(opened, 900);
                QCOMPARE(attached[rule], 900);
            } else {
                QVERIFY(opened < attached[rule]);
            }
            QCOMPARE(TindrelSim_detachDevice("portdevice"), TINDREL_OK);
            QVERIFY(waitDetached(*w));
            collapsed[rule] = w->height();
            QVERIFY(collapsed[rule] < attached[rule]);
            QCOMPARE(TindrelSim_attachDevice("portdevice"), TINDREL_OK);
            QVERIFY(waitAttached(*w, QStringLiteral("Port Input")));
            // Kept: not grown back, only to what the shown boxes need.
            QCOMPARE(w->height(),
                     rule == RuledWindow::keptUntilDetach ? attached[RuledWindow::fitShown] : attached[rule]);
            QVERIFY(w->height() >= w->layout()->minimumSize().height());
        }
        // The maximum leaves room for the box that never shows.
        QVERIFY(attached[RuledWindow::maximumAtAttach] > attached[RuledWindow::fitShown] + 50);
        QCOMPARE(collapsed[RuledWindow::maximumAtAttach], collapsed[RuledWindow::fitShown]);
        QCOMPARE(collapsed[RuledWindow::keptUntilDetach], collapsed[RuledWindow::fitShown]);
    }

    void boxesCountedOnlyWhenShownFoldInAndOut()
    {
        int maximum = 0;
        {
            Surroundings s;
            s.aimAt(7000);
            s.defaults().setValue("v", 2);
            auto full = std::unique_ptr<RuledWindow>(new WindowInstance<RuledWindow>(RuledWindow::maximumSizeAtAttach));
            full->setUp(s.env());
            full->show();
            const QSize opened = full->size();
            QVERIFY(waitAttached(*full, QStringLiteral("Port Input")));
            maximum = full->height();
            QVERIFY(maximum > opened.height());
            QCOMPARE(full->width(),
                     std::max(full->layout()->sizeHint().width(), full->layout()->minimumSize().width()));
            QCOMPARE(TindrelSim_detachDevice("portdevice"), TINDREL_OK);
            QVERIFY(waitDetached(*full));
            QCOMPARE(full->height(), opened.height());
            QCOMPARE(full->width(), full->minimumWidth());
            QCOMPARE(TindrelSim_attachDevice("portdevice"), TINDREL_OK);
        }
        Surroundings s;
        s.aimAt(7000);
        s.defaults().setValue("v", 2);
        auto folding =
            std::unique_ptr<RuledWindow>(new WindowInstance<RuledWindow>(RuledWindow::maximumAtAttach, true));
        folding->resize(500, 200);
        folding->setUp(s.env());
        folding->show();
        QVERIFY(waitAttached(*folding, QStringLiteral("Port Input")));
        const int folded = folding->height();
        QVERIFY(folded < maximum - 50);
        const int width = folding->width();
        folding->fold(true);
        QVERIFY(folding->hiddenBox->isVisible());
        QVERIFY(folding->height() >= maximum);
        const int unfolded = folding->height();
        folding->fold(false);
        QVERIFY(!folding->hiddenBox->isVisible());
        QCOMPARE(folding->height(), folded);
        QCOMPARE(folding->width(), width);
        folding->fold(true);
        QCOMPARE(folding->height(), unfolded);

        // Detached, folding out shows nothing and leaves the minimum.
        QCOMPARE(TindrelSim_detachDevice("portdevice"), TINDREL_OK);
        QVERIFY(waitDetached(*folding));
        const int collapsed = folding->height();
        QVERIFY(collapsed < folded);
        folding->fold(true);
        QVERIFY(!folding->hiddenBox->isVisible());
        QCOMPARE(folding->height(), collapsed);
        QCOMPARE(TindrelSim_attachDevice("portdevice"), TINDREL_OK);
    }

    void eventPostedBeforeTearDownIsDropped()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        s.aimAt(5001);
        auto w = s.open<PostingWindow>();
        QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        double state = 0;
        QCOMPARE(TindrelSim_getPropertyValue("di", TINDREL_CHCLASS_DIGITALINPUT, 0, "State", &state), TINDREL_OK);
        // Everything posted so far has run; from here the event loop stays still.
        QTest::qWait(20);
        QCoreApplication::processEvents();
        const int handledBefore = w->handled;
        const int postedBefore = w->posted;
        QCOMPARE(TindrelSim_setInputValue("di", TINDREL_CHCLASS_DIGITALINPUT, 0, "State", state ? 0 : 1), TINDREL_OK);
        // Wait for the library thread to post the event, without running it.
        QDeadlineTimer deadline(deadlineMs);
        while (w->posted == postedBefore && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QCOMPARE(w->posted, postedBefore + 1);
        QCOMPARE(w->handled, handledBefore);
        w->tearDown();
        QCoreApplication::processEvents();
        QCOMPARE(w->handled, handledBefore);   // the queued event found the window torn down
    }

    void manyWindowsCloseWhileValuesStream()
    {
        QCOMPARE(TindrelSim_attachDevice("di"), TINDREL_OK);
        Surroundings s;
        std::vector<std::unique_ptr<CountingWindow>> windows;
        for (int c = 0; c < 8; ++c) {
            s.aimAt(5001, c);
            windows.push_back(s.open<CountingWindow>());
        }
        for (auto &w : windows)
            QVERIFY(waitAttached(*w, QStringLiteral("Test Input Board")));
        ValuePump pump(8);
        QTRY_VERIFY_WITH_TIMEOUT(windows.back()->handled > 10, deadlineMs);
        // Close some, destroy others without closing, while events keep coming.
        for (size_t i = 0; i < windows.size(); ++i) {
            if (i % 2 == 0)
                windows[i]->close();
            else
                windows[i].reset();
            QCoreApplication::processEvents();
        }
        windows.clear();
        const int rounds = pump.rounds;
        QTRY_VERIFY_WITH_TIMEOUT(pump.rounds > rounds + 50, deadlineMs);
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
