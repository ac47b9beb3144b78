// The data adapter window against the default rig's SPI, I2C and serial
// line adapters and the simulated devices on their buses.
#include "CodePopup.h"
#include "DataAdapterController.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr int spiSerial = 300521, i2cSerial = 300522, serialLineSerial = 300582;

QString busLog(const char *device)
{
    char buf[4096] = {};
    size_t len = sizeof buf;
    if (TindrelSim_getBusLog(device, buf, &len) != TINDREL_OK)
        return QStringLiteral("<unreadable>");
    return QString::fromLatin1(buf);
}

void type(QTableWidget &table, int row, int column, const QString &text)
{
    table.item(row, column)->setText(text);   // as an edit that ended
}

void chooseTitle(CodePopup &popup, const QString &title)
{
    popup.setCurrentIndex(popup.findText(title));
    emit popup.activated(popup.currentIndex());
}

QString lastReply(const DataAdapterController &w)
{
    return w.rxCommands().empty() ? QStringLiteral("<none>") : w.rxCommands().back().reply;
}

}   // namespace

class DataAdapterWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DataAdapterController> open(Surroundings &s, int serial, const char *name)
    {
        s.aimAt(serial);
        auto w = s.open<DataAdapterController>();
        if (!waitAttached(*w, QString::fromLatin1(name)))
            qWarning("%s did not attach", name);
        w->clearErrorLog();   // the count is shared by all windows of the class
        return w;
    }

private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void spiCommandsAreSentAndAnswered()
    {
        Surroundings s;
        auto w = open(s, spiSerial, "SPI Bus Adapter");
        QVERIFY(w->isSPI());
        QVERIFY(w->spiPanel->isVisible());
        QVERIFY(!w->addressPanel->isVisible());
        QCOMPARE(w->frequencyCombo->count(), 6);
        QCOMPARE(w->txTable->horizontalHeaderItem(1)->text(), QStringLiteral("Wait for Response?"));
        w->addRow->click();
        QCOMPARE(w->txCommands().at(0).command, QStringLiteral("Command 1"));
        // Unchanged, the first row does not parse.
        w->sendCommand(0);
        QCOMPARE(w->errorCount(), 1);
        QVERIFY(w->rxCommands().empty());
        type(*w->txTable, 0, 0, QStringLiteral("AA BB"));
        w->sendCommand(0);
        QCOMPARE(lastReply(*w), QStringLiteral("N/A"));
        QVERIFY(busLog("spi160").contains(QStringLiteral("SPI sent AA BB\n")));
        // Waiting for the reply: the identity, then the memory written before.
        w->addRow->click();
        type(*w->txTable, 1, 0, QStringLiteral("0x9F"));
        qobject_cast<QCheckBox *>(w->txTable->cellWidget(1, 1))->click();
        w->sendCommand(1);
        QCOMPARE(lastReply(*w), QStringLiteral("7D1E8310"));
        type(*w->txTable, 0, 0, QStringLiteral("02 10 CA FE"));
        w->sendCommand(0);
        type(*w->txTable, 1, 0, QStringLiteral("03,10;02"));
        w->sendCommand(1);
        QCOMPARE(lastReply(*w), QStringLiteral("CAFE"));
        QCOMPARE(w->rxCommands().back().sent, QStringLiteral("03,10;02"));
        QCOMPARE(w->errorCount(), 1);
        // Too fast a clock: no answer, logged, no entry.
        chooseTitle(*w->frequencyCombo, QStringLiteral("6MHz"));
        QCOMPARE(simProperty("spi160", TINDREL_CHCLASS_DATAADAPTER, 0, "Frequency"), 9.0);
        const size_t entries = w->rxCommands().size();
        w->sendCommand(1);
        QCOMPARE(w->errorCount(), 2);
        QCOMPARE(w->rxCommands().size(), entries);
        QVERIFY(busLog("spi160").endsWith(QStringLiteral("SPI sent 03 10 02 no answer\n")));
        // Removing always removes the last row.
        w->txTable->setCurrentCell(0, 0);
        w->removeRow->click();
        QCOMPARE(w->txCommands().size(), size_t{1});
        QCOMPARE(w->txCommands().at(0).command, QStringLiteral("02 10 CA FE"));
    }

    void i2cTalksToTheSensorAndTheMemory()
    {
        Surroundings s;
        auto w = open(s, i2cSerial, "I2C Bus Adapter");
        QVERIFY(!w->isSPI());
        QVERIFY(!w->spiPanel->isVisible());
        QVERIFY(w->addressPanel->isVisible());
        QCOMPARE(w->frequencyCombo->count(), 3);
        QCOMPARE(w->txTable->horizontalHeaderItem(1)->text(), QStringLiteral("Reply Bytes"));
        w->addRow->click();
        // The temperature sensor's identity register.
        w->addressTxt->setText(QStringLiteral("0x48"));
        type(*w->txTable, 0, 0, QStringLiteral("0F"));
        type(*w->txTable, 0, 1, QStringLiteral("1"));
        w->sendCommand(0);
        QCOMPARE(lastReply(*w), QStringLiteral("A1"));
        // Its temperature: about 23.5 degC in 1/256 degC, high byte 0x17.
        type(*w->txTable, 0, 0, QStringLiteral("00"));
        type(*w->txTable, 0, 1, QStringLiteral("2"));
        w->sendCommand(0);
        QVERIFY2(lastReply(*w).startsWith(QStringLiteral("17")), qPrintable(lastReply(*w)));
        // The memory keeps what was written.
        w->addressTxt->setText(QStringLiteral("50"));
        type(*w->txTable, 0, 0, QStringLiteral("20 01 02 03"));
        type(*w->txTable, 0, 1, QStringLiteral("0"));
        w->sendCommand(0);
        type(*w->txTable, 0, 0, QStringLiteral("21"));
        type(*w->txTable, 0, 1, QStringLiteral("2"));
        w->sendCommand(0);
        QCOMPARE(lastReply(*w), QStringLiteral("0203"));
        QVERIFY(busLog("i2c134").contains(QStringLiteral("I2C 0x50 sent 21 reply 02 03")));
        QCOMPARE(w->errorCount(), 0);
        // Nobody at 0x00.
        w->addressTxt->setText(QStringLiteral("0x00"));
        w->sendCommand(0);
        QCOMPARE(w->errorCount(), 1);
        QVERIFY(w->errorEventLogWindow()->errorEventLog->toPlainText().contains(QStringLiteral("0x00")));
        QCOMPARE(w->frequencyCombo->findText(QStringLiteral("3MHz")), -1);
    }

    // An adapter of a kind the window does not know: the settings show, but
    // no command table is built and nothing is sent.
    void anotherAdapterLeavesTheTableAloneAndSendsNothing()
    {
        Surroundings s;
        auto w = open(s, serialLineSerial, "Serial Line Adapter");
        QVERIFY(w->configBox->isVisible());
        QVERIFY(w->controlsBox->isVisible());
        QCOMPARE(w->txTable->columnCount(), 0);
        QCOMPARE(w->frequencyCombo->count(), 0);
        QVERIFY(!w->isSPI());
        w->addRow->click();
        QCOMPARE(w->txCommands().size(), size_t{1});
        w->sendCommand(0);
        QVERIFY(w->rxCommands().empty());
        QCOMPARE(w->errorCount(), 0);
        QCOMPARE(busLog("serial162"), QString());
    }

    void detachEmptiesBothTablesAndReattachRebuildsTheColumns()
    {
        Surroundings s;
        auto w = open(s, spiSerial, "SPI Bus Adapter");
        QCOMPARE(w->frameGeometry().size(), QSize(814, 804));
        w->addRow->click();
        type(*w->txTable, 0, 0, QStringLiteral("A"));
        w->sendCommand(0);
        QCOMPARE(w->rxCommands().size(), size_t{1});
        QCOMPARE(TindrelSim_detachDevice("spi160"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->frameGeometry().size(), QSize(814, 150));
        QVERIFY(w->txCommands().empty());
        QVERIFY(w->rxCommands().empty());
        QCOMPARE(w->rxTable->rowCount(), 0);
        QCOMPARE(TindrelSim_attachDevice("spi160"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("SPI Bus Adapter")));
        QCOMPARE(w->txTable->columnCount(), 3);
    }
};

QTEST_MAIN(DataAdapterWindowTest)
#include "DataAdapterTest.moc"
