#include "RFIDController.h"

#include "AlertService.h"
#include "CommsLogic.h"

#include <QFormLayout>

namespace tindrel {

using namespace comms;

RFIDController::RFIDController()
    : ExampleWindowOf(ChannelHandle::opsFor<TindrelRFIDHandle, TindrelRFID_create, TindrelRFID_delete>())
    , tag(addStream<TagEvent>(QStringLiteral("Tag"),
                              {{QStringLiteral("Tag present"), QString()}, {QStringLiteral("Protocol"), QString()}},
                              [this](const TagEvent &e) { showTag(e); }))
{
    setWindowTitle(QStringLiteral("RFID"));
    readBox = new AttachBox(QStringLiteral("Read"), this);
    auto *read = new QFormLayout(readBox);
    read->addRow(QStringLiteral("Tag:"), readTagStringText);
    read->addRow(QStringLiteral("Protocol:"), readProtocolText);
    read->addRow(antennaEnabledCheck);
    contentLayout()->addWidget(readBox);

    writeBox = new QGroupBox(QStringLiteral("Write"), this);
    auto *form = new QFormLayout(writeBox);
    form->addRow(QStringLiteral("Tag string:"), writeTagStringText);
    for (int code = 1; code <= 5; ++code)
        writeProtocolCombo->addItem(*rfidProtocolText(code));
    form->addRow(QStringLiteral("Protocol:"), writeProtocolCombo);
    form->addRow(lockCheck);
    form->addRow(writeButton);
    writeBox->hide();
    contentLayout()->addWidget(writeBox);

    connect(antennaEnabledCheck, &QCheckBox::clicked, this, &RFIDController::setAntennaEnabled);
    connect(writeButton, &QPushButton::clicked, this, &RFIDController::write);
}

void RFIDController::registerValueHandlers()
{
    subscribe(&TindrelRFID_setOnTagHandler, tag);
    subscribe(&TindrelRFID_setOnTagLostHandler, tag);
}

void RFIDController::onAttach()
{
    int enabled = 0;
    check(TindrelRFID_getAntennaEnabled(handle<TindrelRFIDHandle>(), &enabled));
    // The read-only reader never writes; the reader-writer always can;
    // other readers keep what they showed.
    if (identity().deviceId == 13)
        writeBox->hide();
    else if (identity().deviceId == 14)
        writeBox->show();
    antennaEnabledCheck->setChecked(enabled != 0);
}

void RFIDController::onDetach()
{
    readProtocolText->clear();
    readTagStringText->clear();
    writeTagStringText->clear();
    writeBox->hide();
}

void RFIDController::showTag(const TagEvent &e)
{
    if (!e.present) {
        readProtocolText->clear();
        readTagStringText->clear();
        return;
    }
    readTagStringText->setText(e.tag);
    if (const auto text = rfidProtocolText(e.protocol))
        readProtocolText->setText(*text);
}

void RFIDController::setAntennaEnabled()
{
    check(TindrelRFID_setAntennaEnabled(handle<TindrelRFIDHandle>(), antennaEnabledCheck->isChecked() ? 1 : 0));
}

void RFIDController::write()
{
    if (!hasChannel())
        return;
    if (lockCheck->isChecked()) {
        AlertService *alerts = alertService();
        const int answer = !alerts ? 1
                                   : alerts->askAlert(this, QString::fromLatin1(rfidLockWarning), QString(),
                                                      {QStringLiteral("OK"), QStringLiteral("Cancel")});
        if (answer != 0) {
            lockCheck->setChecked(false);
            return;
        }
    }
    const QByteArray text = writeTagStringText->text().toUtf8();
    if (check(TindrelRFID_write(handle<TindrelRFIDHandle>(), text.constData(),
                                rfidProtocolOfIndex(writeProtocolCombo->currentIndex()),
                                lockCheck->isChecked() ? 1 : 0)))
        lockCheck->setChecked(false);
}

}   // namespace tindrel
