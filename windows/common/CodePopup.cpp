#include "CodePopup.h"

namespace tindrel {

CodePopup::CodePopup(std::span<const CodeTitle> table, QWidget *parent)
    : QComboBox(parent)
    , table_(table)
{
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString title = itemText(index);
        if (auto code = codeForTitle(table_, title))
            emit codeChosen(*code);
        else
            emit unknownTitleChosen(title);
    });
}

void CodePopup::setTitles(const QStringList &titles)
{
    clear();
    addItems(titles);
}

void CodePopup::showWholeTable()
{
    QStringList titles;
    for (const auto &row : table_)
        titles.append(QString::fromLatin1(row.title));
    setTitles(titles);
}

std::optional<int> CodePopup::currentCode() const
{
    if (currentIndex() < 0)
        return std::nullopt;
    return codeForTitle(table_, currentText());
}

void CodePopup::selectTitle(const QString &title) { setCurrentIndex(findText(title, Qt::MatchExactly)); }

void CodePopup::selectCode(int code)
{
    if (auto title = titleForCode(table_, code))
        selectTitle(*title);
    else
        setCurrentIndex(-1);
}

bool CodePopup::choose(int code)
{
    const auto title = titleForCode(table_, code);
    const int index = title ? findText(*title, Qt::MatchExactly) : -1;
    if (index < 0)
        return false;
    setCurrentIndex(index);
    emit codeChosen(code);
    return true;
}

}   // namespace tindrel
