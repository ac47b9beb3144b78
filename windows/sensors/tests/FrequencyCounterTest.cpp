// The frequency counter window: the isolated module's settings, the filter
// pairing, and every count event reaching the window's sinks.
#include "CodePopup.h"
#include "ErrorEventLog.h"
#include "FrequencyCounterController.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "din", "deviceId": 55, "class": 2, "serial": 5500, "name": "Isolated Inputs",
     "channels": [{"class": "FrequencyCounter", "properties": {"InputMode": 2, "PowerSupply": 2},
                   "behaviour": {"waveform": "constant", "offset": 250}}]},
    {"id": "pulse", "deviceId": 115, "class": 2, "serial": 11500, "name": "Pulse Counter",
     "channels": [{"class": "FrequencyCounter", "properties": {"FilterType": 2, "FrequencyCutoff": 2.5},
                   "behaviour": {"waveform": "constant", "offset": 500}}]}
  ]
})";

std::unique_ptr<FrequencyCounterController> openOn(Surroundings &s, int serial, const char *name)
{
    s.aimAt(serial);
    auto w = s.open<FrequencyCounterController>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        qWarning("%s did not attach", name);
    return w;
}

class Recorder : public EventSink {
public:
    void takeEvent(const EventSample &sample) override { samples.push_back(sample); }
    std::vector<EventSample> samples;
};

}   // namespace

class FrequencyCounterWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void isolatedModuleShowsSupplyAndModeInsteadOfFilterAndEnable()
    {
        Surroundings s;
        auto w = openOn(s, 5500, "Isolated Inputs");
        for (int round = 0; round < 2; ++round) {
            QVERIFY(w->powerSupplyBox->isVisible());
            QVERIFY(!w->filterTypeBox->isVisible());
            QVERIFY(!w->enabledCheck->isVisible());
            QCOMPARE(w->powerSupplyCombo->currentIndex(), 1);
            QCOMPARE(w->inputModeCombo->currentIndex(), 1);
            QCOMPARE(TindrelSim_detachDevice("din"), TINDREL_OK);
            QVERIFY(waitDetached(*w));
            QVERIFY(!w->powerSupplyBox->isVisible());
            QVERIFY(w->frequencyText->text().isEmpty());
            QCOMPARE(TindrelSim_attachDevice("din"), TINDREL_OK);
            QVERIFY(waitAttached(*w, QStringLiteral("Isolated Inputs")));
        }
        w->powerSupplyCombo->setCurrentIndex(2);
        emit w->powerSupplyCombo->activated(2);
        QCOMPARE(simProperty("din", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "PowerSupply"), 3.0);
        w->inputModeCombo->setCurrentIndex(0);
        emit w->inputModeCombo->activated(0);
        QCOMPARE(simProperty("din", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "InputMode"), 1.0);
        QVERIFY2(!w->errorEventLogWindow(),
                 qPrintable(w->errorEventLogWindow() ? w->errorEventLogWindow()->errorEventLog->toPlainText() : ""));
    }

    void filterEntriesStandForOneTypeBothWays()
    {
        Surroundings s;
        auto w = openOn(s, 11500, "Pulse Counter");
        QVERIFY(w->filterTypeBox->isVisible());
        QVERIFY(w->enabledCheck->isVisible());
        QVERIFY(!w->powerSupplyBox->isVisible());
        QCOMPARE(w->filterTypeCombo->currentIndex(), 1);   // type 2 read
        QCOMPARE(w->cutoffText->text(), QStringLiteral("2.5"));
        QCOMPARE(w->dataIntervalBox->row->minLabel->text(), QStringLiteral("100"));
        QCOMPARE(w->dataIntervalBox->row->valueLabel->text(), QStringLiteral("250 ms"));
        // The logic-level filter never sees this counter's small signal.
        QTRY_COMPARE_WITH_TIMEOUT(w->frequencyText->text(), QStringLiteral("0.0 Hz"), deadlineMs);

        w->filterTypeCombo->setCurrentIndex(0);
        emit w->filterTypeCombo->activated(0);
        QCOMPARE(simProperty("pulse", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "FilterType"), 1.0);
        QTRY_COMPARE_WITH_TIMEOUT(w->frequencyText->text(), QStringLiteral("500.0 Hz"), deadlineMs);

        w->cutoffText->setText(QStringLiteral("fast"));
        w->setCutoff();
        QCOMPARE(simProperty("pulse", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "FrequencyCutoff"), 2.5);
        QVERIFY(w->errorEventLogWindow());
        w->cutoffText->setText(QStringLiteral("5"));
        w->setCutoff();
        QCOMPARE(simProperty("pulse", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "FrequencyCutoff"), 5.0);
    }

    void everyCountEventReachesTheSinksAndResetStartsAgain()
    {
        Surroundings s;
        auto w = openOn(s, 5500, "Isolated Inputs");
        Recorder seen;
        w->addEventSink(&seen);
        QTRY_VERIFY_WITH_TIMEOUT(w->totalCountText->text().toULongLong() > 200, deadlineMs);
        w->resetButton->click();
        QVERIFY(w->totalCountText->text().toULongLong() < 200);
        const quint64 before = w->streams().front()->eventCount();
        seen.samples.clear();
        QTRY_VERIFY_WITH_TIMEOUT(w->streams().front()->eventCount() >= before + 5, deadlineMs);
        w->flushValues();
        double counted = 0;
        std::size_t countEvents = 0;
        for (const EventSample &sample : seen.samples)
            if (sample.stream == 0) {
                counted += sample.values[0];
                ++countEvents;
            }
        QCOMPARE(countEvents, static_cast<std::size_t>(w->streams().front()->eventCount() - before));
        // The counts of the events add up to the device's total since the reset.
        const double total = simProperty("din", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "Count");
        QVERIFY2(counted <= total && total - counted < 250,
                 qPrintable(QStringLiteral("%1 %2").arg(counted).arg(total)));
        w->removeEventSink(&seen);
    }

    void recordingCapturesEveryEvent()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("counts.csv"));
        Surroundings s;
        s.aimAt(5500);
        auto w = s.open<FrequencyCounterController>();
        QVERIFY(w->startRecording(path));
        QVERIFY(waitAttached(*w, QStringLiteral("Isolated Inputs")));
        QTRY_VERIFY_WITH_TIMEOUT(w->streams().front()->eventCount() >= 8, deadlineMs);
        w->stopRecording();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const quint64 events = w->streams().at(0)->eventCount() + w->streams().at(1)->eventCount();
        QCOMPARE(static_cast<quint64>(rows.size() - 1), events);
        QCOMPARE(static_cast<quint64>(rows.filter(QStringLiteral(",Count Change")).size()),
                 w->streams().at(0)->eventCount());
        // The recorded counts add up to what the device counted meanwhile.
        double counted = 0;
        for (const QString &row : rows.filter(QStringLiteral(",Count Change")))
            counted += row.section(QLatin1Char(','), 4, 4).toDouble();
        QVERIFY(counted > 0);
        QVERIFY(counted <= simProperty("din", TINDREL_CHCLASS_FREQUENCYCOUNTER, 0, "Count"));
    }
};

QTEST_MAIN(FrequencyCounterWindowTest)
#include "FrequencyCounterTest.moc"
