// The tree printout of --print-tree-and-quit and the wait for a settled tree.
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>

#include "TreePrinter.h"

using tindrel::TreeSettleWatcher;

namespace {

QList<QStandardItem *> row(const QString &name, const QString &serial = {})
{
    return {new QStandardItem(name), new QStandardItem(serial)};
}

struct Result {
    int calls = 0;
    bool ok = false;
    QStringList rows;
};

TreeSettleWatcher::Done recordInto(Result &r)
{
    return [&r](bool ok, const QStringList &rows) {
        ++r.calls;
        r.ok = ok;
        r.rows = rows;
    };
}

}   // namespace

class TreePrinterTest : public QObject {
    Q_OBJECT
private slots:
    void rowsAreIndentedDepthFirstWithTheirValues();
    void waitsUntilRowsStopArriving();
    void waitsForChangesStillOnTheirWayToTheModel();
    void aTreeThatNeverSettlesFailsAtTheDeadline();
};

void TreePrinterTest::rowsAreIndentedDepthFirstWithTheirValues()
{
    QStandardItemModel model;
    model.setColumnCount(3);
    auto local = row(QStringLiteral("Local"));
    auto board = row(QStringLiteral("Board"), QStringLiteral("1000"));
    board[0]->appendRow(row(QStringLiteral("Digital Input")));
    auto output = row(QStringLiteral("Digital Output"));
    board[0]->appendRow(output);
    local[0]->appendRow(board);
    local[0]->appendRow(row(QStringLiteral("Hub"), QStringLiteral("2000")));
    model.appendRow(local);
    model.appendRow(row(QStringLiteral("Remote")));
    // A value in a later column after an empty one keeps its own tab only.
    model.setItem(1, 2, new QStandardItem(QStringLiteral("7")));

    const QStringList expected{QStringLiteral("Local"),
                               QStringLiteral("  Board\t1000"),
                               QStringLiteral("    Digital Input"),
                               QStringLiteral("    Digital Output"),
                               QStringLiteral("  Hub\t2000"),
                               QStringLiteral("Remote\t7")};
    QCOMPARE(tindrel::indentedTreeRows(model), expected);
    QCOMPARE(tindrel::indentedTreeRows(QStandardItemModel()), QStringList());
}

void TreePrinterTest::waitsUntilRowsStopArriving()
{
    QStandardItemModel model;
    Result result;
    // Rows arrive well inside the settle period of each other; the printout
    // must hold all of them and come once.
    int added = 0;
    QTimer feeder;
    feeder.setInterval(20);
    connect(&feeder, &QTimer::timeout, [&] {
        model.appendRow(row(QStringLiteral("row %1").arg(added)));
        if (++added == 15)
            feeder.stop();
    });
    feeder.start();
    TreeSettleWatcher watcher(model, [] { return true; }, recordInto(result), {1000, 60000});
    QTRY_COMPARE_WITH_TIMEOUT(result.calls, 1, 30000);
    QVERIFY(result.ok);
    QCOMPARE(added, 15);
    QCOMPARE(result.rows.size(), 15);
    QCOMPARE(result.rows.last(), QStringLiteral("row 14"));
    QTest::qWait(400);
    QCOMPARE(result.calls, 1);
}

void TreePrinterTest::waitsForChangesStillOnTheirWayToTheModel()
{
    QStandardItemModel model;
    Result result;
    // The tree has news the model has not shown yet: the first answers say
    // not up to date, and the row that then arrives must be in the printout.
    int asked = 0;
    auto upToDate = [&] {
        if (++asked < 3)
            return false;
        if (asked == 3) {
            model.appendRow(row(QStringLiteral("late")));
            return false;
        }
        return true;
    };
    TreeSettleWatcher watcher(model, upToDate, recordInto(result), {50, 60000});
    QTRY_COMPARE_WITH_TIMEOUT(result.calls, 1, 30000);
    QVERIFY(result.ok);
    QCOMPARE(asked, 4);
    QCOMPARE(result.rows, QStringList{QStringLiteral("late")});
}

void TreePrinterTest::aTreeThatNeverSettlesFailsAtTheDeadline()
{
    QStandardItemModel model;
    model.appendRow(row(QStringLiteral("blinking")));
    Result result;
    QTimer blink;
    int n = 0;
    connect(&blink, &QTimer::timeout, [&] { model.item(0)->setText(QString::number(++n)); });
    blink.start(10);
    TreeSettleWatcher watcher(model, [] { return true; }, recordInto(result), {60000, 300});
    QTRY_COMPARE_WITH_TIMEOUT(result.calls, 1, 30000);
    QVERIFY(!result.ok);
    QVERIFY(result.rows.isEmpty());
    // Later changes wake nothing.
    QTest::qWait(100);
    QCOMPARE(result.calls, 1);
}

QTEST_MAIN(TreePrinterTest)
#include "TreePrinterTest.moc"
