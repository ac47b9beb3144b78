// A scripted user opens a window for every channel of the default rig and
// moves every control of every window in random order while the library
// fails a share of calls, raises error events and devices and servers come
// and go. Nothing may crash or hang, and every change that failed must show
// in its window class's error event log.
//
// TINDREL_CHAOS_SECONDS sets the run's length (default 20), TINDREL_CHAOS_SEED
// its seed (default: a fresh one, printed).
#include "ExampleWindow.h"
#include "RigWindows.h"
#include "ViewFormController.h"
#include "WindowLogic.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include <tindrel22.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <map>
#include <mutex>
#include <random>
#include <typeindex>
#include <vector>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

struct RigChannel {
    QString device;
    QString className;
    int index = 0;
};

struct Rig {
    QStringList devices, servers;
    std::vector<RigChannel> channels;
};

Rig listRig()
{
    size_t len = 0;
    TindrelSim_list(nullptr, &len);
    QByteArray buf(static_cast<qsizetype>(len), '\0');
    TindrelSim_list(buf.data(), &len);
    const QJsonObject root = QJsonDocument::fromJson(buf.left(buf.indexOf('\0'))).object();
    Rig rig;
    for (const QJsonValue &c : root.value(QStringLiteral("computers")).toArray())
        rig.servers << c.toObject().value(QStringLiteral("id")).toString();
    for (const QJsonValue &dv : root.value(QStringLiteral("devices")).toArray()) {
        const QJsonObject d = dv.toObject();
        const QString id = d.value(QStringLiteral("id")).toString();
        rig.devices << id;
        for (const QJsonValue &cv : d.value(QStringLiteral("channels")).toArray()) {
            const QJsonObject c = cv.toObject();
            rig.channels.push_back(
                {id, c.value(QStringLiteral("class")).toString(), c.value(QStringLiteral("index")).toInt()});
        }
    }
    return rig;
}

}   // namespace

class ChaosTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlOfEveryWindowUnderFailuresAndReplugging();
};

void ChaosTest::everyControlOfEveryWindowUnderFailuresAndReplugging()
{
    const int seconds = envInt("TINDREL_CHAOS_SECONDS", 20);
    const auto seed = static_cast<uint32_t>(envInt("TINDREL_CHAOS_SEED", static_cast<int>(std::random_device{}())));
    qInfo("chaos run: seed %u, %d s (TINDREL_CHAOS_SEED, TINDREL_CHAOS_SECONDS)", seed, seconds);
    std::mt19937 rng(seed);
    auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&rng](auto size) { return std::uniform_int_distribution<qsizetype>(0, qsizetype(size) - 1)(rng); };

    QVERIFY(TindrelSim_loadDefaultRig() == TINDREL_OK);
    TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE);
    Rig rig = listRig();
    QVERIFY(!rig.channels.empty());

    // The channels as a manager sees them, as the tree does.
    const std::vector<Address> channels = attachedChannels();
    QVERIFY(channels.size() >= rig.channels.size() / 2);
    std::map<QString, int> classByName;
    for (const Address &a : channels)
        classByName[a.className] = a.cls;

    // One window per channel, opened the way the tree's double-click does.
    Surroundings s;
    const WindowRegistry registry = WindowRegistry::standard();
    RigWindows open = openWindows(registry, s, channels);
    std::vector<QPointer<ExampleWindow>> &windows = open.windows;
    std::map<QPointer<ExampleWindow>, int> &classOf = open.classOf;
    // A failed check still closes every window (and stops their threads)
    // before the program ends.
    struct CloseAtEnd {
        RigWindows &open;
        ~CloseAtEnd()
        {
            TindrelSim_failCalls(0, 0);
            open.closeAll();
        }
    } closeAtEnd{open};
    QVERIFY2(windows.size() >= channels.size() * 3 / 4, "most channels have a window");
    QTest::qWait(1000);

    // Modal dialogs (colour, file) are answered at once with Cancel; a timer
    // firing meanwhile shows the event loop stays responsive.
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    probe.start(20);

    std::map<int, uint64_t> asyncErrors;   // by channel class
    QCOMPARE(TindrelSim_failCalls(0.05, seed), TINDREL_OK);
    QElapsedTimer run;
    run.start();
    qint64 steps = 0, longestStepMs = 0, unplugs = 0, widgetMoves = 0;
    while (run.elapsed() < seconds * 1000LL) {
        QElapsedTimer step;
        step.start();
        QString acted = QStringLiteral("a library event or a replug");
        const double roll = std::uniform_real_distribution<double>(0, 1)(rng);
        if (roll < 0.04 && !rig.channels.empty()) {
            const RigChannel &c = rig.channels[static_cast<size_t>(pick(rig.channels.size()))];
            const auto it = classByName.find(c.className);
            if (it != classByName.end() &&
                TindrelSim_injectError(c.device.toUtf8().constData(), static_cast<Tindrel_ChannelClass>(it->second),
                                       c.index, 0x1005, "Injected trouble on the channel") == TINDREL_OK)
                ++asyncErrors[it->second];
        } else if (roll < 0.07) {
            const QByteArray id = rig.devices.at(pick(rig.devices.size())).toUtf8();
            if (chance(0.5)) {
                TindrelSim_detachDevice(id.constData());
                ++unplugs;
            } else {
                TindrelSim_attachDevice(id.constData());
            }
        } else if (roll < 0.075 && !rig.servers.isEmpty()) {
            const QByteArray id = rig.servers.at(pick(rig.servers.size())).toUtf8();
            if (chance(0.5))
                TindrelSim_removeServer(id.constData());
            else
                TindrelSim_addServer(id.constData());
        } else {
            ExampleWindow *w = windows[static_cast<size_t>(pick(windows.size()))];
            QVERIFY2(w, "no window closes by itself");
            QList<QWidget *> controls;
            const QPushButton *clear = w->errorEventLogWindow() ? w->errorEventLogWindow()->clearButton : nullptr;
            for (QWidget *c : w->findChildren<QWidget *>()) {
                if (!c->isEnabled() || !c->isVisibleTo(w) || c == clear)
                    continue;
                if (qobject_cast<QSlider *>(c) || qobject_cast<QComboBox *>(c) || qobject_cast<QCheckBox *>(c) ||
                    qobject_cast<QPushButton *>(c) || qobject_cast<QSpinBox *>(c) || qobject_cast<QDoubleSpinBox *>(c))
                    controls << c;
            }
            if (!controls.isEmpty()) {
                QWidget *c = controls.at(pick(controls.size()));
                ++widgetMoves;
                acted = w->windowTitle() + QStringLiteral(": ") + QString::fromLatin1(c->metaObject()->className()) +
                        QStringLiteral(" \"") + c->accessibleName() + QStringLiteral("\"");
                if (auto *slider = qobject_cast<QSlider *>(c)) {
                    slider->setValue(std::uniform_int_distribution<int>(slider->minimum(), slider->maximum())(rng));
                } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
                    if (combo->count() > 0) {
                        const int i = static_cast<int>(pick(combo->count()));
                        combo->setCurrentIndex(i);
                        emit combo->activated(i);
                    }
                } else if (auto *check = qobject_cast<QCheckBox *>(c)) {
                    check->click();
                } else if (auto *button = qobject_cast<QPushButton *>(c)) {
                    button->click();
                } else if (auto *spin = qobject_cast<QSpinBox *>(c)) {
                    spin->setValue(std::uniform_int_distribution<int>(spin->minimum(), spin->maximum())(rng));
                    emit spin->editingFinished();
                } else if (auto *dspin = qobject_cast<QDoubleSpinBox *>(c)) {
                    dspin->setValue(std::uniform_real_distribution<double>(dspin->minimum(), dspin->maximum())(rng));
                    emit dspin->editingFinished();
                }
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ++steps;
        longestStepMs = std::max(longestStepMs, step.elapsed());
        QVERIFY2(step.elapsed() < 10000,
                 qPrintable(QStringLiteral("a step returns: %1 took %2 ms").arg(acted).arg(step.elapsed())));
    }
    std::map<int, uint64_t> failedChanges;
    for (const auto &[name, cls] : classByName)
        failedChanges[cls] = TindrelSim_failedCalls(static_cast<Tindrel_ChannelClass>(cls), TINDRELSIM_CALLS_CHANGES);
    const uint64_t failedReads = TindrelSim_failedCalls(TINDREL_CHCLASS_NOTHING, TINDRELSIM_CALLS_READS);
    QCOMPARE(TindrelSim_failCalls(0, 0), TINDREL_OK);
    QTest::qWait(2000);   // the last events come in
    QVERIFY2(longestGapMs < 10000, "the event loop stays responsive");

    // Every failed change and every error event is in the log of its
    // window class (window classes keep one counter for all their windows).
    uint64_t failedTotal = 0;
    for (const auto &[cls, failed] : failedChanges) {
        std::map<std::type_index, int> counters;
        for (const auto &[w, c] : classOf)
            if (w && c == cls)
                counters[std::type_index(typeid(*w))] = w->errorCount();
        uint64_t logged = 0;
        for (const auto &[type, count] : counters)
            logged += static_cast<uint64_t>(count);
        failedTotal += failed;
        QVERIFY2(logged >= failed + asyncErrors[cls],
                 qPrintable(QStringLiteral("class %1: %2 logged, %3 changes failed, %4 error events")
                                .arg(cls)
                                .arg(logged)
                                .arg(failed)
                                .arg(asyncErrors[cls])));
    }

    qInfo("chaos run: %lld steps (%lld control moves, %lld unplugs), %llu changes and %llu reads failed, "
          "longest step %lld ms, longest loop gap %lld ms",
          steps, widgetMoves, unplugs, static_cast<unsigned long long>(failedTotal),
          static_cast<unsigned long long>(failedReads), longestStepMs, longestGapMs);
    probe.stop();
    open.closeAll();
    QTest::qWait(200);
}

QTEST_MAIN(ChaosTest)
#include "ChaosTest.moc"
