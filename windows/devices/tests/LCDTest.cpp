// The text and graphic LCD windows against the simulated displays of the
// default rig: what each action puts on the display is read back from it.
#include "CodePopup.h"
#include "DisplayPreview.h"
#include "GraphicLCDController.h"
#include "SliderRow.h"
#include "TextLCDController.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr int textSerial = 300519, graphicSerial = 300520;

QString shownText(const char *device, int channel)
{
    char buf[512] = {};
    size_t len = sizeof buf;
    if (TindrelSim_getLCDText(device, channel, buf, &len) != TINDREL_OK)
        return QStringLiteral("<unreadable>");
    return QString::fromLatin1(buf);
}

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> dots;
    int at(int x, int y) const { return dots.at(static_cast<size_t>(y * width + x)); }
    int lit(int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                n += at(x, y);
        return n;
    }
};

Frame shownFrame(const char *device, int channel)
{
    Frame f;
    size_t len = 0;
    TindrelSim_getLCDFrame(device, channel, nullptr, &len, &f.width, &f.height);
    f.dots.resize(len);
    if (TindrelSim_getLCDFrame(device, channel, f.dots.data(), &len, &f.width, &f.height) != TINDREL_OK)
        f = Frame{};
    return f;
}

void chooseTitle(CodePopup &popup, const QString &title)
{
    popup.setCurrentIndex(popup.findText(title));
    emit popup.activated(popup.currentIndex());
}

}   // namespace

class LcdWindowsTest : public QObject {
    Q_OBJECT

    template <class W>
    std::unique_ptr<W> openOn(Surroundings &s, int serial, const char *name, int channel = 0)
    {
        s.aimAt(serial, channel);
        auto w = s.open<W>();
        if (!waitAttached(*w, QString::fromLatin1(name)))
            qWarning("%s did not attach", name);
        w->clearErrorLog();   // the count is shared by all windows of the class
        return w;
    }

private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void typingWritesThePaddedRowToASixteenColumnDisplay()
    {
        Surroundings s;
        auto w = openOn<TextLCDController>(s, textSerial, "Character Display Adapter");
        QVERIFY(w->screenSizeCombo->isVisible());
        QCOMPARE(w->screenSizeCombo->count(), 12);
        chooseTitle(*w->screenSizeCombo, QStringLiteral("2x16"));
        QCOMPARE(simProperty("textlcd46", TINDREL_CHCLASS_LCD, 0, "ScreenSize"), 5.0);
        // Two rows: the lower two fields are greyed out.
        QVERIFY(w->inputText[1]->isEnabled());
        QVERIFY(!w->inputText[2]->isEnabled());
        QVERIFY(!w->inputText[3]->isEnabled());
        QTest::keyClicks(w->inputText[1], QStringLiteral("Hi"));
        QCOMPARE(shownText("textlcd46", 0), QStringLiteral("                \nHi              "));
        // A row longer than the display is cut.
        w->inputText[0]->setText(QStringLiteral("0123456789ABCDEFGHIJ"));
        w->rowEdited(0);
        QCOMPARE(shownText("textlcd46", 0), QStringLiteral("0123456789ABCDEF\nHi              "));
        // The other display of the adapter shows nothing of it.
        QVERIFY(!shownText("textlcd46", 1).contains(QLatin1String("Hi")));
        QCOMPARE(w->errorCount(), 0);
    }

    void aDisplayBoardHasNoScreenSizeChoice()
    {
        Surroundings s;
        auto w = openOn<TextLCDController>(s, 300580, "Character Display Board");
        QVERIFY(w->settingsBox->isVisible());
        QVERIFY(!w->screenSizeCombo->isVisible());
        QVERIFY(!w->initButton->isVisible());
        QVERIFY(w->inputText[1]->isEnabled());
        QVERIFY(!w->inputText[2]->isEnabled());
        QTest::keyClicks(w->inputText[0], QStringLiteral("Hi"));
        QCOMPARE(shownText("textlcd88", 0), QStringLiteral("Hi              \n                "));
        QCOMPARE(w->errorCount(), 0);
    }

    void customCharactersAppearAndClearLeavesBlankRows()
    {
        Surroundings s;
        auto w = openOn<TextLCDController>(s, textSerial, "Character Display Adapter");
        w->customCharactersCheck->click();
        const QString rows = shownText("textlcd46", 0);
        QVERIFY2(rows.startsWith(QStringLiteral("Custom \\x0b\\x0a")), qPrintable(rows));
        QVERIFY(rows.contains(QStringLiteral("\nCharacters! \\x0a\\x0b")));
        // The heart's third dot row is fully lit in the cell of column 7.
        const Frame f = shownFrame("textlcd46", 0);
        QCOMPARE(f.width, 20 * 6);
        QCOMPARE(f.lit(7 * 6, 2, 7 * 6 + 4, 2), 5);
        // The smiley's mouth (row 6) in column 8.
        QCOMPARE(f.lit(8 * 6 + 1, 6, 8 * 6 + 3, 6), 3);
        w->customCharactersCheck->click();
        QVERIFY(!shownText("textlcd46", 0).contains(QLatin1String("Custom")));
        w->inputText[0]->setText(QStringLiteral("x"));
        w->clearButton->click();
        QVERIFY(w->inputText[0]->text().isEmpty());
        QCOMPARE(shownText("textlcd46", 0).trimmed(), QString());
    }

    void slidersAndCursorReachTheDisplay()
    {
        Surroundings s;
        auto w = openOn<TextLCDController>(s, textSerial, "Character Display Adapter");
        w->contrastSlider->setValue(0.75);
        emit w->contrastSlider->valueChosen(0.75);
        w->cursorCheck->click();
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("textlcd46", TINDREL_CHCLASS_LCD, 0, "CursorOn"), 1.0, deadlineMs);
        w->setCursorBlink(true);
        QCOMPARE(simProperty("textlcd46", TINDREL_CHCLASS_LCD, 0, "CursorBlink"), 1.0);
    }

    void graphicBasicDrawingShowsTextLinesAndThePixel()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        w->basicButton->click();
        const Frame f = shownFrame("graphiclcd87", 0);
        QCOMPARE(f.width, 128);
        QCOMPARE(f.height, 64);
        QCOMPARE(f.at(64, 32), 1);
        QVERIFY(f.lit(0, 0, 127, 11) > 20);   // the boldface caption
        QVERIFY(f.lit(0, 13, 53, 22) > 60);   // six user-font A's
        QCOMPARE(f.lit(20, 35, 30, 45) > 100, true);
        QCOMPARE(w->errorCount(), 0);
        // Saved frame buffer 2 comes back after clearing.
        w->saveButton->click();
        w->clearButton->click();
        QCOMPARE(shownFrame("graphiclcd87", 0).lit(0, 0, 127, 63), 0);
        w->loadButton->click();
        QCOMPARE(shownFrame("graphiclcd87", 0).at(64, 32), 1);
        QCOMPARE(w->errorCount(), 0);
    }

    // The preview shows the display as it looks: drawn dots darker than the
    // background, and all of it dark without backlight.
    void previewShowsTheDisplayThroughItsContrastAndBacklight()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        w->basicButton->click();
        QVERIFY(w->preview->hasPicture());
        const Frame f = shownFrame("graphiclcd87", 0);
        QCOMPARE(w->preview->picture().size(), QSize(f.width, f.height));
        QCOMPARE(f.at(64, 32), 1);
        QCOMPARE(f.at(127, 63), 0);
        const QRgb drawn = w->preview->picture().pixel(64, 32), background = w->preview->picture().pixel(127, 63);
        QVERIFY(qGreen(drawn) + 20 < qGreen(background));
        // More contrast: the drawing darker, the background as bright.
        w->contrastSlider->setValue(0.5);
        emit w->contrastSlider->valueChosen(0.5);
        QTRY_VERIFY_WITH_TIMEOUT(w->preview->picture().pixel(64, 32) == qRgb(0, 0, 0), deadlineMs);
        QCOMPARE(w->preview->picture().pixel(127, 63), background);
        w->backlightSlider->setValue(0);
        emit w->backlightSlider->valueChosen(0);
        QTRY_VERIFY_WITH_TIMEOUT(w->preview->picture().pixel(127, 63) == qRgb(0, 0, 0), deadlineMs);
        QCOMPARE(w->errorCount(), 0);
        // A picture smaller than its size shows nothing rather than reading past it.
        QVERIFY(lcdPreviewImage(ReadBackFrame{4, 4, std::vector<uint8_t>(15, 255)}).isNull());
        QCOMPARE(lcdPreviewImage(ReadBackFrame{2, 1, {0, 255}}).pixel(0, 0), qRgb(0, 0, 0));
    }

    // A window closed at the quit stays until the program ends; its preview
    // must not read the channel it let go (it did, from a freed handle).
    void aClosedWindowsPreviewLetsItsChannelGo()
    {
        Surroundings s;
        auto text = openOn<TextLCDController>(s, textSerial, "Character Display Adapter");
        auto graphic = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        graphic->basicButton->click();
        text->inputText[0]->setText(QStringLiteral("Hi"));
        text->rowEdited(0);
        for (DisplayPreview *preview : {text->preview, graphic->preview})
            QTRY_VERIFY_WITH_TIMEOUT(preview->hasPicture(), deadlineMs);
        text->close();
        graphic->close();
        QTRY_VERIFY_WITH_TIMEOUT(!text->preview->hasPicture(), deadlineMs);
        QVERIFY(!graphic->preview->hasPicture());
    }

    void sleepButtonPutsTheDisplayToSleepAndWakesIt()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        w->sleepButton->click();
        QCOMPARE(w->sleepButton->text(), QStringLiteral("Wake Up"));
        QCOMPARE(simProperty("graphiclcd87", TINDREL_CHCLASS_LCD, 0, "Sleeping"), 1.0);
        w->sleepButton->click();
        QCOMPARE(w->sleepButton->text(), QStringLiteral("Sleep"));
        QCOMPARE(simProperty("graphiclcd87", TINDREL_CHCLASS_LCD, 0, "Sleeping"), 0.0);
    }

    void asyncFailuresAreLoggedAndSuccessesAreNot()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        w->asyncButton->click();
        QTest::qWait(50);
        QCOMPARE(w->errorCount(), 0);
        w->asyncHandler(QVariant(static_cast<int>(TINDREL_EINVALIDARG)));
        QCOMPARE(w->errorCount(), 1);
        QVERIFY(w->errorEventLogWindow()->errorEventLog->toPlainText().contains(
            QStringLiteral("Async error occured: 0x15 - ")));
        // The horizontal lines of the drawing reach the display.
        QTRY_VERIFY_WITH_TIMEOUT(shownFrame("graphiclcd87", 0).lit(0, 16, 127, 16) > 100, deadlineMs);
    }

    void everyFailedDrawingCallIsLoggedEvenAsynchronousOnes()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        QCOMPARE(TindrelSim_failCalls(1, 3), TINDREL_OK);
        const int before = w->errorCount();
        for (QPushButton *b : {w->basicButton, w->asyncButton, w->asyncTextButton})
            b->click();
        // The text writer stops at its first refused write and logs it.
        w->randomTextButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->randomTextRunning(), deadlineMs);
        const auto failed = static_cast<int>(TindrelSim_failedCalls(TINDREL_CHCLASS_LCD, TINDRELSIM_CALLS_ALL));
        QTRY_COMPARE_WITH_TIMEOUT(w->errorCount() - before, failed, deadlineMs);
        QCOMPARE(TindrelSim_failCalls(0, 0), TINDREL_OK);
        QVERIFY(w->errorEventLogWindow()->errorEventLog->toPlainText().contains(QStringLiteral("Async error occured")));

        auto t = openOn<TextLCDController>(s, textSerial, "Character Display Adapter");
        QCOMPARE(TindrelSim_failCalls(1, 3), TINDREL_OK);
        const int textBefore = t->errorCount();
        t->customCharactersCheck->click();
        QCOMPARE(t->errorCount() - textBefore,
                 static_cast<int>(TindrelSim_failedCalls(TINDREL_CHCLASS_LCD, TINDRELSIM_CALLS_ALL)));
        QCOMPARE(TindrelSim_failCalls(0, 0), TINDREL_OK);
    }

    // The asynchronous text sizes user font 1 down to 1 x 10 and gives it
    // 10-byte characters; after the basic drawing made it 9 x 10, a failed
    // resize had those 10 bytes read as 90 (the sanitizer build sees it).
    void aFontThatWasNotResizedGetsNoBitmapsOfTheNewSize()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        uint64_t failed = 0;
        for (uint32_t seed = 1; seed <= 120; ++seed) {
            QCOMPARE(TindrelSim_failCalls(0, 0), TINDREL_OK);
            w->basicButton->click();
            QCOMPARE(TindrelSim_failCalls(0.5, seed), TINDREL_OK);
            w->asyncTextButton->click();
            failed += TindrelSim_failedCalls(TINDREL_CHCLASS_LCD, TINDRELSIM_CALLS_CHANGES);
        }
        QCOMPARE(TindrelSim_failCalls(0, 0), TINDREL_OK);
        // Calls failed, and the window logged them.
        QVERIFY(failed > 100);
        QTRY_VERIFY_WITH_TIMEOUT(w->errorCount() > 100, deadlineMs);
    }

    void randomTextWriterStartsStopsAndEndsWithTheWindow()
    {
        Surroundings s;
        auto w = openOn<GraphicLCDController>(s, graphicSerial, "Pixel Display 128x64");
        w->randomTextButton->click();
        QVERIFY(w->randomTextRunning());
        QTRY_VERIFY_WITH_TIMEOUT(w->randomTextWrites() > 10, deadlineMs);
        w->randomTextButton->click();
        QVERIFY(!w->randomTextRunning());
        const quint64 stopped = w->randomTextWrites();
        QTest::qWait(30);
        QCOMPARE(w->randomTextWrites(), stopped);
        // A third click starts a new writer; closing the window ends it.
        w->randomTextButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->randomTextWrites() > 0, deadlineMs);
        QTRY_VERIFY_WITH_TIMEOUT(shownFrame("graphiclcd87", 0).lit(0, 0, 127, 63) > 0, deadlineMs);
        w->close();
        QVERIFY(!w->randomTextRunning());
        QVERIFY(!w->hasChannel());
        const quint64 closed = w->randomTextWrites();
        QTest::qWait(30);
        QCOMPARE(w->randomTextWrites(), closed);
    }
};

QTEST_MAIN(LcdWindowsTest)
#include "LCDTest.moc"
