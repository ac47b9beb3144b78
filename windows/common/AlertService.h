#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tindrel {

// Modal alerts go through this interface so that tests can capture them
// instead of clicking real dialogs. The real implementation shows a
// QMessageBox; RecordingAlertService (testsupport/) only records.
class AlertService {
public:
    virtual ~AlertService() = default;
    // An alert with a title, an informative text and a single default "OK" button.
    virtual void showAlert(QWidget *parent, const QString &title, const QString &text) = 0;
    // An alert with buttons (first is the default, last the answer of Escape or
    // closing); returns the index of the button chosen.
    virtual int askAlert(QWidget *parent, const QString &title, const QString &text, const QStringList &buttons) = 0;
    // A critical alert with a single "OK" button; plain alerts by default.
    virtual void showCritical(QWidget *parent, const QString &title, const QString &text)
    {
        showAlert(parent, title, text);
    }
};

}   // namespace tindrel
