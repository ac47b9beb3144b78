#include "DictionaryPanelController.h"

#include "AlertService.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tindrel::server {

namespace {

const char *const kColumns[] = {kLabelColumn, kSnColumn, kEnabledColumn};
constexpr int kEnabledColumnIndex = 2;
constexpr int kIdentifierRole = Qt::UserRole;

}   // namespace

QVariant dictionaryCellValue(const TindrelDictionary &d, const QString &column)
{
    if (column == QLatin1String(kLabelColumn))
        return QString::fromUtf8(d.label.c_str());
    if (column == QLatin1String(kSnColumn))
        return QVariant::fromValue<qint32>(d.sn);
    if (column == QLatin1String(kEnabledColumn))
        return d.enabled;
    return {};
}

DictionaryPanelController::DictionaryPanelController(DictionaryPanelServices services, QWidget *parent)
    : QObject(nullptr)
    , services_(std::move(services))
{
    buildView(parent);
    buildAddSheet();
}

DictionaryPanelController::~DictionaryPanelController()
{
    // The sheet belongs to the main window; it goes with this controller
    // unless the window went first.
    delete dictionaryAddSheet.data();
}

void DictionaryPanelController::buildView(QWidget *parent)
{
    view_ = new QWidget(parent);
    view_->setObjectName(QStringLiteral("dictionaryView"));
    auto *layout = new QVBoxLayout(view_);
    layout->setContentsMargins(0, 0, 0, 0);

    dictionaryTable = new QTableWidget(0, 3, view_);
    dictionaryTable->setObjectName(QStringLiteral("dictionaryTable"));
    const QStringList titles = {tr("Label"), tr("Serial Number"), tr("Enabled")};
    for (int c = 0; c < 3; ++c) {
        auto *header = new QTableWidgetItem(titles[c]);
        header->setData(kIdentifierRole, QString::fromLatin1(kColumns[c]));
        dictionaryTable->setHorizontalHeaderItem(c, header);
    }
    dictionaryTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    dictionaryTable->setSelectionMode(QAbstractItemView::SingleSelection);
    dictionaryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dictionaryTable->verticalHeader()->setVisible(false);
    dictionaryTable->horizontalHeader()->setStretchLastSection(true);
    dictionaryTable->setMinimumHeight(100);
    layout->addWidget(dictionaryTable);

    auto *row = new QHBoxLayout;
    dictionaryTableButtons = new QWidget(view_);
    dictionaryTableButtons->setObjectName(QStringLiteral("dictionaryTableButtons"));
    auto *segments = new QHBoxLayout(dictionaryTableButtons);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    dictionaryAddButton = new QToolButton(dictionaryTableButtons);
    dictionaryAddButton->setObjectName(QStringLiteral("dictionaryAddButton"));
    dictionaryAddButton->setText(QStringLiteral("+"));
    dictionaryAddButton->setToolTip(tr("Add a dictionary"));
    dictionaryRemoveButton = new QToolButton(dictionaryTableButtons);
    dictionaryRemoveButton->setObjectName(QStringLiteral("dictionaryRemoveButton"));
    dictionaryRemoveButton->setText(QStringLiteral("-"));
    dictionaryRemoveButton->setToolTip(tr("Remove the selected dictionary"));
    dictionaryRemoveButton->setEnabled(false);
    segments->addWidget(dictionaryAddButton);
    segments->addWidget(dictionaryRemoveButton);
    dictionaryFakeButton = new QPushButton(view_);
    dictionaryFakeButton->setObjectName(QStringLiteral("dictionaryFakeButton"));
    dictionaryFakeButton->setFlat(true);
    dictionaryFakeButton->setFocusPolicy(Qt::NoFocus);
    row->addWidget(dictionaryTableButtons);
    row->addWidget(dictionaryFakeButton, 1);
    layout->addLayout(row);

    connect(dictionaryAddButton, &QToolButton::clicked, this, [this] { dictionaryTableButtonPressed(0); });
    connect(dictionaryRemoveButton, &QToolButton::clicked, this, [this] { dictionaryTableButtonPressed(1); });
    connect(dictionaryTable, &QTableWidget::itemSelectionChanged, this,
            &DictionaryPanelController::tableViewSelectionDidChange);
    connect(dictionaryTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        // Only the user's clicks on the check box, not the table's reload.
        if (!reloading_ && item->column() == kEnabledColumnIndex)
            dictionaryEnabledChecked(item->row());
    });
}

void DictionaryPanelController::buildAddSheet()
{
    dictionaryAddSheet = new QDialog(view_->window());
    dictionaryAddSheet->setObjectName(QStringLiteral("dictionaryAddSheet"));
    dictionaryAddSheet->setWindowTitle(tr("New Dictionary"));
    dictionaryAddSheet->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(dictionaryAddSheet);
    auto *form = new QFormLayout;
    dictionaryAddSerial = new QLineEdit(dictionaryAddSheet);
    dictionaryAddSerial->setObjectName(QStringLiteral("dictionaryAddSerial"));
    dictionaryAddLabel = new QLineEdit(dictionaryAddSheet);
    dictionaryAddLabel->setObjectName(QStringLiteral("dictionaryAddLabel"));
    form->addRow(tr("Serial Number:"), dictionaryAddSerial);
    form->addRow(tr("Label:"), dictionaryAddLabel);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(dictionaryAddSheet);
    QPushButton *cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("dictionaryAddSheetCancel"));
    QPushButton *create = buttons->addButton(tr("Create"), QDialogButtonBox::AcceptRole);
    create->setObjectName(QStringLiteral("dictionaryAddSheetCreate"));
    create->setDefault(true);
    layout->addWidget(buttons);

    connect(cancel, &QPushButton::clicked, this, &DictionaryPanelController::dictionaryAddSheetCancel);
    connect(create, &QPushButton::clicked, this, &DictionaryPanelController::dictionaryAddSheetCreate);
    // Escape and closing the window end the sheet like Cancel.
    connect(dictionaryAddSheet, &QDialog::rejected, this, &DictionaryPanelController::didEndDictionaryAddSheet);
    // The serial number is checked when the sheet is to create (Create or
    // Return): a refused value keeps the sheet open with the focus in the
    // field. Checking on leaving the field as well would alert twice for
    // one attempt, or on the way to Cancel.
}

std::vector<QWidget *> DictionaryPanelController::lockedControls() const
{
    return {dictionaryTable, dictionaryTableButtons, dictionaryFakeButton};
}

void DictionaryPanelController::readInDictionaries()
{
    dictionaries_ = readDictionaryDirectory(services_.directory);
    reloadData();
}

void DictionaryPanelController::writeOutDictionaryConfig(const TindrelDictionary &d)
{
    const std::string path = dictionaryFilePath(services_.directory, d.sn);
    const RenderedConfig rendered = renderDictionaryOver(d, readTextFile(path));
    if (rendered.result == RenderedConfig::Result::Conflict) {
        qWarning("The dictionary file %s holds %s in a form the panel cannot set; it was left as it was", path.c_str(),
                 rendered.text.c_str());
        return;
    }
    if (rendered.result != RenderedConfig::Result::Ok) {
        qWarning("The dictionary file %s would be larger than %zu bytes; it was left as it was", path.c_str(),
                 kDictionaryRenderBufferSize);
        return;
    }
    services_.writeAuthorized(QString::fromUtf8(rendered.text.c_str()), QString::fromStdString(path));
}

void DictionaryPanelController::deleteDictionary(const TindrelDictionary &d)
{
    services_.deleteAuthorized(QString::fromStdString(dictionaryFilePath(services_.directory, d.sn)));
}

std::optional<std::int32_t> DictionaryPanelController::nextDictionarySerial() const
{
    return server::nextDictionarySerial(dictionaries_);
}

int DictionaryPanelController::selectedRow() const
{
    const QList<QTableWidgetSelectionRange> ranges = dictionaryTable->selectedRanges();
    if (ranges.isEmpty())
        return -1;
    const int row = ranges.first().topRow();
    return row < numberOfRowsInTableView() ? row : -1;
}

void DictionaryPanelController::dictionaryTableButtonPressed(int segment)
{
    if (segment == 0) {
        const auto next = nextDictionarySerial();
        dictionaryAddSerial->setText(next ? QString::number(*next) : QString());
        dictionaryAddSerial->setModified(false);
        dictionaryAddSheet->open();
        dictionaryAddSerial->setFocus();
        dictionaryAddSerial->selectAll();
        return;
    }
    if (segment != 1)
        return;
    const int row = selectedRow();
    if (row < 0)
        return;
    deleteDictionary(dictionaries_[static_cast<std::size_t>(row)]);
    dictionaries_.erase(dictionaries_.begin() + row);
    reloadData();
}

void DictionaryPanelController::dictionaryEnabledChecked(int row)
{
    if (row < 0 || row >= numberOfRowsInTableView())
        return;
    TindrelDictionary &d = dictionaries_[static_cast<std::size_t>(row)];
    d.enabled = !d.enabled;
    writeOutDictionaryConfig(d);
    reloadData();
}

bool DictionaryPanelController::isValidSerialField()
{
    if (checkingSerial_)
        return false;
    checkingSerial_ = true;
    const SerialCheck check = checkDictionarySerial(dictionaryAddSerial->text().toStdString());
    if (check == SerialCheck::RefusedWithAlert && services_.alerts)
        services_.alerts->showAlert(dictionaryAddSheet, QString::fromLatin1(kSerialNotValidTitle),
                                    QString::fromLatin1(kSerialNotValidText));
    if (check != SerialCheck::Valid)
        dictionaryAddSerial->setFocus();
    else
        dictionaryAddSerial->setModified(false);
    checkingSerial_ = false;
    return check == SerialCheck::Valid;
}

void DictionaryPanelController::dictionaryAddSheetCreate()
{
    if (!isValidSerialField())
        return;
    TindrelDictionary d;
    d.label = dictionaryAddLabel->text().toUtf8().toStdString();
    d.sn = serialValue(dictionaryAddSerial->text().toStdString());
    d.enabled = true;
    writeOutDictionaryConfig(d);
    // A serial number already listed names the same file: its row takes
    // the new record instead of a second row for one file.
    const auto same = std::find_if(dictionaries_.begin(), dictionaries_.end(),
                                   [&](const TindrelDictionary &o) { return o.sn == d.sn; });
    if (same != dictionaries_.end())
        *same = d;
    else
        dictionaries_.push_back(d);
    reloadData();
    dictionaryAddSheet->accept();
    didEndDictionaryAddSheet();
}

void DictionaryPanelController::dictionaryAddSheetCancel() { dictionaryAddSheet->reject(); }

void DictionaryPanelController::didEndDictionaryAddSheet() { dictionaryAddSheet->hide(); }

void DictionaryPanelController::tableViewSelectionDidChange()
{
    dictionaryRemoveButton->setEnabled(selectedRow() >= 0);
}

QVariant DictionaryPanelController::objectValueForTableColumn(const QString &column, int row) const
{
    if (row < 0 || row >= numberOfRowsInTableView())
        return {};
    return dictionaryCellValue(dictionaries_[static_cast<std::size_t>(row)], column);
}

void DictionaryPanelController::reloadData()
{
    reloading_ = true;
    const int selected = selectedRow();
    dictionaryTable->setRowCount(numberOfRowsInTableView());
    for (int r = 0; r < numberOfRowsInTableView(); ++r) {
        for (int c = 0; c < 3; ++c) {
            const QString column = dictionaryTable->horizontalHeaderItem(c)->data(kIdentifierRole).toString();
            const QVariant value = objectValueForTableColumn(column, r);
            auto *item = new QTableWidgetItem;
            if (c == kEnabledColumnIndex) {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                item->setCheckState(value.toBool() ? Qt::Checked : Qt::Unchecked);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setData(Qt::DisplayRole, value);
            }
            dictionaryTable->setItem(r, c, item);
        }
    }
    if (selected >= numberOfRowsInTableView())
        dictionaryTable->clearSelection();
    reloading_ = false;
    tableViewSelectionDidChange();
}

}   // namespace tindrel::server
