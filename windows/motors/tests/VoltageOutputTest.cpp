// The voltage output window against simulated outputs: its device
// branches, the range switch, the enable button and the output voltage.
#include "MotorTestSupport.h"
#include "VoltageOutputController.h"

#include <QPushButton>

#include <utility>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

const char *const rig = R"({
  "devices": [
    {"id": "v76", "deviceId": 76, "class": 2, "serial": 7600, "name": "Output 76", "channels": [{"class": "VoltageOutput"}]},
    {"id": "v77", "deviceId": 77, "class": 2, "serial": 7700, "name": "Output 77",
     "channels": [{"class": "VoltageOutput", "properties": {"VoltageOutputRange": 2}, "ranges": {"Voltage": [0, 5]}}]},
    {"id": "v75", "deviceId": 75, "class": 2, "serial": 7500, "name": "Output 75",
     "channels": [{"class": "VoltageOutput", "properties": {"Enabled": 0}, "ranges": {"Voltage": [0, 5]}}]},
    {"id": "v4", "deviceId": 4, "class": 2, "serial": 400, "name": "Output 4", "channels": [{"class": "VoltageOutput"}]},
    {"id": "v125", "deviceId": 125, "class": 2, "serial": 12500, "name": "Output 125",
     "channels": [{"class": "VoltageOutput", "properties": {"Voltage": 1.5}}]}
  ]
})";

constexpr auto VO = TINDREL_CHCLASS_VOLTAGEOUTPUT;

}   // namespace

class VoltageOutputWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(loadRig(rig)); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void boxesFollowTheDevice()
    {
        struct Case {
            int serial;
            const char *name;
            bool rangeSwitch, enable;
        };
        const Case cases[] = {{7600, "Output 76", true, false},
                              {7700, "Output 77", true, false},
                              {7500, "Output 75", false, true},
                              {400, "Output 4", false, true},
                              {12500, "Output 125", false, false}};
        for (const Case &c : cases) {
            Surroundings s;
            auto w = openOn<VoltageOutputController>(s, c.serial, c.name);
            QVERIFY2(w->outputBox->isVisible(), c.name);
            QVERIFY2(w->outputModeBox->isVisible() == c.rangeSwitch, c.name);
            QVERIFY2(w->outputEnableBox->isVisible() == c.enable, c.name);
        }
        Surroundings s;
        auto w = openOn<VoltageOutputController>(s, 12500, "Output 125");
        QCOMPARE(w->voltageOutputSlider->valueLabel->text(), QStringLiteral("1.50 V"));
        QCOMPARE(w->voltageOutputSlider->minLabel->text(), QStringLiteral("-10.00"));
        QVERIFY(TindrelSim_detachDevice("v125") == TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->voltageOutputSlider->valueLabel->text(), QString());
        QVERIFY(!w->outputBox->isVisible());
    }

    void attachedWindowTakesItsFullHeightWhicheverBoxesShow()
    {
        Surroundings s;
        int collapsed = 0;
        auto plain = openOn<VoltageOutputController>(s, 12500, "Output 125", 0, &collapsed);
        QVERIFY(plain->height() > collapsed);
        // Every device's window is as tall, whether its range or enable box shows or neither.
        for (const auto &[serial, name] : {std::pair{7600, "Output 76"}, std::pair{7500, "Output 75"}}) {
            Surroundings other;
            auto w = openOn<VoltageOutputController>(other, serial, name);
            QCOMPARE(w->height(), plain->height());
        }
        QVERIFY(!plain->outputModeBox->isVisible());
        QVERIFY(!plain->outputEnableBox->isVisible());
        QVERIFY(TindrelSim_detachDevice("v125") == TINDREL_OK);
        QVERIFY(waitDetached(*plain));
        QCOMPARE(plain->height(), collapsed);
    }

    void rangeSwitchSendsTheOtherRangeAndTakesItsLimits()
    {
        Surroundings s;
        auto w = openOn<VoltageOutputController>(s, 7700, "Output 77");
        QCOMPARE(w->voltageModeButton->text(), QStringLiteral("Switch to 10V"));
        QCOMPARE(w->voltageOutputSlider->maximum(), 5.0);
        w->voltageModeButton->click();
        QCOMPARE(simProperty("v77", VO, 0, "VoltageOutputRange"), 1.0);
        QCOMPARE(w->voltageModeButton->text(), QStringLiteral("Switch to 5V"));
        QCOMPARE(w->voltageOutputSlider->minimum(), -10.0);
        QCOMPARE(w->voltageOutputSlider->maxLabel->text(), QStringLiteral("10.00"));
        w->voltageModeButton->click();
        QCOMPARE(simProperty("v77", VO, 0, "VoltageOutputRange"), 2.0);
        QCOMPARE(w->voltageModeButton->text(), QStringLiteral("Switch to 10V"));
        QCOMPARE(w->voltageOutputSlider->minimum(), 0.0);
    }

    void outputReadsBackWhatItWasSetTo()
    {
        Surroundings s;
        auto w = openOn<VoltageOutputController>(s, 7600, "Output 76");
        choose(*w->voltageOutputSlider, 2.5);
        const double set = simProperty("v76", VO, 0, "Voltage");
        QVERIFY(std::abs(set - 2.5) < 0.05);
        QCOMPARE(w->voltageOutputSlider->valueLabel->text(), formatNumber("%0.2f V", set));
        double read = 0;
        QCOMPARE(TindrelSim_getPropertyValue("v76", VO, 0, "Voltage", &read), TINDREL_OK);
        QCOMPARE(read, set);
    }

    void enableButtonTogglesTheOutput()
    {
        Surroundings s;
        auto w = openOn<VoltageOutputController>(s, 7500, "Output 75");
        QCOMPARE(w->enableButton->text(), QStringLiteral("Enable"));
        QVERIFY(!w->enableButton->isChecked());
        w->enableButton->click();
        QCOMPARE(simProperty("v75", VO, 0, "Enabled"), 1.0);
        QCOMPARE(w->enableButton->text(), QStringLiteral("Disable"));
        QVERIFY(w->enableButton->isChecked());
        w->enableButton->click();
        QCOMPARE(simProperty("v75", VO, 0, "Enabled"), 0.0);
        QCOMPARE(w->enableButton->text(), QStringLiteral("Enable"));
    }
};

QTEST_MAIN(VoltageOutputWindowTest)
#include "VoltageOutputTest.moc"
