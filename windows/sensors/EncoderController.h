#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"

#include <tindrel22.h>

#include <QLabel>

class QLineEdit;

namespace tindrel {

// Shows an encoder's counts, index position and, once the user has entered
// the counts per revolution, the shaft speed; sets its data interval, change
// trigger and, where the device has them, enable and I/O mode.
class EncoderController : public ExampleWindowOf<EncoderController> {
public:
    EncoderController();

    void onPositionChangeHandler(const EncoderEvent &change);
    // The counts-per-revolution field's action.
    void setCPR();
    int32_t countsPerRevolution() const { return countsPerRev_; }

    // Devices without an enable, devices with one, devices with I/O modes.
    static bool hasNoEnable(int deviceId) { return deviceId == 34 || deviceId == 42 || deviceId == 57; }
    static bool readsEnable(int deviceId) { return deviceId == 25 || deviceId == 60; }
    static bool hasIOMode(int deviceId) { return deviceId == 57 || deviceId == 60; }

    AttachBox *settingsBox;
    PropertySliderBox *changeTriggerBox;
    PropertySliderBox *dataIntervalBox;
    AttachBox *extraSettingsBox;
    PropertyCheck *enabledCheck;
    QLineEdit *countsPerRev;
    AttachBox *ioModeBox;
    PropertyPopup *ioModeCombo;
    AttachBox *dataBox;
    QLabel *positionChangeText;
    QLabel *timeChangeText;
    QLabel *positionText;
    QLabel *indexPositionText;
    QLabel *velocityText;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;

private:
    ValueStream<EncoderEvent> &positionChange;
    int32_t countsPerRev_ = -1;
    // An index pulse came with an event since the display last showed one.
    bool indexSeen_ = false;
};

}   // namespace tindrel
