#include "ErrorEventLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tindrel {

ErrorEventLog::ErrorEventLog(QWidget *owner)
    : QWidget(owner, Qt::Tool)
    , errorEventLog(new QTextEdit(this))
    , errorEventLogCounter(new QLabel(QStringLiteral("0"), this))
    , clearButton(new QPushButton(QStringLiteral("Clear"), this))
{
    setWindowTitle(owner ? owner->windowTitle() + QStringLiteral(" Error Event Log")
                         : QStringLiteral("Error Event Log"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    errorEventLog->setReadOnly(true);
    // A log only ever grows at its end; an undo history of every line would
    // hold a second copy of it for as long as the window is open.
    errorEventLog->setUndoRedoEnabled(false);
    errorEventLog->setLineWrapMode(QTextEdit::WidgetWidth);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Errors:"), this));
    bottom->addWidget(errorEventLogCounter);
    bottom->addStretch(1);
    bottom->addWidget(clearButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(errorEventLog, 1);
    layout->addLayout(bottom);
    resize(420, 240);

    connect(clearButton, &QPushButton::clicked, this, &ErrorEventLog::clearRequested);
}

void ErrorEventLog::appendLine(const QString &text)
{
    // No colour of its own: the line is drawn in the palette's text colour,
    // the desktop's light or dark one, whenever that changes.
    const QTextCharFormat format;
    QTextCursor cursor(errorEventLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    cursor.insertText(text + QLatin1Char('\n'), format);
    cursor.endEditBlock();
}

void ErrorEventLog::setCount(int count) { errorEventLogCounter->setText(QString::number(count)); }

void ErrorEventLog::clearText() { errorEventLog->setPlainText(QString()); }

}   // namespace tindrel
