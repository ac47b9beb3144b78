#include "IRController.h"

#include "LibraryError.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLayout>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tindrel {

using namespace comms;

IRController::IRController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelIRHandle, TindrelIR_create, TindrelIR_delete>())
    , code(addStream<IRCodeEvent>(QStringLiteral("Code"),
                                  {{QStringLiteral("Bit count"), QString()}, {QStringLiteral("Repeat"), QString()}},
                                  [this](const IRCodeEvent &e) { showCode(e); }))
    , learn(addStream<IRLearnEvent>(QStringLiteral("Learned code"), {{QStringLiteral("Bit count"), QString()}},
                                    [this](const IRLearnEvent &e) { showLearned(e); }))
    , raw(addStream<IRRawEvent>(QStringLiteral("Raw data"), {{QStringLiteral("Durations"), QString()}}, {}))
{
    setWindowTitle(QStringLiteral("IR"));
    code.onEveryEvent([this](const IRCodeEvent &e) { countCode(e); });
    raw.onEveryEvent([this](const IRRawEvent &e) { logRaw(e); });

    codeBox = new AttachBox(QStringLiteral("Received code"), this);
    auto *codeForm = new QFormLayout(codeBox);
    codeForm->addRow(QStringLiteral("Code:"), irCode0Text);
    codeForm->addRow(QStringLiteral("Bit count:"), bitLength0Text);
    codeForm->addRow(QStringLiteral("Repeats:"), repeatCodeText);
    codeForm->addRow(showRawDataCheck);

    learnBox = new AttachBox(QStringLiteral("Learned code"), this);
    auto *learnForm = new QFormLayout(learnBox);
    learnForm->addRow(QStringLiteral("Code:"), irCode1Text);
    learnForm->addRow(QStringLiteral("Length:"), bitLength1Text);
    learnForm->addRow(QStringLiteral("Encoding:"), encodingText);
    learnForm->addRow(QStringLiteral("Gap:"), gapText);
    learnForm->addRow(QStringLiteral("Trail:"), trailText);
    learnForm->addRow(QStringLiteral("Header:"), headerText);
    learnForm->addRow(QStringLiteral("One:"), oneText);
    learnForm->addRow(QStringLiteral("Zero:"), zeroText);
    learnForm->addRow(QStringLiteral("Repeat:"), repeatText);
    learnForm->addRow(QStringLiteral("Toggle mask:"), toggleMaskText);
    learnForm->addRow(retransmitButton, retransmitLabel);

    rawDataBox = new QGroupBox(QStringLiteral("Raw data"), this);
    auto *rawLayout = new QVBoxLayout(rawDataBox);
    rawDataLog->setReadOnly(true);
    rawDataLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    rawDataLog->setMaximumBlockCount(5000);   // the log stays bounded however long it runs
    rawLayout->addWidget(rawDataLog);
    auto *rawButtons = new QHBoxLayout;
    rawButtons->addWidget(clearButton);
    rawButtons->addWidget(transmitRawDataButton);
    rawLayout->addLayout(rawButtons);
    rawDataBox->setFixedWidth(rawBoxWidth);
    rawDataBox->hide();

    // The raw box sits beside the code boxes, so widening reveals it.
    auto *row = new QWidget(this);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout;
    column->addWidget(codeBox);
    column->addWidget(learnBox);
    rowLayout->addLayout(column);
    rowLayout->addWidget(rawDataBox);
    contentLayout()->addWidget(row);

    retransmitButton->setEnabled(false);
    transmitRawDataButton->setEnabled(false);
    connect(retransmitButton, &QPushButton::clicked, this, &IRController::retransmit);
    connect(showRawDataCheck, &QCheckBox::toggled, this, &IRController::showRawData);
    connect(clearButton, &QPushButton::clicked, this, &IRController::clear);
    connect(transmitRawDataButton, &QPushButton::clicked, this, &IRController::retransmitRaw);
}

void IRController::registerValueHandlers()
{
    subscribe(&TindrelIR_setOnCodeHandler, code);
    subscribe(&TindrelIR_setOnLearnHandler, learn);
    subscribe(&TindrelIR_setOnRawDataHandler, raw);
}

void IRController::onAttach()
{
    {
        const QSignalBlocker quiet(showRawDataCheck);
        showRawDataCheck->setChecked(false);
    }
    retransmitButton->setEnabled(false);
    transmitRawDataButton->setEnabled(false);
}

void IRController::onDetach() { }

void IRController::countCode(const IRCodeEvent &e) { repeatCounter_ = e.repeat ? repeatCounter_ + 1 : 0; }

void IRController::showCode(const IRCodeEvent &e)
{
    bitLength0Text->setText(QString::number(e.bitCount));
    repeatCodeText->setText(QString::number(repeatCounter_));
    irCode0Text->setText(QStringLiteral("0x") + e.code);
}

void IRController::showLearned(const IRLearnEvent &e)
{
    const Tindrel_IRCodeInfo &info = e.info;
    encodingText->setText(irEncodingText(info.encoding));
    irCode1Text->setText(QStringLiteral("0x") + e.code);
    bitLength1Text->setText(irLengthText(info.length));
    gapText->setText(QString::number(info.gap));
    trailText->setText(QString::number(info.trail));
    zeroText->setText(irPairText(info.zero));
    oneText->setText(irPairText(info.one));
    headerText->setText(irPairText(info.header));
    repeatText->setText(irRepeatText(info));
    toggleMaskText->setText(irToggleMaskText(info));
    retransmitButton->setEnabled(true);
}

void IRController::retransmit()
{
    if (!hasChannel())
        return;
    // Room for the longest code the library sends (32 hexadecimal digits).
    char text[33] = {};
    Tindrel_IRCodeInfo info{};
    if (!check(TindrelIR_getLastLearnedCode(handle<TindrelIRHandle>(), text, sizeof text, &info)))
        return;
    check(TindrelIR_transmit(handle<TindrelIRHandle>(), text, &info));
}

void IRController::logRaw(const IRRawEvent &e)
{
    if (!showRawDataCheck->isChecked() || e.durations.empty())
        return;
    const QString text = rawLog_.append(e.durations);
    QTextCursor cursor = rawDataLog->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    rawDataLog->verticalScrollBar()->setValue(rawDataLog->verticalScrollBar()->maximum());
    transmitRawDataButton->setEnabled(true);
}

void IRController::showRawData(bool on)
{
    rawDataLog->clear();
    if (on) {
        narrowWidth_ = width();
        rawDataBox->show();
        resize(width() + rawBoxWidth, height());
    } else {
        rawDataBox->hide();
        if (layout())
            layout()->activate();
        resize(narrowWidth_ > 0 ? narrowWidth_ : std::max(width() - rawBoxWidth, 0), height());
    }
}

void IRController::clear()
{
    rawDataLog->clear();
    rawLog_.clearRecording();
    transmitRawDataButton->setEnabled(false);
}

void IRController::retransmitRaw()
{
    if (!hasChannel() || replaying_.load())
        return;
    if (replay_.joinable())
        replay_.join();
    // The worker sends a copy, so the main thread may go on recording.
    std::vector<IRSegment> segments = irReplaySegments(rawLog_.recording());
    auto ch = handle<TindrelIRHandle>();
    stopReplay_ = false;
    replaying_ = true;
    replayedSegments_ = 0;
    replay_ = std::thread([this, ch, segments = std::move(segments)] {
        for (const IRSegment &s : segments) {
            if (stopReplay_.load())
                break;
            if (TindrelIR_transmitRaw(ch, s.durations.data(), s.durations.size(), 0, 0.0, s.gap) != TINDREL_OK) {
                // The worker never touches widgets: the detail goes to the
                // log on the main thread (dropped if the window is gone).
                const QString detail = lastErrorDetail().value_or(QStringLiteral("Raw transmit failed"));
                QMetaObject::invokeMethod(
                    this, [this, detail] { outputError(detail); }, Qt::QueuedConnection);
            }
            ++replayedSegments_;
        }
        replaying_ = false;
    });
}

void IRController::stopReplay()
{
    stopReplay_ = true;
    if (replay_.joinable())
        replay_.join();
}

void IRController::beforeTearDown() { stopReplay(); }

}   // namespace tindrel
