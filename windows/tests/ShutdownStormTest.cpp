// The panel's quit, a hundred times over: every window of the default rig
// open, every slider at its minimum (data intervals at their shortest),
// devices unplugged and plugged back, then every window closed at once while
// events are in flight. Each round must end, and every window must go.
//
// TINDREL_STORM_ROUNDS sets the number of rounds (default 100).
#include "RigWindows.h"

#include <QSlider>
#include <QTest>

#include <random>

using namespace tindrel;
using namespace tindrel::testing;

class ShutdownStormTest : public QObject {
    Q_OBJECT
private slots:
    void quitsOverAndOverWhileStreamingAndPlugging();
};

void ShutdownStormTest::quitsOverAndOverWhileStreamingAndPlugging()
{
    bool ok = false;
    int rounds = qEnvironmentVariableIntValue("TINDREL_STORM_ROUNDS", &ok);
    if (!ok)
        rounds = 100;
    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    const std::vector<Address> channels = attachedChannels();
    QVERIFY(!channels.empty());
    const QStringList plugged = {QStringLiteral("hub"), QStringLiteral("hub2"), QStringLiteral("hub3")};
    std::mt19937 rng(1);
    const WindowRegistry registry = WindowRegistry::standard();
    qint64 longestMs = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer took;
        took.start();
        Surroundings s;
        RigWindows open = openWindows(registry, s, channels);
        QVERIFY(!open.windows.empty());
        QTest::qWait(std::uniform_int_distribution<int>(0, 150)(rng));
        for (auto &w : open.windows)
            if (w)
                for (QSlider *slider : w->findChildren<QSlider *>())
                    if (slider->isEnabled())
                        slider->setValue(slider->minimum());
        size_t device = 0;
        for (const QString &id : plugged) {
            if (device++ % 2 == static_cast<size_t>(round % 2))
                TindrelSim_detachDevice(id.toUtf8().constData());
            else
                TindrelSim_attachDevice(id.toUtf8().constData());
        }
        QTest::qWait(std::uniform_int_distribution<int>(0, 100)(rng));
        open.closeAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         for (auto &w : open.windows)
                             if (w)
                                 return false;
                         return true;
                     },
                     deadlineMs),
                 qPrintable(QStringLiteral("round %1: every window goes").arg(round)));
        for (const QString &id : plugged)
            TindrelSim_attachDevice(id.toUtf8().constData());
        longestMs = std::max(longestMs, took.elapsed());
        QVERIFY2(took.elapsed() < 60000, qPrintable(QStringLiteral("round %1 ends").arg(round)));
    }
    qInfo("shutdown storm: %d rounds of %zu windows, longest round %lld ms", rounds, channels.size(), longestMs);
}

QTEST_MAIN(ShutdownStormTest)
#include "ShutdownStormTest.moc"
