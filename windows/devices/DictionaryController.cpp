#include "DictionaryController.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

namespace tindrel {

namespace {

constexpr int kIdentifierRole = Qt::UserRole;
const QString kKeyColumn = QStringLiteral("keyColumn");
const QString kValueColumn = QStringLiteral("valueColumn");

}   // namespace

// Beside the window: it needs the device library, the pure scan does not.
DictionaryPairs TindrelDictionaryScanner::scan(TindrelDictionaryHandle ch,
                                               const std::function<void(TindrelReturnCode)> &failed)
{
    const auto reported = [&failed](TindrelReturnCode rc) {
        if (rc != TINDREL_OK && failed)
            failed(rc);
        return rc;
    };
    return scan([&](const char *start, char *keys,
                    std::size_t length) { return reported(TindrelDictionary_scan(ch, start, keys, length)); },
                [&](const char *key, char *value, std::size_t length) {
                    return reported(TindrelDictionary_get(ch, key, value, length));
                });
}

DictionaryController::DictionaryController()
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelDictionaryHandle, TindrelDictionary_create, TindrelDictionary_delete>(),
          Form::View)
    , changes(addStream<DictionaryEvent>(QStringLiteral("Changes"), {{QStringLiteral("Key present"), QString()}}, {}))
{
    setWindowTitle(QStringLiteral("Dictionary"));

    auto *about = new QGroupBox(QStringLiteral("Dictionary"), this);
    auto *aboutForm = new QFormLayout(about);
    serialNumberLabel->setObjectName(QStringLiteral("serialNumberLabel"));
    deviceConnectedLabel->setObjectName(QStringLiteral("deviceConnectedLabel"));
    serialNumberLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    deviceConnectedLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    aboutForm->addRow(QStringLiteral("Serial Number:"), serialNumberLabel);
    aboutForm->addRow(QStringLiteral("Label:"), deviceConnectedLabel);
    contentLayout()->addWidget(about);

    // The contents stay in view while detached: the table is no attach box.
    auto *contents = new QGroupBox(QStringLiteral("Keys"), this);
    auto *contentsLayout = new QVBoxLayout(contents);
    tableView->setObjectName(QStringLiteral("tableView"));
    const QStringList titles = {QStringLiteral("Key"), QStringLiteral("Value")};
    const QStringList identifiers = {kKeyColumn, kValueColumn};
    for (int c = 0; c < 2; ++c) {
        auto *header = new QTableWidgetItem(titles[c]);
        header->setData(kIdentifierRole, identifiers[c]);
        tableView->setHorizontalHeaderItem(c, header);
    }
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView->verticalHeader()->setVisible(false);
    tableView->horizontalHeader()->setStretchLastSection(true);
    tableView->setMinimumHeight(220);
    contentsLayout->addWidget(tableView);

    auto *entry = new QHBoxLayout;
    keyTextField->setObjectName(QStringLiteral("keyTextField"));
    keyTextField->setPlaceholderText(QStringLiteral("key"));
    valueTextField->setObjectName(QStringLiteral("valueTextField"));
    valueTextField->setPlaceholderText(QStringLiteral("value"));
    entry->addWidget(keyTextField, 1);
    entry->addWidget(valueTextField, 2);
    entry->addWidget(addButton);
    entry->addWidget(removeButton);
    contentsLayout->addLayout(entry);
    contentLayout()->addWidget(contents);

    changes.onEveryEvent([this](const DictionaryEvent &e) { takeEvent(e); });
    connect(addButton, &QPushButton::clicked, this, &DictionaryController::addEntry);
    connect(removeButton, &QPushButton::clicked, this, &DictionaryController::removeEntry);
}

void DictionaryController::registerValueHandlers()
{
    subscribe(&TindrelDictionary_setOnUpdateHandler, changes);
    subscribe(&TindrelDictionary_setOnAddHandler, changes);
    subscribe(&TindrelDictionary_setOnRemoveHandler, changes);
}

void DictionaryController::onAttach()
{
    auto *ch = handle<TindrelDictionaryHandle>();
    int32_t serial = 0;
    const char *label = nullptr;
    if (!check(Tindrel_getDeviceSerialNumber(reinterpret_cast<TindrelHandle>(ch), &serial)) ||
        !check(Tindrel_getDeviceLabel(reinterpret_cast<TindrelHandle>(ch), &label)))
        return;
    serialNumberLabel->setText(QString::asprintf("%d", serial));
    deviceConnectedLabel->setText(QString::fromUtf8(label ? label : ""));
    pairs = TindrelDictionaryScanner::scan(ch, [this](TindrelReturnCode) { outputLastError(); });
    sort();
    reloadData();
}

void DictionaryController::sizeWindow(SizingMoment moment)
{
    tindrelInfoBox()->hide();
    ExampleWindow::sizeWindow(moment);
}

void DictionaryController::onDetach()
{
    serialNumberLabel->clear();
    deviceConnectedLabel->clear();
}

void DictionaryController::takeEvent(const DictionaryEvent &e)
{
    if (e.present)
        onUpdateHandler(e.key, e.value);
    else
        onRemoveHandler(e.key);
}

void DictionaryController::onUpdateHandler(const QString &key, const QString &value)
{
    pairs[key] = value;
    sort();
    reloadData();
}

void DictionaryController::onRemoveHandler(const QString &key)
{
    if (!pairs.erase(key))
        return;
    sort();
    reloadData();
}

void DictionaryController::addEntry()
{
    if (!hasChannel())
        return;
    const QString key = keyTextField->text();
    const QString value = valueTextField->text();
    if (!check(TindrelDictionary_add(handle<TindrelDictionaryHandle>(), key.toUtf8().constData(),
                                     value.toUtf8().constData())))
        return;
    onUpdateHandler(key, value);
}

void DictionaryController::removeEntry()
{
    const QList<QTableWidgetSelectionRange> ranges = tableView->selectedRanges();
    if (ranges.isEmpty() || !hasChannel())
        return;
    const int row = ranges.first().topRow();
    if (row < 0 || row >= static_cast<int>(sortedKeys.size()))
        return;
    const QString key = sortedKeys[static_cast<std::size_t>(row)];
    if (!check(TindrelDictionary_remove(handle<TindrelDictionaryHandle>(), key.toUtf8().constData())))
        return;
    onRemoveHandler(key);
}

void DictionaryController::sort() { sortedKeys = sortedKeysOf(pairs); }

QString DictionaryController::viewForTableColumn(const QString &column, int row) const
{
    if (row < 0 || row >= static_cast<int>(sortedKeys.size()))
        return {};
    const QString &key = sortedKeys[static_cast<std::size_t>(row)];
    if (column == kKeyColumn)
        return key;
    const auto it = pairs.find(key);
    return it == pairs.end() ? QString() : it->second;
}

void DictionaryController::reloadData()
{
    // The selection follows its key, not its row, when rows come and go.
    QString selectedKey;
    if (const auto ranges = tableView->selectedRanges(); !ranges.isEmpty())
        selectedKey = tableView->item(ranges.first().topRow(), 0) ? tableView->item(ranges.first().topRow(), 0)->text()
                                                                  : QString();
    tableView->clearSelection();
    tableView->setRowCount(numberOfRowsInTableView());
    for (int r = 0; r < numberOfRowsInTableView(); ++r)
        for (int c = 0; c < 2; ++c) {
            const QString column = tableView->horizontalHeaderItem(c)->data(kIdentifierRole).toString();
            auto *item = new QTableWidgetItem(viewForTableColumn(column, r));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            tableView->setItem(r, c, item);
        }
    if (!selectedKey.isEmpty())
        for (int r = 0; r < static_cast<int>(sortedKeys.size()); ++r)
            if (sortedKeys[static_cast<std::size_t>(r)] == selectedKey)
                tableView->selectRow(r);
}

}   // namespace tindrel
