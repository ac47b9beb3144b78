// The dictionary table of the network server panel: one row per dictionary
// file, an add sheet that proposes the next serial number, removal of the
// selected row and the enabled check box. Files are written and removed
// through the panel's privileged operations; the list changes with them and
// is read from the directory only at start-up.
#pragma once

#include "Dictionaries.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;
class QWidget;

namespace tindrel {
class AlertService;
}

namespace tindrel::server {

// The column identifiers of the dictionary table.
inline constexpr const char *kLabelColumn = "labelColumn";
inline constexpr const char *kSnColumn = "snColumn";
inline constexpr const char *kEnabledColumn = "enabledColumn";

// What a cell of the table shows: the label, the serial number as a number,
// the enabled flag as a boolean; nothing for any other column.
QVariant dictionaryCellValue(const TindrelDictionary &dictionary, const QString &column);

struct DictionaryPanelServices {
    std::string directory;   // the daemon's dictionary directory
    std::function<void(const QString &text, const QString &path)> writeAuthorized;
    std::function<void(const QString &path)> deleteAuthorized;
    AlertService *alerts = nullptr;
};

class DictionaryPanelController : public QObject {
    Q_OBJECT
public:
    DictionaryPanelController(DictionaryPanelServices services, QWidget *parent);
    ~DictionaryPanelController() override;

    // The table and its buttons, for the server panel's layout.
    QWidget *view() const { return view_; }
    // The controls that follow the panel's lock.
    std::vector<QWidget *> lockedControls() const;

    void readInDictionaries();
    void writeOutDictionaryConfig(const TindrelDictionary &dictionary);
    void deleteDictionary(const TindrelDictionary &dictionary);
    std::optional<std::int32_t> nextDictionarySerial() const;

    // Segment 0 opens the add sheet, segment 1 removes the selected row.
    void dictionaryTableButtonPressed(int segment);
    // Flips the enabled flag of the record in row.
    void dictionaryEnabledChecked(int row);
    void dictionaryAddSheetCancel();
    void dictionaryAddSheetCreate();
    // The serial field's check: refuses, with the alert where one is due,
    // what may not become a serial number.
    bool isValidSerialField();
    void tableViewSelectionDidChange();

    int numberOfRowsInTableView() const { return static_cast<int>(dictionaries_.size()); }
    QVariant objectValueForTableColumn(const QString &column, int row) const;

    const std::vector<TindrelDictionary> &dictionaries() const { return dictionaries_; }

    QTableWidget *dictionaryTable = nullptr;
    QWidget *dictionaryTableButtons = nullptr;
    QToolButton *dictionaryAddButton = nullptr;      // segment 0
    QToolButton *dictionaryRemoveButton = nullptr;   // segment 1
    QPushButton *dictionaryFakeButton = nullptr;
    QPointer<QDialog> dictionaryAddSheet;   // a window of its own, parented to the main window
    QLineEdit *dictionaryAddSerial = nullptr;
    QLineEdit *dictionaryAddLabel = nullptr;

private:
    void buildView(QWidget *parent);
    void buildAddSheet();
    void reloadData();
    void didEndDictionaryAddSheet();
    int selectedRow() const;

    DictionaryPanelServices services_;
    std::vector<TindrelDictionary> dictionaries_;
    QWidget *view_ = nullptr;
    bool reloading_ = false;
    bool checkingSerial_ = false;
};

}   // namespace tindrel::server
