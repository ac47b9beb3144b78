// The voltage ratio window on the default rig: sensor ports, bridges on
// device 24 and another device, plain inputs, and what the bridge settings
// do to the data.
#include "VoltageLogic.h"
#include "VoltageRatioController.h"
#include "WindowTestSupport.h"

#include <QRegularExpression>
#include <QSlider>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr auto VR = TINDREL_CHCLASS_VOLTAGERATIOINPUT;
constexpr int hub2Serial = 561777;

std::unique_ptr<VoltageRatioController> openAt(Surroundings &s, int serial, int hubPort, int channel, const char *name)
{
    s.aimAt(serial, channel);
    if (hubPort >= 0)
        s.defaults().setValue("v", hubPort);
    auto w = s.open<VoltageRatioController>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        return nullptr;
    return w;
}

QStringList items(const QComboBox &combo)
{
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out.append(combo.itemText(i));
    return out;
}

void choose(QComboBox &combo, const QString &title)
{
    const int index = combo.findText(title);
    combo.setCurrentIndex(index);
    emit combo.activated(index);
}

}   // namespace

class VoltageRatioTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void bridgeOnDevice24OffersSixGainsAndShowsScientificRatio()
    {
        Surroundings s;
        auto w = openAt(s, hub2Serial, 1, 0, "Two-Channel Bridge Input Module");
        QVERIFY(w);
        QVERIFY(w->gainBox->isVisible());
        QVERIFY(w->enableBox->isVisible());
        QVERIFY(!w->sensorBox->isVisible());
        QVERIFY(w->enableCheck->isChecked());
        QCOMPARE(items(*w->bridgeGainCombo), (QStringList{"1x", "8x", "16x", "32x", "64x", "128x"}));
        QCOMPARE(w->bridgeGainCombo->currentText(), QStringLiteral("128x"));
        QTRY_VERIFY_WITH_TIMEOUT(w->voltageRatioText->text().contains(QLatin1Char('e')), deadlineMs);
        QVERIFY(w->voltageRatioText->text().endsWith(QStringLiteral(" V/V")));
        QCOMPARE(w->dataIntervalBox->row->minLabel->text(), QStringLiteral("1"));
        QCOMPARE(w->width(), 550);

        // Detach keeps the gains; the next attach fills them again, once each.
        QCOMPARE(TindrelSim_detachDevice("bridge24"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->voltageRatioText->text(), QString());
        QCOMPARE(w->bridgeGainCombo->count(), 6);
        QCOMPARE(TindrelSim_attachDevice("bridge24"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Two-Channel Bridge Input Module")));
        QCOMPARE(w->bridgeGainCombo->count(), 6);
    }

    void bridgeGainAndEnableChangeTheData()
    {
        Surroundings s;
        auto w = openAt(s, 300542, -1, 0, "Four-Channel Bridge Input Board");
        QVERIFY(w);
        QCOMPARE(items(*w->bridgeGainCombo), voltage::sensorTitles(voltage::bridgeGains));
        QCOMPARE(w->bridgeGainCombo->currentText(), QStringLiteral("16x"));
        // 16x: a full scale of 1/16 V/V; the trigger's maximum follows.
        QCOMPARE(w->changeTriggerBox->row->maximum(), 1.0 / 16);

        // At 128x the full scale is 1/128 V/V; the 1.2 mV/V bridge stays within it.
        choose(*w->bridgeGainCombo, QStringLiteral("128x"));
        QCOMPARE(simProperty("bridge99", VR, 0, "BridgeGain"), 8.0);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(simProperty("bridge99", VR, 0, "VoltageRatio")) <= 1.0 / 128, deadlineMs);

        // A disabled bridge reads nothing: no more ratio events.
        w->enableCheck->click();
        QCOMPARE(simProperty("bridge99", VR, 0, "BridgeEnabled"), 0.0);
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("bridge99", VR, 0, "VoltageRatio"), TINDREL_UNKNOWN_VALUE, deadlineMs);
        w->flushValues();
        const quint64 events = w->streams().front()->eventCount();
        QTest::qWait(300);
        w->flushValues();
        QCOMPARE(w->streams().front()->eventCount(), events);
        w->enableCheck->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->streams().front()->eventCount() > events, deadlineMs);
    }

    void sensorPortShowsTheSensorGroupAndConverts()
    {
        Surroundings s;
        auto w = openAt(s, 300543, -1, 0, "Four-Port Sensor Box");
        QVERIFY(w);
        QVERIFY(w->sensorBox->isVisible());
        QVERIFY(!w->gainBox->isVisible());
        QVERIFY(!w->enableBox->isVisible());
        QCOMPARE(w->sensorTypeCombo->count(), 49);
        QTRY_VERIFY_WITH_TIMEOUT(w->voltageRatioText->text().endsWith(QStringLiteral(" V/V")), deadlineMs);
        QVERIFY(!w->voltageRatioText->text().contains(QLatin1Char('e')));

        struct Case {
            int code;
            double ratio;
            double reading;
            QString symbol;
        };
        const Case cases[] = {
            {45020, 0.26, 20.0, QStringLiteral("cm")},   // infrared distance, inverse
            {45050, 0.3, 1.0, QString()},                // reflective, threshold
            {45130, 0.5, 55.1, QStringLiteral("%")},     // humidity, linear
            {45420, 0.25, 25.0, QStringLiteral("kg")},   // compression load cell
        };
        for (const Case &c : cases) {
            QCOMPARE(TindrelSim_setInputValue("box6", VR, 0, "VoltageRatio", c.ratio), TINDREL_OK);
            int row = -1;
            for (size_t i = 0; i < voltage::ratioSensors().size(); ++i)
                if (voltage::ratioSensors()[i].code == c.code)
                    row = static_cast<int>(i);
            QVERIFY(row > 0);
            w->sensorTypeCombo->setCurrentIndex(row);
            emit w->sensorTypeCombo->activated(row);
            QCOMPARE(simProperty("box6", VR, 0, "SensorType"), static_cast<double>(c.code));
            QTRY_VERIFY_WITH_TIMEOUT(qAbs(simProperty("box6", VR, 0, "SensorValue") - c.reading) < 0.01, deadlineMs);
            QTRY_COMPARE_WITH_TIMEOUT(w->sensorText->text(),
                                      voltage::sensorText(simProperty("box6", VR, 0, "SensorValue"), c.symbol),
                                      deadlineMs);
        }
        // Back to the plain ratio: type 0 greys the sensor reading.
        w->sensorTypeCombo->setCurrentIndex(0);
        emit w->sensorTypeCombo->activated(0);
        QCOMPARE(w->sensorText->palette().color(QPalette::WindowText),
                 w->palette().color(QPalette::Disabled, QPalette::WindowText));
    }

    void plainInputAndEqualTriggerLimits()
    {
        Surroundings s;
        auto plain = openAt(s, 300222, -1, 0, "Mixed Signal I/O Board");
        QVERIFY(plain);
        QVERIFY(!plain->sensorBox->isVisible());
        QVERIFY(!plain->gainBox->isVisible());
        QVERIFY(plain->changeTriggerBox->isVisible());
        QCOMPARE(plain->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0.000 V/V"));

        Surroundings t;
        auto fixed = openAt(t, 300547, -1, 1, "Fixed-Trigger Sensor Box");
        QVERIFY(fixed);
        QVERIFY(!fixed->changeTriggerBox->isVisible());
        QVERIFY(fixed->sensorBox->isVisible());
    }

    void rememberedRowsAreChosenAgainModesFirstAndReadBack()
    {
        // What one window's rows held goes to a device that forgot it.
        Surroundings s;
        QVariantMap remembered;
        {
            auto w = openAt(s, 300542, -1, 0, "Four-Channel Bridge Input Board");
            QVERIFY(w);
            choose(*w->bridgeGainCombo, QStringLiteral("1x"));
            // At 1x the device takes triggers up to 1 V/V.
            w->changeTriggerBox->row->choose(0.5);
            QCOMPARE(simProperty("bridge99", VR, 0, "VoltageRatioChangeTrigger"), 0.5);
            w->dataIntervalBox->row->choose(400);
            w->enableCheck->click();
            remembered = w->boundSettings();
            const QVariantMap expected{{QStringLiteral("0-slider"), 400.0},
                                       {QStringLiteral("1-slider"), 0.5},
                                       {QStringLiteral("2-popup"), *codeForTitle(voltage::bridgeGains, u"1x")},
                                       {QStringLiteral("3-check"), false}};
            QCOMPARE(remembered, expected);
            // Unplugged, the rows are remembered as they stood.
            QCOMPARE(TindrelSim_detachDevice("bridge99"), TINDREL_OK);
            QVERIFY(waitDetached(*w));
            QCOMPARE(w->boundSettings(), remembered);
        }
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
        QCOMPARE(simProperty("bridge99", VR, 0, "BridgeEnabled"), 1.0);

        s.aimAt(300542, 0);
        auto w = std::unique_ptr<VoltageRatioController>(makeWindow<VoltageRatioController>());
        w->restoreSettingsAtNextAttach(remembered);
        w->setUp(s.env());
        QCOMPARE(w->boundSettings(), remembered);   // waiting for the attach
        w->show();
        QVERIFY(waitAttached(*w, QStringLiteral("Four-Channel Bridge Input Board")));
        // The gain went first: at 16x a trigger of 0.5 V/V is beyond the maximum.
        QCOMPARE(simProperty("bridge99", VR, 0, "BridgeGain"), remembered.value("2-popup").toDouble());
        QCOMPARE(simProperty("bridge99", VR, 0, "VoltageRatioChangeTrigger"), 0.5);
        QCOMPARE(simProperty("bridge99", VR, 0, "DataInterval"), 400.0);
        QCOMPARE(simProperty("bridge99", VR, 0, "BridgeEnabled"), 0.0);
        QCOMPARE(w->boundSettings(), remembered);   // read back from the device
        QVERIFY(!w->errorEventLogWindow());

        // Rows that do not apply to a plain input are left alone.
        s.aimAt(300222, 0);
        auto plain = std::unique_ptr<VoltageRatioController>(makeWindow<VoltageRatioController>());
        plain->restoreSettingsAtNextAttach(remembered);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "do not fit this channel were left as they are: 2-popup, 3-check$")));
        plain->setUp(s.env());
        plain->show();
        QVERIFY(waitAttached(*plain, QStringLiteral("Mixed Signal I/O Board")));
        QCOMPARE(simProperty("mixedio17", VR, 0, "DataInterval"), 400.0);
        QVERIFY(!plain->errorEventLogWindow());
    }
};

QTEST_MAIN(VoltageRatioTest)
#include "VoltageRatioTest.moc"
