// The capacitive touch window: touches and their ends in order, and the
// sensitivity of the boards that have one.
#include "CapacitiveTouchController.h"
#include "SliderRow.h"
#include "WindowTestSupport.h"

#include <QSlider>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "keys", "deviceId": 61, "class": 2, "serial": 6100, "name": "Keypad",
     "channels": [{"class": "CapacitiveTouch", "properties": {"Sensitivity": 0.25}}]},
    {"id": "pad", "deviceId": 116, "class": 2, "serial": 11600, "name": "Touch Pad",
     "channels": [{"class": "CapacitiveTouch"}]}
  ]
})";

std::unique_ptr<CapacitiveTouchController> openOn(Surroundings &s, int serial, const char *name)
{
    s.aimAt(serial);
    auto w = s.open<CapacitiveTouchController>();
    if (!waitAttached(*w, QString::fromLatin1(name)))
        qWarning("%s did not attach", name);
    return w;
}

// The touch streams' events as the window took them in.
class Recorder : public EventSink {
public:
    void takeEvent(const EventSample &sample) override { streams.push_back(sample.stream); }
    std::vector<int> streams;
};

}   // namespace

class CapacitiveTouchWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void touchesAndTheirEndsArriveInOrder()
    {
        Surroundings s;
        auto w = openOn(s, 11600, "Touch Pad");
        Recorder seen;
        w->addEventSink(&seen);
        QCOMPARE(w->touchInputValueText->text(), QStringLiteral("?"));
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(TindrelSim_setInputValue("pad", TINDREL_CHCLASS_CAPACITIVETOUCH, 0, "TouchValue", 0.9),
                     TINDREL_OK);
            QTRY_COMPARE_WITH_TIMEOUT(w->stateText->text(), QStringLiteral("T"), deadlineMs);
            QCOMPARE(w->touchInputValueText->text(), QStringLiteral("0.900"));
            QCOMPARE(TindrelSim_setInputValue("pad", TINDREL_CHCLASS_CAPACITIVETOUCH, 0, "TouchValue", 0.0),
                     TINDREL_OK);
            QTRY_COMPARE_WITH_TIMEOUT(w->stateText->text(), QStringLiteral("F"), deadlineMs);
        }
        // Touch (stream 0) and end (stream 1) alternate, starting with a touch.
        QVERIFY(seen.streams.size() >= 6);
        for (std::size_t i = 0; i < seen.streams.size(); ++i)
            QCOMPARE(seen.streams[i], static_cast<int>(i % 2));
        QVERIFY(w->stateBox->palette().color(QPalette::Window) == Qt::black);
        w->removeEventSink(&seen);

        QCOMPARE(TindrelSim_detachDevice("pad"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->touchInputValueText->text(), QStringLiteral("?"));
        QVERIFY(!w->dataBox->isVisible());
    }

    void keypadsHaveASensitivityOtherPadsDoNot()
    {
        Surroundings s;
        auto keys = openOn(s, 6100, "Keypad");
        auto pad = openOn(s, 11600, "Touch Pad");
        QVERIFY(keys->extraSettingsBox->isVisible());
        QVERIFY(!pad->extraSettingsBox->isVisible());
        QVERIFY(pad->height() < keys->height());
        SliderRow &sensitivity = *keys->extraSettingsBox->row;
        QCOMPARE(sensitivity.valueLabel->text(), QStringLiteral("0.25"));
        QCOMPARE(sensitivity.minLabel->text(), QStringLiteral("0"));
        QCOMPARE(sensitivity.maxLabel->text(), QStringLiteral("1"));
        sensitivity.slider->setSliderDown(true);
        sensitivity.slider->setValue(sensitivity.slider->maximum());
        QCOMPARE(simProperty("keys", TINDREL_CHCLASS_CAPACITIVETOUCH, 0, "Sensitivity"), 1.0);
        sensitivity.slider->setSliderDown(false);
        QCOMPARE(sensitivity.valueLabel->text(), QStringLiteral("1.000"));
        QCOMPARE(keys->changeTriggerBox->row->valueLabel->text(), QStringLiteral("0.000"));
        QCOMPARE(keys->dataIntervalBox->row->valueLabel->text(), QStringLiteral("100 ms"));
    }
};

QTEST_MAIN(CapacitiveTouchWindowTest)
#include "CapacitiveTouchTest.moc"
