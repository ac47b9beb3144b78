#pragma once

// What the main window's tests share: finding rows and channels, and
// opening windows as a person would.
#include <QAbstractItemModel>
#include <QApplication>
#include <QList>
#include <QTest>
#include <QTreeView>

#include "ExampleWindow.h"
#include "TindrelTreeNode.h"

namespace tindrel::testsupport {

inline int countChannels(const TindrelTreeNode &node)
{
    int n = dynamic_cast<const TindrelChannel *>(&node) ? 1 : 0;
    for (const auto &c : node.children())
        n += countChannels(*c);
    return n;
}

// The shown row (of the model) whose name column reads name, searched depth first.
inline QModelIndex findRow(const QAbstractItemModel &model, const QString &name, const QModelIndex &parent = {})
{
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        if (i.data().toString() == name)
            return i;
        const QModelIndex deeper = findRow(model, name, i);
        if (deeper.isValid())
            return deeper;
    }
    return {};
}

// Double-clicks the row as a person would: on the tree view's viewport.
inline void doubleClickRow(QTreeView *view, const QModelIndex &index)
{
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

inline QList<ExampleWindow *> openExampleWindows()
{
    QList<ExampleWindow *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *example = qobject_cast<ExampleWindow *>(w); example && example->isVisible())
            out << example;
    return out;
}

}   // namespace tindrel::testsupport
