#pragma once

#include "ScaledPicture.h"

#include <tindrel22_core.h>

#include <QWidget>

class QLabel;

namespace tindrel {

struct WindowEnvironment;
class AlertService;

// The device information box at the top of every example window: device
// name, version, serial number (the hub's for a device on a hub port), hub
// port, channel, remote marker and product picture. Also opens channels with
// the open settings (openCmdLine).
class TindrelInfoBox : public QWidget {
    Q_OBJECT
public:
    explicit TindrelInfoBox(QWidget *parent = nullptr);

    // Fills the box from an attached channel, or clears it with nullptr.
    void fillTindrelInfo(TindrelHandle ch);
    // Shows the product picture of the channel's device (the hub's for a
    // port-mode channel); a product without a picture leaves it empty.
    void setPicture(TindrelHandle ch);

    // Applies the open settings (user defaults, then arguments) to a created,
    // not yet opened handle and opens it. Each failing setting gets an alert,
    // then the usage alert, and the channel is not opened. Returns whether
    // the open was started.
    static bool openCmdLine(TindrelHandle ch, const WindowEnvironment &env, QWidget *alertParent);
    // Alert with the library's explanation of the last failure.
    static void error(TindrelReturnCode code, AlertService &alerts, QWidget *alertParent);

    QLabel *deviceTxt;
    QLabel *versionTxt;
    QLabel *channelTxt;
    QLabel *serialNumTxt;
    QLabel *serialNumLbl;
    QLabel *hubPortTxt;
    QLabel *hubPortLbl;
    QLabel *remoteLbl;
    ScaledPicture *pictureBox;
};

// The same box as embedded by view-form windows.
class TindrelInfoBoxN : public TindrelInfoBox {
    Q_OBJECT
public:
    using TindrelInfoBox::TindrelInfoBox;
};

}   // namespace tindrel
