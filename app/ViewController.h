#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "AboutInfo.h"
#include "DeviceTree.h"
#include "DeviceTreeModel.h"
#include "ExampleWindowDispatch.h"
#include "FirmwareUpgrade.h"
#include "SessionStore.h"
#include "tindrel22_core.h"

class QAction;
class QMenu;
class QMainWindow;
class QSettings;

class QLabel;
class QTreeView;

namespace tindrel {

class AlertService;
class FirmwareController;
class LibraryEvents;
class RetainedHandle;
class SessionKeeper;
class ViewFormController;
namespace server {
class BoardListController;
class ServerPanelController;
}   // namespace server

// The controller of the main window: the device tree fed by the library's
// manager, the outline view over it, the about panel, and the controllers of
// view-form example windows while their windows are open.
class ViewController : public QObject {
    Q_OBJECT
public:
    // Opens the example window for a leaf row and says which it made; a
    // view-form window's controller is handed back to be kept while its
    // window is open.
    using LeafOpener = std::function<OpenedWindow(TindrelTreeNode *leaf, QWidget *window)>;
    // The newest shipped firmware for a device handle, if any.
    using FirmwareLookup = std::function<std::optional<FirmwareUpgrade>(TindrelHandle device)>;

    struct Options {
        AlertService *alerts = nullptr;    // required
        QString logPath;                   // the library's log file; empty: no log
        LeafOpener openLeaf;               // example windows
        FirmwareLookup firmwareLookup;     // replaces the shipped catalogue's lookup (tests)
        QString firmwareFolder;            // the image files; empty: the shipped ones
        std::function<void()> terminate;   // ends the program; default QCoreApplication::quit
        // Makes the network server panel inside the main window; none: no panel.
        std::function<std::unique_ptr<server::ServerPanelController>(QWidget *parent)> makeServerPanel;
        // Makes the list of single-board computers below the tree; none: no list.
        std::function<std::unique_ptr<server::BoardListController>(QWidget *parent)> makeBoardList;
        // The user defaults that keep the session (the main window's place,
        // the open example windows) from one run to the next; none: nothing
        // is remembered.
        QSettings *defaults = nullptr;
        // Forget the remembered session and start as on a first run.
        bool startClean = false;
    };

    // Builds the empty tree, the icons and the main window.
    explicit ViewController(Options options, QObject *parent = nullptr);
    ~ViewController() override;

    // Start-up: library log, server discovery, manager and server handlers.
    void applicationDidFinishLaunching();
    // Closes every example window, then closes and deletes the manager.
    // Safe to call more than once.
    void applicationWillTerminate();

    // Main thread only: one manager event, while the library thread waits.
    void attach(TindrelHandle channel);
    void detach(TindrelHandle channel);

    // The tree view's double-click: expand/collapse or open the example window.
    void deviceDoubleClicked();
    void aboutMenuClicked();
    // The main window closing ends the program.
    void windowWillClose(QObject *window);

    // Brings the view up to date with the tree now instead of at the next
    // coalescing tick.
    void flushViewUpdates();
    bool viewUpToDate() const { return pending_.refresh.empty() && pending_.expand.empty(); }

    // The firmware lookup posted for each new device node; it holds a
    // library reference on the device handle until it has run.
    void findDeviceFirmware(std::shared_ptr<RetainedHandle> device, TindrelTreeNode *node, uint64_t uid);
    FirmwareController *firmware() const { return firmware_.get(); }

    AboutInfo aboutInfo() const;

    QMainWindow *window() const { return window_.get(); }
    QTreeView *tindrelTreeView() const { return tindrelTreeView_; }
    // Says why the tree stays empty when the manager cannot be made or opened.
    QLabel *managerStatusLbl() const { return managerStatusLbl_; }
    DeviceTreeModel *treeModel() const { return model_.get(); }
    DeviceTree &tindrels() { return tindrels_; }
    QMessageBox *aboutPanel() const { return aboutPanel_; }
    server::ServerPanelController *serverPanel() const { return serverPanel_.get(); }
    server::BoardListController *boardList() const { return boardList_.get(); }
    const std::vector<std::unique_ptr<ViewFormController>> &exampleWindowControllers() const
    {
        return exampleWindowControllers_;
    }
    // The remembered session, with the defaults given; null without them.
    SessionKeeper *session() const { return session_.get(); }
    // File menu: "Restore Channel Settings" and "Start Clean at Next Launch"
    // (checkable; present with a session only).
    QAction *restoreChannelSettingsAction() const { return restoreSettingsAction_; }
    QAction *startCleanAction() const { return startCleanAction_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void closeExampleWindows();
    void showManagerFailure(const QString &call, const QString &detail);
    void postFirmwareLookup(TindrelHandle device, TindrelDevice *node);
    void applyFirmware(TindrelTreeNode *node, uint64_t uid, std::optional<FirmwareUpgrade> fw);
    void expandIfItShould(const TindrelTreeNode *node);
    void scheduleRefresh(TindrelTreeNode *node);
    void keepExampleController(std::unique_ptr<ViewFormController> controller);
    void addSessionActions(QMenu *file);
    void reopenWhenRemembered(const TindrelChannel *channel);
    void reopenRemembered(const session::ChannelAddress &address, const TindrelTreeNode *device, uint64_t uid);

    // Work for the view gathered from tree changes, applied together.
    // Nodes taken out of the tree stay alive here until the view has let go
    // of their rows.
    struct PendingView {
        std::vector<TindrelTreeNode *> refresh;   // each node once, in order of first change
        std::unordered_set<const TindrelTreeNode *> refreshSet;
        std::vector<std::pair<const TindrelTreeNode *, bool>> expand;   // node, expand (else collapse)
        std::vector<DeviceTree::DetachResult> removed;
    };

    Options options_;
    // Declared in this order so that they go in the reverse one: the window
    // (and its view) first, then the pending nodes, the model, the tree.
    DeviceTree tindrels_;
    TreeIcons icons_;
    std::unique_ptr<DeviceTreeModel> model_;
    PendingView pending_;
    QTimer viewUpdateTimer_;
    std::unique_ptr<QMainWindow> window_;
    QTreeView *tindrelTreeView_ = nullptr;
    QLabel *managerStatusLbl_ = nullptr;
    QPointer<QMessageBox> aboutPanel_;
    std::unique_ptr<server::ServerPanelController> serverPanel_;
    std::unique_ptr<server::BoardListController> boardList_;
    std::unique_ptr<LibraryEvents> events_;
    std::unique_ptr<FirmwareController> firmware_;   // goes before the window and the tree
    std::vector<std::unique_ptr<ViewFormController>> exampleWindowControllers_;
    std::unique_ptr<SessionKeeper> session_;
    QAction *restoreSettingsAction_ = nullptr;
    QAction *startCleanAction_ = nullptr;
    bool terminated_ = false;
};

}   // namespace tindrel
