#pragma once

#include "DisplayLogic.h"
#include "ExampleWindow.h"

class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableWidget;
class QTabWidget;

namespace tindrel {

class CodePopup;
class DisplayPreview;

// An addressable LED array: colour order, gamma, power, brightness and
// clearing; one colour over an address range (basic tab) or a pattern of
// per-LED colours sent with a fade time (advanced tab).
class LEDArrayController : public ExampleWindowOf<LEDArrayController> {
    Q_OBJECT
public:
    explicit LEDArrayController(QWidget *parent = nullptr);

    // Configuration actions.
    void setColorOrder();
    void setGamma(int sliderValue);
    void togglePower();
    void clearLEDs();
    void setBrightness(int sliderValue);

    // Basic tab: the colour chosen in the colour panel.
    void basicColorPicked(const QColor &color);
    // Advanced tab.
    void addPatternRow();
    void removePatternRow();
    void setPatternColor(int row, const QColor &color);
    void sendPattern();
    const std::vector<displays::LedEntry> &entries() const { return entries_; }

    AttachBox *configBox;
    CodePopup *colorOrderCmb;
    QSlider *gammaTrk;
    QLabel *gammaTxt;
    QPushButton *powerBtn;
    QPushButton *clearBtn;
    QSlider *brightnessTrk;
    QTabWidget *tabs;
    // Basic tab.
    QSpinBox *startAddressField;
    QSpinBox *endAddressField;
    QPushButton *colorBox;
    QLabel *colorHexBox;
    // Advanced tab.
    QSpinBox *advStarAddr;
    QSpinBox *advEndAddress;
    QTableWidget *patternBuilderTable;
    QPushButton *patternAddRow;
    QPushButton *patternRemoveRow;
    QPushButton *sendPatternBtn;
    QSpinBox *fadeTimeTxt;
    DisplayPreview *preview;

protected:
    void onAttach() override;
    void onDetach() override;
    void beforeTearDown() override;
    void sizeWindow(SizingMoment moment) override;

private:
    void send(const displays::LedSend &leds);
    void reloadPattern();
    void pickColorFor(int row);

    std::vector<displays::LedEntry> entries_;
};

}   // namespace tindrel
