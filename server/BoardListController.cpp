#include "BoardListController.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace tindrel::server {

// ---- the table ----

QString BoardTableModel::columnIdentifier(int column)
{
    switch (column) {
    case DeviceColumn:
        return QStringLiteral("deviceColumn");
    case MacAddrColumn:
        return QStringLiteral("macAddrColumn");
    case VersionColumn:
        return QStringLiteral("versionColumn");
    case FirmwareColumn:
        return QStringLiteral("firmwareColumn");
    case HostnameColumn:
        return QStringLiteral("hostnameColumn");
    default:
        return {};
    }
}

int BoardTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(boards_.size());
}

int BoardTableModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant BoardTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const TindrelSBC &sbc = boards_[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case DeviceColumn:
        return sbc.deviceName;
    case MacAddrColumn:
        return sbc.macAddr;
    case VersionColumn:
        return QString::number(sbc.version);
    case FirmwareColumn:
        return sbc.firmware;
    case HostnameColumn:
        return sbc.hostname;
    default:
        return {};
    }
}

QVariant BoardTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::UserRole)
        return columnIdentifier(section);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case DeviceColumn:
        return tr("Device");
    case MacAddrColumn:
        return tr("MAC Address");
    case VersionColumn:
        return tr("Version");
    case FirmwareColumn:
        return tr("Firmware");
    case HostnameColumn:
        return tr("Hostname");
    default:
        return {};
    }
}

// ---- the controller ----

BoardListController::BoardListController(BoardListServices services, QWidget *parent)
    : QObject(nullptr)
    , services_(std::move(services))
    , relay_(std::make_shared<MainThreadRelay>(this))
{
    if (!services_.resolver)
        services_.resolver = std::make_shared<LibraryAddressResolver>();
    model_ = new BoardTableModel(sbcs_, this);
    buildPanel(parent);
}

BoardListController::~BoardListController()
{
    shutDown();
    // The table goes before the model and list it shows.
    delete panel_.data();
}

void BoardListController::shutDown()
{
    relay_->detach();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

QWidget *BoardListController::panel() const { return panel_; }

void BoardListController::buildPanel(QWidget *parent)
{
    panel_ = new QGroupBox(tr("Single-Board Computers"), parent);
    panel_->setObjectName(QStringLiteral("sbcPanel"));
    auto *layout = new QVBoxLayout(panel_);
    sbcTable = new QTableView(panel_);
    sbcTable->setObjectName(QStringLiteral("sbcTable"));
    sbcTable->setModel(model_);
    sbcTable->setSelectionMode(QAbstractItemView::SingleSelection);
    sbcTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    sbcTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sbcTable->verticalHeader()->setVisible(false);
    sbcTable->horizontalHeader()->setStretchLastSection(true);
    connect(sbcTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    connect(sbcTable, &QTableView::doubleClicked, this, [this] { sbcDoubleClicked(); });
    layout->addWidget(sbcTable);

    auto *form = new QFormLayout;
    mdnsHostnameTextField = new QLabel(panel_);
    mdnsHostnameTextField->setObjectName(QStringLiteral("mdnsHostnameTextField"));
    mdnsHostnameTextField->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ipAddressTextField = new QLabel(panel_);
    ipAddressTextField->setObjectName(QStringLiteral("ipAddressTextField"));
    ipAddressTextField->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Host name:"), mdnsHostnameTextField);
    form->addRow(tr("IP addresses:"), ipAddressTextField);
    layout->addLayout(form);
}

void BoardListController::serverAdded(TindrelServerHandle server, kv_t kv)
{
    if (!server || server->type != TINDRELSERVER_SBC)
        return;
    sbcAdded(TindrelSBC::initWithServer(*server, KvAnnouncement(kv)));
}

void BoardListController::serverRemoved(TindrelServerHandle server)
{
    if (!server || server->type != TINDRELSERVER_SBC)
        return;
    sbcRemoved(TindrelSBC::initWithServer(*server));
}

int BoardListController::indexOf(const QString &name) const
{
    for (size_t i = 0; i < sbcs_.size(); ++i)
        if (sbcs_[i].name == name)
            return static_cast<int>(i);
    return -1;
}

void BoardListController::sbcAdded(const TindrelSBC &sbc)
{
    if (indexOf(sbc.name) >= 0)
        return;
    model_->beginAppend();
    sbcs_.push_back(sbc);
    model_->endAppend();
}

void BoardListController::sbcRemoved(const TindrelSBC &sbc)
{
    const int row = indexOf(sbc.name);
    if (row < 0)
        return;
    // Rows go one by one, so the selection stays on the board it was on
    // (and is cleared with the board itself).
    model_->beginRemove(row);
    sbcs_.erase(sbcs_.begin() + row);
    model_->endRemove();
}

std::optional<int> BoardListController::selectedRow() const
{
    const QModelIndexList rows = sbcTable->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= static_cast<int>(sbcs_.size()))
        return std::nullopt;
    return rows.first().row();
}

void BoardListController::tableViewSelectionDidChange()
{
    const std::optional<int> row = selectedRow();
    if (!row) {
        mdnsHostnameTextField->clear();
        ipAddressTextField->clear();
        return;
    }
    const TindrelSBC &sbc = sbcs_[static_cast<size_t>(*row)];
    mdnsHostnameTextField->setText(sbc.host);
    ipAddressTextField->setText(QString::fromLatin1(sbctexts::kLoading));
    const QString name = sbc.name;
    const QString host = sbc.host;
    const bool queued = queue_.post(
        [resolver = services_.resolver, relay = relay_, this, name, host] {
            std::optional<std::vector<QString>> addresses = resolver->resolve(host);
            relay->post(
                [this, name, host, addresses = std::move(addresses)] { addressesResolved(name, host, addresses); });
        },
        // A lookup of the same board still waiting gives the same answer.
        (name + QLatin1Char('\n') + host).toStdString());
    if (!queued)
        ipAddressTextField->setText(QString::fromLatin1(sbctexts::kErrorLoading));
}

void BoardListController::addressesResolved(const QString &name, const QString &host,
                                            const std::optional<std::vector<QString>> &addresses)
{
    const int row = indexOf(name);
    if (row >= 0 && addresses && !addresses->empty() && sbcs_[static_cast<size_t>(row)].host == host)
        sbcs_[static_cast<size_t>(row)].addr = addresses->front();
    // The labels speak of the selected board only: an answer for one
    // selected earlier does not replace the one awaited now.
    const std::optional<int> selected = selectedRow();
    if (!selected || *selected != row)
        return;
    ipAddressTextField->setText(addressesText(addresses));
}

void BoardListController::sbcDoubleClicked()
{
    const std::optional<int> row = selectedRow();
    if (!row || !services_.urls)
        return;
    const QString url = boardUrl(sbcs_[static_cast<size_t>(*row)].addr);
    if (!url.isEmpty())
        services_.urls->openUrl(url.toStdString());
}

}   // namespace tindrel::server
