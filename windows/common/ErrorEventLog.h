#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTextEdit;

namespace tindrel {

// The error event log panel of an example window: the log text, the number
// of errors and a button that clears both. It appears without taking focus.
class ErrorEventLog : public QWidget {
    Q_OBJECT
public:
    explicit ErrorEventLog(QWidget *owner);

    // Appends text + "\n" in the control text colour (as it is when drawn), as one edit.
    void appendLine(const QString &text);
    void setCount(int count);
    void clearText();

    QTextEdit *errorEventLog;
    QLabel *errorEventLogCounter;
    QPushButton *clearButton;

signals:
    void clearRequested();
};

}   // namespace tindrel
