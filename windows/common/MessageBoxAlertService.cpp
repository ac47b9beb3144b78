#include "MessageBoxAlertService.h"

#include <QMessageBox>
#include <QPushButton>

namespace tindrel {

namespace {

void show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, QString(), title, QMessageBox::Ok, parent);
    box.setInformativeText(text);
    box.exec();
}

}   // namespace

void MessageBoxAlertService::showAlert(QWidget *parent, const QString &title, const QString &text)
{
    show(parent, QMessageBox::Warning, title, text);
}

void MessageBoxAlertService::showCritical(QWidget *parent, const QString &title, const QString &text)
{
    show(parent, QMessageBox::Critical, title, text);
}

int MessageBoxAlertService::askAlert(QWidget *parent, const QString &title, const QString &text,
                                     const QStringList &buttons)
{
    QMessageBox box(QMessageBox::Question, QString(), title, QMessageBox::NoButton, parent);
    box.setInformativeText(text);
    QList<QAbstractButton *> made;
    for (const QString &label : buttons)
        made.append(box.addButton(label, QMessageBox::AcceptRole));
    if (!made.isEmpty()) {
        box.setDefaultButton(static_cast<QPushButton *>(made.first()));
        // Escape, closing the box, or the program quitting choose the last
        // button; without an escape button the box would refuse to close.
        box.setEscapeButton(made.last());
    }
    box.exec();
    const qsizetype chosen = made.indexOf(box.clickedButton());
    return chosen < 0 ? 0 : static_cast<int>(chosen);
}

}   // namespace tindrel
