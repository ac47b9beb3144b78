// The reusable widgets on their own: slider rows and code pop-ups.
#include "CodePopup.h"
#include "SliderRow.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

using namespace tindrel;

namespace {

constexpr CodeTitle ranges[] = {{"10 mV", 1}, {"40 mV", 2}, {"Automatic", 11}};

}   // namespace

class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void everyMoveRowSendsWhileDragging()
    {
        SliderRow row(SliderRow::SendRule::EveryMove, "%d", "%d ms", true);
        row.setRange(8, 1000, 250);
        QCOMPARE(row.minLabel->text(), QStringLiteral("8"));
        QCOMPARE(row.maxLabel->text(), QStringLiteral("1000"));
        QCOMPARE(row.valueLabel->text(), QStringLiteral("250 ms"));
        QSignalSpy sent(&row, &SliderRow::valueChosen);
        row.slider->setSliderDown(true);
        row.slider->setValue(row.slider->value() + 10);
        row.slider->setValue(row.slider->value() + 10);
        row.slider->setSliderDown(false);
        QCOMPARE(sent.count(), 2);
        QCOMPARE(sent.last().first().toDouble(), 270.0);
        QCOMPARE(row.valueLabel->text(), QStringLiteral("270 ms"));
    }

    void releaseRowSendsOnceWhenTheDragEnds()
    {
        SliderRow row(SliderRow::SendRule::OnRelease, "%0.3f V", "%0.3f V", false);
        row.setRange(0.0, 5.0, 0.25);
        QCOMPARE(row.slider->value(), 50);
        QSignalSpy sent(&row, &SliderRow::valueChosen);
        row.slider->setSliderDown(true);
        for (int p = 60; p <= 100; p += 10)
            row.slider->setValue(p);
        QCOMPARE(row.valueLabel->text(), QStringLiteral("0.500 V"));
        QCOMPARE(sent.count(), 0);
        row.slider->setSliderDown(false);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().first().toDouble(), 0.5);
    }

    void releaseRowSendsKeyboardAndTrackChangesAtOnce()
    {
        SliderRow row(SliderRow::SendRule::OnRelease, "%.2f", "%.2f", false);
        row.setRange(0.0, 1.0, 0.0);
        QSignalSpy sent(&row, &SliderRow::valueChosen);
        QTest::keyClick(row.slider, Qt::Key_End);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.first().first().toDouble(), 1.0);
        row.slider->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(sent.count(), 2);
    }

    void programmaticChangesSendNothingAndFailuresRestoreTheLabel()
    {
        SliderRow row(SliderRow::SendRule::EveryMove, "%.3f", "%.3f A", false);
        QSignalSpy sent(&row, &SliderRow::valueChosen);
        row.setRange(0.0, 0.08, 0.02);
        row.setValue(0.05);
        QCOMPARE(sent.count(), 0);
        QCOMPARE(row.valueLabel->text(), QStringLiteral("0.050 A"));
        row.slider->setValue(row.slider->maximum());
        QCOMPARE(row.valueLabel->text(), QStringLiteral("0.080 A"));
        row.restoreLabel();
        QCOMPARE(row.valueLabel->text(), QStringLiteral("0.050 A"));
        row.accept(0.08);
        row.restoreLabel();
        QCOMPARE(row.valueLabel->text(), QStringLiteral("0.080 A"));
    }

    void flatRangeKeepsItsValue()
    {
        SliderRow row(SliderRow::SendRule::EveryMove, "%.1f", "%.1f", false);
        row.setRange(2.0, 2.0, 2.0);
        QCOMPARE(row.value(), 2.0);
        QCOMPARE(row.valueLabel->text(), QStringLiteral("2.0"));
    }

    void popupMapsTitlesToCodes()
    {
        CodePopup popup(ranges);
        popup.setTitles({"40 mV", "Automatic", "Not in table"});
        popup.selectCode(11);
        QCOMPARE(popup.currentText(), QStringLiteral("Automatic"));
        QCOMPARE(popup.currentCode(), 11);
        popup.selectCode(1);   // in the table, not among the items
        QCOMPARE(popup.currentIndex(), -1);
        QVERIFY(!popup.currentCode());
        popup.selectCode(99);
        QCOMPARE(popup.currentIndex(), -1);

        QSignalSpy chosen(&popup, &CodePopup::codeChosen);
        QSignalSpy unknown(&popup, &CodePopup::unknownTitleChosen);
        emit popup.activated(0);
        emit popup.activated(2);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().toInt(), 2);
        QCOMPARE(unknown.count(), 1);
        QCOMPARE(unknown.first().first().toString(), QStringLiteral("Not in table"));

        popup.showWholeTable();
        QCOMPARE(popup.count(), 3);
        QCOMPARE(popup.itemText(2), QStringLiteral("Automatic"));
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
