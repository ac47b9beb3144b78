// The dictionary table of the server panel: what it lists, what the add
// sheet proposes and refuses, and which files each action writes or removes.
#include "DictionaryPanelController.h"
#include "RecordingAlertService.h"
#include "TempDir.h"
#include "tindrel22.h"
#include "tindrel22extra.h"
#include "tindrelsim.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <filesystem>

using namespace tindrel;
using namespace tindrel::server;
using server::testing::readText;
using server::testing::TempDir;
using server::testing::writeText;

namespace {

std::string fileText(const std::string &label, int sn, bool enabled, const std::string &extra = {})
{
    return "[dictionary]\nlabel = \"" + label + "\"\nsn = " + std::to_string(sn) +
           "\nenabled = " + (enabled ? "true" : "false") + "\n" + extra;
}

std::optional<std::string> keyIn(const std::string &text, const char *key)
{
    pconf_t *pc = nullptr;
    char error[256];
    if (pconf_parsepcs(&pc, error, sizeof error, text.c_str()) != 0)
        return std::nullopt;
    const char *v = pconf_getstr(pc, nullptr, "%s", key);
    std::optional<std::string> out = v ? std::optional<std::string>(v) : std::nullopt;
    pconf_release(&pc);
    return out;
}

}   // namespace

class DictionaryPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    RecordingAlertService alerts;
    QStringList commands;   // "write PATH", "delete PATH", as the helper would get them
    std::unique_ptr<QWidget> window;
    std::unique_ptr<DictionaryPanelController> panel;

    std::string dictionaryDir() const { return dir->file("dictionary.d"); }
    std::string dpc(int sn) const { return dictionaryDir() + "/" + std::to_string(sn) + ".dpc"; }

    void make()
    {
        panel.reset();
        window = std::make_unique<QWidget>();
        DictionaryPanelServices s;
        s.directory = dictionaryDir();
        s.alerts = &alerts;
        s.writeAuthorized = [this](const QString &text, const QString &path) {
            commands << QStringLiteral("write ") + path;
            writeText(path.toStdString(), text.toStdString());
        };
        s.deleteAuthorized = [this](const QString &path) {
            commands << QStringLiteral("delete ") + path;
            std::filesystem::remove(path.toStdString());
        };
        panel = std::make_unique<DictionaryPanelController>(std::move(s), window.get());
        window->show();
        panel->readInDictionaries();
    }
    QString cell(int row, int column) const { return panel->dictionaryTable->item(row, column)->text(); }
    void selectRow(int row) { panel->dictionaryTable->selectRow(row); }
    void addThroughSheet(const QString &serial, const QString &label)
    {
        QTest::mouseClick(panel->dictionaryAddButton, Qt::LeftButton);
        QVERIFY(panel->dictionaryAddSheet->isVisible());
        panel->dictionaryAddSerial->setText(serial);
        panel->dictionaryAddLabel->setText(label);
        panel->dictionaryAddSheet->findChild<QPushButton *>(QStringLiteral("dictionaryAddSheetCreate"))->click();
    }

private slots:
    void init()
    {
        dir = std::make_unique<TempDir>();
        alerts.alerts.clear();
        commands.clear();
    }
    void cleanup()
    {
        panel.reset();
        window.reset();
    }

    void listsParsableDictionaryFilesOnly()
    {
        writeText(dpc(1001), fileText("Kitchen", 1001, true));
        // The serial number inside the file counts, not its name.
        writeText(dpc(1002), fileText("Cellar", 1003, false));
        writeText(dictionaryDir() + "/notes.txt", fileText("Notes", 1010, true));
        writeText(dictionaryDir() + "/broken.dpc", "[dictionary\nlabel = ");
        std::filesystem::create_directories(dictionaryDir() + "/sub.dpc");
        make();
        QCOMPARE(panel->numberOfRowsInTableView(), 2);
        QStringList serials;
        for (int r = 0; r < 2; ++r)
            serials << cell(r, 1);
        serials.sort();
        QCOMPARE(serials, (QStringList{"1001", "1003"}));
        const int cellar = cell(0, 1) == "1003" ? 0 : 1;
        QCOMPARE(cell(cellar, 0), QStringLiteral("Cellar"));
        QCOMPARE(panel->dictionaryTable->item(cellar, 2)->checkState(), Qt::Unchecked);
        QCOMPARE(panel->objectValueForTableColumn(kSnColumn, cellar).toInt(), 1003);
        QCOMPARE(panel->objectValueForTableColumn(kEnabledColumn, cellar).toBool(), false);
        QVERIFY(!panel->objectValueForTableColumn("otherColumn", cellar).isValid());
        QVERIFY(!panel->objectValueForTableColumn(kLabelColumn, 5).isValid());

        // Later writes of that record go to the file its serial number names.
        panel->dictionaryEnabledChecked(cellar);
        QCOMPARE(commands, (QStringList{QString::fromStdString("write " + dpc(1003))}));
        QCOMPARE(keyIn(readText(dpc(1003)), "dictionary.enabled"), "true");
    }

    void addSheetProposesTheNextSerialAndCreatesAnEnabledDictionary()
    {
        make();
        QCOMPARE(panel->nextDictionarySerial(), 1001);
        addThroughSheet(QString(), QString());   // opens with the proposal, then clears it
        panel->dictionaryAddSheetCancel();
        QVERIFY(!panel->dictionaryAddSheet->isVisible());
        alerts.alerts.clear();

        QTest::mouseClick(panel->dictionaryAddButton, Qt::LeftButton);
        QCOMPARE(panel->dictionaryAddSerial->text(), QStringLiteral("1001"));
        panel->dictionaryAddLabel->setText(QStringLiteral("Greenhouse"));
        panel->dictionaryAddSheetCreate();
        QVERIFY(!panel->dictionaryAddSheet->isVisible());
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(commands, (QStringList{QString::fromStdString("write " + dpc(1001))}));
        const std::string text = readText(dpc(1001));
        QCOMPARE(keyIn(text, "dictionary.label"), "Greenhouse");
        QCOMPARE(keyIn(text, "dictionary.sn"), "1001");
        QCOMPARE(keyIn(text, "dictionary.enabled"), "true");
        QCOMPARE(panel->numberOfRowsInTableView(), 1);
        QCOMPARE(cell(0, 0), QStringLiteral("Greenhouse"));
        QCOMPARE(panel->dictionaryTable->item(0, 2)->checkState(), Qt::Checked);

        writeText(dpc(1005), fileText("Five", 1005, true));
        make();
        QTest::mouseClick(panel->dictionaryAddButton, Qt::LeftButton);
        QCOMPARE(panel->dictionaryAddSerial->text(), QStringLiteral("1006"));
    }

    void serialFieldRefusesSmallValuesAndKeepsTheSheetOpen()
    {
        make();
        for (const QString &typed : {QStringLiteral("999"), QStringLiteral("abc"), QStringLiteral("-5000")}) {
            alerts.alerts.clear();
            addThroughSheet(typed, QStringLiteral("x"));
            QVERIFY2(panel->dictionaryAddSheet->isVisible(), qPrintable(typed));
            QCOMPARE(alerts.titles(), QStringList{QStringLiteral("Serial Number not valid")});
            QCOMPARE(alerts.alerts.first().text, QStringLiteral("Reason: must be a number >= 1000"));
            QVERIFY(commands.isEmpty());
            panel->dictionaryAddSheetCancel();
        }
        QCOMPARE(panel->numberOfRowsInTableView(), 0);
        // 1000 is the smallest valid number.
        alerts.alerts.clear();
        addThroughSheet(QStringLiteral("1000"), QStringLiteral("low"));
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(panel->numberOfRowsInTableView(), 1);
    }

    void creatingAnExistingSerialRewritesItsFileInItsRow()
    {
        writeText(dpc(1001), fileText("Old", 1001, false, "[dictionary.extra]\nowner = \"lab\"\n"));
        make();
        addThroughSheet(QStringLiteral("1001"), QStringLiteral("New"));
        QCOMPARE(panel->numberOfRowsInTableView(), 1);
        QCOMPARE(cell(0, 0), QStringLiteral("New"));
        const std::string text = readText(dpc(1001));
        QCOMPARE(keyIn(text, "dictionary.label"), "New");
        QCOMPARE(keyIn(text, "dictionary.enabled"), "true");
        QCOMPARE(keyIn(text, "dictionary.extra.owner"), "lab");
    }

    void removeNeedsASelectionAndDeletesWithoutAsking()
    {
        writeText(dpc(1001), fileText("One", 1001, true));
        writeText(dpc(1002), fileText("Two", 1002, true));
        make();
        QVERIFY(!panel->dictionaryRemoveButton->isEnabled());
        panel->dictionaryTableButtonPressed(1);
        panel->dictionaryTableButtonPressed(7);
        QVERIFY(commands.isEmpty());
        QCOMPARE(panel->numberOfRowsInTableView(), 2);

        selectRow(1);
        QVERIFY(panel->dictionaryRemoveButton->isEnabled());
        const QString removed = cell(1, 1);
        QTest::mouseClick(panel->dictionaryRemoveButton, Qt::LeftButton);
        QCOMPARE(commands, (QStringList{QStringLiteral("delete ") + QString::fromStdString(dictionaryDir()) + "/" +
                                        removed + ".dpc"}));
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(panel->numberOfRowsInTableView(), 1);
        QVERIFY(cell(0, 1) != removed);
        QVERIFY(!std::filesystem::exists(dictionaryDir() + "/" + removed.toStdString() + ".dpc"));
    }

    void enabledCheckBoxFlipsTheRecordAndKeepsOtherKeys()
    {
        writeText(dpc(1001), fileText("Keep", 1001, true, "[station]\nroom = \"north\"\n"));
        make();
        // The user's click on the check box.
        panel->dictionaryTable->item(0, 2)->setCheckState(Qt::Unchecked);
        QCOMPARE(commands, (QStringList{QString::fromStdString("write " + dpc(1001))}));
        std::string text = readText(dpc(1001));
        QCOMPARE(keyIn(text, "dictionary.enabled"), "false");
        QCOMPARE(keyIn(text, "station.room"), "north");
        QCOMPARE(panel->dictionaries().front().enabled, false);
        QCOMPARE(panel->dictionaryTable->item(0, 2)->checkState(), Qt::Unchecked);
        panel->dictionaryTable->item(0, 2)->setCheckState(Qt::Checked);
        QCOMPARE(keyIn(readText(dpc(1001)), "dictionary.enabled"), "true");
        QCOMPARE(commands.size(), 2);
    }

    // The simulated server offers what the panel writes: a dictionary made
    // here becomes a channel, and goes when its row is removed.
    void addedDictionaryBecomesAChannel()
    {
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
        QCOMPARE(TindrelSim_watchDictionaryDirectory(dictionaryDir().c_str()), TINDREL_OK);
        make();
        addThroughSheet(QStringLiteral("1500"), QStringLiteral("bench"));
        QCOMPARE(panel->numberOfRowsInTableView(), 1);

        TindrelDictionaryHandle dict = nullptr;
        QCOMPARE(TindrelDictionary_create(&dict), TINDREL_OK);
        const auto ch = reinterpret_cast<TindrelHandle>(dict);
        QCOMPARE(Tindrel_setDeviceSerialNumber(ch, 1500), TINDREL_OK);
        QCOMPARE(Tindrel_openWaitForAttachment(ch, 10000), TINDREL_OK);
        const char *label = nullptr;
        QCOMPARE(Tindrel_getDeviceLabel(ch, &label), TINDREL_OK);
        QCOMPARE(QString::fromUtf8(label), QStringLiteral("bench"));
        QCOMPARE(TindrelDictionary_add(dict, "key", "value"), TINDREL_OK);

        // Switched off in the table, the server stops offering it.
        panel->dictionaryTable->item(0, 2)->setCheckState(Qt::Unchecked);
        const auto attached = [&] {
            int a = -1;
            Tindrel_getAttached(ch, &a);
            return a == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!attached(), 10000);
        panel->dictionaryTable->item(0, 2)->setCheckState(Qt::Checked);
        QTRY_VERIFY_WITH_TIMEOUT(attached(), 10000);

        selectRow(0);
        panel->dictionaryTableButtonPressed(1);
        QTRY_VERIFY_WITH_TIMEOUT(!attached(), 10000);
        Tindrel_close(ch);
        TindrelDictionary_delete(&dict);
        QCOMPARE(TindrelSim_watchDictionaryDirectory(""), TINDREL_OK);
    }

    void missingDirectoryListsNothing()
    {
        make();
        QCOMPARE(panel->numberOfRowsInTableView(), 0);
        QCOMPARE(panel->dictionaryTable->rowCount(), 0);
    }
};

QTEST_MAIN(DictionaryPanelTest)
#include "DictionaryPanelTest.moc"
