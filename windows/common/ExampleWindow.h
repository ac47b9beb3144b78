#pragma once

#include "ChannelHandle.h"
#include "CodePopup.h"
#include "ErrorEventLog.h"
#include "ValueEvents.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QList>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QVBoxLayout;
class QHBoxLayout;
class QLabel;
class QAction;
class QPushButton;

namespace tindrel {

class TindrelInfoBox;
class AlertService;
class ExampleWindow;
class AlertService;
class BoundRow;
class EventRecorder;
class PlotWindow;
struct WindowEnvironment;

// Device ID and channel subclass, read by the frame at each attach before
// the window's own reads.
struct ChannelIdentity {
    int32_t deviceId = 0;
    int32_t subclass = 0;
};

// Sees every value event of a window, in order, on the main thread (the
// plot and the recording).
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void takeEvent(const EventSample &sample) = 0;
};

// One value event of a window. The library callback hands each event to the
// window's mailbox; the main thread takes them out in batches, gives every
// event to the counters and sinks, and shows the latest one at display rate.
class ValueStreamBase {
public:
    virtual ~ValueStreamBase() = default;
    const QString &name() const { return name_; }
    const std::vector<FieldInfo> &fields() const { return fields_; }
    // Events taken in by the main thread so far.
    quint64 eventCount() const { return count_; }
    // Events the library callbacks handed in so far (any thread).
    quint64 deliveredCount() const { return delivered_.load(std::memory_order_relaxed); }
    // Times the display handler ran (at most at display rate).
    quint64 displayCount() const { return displays_; }
    int index() const { return index_; }

protected:
    ValueStreamBase(ExampleWindow &window, int index, QString name, std::vector<FieldInfo> fields)
        : window_(window)
        , index_(index)
        , name_(std::move(name))
        , fields_(std::move(fields))
    { }
    ExampleWindow &window_;

private:
    friend class ExampleWindow;
    // Under the mailbox lock: move what the callbacks left for the main thread.
    virtual void takePending() = 0;
    // Main thread: every event to its per-event handler, then forget them.
    virtual void handleEvery() = 0;
    // Main thread: the latest value to the display handler, if new.
    virtual void showLatest() = 0;

    const int index_;
    const QString name_;
    const std::vector<FieldInfo> fields_;
    quint64 count_ = 0;

protected:
    quint64 displays_ = 0;
    std::atomic<quint64> delivered_{0};
};

template <EventShape Shape>
class ValueStream;

// The frame shared by every example window: one channel handle of the
// window's class, the device information box, the boxes shown only while
// the channel is attached, the error event log, and the life cycle
//   setUp -> (attach <-> detach)* -> tearDown.
// Library callbacks only box their values and post them to the main thread;
// a posted event that arrives after tear-down is dropped.
//
// A window class derives from ExampleWindowOf<itself> (which gives it its
// own error counter), builds its widgets in its constructor inside
// contentLayout(), and overrides the hooks it needs.
class ExampleWindow : public QWidget {
    Q_OBJECT
public:
    // Window form: the window owns itself while open. View form: a
    // ViewFormController holds it until it closes.
    enum class Form { Window, View };

    ~ExampleWindow() override;

    Form form() const { return form_; }

    // Set-up and open: collapse and centre, clear the information box,
    // create the handle, register the callbacks, open with the settings.
    void setUp(const WindowEnvironment &env);
    // Runs beforeTearDown, removes callbacks, closes and deletes the
    // handle; later calls do nothing.
    void tearDown();
    // True from a successful create until tear-down.
    bool hasChannel() const { return static_cast<bool>(ch_); }
    // The channel's handle as its class's handle type (also for tools and
    // tests that read the device beside the window).
    template <class H>
    H handle() const
    {
        return ch_.as<H>();
    }

    void onAttachHandler();
    void onDetachHandler();
    // Asynchronous library error: (code as int, description as string).
    void errorHandler(const QVariant &codeAndDescription);

    // Error event log.
    void outputError(const QString &text);
    void outputLastError();
    void clearErrorLog();
    int errorCount() const { return errorCounter_; }
    // Absent until the first error is logged.
    ErrorEventLog *errorEventLogWindow() const { return errorLog_; }

    // Shown while attached (when condition holds at attach), hidden on detach.
    void registerAttachBox(QWidget *box, std::function<bool()> condition = {});

    // What the frame read at the last attach.
    const ChannelIdentity &identity() const { return identity_; }

    // Value streams of this window, in declaration order.
    const std::vector<std::unique_ptr<ValueStreamBase>> &streams() const { return streams_; }
    // Every value event from now on, in order (plot, recording). Not owned.
    void addEventSink(EventSink *sink);
    void removeEventSink(EventSink *sink);
    // Takes in what the callbacks have delivered and shows it now.
    void flushValues();

    // Posted calls of all windows waiting in the main thread's queue, and
    // the most there were at once.
    static int postedInFlight() { return inFlight_.load(); }
    static int postedInFlightPeak() { return inFlightPeak_.load(); }
    static void resetPostedPeak() { inFlightPeak_ = inFlight_.load(); }
    // Displays repaint at most this often.
    static constexpr std::chrono::milliseconds displayInterval{16};

    // The bar under the settings with the plot and record controls (shown
    // while attached, for windows with value streams).
    QWidget *toolBar() const { return toolBar_; }
    QPushButton *plotButton() const { return plotButton_; }
    QPushButton *recordButton() const { return recordButton_; }
    QLabel *recordingIndicator() const { return recordingIndicator_; }

    // The live plot of this window's values, opened (or raised) on demand.
    PlotWindow *openPlot();
    PlotWindow *plot() const;
    // Records every value event from now on into path; a file that cannot
    // be written is logged and records nothing. The record button asks the
    // user for the file.
    bool startRecording(const QString &path);
    // Writes what is queued and closes the file.
    void stopRecording();
    EventRecorder *recorder() const { return recorder_.get(); }

    // Channel settings files, in the command line's format: every settable
    // property of the channel. Saving writes this channel's entry. Loading
    // sets the file's entry for this channel (the one naming its address,
    // else the first of its class), reads the channel again as at attach and
    // reads every setting back. Properties not set or reading back otherwise
    // go to the error event log; a file that cannot be read or written gets
    // an alert and changes nothing. True when everything went through.
    // The actions (context menu, Ctrl+S and Ctrl+O) ask for the file and are
    // enabled while the channel is attached.
    bool saveSettingsTo(const QString &path);
    bool loadSettingsFrom(const QString &path);
    QAction *saveSettingsAction() const { return saveSettingsAction_; }
    QAction *loadSettingsAction() const { return loadSettingsAction_; }

    // Where this window's alerts go (the surroundings given to setUp).
    AlertService *alertService() const { return alerts_; }

    TindrelInfoBox *tindrelInfoBoxView() const { return infoBox_; }

    // For a remembered session. From now on the window keeps its top-left
    // corner where it is put instead of centring itself at each sizing.
    void placeAt(QPoint topLeft);
    // The plot's span in seconds, also before the plot is first opened.
    double plotSpan() const;
    void setPlotSpan(double seconds);
    // The bound rows' values by their keys: as they stand while attached,
    // as they stood at the last detach otherwise (or as they wait to be
    // restored, before the first attach).
    QVariantMap boundSettings() const;
    // Once, at the next attach, after the window's own reads: each value is chosen in its row as the user
    // would, pop-ups and checks before sliders; a refusal is logged like any failed set, and the others
    // still go; then every row is read back. Values for rows that do not apply are left out, with a warning.
    void restoreSettingsAtNextAttach(QVariantMap settings);
    // A pop-up of the window's own (not a bound row: the window sends its
    // choice itself, from QComboBox::activated) that is remembered with the
    // bound rows under name: the item it shows while it applies (shown and
    // enabled). Restored before the bound rows by choosing the item as the
    // user would; then readBack shows what the channel holds (unset: the
    // pop-up is left as chosen). name: letters, digits, '_', '.', '-'.
    void rememberPopup(const QString &name, QComboBox *popup, std::function<void()> readBack = {});
    // As above for a pop-up whose items stand for library codes: after a
    // restore the item of the channel's code, read by get, is shown (the
    // item codeOf maps to that code; none shown when no item does).
    template <class H, class T, class CodeOf>
    void rememberPopup(const QString &name, QComboBox *popup, TindrelReturnCode (*get)(H, T *), CodeOf codeOf)
    {
        rememberPopup(name, popup, [this, popup, get, codeOf] {
            T value{};
            if (!check(get(handle<H>(), &value)))
                return;
            popup->setCurrentIndex(-1);
            for (int item = 0; item < popup->count(); ++item)
                if (codeOf(item) == static_cast<int>(value))
                    popup->setCurrentIndex(item);
        });
    }
    // The same for a pop-up of a code table: the channel's code is selected.
    template <class H, class T>
    void rememberPopup(const QString &name, CodePopup *popup, TindrelReturnCode (*get)(H, T *))
    {
        rememberPopup(name, popup, [this, popup, get] {
            T value{};
            if (check(get(handle<H>(), &value)))
                popup->selectCode(static_cast<int>(value));
        });
    }

    // The user defaults and the alerts of the surroundings the window was
    // set up in, for windows that keep settings of their own or confirm
    // with a modal alert; null before set-up.
    QSettings *userDefaults() const { return defaults_; }
    AlertService *alerts() const { return alerts_; }
    QGroupBox *tindrelInfoBox() const { return infoFrame_; }

signals:
    // Emitted once when the window closes, after tear-down.
    void windowWillClose();

protected:
    ExampleWindow(int &errorCounter, ChannelHandle::Ops ops, Form form, QWidget *parent = nullptr);

    // Hooks, all on the main thread.
    virtual void registerValueHandlers() { }   // after the common callbacks
    // Reads and settings. The identity and the bound rows are read already;
    // attach boxes are shown after it returns, by their conditions.
    virtual void onAttach() { }
    virtual void onDetach() { }   // reset the value displays; boxes are hidden already
    // An asynchronous error event, after its description was logged.
    virtual void onErrorEvent(int code) { Q_UNUSED(code); }
    // When the window sizes itself: after set-up, after attach, after
    // detach. The default fits the height to what is shown and centres.
    enum class SizingMoment { Open, Attach, Detach };
    virtual void sizeWindow(SizingMoment moment);
    // What the default sizing does with the height; it always centres.
    enum class HeightRule {
        FitShown,              // fits what is shown at every moment
        MaximumAtAttach,       // maximum height at attach, minimum at open and detach
        KeptUntilDetach,       // kept at open and attach (never below what the shown
                               // content needs), minimum at detach
        MaximumSizeAtAttach,   // as MaximumAtAttach, and the width too
    };
    // Under the maximum rules, the boxes in countedWhenShown make room only
    // while they are shown: the maximum plus those of them that are shown.
    void setHeightRule(HeightRule rule, std::vector<QPointer<QWidget>> countedWhenShown = {})
    {
        heightRule_ = rule;
        countedWhenShown_ = std::move(countedWhenShown);
    }
    // Shows or folds away a box of the maximum height while attached: the
    // maximum height when shown, that less the box's room when folded.
    // Detached, the window keeps only what is shown. Origin and width stay.
    void foldBox(QWidget *box, bool shown);
    // After a settings file set the channel's properties: show what the
    // channel holds now. The default reads the channel again as at a new
    // attach; a window whose attach does more than read (captures defaults,
    // applies saved settings) refreshes its displays itself instead.
    virtual void showLoadedSettings();
    // Just before the channel is torn down, on every path (close or
    // destruction), once: stop timers and worker threads here.
    virtual void beforeTearDown() { }

    // Whether failed reads of the identity and the bound rows at attach are
    // logged (default) or passed over.
    void setReportAttachReads(bool report) { reportAttachReads_ = report; }
    bool checkRead(TindrelReturnCode rc) { return reportAttachReads_ ? check(rc) : rc == TINDREL_OK; }

    // A value stream owned by the frame; display gets the latest value at
    // display rate. Subscribe it in registerValueHandlers().
    template <EventShape Shape>
    ValueStream<Shape> &addStream(QString name, std::vector<FieldInfo> fields,
                                  std::function<void(const Shape &)> display);

    // Registers the library's value handler of a stream: the callback is
    // made from the setter's callback type and builds Shape::from(its
    // arguments). Removed at tear-down. A failure is logged.
    template <EventShape Shape, class H, class... Args>
    void subscribe(TindrelReturnCode (*setter)(H, void (*)(H, void *, Args...), void *), ValueStream<Shape> &stream);

    // The layout under the information box where a window puts its boxes.
    QVBoxLayout *contentLayout() const { return content_; }

    ChannelHandle &channel() { return ch_; }

    // Logs the last error when rc is a failure; true on success.
    bool check(TindrelReturnCode rc);

    // From a library callback (any thread): queue handler(box) for the main
    // thread without waiting. ctx is the context the callback was registered with.
    template <class Self>
    static void post(void *ctx, void (Self::*handler)(const QVariant &), QVariant box)
    {
        auto *window = static_cast<ExampleWindow *>(ctx);
        window->postToMainThread(
            [window, handler, box = std::move(box)] { (static_cast<Self *>(window)->*handler)(box); });
    }

    void *contextPointer() { return static_cast<ExampleWindow *>(this); }

    // Sizing helpers for sizeWindow.
    // Fits the height to the shown content (the default).
    void fitHeightToShownContent();
    int heightOfShownContent();
    // The window's maximum height: what the content needs with every attach
    // box shown, whether shown now or not (boxes left hidden leave room).
    int heightWithEveryBoxShown();
    // The width the content asks for with every box shown; the minimum width.
    int widthWithEveryBoxShown();
    int minimumContentWidth();
    void fitHeightToEveryBox();
    // The height with only the information box shown.
    int collapsedHeight();
    // Height: the collapsed height plus the heights of these boxes and extra.
    void growBy(std::initializer_list<const QWidget *> boxes, int extra = 0);
    void setWidthTo(int width);
    void centre();
    // Fixed sizes with the window's top-left corner kept where it is: the
    // outer frame (decorations included) or the content area alone.
    void setFrameSizeKeepingOrigin(QSize frame);
    void setContentSizeKeepingOrigin(QSize content);

    void closeEvent(QCloseEvent *event) override;

private:
    friend class BoundRow;
    template <EventShape>
    friend class ValueStream;
    void postToMainThread(std::function<void()> work);
    void hideAttachBoxes();
    void showAttachBoxes();
    void registerBoundRow(BoundRow *row);
    void runBeforeTearDown();
    QVariantMap boundSettingsNow() const;
    void applySettings(const QVariantMap &settings);

    // Mailbox between the library callbacks and the main thread.
    template <class Store>
    void putInMailbox(const EventSample &sample, Store &&store);
    void drainMailbox();
    void showValues();
    void addTools();
    void chooseRecordingFile();
    void showRecording();
    void addSettingsActions();
    void settingsFileAlert(const QString &title, const QString &text);

    static void attachCallback(TindrelHandle ch, void *ctx);
    static void detachCallback(TindrelHandle ch, void *ctx);
    static void errorCallback(TindrelHandle ch, void *ctx, int32_t code, const char *description);

    int &errorCounter_;
    const ChannelHandle::Ops ops_;
    const Form form_;
    AlertService *alerts_ = nullptr;
    ChannelHandle ch_;
    QGroupBox *infoFrame_;
    TindrelInfoBox *infoBox_;
    QVBoxLayout *content_;
    QWidget *toolBar_;
    QPushButton *plotButton_ = nullptr;
    QPushButton *recordButton_ = nullptr;
    QLabel *recordingIndicator_ = nullptr;
    QAction *saveSettingsAction_ = nullptr;
    QAction *loadSettingsAction_ = nullptr;
    QPointer<PlotWindow> plot_;
    std::unique_ptr<EventRecorder> recorder_;
    bool recordingFailureShown_ = false;
    QPointer<ErrorEventLog> errorLog_;
    struct AttachBoxEntry {
        QPointer<QWidget> box;
        std::function<bool()> condition;
    };
    std::vector<AttachBoxEntry> attachBoxes_;
    std::vector<BoundRow *> boundRows_;
    struct RememberedPopup {
        QString name;
        QPointer<QComboBox> popup;
        std::function<void()> readBack;
    };
    std::vector<RememberedPopup> rememberedPopups_;
    ChannelIdentity identity_;
    QPointer<QSettings> defaults_;
    bool reportAttachReads_ = true;
    HeightRule heightRule_ = HeightRule::FitShown;
    std::vector<QPointer<QWidget>> countedWhenShown_;
    bool attached_ = false;
    bool keepPlace_ = false;
    double plotSpan_;
    QVariantMap settingsAtDetach_;
    std::optional<QVariantMap> settingsToRestore_;
    std::vector<QWidget *> showEveryBox();
    bool closed_ = false;
    bool tornDown_ = false;

    std::vector<std::unique_ptr<ValueStreamBase>> streams_;
    std::vector<EventSink *> sinks_;
    std::mutex mailboxMutex_;
    std::vector<EventSample> mailbox_;   // guarded
    bool drainPosted_ = false;           // guarded
    std::vector<EventSample> taken_;     // main thread
    QElapsedTimer sinceDisplay_;
    QTimer displayTimer_;

    static inline std::atomic<int> inFlight_{0};
    static inline std::atomic<int> inFlightPeak_{0};
};

template <EventShape Shape>
class ValueStream final : public ValueStreamBase {
public:
    using Handler = std::function<void(const Shape &)>;

    ValueStream(ExampleWindow &window, int index, QString name, std::vector<FieldInfo> fields, Handler display)
        : ValueStreamBase(window, index, std::move(name), std::move(fields))
        , display_(std::move(display))
    { }

    // From the library callback's thread.
    void deliver(const Shape &value)
    {
        delivered_.fetch_add(1, std::memory_order_relaxed);
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        window_.putInMailbox(toSample(value, index(), now), [&] {
            latest_ = value;
            if (every_)
                pending_.push_back(value);
        });
    }

    // Main thread: every event, in order (counters, logs). Set before the
    // stream is subscribed.
    void onEveryEvent(Handler handler) { every_ = std::move(handler); }

    // The value shown last (main thread).
    const std::optional<Shape> &shown() const { return shown_; }

private:
    void takePending() override
    {
        if (latest_) {
            fresh_ = std::move(latest_);
            latest_.reset();
        }
        if (every_)
            everyTaken_.swap(pending_);
    }
    void handleEvery() override
    {
        for (const Shape &v : everyTaken_)
            every_(v);
        everyTaken_.clear();
    }
    void showLatest() override
    {
        if (!fresh_)
            return;
        shown_ = std::move(fresh_);
        fresh_.reset();
        ++displays_;
        if (display_)
            display_(*shown_);
    }

    Handler display_;
    Handler every_;
    std::optional<Shape> latest_;     // guarded by the mailbox lock
    std::vector<Shape> pending_;      // guarded
    std::optional<Shape> fresh_;      // main thread: taken, not yet shown
    std::optional<Shape> shown_;      // main thread
    std::vector<Shape> everyTaken_;   // main thread
};

template <EventShape Shape>
ValueStream<Shape> &ExampleWindow::addStream(QString name, std::vector<FieldInfo> fields,
                                             std::function<void(const Shape &)> display)
{
    auto stream = std::make_unique<ValueStream<Shape>>(*this, static_cast<int>(streams_.size()), std::move(name),
                                                       std::move(fields), std::move(display));
    auto &ref = *stream;
    streams_.push_back(std::move(stream));
    return ref;
}

template <EventShape Shape, class H, class... Args>
void ExampleWindow::subscribe(TindrelReturnCode (*setter)(H, void (*)(H, void *, Args...), void *),
                              ValueStream<Shape> &stream)
{
    using Callback = void (*)(H, void *, Args...);
    Callback callback = [](H, void *ctx, Args... args) {
        static_cast<ValueStream<Shape> *>(ctx)->deliver(Shape::from(args...));
    };
    if (!ch_)
        return;
    if (!check(setter(ch_.as<H>(), callback, &stream)))
        return;
    ch_.addRemover([setter](TindrelHandle h) { setter(reinterpret_cast<H>(h), nullptr, nullptr); });
}

template <class Store>
void ExampleWindow::putInMailbox(const EventSample &sample, Store &&store)
{
    bool post = false;
    {
        const std::lock_guard lock(mailboxMutex_);
        store();
        mailbox_.push_back(sample);
        if (!drainPosted_)
            drainPosted_ = post = true;
    }
    // At most one drain per window waits in the main thread's queue (and
    // one may be running).
    if (post)
        postToMainThread([this] { drainMailbox(); });
}

// Makes the window of class W. The frame's tear-down runs here, while W is
// still whole, so W's beforeTearDown and its members see no callback after
// they are gone. Windows are always made this way (the registry, tests).
template <class W>
class WindowInstance final : public W {
public:
    using W::W;
    ~WindowInstance() override { this->tearDown(); }
};

template <class W>
W *makeWindow()
{
    return new WindowInstance<W>;
}

// Gives each window class its own error counter, shared by all its windows.
template <class Derived>
class ExampleWindowOf : public ExampleWindow {
public:
    static int sharedErrorCount() { return counter; }

protected:
    explicit ExampleWindowOf(ChannelHandle::Ops ops, Form form = Form::Window, QWidget *parent = nullptr)
        : ExampleWindow(counter, ops, form, parent)
    { }

private:
    static inline int counter = 0;
};

// A group box the frame shows on attach (when condition holds, read after
// the window's onAttach) and hides on detach.
class AttachBox : public QGroupBox {
    Q_OBJECT
public:
    AttachBox(const QString &title, ExampleWindow *window, std::function<bool()> condition = {});
    AttachBox(const QString &title, QWidget *parent, ExampleWindow *window, std::function<bool()> condition = {});
};

}   // namespace tindrel
