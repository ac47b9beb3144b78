#include "TreePrinter.h"

#include <cstdio>

#include <QAbstractItemModel>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include "ViewController.h"

namespace tindrel {

namespace {

void appendRows(const QAbstractItemModel &model, const QModelIndex &parent, int depth, QStringList &out)
{
    const int columns = model.columnCount(parent);
    for (int r = 0; r < model.rowCount(parent); ++r) {
        QString line(depth * 2, QLatin1Char(' '));
        line += model.index(r, 0, parent).data().toString();
        for (int c = 1; c < columns; ++c) {
            const QVariant v = model.index(r, c, parent).data();
            if (v.isValid() && !v.toString().isEmpty())
                line += QLatin1Char('\t') + v.toString();
        }
        out << line;
        appendRows(model, model.index(r, 0, parent), depth + 1, out);
    }
}

}   // namespace

QStringList indentedTreeRows(const QAbstractItemModel &model)
{
    QStringList rows;
    appendRows(model, {}, 0, rows);
    return rows;
}

TreeSettleWatcher::TreeSettleWatcher(const QAbstractItemModel &model, std::function<bool()> isUpToDate, Done done,
                                     Timing timing, QObject *parent)
    : QObject(parent)
    , model_(model)
    , isUpToDate_(std::move(isUpToDate))
    , done_(std::move(done))
{
    settle_.setSingleShot(true);
    settle_.setInterval(timing.settleMs);
    deadline_.setSingleShot(true);
    deadline_.setInterval(timing.deadlineMs);
    connect(&settle_, &QTimer::timeout, this, &TreeSettleWatcher::settleTimeout);
    connect(&deadline_, &QTimer::timeout, this, [this] { finish(false); });
    const auto m = &model_;
    connect(m, &QAbstractItemModel::rowsInserted, this, &TreeSettleWatcher::changed);
    connect(m, &QAbstractItemModel::rowsRemoved, this, &TreeSettleWatcher::changed);
    connect(m, &QAbstractItemModel::rowsMoved, this, &TreeSettleWatcher::changed);
    connect(m, &QAbstractItemModel::dataChanged, this, &TreeSettleWatcher::changed);
    connect(m, &QAbstractItemModel::layoutChanged, this, &TreeSettleWatcher::changed);
    connect(m, &QAbstractItemModel::modelReset, this, &TreeSettleWatcher::changed);
    settle_.start();
    deadline_.start();
}

void TreeSettleWatcher::changed()
{
    if (!finished_)
        settle_.start();
}

void TreeSettleWatcher::settleTimeout()
{
    // Tree changes still waiting for the view's next update count as changes.
    if (!isUpToDate_()) {
        settle_.start();
        return;
    }
    finish(true);
}

void TreeSettleWatcher::finish(bool ok)
{
    if (finished_)
        return;
    finished_ = true;
    settle_.stop();
    deadline_.stop();
    done_(ok, ok ? indentedTreeRows(model_) : QStringList());
}

QCommandLineOption printTreeAndQuitOption()
{
    return QCommandLineOption(QStringLiteral("print-tree-and-quit"),
                              QStringLiteral("Print the device tree, one indented row per line, once the first\n"
                                             "devices have been placed in it, and quit."));
}

std::unique_ptr<QObject> printTreeAndQuitIfAsked(const QCommandLineParser &parser, ViewController &controller)
{
    if (!parser.isSet(printTreeAndQuitOption()))
        return nullptr;
    auto upToDate = [&controller] { return controller.viewUpToDate(); };
    auto done = [](bool ok, const QStringList &rows) {
        if (!ok) {
            std::fputs("tindrelcontrolpanel: the device tree was still changing at the deadline\n", stderr);
            QCoreApplication::exit(1);
            return;
        }
        for (const QString &row : rows)
            std::puts(row.toUtf8().constData());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    };
    return std::make_unique<TreeSettleWatcher>(*controller.treeModel(), std::move(upToDate), std::move(done),
                                               TreeSettleWatcher::Timing{});
}

}   // namespace tindrel
