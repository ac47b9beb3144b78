// The satellite position window on the default rig's receiver: the walk,
// the clock, losing and regaining the fix.
#include "CommsLogic.h"
#include "GPSController.h"
#include "WindowTestSupport.h"

#include <QRegularExpression>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
constexpr int gpsSerial = 300525;
const QString gpsName = QStringLiteral("Satellite Position Receiver");
}   // namespace

class GPSTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }

    void formats()
    {
        QCOMPARE(comms::gpsDegreesText(53.34415), QString::fromUtf8("53.344\u00ba"));
        QCOMPARE(comms::gpsHeadingText(359.96), QString::fromUtf8("360.0\u00ba"));
        QCOMPARE(comms::gpsAltitudeText(21.5), QStringLiteral("21.500 m"));
        QCOMPARE(comms::gpsVelocityText(5), QStringLiteral("5.0 km/h"));
        QCOMPARE(comms::gpsTimeText({0, 5, 4, 3}), QStringLiteral("03:04:05"));
        // The year keeps all its digits; day and month get two at least.
        QCOMPARE(comms::gpsDateText({7, 3, 2026}), QStringLiteral("07/03/2026"));
    }

    void followsTheTrackAndLosesTheFix()
    {
        Surroundings s;
        s.aimAt(gpsSerial);
        auto w = s.open<GPSController>();
        const QString initialTime = w->timeLabel->text();
        QVERIFY(waitAttached(*w, gpsName));
        QVERIFY(w->dataBox->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w->fixAquiredCheck->isChecked(), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(w->latitudeText->text().endsWith(QChar(0x00BA)), deadlineMs);
        QVERIFY(w->altitudeText->text().endsWith(QStringLiteral(" m")));
        QVERIFY(w->velocityText->text().endsWith(QStringLiteral(" km/h")));
        QTRY_VERIFY_WITH_TIMEOUT(w->timeLabel->text() != initialTime, deadlineMs);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(w->timeLabel->text()).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}$")).match(w->dateLabel->text()).hasMatch());

        // The indicator shows the receiver's state, not the user's click.
        w->fixAquiredCheck->click();
        QVERIFY(w->fixAquiredCheck->isChecked());

        // Losing the fix blanks the position and motion, not the clock.
        QCOMPARE(TindrelSim_setInputValue("gps50", TINDREL_CHCLASS_GPS, 0, "PositionFixState", 0), TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(!w->fixAquiredCheck->isChecked(), deadlineMs);
        for (QLabel *l : {w->latitudeText, w->longitudeText, w->altitudeText, w->headingText, w->velocityText})
            QVERIFY2(l->text().isEmpty(), qPrintable(l->text()));
        QVERIFY(!w->timeLabel->text().isEmpty());
        QVERIFY(!w->dateLabel->text().isEmpty());
        // And nothing comes back while it stays lost.
        QTest::qWait(300);
        QVERIFY(w->latitudeText->text().isEmpty());

        QCOMPARE(TindrelSim_setInputValue("gps50", TINDREL_CHCLASS_GPS, 0, "PositionFixState", 1), TINDREL_OK);
        QTRY_VERIFY_WITH_TIMEOUT(w->fixAquiredCheck->isChecked(), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(!w->latitudeText->text().isEmpty(), deadlineMs);

        QCOMPARE(TindrelSim_detachDevice("gps50"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QVERIFY(w->timeLabel->text().isEmpty());
        QVERIFY(w->latitudeText->text().isEmpty());
        QCOMPARE(TindrelSim_attachDevice("gps50"), TINDREL_OK);
        QVERIFY(waitAttached(*w, gpsName));
        QCOMPARE(w->errorCount(), 0);
    }
};

QTEST_MAIN(GPSTest)
#include "GPSTest.moc"
