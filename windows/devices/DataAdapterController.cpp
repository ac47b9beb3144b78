#include "DataAdapterController.h"

#include "CodePopup.h"
#include "DisplayLogic.h"

#include <tindrel22.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tindrel {

using namespace displays;

namespace {

// The largest reply an SPI command waits for.
constexpr size_t spiReplyCapacity = 8;

}   // namespace

DataAdapterController::DataAdapterController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelDataAdapterHandle, TindrelDataAdapter_create, TindrelDataAdapter_delete>(),
          Form::View, parent)
    , configBox(new AttachBox(QStringLiteral("Bus Settings"), this))
    , spiPanel(new QWidget(configBox))
    , voltageCombo(new CodePopup(adapterVoltages, configBox))
    , frequencyCombo(new CodePopup(adapterFrequencies, configBox))
    , modeCombo(new CodePopup(spiModes, spiPanel))
    , chipselectCombo(new CodePopup(chipSelects, spiPanel))
    , endiannessPanel(new QWidget(configBox))
    , msbRadio(new QRadioButton(QStringLiteral("MSB First"), endiannessPanel))
    , lsbRadio(new QRadioButton(QStringLiteral("LSB First"), endiannessPanel))
    , controlsBox(new AttachBox(QStringLiteral("Commands"), this))
    , addressPanel(new QWidget(controlsBox))
    , addressTxt(new QLineEdit(addressPanel))
    , txTable(new QTableWidget(controlsBox))
    , addRow(new QPushButton(QStringLiteral("Add"), controlsBox))
    , removeRow(new QPushButton(QStringLiteral("Remove"), controlsBox))
    , receivedBox(new AttachBox(QStringLiteral("Sent and Received"), this))
    , rxTable(new QTableWidget(0, 2, receivedBox))
    , clearRxTable(new QPushButton(QStringLiteral("Clear"), receivedBox))
{
    setWindowTitle(QStringLiteral("Data Adapter"));
    setWidthTo(814);
    voltageCombo->setTitles(voltageTitles());
    modeCombo->showWholeTable();
    chipselectCombo->showWholeTable();
    auto *spiForm = new QFormLayout(spiPanel);
    spiForm->setContentsMargins(0, 0, 0, 0);
    spiForm->addRow(QStringLiteral("SPI Mode:"), modeCombo);
    spiForm->addRow(QStringLiteral("Chip Select:"), chipselectCombo);
    auto *radios = new QHBoxLayout(endiannessPanel);
    radios->setContentsMargins(0, 0, 0, 0);
    radios->addWidget(msbRadio);
    radios->addWidget(lsbRadio);
    msbRadio->setChecked(true);
    auto *config = new QFormLayout(configBox);
    config->addRow(QStringLiteral("Voltage:"), voltageCombo);
    config->addRow(QStringLiteral("Frequency:"), frequencyCombo);
    config->addRow(spiPanel);
    config->addRow(QStringLiteral("Bit Order:"), endiannessPanel);
    contentLayout()->addWidget(configBox);

    auto *addressRow = new QFormLayout(addressPanel);
    addressRow->setContentsMargins(0, 0, 0, 0);
    addressRow->addRow(QStringLiteral("Address:"), addressTxt);
    addressTxt->setPlaceholderText(QStringLiteral("0x48"));
    auto *controls = new QVBoxLayout(controlsBox);
    controls->addWidget(addressPanel);
    controls->addWidget(txTable);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(addRow);
    rowButtons->addWidget(removeRow);
    controls->addLayout(rowButtons);
    contentLayout()->addWidget(controlsBox);

    rxTable->setHorizontalHeaderLabels({QStringLiteral("Sent"), QStringLiteral("Reply")});
    rxTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rxTable->horizontalHeader()->setStretchLastSection(true);
    auto *received = new QVBoxLayout(receivedBox);
    received->addWidget(rxTable);
    received->addWidget(clearRxTable);
    contentLayout()->addWidget(receivedBox);

    auto setter = [this](auto set) {
        return [this, set](int code) { check(set(handle<TindrelDataAdapterHandle>(), code)); };
    };
    connect(voltageCombo, &CodePopup::codeChosen, this, setter([](TindrelDataAdapterHandle h, int code) {
                return TindrelDataAdapter_setDataAdapterVoltage(h, static_cast<Tindrel_DataAdapterVoltage>(code));
            }));
    connect(frequencyCombo, &CodePopup::codeChosen, this, setter([](TindrelDataAdapterHandle h, int code) {
                return TindrelDataAdapter_setFrequency(h, static_cast<Tindrel_DataAdapterFrequency>(code));
            }));
    connect(modeCombo, &CodePopup::codeChosen, this, setter([](TindrelDataAdapterHandle h, int code) {
                return TindrelDataAdapter_setSPIMode(h, static_cast<Tindrel_SPIMode>(code));
            }));
    connect(chipselectCombo, &CodePopup::codeChosen, this, setter([](TindrelDataAdapterHandle h, int code) {
                return TindrelDataAdapter_setSPIChipSelect(h, static_cast<Tindrel_SPIChipSelect>(code));
            }));
    connect(msbRadio, &QRadioButton::clicked, this, [this] { setEndianness(msbRadio->text()); });
    connect(lsbRadio, &QRadioButton::clicked, this, [this] { setEndianness(lsbRadio->text()); });
    connect(addRow, &QPushButton::clicked, this, &DataAdapterController::addRowClick);
    connect(removeRow, &QPushButton::clicked, this, &DataAdapterController::removeRowClick);
    connect(clearRxTable, &QPushButton::clicked, this, &DataAdapterController::clearRXTableClick);
    connect(txTable, &QTableWidget::cellChanged, this, &DataAdapterController::cellEdited);
}

void DataAdapterController::onAttach()
{
    const int id = identity().deviceId;
    if (id == i2cAdapterId || id == spiAdapterId) {
        const bool spi = id == spiAdapterId;
        spiPanel->setVisible(spi);
        endiannessPanel->setVisible(spi);
        addressPanel->setVisible(!spi);
        voltageCombo->setTitles(voltageTitles());
        frequencyCombo->setTitles(spi ? spiFrequencyTitles() : i2cFrequencyTitles());
        initializeCommandTable(spi);
        // Show the clock the adapter runs at; nothing is sent until the user picks.
        Tindrel_DataAdapterFrequency frequency{};
        if (check(TindrelDataAdapter_getFrequency(handle<TindrelDataAdapterHandle>(), &frequency)))
            frequencyCombo->selectCode(static_cast<int>(frequency));
    }
    voltageCombo->setCurrentIndex(0);
    chipselectCombo->setCurrentIndex(0);
    modeCombo->setCurrentIndex(0);
}

void DataAdapterController::sizeWindow(SizingMoment moment)
{
    switch (moment) {
    case SizingMoment::Open:
        ExampleWindow::sizeWindow(moment);
        break;
    case SizingMoment::Attach:
        setFrameSizeKeepingOrigin(QSize(814, 804));
        break;
    case SizingMoment::Detach:
        setFrameSizeKeepingOrigin(QSize(814, 150));
        break;
    }
}

void DataAdapterController::onDetach()
{
    txCommands_.clear();
    rxCommands_.clear();
    reloadTx();
    reloadRx();
}

void DataAdapterController::setEndianness(const QString &title)
{
    if (const auto code = codeForTitle(bitOrders, title))
        check(TindrelDataAdapter_setEndianness(handle<TindrelDataAdapterHandle>(),
                                               static_cast<Tindrel_DataAdapterEndianness>(*code)));
}

void DataAdapterController::initializeCommandTable(bool spi)
{
    isSPI_ = spi;
    txTable->clear();
    txTable->setColumnCount(3);
    txTable->setHorizontalHeaderLabels({QStringLiteral("Data"),
                                        spi ? QStringLiteral("Wait for Response?") : QStringLiteral("Reply Bytes"),
                                        QStringLiteral("Send")});
    txTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    reloadTx();
}

void DataAdapterController::reloadTx()
{
    reloading_ = true;
    txTable->setRowCount(static_cast<int>(txCommands_.size()));
    for (int row = 0; row < static_cast<int>(txCommands_.size()); ++row) {
        const Command &c = txCommands_[static_cast<size_t>(row)];
        txTable->setItem(row, 0, new QTableWidgetItem(c.command));
        if (isSPI_) {
            auto *box = new QCheckBox;
            box->setChecked(c.waitForReply == QLatin1String("1"));
            connect(box, &QCheckBox::toggled, this, [this, row](bool on) {
                if (row < static_cast<int>(txCommands_.size()))
                    txCommands_[static_cast<size_t>(row)].waitForReply = on ? QStringLiteral("1") : QStringLiteral("0");
            });
            txTable->setItem(row, 1, nullptr);
            txTable->setCellWidget(row, 1, box);
        } else {
            txTable->removeCellWidget(row, 1);
            txTable->setItem(row, 1, new QTableWidgetItem(c.waitForReply));
        }
        auto *send = new QPushButton(QStringLiteral("Send"));
        connect(send, &QPushButton::clicked, this, [this, row] { sendCommand(row); });
        txTable->setCellWidget(row, 2, send);
    }
    reloading_ = false;
}

void DataAdapterController::reloadRx()
{
    rxTable->setRowCount(static_cast<int>(rxCommands_.size()));
    for (int row = 0; row < static_cast<int>(rxCommands_.size()); ++row) {
        rxTable->setItem(row, 0, new QTableWidgetItem(rxCommands_[static_cast<size_t>(row)].sent));
        rxTable->setItem(row, 1, new QTableWidgetItem(rxCommands_[static_cast<size_t>(row)].reply));
    }
    rxTable->scrollToBottom();
}

void DataAdapterController::cellEdited(int row, int column)
{
    if (reloading_ || row < 0 || row >= static_cast<int>(txCommands_.size()))
        return;
    const QString text = txTable->item(row, column) ? txTable->item(row, column)->text() : QString();
    if (column == 0)
        txCommands_[static_cast<size_t>(row)].command = text;
    else if (column == 1)
        txCommands_[static_cast<size_t>(row)].waitForReply = text;
}

void DataAdapterController::addRowClick()
{
    txCommands_.push_back({QString::asprintf("Command %lu", static_cast<unsigned long>(txCommands_.size() + 1)),
                           isSPI_ ? QStringLiteral("0") : QStringLiteral("0")});
    reloadTx();
}

void DataAdapterController::removeRowClick()
{
    if (txCommands_.empty())
        return;
    txCommands_.pop_back();
    reloadTx();
}

void DataAdapterController::clearRXTableClick()
{
    rxCommands_.clear();
    reloadRx();
}

void DataAdapterController::sendCommand(int row)
{
    if (row < 0 || row >= static_cast<int>(txCommands_.size()))
        return;
    const Command cmd = txCommands_[static_cast<size_t>(row)];
    const auto h = handle<TindrelDataAdapterHandle>();
    int32_t id = 0;
    if (!check(Tindrel_getDeviceID(reinterpret_cast<TindrelHandle>(h), &id)))
        return;
    if (id == spiAdapterId) {
        const auto bytes = parseHexCommand(cmd.command);
        if (!bytes) {
            outputError(QStringLiteral("Failed to parse command."));
            return;
        }
        const auto *data = reinterpret_cast<const uint8_t *>(bytes->constData());
        const auto length = static_cast<size_t>(bytes->size());
        if (cmd.waitForReply != QLatin1String("1")) {
            if (check(TindrelDataAdapter_sendPacket(h, data, length)))
                rxCommands_.push_back({cmd.command, QStringLiteral("N/A")});
        } else {
            uint8_t reply[spiReplyCapacity] = {};
            size_t replyLength = sizeof reply;
            if (check(TindrelDataAdapter_sendPacketWaitResponse(h, data, length, reply, &replyLength)))
                rxCommands_.push_back({cmd.command, hexReply(reply, std::min(replyLength, sizeof reply))});
        }
    } else if (id == i2cAdapterId) {
        bool ok = false;
        const int count = cmd.waitForReply.trimmed().toInt(&ok);
        if (!ok || count < 0) {
            outputError(
                QStringLiteral("Reply bytes must be a whole number of 0 or more, not \"%1\".").arg(cmd.waitForReply));
            return;
        }
        std::vector<uint8_t> reply(static_cast<size_t>(count));
        const auto bytes = parseHexCommand(cmd.command);
        if (!bytes) {
            outputError(QStringLiteral("Failed to parse command."));
            return;
        }
        const uint32_t address = parseI2CAddress(addressTxt->text());
        size_t replyLength = reply.size();
        if (check(TindrelDataAdapter_i2cSendReceive(h, address, reinterpret_cast<const uint8_t *>(bytes->constData()),
                                                    static_cast<size_t>(bytes->size()), reply.data(), &replyLength)))
            // Every byte that came back, not only the first.
            rxCommands_.push_back({cmd.command, hexReply(reply.data(), std::min(replyLength, reply.size()))});
    } else {
        return;
    }
    reloadRx();
}

}   // namespace tindrel
