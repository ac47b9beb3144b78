// The sound window: levels, the octave bar graph and its range.
#include "CodePopup.h"
#include "SoundSensorController.h"
#include "WindowTestSupport.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QValueAxis>

#include <cmath>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "sound", "deviceId": 48, "class": 2, "serial": 4800, "name": "Sound Board", "present": false,
     "channels": [{"class": "SoundSensor", "properties": {"SPLRange": 2},
                   "behaviour": {"waveform": "sine", "amplitude": 5, "offset": 60, "period": 4}}]},
    {"id": "fixed", "deviceId": 48, "class": 2, "serial": 4801, "name": "Fixed Range",
     "channels": [{"class": "SoundSensor", "unsupported": ["SPLRange"]}]}
  ]
})";

double bar(const SoundSensorController &w, int i) { return w.barPlot->at(i); }

}   // namespace

class SoundWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void graphHasTenLabelledBandsOnADecibelAxis()
    {
        QVERIFY(octaves::barLevels({}) == (std::array<double, 10>{}));
        QCOMPARE(octaves::barLevels({1, 2, 3})[2], 3.0);
        QCOMPARE(octaves::topForRange(1), 102.0);
        QCOMPARE(octaves::topForRange(2), 82.0);

        Surroundings s;
        s.aimAt(4800);
        auto w = s.open<SoundSensorController>();
        QCOMPARE(w->barPlot->count(), 10);
        auto *bands = qobject_cast<QBarCategoryAxis *>(w->graph->axes(Qt::Horizontal).front());
        QVERIFY(bands);
        QCOMPARE(bands->categories(),
                 (QStringList{"32Hz", "63Hz", "125Hz", "250Hz", "500Hz", "1kHz", "2kHz", "4kHz", "8kHz", "16kHz"}));
        QCOMPARE(w->levelAxis->min(), 0.0);
        QCOMPARE(w->levelAxis->max(), 102.0);
        QVERIFY(w->levelAxis->labelFormat().endsWith(QStringLiteral(" dB")));
    }

    void barsStayAtZeroUntilTheFirstEventThenShowTheBands()
    {
        Surroundings s;
        s.aimAt(4800);
        auto w = s.open<SoundSensorController>();
        QTest::qWait(200);
        QVERIFY(w->octaves.empty());
        for (int i = 0; i < 10; ++i)
            QCOMPARE(bar(*w, i), 0.0);

        QCOMPARE(TindrelSim_attachDevice("sound"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Sound Board")));
        // The device's range is shown, and the graph's top follows it.
        QCOMPARE(w->splRangeCombo->currentText(), QStringLiteral("82 dB"));
        QCOMPARE(w->levelAxis->max(), 82.0);
        QTRY_VERIFY_WITH_TIMEOUT(!w->octaves.empty(), deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(bar(*w, 5) > 0, deadlineMs);
        const double dB = w->dBZText->text().toDouble();
        QVERIFY(dB > 40 && dB < 82);
        QVERIFY(w->dBAText->text().contains(QLatin1Char('.')));
        // The bands' energies add up to the unweighted level shown with them.
        double energy = 0;
        for (double level : w->octaves)
            energy += std::pow(10.0, level / 10.0);
        QVERIFY(std::fabs(10 * std::log10(energy) - dB) < 0.5);
    }

    void rangeChangeHoldsWhenTheDeviceRefusesIt()
    {
        Surroundings s;
        s.aimAt(4801);
        auto w = s.open<SoundSensorController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Fixed Range")));
        w->splRangeCombo->setCurrentIndex(1);
        emit w->splRangeCombo->activated(1);
        QCOMPARE(w->levelAxis->max(), 82.0);
        QVERIFY(w->errorEventLogWindow());
        w->splRangeCombo->setCurrentIndex(0);
        emit w->splRangeCombo->activated(0);
        QCOMPARE(w->levelAxis->max(), 102.0);
    }
};

QTEST_MAIN(SoundWindowTest)
#include "SoundTest.moc"
