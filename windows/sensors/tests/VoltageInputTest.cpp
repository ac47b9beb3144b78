// The voltage input window on the default rig: each device group, the
// release rule, sensor conversion, failures and re-attach.
#include "VoltageInputController.h"
#include "VoltageLogic.h"
#include "WindowTestSupport.h"

#include <QSignalSpy>
#include <QSlider>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr auto VI = TINDREL_CHCLASS_VOLTAGEINPUT;

// Serial numbers and hub ports of the default rig.
constexpr int hubSerial = 561302, hub2Serial = 561777;

struct Where {
    const char *rigId;
    int serial;
    int hubPort;   // -1: not on a hub port
    int channel;
    const char *name;
};

std::unique_ptr<VoltageInputController> openAt(Surroundings &s, const Where &at)
{
    s.aimAt(at.serial, at.channel);
    if (at.hubPort >= 0)
        s.defaults().setValue("v", at.hubPort);
    auto w = s.open<VoltageInputController>();
    if (!waitAttached(*w, QString::fromLatin1(at.name)))
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

int rowOf(std::span<const CodeTitle> list, int code)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].code == code)
            return static_cast<int>(i);
    return -1;
}

void chooseSensor(VoltageInputController &w, int code)
{
    const int row = rowOf(voltage::voltageSensors(), code);
    w.sensorTypeCombo->setCurrentIndex(row);
    emit w.sensorTypeCombo->activated(row);
}

const Where box6{"box6", 300543, -1, 0, "Four-Port Sensor Box"};

}   // namespace

class VoltageInputTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void sensorPortDevicesShowTheSensorGroup()
    {
        const Where boxes[] = {box6,
                               {"box7", 300544, -1, 0, "Eight-Port Sensor Box"},
                               {"box42", 300545, -1, 0, "Two-Port Sensor Box"},
                               {"humidity45", hubSerial, 4, 0, "Humidity and Temperature Module"},
                               {"box51", 300546, -1, 0, "Isolated Sensor Box"},
                               {"box97", 300547, -1, 0, "Fixed-Trigger Sensor Box"}};
        for (const Where &at : boxes) {
            Surroundings s;
            auto w = openAt(s, at);
            QVERIFY2(w, at.rigId);
            QVERIFY2(w->sensorBox->isVisible(), at.rigId);
            QVERIFY(w->dataBox->isVisible());
            QVERIFY(w->dataIntervalBox->isVisible());
            QVERIFY(!w->voltageRangeBox->isVisible());
            QVERIFY(!w->powerSupplyBox->isVisible());
            QCOMPARE(w->sensorTypeCombo->count(), 35);
            QCOMPARE(w->width(), 550);
        }
    }

    void rangeDevicesOfferTheirRangesAndSelectTheCurrentOne()
    {
        struct Case {
            Where at;
            QStringList titles;
            QString selected;
        };
        const Case cases[] = {
            {{"vin49", 300509, -1, 0, "Precision Voltage Input Board"}, {"400 mV", "2 V"}, "2 V"},
            {{"vin92", 300540, -1, 0, "Dual-Range Voltage Input Board"}, {"312.5 mV", "40 V"}, "40 V"},
            {{"vin93", hub2Serial, 0, 0, "Wide-Range Voltage Input Module"},
             {"5 V", "15 V", "40 V", "Automatic"},
             "Automatic"},
            {{"vin94", 300541, -1, 0, "Low-Level Voltage Input Board"},
             {"10 mV", "40 mV", "200 mV", "1000 mV", "Automatic"},
             "200 mV"},
        };
        for (const Case &c : cases) {
            Surroundings s;
            auto w = openAt(s, c.at);
            QVERIFY2(w, c.at.rigId);
            QVERIFY(w->voltageRangeBox->isVisible());
            QVERIFY(!w->sensorBox->isVisible());
            QCOMPARE(items(*w->voltageRangeCombo), c.titles);
            QCOMPARE(w->voltageRangeCombo->currentText(), c.selected);
        }
    }

    void choosingARangeSendsItsCode()
    {
        Surroundings s;
        auto w = openAt(s, {"vin94", 300541, -1, 0, "Low-Level Voltage Input Board"});
        QVERIFY(w);
        const int index = w->voltageRangeCombo->findText(QStringLiteral("40 mV"));
        w->voltageRangeCombo->setCurrentIndex(index);
        emit w->voltageRangeCombo->activated(index);
        QCOMPARE(simProperty("vin94", VI, 0, "VoltageRange"), 2.0);
    }

    void powerSupplyDeviceAndPlainInput()
    {
        Surroundings s;
        auto supply = openAt(s, {"din4", hubSerial, 0, 0, "Isolated Four-Input Module"});
        QVERIFY(supply);
        QVERIFY(supply->powerSupplyBox->isVisible());
        QCOMPARE(supply->powerSupplyCombo->currentText(), QStringLiteral("12 V"));
        QVERIFY(!supply->sensorBox->isVisible());

        Surroundings t;
        auto plain = openAt(t, {"mixedio17", 300222, -1, 0, "Mixed Signal I/O Board"});
        QVERIFY(plain);
        for (QWidget *box : {static_cast<QWidget *>(plain->sensorBox), static_cast<QWidget *>(plain->voltageRangeBox),
                             static_cast<QWidget *>(plain->powerSupplyBox)})
            QVERIFY(!box->isVisible());
        QVERIFY(plain->changeTriggerBox->isVisible());
        QCOMPARE(plain->width(), 550);
    }

    void equalTriggerLimitsHideTheChangeTrigger()
    {
        Surroundings s;
        auto fixed = openAt(s, {"box97", 300547, -1, 1, "Fixed-Trigger Sensor Box"});
        QVERIFY(fixed);
        QVERIFY(!fixed->changeTriggerBox->isVisible());
        Surroundings t;
        auto free = openAt(t, {"box97", 300547, -1, 0, "Fixed-Trigger Sensor Box"});
        QVERIFY(free);
        QVERIFY(free->changeTriggerBox->isVisible());
        QCOMPARE(free->changeTriggerBox->row->maxLabel->text(), QStringLiteral("5.000 V"));
        // The same box without the change trigger needs less height.
        QVERIFY(fixed->height() <= free->height());
    }

    void dataIntervalDragSendsOnceOnRelease()
    {
        Surroundings s;
        auto w = openAt(s, box6);
        QVERIFY(w);
        SliderRow *row = w->dataIntervalBox->row;
        QCOMPARE(row->minLabel->text(), QStringLiteral("1 ms"));
        QCOMPARE(row->maxLabel->text(), QStringLiteral("60000 ms"));
        QSignalSpy sends(row, &SliderRow::valueChosen);
        const double before = simProperty("box6", VI, 0, "DataInterval");
        row->slider->setSliderDown(true);
        for (int v : {100, 200, 500})
            row->slider->setValue(v);
        const double chosen = row->value();
        QVERIFY(chosen != before);
        QCOMPARE(row->valueLabel->text(), QStringLiteral("%1 ms").arg(chosen));
        QCOMPARE(simProperty("box6", VI, 0, "DataInterval"), before);
        row->slider->setSliderDown(false);
        QCOMPARE(sends.count(), 1);
        QCOMPARE(simProperty("box6", VI, 0, "DataInterval"), chosen);
    }

    void failedSetterLeavesItsLabel()
    {
        Surroundings s;
        auto w = openAt(s, box6);
        QVERIFY(w);
        SliderRow *row = w->changeTriggerBox->row;
        const QString shown = row->valueLabel->text();
        QCOMPARE(TindrelSim_detachDevice("box6"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        const int errors = VoltageInputController::sharedErrorCount();
        row->slider->setSliderDown(true);
        row->slider->setValue(row->slider->maximum());
        row->slider->setSliderDown(false);
        QCOMPARE(row->valueLabel->text(), shown);
        QCOMPARE(VoltageInputController::sharedErrorCount(), errors + 1);
        QVERIFY(w->errorEventLogWindow()->isVisible());
    }

    void sensorsConvertByTheirKindAndReportTheirUnit()
    {
        struct Case {
            int code;
            double volts;
            double reading;
            QString symbol;
        };
        const Case cases[] = {
            {40030, 0.75, 25.0, QStringLiteral("\u00b0C")},   // temperature, linear
            {40150, 2.0, 8.0, QStringLiteral("mA")},          // 4-20 mA adapter
            {40160, 1.0, 98.89, QStringLiteral("dB")},        // sound, logarithmic
            {40290, 2.5, 500.0, QStringLiteral("W")},         // active power
        };
        Surroundings s;
        auto w = openAt(s, box6);
        QVERIFY(w);
        for (const Case &c : cases) {
            QCOMPARE(TindrelSim_setInputValue("box6", VI, 0, "Voltage", c.volts), TINDREL_OK);
            chooseSensor(*w, c.code);
            QCOMPARE(simProperty("box6", VI, 0, "SensorType"), static_cast<double>(c.code));
            QTRY_VERIFY_WITH_TIMEOUT(qAbs(simProperty("box6", VI, 0, "SensorValue") - c.reading) < 0.01, deadlineMs);
            const QString expected = voltage::sensorText(simProperty("box6", VI, 0, "SensorValue"), c.symbol);
            QTRY_COMPARE_WITH_TIMEOUT(w->sensorText->text(), expected, deadlineMs);
            // Sensor mode: the reading in the normal colour, the voltage greyed.
            QCOMPARE(w->sensorText->palette().color(QPalette::WindowText),
                     w->palette().color(QPalette::Active, QPalette::WindowText));
        }
        // Outside its input range a sensor reads nothing (unknown).
        QCOMPARE(TindrelSim_setInputValue("box6", VI, 0, "Voltage", 4.9), TINDREL_OK);
        chooseSensor(*w, 40030);
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("box6", VI, 0, "SensorValue"), TINDREL_UNKNOWN_VALUE, deadlineMs);

        // The generic row sends 0 and puts the window in voltage mode.
        chooseSensor(*w, 0);
        QCOMPARE(simProperty("box6", VI, 0, "SensorType"), 0.0);
        QCOMPARE(w->voltageText->palette().color(QPalette::WindowText),
                 w->palette().color(QPalette::Active, QPalette::WindowText));
        QCOMPARE(w->sensorText->palette().color(QPalette::WindowText),
                 w->palette().color(QPalette::Disabled, QPalette::WindowText));
        QTRY_COMPARE_WITH_TIMEOUT(w->voltageText->text(), voltage::voltageText(4.9), deadlineMs);
    }

    void unknownSensorTypeIsRefusedWithItsReason()
    {
        TindrelVoltageInputHandle h = nullptr;
        QCOMPARE(TindrelVoltageInput_create(&h), TINDREL_OK);
        auto ch = reinterpret_cast<TindrelHandle>(h);
        Tindrel_setDeviceSerialNumber(ch, 300545);
        Tindrel_setChannel(ch, 1);
        QCOMPARE(Tindrel_openWaitForAttachment(ch, 5000), TINDREL_OK);
        QCOMPARE(TindrelVoltageInput_setSensorType(h, 12345), TINDREL_EINVALIDARG);
        TindrelReturnCode code = 0;
        const char *description = nullptr;
        char detail[256] = {};
        size_t len = sizeof detail;
        QCOMPARE(Tindrel_getLastError(&code, &description, detail, &len), TINDREL_OK);
        QVERIFY2(QString::fromUtf8(detail).contains(QStringLiteral("not in the voltage sensor list")), detail);
        QCOMPARE(TindrelVoltageInput_setSensorType(h, 40070), TINDREL_OK);
        Tindrel_UnitInfo unit{};
        QCOMPARE(TindrelVoltageInput_getSensorUnit(h, &unit), TINDREL_OK);
        QCOMPARE(unit.unit, TINDREL_UNIT_VOLT);
        QCOMPARE(QString::fromUtf8(unit.symbol), QStringLiteral("V"));
        Tindrel_close(ch);
        TindrelVoltageInput_delete(&h);
    }

    void detachAndReattachKeepTheListsOnce()
    {
        Surroundings s;
        auto w = openAt(s, {"vin92", 300540, -1, 0, "Dual-Range Voltage Input Board"});
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w->voltageText->text().isEmpty(), deadlineMs);
        const int attachedHeight = w->height();
        QCOMPARE(TindrelSim_detachDevice("vin92"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->voltageText->text(), QString());
        QCOMPARE(w->voltageRangeCombo->count(), 0);
        QCOMPARE(w->sensorTypeCombo->count(), 35);
        QVERIFY(!w->dataBox->isVisible());
        QVERIFY(w->height() < attachedHeight);
        QCOMPARE(TindrelSim_attachDevice("vin92"), TINDREL_OK);
        QVERIFY(waitAttached(*w, QStringLiteral("Dual-Range Voltage Input Board")));
        QCOMPARE(items(*w->voltageRangeCombo), (QStringList{"312.5 mV", "40 V"}));
        QCOMPARE(w->sensorTypeCombo->count(), 35);
    }

    void queueStaysBoundedAtTheShortestInterval()
    {
        // Eight windows at 1 ms: 8000 events a second into the main thread.
        std::vector<std::unique_ptr<VoltageInputController>> windows;
        std::vector<std::unique_ptr<Surroundings>> places;
        for (int c = 0; c < 8; ++c) {
            places.push_back(std::make_unique<Surroundings>());
            windows.push_back(openAt(*places.back(), {"box7", 300544, -1, c, "Eight-Port Sensor Box"}));
            QVERIFY(windows.back());
            QTest::keyClick(windows.back()->dataIntervalBox->row->slider, Qt::Key_Home);
            QCOMPARE(simProperty("box7", VI, c, "DataInterval"), 1.0);
        }
        ExampleWindow::resetPostedPeak();
        const auto events = [&] {
            quint64 n = 0;
            for (auto &w : windows)
                n += w->streams().front()->eventCount();
            return n;
        };
        const quint64 start = events();
        QTRY_VERIFY_WITH_TIMEOUT(events() > start + 4000, deadlineMs * 3);
        // At most one drain per window (and the odd attach or error) waits.
        QVERIFY2(ExampleWindow::postedInFlightPeak() <= 3 * static_cast<int>(windows.size()),
                 qPrintable(QString::number(ExampleWindow::postedInFlightPeak())));
        // Displays follow at display rate, not at event rate.
        for (auto &w : windows) {
            const auto &stream = *w->streams().front();
            QVERIFY(stream.displayCount() < stream.eventCount());
        }
    }
};

QTEST_MAIN(VoltageInputTest)
#include "VoltageInputTest.moc"
