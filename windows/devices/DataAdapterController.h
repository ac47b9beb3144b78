#pragma once

#include "ExampleWindow.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tindrel {

class CodePopup;

// An SPI or I2C bus adapter: bus voltage, clock and the SPI options, a list
// of commands typed as hexadecimal bytes, each sent with its button, and a
// log of what was sent and what came back.
class DataAdapterController : public ExampleWindowOf<DataAdapterController> {
    Q_OBJECT
public:
    explicit DataAdapterController(QWidget *parent = nullptr);

    struct Command {
        QString command;
        QString waitForReply;   // SPI: "1" waits for a reply; I2C: the reply byte count
    };
    struct LogEntry {
        QString sent;
        QString reply;
    };

    void addRowClick();
    void removeRowClick();
    void clearRXTableClick();
    void sendCommand(int row);

    const std::vector<Command> &txCommands() const { return txCommands_; }
    const std::vector<LogEntry> &rxCommands() const { return rxCommands_; }
    bool isSPI() const { return isSPI_; }

    AttachBox *configBox;
    QWidget *spiPanel;
    CodePopup *voltageCombo;
    CodePopup *frequencyCombo;
    CodePopup *modeCombo;
    CodePopup *chipselectCombo;
    QWidget *endiannessPanel;
    QRadioButton *msbRadio;
    QRadioButton *lsbRadio;
    AttachBox *controlsBox;
    QWidget *addressPanel;
    QLineEdit *addressTxt;
    QTableWidget *txTable;
    QPushButton *addRow;
    QPushButton *removeRow;
    AttachBox *receivedBox;
    QTableWidget *rxTable;
    QPushButton *clearRxTable;

protected:
    void onAttach() override;
    void onDetach() override;
    void sizeWindow(SizingMoment moment) override;

private:
    void initializeCommandTable(bool spi);
    void reloadTx();
    void reloadRx();
    void cellEdited(int row, int column);
    void setEndianness(const QString &title);

    bool isSPI_ = false;
    bool reloading_ = false;
    std::vector<Command> txCommands_;
    std::vector<LogEntry> rxCommands_;
};

}   // namespace tindrel
