#pragma once

#include "ExampleWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tindrel {

// A tag reader: the tag in the field with its protocol, the antenna, and on
// readers that write, writing a string to the tag, optionally locking it.
class RFIDController : public ExampleWindowOf<RFIDController> {
public:
    RFIDController();

    void setAntennaEnabled();
    // Asks before locking; sends the text with the chosen protocol.
    void write();

    AttachBox *readBox;
    QLabel *readTagStringText = new QLabel(this);
    QLabel *readProtocolText = new QLabel(this);
    QCheckBox *antennaEnabledCheck = new QCheckBox(QStringLiteral("Antenna enabled"), this);
    QGroupBox *writeBox;
    QLineEdit *writeTagStringText = new QLineEdit(this);
    QComboBox *writeProtocolCombo = new QComboBox(this);
    QCheckBox *lockCheck = new QCheckBox(QStringLiteral("Lock tag"), this);
    QPushButton *writeButton = new QPushButton(QStringLiteral("Write"), this);

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;

private:
    void showTag(const TagEvent &e);
    ValueStream<TagEvent> &tag;
};

}   // namespace tindrel
