// Every window of the default rig on a desktop scaled by two (the test runs
// with QT_SCALE_FACTOR=2): each shows every control inside its own bounds at
// the size it takes, and pictures are drawn with the screen's pixels rather
// than enlarged.
#include "RigWindows.h"

#include <QLabel>
#include <QScreen>

using namespace tindrel;
using namespace tindrel::testing;

namespace {
QString describe(const QWidget &w)
{
    return QStringLiteral("%1 %2 in %3 (window %4x%5)")
        .arg(QLatin1String(w.metaObject()->className()), w.objectName(), w.window()->windowTitle())
        .arg(w.window()->width())
        .arg(w.window()->height());
}
}   // namespace

class HighDpiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("2"));
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
    }
    void cleanupTestCase() { TindrelSim_clear(); }

    void everyWindowFitsItsControlsAndDrawsPicturesAtTheScreensPixels()
    {
        AttachedRigWindows rig;
        QVERIFY(rig.wholeRigAttached());
        QStringList faults;
        int pictures = 0;
        for (const auto &w : rig.open.windows) {
            if (!w)
                continue;
            QCOMPARE(w->devicePixelRatioF(), 2.0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QRect bounds = w->rect();
            for (QWidget *c : w->findChildren<QWidget *>()) {
                if (c->window() != w || !c->isVisibleTo(w))
                    continue;
                // Inside the window, as far as its parents let it be seen.
                const QRect at(c->mapTo(w.data(), QPoint(0, 0)), c->size());
                if (!bounds.contains(at) && c->parentWidget() == c->nativeParentWidget())
                    faults << QStringLiteral("outside its window: ") + describe(*c);
                if (c->parentWidget() && c->parentWidget() != w && !c->parentWidget()->rect().contains(c->geometry()) &&
                    c->parentWidget()->layout())
                    faults << QStringLiteral("outside its box: ") + describe(*c);
                if (auto *label = qobject_cast<QLabel *>(c); label && !label->pixmap().isNull()) {
                    ++pictures;
                    const QPixmap p = label->pixmap();
                    if (p.devicePixelRatio() != w->devicePixelRatioF())
                        faults << QStringLiteral("picture at ratio %1: ").arg(p.devicePixelRatio()) + describe(*c);
                    else if (p.deviceIndependentSize().width() > label->contentsRect().width() + 1 ||
                             p.deviceIndependentSize().height() > label->contentsRect().height() + 1)
                        faults << QStringLiteral("picture larger than its place: ") + describe(*c);
                }
            }
        }
        QVERIFY(pictures > 100);
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(QString::number(faults.size()) + QStringLiteral(" faults:\n") +
                                              faults.mid(0, 40).join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(HighDpiTest)
#include "HighDpiTest.moc"
