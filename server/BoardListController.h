// The list of single-board computers that announce themselves on the local
// network: one row per board in order of discovery, the selected board's
// host name and addresses (looked up on a background queue), and its web
// page on a double-click. Main thread only; discovery events reach it
// through the main window while the library thread waits.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QAbstractTableModel>
#include <QObject>
#include <QPointer>
#include <QString>

#include "BackgroundQueue.h"
#include "SbcBoard.h"
#include "SbcLibrary.h"
#include "UrlOpener.h"
#include "tindrel22_core.h"

class QGroupBox;
class QLabel;
class QTableView;
class QWidget;

namespace tindrel::server {

// The boards as table rows; the list itself lives in the controller.
class BoardTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DeviceColumn, MacAddrColumn, VersionColumn, FirmwareColumn, HostnameColumn, ColumnCount };
    // Each column's identifier, under Qt::UserRole of its header.
    static QString columnIdentifier(int column);

    explicit BoardTableModel(const std::vector<TindrelSBC> &boards, QObject *parent = nullptr)
        : QAbstractTableModel(parent)
        , boards_(boards)
    { }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Tell the view about a row added at the end, or about to go.
    void beginAppend() { beginInsertRows({}, rowCount(), rowCount()); }
    void endAppend() { endInsertRows(); }
    void beginRemove(int row) { beginRemoveRows({}, row, row); }
    void endRemove() { endRemoveRows(); }
    void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, ColumnCount - 1)); }

private:
    const std::vector<TindrelSBC> &boards_;
};

struct BoardListServices {
    std::shared_ptr<BoardAddressResolver> resolver;   // default: the device library's
    std::shared_ptr<platform::UrlOpener> urls;        // none: double-clicks open nothing
};

class BoardListController : public QObject {
    Q_OBJECT
public:
    BoardListController(BoardListServices services, QWidget *parent);
    ~BoardListController() override;

    QWidget *panel() const;

    // Discovery events, on the main thread while the library waits: only
    // single-board computers (server type 7) are taken.
    void serverAdded(TindrelServerHandle server, kv_t kv);
    void serverRemoved(TindrelServerHandle server);
    void sbcAdded(const TindrelSBC &sbc);
    void sbcRemoved(const TindrelSBC &sbc);

    void tableViewSelectionDidChange();
    void sbcDoubleClicked();
    // Results of resolutions still under way are dropped from here on.
    void shutDown();

    const std::vector<TindrelSBC> &sbcs() const { return sbcs_; }
    BoardTableModel *model() const { return model_; }
    bool resolving() const { return queue_.busy(); }

    QTableView *sbcTable = nullptr;
    QLabel *mdnsHostnameTextField = nullptr;
    QLabel *ipAddressTextField = nullptr;

private:
    void buildPanel(QWidget *parent);
    std::optional<int> selectedRow() const;
    int indexOf(const QString &name) const;
    void addressesResolved(const QString &name, const QString &host,
                           const std::optional<std::vector<QString>> &addresses);

    BoardListServices services_;
    std::vector<TindrelSBC> sbcs_;
    BoardTableModel *model_ = nullptr;
    QPointer<QGroupBox> panel_;
    std::shared_ptr<MainThreadRelay> relay_;
    BackgroundQueue queue_;
};

}   // namespace tindrel::server
