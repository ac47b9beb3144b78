#pragma once

#include "ExampleWindow.h"

#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tindrel {

class CodePopup;
class DisplayPreview;
class SliderRow;

// A character display: up to four typed rows, contrast, backlight, cursor,
// custom characters and, on the adapter for separate displays, the screen size.
class TextLCDController : public ExampleWindowOf<TextLCDController> {
    Q_OBJECT
public:
    explicit TextLCDController(QWidget *parent = nullptr);

    // Actions.
    void rowEdited(int row);
    void setScreenSize();
    void initialize();
    void clear();
    void setCursor(bool on);
    void setCursorBlink(bool on);
    void setCustomCharacters(bool on);
    // Enables the rows the display has.
    void updateDisplay();

    AttachBox *settingsBox;
    QWidget *inputView;
    std::array<QLineEdit *, 4> inputText{};
    SliderRow *contrastSlider;
    SliderRow *backlightSlider;
    AttachBox *screenBox;   // adapter for separate displays only
    CodePopup *screenSizeCombo;
    QPushButton *initButton;
    QCheckBox *cursorCheck;
    QCheckBox *cursorBlinkCheck;
    QCheckBox *customCharactersCheck;
    QPushButton *clearButton;
    DisplayPreview *preview;

protected:
    void onAttach() override;
    void onDetach() override;
};

}   // namespace tindrel
