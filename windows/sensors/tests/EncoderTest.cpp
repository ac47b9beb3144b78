// The encoder window: speed arithmetic, device variants, and counts that
// agree with the shaft the simulator turns.
#include "CodePopup.h"
#include "CountingLogic.h"
#include "EncoderController.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QLineEdit>
#include <QSlider>

#include <cmath>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "enc25", "deviceId": 25, "class": 2, "serial": 2500, "name": "Encoder 25",
     "channels": [{"class": "Encoder", "properties": {"Enabled": 0}}]},
    {"id": "enc34", "deviceId": 34, "class": 2, "serial": 3400, "name": "Encoder 34", "channels": [{"class": "Encoder"}]},
    {"id": "enc60", "deviceId": 60, "class": 2, "serial": 6000, "name": "Encoder 60",
     "channels": [{"class": "Encoder", "properties": {"IOMode": 4}}]},
    {"id": "enc117", "deviceId": 117, "class": 2, "serial": 11700, "name": "Encoder 117",
     "channels": [{"class": "Encoder"}]}
  ]
})";

std::unique_ptr<EncoderController> openOn(Surroundings &s, int serial, const char *name)
{
    s.aimAt(serial);
    auto w = s.open<EncoderController>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        qWarning("%s did not attach", name);
    return w;
}

// Every position event a window takes in, in order.
class Recorder : public EventSink {
public:
    void takeEvent(const EventSample &sample) override { samples.push_back(sample); }
    std::vector<EventSample> samples;
};

}   // namespace

class EncoderWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void speedNeedsCountsPerRevolutionAndStaysExact()
    {
        using namespace counting;
        QVERIFY(countsPerRevolution(QStringLiteral("-5")) == -1);
        QVERIFY(countsPerRevolution(QStringLiteral(" 360 ")) == 360);
        QVERIFY(!countsPerRevolution(QStringLiteral("many")));
        QVERIFY(!rpm(100, 10, -1));
        QCOMPARE(*rpm(360, 1000, 360), 60.0);
        // change * 60000 passes the 32-bit range and still gives the right speed.
        QCOMPARE(*rpm(2000000000, 1000, 1000), 120000000.0);
        QVERIFY(std::isinf(*rpm(10, 8, 0)));
        QCOMPARE(rpmText(*rpm(10, 8, 0)), QStringLiteral("inf RPM"));
        QCOMPARE(rpmText(12.34), QStringLiteral("12.3 RPM"));
    }

    void variantsShowTheirEnableAndIOMode()
    {
        Surroundings s;
        auto e25 = openOn(s, 2500, "Encoder 25");
        auto e34 = openOn(s, 3400, "Encoder 34");
        auto e60 = openOn(s, 6000, "Encoder 60");
        auto e117 = openOn(s, 11700, "Encoder 117");
        QVERIFY(e25->enabledCheck->isVisible());
        QVERIFY(!e25->enabledCheck->isChecked());
        QVERIFY(!e25->ioModeBox->isVisible());
        QVERIFY(!e34->enabledCheck->isVisible());
        QVERIFY(e60->ioModeBox->isVisible());
        QCOMPARE(e60->ioModeCombo->currentIndex(), 3);
        QVERIFY(e117->enabledCheck->isVisible());
        QVERIFY(!e117->ioModeBox->isVisible());
        QVERIFY(e117->height() < e60->height());
        QCOMPARE(e117->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0 counts"));
        QCOMPARE(e117->changeTriggerBox->row->maxLabel->text(), QStringLiteral("10000"));
        QCOMPARE(e117->dataIntervalBox->row->valueLabel->text(), QStringLiteral("256 ms"));

        e60->ioModeCombo->setCurrentIndex(0);
        emit e60->ioModeCombo->activated(0);
        QCOMPARE(simProperty("enc60", TINDREL_CHCLASS_ENCODER, 0, "IOMode"), 1.0);
        e25->enabledCheck->click();
        QCOMPARE(simProperty("enc25", TINDREL_CHCLASS_ENCODER, 0, "Enabled"), 1.0);
        // The change trigger is sent on every step of a drag.
        SliderRow &trigger = *e117->changeTriggerBox->row;
        trigger.slider->setSliderDown(true);
        trigger.slider->setValue(5);
        QCOMPARE(simProperty("enc117", TINDREL_CHCLASS_ENCODER, 0, "PositionChangeTrigger"), 5.0);
        trigger.slider->setValue(0);
        trigger.slider->setSliderDown(false);
        QCOMPARE(simProperty("enc117", TINDREL_CHCLASS_ENCODER, 0, "PositionChangeTrigger"), 0.0);
    }

    void countsAndIndexAgreeWithTheShaftTurned()
    {
        Surroundings s;
        QCOMPARE(TindrelSim_turnShaft("enc117", 0, 2880), TINDREL_OK);   // two revolutions a second
        auto w = openOn(s, 11700, "Encoder 117");
        Recorder seen;
        w->addEventSink(&seen);
        w->countsPerRev->setText(QStringLiteral("1440"));
        w->setCPR();
        QTRY_VERIFY_WITH_TIMEOUT(w->indexPositionText->text() != QStringLiteral("N/A"), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(w->velocityText->text().endsWith(QStringLiteral(" RPM")), deadlineMs);
        const double speed = w->velocityText->text().section(QLatin1Char(' '), 0, 0).toDouble();
        QVERIFY2(std::fabs(speed - 120.0) < 25.0, qPrintable(w->velocityText->text()));

        QCOMPARE(TindrelSim_turnShaft("enc117", 0, 0), TINDREL_OK);
        // Once the shaft stands, what the window shows is what the device counted.
        int64_t position = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                w->flushValues();
                QTest::qWait(100);
                double simulated = simProperty("enc117", TINDREL_CHCLASS_ENCODER, 0, "Position");
                position = static_cast<int64_t>(simulated);
                return w->positionText->text() == QString::asprintf("%lli counts", static_cast<long long>(position));
            }(),
            deadlineMs);
        double sum = 0;
        int indexes = 0;
        for (const EventSample &sample : seen.samples) {
            sum += sample.values[0];
            indexes += sample.values[2] != 0 ? 1 : 0;
        }
        const double before = position - sum;   // counted before the sink was added
        QVERIFY(before >= 0);
        QVERIFY(indexes >= 1);
        const double index = simProperty("enc117", TINDREL_CHCLASS_ENCODER, 0, "IndexPosition");
        QCOMPARE(index, std::floor(position / 1440.0) * 1440.0);
        QCOMPARE(w->indexPositionText->text(), QString::asprintf("%lli counts", static_cast<long long>(index)));
        w->removeEventSink(&seen);
    }

    void speedIsPerWindowAndGoneAfterDetach()
    {
        Surroundings s;
        QCOMPARE(TindrelSim_turnShaft("enc117", 0, 1440), TINDREL_OK);
        QCOMPARE(TindrelSim_turnShaft("enc34", 0, 1440), TINDREL_OK);
        auto first = openOn(s, 3400, "Encoder 34");
        auto second = openOn(s, 11700, "Encoder 117");
        first->countsPerRev->setText(QStringLiteral("-5"));
        first->setCPR();
        QCOMPARE(first->countsPerRevolution(), -1);
        second->countsPerRev->setText(QStringLiteral("720"));
        second->setCPR();
        QTRY_VERIFY_WITH_TIMEOUT(second->velocityText->text().endsWith(QStringLiteral(" RPM")), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(!first->positionText->text().isEmpty(), deadlineMs);
        QCOMPARE(first->velocityText->text(), QStringLiteral("N/A"));

        QCOMPARE(TindrelSim_detachDevice("enc117"), TINDREL_OK);
        QVERIFY(waitDetached(*second));
        QCOMPARE(second->velocityText->text(), QStringLiteral("N/A"));
        QCOMPARE(second->indexPositionText->text(), QStringLiteral("N/A"));
        QCOMPARE(second->countsPerRevolution(), -1);
        QVERIFY(second->countsPerRev->text().isEmpty());
        QVERIFY(second->enabledCheck->isChecked());
        QCOMPARE(TindrelSim_turnShaft("enc117", 0, 0), TINDREL_OK);
        QCOMPARE(TindrelSim_turnShaft("enc34", 0, 0), TINDREL_OK);
    }
};

QTEST_MAIN(EncoderWindowTest)
#include "EncoderTest.moc"
