// The main window's single-board computer list on the simulated network of
// the default rig: its boards announced by discovery, one going and coming
// back, and their host names resolved as discovery found them.
#include <QLabel>
#include <QMainWindow>
#include <QTableView>
#include <QTest>

#include "BoardListController.h"
#include "FakeUrlOpener.h"
#include "RecordingAlertService.h"
#include "ViewController.h"
#include "tindrelsim.h"

using namespace tindrel;

class BoardListWiringTest : public QObject {
    Q_OBJECT
private slots:
    void theRigsBoardsAreListedFollowedAndResolved();
};

namespace {

int rowOf(const QTableView *table, const QString &deviceName, const QString &mac)
{
    for (int r = 0; r < table->model()->rowCount(); ++r)
        if (table->model()->index(r, 0).data().toString() == deviceName &&
            table->model()->index(r, 1).data().toString() == mac)
            return r;
    return -1;
}

QStringList rowTexts(const QTableView *table, int row)
{
    QStringList out;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        out << table->model()->index(row, c).data().toString();
    return out;
}

}   // namespace

void BoardListWiringTest::theRigsBoardsAreListedFollowedAndResolved()
{
    QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
    RecordingAlertService alerts;
    auto urls = std::make_shared<platform::fakes::FakeUrlOpener>();
    ViewController::Options options;
    options.alerts = &alerts;
    options.terminate = [] {};
    options.makeBoardList = [urls](QWidget *parent) {
        return std::make_unique<server::BoardListController>(server::BoardListServices{nullptr, urls}, parent);
    };
    ViewController vc(std::move(options));
    server::BoardListController *list = vc.boardList();
    QVERIFY(list);
    QVERIFY(vc.window()->isAncestorOf(list->panel()));
    vc.window()->show();
    vc.applicationDidFinishLaunching();
    QTableView *table = list->sbcTable;

    // Five board announcements, one of them the same board a second time;
    // the device server is not a board.
    QTRY_COMPARE(table->model()->rowCount(), 4);
    const QString workshopMac = QStringLiteral("02:7d:1e:00:5e:1a");
    const int workshop = rowOf(table, QStringLiteral("Workshop SBC"), workshopMac);
    QVERIFY(workshop >= 0);
    QCOMPARE(rowTexts(table, workshop), (QStringList{"Workshop SBC", workshopMac, "4", "1.1.3", "tindrelsbc"}));
    const int bare = rowOf(table, QStringLiteral("TindrelSBC"), QStringLiteral("02:7d:1e:00:61:07"));
    QVERIFY(bare >= 0);
    QCOMPARE(rowTexts(table, bare), (QStringList{"TindrelSBC", "02:7d:1e:00:61:07", "0", "none", "tindrelsbc-6107"}));
    const int lost = rowOf(table, QStringLiteral("TindrelSBC"), QString());
    QVERIFY(lost >= 0);
    QCOMPARE(rowTexts(table, lost), (QStringList{"TindrelSBC", "", "3", "none", "greenhouse"}));

    // A board switched off goes from the list and comes back at its end.
    const QString field = QStringLiteral("Field SBC");
    QVERIFY(rowOf(table, field, QStringLiteral("02:7d:1e:00:61:3e")) >= 0);
    QCOMPARE(TindrelSim_removeServer("sbc-field"), TINDREL_OK);
    QTRY_COMPARE(table->model()->rowCount(), 3);
    QCOMPARE(rowOf(table, field, QStringLiteral("02:7d:1e:00:61:3e")), -1);
    QCOMPARE(TindrelSim_addServer("sbc-field"), TINDREL_OK);
    QTRY_COMPARE(table->model()->rowCount(), 4);
    QCOMPARE(rowOf(table, field, QStringLiteral("02:7d:1e:00:61:3e")), 3);

    // Host names resolve on the simulated network only.
    table->selectRow(rowOf(table, QStringLiteral("TindrelSBC"), QString()));
    QCOMPARE(list->mdnsHostnameTextField->text(), QStringLiteral("greenhouse-sbc.local"));
    QCOMPARE(list->ipAddressTextField->text(), QStringLiteral("Loading..."));
    QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("Error Loading"));
    table->selectRow(rowOf(table, QStringLiteral("Workshop SBC"), workshopMac));
    QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.30, 10.4.0.30"));

    // The board announced by its link-local address opens at the one resolved.
    table->selectRow(rowOf(table, QStringLiteral("TindrelSBC"), QStringLiteral("02:7d:1e:00:61:07")));
    list->sbcDoubleClicked();
    QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.41"));
    list->sbcDoubleClicked();
    QCOMPARE(urls->opened(), (std::vector<std::string>{"http://[fe80::7d1e:ff:fe00:6107]", "http://192.168.7.41"}));

    vc.applicationWillTerminate();
    TindrelSim_clear();
}

QTEST_MAIN(BoardListWiringTest)
#include "BoardListWiringTest.moc"
