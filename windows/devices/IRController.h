#pragma once

#include "CommsLogic.h"
#include "ExampleWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <atomic>
#include <thread>

namespace tindrel {

// An infrared transceiver: each received code with its bit count and repeat
// count, the last learned code's parameters and sending it again, and on
// request the raw durations the receiver measures, recorded and replayed
// from a worker thread.
class IRController : public ExampleWindowOf<IRController> {
public:
    IRController();

    void retransmit();
    void showRawData(bool on);
    void clear();
    // Replays the recording on the worker thread (one replay at a time).
    void retransmitRaw();
    // True while a replay is sending.
    bool replaying() const { return replaying_.load(); }
    // Transmit calls the last replay made (worker thread count).
    int replayedSegments() const { return replayedSegments_.load(); }
    const comms::IRRawLog &rawLog() const { return rawLog_; }
    int repeatCount() const { return repeatCounter_; }

    // Width the raw box adds beside the code boxes.
    static constexpr int rawBoxWidth = 675;

    AttachBox *codeBox;
    QLabel *irCode0Text = new QLabel(this);
    QLabel *bitLength0Text = new QLabel(this);
    QLabel *repeatCodeText = new QLabel(this);
    AttachBox *learnBox;
    QLabel *irCode1Text = new QLabel(this);
    QLabel *bitLength1Text = new QLabel(this);
    QLabel *encodingText = new QLabel(this);
    QLabel *gapText = new QLabel(this);
    QLabel *trailText = new QLabel(this);
    QLabel *zeroText = new QLabel(this);
    QLabel *oneText = new QLabel(this);
    QLabel *headerText = new QLabel(this);
    QLabel *repeatText = new QLabel(this);
    QLabel *toggleMaskText = new QLabel(this);
    QPushButton *retransmitButton = new QPushButton(QStringLiteral("Retransmit"), this);
    QLabel *retransmitLabel = new QLabel(QStringLiteral("Send the learned code again"), this);
    QCheckBox *showRawDataCheck = new QCheckBox(QStringLiteral("Show raw data"), this);
    QGroupBox *rawDataBox;
    QPlainTextEdit *rawDataLog = new QPlainTextEdit(this);
    QPushButton *clearButton = new QPushButton(QStringLiteral("Clear"), this);
    QPushButton *transmitRawDataButton = new QPushButton(QStringLiteral("Transmit raw data"), this);

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    void beforeTearDown() override;

private:
    void countCode(const IRCodeEvent &e);
    void showCode(const IRCodeEvent &e);
    void showLearned(const IRLearnEvent &e);
    void logRaw(const IRRawEvent &e);
    void stopReplay();

    int repeatCounter_ = 0;
    int narrowWidth_ = 0;   // the width before the raw box widened the window
    comms::IRRawLog rawLog_;
    std::thread replay_;
    std::atomic<bool> replaying_{false};
    std::atomic<bool> stopReplay_{false};
    std::atomic<int> replayedSegments_{0};
    ValueStream<IRCodeEvent> &code;
    ValueStream<IRLearnEvent> &learn;
    ValueStream<IRRawEvent> &raw;
};

}   // namespace tindrel
