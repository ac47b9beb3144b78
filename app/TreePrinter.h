#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QAbstractItemModel;
class QCommandLineOption;
class QCommandLineParser;

namespace tindrel {

class ViewController;

// The rows of a tree model, depth first, one string per row: two spaces of
// indent per level, the first column's text, then the other columns that have
// a value, each after a tab.
QStringList indentedTreeRows(const QAbstractItemModel &model);

// Waits until a tree model has settled, then hands over its rows once.
// Settled: no row was inserted, removed, moved or changed for a whole settle
// period and isUpToDate() holds (no change is waiting to reach the model).
// Passing the deadline first hands over an empty list and ok == false.
class TreeSettleWatcher : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok, const QStringList &rows)>;
    struct Timing {
        int settleMs = 500;
        int deadlineMs = 60000;
    };

    TreeSettleWatcher(const QAbstractItemModel &model, std::function<bool()> isUpToDate, Done done, Timing timing,
                      QObject *parent = nullptr);

private:
    void changed();
    void settleTimeout();
    void finish(bool ok);

    const QAbstractItemModel &model_;
    std::function<bool()> isUpToDate_;
    Done done_;
    QTimer settle_;
    QTimer deadline_;
    bool finished_ = false;
};

// --print-tree-and-quit: for scripts that check the program starts on a rig.
QCommandLineOption printTreeAndQuitOption();

// When the option is set: once the manager's first attach events have been
// placed in the tree, prints its rows to standard output and ends the event
// loop with status 0 (1, with a message on standard error, when the tree
// keeps changing past the deadline). Call after the manager opened; keep the
// returned object alive while the event loop runs. Null when the option is
// not set.
std::unique_ptr<QObject> printTreeAndQuitIfAsked(const QCommandLineParser &parser, ViewController &controller);

}   // namespace tindrel
