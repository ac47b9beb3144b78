// A window moved between screens of different scales: its device picture is
// drawn again at the pixels of the screen it is on now. The test makes its
// own desktop before the application starts: two offscreen screens side by
// side, the second scaled by two.
#include "VoltageInputController.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryFile>
#include <QWindow>

using namespace tindrel;
using namespace tindrel::testing;

class ScreenScaleTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QCOMPARE(QGuiApplication::screens()[0]->devicePixelRatio(), 1.0);
        QCOMPARE(QGuiApplication::screens()[1]->devicePixelRatio(), 2.0);
        QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK);
    }
    void cleanupTestCase() { TindrelSim_clear(); }

    void thePictureFollowsTheScreensScale()
    {
        Surroundings s;
        s.aimAt(300509);
        auto w = s.open<VoltageInputController>();
        QVERIFY(QTest::qWaitFor([&] { return deviceText(*w) != QStringLiteral("Nothing"); }, deadlineMs));
        QLabel *picture = w->tindrelInfoBoxView()->pictureBox;
        const auto ratio = [&] { return picture->pixmap().devicePixelRatio(); };
        QVERIFY(!picture->pixmap().isNull());
        for (const int screen : {1, 0, 1}) {
            QScreen *to = QGuiApplication::screens()[screen];
            w->windowHandle()->setScreen(to);
            w->move(to->geometry().topLeft() + QPoint(20, 20));
            w->update();
            QTRY_COMPARE_WITH_TIMEOUT(w->devicePixelRatioF(), to->devicePixelRatio(), deadlineMs);
            QTRY_COMPARE_WITH_TIMEOUT(ratio(), to->devicePixelRatio(), deadlineMs);
            // Drawn from the source at that scale, not enlarged.
            QCOMPARE(picture->pixmap().width(), qRound(picture->pixmap().deviceIndependentSize().width() * ratio()));
            QVERIFY(picture->pixmap().deviceIndependentSize().width() <= picture->width());
        }
    }
};

int main(int argc, char **argv)
{
    QTemporaryFile screens;
    if (!screens.open())
        return 2;
    screens.write(R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1280, "height": 800, "logicalDpi": 96},
        {"name": "right", "x": 1280, "y": 0, "width": 1280, "height": 800, "logicalDpi": 96}]})");
    screens.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    qputenv("QT_SCREEN_SCALE_FACTORS", "left=1;right=2");
    qunsetenv("QT_SCALE_FACTOR");
    QApplication app(argc, argv);
    ScreenScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ScreenScaleTest.moc"
