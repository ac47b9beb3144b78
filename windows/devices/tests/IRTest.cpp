// The infrared window: the record and raw-log texts, a code learned on one
// transceiver sent from another, and the raw replay's worker ending with
// the window.
#include "CommsLogic.h"
#include "ErrorEventLog.h"
#include "IRController.h"
#include "WindowLogic.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tindrel;
using namespace tindrel::comms;
using namespace tindrel::testing;

namespace {
constexpr int remoteSerial = 300523;    // ir53
constexpr int learnerSerial = 300560;   // ir56, hears its own transmitter
const QString remoteName = QStringLiteral("Infrared Remote Transceiver");
const QString learnerName = QStringLiteral("Infrared Learning Transceiver");
}   // namespace

class IRTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }

    void recordTexts()
    {
        Tindrel_IRCodeInfo info{};
        info.bitCount = 12;
        info.toggleMask[0] = static_cast<char>(0xfe);
        info.toggleMask[1] = 0x01;
        info.repeat[0] = 9000;
        info.repeat[1] = 4500;
        QCOMPARE(irToggleMaskText(info), QStringLiteral("0xfe"));
        info.bitCount = 7;
        QCOMPARE(irToggleMaskText(info), QStringLiteral("0x"));
        // A bit count larger than the record's mask shows only what it holds.
        info.bitCount = 100000;
        QCOMPARE(irToggleMaskText(info).size(), 2 + 2 * 33);
        QCOMPARE(irRepeatText(info), QStringLiteral("9000,4500,"));
        info.repeat[0] = 0;
        QCOMPARE(irRepeatText(info), QString());
        QCOMPARE(irEncodingText(5), QStringLiteral("RC5"));
        QCOMPARE(irEncodingText(7), QStringLiteral("Error"));
        QCOMPARE(irLengthText(2), QStringLiteral("Constant"));
        QCOMPARE(irLengthText(3), QStringLiteral("Variable"));
    }

    void rawLogAndReplaySegments()
    {
        IRRawLog log;
        QCOMPARE(log.append({500, 600, irLongGap, 700}), QStringLiteral("       500,       600,\n\nLONG\n       700,"));
        QCOMPARE(log.recording(), std::vector<std::uint32_t>{700});

        IRRawLog lines;
        std::vector<std::uint32_t> ten(10, 1);
        QString text = lines.append(ten);
        text += lines.append({2});
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
        QVERIFY2(text.endsWith(QStringLiteral("         1\n         2,")), qPrintable(text));

        IRRawLog gaps;
        QCOMPARE(gaps.append({400, 120000, 300}), QStringLiteral("       400,\n\n    120000\n       300,"));
        QCOMPARE(irReplaySegments(gaps.recording()), (std::vector<IRSegment>{{{400}, 120000}, {{300}, irFinalGap}}));
        // A segment ending in a space: the space joins the gap, so the
        // transmitter gets a signal that ends with a mark.
        QCOMPARE(irReplaySegments({500, 600, 60000, 700, 800}),
                 (std::vector<IRSegment>{{{500}, 60600}, {{700}, irFinalGap + 800}}));
        gaps.clearRecording();
        QCOMPARE(irReplaySegments(gaps.recording()), (std::vector<IRSegment>{{{}, irFinalGap}}));

        // A full recording starts again from the beginning.
        IRRawLog full;
        full.append(std::vector<std::uint32_t>(irRecordingSize + 3, 10));
        QCOMPARE(full.count(), std::size_t{3});
    }

    void learnedOnOneChannelSentFromAnother()
    {
        Surroundings s;
        s.aimAt(remoteSerial);
        auto remote = s.open<IRController>();
        s.aimAt(learnerSerial);
        auto learner = s.open<IRController>();
        QVERIFY(waitAttached(*remote, remoteName));
        QVERIFY(waitAttached(*learner, learnerName));
        QVERIFY(remote->codeBox->isVisible());
        QVERIFY(remote->learnBox->isVisible());
        QVERIFY(!remote->retransmitButton->isEnabled());

        // The remote's button: a code, repeats counted, then learned.
        QTRY_VERIFY_WITH_TIMEOUT(remote->irCode0Text->text().startsWith(QStringLiteral("0x")), deadlineMs);
        QCOMPARE(remote->bitLength0Text->text(), QStringLiteral("32"));
        QTRY_VERIFY_WITH_TIMEOUT(remote->retransmitButton->isEnabled(), deadlineMs);
        QVERIFY(remote->repeatCount() >= 2);
        QCOMPARE(remote->encodingText->text(), QStringLiteral("Space"));
        QCOMPARE(remote->headerText->text(), QStringLiteral("9000,4500"));
        QCOMPARE(remote->repeatText->text(), QStringLiteral("9000,2250,560,"));
        const QString learnedByRemote = remote->irCode1Text->text();

        // Sent again from the remote's transceiver: the other one receives
        // and learns it.
        learner->showRawDataCheck->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(learner->irCode1Text->text() != learnedByRemote, deadlineMs);
        remote->retransmitButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(learner->irCode1Text->text(), learnedByRemote, deadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(learner->irCode0Text->text(), learnedByRemote, deadlineMs);
        QVERIFY(learner->retransmitButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(learner->transmitRawDataButton->isEnabled(), deadlineMs);
        QVERIFY(learner->rawDataLog->toPlainText().contains(QStringLiteral("      9000,      4500,")));

        // The learner hears its own transmitter: sending what it learned
        // shows it as received again.
        learner->irCode0Text->clear();
        learner->retransmitButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(learner->irCode0Text->text(), learnedByRemote, deadlineMs);
        QCOMPARE(remote->errorCount() + learner->errorCount(), 0);
    }

    // Every infrared, tag reader and position channel of the default rig
    // opens its working window the way the panel's double-click does.
    void everyCommunicationChannelOpensItsWindow()
    {
        const auto rig = QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object();
        const WindowRegistry registry = WindowRegistry::standard();
        int opened = 0;
        for (const auto &d : rig.value(QStringLiteral("devices")).toArray()) {
            const QJsonObject device = d.toObject();
            if (device.contains(QStringLiteral("server")))
                continue;
            for (const auto &c : device.value(QStringLiteral("channels")).toArray()) {
                const QString cls = c.toObject().value(QStringLiteral("class")).toString();
                if (cls != QStringLiteral("IR") && cls != QStringLiteral("RFID") && cls != QStringLiteral("GPS"))
                    continue;
                const auto *entry =
                    registry.findWindowForm(windowNameForChannel(QStringLiteral("Tindrel") + cls, 0, 1));
                QVERIFY2(entry, qPrintable(cls));
                Surroundings s;
                s.aimAt(device.value(QStringLiteral("serial")).toInt());
                std::unique_ptr<ExampleWindow> w(entry->make());
                w->setUp(s.env());
                w->show();
                QVERIFY2(waitAttached(*w, device.value(QStringLiteral("name")).toString()), qPrintable(cls));
                QCOMPARE(w->errorCount(), 0);
                ++opened;
            }
        }
        QVERIFY(opened >= 6);
    }

    void rawReplayEndsWhenTheWindowCloses()
    {
        Surroundings s;
        s.aimAt(remoteSerial);
        auto w = s.open<IRController>();
        QVERIFY(waitAttached(*w, remoteName));
        const int width = w->width();
        w->showRawDataCheck->setChecked(true);
        QVERIFY(w->rawDataBox->isVisible());
        QVERIFY(w->width() >= width + IRController::rawBoxWidth);
        QTRY_VERIFY_WITH_TIMEOUT(w->rawLog().count() > 100, deadlineMs);
        QVERIFY(w->transmitRawDataButton->isEnabled());

        // Clear empties the log and the recording.
        w->clearButton->click();
        QVERIFY(w->rawDataLog->toPlainText().isEmpty());
        QCOMPARE(w->rawLog().count(), std::size_t{0});
        QVERIFY(!w->transmitRawDataButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w->rawLog().count() > 100, deadlineMs);

        // The simulated transceiver counts what it sends; the replay sends,
        // and once the window has closed nothing more goes out, not even
        // in the time the whole replay would have taken.
        const auto sent = [] {
            uint64_t n = 0;
            return TindrelSim_getIRSignalsSent("ir53", 0, &n) == TINDREL_OK ? n : ~uint64_t{0};
        };
        const uint64_t before = sent();
        QVERIFY(before != ~uint64_t{0});
        std::uint64_t replayUs = 0;
        for (const IRSegment &segment : irReplaySegments(w->rawLog().recording())) {
            replayUs += segment.gap;
            for (std::uint32_t d : segment.durations)
                replayUs += d;
        }
        w->transmitRawDataButton->click();
        QVERIFY(w->replaying());
        QTRY_VERIFY_WITH_TIMEOUT(sent() > before, deadlineMs);
        w.reset();   // closes: the worker stops before the channel goes
        const uint64_t atClose = sent();
        QTest::qWait(static_cast<int>(replayUs / 1000) + 500);
        QCOMPARE(sent(), atClose);
        // Unchecking narrows the window again.
        auto again = s.open<IRController>();
        QVERIFY(waitAttached(*again, remoteName));
        again->showRawDataCheck->setChecked(true);
        const int widened = again->width();
        again->showRawDataCheck->setChecked(false);
        QVERIFY(!again->rawDataBox->isVisible());
        QVERIFY(again->width() < widened);
    }

    void replayFinishesAndCanRunAgain()
    {
        Surroundings s;
        s.aimAt(remoteSerial);
        auto w = s.open<IRController>();
        QVERIFY(waitAttached(*w, remoteName));
        w->showRawDataCheck->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(w->transmitRawDataButton->isEnabled(), deadlineMs);
        const auto segments = irReplaySegments(w->rawLog().recording()).size();
        w->transmitRawDataButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->replaying(), deadlineMs);
        QCOMPARE(static_cast<std::size_t>(w->replayedSegments()), segments);
        w->transmitRawDataButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->replaying(), deadlineMs);
        QVERIFY2(w->errorCount() == 0,
                 w->errorEventLogWindow() ? qPrintable(w->errorEventLogWindow()->errorEventLog->toPlainText()) : "");
    }
};

QTEST_MAIN(IRTest)
#include "IRTest.moc"
