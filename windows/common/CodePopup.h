#pragma once

#include "WindowLogic.h"

#include <QComboBox>

#include <optional>
#include <span>

namespace tindrel {

// A pop-up whose titles stand for library codes by a fixed table. The items
// shown may be any subset of the table, in any order.
class CodePopup : public QComboBox {
    Q_OBJECT
public:
    explicit CodePopup(std::span<const CodeTitle> table, QWidget *parent = nullptr);

    // Replaces the items; titles are expected to be in the table.
    void setTitles(const QStringList &titles);
    // Shows every title of the table, in table order.
    void showWholeTable();

    // The code of the selected title; nothing when no item is selected or
    // its title is not in the table.
    std::optional<int> currentCode() const;
    // Selects the item whose title is title; selects nothing when absent.
    void selectTitle(const QString &title);
    void selectCode(int code);
    // Selects the code's title and reports it as the user's pick would;
    // false, and nothing reported, when the code has no title shown.
    bool choose(int code);

signals:
    // The user picked an item whose title is in the table.
    void codeChosen(int code);
    // The user picked an item whose title is not in the table.
    void unknownTitleChosen(const QString &title);

private:
    std::span<const CodeTitle> table_;
};

}   // namespace tindrel
