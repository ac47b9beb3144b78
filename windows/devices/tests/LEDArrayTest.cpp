// The LED array window against the default rig's LED strip: colours and
// patterns are read back from the simulated LEDs after their fade.
#include "CodePopup.h"
#include "DisplayPreview.h"
#include "LEDArrayController.h"
#include "WindowTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr int ledSerial = 300518;

struct Rgbw {
    int r, g, b, w;
    bool operator==(const Rgbw &) const = default;
};

std::vector<Rgbw> shownLeds()
{
    size_t count = 0;
    TindrelSim_getLEDColors("leds154", 0, nullptr, &count);
    std::vector<uint8_t> raw(count * 4);
    if (TindrelSim_getLEDColors("leds154", 0, raw.data(), &count) != TINDREL_OK)
        return {};
    std::vector<Rgbw> out;
    for (size_t i = 0; i < count; ++i)
        out.push_back({raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]});
    return out;
}

Rgbw led(size_t i)
{
    const auto all = shownLeds();
    return i < all.size() ? all[i] : Rgbw{-1, -1, -1, -1};
}

}   // namespace

class LedArrayWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LEDArrayController> open(Surroundings &s)
    {
        s.aimAt(ledSerial);
        auto w = s.open<LEDArrayController>();
        if (!waitAttached(*w, QStringLiteral("Addressable LED Strip Driver")))
            qWarning("LED strip did not attach");
        w->clearErrorLog();   // the count is shared by all windows of the class
        return w;
    }

private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void attachShowsDisplayDefaultsWithoutSendingThem()
    {
        Surroundings s;
        auto w = open(s);
        QVERIFY(w->configBox->isVisible());
        QCOMPARE(w->colorOrderCmb->currentText(), QStringLiteral("GRB"));
        QCOMPARE(w->gammaTxt->text(), QStringLiteral("2.2"));
        QCOMPARE(w->brightnessTrk->value(), 5);
        // The device keeps its own brightness until the user moves the slider.
        QCOMPARE(simProperty("leds154", TINDREL_CHCLASS_LEDARRAY, 0, "Brightness"), 1.0);
    }

    void windowTakesItsFixedSizesKeepingItsCorner()
    {
        Surroundings s;
        auto w = open(s);
        QCOMPARE(w->frameGeometry().size(), QSize(538, 625));
        const QPoint corner = w->pos();
        w->tabs->setCurrentIndex(1);
        QCOMPARE(w->size(), QSize(538, 800));
        QCOMPARE(w->pos(), corner);
        w->tabs->setCurrentIndex(0);
        QCOMPARE(w->size(), QSize(538, 625));
        QCOMPARE(TindrelSim_detachDevice("leds154"), TINDREL_OK);
        QVERIFY(waitDetached(*w));
        QCOMPARE(w->size(), QSize(538, 125));
        QCOMPARE(w->pos(), corner);
    }

    void basicColourPaintsTheRangeThroughGammaAndBrightness()
    {
        Surroundings s;
        auto w = open(s);
        w->startAddressField->setValue(5);
        w->endAddressField->setValue(2);   // below the start: the start alone
        w->basicColorPicked(QColor::fromRgbF(1, 1, 1));
        QCOMPARE(w->colorHexBox->text(), QStringLiteral("#FFFFFF"));
        QCOMPARE(led(5), (Rgbw{255, 255, 255, 0}));
        QCOMPARE(led(4), (Rgbw{0, 0, 0, 0}));
        QCOMPARE(led(6), (Rgbw{0, 0, 0, 0}));
        // Half brightness, gamma 1.0: a half-lit red shows a quarter.
        w->brightnessTrk->setValue(50);
        w->gammaTrk->setValue(10);
        QCOMPARE(w->gammaTxt->text(), QStringLiteral("1.0"));
        w->startAddressField->setValue(0);
        w->endAddressField->setValue(1);
        w->basicColorPicked(QColor(128, 0, 0));
        QCOMPARE(led(1).r, 64);
        // The window's preview shows what the LEDs show, one dot per LED.
        QTRY_VERIFY_WITH_TIMEOUT(w->preview->hasPicture() && qRed(w->preview->picture().pixel(1, 0)) == 64, deadlineMs);
        QCOMPARE(w->preview->picture().pixel(4, 0), qRgb(0, 0, 0));
        QCOMPARE(w->preview->picture().pixel(5, 0), qRgb(128, 128, 128));
        // Gamma 2.0 darkens the middle.
        w->gammaTrk->setValue(20);
        QCOMPARE(led(1).r, 32);
        // Power off: dark; the title follows.
        QCOMPARE(w->powerBtn->text(), QStringLiteral("Power Off"));
        w->powerBtn->click();
        QCOMPARE(w->powerBtn->text(), QStringLiteral("Power On"));
        w->powerBtn->click();
        QCOMPARE(w->powerBtn->text(), QStringLiteral("Power Off"));
        QCOMPARE(simProperty("leds154", TINDREL_CHCLASS_LEDARRAY, 0, "PowerEnabled"), 0.0);
        QCOMPARE(led(1), (Rgbw{0, 0, 0, 0}));
        w->powerBtn->click();
        w->clearBtn->click();
        QCOMPARE(led(5), (Rgbw{0, 0, 0, 0}));
        QCOMPARE(w->errorCount(), 0);
    }

    void patternIsSentByRowIndexAndFadesIn()
    {
        Surroundings s;
        auto w = open(s);
        w->brightnessTrk->setValue(100);
        w->gammaTrk->setValue(10);
        for (int i = 0; i < 3; ++i)
            w->addPatternRow();
        QCOMPARE(w->patternBuilderTable->rowCount(), 3);
        w->setPatternColor(0, Qt::red);
        w->setPatternColor(1, Qt::green);
        w->setPatternColor(2, Qt::blue);
        // Remove row 1 and add: indexes 0, 2, 2.
        w->patternBuilderTable->setCurrentCell(1, 0);
        w->patternRemoveRow->click();
        w->addPatternRow();
        QCOMPARE(w->patternBuilderTable->item(2, 0)->text(), QStringLiteral("2"));
        w->setPatternColor(2, Qt::white);
        w->advStarAddr->setValue(0);
        w->advEndAddress->setValue(2);
        // A minute's fade: the LEDs are still far from their colour.
        w->fadeTimeTxt->setValue(60000);
        w->sendPatternBtn->click();
        QVERIFY(led(0).r < 128);
        QCOMPARE(led(0).g, 0);
        // Sent again without a fade, they take it at once.
        w->fadeTimeTxt->setValue(0);
        w->sendPatternBtn->click();
        QCOMPARE(led(0), (Rgbw{255, 0, 0, 0}));
        QCOMPARE(led(1), (Rgbw{0, 0, 0, 0}));
        QCOMPARE(led(2), (Rgbw{255, 255, 255, 0}));
        QCOMPARE(w->errorCount(), 0);
    }

    void refusedCallsLandInTheLog()
    {
        Surroundings s;
        auto w = open(s);
        w->startAddressField->setMaximum(5000);
        w->endAddressField->setMaximum(5000);
        w->startAddressField->setValue(4000);
        w->endAddressField->setValue(4001);
        w->basicColorPicked(Qt::red);
        QCOMPARE(w->errorCount(), 1);
    }
};

QTEST_MAIN(LedArrayWindowTest)
#include "LEDArrayTest.moc"
