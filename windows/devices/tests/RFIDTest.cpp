// The tag reader window on the default rig's three readers: which show the
// write group, tags coming and going, writing per protocol, locking.
#include "CommsLogic.h"
#include "ErrorEventLog.h"
#include "RFIDController.h"
#include "WindowTestSupport.h"

#include <QTextEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr int readOnlySerial = 300561;    // device ID 13
constexpr int readWriteSerial = 300562;   // device ID 14
constexpr int otherSerial = 300524;       // device ID 54

void holdTag(const char *device, bool held)
{
    QCOMPARE(TindrelSim_setInputValue(device, TINDREL_CHCLASS_RFID, 0, "TagPresent", held ? 1 : 0), TINDREL_OK);
}
}   // namespace

class RFIDTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }

    void protocols()
    {
        QCOMPARE(*comms::rfidProtocolText(1), QStringLiteral("EM4100 Series"));
        QCOMPARE(*comms::rfidProtocolText(5), QStringLiteral("HID H10301"));
        QVERIFY(!comms::rfidProtocolText(0));
        QVERIFY(!comms::rfidProtocolText(6));
        QCOMPARE(comms::rfidProtocolOfIndex(2), TINDREL_RFID_PROTOCOL_TINDRELTAG);
        QCOMPARE(comms::rfidProtocolOfIndex(-1), TINDREL_RFID_PROTOCOL_EM4100);
        QCOMPARE(comms::rfidProtocolOfIndex(5), TINDREL_RFID_PROTOCOL_EM4100);
    }

    void writeGroupByDevice()
    {
        Surroundings s;
        s.aimAt(readOnlySerial);
        auto readOnly = s.open<RFIDController>();
        QVERIFY(waitAttached(*readOnly, QStringLiteral("Proximity Tag Reader")));
        QVERIFY(readOnly->readBox->isVisible());
        QVERIFY(!readOnly->writeBox->isVisible());
        readOnly.reset();

        s.aimAt(otherSerial);
        auto other = s.open<RFIDController>();
        QVERIFY(waitAttached(*other, QStringLiteral("Tag Reader-Writer")));
        QVERIFY(other->readBox->isVisible());
        QVERIFY(!other->writeBox->isVisible());
        other.reset();

        s.aimAt(readWriteSerial);
        auto writer = s.open<RFIDController>();
        QVERIFY(waitAttached(*writer, QStringLiteral("Tag Reader-Writer Module")));
        QVERIFY(writer->writeBox->isVisible());
        // Shown again after every attach.
        QCOMPARE(TindrelSim_detachDevice("rfid14"), TINDREL_OK);
        QVERIFY(waitDetached(*writer));
        QVERIFY(!writer->writeBox->isVisible());
        QCOMPARE(TindrelSim_attachDevice("rfid14"), TINDREL_OK);
        QVERIFY(waitAttached(*writer, QStringLiteral("Tag Reader-Writer Module")));
        QVERIFY(writer->writeBox->isVisible());
    }

    void writeReadBackAndLock()
    {
        Surroundings s;
        s.aimAt(readWriteSerial);
        auto w = s.open<RFIDController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Tag Reader-Writer Module")));
        QVERIFY(w->antennaEnabledCheck->isChecked());
        holdTag("rfid14", true);
        QTRY_VERIFY_WITH_TIMEOUT(!w->readTagStringText->text().isEmpty(), deadlineMs);

        // Written in one protocol, read back in it.
        w->writeTagStringText->setText(QStringLiteral("bench tag 7"));
        w->writeProtocolCombo->setCurrentIndex(2);
        w->writeButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->readTagStringText->text(), QStringLiteral("bench tag 7"), deadlineMs);
        QCOMPARE(w->readProtocolText->text(), QStringLiteral("TindrelTag"));
        w->writeTagStringText->setText(QStringLiteral("1234567"));
        w->writeProtocolCombo->setCurrentIndex(4);
        w->writeButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->readProtocolText->text(), QStringLiteral("HID H10301"), deadlineMs);
        QCOMPARE(w->readTagStringText->text(), QStringLiteral("1234567"));

        // A tag the protocol cannot hold is refused and logged.
        const int before = w->errorCount();
        w->writeTagStringText->setText(QStringLiteral("not digits"));
        w->writeButton->click();
        QCOMPARE(w->errorCount(), before + 1);

        // Cancelling the warning writes nothing and clears the lock box.
        s.alerts.answer = 1;
        w->lockCheck->setChecked(true);
        w->writeTagStringText->setText(QStringLiteral("0102030405"));
        w->writeProtocolCombo->setCurrentIndex(0);
        w->writeButton->click();
        QCOMPARE(s.alerts.alerts.last().title, QString::fromLatin1(comms::rfidLockWarning));
        QVERIFY(!w->lockCheck->isChecked());
        QTest::qWait(100);
        QCOMPARE(w->readTagStringText->text(), QStringLiteral("1234567"));

        // Confirmed: written, locked, the box cleared.
        s.alerts.answer = 0;
        w->lockCheck->setChecked(true);
        w->writeButton->click();
        QVERIFY(!w->lockCheck->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(w->readTagStringText->text(), QStringLiteral("0102030405"), deadlineMs);
        QCOMPARE(w->readProtocolText->text(), QStringLiteral("EM4100 Series"));
        // A locked tag refuses the next write; it is logged.
        const int errors = w->errorCount();
        w->writeTagStringText->setText(QStringLiteral("0a0b0c0d0e"));
        w->writeButton->click();
        QCOMPARE(w->errorCount(), errors + 1);
        QVERIFY(w->errorEventLogWindow());

        // The tag leaves the field.
        holdTag("rfid14", false);
        QTRY_VERIFY_WITH_TIMEOUT(w->readTagStringText->text().isEmpty(), deadlineMs);
        QVERIFY(w->readProtocolText->text().isEmpty());

        // The antenna off: no tag is seen even when held there.
        w->antennaEnabledCheck->click();
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("rfid14", TINDREL_CHCLASS_RFID, 0, "AntennaEnabled"), 0.0, deadlineMs);
    }

    // The lock is the tag's: a reopened window or a replugged reader finds
    // the tag as it was written, and still locked.
    void aLockedTagStaysLockedWhenTheReaderComesBack()
    {
        Surroundings s;
        s.aimAt(otherSerial);
        const QString name = QStringLiteral("Tag Reader-Writer");
        holdTag("rfid54", true);
        {
            auto w = s.open<RFIDController>();
            QVERIFY(waitAttached(*w, name));
            QTRY_VERIFY_WITH_TIMEOUT(!w->readTagStringText->text().isEmpty(), deadlineMs);
            s.alerts.answer = 0;
            w->lockCheck->setChecked(true);
            w->writeTagStringText->setText(QStringLiteral("kept locked"));
            w->writeProtocolCombo->setCurrentIndex(2);
            w->writeButton->click();
            QTRY_COMPARE_WITH_TIMEOUT(w->readTagStringText->text(), QStringLiteral("kept locked"), deadlineMs);
        }
        auto w = s.open<RFIDController>();
        QVERIFY(waitAttached(*w, name));
        for (int round = 0; round < 2; ++round) {
            QTRY_COMPARE_WITH_TIMEOUT(w->readTagStringText->text(), QStringLiteral("kept locked"), deadlineMs);
            QCOMPARE(w->readProtocolText->text(), QStringLiteral("TindrelTag"));
            const int errors = w->errorCount();
            w->writeTagStringText->setText(QStringLiteral("rewritten"));
            w->writeProtocolCombo->setCurrentIndex(2);   // a text the protocol holds
            w->writeButton->click();
            QCOMPARE(w->errorCount(), errors + 1);
            QVERIFY(w->errorEventLogWindow());
            QVERIFY(w->errorEventLogWindow()->errorEventLog->toPlainText().contains(QStringLiteral("locked")));
            // Unplugged and plugged in again.
            QCOMPARE(TindrelSim_detachDevice("rfid54"), TINDREL_OK);
            QVERIFY(waitDetached(*w));
            QCOMPARE(TindrelSim_attachDevice("rfid54"), TINDREL_OK);
            QVERIFY(waitAttached(*w, name));
        }
        holdTag("rfid54", false);
    }

    void readOnlyReaderRefusesWrites()
    {
        TindrelRFIDHandle h = nullptr;
        QCOMPARE(TindrelRFID_create(&h), TINDREL_OK);
        Tindrel_setDeviceSerialNumber(reinterpret_cast<TindrelHandle>(h), readOnlySerial);
        QCOMPARE(Tindrel_openWaitForAttachment(reinterpret_cast<TindrelHandle>(h), 5000), TINDREL_OK);
        holdTag("rfid13", true);
        QTRY_VERIFY_WITH_TIMEOUT(simProperty("rfid13", TINDREL_CHCLASS_RFID, 0, "TagPresent") == 1.0, deadlineMs);
        QCOMPARE(TindrelRFID_write(h, "0102030405", TINDREL_RFID_PROTOCOL_EM4100, 0), TINDREL_EUNSUPPORTED);
        Tindrel_close(reinterpret_cast<TindrelHandle>(h));
        TindrelRFID_delete(&h);
    }
};

QTEST_MAIN(RFIDTest)
#include "RFIDTest.moc"
