// The single-board computer list: rows following discovery, the selected
// board's labels, resolution off the main thread, and its web page.
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "BoardListController.h"
#include "FakeUrlOpener.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>

using namespace tindrel;
using namespace tindrel::server;

namespace {

// Answers from a table; while closed, every lookup waits until opened.
class GatedResolver : public BoardAddressResolver {
public:
    std::optional<std::vector<QString>> resolve(const QString &host) override
    {
        std::unique_lock lock(mutex_);
        ++waiting_;
        opened_.wait(lock, [this] { return open_; });
        --waiting_;
        hosts_.push_back(host);
        const auto it = answers_.find(host);
        return it == answers_.end() ? std::nullopt : it->second;
    }
    void answer(const QString &host, std::optional<std::vector<QString>> addresses)
    {
        std::lock_guard lock(mutex_);
        answers_[host] = std::move(addresses);
    }
    void setOpen(bool open)
    {
        {
            std::lock_guard lock(mutex_);
            open_ = open;
        }
        opened_.notify_all();
    }
    int waiting()
    {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    std::vector<QString> hosts()
    {
        std::lock_guard lock(mutex_);
        return hosts_;
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = true;
    int waiting_ = 0;
    std::map<QString, std::optional<std::vector<QString>>> answers_;
    std::vector<QString> hosts_;
};

TindrelSBC board(const QString &mac, const QString &device, const QString &host, const QString &addr)
{
    TindrelSBC sbc;
    sbc.name = QStringLiteral("TindrelSBC (%1)").arg(mac);
    sbc.macAddr = mac;
    sbc.deviceName = device;
    sbc.host = host;
    sbc.hostname = host.section(QLatin1Char('.'), 0, 0);
    sbc.addr = addr;
    sbc.firmware = QStringLiteral("1.1.3");
    sbc.version = 4;
    return sbc;
}

const QString kHostA = QStringLiteral("sbc-a.local");
const QString kHostB = QStringLiteral("sbc-b.local");

}   // namespace

class BoardListTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        resolver = std::make_shared<GatedResolver>();
        urls = std::make_shared<platform::fakes::FakeUrlOpener>();
        window = std::make_unique<QWidget>();
        list = std::make_unique<BoardListController>(BoardListServices{resolver, urls}, window.get());
        window->resize(700, 400);
        list->panel()->resize(700, 400);
        window->show();
        a = board(QStringLiteral("02:7d:1e:00:00:0a"), QStringLiteral("Workshop SBC"), kHostA,
                  QStringLiteral("10.0.0.1"));
        b = board(QStringLiteral("02:7d:1e:00:00:0b"), QStringLiteral("Field SBC"), kHostB, QStringLiteral("10.0.0.2"));
    }
    void cleanup()
    {
        resolver->setOpen(true);
        list.reset();
        window.reset();
    }

    void rowsFollowBoardsAppearingAndDisappearing()
    {
        list->sbcAdded(a);
        list->sbcAdded(b);
        TindrelSBC again = a;
        again.deviceName = QStringLiteral("announced twice");
        list->sbcAdded(again);
        QTableView *table = list->sbcTable;
        QCOMPARE(table->model()->rowCount(), 2);
        const QStringList ids{"deviceColumn", "macAddrColumn", "versionColumn", "firmwareColumn", "hostnameColumn"};
        for (int c = 0; c < ids.size(); ++c)
            QCOMPARE(table->model()->headerData(c, Qt::Horizontal, Qt::UserRole).toString(), ids.at(c));
        const auto cell = [table](int row, int column) { return table->model()->index(row, column).data().toString(); };
        QCOMPARE(cell(0, 0), QStringLiteral("Workshop SBC"));
        QCOMPARE(cell(0, 1), QStringLiteral("02:7d:1e:00:00:0a"));
        QCOMPARE(cell(0, 2), QStringLiteral("4"));
        QCOMPARE(cell(0, 3), QStringLiteral("1.1.3"));
        QCOMPARE(cell(0, 4), QStringLiteral("sbc-a"));
        QCOMPARE(cell(1, 0), QStringLiteral("Field SBC"));

        // The selection stays on its board while another goes before it.
        table->selectRow(1);
        QCOMPARE(list->mdnsHostnameTextField->text(), kHostB);
        TindrelSBC removal;
        removal.name = a.name;
        list->sbcRemoved(removal);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(cell(0, 0), QStringLiteral("Field SBC"));
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->mdnsHostnameTextField->text(), kHostB);
        list->sbcRemoved(removal);   // already gone: nothing happens
        QCOMPARE(table->model()->rowCount(), 1);
        // The selected board going empties both labels.
        removal.name = b.name;
        list->sbcRemoved(removal);
        QCOMPARE(table->model()->rowCount(), 0);
        QCOMPARE(list->mdnsHostnameTextField->text(), QString());
        QCOMPARE(list->ipAddressTextField->text(), QString());
        list->sbcAdded(a);
        QCOMPARE(cell(0, 0), QStringLiteral("Workshop SBC"));
    }

    void onlySingleBoardComputersAreTaken()
    {
        TindrelServer device{"labserver", "Device", TINDRELSERVER_DEVICE, 0, "192.168.7.20", "labserver.local", 5661};
        list->serverAdded(&device, nullptr);
        QCOMPARE(list->sbcs().size(), std::size_t{0});
        TindrelServer sbc{"TindrelSBC (02:7d:1e:00:61:07)", "SBC", TINDRELSERVER_SBC, 0, "fe80::1", "bare.local", 5661};
        list->serverAdded(&sbc, nullptr);
        QCOMPARE(list->sbcs().size(), std::size_t{1});
        QCOMPARE(list->sbcs().front().deviceName, QStringLiteral("TindrelSBC"));
        QCOMPARE(list->sbcs().front().hostname, QStringLiteral("bare"));
        TindrelServer gone{"labserver", "Device", TINDRELSERVER_DEVICE, 0, "", "", 0};
        list->serverRemoved(&gone);
        QCOMPARE(list->sbcs().size(), std::size_t{1});
        TindrelServer goneSbc{"TindrelSBC (02:7d:1e:00:61:07)", "SBC", TINDRELSERVER_SBC, 0, "", "", 0};
        list->serverRemoved(&goneSbc);
        QCOMPARE(list->sbcs().size(), std::size_t{0});
    }

    void resolvingKeepsTheWindowAliveAndShowsLoadingUntilItAnswers()
    {
        resolver->answer(kHostA, std::vector<QString>{QStringLiteral("192.168.7.35"), QStringLiteral("10.4.0.35")});
        resolver->setOpen(false);
        list->sbcAdded(a);
        list->sbcTable->selectRow(0);
        QCOMPARE(list->mdnsHostnameTextField->text(), kHostA);
        QCOMPARE(list->ipAddressTextField->text(), QStringLiteral("Loading..."));
        QTRY_COMPARE(resolver->waiting(), 1);
        // The lookup hangs; the main thread goes on serving its events.
        bool ticked = false;
        QTimer::singleShot(0, this, [&] { ticked = true; });
        QTRY_VERIFY(ticked);
        list->sbcAdded(b);
        QCOMPARE(list->sbcTable->model()->rowCount(), 2);
        QCOMPARE(list->ipAddressTextField->text(), QStringLiteral("Loading..."));
        QCOMPARE(list->sbcs().front().addr, QStringLiteral("10.0.0.1"));

        resolver->setOpen(true);
        QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.35, 10.4.0.35"));
        QCOMPARE(list->sbcs().front().addr, QStringLiteral("192.168.7.35"));
    }

    void failingHostShowsErrorAndDeselectingEmptiesBothLabels()
    {
        resolver->answer(kHostB, std::nullopt);
        list->sbcAdded(a);
        list->sbcAdded(b);
        list->sbcTable->selectRow(1);
        QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("Error Loading"));
        // A failure keeps the announced address.
        QCOMPARE(list->sbcs().at(1).addr, QStringLiteral("10.0.0.2"));
        // A host that answers with nothing is no success either.
        resolver->answer(kHostA, std::vector<QString>{});
        list->sbcTable->selectRow(0);
        QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("Error Loading"));
        QCOMPARE(list->sbcs().at(0).addr, QStringLiteral("10.0.0.1"));
        list->sbcTable->clearSelection();
        QCOMPARE(list->mdnsHostnameTextField->text(), QString());
        QCOMPARE(list->ipAddressTextField->text(), QString());
    }

    void anEarlierBoardsAnswerLeavesTheLabelOfTheSelectedOne()
    {
        resolver->answer(kHostA, std::vector<QString>{QStringLiteral("192.168.7.35")});
        resolver->answer(kHostB, std::vector<QString>{QStringLiteral("192.168.7.36")});
        resolver->setOpen(false);
        list->sbcAdded(a);
        list->sbcAdded(b);
        list->sbcTable->selectRow(0);
        QTRY_COMPARE(resolver->waiting(), 1);
        list->sbcTable->selectRow(1);
        QCOMPARE(list->mdnsHostnameTextField->text(), kHostB);
        resolver->setOpen(true);
        QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.36"));
        QTRY_VERIFY(!list->resolving());
        QCoreApplication::processEvents();
        QCOMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.36"));
        // The first lookup is not cancelled, and its board still learns its address.
        QCOMPARE(resolver->hosts(), (std::vector<QString>{kHostA, kHostB}));
        QCOMPARE(list->sbcs().at(0).addr, QStringLiteral("192.168.7.35"));
    }

    void doubleClickOpensTheBoardsPageAtItsLatestAddress()
    {
        resolver->answer(kHostA, std::vector<QString>{QStringLiteral("192.168.7.35"), QStringLiteral("10.4.0.35")});
        resolver->setOpen(false);
        a.addr = QStringLiteral("fe80::7d1e:ff:fe00:a");
        list->sbcAdded(a);
        list->sbcDoubleClicked();   // nothing selected: nothing opens
        QVERIFY(urls->opened().empty());

        QTableView *table = list->sbcTable;
        const QRect cell = table->visualRect(table->model()->index(0, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(urls->opened(), (std::vector<std::string>{"http://[fe80::7d1e:ff:fe00:a]"}));

        resolver->setOpen(true);
        QTRY_COMPARE(list->ipAddressTextField->text(), QStringLiteral("192.168.7.35, 10.4.0.35"));
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(urls->opened().size(), std::size_t{2});
        QCOMPARE(urls->opened().back(), std::string("http://192.168.7.35"));
    }

    void goingAwayWhileALookupHangsNeitherWaitsNorCrashes()
    {
        resolver->answer(kHostA, std::vector<QString>{QStringLiteral("192.168.7.35")});
        resolver->setOpen(false);
        list->sbcAdded(a);
        list->sbcTable->selectRow(0);
        QTRY_COMPARE(resolver->waiting(), 1);
        list.reset();
        window.reset();
        resolver->setOpen(true);
        QTRY_VERIFY(resolver->hosts().size() == 1);
        QTest::qWait(50);   // the answer, posted to nobody, is dropped
    }

private:
    std::shared_ptr<GatedResolver> resolver;
    std::shared_ptr<platform::fakes::FakeUrlOpener> urls;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<BoardListController> list;
    TindrelSBC a, b;
};

QTEST_MAIN(BoardListTest)
#include "BoardListTest.moc"
