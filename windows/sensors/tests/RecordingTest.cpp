// The plot and the recording of a fast voltage input: every event reaches
// both, an unwritable file is reported, and a program killed while it
// records leaves a file of whole lines.
#include "EventRecorder.h"
#include "PlotWindow.h"
#include "VoltageInputController.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTextEdit>

#include <csignal>
#include <iostream>
#include <sys/resource.h>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

constexpr int box7Serial = 300544;

std::unique_ptr<VoltageInputController> openFast(Surroundings &s, int channel)
{
    s.aimAt(box7Serial, channel);
    auto w = s.open<VoltageInputController>();
    if (!waitAttached(*w, QStringLiteral("Eight-Port Sensor Box")))
        return nullptr;
    // The shortest data interval: 1000 events a second.
    w->dataIntervalBox->row->slider->triggerAction(QAbstractSlider::SliderToMinimum);
    return w;
}

quint64 events(const ExampleWindow &w)
{
    quint64 n = 0;
    for (const auto &stream : w.streams())
        n += stream->eventCount();
    return n;
}

QStringList lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    if (!all.isEmpty() && !all.endsWith('\n'))
        return {QStringLiteral("<file ends mid-line>")};
    QStringList out = QString::fromUtf8(all).split(QLatin1Char('\n'));
    out.removeLast();
    return out;
}

// A child process of this test: records until it is killed.
int recordUntilKilled(const QString &path)
{
    TindrelSim_loadDefaultRig();
    Surroundings s;
    auto w = openFast(s, 1);
    if (!w || !w->startRecording(path))
        return 2;
    std::cout << "recording" << std::endl;
    for (;;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}   // namespace

class RecordingTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanupTestCase() { TindrelSim_clear(); }

    void plotAndRecordingReceiveEveryEvent()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("values.csv"));
        Surroundings s;
        s.aimAt(box7Serial, 0);
        auto w = s.open<VoltageInputController>();
        // Both start before the first event can arrive.
        PlotWindow *plot = w->openPlot();
        QVERIFY(w->startRecording(path));
        QVERIFY(waitAttached(*w, QStringLiteral("Eight-Port Sensor Box")));
        w->dataIntervalBox->row->slider->triggerAction(QAbstractSlider::SliderToMinimum);
        QTRY_VERIFY_WITH_TIMEOUT(events(*w) > 3000, deadlineMs * 2);
        QTRY_VERIFY_WITH_TIMEOUT(w->recordingIndicator()->text().startsWith(QStringLiteral("\u25cf REC ")), deadlineMs);
        QCOMPARE(plot->seriesCount(), 2);
        QCOMPARE(plot->seriesName(0), QStringLiteral("Voltage (V)"));
        plot->setPaused(true);
        QCOMPARE(plot->pauseButton->text(), QStringLiteral("Resume"));

        const quint64 before = plot->received();
        w->stopRecording();   // takes in what was delivered, writes it all
        QVERIFY(w->recordingIndicator()->text().isEmpty());
        QVERIFY(plot->received() >= before);
        const QStringList rows = lines(path);
        QCOMPARE(static_cast<quint64>(rows.size() - 1), plot->received());
        QCOMPARE(plot->received(), events(*w));
        QCOMPARE(rows.first(), QStringLiteral("time_s,time_source,received_s,event,value_1"));
        QVERIFY(rows.at(1).contains(QStringLiteral(",received,")));
        QVERIFY(rows.at(1).contains(QStringLiteral(",Voltage (V),")));
        // Paused, the plot kept taking points in.
        QVERIFY(plot->pointCount(0) > 0);
    }

    void unwritableFileIsReportedAndNothingRecorded()
    {
        Surroundings s;
        auto w = openFast(s, 2);
        QVERIFY(w);
        QVERIFY(!w->startRecording(QStringLiteral("/nonexistent-folder/values.csv")));
        QVERIFY(!w->recorder());
        QVERIFY(w->errorEventLogWindow());
        QVERIFY(w->errorEventLogWindow()->errorEventLog->toPlainText().contains(
            QStringLiteral("Cannot record to /nonexistent-folder/values.csv")));
    }

    void aFileThatStopsTakingWritesKeepsWholeLinesAndStopsQueueing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("full.csv"));
        Surroundings s;
        auto w = openFast(s, 3);
        QVERIFY(w);
        // The file may grow to 20 kB, as on a disk that fills up.
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = 20000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool started = w->startRecording(path);
        bool failed = false;
        if (started)
            failed = QTest::qWaitFor([&] { return w->recorder()->failure().has_value(); }, deadlineMs * 2);
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(started);
        QVERIFY(failed);

        // The failure is logged once, the indicator says so, and what follows
        // is counted instead of piling up in memory.
        QTRY_VERIFY_WITH_TIMEOUT(w->recordingIndicator()->text() == QStringLiteral("Recording failed"), deadlineMs);
        QVERIFY(w->errorEventLogWindow());
        const QString log = w->errorEventLogWindow()->errorEventLog->toPlainText();
        QVERIFY(log.contains(QStringLiteral("Recording to %1 stopped").arg(path)));
        QCOMPARE(log.count(QStringLiteral("Recording to")), 1);
        const quint64 written = w->recorder()->written();
        QTRY_VERIFY_WITH_TIMEOUT(w->recorder()->notRecorded() > 1000, deadlineMs * 2);
        QCOMPARE(w->recorder()->written(), written);

        // The file holds the header and exactly the lines counted as written.
        const QStringList rows = lines(path);
        QVERIFY(QFileInfo(path).size() <= 20000);
        QCOMPARE(static_cast<quint64>(rows.size() - 1), written);
        w->stopRecording();
        QVERIFY(w->recordingIndicator()->text().isEmpty());
    }

    void eventsWithTheirOwnTimestampAreRecordedOnTheLibrarysClock()
    {
        EventSample sample;
        sample.receivedAt = 1700000000.25;
        sample.timestampMs = 1234.5;
        sample.count = 3;
        sample.values = {0.5, -1.0, TINDREL_UNKNOWN_VALUE};
        QCOMPARE(QString::fromStdString(EventRecorder::line(sample, "Acceleration (g)")),
                 QStringLiteral("1.234500,library,1700000000.250000,Acceleration (g),0.5,-1,"));
        sample.timestampMs.reset();
        sample.count = 1;
        QCOMPARE(QString::fromStdString(EventRecorder::line(sample, "A, \"quoted\" name")),
                 QStringLiteral("1700000000.250000,received,1700000000.250000,\"A, \"\"quoted\"\" name\",0.5"));
    }

    void killedWhileRecordingLeavesWholeLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("killed.csv"));
        QProcess child;
        child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record-until-killed"), path});
        QVERIFY(child.waitForStarted(deadlineMs));
        QTRY_VERIFY_WITH_TIMEOUT(lines(path).size() > 2000, deadlineMs * 3);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(deadlineMs));
        const QStringList rows = lines(path);
        QVERIFY(rows.size() > 2000);
        const int columns = static_cast<int>(rows.first().count(QLatin1Char(',')));
        for (const QString &row : rows.mid(1)) {
            QCOMPARE(static_cast<int>(row.count(QLatin1Char(','))), columns);
            bool ok = false;
            row.section(QLatin1Char(','), 0, 0).toDouble(&ok);
            QVERIFY(ok);
        }
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--record-until-killed")
        return recordUntilKilled(QString::fromLocal8Bit(argv[2]));
    RecordingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RecordingTest.moc"
