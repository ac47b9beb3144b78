#include "ExampleWindow.h"

#include "BoundRows.h"
#include "ErrorEventLog.h"
#include "EventRecorder.h"
#include "KeyboardAccess.h"
#include "LibraryError.h"
#include "PlotWindow.h"
#include "TindrelInfoBox.h"
#include "WindowEnvironment.h"

#include <QSettings>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace tindrel {

ExampleWindow::ExampleWindow(int &errorCounter, ChannelHandle::Ops ops, Form form, QWidget *parent)
    : QWidget(parent)
    , errorCounter_(errorCounter)
    , ops_(ops)
    , form_(form)
    , infoFrame_(new QGroupBox(this))
    , infoBox_(form == Form::View ? new TindrelInfoBoxN(infoFrame_) : new TindrelInfoBox(infoFrame_))
    , content_(new QVBoxLayout)
    , toolBar_(new QWidget(this))
    , plotSpan_(PlotWindow::defaultSpanSeconds)
{
    auto *frameLayout = new QVBoxLayout(infoFrame_);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    frameLayout->addWidget(infoBox_);

    auto *toolLayout = new QHBoxLayout(toolBar_);
    toolLayout->setContentsMargins(0, 0, 0, 0);
    toolLayout->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(infoFrame_);
    layout->addLayout(content_);
    layout->addWidget(toolBar_);
    layout->addStretch(1);
    infoFrame_->hide();
    toolBar_->hide();

    addSettingsActions();

    displayTimer_.setSingleShot(true);
    connect(&displayTimer_, &QTimer::timeout, this, &ExampleWindow::showValues);
    sinceDisplay_.start();
}

ExampleWindow::~ExampleWindow()
{
    // Normally done at close or by WindowInstance; a window destroyed any
    // other way must still stop its callbacks before the streams go away.
    tearDown();
    // The plot is a child that unregisters itself from this window: it must
    // go while this is still an ExampleWindow, not with the QWidget's children.
    delete plot_.data();
}

void ExampleWindow::setUp(const WindowEnvironment &env)
{
    defaults_ = &env.defaults;
    alerts_ = &env.alerts;
    hideAttachBoxes();
    infoBox_->fillTindrelInfo(nullptr);
    infoFrame_->show();
    // The width stays as set here unless a window sizes itself otherwise.
    constexpr int preferredWidth = 480;
    resize(std::max(sizeHint().width(), preferredWidth), height());
    sizeWindow(SizingMoment::Open);

    if (!check(ch_.create(ops_)))
        return;
    if (!check(ch_.setCommonHandlers(&attachCallback, &detachCallback, &errorCallback, contextPointer())))
        return;
    registerValueHandlers();
    addTools();
    makeKeyboardUsable(*this);
    TindrelInfoBox::openCmdLine(ch_.get(), env, this);
}

void ExampleWindow::addTools()
{
    if (streams_.empty() || plotButton_)
        return;
    auto *bar = static_cast<QHBoxLayout *>(toolBar_->layout());
    recordingIndicator_ = new QLabel(toolBar_);
    plotButton_ = new QPushButton(QStringLiteral("Plot"), toolBar_);
    recordButton_ = new QPushButton(QStringLiteral("Record..."), toolBar_);
    bar->insertWidget(0, recordingIndicator_);
    bar->addWidget(plotButton_);
    bar->addWidget(recordButton_);
    connect(plotButton_, &QPushButton::clicked, this, [this] { openPlot(); });
    connect(recordButton_, &QPushButton::clicked, this, [this] {
        if (recorder_)
            stopRecording();
        else
            chooseRecordingFile();
    });
}

PlotWindow *ExampleWindow::plot() const { return plot_; }

PlotWindow *ExampleWindow::openPlot()
{
    if (!plot_)
        plot_ = new PlotWindow(*this, this);
    plot_->show();
    plot_->raise();
    return plot_;
}

void ExampleWindow::chooseRecordingFile()
{
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Record values to"), windowTitle() + QStringLiteral(".csv"),
                                     QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty())
        startRecording(path);
}

bool ExampleWindow::startRecording(const QString &path)
{
    stopRecording();
    QString error;
    recorder_ = EventRecorder::start(path, *this, error);
    if (!recorder_) {
        outputError(error);
        showRecording();
        return false;
    }
    recordingFailureShown_ = false;
    addEventSink(recorder_.get());
    showRecording();
    return true;
}

void ExampleWindow::stopRecording()
{
    if (!recorder_)
        return;
    // Events delivered so far belong to the recording.
    if (!tornDown_)
        drainMailbox();
    removeEventSink(recorder_.get());
    recorder_.reset();
    showRecording();
}

void ExampleWindow::showRecording()
{
    if (!recordingIndicator_)
        return;
    if (!recorder_) {
        recordingIndicator_->clear();
        recordButton_->setText(QStringLiteral("Record..."));
        return;
    }
    recordButton_->setText(QStringLiteral("Stop Recording"));
    if (auto failure = recorder_->failure()) {
        recordingIndicator_->setText(QStringLiteral("Recording failed"));
        if (!recordingFailureShown_) {
            recordingFailureShown_ = true;
            outputError(*failure);
        }
        return;
    }
    recordingIndicator_->setText(QStringLiteral("\u25cf REC %1").arg(recorder_->recorded()));
}

void ExampleWindow::runBeforeTearDown()
{
    if (tornDown_)
        return;
    tornDown_ = true;
    displayTimer_.stop();
    beforeTearDown();
}

void ExampleWindow::tearDown()
{
    runBeforeTearDown();
    ch_.reset();
    // No callback runs any more: what is still in the mailbox goes to the
    // recording and the plot, not to the displays.
    if (recorder_) {
        {
            const std::lock_guard lock(mailboxMutex_);
            taken_.swap(mailbox_);
        }
        for (const EventSample &sample : taken_)
            for (EventSink *sink : sinks_)
                sink->takeEvent(sample);
        taken_.clear();
        removeEventSink(recorder_.get());
        recorder_.reset();
    }
}

void ExampleWindow::closeEvent(QCloseEvent *event)
{
    tearDown();
    QWidget::closeEvent(event);
    if (errorLog_)
        errorLog_->close();
    if (!closed_) {
        closed_ = true;
        emit windowWillClose();
    }
}

void ExampleWindow::onAttachHandler()
{
    TindrelHandle h = ch_.get();
    hideAttachBoxes();
    identity_ = {};
    checkRead(Tindrel_getDeviceID(h, &identity_.deviceId));
    checkRead(Tindrel_getChannelSubclass(h, &identity_.subclass));
    for (BoundRow *row : boundRows_)
        row->load();
    infoBox_->fillTindrelInfo(h);
    attached_ = true;
    saveSettingsAction_->setEnabled(true);
    loadSettingsAction_->setEnabled(true);
    onAttach();
    showAttachBoxes();
    if (settingsToRestore_) {
        const QVariantMap settings = std::move(*settingsToRestore_);
        settingsToRestore_.reset();
        applySettings(settings);
    }
    sizeWindow(SizingMoment::Attach);
    // Controls a window made at attach are reached and named the same way.
    makeKeyboardUsable(*this);
}

void ExampleWindow::onDetachHandler()
{
    // Values that came before the detach are shown before the reset.
    flushValues();
    if (attached_)
        settingsAtDetach_ = boundSettingsNow();
    attached_ = false;
    saveSettingsAction_->setEnabled(false);
    loadSettingsAction_->setEnabled(false);
    hideAttachBoxes();
    onDetach();
    infoBox_->fillTindrelInfo(nullptr);
    sizeWindow(SizingMoment::Detach);
}

void ExampleWindow::sizeWindow(SizingMoment moment)
{
    const bool maximum = heightRule_ == HeightRule::MaximumAtAttach || heightRule_ == HeightRule::MaximumSizeAtAttach;
    if (heightRule_ == HeightRule::MaximumSizeAtAttach)
        resize(moment == SizingMoment::Attach ? widthWithEveryBoxShown() : minimumContentWidth(), height());
    if (moment == SizingMoment::Detach || heightRule_ == HeightRule::FitShown)
        fitHeightToShownContent();
    else if (maximum)
        moment == SizingMoment::Attach ? fitHeightToEveryBox() : fitHeightToShownContent();
    else
        resize(width(), std::max(height(), heightOfShownContent()));
    centre();
}

void ExampleWindow::foldBox(QWidget *box, bool shown)
{
    box->setVisible(shown && hasChannel() && attached_);
    if (attached_)
        fitHeightToEveryBox();
    else
        fitHeightToShownContent();
    centre();
}

void ExampleWindow::errorHandler(const QVariant &codeAndDescription)
{
    const QVariantList values = codeAndDescription.toList();
    if (values.size() >= 2)
        outputError(values.at(1).toString());
    if (!values.isEmpty())
        onErrorEvent(values.at(0).toInt());
}

void ExampleWindow::outputError(const QString &text)
{
    ++errorCounter_;
    if (!errorLog_) {
        errorLog_ = new ErrorEventLog(this);
        connect(errorLog_, &ErrorEventLog::clearRequested, this, &ExampleWindow::clearErrorLog);
    }
    errorLog_->appendLine(text);
    errorLog_->setCount(errorCounter_);
    if (!errorLog_->isVisible())
        errorLog_->show();
}

void ExampleWindow::outputLastError()
{
    if (auto detail = lastErrorDetail())
        outputError(*detail);
}

void ExampleWindow::clearErrorLog()
{
    if (errorLog_) {
        errorLog_->clearText();
        errorLog_->setCount(0);
    }
    errorCounter_ = 0;
}

bool ExampleWindow::check(TindrelReturnCode rc)
{
    if (rc == TINDREL_OK)
        return true;
    outputLastError();
    return false;
}

void ExampleWindow::registerAttachBox(QWidget *box, std::function<bool()> condition)
{
    attachBoxes_.push_back({box, std::move(condition)});
    box->hide();
}

void ExampleWindow::registerBoundRow(BoundRow *row) { boundRows_.push_back(row); }

namespace {
// A row's name in a remembered session: its place among the window's rows
// and its kind, so that a row of another kind in that place is not matched.
QString rowKey(std::size_t index, const BoundRow &row)
{
    return QStringLiteral("%1-%2").arg(index).arg(QLatin1String(row.kind()));
}
}   // namespace

void ExampleWindow::rememberPopup(const QString &name, QComboBox *popup, std::function<void()> readBack)
{
    rememberedPopups_.push_back({name, popup, std::move(readBack)});
}

namespace {
bool popupApplies(const QComboBox &popup, const QWidget &window)
{
    return popup.isVisibleTo(&window) && popup.isEnabled();
}
}   // namespace

QVariantMap ExampleWindow::boundSettingsNow() const
{
    QVariantMap settings;
    for (std::size_t i = 0; i < boundRows_.size(); ++i)
        if (const auto value = boundRows_[i]->chosenValue())
            settings.insert(rowKey(i, *boundRows_[i]), *value);
    for (const RememberedPopup &r : rememberedPopups_)
        if (r.popup && popupApplies(*r.popup, *this) && r.popup->currentIndex() >= 0)
            settings.insert(r.name, r.popup->currentIndex());
    return settings;
}

QVariantMap ExampleWindow::boundSettings() const
{
    if (attached_)
        return boundSettingsNow();
    if (!settingsAtDetach_.isEmpty())
        return settingsAtDetach_;
    return settingsToRestore_.value_or(QVariantMap{});
}

void ExampleWindow::restoreSettingsAtNextAttach(QVariantMap settings) { settingsToRestore_ = std::move(settings); }

void ExampleWindow::applySettings(const QVariantMap &settings)
{
    QStringList notTaken = settings.keys();
    // The window's own pop-ups are modes too: chosen as the user would, before any row.
    for (const RememberedPopup &r : rememberedPopups_) {
        const auto it = settings.find(r.name);
        if (it == settings.end() || !r.popup || !popupApplies(*r.popup, *this))
            continue;
        bool whole = false;
        const double d = it.value().toDouble(&whole);
        const int item = static_cast<int>(d);
        if (!whole || it.value().typeId() == QMetaType::Bool || d != item || item < 0 || item >= r.popup->count())
            continue;
        r.popup->setCurrentIndex(item);
        emit r.popup->activated(item);
        notTaken.removeOne(r.name);
    }
    // Modes and ranges first: the limits of the values may follow from them.
    for (const bool last : {false, true}) {
        for (std::size_t i = 0; i < boundRows_.size(); ++i) {
            if (boundRows_[i]->restoredLast() != last)
                continue;
            const QString key = rowKey(i, *boundRows_[i]);
            const auto it = settings.find(key);
            if (it != settings.end() && boundRows_[i]->choose(it.value()))
                notTaken.removeOne(key);
        }
    }
    // What the device holds now, whatever it took.
    for (BoundRow *row : boundRows_)
        row->load();
    for (const RememberedPopup &r : rememberedPopups_)
        if (r.popup && r.readBack)
            r.readBack();
    showAttachBoxes();
    if (!notTaken.isEmpty())
        qWarning("%s: remembered settings that do not fit this channel were left as they are: %s",
                 qUtf8Printable(windowTitle()), qUtf8Printable(notTaken.join(QStringLiteral(", "))));
}

void ExampleWindow::placeAt(QPoint topLeft)
{
    keepPlace_ = true;
    move(topLeft);
}

double ExampleWindow::plotSpan() const { return plot_ ? plot_->span() : plotSpan_; }

void ExampleWindow::setPlotSpan(double seconds)
{
    plotSpan_ = PlotWindow::boundedSpan(seconds);
    if (plot_)
        plot_->setSpan(plotSpan_);
}

void ExampleWindow::hideAttachBoxes()
{
    for (const auto &entry : attachBoxes_)
        if (entry.box)
            entry.box->hide();
    toolBar_->hide();
}

void ExampleWindow::showAttachBoxes()
{
    for (const auto &entry : attachBoxes_)
        if (entry.box)
            entry.box->setVisible(!entry.condition || entry.condition());
    toolBar_->setVisible(toolBar_->layout()->count() > 1);
}

int ExampleWindow::heightOfShownContent()
{
    // The layout ignores hidden boxes: with only the information box shown
    // this is the minimum height, with every box of the channel the maximum.
    // Boxes shown or hidden just now have only posted their layout requests:
    // handle them first so that nested boxes report their new size.
    // Texts changed just now (the information box is cleared at detach)
    // reach the outer layout only once every nested layout is recomputed.
    for (QLayout *nested : findChildren<QLayout *>())
        nested->invalidate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->invalidate();
    layout()->activate();
    return std::max(layout()->sizeHint().height(), layout()->minimumSize().height());
}

void ExampleWindow::fitHeightToShownContent() { resize(width(), heightOfShownContent()); }

std::vector<QWidget *> ExampleWindow::showEveryBox()
{
    // Shown for the measurement only: nothing is painted before they hide again.
    std::vector<QWidget *> hidden;
    for (const auto &entry : attachBoxes_) {
        const bool onlyWhenShown =
            std::ranges::any_of(countedWhenShown_, [&](const QPointer<QWidget> &box) { return box == entry.box; });
        if (entry.box && entry.box->isHidden() && !onlyWhenShown) {
            hidden.push_back(entry.box);
            entry.box->show();
        }
    }
    return hidden;
}

int ExampleWindow::heightWithEveryBoxShown()
{
    const std::vector<QWidget *> hidden = showEveryBox();
    const int h = heightOfShownContent();
    for (QWidget *box : hidden)
        box->hide();
    heightOfShownContent();
    return h;
}

int ExampleWindow::widthWithEveryBoxShown()
{
    const std::vector<QWidget *> hidden = showEveryBox();
    heightOfShownContent();
    const int w = std::max(layout()->sizeHint().width(), layout()->minimumSize().width());
    for (QWidget *box : hidden)
        box->hide();
    heightOfShownContent();
    return w;
}

int ExampleWindow::minimumContentWidth()
{
    heightOfShownContent();
    return layout()->minimumSize().width();
}

void ExampleWindow::fitHeightToEveryBox()
{
    const int h = heightWithEveryBoxShown();
    resize(width(), h);
}

int ExampleWindow::collapsedHeight()
{
    const auto *l = layout();
    const QMargins m = l->contentsMargins();
    return m.top() + m.bottom() + infoFrame_->sizeHint().height();
}

void ExampleWindow::growBy(std::initializer_list<const QWidget *> boxes, int extra)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->invalidate();
    layout()->activate();
    int h = collapsedHeight() + extra;
    for (const QWidget *box : boxes)
        if (box)
            h += box->sizeHint().height() + layout()->spacing();
    // Never below what the shown content needs.
    resize(width(), std::max(h, layout()->minimumSize().height()));
}

void ExampleWindow::setWidthTo(int width) { resize(std::max(width, layout()->minimumSize().width()), height()); }

void ExampleWindow::setFrameSizeKeepingOrigin(QSize frame)
{
    // Decorations are whatever the window manager adds around the content;
    // without one (offscreen) the frame and the content are the same.
    const QSize decorations = frameGeometry().size() - geometry().size();
    setContentSizeKeepingOrigin(frame - decorations);
}

void ExampleWindow::setContentSizeKeepingOrigin(QSize content)
{
    // Boxes hidden just now must give up their room before the resize.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->invalidate();
    layout()->activate();
    // A fixed size is the window's own choice: the layout no longer holds
    // the window at its minimum.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(0, 0);
    const QPoint origin = pos();
    resize(content.expandedTo(QSize(1, 1)));
    move(origin);
}

void ExampleWindow::centre()
{
    if (keepPlace_)
        return;
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void ExampleWindow::addEventSink(EventSink *sink) { sinks_.push_back(sink); }

void ExampleWindow::removeEventSink(EventSink *sink) { std::erase(sinks_, sink); }

void ExampleWindow::drainMailbox()
{
    {
        const std::lock_guard lock(mailboxMutex_);
        taken_.swap(mailbox_);
        for (auto &stream : streams_)
            stream->takePending();
        drainPosted_ = false;
    }
    for (const EventSample &sample : taken_) {
        if (sample.stream >= 0 && static_cast<std::size_t>(sample.stream) < streams_.size())
            ++streams_[static_cast<std::size_t>(sample.stream)]->count_;
        for (EventSink *sink : sinks_)
            sink->takeEvent(sample);
    }
    taken_.clear();
    for (auto &stream : streams_)
        stream->handleEvery();

    // Displays follow at most at display rate, with the latest values.
    const auto interval = static_cast<qint64>(displayInterval.count());
    const qint64 elapsed = sinceDisplay_.elapsed();
    if (elapsed >= interval)
        showValues();
    else if (!displayTimer_.isActive())
        displayTimer_.start(static_cast<int>(interval - elapsed));
}

void ExampleWindow::showValues()
{
    displayTimer_.stop();
    sinceDisplay_.restart();
    for (auto &stream : streams_)
        stream->showLatest();
    showRecording();
}

void ExampleWindow::flushValues()
{
    if (!tornDown_) {
        drainMailbox();
        showValues();
    }
}

void ExampleWindow::postToMainThread(std::function<void()> work)
{
    const int now = ++inFlight_;
    int peak = inFlightPeak_.load();
    while (now > peak && !inFlightPeak_.compare_exchange_weak(peak, now)) { }
    // The token counts the call out whether it runs or is dropped with the window.
    auto token = std::shared_ptr<void>(nullptr, [](void *) { --inFlight_; });
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work), token = std::move(token)] {
            // Dropped when the window was torn down after the event was posted.
            if (ch_ && !tornDown_)
                work();
        },
        Qt::QueuedConnection);
}

void ExampleWindow::attachCallback(TindrelHandle, void *ctx)
{
    auto *window = static_cast<ExampleWindow *>(ctx);
    window->postToMainThread([window] { window->onAttachHandler(); });
}

void ExampleWindow::detachCallback(TindrelHandle, void *ctx)
{
    auto *window = static_cast<ExampleWindow *>(ctx);
    window->postToMainThread([window] { window->onDetachHandler(); });
}

void ExampleWindow::errorCallback(TindrelHandle, void *ctx, int32_t code, const char *description)
{
    QVariantList box{QVariant(static_cast<int>(code)), QVariant(QString::fromUtf8(description ? description : ""))};
    post(ctx, &ExampleWindow::errorHandler, QVariant(box));
}

AttachBox::AttachBox(const QString &title, ExampleWindow *window, std::function<bool()> condition)
    : AttachBox(title, window, window, std::move(condition))
{ }

AttachBox::AttachBox(const QString &title, QWidget *parent, ExampleWindow *window, std::function<bool()> condition)
    : QGroupBox(title, parent)
{
    window->registerAttachBox(this, std::move(condition));
}

}   // namespace tindrel
