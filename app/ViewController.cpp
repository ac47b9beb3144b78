#include "ViewController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "AlertService.h"
#include "BoardListController.h"
#include "DictionaryPanelController.h"
#include "ExampleWindow.h"
#include "FirmwareController.h"
#include "IconArt.h"
#include "LibraryEvents.h"
#include "RetainedHandle.h"
#include "ServerPanelController.h"
#include "SessionKeeper.h"
#include "ViewFormController.h"

namespace tindrel {

namespace {
constexpr int kViewUpdateIntervalMs = 25;
}

ViewController::ViewController(Options options, QObject *parent)
    : QObject(parent)
    , options_(std::move(options))
{
    Q_ASSERT(options_.alerts);
    if (!options_.terminate)
        options_.terminate = [] { QCoreApplication::quit(); };
    icons_.usbImage = iconNamed(QStringLiteral("USB"));
    icons_.netImage = iconNamed(QStringLiteral("net"));
    icons_.xlnkImage = iconNamed(QStringLiteral("xlnk"));
    model_ = std::make_unique<DeviceTreeModel>(tindrels_, icons_);
    if (options_.defaults)
        session_ = std::make_unique<SessionKeeper>(*options_.defaults, options_.startClean);
    // Events can stream in by the thousand: each one changes the tree at
    // once, but the view follows in batches, at most one every few
    // milliseconds, so that it lays out and paints once per batch.
    viewUpdateTimer_.setSingleShot(true);
    viewUpdateTimer_.setInterval(kViewUpdateIntervalMs);
    connect(&viewUpdateTimer_, &QTimer::timeout, this, &ViewController::flushViewUpdates);
    buildWindow();
    if (session_)
        session_->restoreMainWindow(*window_, *tindrelTreeView_);
    // The firmware panel: catalogue, lookups, decision and upgrade sheet.
    firmware_ = std::make_unique<FirmwareController>(
        *options_.alerts, window_.get(),
        options_.firmwareFolder.isEmpty() ? FirmwareController::shippedFolder() : options_.firmwareFolder);
}

ViewController::~ViewController()
{
    applicationWillTerminate();
    firmware_.reset();
    // Example windows go before the tree they were opened from.
    exampleWindowControllers_.clear();
    serverPanel_.reset();
    boardList_.reset();
    if (window_)
        window_->removeEventFilter(this);
}

void ViewController::buildWindow()
{
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(QString::fromLatin1(kApplicationName));
    window_->setWindowIcon(iconNamed(QStringLiteral("app")));
    window_->installEventFilter(this);

    tindrelTreeView_ = new QTreeView;
    tindrelTreeView_->setObjectName(QStringLiteral("tindrelTreeView"));
    tindrelTreeView_->setModel(model_.get());
    tindrelTreeView_->setUniformRowHeights(true);
    // The tree reads in the small variant of the system font.
    QFont small = tindrelTreeView_->font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 11.0 / 13.0);
    tindrelTreeView_->setFont(small);
    tindrelTreeView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tindrelTreeView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tindrelTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Double-clicks are ours: expanding is one of the things they may do.
    tindrelTreeView_->setExpandsOnDoubleClick(false);
    tindrelTreeView_->header()->setStretchLastSection(false);
    tindrelTreeView_->header()->setSectionResizeMode(DeviceTreeModel::NameColumn, QHeaderView::Stretch);
    tindrelTreeView_->setColumnWidth(DeviceTreeModel::SerialColumn, 110);
    tindrelTreeView_->setColumnWidth(DeviceTreeModel::ChannelColumn, 70);
    tindrelTreeView_->setColumnWidth(DeviceTreeModel::VersionColumn, 70);
    connect(tindrelTreeView_, &QTreeView::doubleClicked, this, [this] { deviceDoubleClicked(); });
    // From the keyboard: the arrows move the selection, Return or Enter does
    // what a double-click does (see eventFilter).
    tindrelTreeView_->installEventFilter(this);
    tindrelTreeView_->setAccessibleName(QStringLiteral("Devices"));
    auto *central = new QWidget(window_.get());
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // A status text above the tree, shown only when the library cannot
    // deliver devices.
    managerStatusLbl_ = new QLabel(central);
    managerStatusLbl_->setObjectName(QStringLiteral("managerStatusLbl"));
    managerStatusLbl_->setWordWrap(true);
    managerStatusLbl_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    managerStatusLbl_->setContentsMargins(8, 6, 8, 6);
    managerStatusLbl_->setStyleSheet(QStringLiteral("color: palette(bright-text); background: #b03030;"));
    managerStatusLbl_->setVisible(false);
    layout->addWidget(managerStatusLbl_);
    layout->addWidget(tindrelTreeView_);
    QWidget *treeSide = central;
    if (options_.makeBoardList) {
        // The single-board computers below the tree.
        auto *column = new QSplitter(Qt::Vertical, window_.get());
        column->addWidget(central);
        boardList_ = options_.makeBoardList(column);
        if (boardList_)
            column->addWidget(boardList_->panel());
        column->setStretchFactor(0, 3);
        column->setStretchFactor(1, 1);
        treeSide = column;
    }
    if (options_.makeServerPanel) {
        // The tree on the left, the network server panel on the right.
        auto *split = new QSplitter(window_.get());
        split->addWidget(treeSide);
        serverPanel_ = options_.makeServerPanel(split);
        if (serverPanel_)
            split->addWidget(serverPanel_->panel());
        split->setStretchFactor(0, 3);
        split->setStretchFactor(1, 2);
        window_->setCentralWidget(split);
    } else {
        window_->setCentralWidget(treeSide);
    }

    QMenu *file = window_->menuBar()->addMenu(tr("&File"));
    if (session_)
        addSessionActions(file);
    QAction *quit = file->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, window_.get(), &QWidget::close);
    QMenu *help = window_->menuBar()->addMenu(tr("&Help"));
    QAction *about = help->addAction(tr("&About %1").arg(QString::fromLatin1(kApplicationName)));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &ViewController::aboutMenuClicked);

    window_->resize(serverPanel_ ? 1120 : 720, boardList_ ? 720 : 560);
}

void ViewController::addSessionActions(QMenu *file)
{
    restoreSettingsAction_ = file->addAction(tr("&Restore Channel Settings"));
    restoreSettingsAction_->setObjectName(QStringLiteral("restoreChannelSettingsAction"));
    restoreSettingsAction_->setCheckable(true);
    restoreSettingsAction_->setChecked(session_->restoreChannelSettings());
    restoreSettingsAction_->setToolTip(
        tr("Reopened example windows set their channels as they were left at the last quit"));
    connect(restoreSettingsAction_, &QAction::toggled, this,
            [this](bool on) { session_->setRestoreChannelSettings(on); });
    startCleanAction_ = file->addAction(tr("Start &Clean at Next Launch"));
    startCleanAction_->setObjectName(QStringLiteral("startCleanAction"));
    startCleanAction_->setCheckable(true);
    startCleanAction_->setChecked(session_->startCleanAtNextLaunch());
    startCleanAction_->setToolTip(tr("The next start forgets the windows and places remembered from this one"));
    connect(startCleanAction_, &QAction::toggled, this, [this](bool on) { session_->setStartCleanAtNextLaunch(on); });
    file->addSeparator();
}

void ViewController::applicationDidFinishLaunching()
{
    if (events_ || terminated_)
        return;
    // The server panel's lock follows the system's authority from here on.
    if (serverPanel_)
        serverPanel_->setUpAuthorizationView();
    // The return codes of these set-up calls are not examined: the program
    // runs on without a log or without discovery.
    if (!options_.logPath.isEmpty())
        TindrelLog_enable(TINDREL_LOG_INFO, options_.logPath.toUtf8().constData());
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);

    LibraryEvents::Handlers handlers;
    handlers.attach = [this](TindrelHandle ch) { attach(ch); };
    handlers.detach = [this](TindrelHandle ch) { detach(ch); };
    // Announcements feed the single-board computer list, which takes only
    // the boards among them.
    handlers.serverAdded = [this](TindrelServerHandle server, kv_t kv) {
        if (boardList_)
            boardList_->serverAdded(server, kv);
    };
    handlers.serverRemoved = [this](TindrelServerHandle server) {
        if (boardList_)
            boardList_->serverRemoved(server);
    };
    events_ = std::make_unique<LibraryEvents>(std::move(handlers));
    // Without a manager the tree stays empty; say why instead of showing an
    // empty tree with no word.
    if (const LibraryEvents::OpenResult opened = events_->openManager(); !opened.ok())
        showManagerFailure(opened.call, opened.detail);
    events_->registerServerHandlers();
    TindrelNet_enableServerDiscovery(TINDRELSERVER_SBC);

    if (serverPanel_) {
        serverPanel_->readInNetworkServiceConfig();
        serverPanel_->updateNetworkServiceStatus();
        serverPanel_->dictionaryPanel()->readInDictionaries();
        // Last: the devices' access, which may ask the user; from the event
        // loop, so that its question is a window like any other.
        QTimer::singleShot(0, serverPanel_.get(),
                           [panel = serverPanel_.get()] { panel->checkDeviceAccessAtStartUp(); });
    }
}

void ViewController::showManagerFailure(const QString &call, const QString &detail)
{
    const QString text = QStringLiteral("The device list stays empty: the device library could not start "
                                        "watching for devices.\n%1: %2")
                             .arg(call, detail);
    managerStatusLbl_->setText(text);
    managerStatusLbl_->setVisible(true);
    options_.alerts->showCritical(window_.get(), QStringLiteral("Tindrels Unavailable"), text);
}

void ViewController::applicationWillTerminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    // An upgrade under way is stopped first: its worker waits for nothing
    // that the manager's events could hold up.
    if (firmware_)
        firmware_->shutDown();
    // A helper answer arriving now would open a modal alert inside the
    // event loop that the shutdown below runs, and the quit would wait on it.
    if (serverPanel_)
        serverPanel_->shutDown();
    if (boardList_)
        boardList_->shutDown();
    // The session is what is open now, before the windows go.
    if (session_)
        session_->save(*window_, *tindrelTreeView_);
    closeExampleWindows();
    if (events_)
        events_->stop();
    events_.reset();
    // Firmware lookups still queued hold library references: drop them now.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void ViewController::closeExampleWindows()
{
    // Each window stops its callbacks and gives its channel back as it
    // closes; window-form windows then delete themselves.
    exampleWindowControllers_.clear();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *example = qobject_cast<ExampleWindow *>(w))
            example->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ViewController::scheduleRefresh(TindrelTreeNode *node)
{
    if (!node)
        return;
    if (pending_.refreshSet.insert(node).second)
        pending_.refresh.push_back(node);
    if (!viewUpdateTimer_.isActive())
        viewUpdateTimer_.start();
}

void ViewController::expandIfItShould(const TindrelTreeNode *node)
{
    if (node && node->shouldExpand())
        pending_.expand.emplace_back(node, true);
}

void ViewController::attach(TindrelHandle channel)
{
    const DeviceTree::AttachResult placed = tindrels_.attach(
        channel, [this](TindrelHandle device, TindrelDevice *node) { postFirmwareLookup(device, node); });
    if (!placed.placed)
        return;
    if (placed.computerAdded)
        scheduleRefresh(&tindrels_.root());
    scheduleRefresh(placed.refresh);
    expandIfItShould(placed.computer);
    expandIfItShould(placed.top);
    reopenWhenRemembered(placed.channel);
}

void ViewController::reopenWhenRemembered(const TindrelChannel *channel)
{
    if (!session_ || session_->waiting().empty())
        return;
    const auto address = sessionAddressOf(channel);
    if (!address || !session_->isWaitingFor(*address))
        return;
    // From the event loop, as a double-click would, once the library's
    // thread no longer waits for this attach; by then the device may be
    // gone again, and the window waits for its next attach.
    const TindrelTreeNode *device = channel->parent();
    QMetaObject::invokeMethod(
        this, [this, address = *address, device, uid = device->uid()] { reopenRemembered(address, device, uid); },
        Qt::QueuedConnection);
}

void ViewController::reopenRemembered(const session::ChannelAddress &address, const TindrelTreeNode *device,
                                      uint64_t uid)
{
    TindrelDevice *live = tindrels_.liveDevice(device, uid);
    if (terminated_ || !live || !options_.openLeaf)
        return;
    for (const auto &child : live->children()) {
        if (sessionAddressOf(child.get()) != address)
            continue;
        const std::optional<session::WindowEntry> entry = session_->takeWaiting(address);
        if (!entry)
            return;   // reopened already
        OpenedWindow opened = options_.openLeaf(child.get(), window_.get());
        if (opened.window)
            session_->reopened(*opened.window, *entry);
        keepExampleController(std::move(opened.controller));
        return;
    }
}

void ViewController::detach(TindrelHandle channel)
{
    DeviceTree::DetachResult removed = tindrels_.detach(channel);
    if (!removed.removed)
        return;
    if (removed.prunedFrom) {
        scheduleRefresh(removed.prunedFrom);
    } else {
        scheduleRefresh(removed.parent);
        if (removed.collapseParent)
            pending_.expand.emplace_back(removed.parent, false);
    }
    pending_.removed.push_back(std::move(removed));
}

void ViewController::flushViewUpdates()
{
    viewUpdateTimer_.stop();
    PendingView work = std::move(pending_);
    pending_ = {};
    // Each refresh lines one node's rows up with the tree as it is now; a
    // node already dropped from the view with an ancestor is passed over.
    for (TindrelTreeNode *node : work.refresh)
        model_->refresh(node);
    for (const auto &[node, expand] : work.expand) {
        const QModelIndex index = model_->indexForNode(node);
        if (!index.isValid())
            continue;
        if (expand)
            tindrelTreeView_->expand(index);
        else
            tindrelTreeView_->collapse(index);
    }
    // work.removed frees the nodes taken out of the tree, now that no row
    // refers to them.
}

void ViewController::postFirmwareLookup(TindrelHandle device, TindrelDevice *node)
{
    // The reference keeps the device handle usable until the lookup has run
    // (or was dropped unrun at shut-down).
    auto held = std::make_shared<RetainedHandle>(device);
    const uint64_t uid = node->uid();
    QMetaObject::invokeMethod(
        this, [this, held, node, uid] { findDeviceFirmware(held, node, uid); }, Qt::QueuedConnection);
}

void ViewController::findDeviceFirmware(std::shared_ptr<RetainedHandle> device, TindrelTreeNode *node, uint64_t uid)
{
    // The device may have gone (and its node with it) before the lookup ran.
    TindrelDevice *live = tindrels_.liveDevice(node, uid);
    if (!live || !device || !device->get())
        return;
    if (options_.firmwareLookup) {
        applyFirmware(node, uid, options_.firmwareLookup(device->get()));
        return;
    }
    firmware_->findDeviceFirmware(std::move(device), live->devId, [this, node, uid](std::optional<FirmwareUpgrade> fw) {
        applyFirmware(node, uid, std::move(fw));
    });
}

void ViewController::applyFirmware(TindrelTreeNode *node, uint64_t uid, std::optional<FirmwareUpgrade> fw)
{
    TindrelDevice *live = tindrels_.liveDevice(node, uid);
    if (!live)
        return;
    live->fw = std::move(fw);
    // A device in its loader shows which product it is.
    if (live->hasFirmwareUpgrade() && TindrelDevice::isLoaderDeviceId(live->devId) && live->fw->fwString)
        live->setName(QStringLiteral("%1 %2").arg(*live->fw->fwString, live->name()));
    model_->nodeChanged(live);
}

void ViewController::deviceDoubleClicked()
{
    flushViewUpdates();
    const QModelIndexList selected = tindrelTreeView_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        options_.alerts->showAlert(window_.get(), QStringLiteral("No Example"),
                                   QStringLiteral("There is no example for this Tindrel"));
        return;
    }
    const QModelIndex index = selected.first();
    TindrelTreeNode *node = model_->nodeForIndex(index);
    // A device with newer firmware is asked about first; declining goes on
    // as for any row.
    if (auto *device = dynamic_cast<TindrelDevice *>(node); device && device->hasFirmwareUpgrade()) {
        if (firmware_->offerUpgrade(*device) != FirmwareController::Outcome::Declined)
            return;
    }
    if (node->canExpand()) {
        tindrelTreeView_->setExpanded(index, !tindrelTreeView_->isExpanded(index));
        return;
    }
    if (!options_.openLeaf)
        return;
    OpenedWindow opened = options_.openLeaf(node, window_.get());
    if (opened.window && session_)
        if (const auto address = sessionAddressOf(node))
            session_->windowOpened(*opened.window, *address);
    keepExampleController(std::move(opened.controller));
}

void ViewController::keepExampleController(std::unique_ptr<ViewFormController> controller)
{
    if (!controller)
        return;
    ViewFormController *raw = controller.get();
    connect(raw, &ViewFormController::windowWillClose, this, [this, raw] { windowWillClose(raw); });
    exampleWindowControllers_.push_back(std::move(controller));
}

void ViewController::windowWillClose(QObject *closing)
{
    if (closing == window_.get()) {
        options_.terminate();
        return;
    }
    for (auto it = exampleWindowControllers_.begin(); it != exampleWindowControllers_.end(); ++it) {
        if (it->get() == closing) {
            // Freeing the controller from inside its own signal is allowed.
            exampleWindowControllers_.erase(it);
            return;
        }
    }
}

bool ViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_.get() && event->type() == QEvent::Close)
        windowWillClose(watched);
    if (watched == tindrelTreeView_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            deviceDoubleClicked();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

AboutInfo ViewController::aboutInfo() const
{
    AboutInfo info;
    info.version = QCoreApplication::applicationVersion();
    info.applicationName = QString::fromLatin1(kApplicationName);
    info.copyright = QString::fromUtf8(kCopyright);
    const char *libraryVersion = nullptr;
    if (Tindrel_getLibraryVersion(&libraryVersion) == TINDREL_OK && libraryVersion)
        info.credits = QString::fromUtf8(libraryVersion);
    return info;
}

void ViewController::aboutMenuClicked()
{
    if (aboutPanel_) {
        aboutPanel_->raise();
        aboutPanel_->activateWindow();
        return;
    }
    const AboutInfo info = aboutInfo();
    auto *panel = new QMessageBox(window_.get());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setObjectName(QStringLiteral("aboutPanel"));
    panel->setWindowTitle(tr("About %1").arg(info.applicationName));
    panel->setIconPixmap(iconNamed(QStringLiteral("app")).pixmap(64, 64));
    panel->setTextFormat(Qt::PlainText);
    panel->setText(info.applicationName);
    panel->setInformativeText(tr("Version %1").arg(info.version) + QStringLiteral("\n\n") + info.copyright +
                              QStringLiteral("\n\n") + info.credits);
    panel->setStandardButtons(QMessageBox::Ok);
    panel->setModal(false);
    aboutPanel_ = panel;
    panel->show();
}

}   // namespace tindrel
