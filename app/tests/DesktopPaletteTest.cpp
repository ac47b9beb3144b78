// The panel's palette follows the desktop's light or dark setting, also in
// windows already open.
#include "DesktopPalette.h"
#include "FakeColorScheme.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

using tindrel::DesktopPalette;
using tindrel::platform::ColorScheme;
using tindrel::platform::fakes::FakeColorScheme;

namespace {
bool darkWindow(const QPalette &p) { return p.color(QPalette::Window).lightness() < 100; }
bool lightText(const QPalette &p) { return p.color(QPalette::WindowText).lightness() > 160; }
}   // namespace

class DesktopPaletteTest : public QObject {
    Q_OBJECT
private slots:
    void followsTheDesktopBothWays()
    {
        FakeColorScheme desktop;
        const DesktopPalette palette(desktop);
        QVERIFY(desktop.followed());
        QVERIFY(!darkWindow(QApplication::palette()));

        // A window open before the change takes the new palette too.
        QWidget window;
        auto *label = new QLabel(QStringLiteral("Voltage"), &window);
        auto *edit = new QLineEdit(&window);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(label);
        layout->addWidget(edit);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        desktop.set(ColorScheme::Dark);
        QCOMPARE(palette.shown(), ColorScheme::Dark);
        QVERIFY(darkWindow(QApplication::palette()));
        QVERIFY(lightText(QApplication::palette()));
        QTRY_VERIFY_WITH_TIMEOUT(darkWindow(window.palette()) && lightText(label->palette()), 10000);
        QVERIFY(edit->palette().color(QPalette::Base).lightness() < 100);
        QVERIFY(edit->palette().color(QPalette::Text).lightness() > 160);
        // Disabled text stays readable but apart from the normal text.
        QVERIFY(QApplication::palette().color(QPalette::Disabled, QPalette::WindowText) !=
                QApplication::palette().color(QPalette::Active, QPalette::WindowText));

        desktop.set(ColorScheme::Light);
        QCOMPARE(palette.shown(), ColorScheme::Light);
        QVERIFY(!darkWindow(QApplication::palette()));
        QVERIFY(QApplication::palette().color(QPalette::WindowText).lightness() < 100);
        QTRY_VERIFY_WITH_TIMEOUT(!darkWindow(window.palette()) && !lightText(label->palette()), 10000);
    }

    void startsDarkWhenTheDesktopIsDarkAlready()
    {
        FakeColorScheme desktop;
        desktop.set(ColorScheme::Dark);
        const DesktopPalette palette(desktop);
        QVERIFY(darkWindow(QApplication::palette()));
    }
};

QTEST_MAIN(DesktopPaletteTest)
#include "DesktopPaletteTest.moc"
