#pragma once

#include "DictionaryLogic.h"
#include "ExampleWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace tindrel {

// A dictionary's key set to a value (added or updated: key, value) or
// removed (key). One shape keeps their order in one stream.
struct DictionaryEvent {
    bool present = false;
    QString key;
    QString value;

    static DictionaryEvent from(const char *k, const char *v)
    {
        return {true, QString::fromUtf8(k ? k : ""), QString::fromUtf8(v ? v : "")};
    }
    static DictionaryEvent from(const char *k) { return {false, QString::fromUtf8(k ? k : ""), {}}; }
    static constexpr std::size_t fieldCount = 1;
    std::array<double, fieldCount> fields() const { return {present ? 1.0 : 0.0}; }
    std::optional<double> timestamp() const { return std::nullopt; }
};

// A live view of one dictionary of a network server: every key with its
// value, sorted by key, following the server's additions, changes and
// removals; keys are added and the selected key removed from here. The
// whole contents are read at every attach, so what changed while the
// channel was away shows when it comes back.
class DictionaryController : public ExampleWindowOf<DictionaryController> {
public:
    DictionaryController();

    void addEntry();
    void removeEntry();

    // Event handlers on the main thread.
    void onUpdateHandler(const QString &key, const QString &value);
    void onRemoveHandler(const QString &key);

    void sort();
    int numberOfRowsInTableView() const { return static_cast<int>(pairs.size()); }
    // The text of a cell: the key in "keyColumn", its value elsewhere.
    QString viewForTableColumn(const QString &column, int row) const;

    QLabel *serialNumberLabel = new QLabel(this);
    QLabel *deviceConnectedLabel = new QLabel(this);
    QTableWidget *tableView = new QTableWidget(0, 2, this);
    QLineEdit *keyTextField = new QLineEdit(this);
    QLineEdit *valueTextField = new QLineEdit(this);
    QPushButton *addButton = new QPushButton(QStringLiteral("Add"), this);
    QPushButton *removeButton = new QPushButton(QStringLiteral("Remove"), this);

    DictionaryPairs pairs;
    std::vector<QString> sortedKeys;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    // This window has no device information box.
    void sizeWindow(SizingMoment moment) override;

private:
    void takeEvent(const DictionaryEvent &e);
    void reloadData();
    ValueStream<DictionaryEvent> &changes;
};

}   // namespace tindrel
