// The dictionary window on the default rig's dictionaries: the whole
// contents read at attach in rounds, sorted; another client's changes; the
// window's own add and remove; detach and re-attach; a dictionary that a
// dictionary file of the server offers.
#include "DictionaryController.h"
#include "ErrorEventLog.h"
#include "WindowLogic.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <QTextEdit>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr int localSerial = 1000;   // dict-local: 43 keys, more than one scan answer holds
constexpr int localKeys = 43;
const QString deviceName = QStringLiteral("Server Dictionary");

QStringList keysShown(const DictionaryController &w)
{
    QStringList keys;
    for (int r = 0; r < w.tableView->rowCount(); ++r)
        keys << w.tableView->item(r, 0)->text();
    return keys;
}

QString valueShown(const DictionaryController &w, const QString &key)
{
    for (int r = 0; r < w.tableView->rowCount(); ++r)
        if (w.tableView->item(r, 0)->text() == key)
            return w.tableView->item(r, 1)->text();
    return QStringLiteral("<not shown>");
}
QString errorText(DictionaryController &w)
{
    return w.errorEventLogWindow() ? w.errorEventLogWindow()->errorEventLog->toPlainText() : QString();
}
}   // namespace

class DictionaryTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }

    void aDictionaryRowOpensThisWindow()
    {
        const WindowRegistry registry = WindowRegistry::standard();
        const QString name = windowNameForChannel(QStringLiteral("TindrelDictionary"), TINDREL_CHCLASS_DICTIONARY, 1);
        QVERIFY(registry.findViewForm(name));
        QVERIFY(!registry.findWindowForm(name));
    }

    void readsEveryKeyAtAttachSorted()
    {
        // The count is shared by every window of the class.
        const int errorsBefore = DictionaryController::sharedErrorCount();
        Surroundings s;
        s.aimAt(localSerial);
        auto w = s.open<DictionaryController>();
        QVERIFY(!w->tindrelInfoBox()->isVisible());
        QCOMPARE(w->tableView->rowCount(), 0);
        QVERIFY(waitAttached(*w, deviceName));
        QCOMPARE(w->serialNumberLabel->text(), QStringLiteral("1000"));
        QCOMPARE(w->deviceConnectedLabel->text(), QStringLiteral("panel"));
        QCOMPARE(w->tableView->rowCount(), localKeys);
        QCOMPARE(w->numberOfRowsInTableView(), localKeys);
        const QStringList keys = keysShown(*w);
        QCOMPARE(keys.mid(0, 3), (QStringList{"B", "a", "b"}));
        QVERIFY(keys.contains(QStringLiteral("station.calibration.channel39")));
        QCOMPARE(valueShown(*w, QStringLiteral("a")), QStringLiteral("lower-case a"));
        QCOMPARE(w->viewForTableColumn(QStringLiteral("keyColumn"), 0), QStringLiteral("B"));
        QCOMPARE(w->viewForTableColumn(QStringLiteral("valueColumn"), 0), QStringLiteral("upper-case B"));
        QCOMPARE(w->viewForTableColumn(QStringLiteral("keyColumn"), localKeys), QString());
        QCOMPARE(w->errorCount(), errorsBefore);
    }

    void anotherClientsChangesArrive()
    {
        Surroundings s;
        s.aimAt(localSerial);
        auto w = s.open<DictionaryController>();
        QVERIFY(waitAttached(*w, deviceName));
        QTRY_COMPARE_WITH_TIMEOUT(w->tableView->rowCount(), localKeys, deadlineMs);

        QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "A", "from elsewhere"), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(w->tableView->rowCount(), localKeys + 1, deadlineMs);
        QCOMPARE(keysShown(*w).first(), QStringLiteral("A"));
        QCOMPARE(valueShown(*w, QStringLiteral("A")), QStringLiteral("from elsewhere"));

        QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "a", "changed"), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*w, QStringLiteral("a")), QStringLiteral("changed"), deadlineMs);

        QCOMPARE(TindrelSim_removeDictionaryKey("dict-local", 0, "b"), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*w, QStringLiteral("b")), QStringLiteral("<not shown>"), deadlineMs);
        QCOMPARE(w->tableView->rowCount(), localKeys);

        // Many changes in a row: every one arrives, in order.
        for (int i = 0; i < 50; ++i)
            QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "burst", QByteArray::number(i).constData()),
                     TINDREL_OK);
        QCOMPARE(TindrelSim_removeDictionaryKey("dict-local", 0, "burst"), TINDREL_OK);
        QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "after", "x"), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*w, QStringLiteral("after")), QStringLiteral("x"), deadlineMs);
        QCOMPARE(valueShown(*w, QStringLiteral("burst")), QStringLiteral("<not shown>"));

        // A removal of a key not shown changes nothing.
        w->onRemoveHandler(QStringLiteral("never there"));
        QCOMPARE(w->tableView->rowCount(), localKeys + 1);
    }

    void ownAddAndRemove()
    {
        const int errorsBefore = DictionaryController::sharedErrorCount();
        Surroundings s;
        s.aimAt(localSerial);
        auto w = s.open<DictionaryController>();
        QVERIFY(waitAttached(*w, deviceName));

        w->keyTextField->setText(QStringLiteral("zone"));
        w->valueTextField->setText(QStringLiteral("east wing"));
        w->addButton->click();
        QCOMPARE(valueShown(*w, QStringLiteral("zone")), QStringLiteral("east wing"));
        QCOMPARE(w->keyTextField->text(), QStringLiteral("zone"));   // the fields keep their text
        QCOMPARE(w->errorCount(), errorsBefore);

        // A key the dictionary has already: the library refuses, nothing changes.
        w->valueTextField->setText(QStringLiteral("west wing"));
        w->addButton->click();
        QCOMPARE(w->errorCount(), errorsBefore + 1);
        QVERIFY(errorText(*w).contains(QStringLiteral("zone")));
        QCOMPARE(valueShown(*w, QStringLiteral("zone")), QStringLiteral("east wing"));
        QTest::qWait(100);
        QCOMPARE(valueShown(*w, QStringLiteral("zone")), QStringLiteral("east wing"));
        QCOMPARE(w->tableView->rowCount(), localKeys + 1);

        // Remove: nothing without a selection, the selected key with one.
        w->tableView->clearSelection();
        w->removeButton->click();
        QCOMPARE(w->tableView->rowCount(), localKeys + 1);
        w->tableView->selectRow(0);
        w->removeButton->click();
        QCOMPARE(keysShown(*w).first(), QStringLiteral("a"));
        QCOMPARE(w->errorCount(), errorsBefore + 1);
        // The library has it gone too: a fresh window does not show it.
        auto again = s.open<DictionaryController>();
        w.reset();
        QVERIFY(waitAttached(*again, deviceName));
        QCOMPARE(keysShown(*again).first(), QStringLiteral("a"));
        QCOMPARE(valueShown(*again, QStringLiteral("zone")), QStringLiteral("east wing"));
    }

    // Two windows on one dictionary are two clients of its server: each
    // sees what the other adds, changes and removes.
    void twoWindowsOnOneDictionarySeeEachOthersChanges()
    {
        const int errorsBefore = DictionaryController::sharedErrorCount();
        Surroundings s;
        s.aimAt(localSerial);
        auto first = s.open<DictionaryController>();
        auto second = s.open<DictionaryController>();
        QVERIFY(waitAttached(*first, deviceName));
        QVERIFY(waitAttached(*second, deviceName));
        QCOMPARE(keysShown(*second), keysShown(*first));

        first->keyTextField->setText(QStringLiteral("zone"));
        first->valueTextField->setText(QStringLiteral("east wing"));
        first->addButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*second, QStringLiteral("zone")), QStringLiteral("east wing"), deadlineMs);

        // A third client, the test's own handle, updates a key: both windows hear of it.
        TindrelDictionaryHandle third = nullptr;
        QCOMPARE(TindrelDictionary_create(&third), TINDREL_OK);
        const auto h = reinterpret_cast<TindrelHandle>(third);
        Tindrel_setDeviceSerialNumber(h, localSerial);
        QCOMPARE(Tindrel_openWaitForAttachment(h, deadlineMs), TINDREL_OK);
        const TindrelReturnCode updated = TindrelDictionary_update(third, "a", "changed");
        Tindrel_close(h);
        TindrelDictionary_delete(&third);
        QCOMPARE(updated, TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*second, QStringLiteral("a")), QStringLiteral("changed"), deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*first, QStringLiteral("a")), QStringLiteral("changed"), deadlineMs);

        const int row = keysShown(*second).indexOf(QStringLiteral("zone"));
        QVERIFY(row >= 0);
        second->tableView->selectRow(row);
        second->removeButton->click();
        QCOMPARE(valueShown(*second, QStringLiteral("zone")), QStringLiteral("<not shown>"));
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*first, QStringLiteral("zone")), QStringLiteral("<not shown>"),
                                  deadlineMs);
        QCOMPARE(keysShown(*first), keysShown(*second));
        QCOMPARE(first->errorCount(), errorsBefore);

        // One window closed, the other stays attached and still hears of changes.
        first.reset();
        QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "late", "1"), TINDREL_OK);
        QTRY_COMPARE_WITH_TIMEOUT(valueShown(*second, QStringLiteral("late")), QStringLiteral("1"), deadlineMs);
        QCOMPARE(second->serialNumberLabel->text(), QStringLiteral("1000"));
        // Unplugged, both clients would go: the one left sees its detach.
        QCOMPARE(TindrelSim_detachDevice("dict-local"), TINDREL_OK);
        QVERIFY(waitDetached(*second));
    }

    void detachKeepsTheTableAndReattachRescans()
    {
        Surroundings s;
        s.aimAt(localSerial);
        auto w = s.open<DictionaryController>();
        QVERIFY(waitAttached(*w, deviceName));
        QCOMPARE(TindrelSim_detachDevice("dict-local"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(w->serialNumberLabel->text().isEmpty());
        QVERIFY(w->deviceConnectedLabel->text().isEmpty());
        QCOMPARE(w->tableView->rowCount(), localKeys);
        // Changed while away: seen at the next attach.
        QCOMPARE(TindrelSim_setDictionaryKey("dict-local", 0, "while-away", "1"), TINDREL_OK);
        QCOMPARE(TindrelSim_removeDictionaryKey("dict-local", 0, "B"), TINDREL_OK);
        QCOMPARE(TindrelSim_attachDevice("dict-local"), TINDREL_OK);
        QVERIFY(waitAttached(*w, deviceName));
        QCOMPARE(valueShown(*w, QStringLiteral("while-away")), QStringLiteral("1"));
        QCOMPARE(keysShown(*w).first(), QStringLiteral("a"));
        QCOMPARE(w->serialNumberLabel->text(), QStringLiteral("1000"));
    }

    void dictionaryFileOffersAChannel()
    {
        const int errorsBefore = DictionaryController::sharedErrorCount();
        QTemporaryDir dir;
        QCOMPARE(TindrelSim_watchDictionaryDirectory(dir.path().toUtf8().constData()), TINDREL_OK);
        const QString path = dir.filePath(QStringLiteral("1234.dpc"));
        const auto writeFile = [&](bool enabled) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray("[dictionary]\nlabel = \"bench\"\nsn = \"1234\"\nenabled = ") +
                    (enabled ? "\"true\"" : "\"false\"") + "\n");
        };
        writeFile(true);
        Surroundings s;
        s.aimAt(1234);
        auto w = s.open<DictionaryController>();
        QVERIFY(waitAttached(*w, deviceName));
        QCOMPARE(w->deviceConnectedLabel->text(), QStringLiteral("bench"));
        QCOMPARE(w->tableView->rowCount(), 0);
        QVERIFY2(w->errorCount() == errorsBefore, qPrintable(errorText(*w)));
        w->keyTextField->setText(QStringLiteral("k"));
        w->valueTextField->setText(QStringLiteral("v"));
        w->addButton->click();
        QVERIFY2(w->errorCount() == errorsBefore, qPrintable(errorText(*w)));

        // Disabled: the dictionary goes; enabled again, it comes back with its keys.
        writeFile(false);
        QVERIFY(waitDetached(*w));
        writeFile(true);
        QVERIFY(waitAttached(*w, deviceName));
        QCOMPARE(valueShown(*w, QStringLiteral("k")), QStringLiteral("v"));
        QVERIFY(QFile::remove(path));
        QVERIFY(waitDetached(*w));
        QCOMPARE(TindrelSim_watchDictionaryDirectory(""), TINDREL_OK);
    }
};

QTEST_MAIN(DictionaryTest)
#include "DictionaryTest.moc"
