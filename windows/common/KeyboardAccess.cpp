#include "KeyboardAccess.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <vector>

namespace tindrel {

namespace {

// A control's own parts (a spin box's line edit, a tab bar's scroll
// buttons, a scroll area's bars) are reached through the control.
bool isPartOfAnotherControl(const QWidget &w)
{
    for (const QWidget *p = w.parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p) ||
            qobject_cast<const QTabBar *>(p) || qobject_cast<const QAbstractItemView *>(p))
            return true;
    return false;
}

QString plain(QString text)
{
    text.remove(QLatin1Char('&'));
    text = text.simplified();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

void collectFromLayout(QLayout *layout, std::vector<QWidget *> &out);

void collectFromWidget(QWidget *w, std::vector<QWidget *> &out)
{
    if (isInteractiveControl(*w))
        out.push_back(w);
    if (w->layout())
        collectFromLayout(w->layout(), out);
}

void collectFromLayout(QLayout *layout, std::vector<QWidget *> &out)
{
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        // Row by row, whatever order the cells were added in.
        std::vector<std::pair<std::pair<int, int>, QLayoutItem *>> cells;
        for (int i = 0; i < grid->count(); ++i) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            cells.push_back({{row, column}, grid->itemAt(i)});
        }
        std::stable_sort(cells.begin(), cells.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &cell : cells) {
            if (QWidget *w = cell.second->widget())
                collectFromWidget(w, out);
            else if (QLayout *inner = cell.second->layout())
                collectFromLayout(inner, out);
        }
        return;
    }
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QWidget *w = item->widget())
            collectFromWidget(w, out);
        else if (QLayout *inner = item->layout())
            collectFromLayout(inner, out);
    }
}

// The layout that holds w directly, searched from its parent's layout down.
QLayout *holdingLayout(QLayout *layout, const QWidget *w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == w)
            return layout;
        if (QLayout *inner = item->layout())
            if (QLayout *found = holdingLayout(inner, w))
                return found;
    }
    return nullptr;
}

QLabel *rowLabel(QWidget &w, QWidget &window)
{
    for (QLabel *label : window.findChildren<QLabel *>())
        if (label->buddy() == &w)
            return label;
    QWidget *parent = w.parentWidget();
    QLayout *layout = parent && parent->layout() ? holdingLayout(parent->layout(), &w) : nullptr;
    if (!layout)
        return nullptr;
    if (auto *form = qobject_cast<QFormLayout *>(layout))
        return qobject_cast<QLabel *>(form->labelForField(&w));
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(&w), &row, &column, &rowSpan, &columnSpan);
        QLayoutItem *before = column > 0 ? grid->itemAtPosition(row, column - 1) : nullptr;
        return before ? qobject_cast<QLabel *>(before->widget()) : nullptr;
    }
    if (qobject_cast<QBoxLayout *>(layout) &&
        static_cast<QBoxLayout *>(layout)->direction() <= QBoxLayout::RightToLeft) {
        const int at = layout->indexOf(&w);
        QLayoutItem *before = at > 0 ? layout->itemAt(at - 1) : nullptr;
        return before ? qobject_cast<QLabel *>(before->widget()) : nullptr;
    }
    return nullptr;
}

QString boxTitle(const QWidget &w)
{
    for (const QWidget *p = w.parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (const auto *box = qobject_cast<const QGroupBox *>(p); box && !plain(box->title()).isEmpty())
            return plain(box->title());
        else if (const auto *tabs =
                     p->parentWidget() ? qobject_cast<const QTabWidget *>(p->parentWidget()->parentWidget()) : nullptr)
            // A page of a tab widget (inside its stack): the page's tab.
            if (const int tab = tabs->indexOf(const_cast<QWidget *>(p));
                tab >= 0 && !plain(tabs->tabText(tab)).isEmpty())
                return plain(tabs->tabText(tab));
    return {};
}

QString nameFor(QWidget &w, QWidget &window)
{
    if (QLabel *label = rowLabel(w, window); label && !plain(label->text()).isEmpty()) {
        // The label's mnemonic, if it has one, now reaches the control.
        if (!label->buddy())
            label->setBuddy(&w);
        return plain(label->text());
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(&w); button && !plain(button->text()).isEmpty())
        return plain(button->text());
    if (!plain(w.toolTip()).isEmpty())
        return plain(w.toolTip());
    if (const auto *edit = qobject_cast<const QLineEdit *>(&w); edit && !edit->placeholderText().isEmpty())
        return plain(edit->placeholderText());
    return boxTitle(w);
}

}   // namespace

bool isInteractiveControl(const QWidget &w)
{
    const bool control = (qobject_cast<const QAbstractSlider *>(&w) && !qobject_cast<const QScrollBar *>(&w)) ||
                         qobject_cast<const QAbstractSpinBox *>(&w) || qobject_cast<const QComboBox *>(&w) ||
                         qobject_cast<const QAbstractButton *>(&w) || qobject_cast<const QLineEdit *>(&w) ||
                         qobject_cast<const QAbstractItemView *>(&w);
    return control && !isPartOfAnotherControl(w);
}

void makeKeyboardUsable(QWidget &window)
{
    std::vector<QWidget *> order;
    if (window.layout())
        collectFromLayout(window.layout(), order);
    // Controls outside layouts (pages of tab widgets, placed by hand) follow,
    // in the order they were made.
    for (QWidget *w : window.findChildren<QWidget *>())
        if (w->window() == &window && isInteractiveControl(*w) && std::ranges::find(order, w) == order.end())
            order.push_back(w);
    std::erase_if(order, [&](QWidget *w) { return w->window() != &window; });

    for (QWidget *w : order) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            w->setFocusPolicy(Qt::StrongFocus);
        if (w->accessibleName().isEmpty())
            w->setAccessibleName(nameFor(*w, window));
    }
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

}   // namespace tindrel
