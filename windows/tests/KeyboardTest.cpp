// Every window of the default rig can be used from the keyboard and is named
// for assistive tools: each enabled control takes focus by Tab and has an
// accessible name. And a slider reached by Tab sets its device from the keys.
#include "RigWindows.h"
#include "VoltageInputController.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

// A control a person works with, as opposed to a part of one (a spin box's
// own line edit, a tab bar's scroll buttons, a scroll area's bars).
bool isControl(const QWidget &w)
{
    for (const QWidget *p = w.parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox *>(p) || qobject_cast<const QComboBox *>(p) ||
            qobject_cast<const QTabBar *>(p) || qobject_cast<const QAbstractItemView *>(p))
            return false;
    return (qobject_cast<const QAbstractSlider *>(&w) && !qobject_cast<const QScrollBar *>(&w)) ||
           qobject_cast<const QAbstractSpinBox *>(&w) || qobject_cast<const QComboBox *>(&w) ||
           qobject_cast<const QAbstractButton *>(&w) || qobject_cast<const QLineEdit *>(&w) ||
           qobject_cast<const QAbstractItemView *>(&w);
}

QString describe(const QWidget &w)
{
    QString text;
    if (const auto *b = qobject_cast<const QAbstractButton *>(&w))
        text = b->text();
    return QStringLiteral("%1 %2 \"%3\" in %4")
        .arg(QLatin1String(w.metaObject()->className()), w.objectName(), text, w.window()->windowTitle());
}

}   // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }
    void cleanup() { TindrelSim_clear(); }

    void everyControlOfEveryWindowTakesTabFocusAndHasAName()
    {
        AttachedRigWindows rig;
        QVERIFY(rig.wholeRigAttached());
        QStringList faults;
        int checked = 0;
        for (const auto &w : rig.open.windows) {
            if (!w)
                continue;
            for (QWidget *c : w->findChildren<QWidget *>()) {
                if (c->window() != w || !isControl(*c) || !c->isEnabled())
                    continue;
                ++checked;
                if (!(c->focusPolicy() & Qt::TabFocus))
                    faults << QStringLiteral("no Tab focus: ") + describe(*c);
                if (c->accessibleName().trimmed().isEmpty())
                    faults << QStringLiteral("no accessible name: ") + describe(*c);
            }
        }
        QVERIFY(checked > 1000);
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(QString::number(faults.size()) + QStringLiteral(" faults:\n") +
                                              faults.mid(0, 40).join(QLatin1Char('\n'))));
    }

    void aSliderReachedByTabSetsItsDeviceFromTheKeys()
    {
        Surroundings s;
        s.aimAt(300543);   // the four-port sensor box's voltage input
        auto w = s.open<VoltageInputController>();
        QVERIFY(waitAttached(*w, QStringLiteral("Four-Port Sensor Box")));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));

        QSlider *slider = w->dataIntervalBox->row->slider;
        QCOMPARE(slider->accessibleName(), QStringLiteral("Data Interval"));
        // From the window's first control, Tab by Tab.
        for (int presses = 0; presses < 40 && QApplication::focusWidget() != slider; ++presses)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), slider);

        const double before = simProperty("box6", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "DataInterval");
        QTest::keyClick(slider, Qt::Key_PageUp);
        QTRY_VERIFY_WITH_TIMEOUT(simProperty("box6", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "DataInterval") > before,
                                 deadlineMs);
        const double raised = simProperty("box6", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "DataInterval");
        QCOMPARE(w->dataIntervalBox->row->acceptedValue(), raised);
        QTest::keyClick(slider, Qt::Key_Home);
        QTRY_COMPARE_WITH_TIMEOUT(simProperty("box6", TINDREL_CHCLASS_VOLTAGEINPUT, 0, "DataInterval"),
                                  w->dataIntervalBox->minimum, deadlineMs);
        w->close();
    }
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
