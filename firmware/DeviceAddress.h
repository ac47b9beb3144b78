#pragma once

#include <cstdint>

#include <QByteArray>

#include "tindrel22_core.h"

namespace tindrel::fw {

// Where a device is, for addressing a fresh handle at it.
struct DeviceAddress {
    int32_t serial = 0;
    bool onHubPort = false;   // device class 21: the hub port counts
    int hubPort = 0;
    bool isRemote = false;
    QByteArray serverName;   // UTF-8; remote devices only
};

// Sets serial number, hub port, and remote or local on a handle not yet
// open. A local device is asked for as local, so a twin with the same serial
// number on a network server is never opened in its place.
inline void addressHandle(TindrelHandle h, const DeviceAddress &a)
{
    Tindrel_setDeviceSerialNumber(h, a.serial);
    Tindrel_setHubPort(h, a.onHubPort ? a.hubPort : 0);
    Tindrel_setIsRemote(h, a.isRemote ? 1 : 0);
    if (a.isRemote)
        Tindrel_setServerName(h, a.serverName.constData());
    else
        Tindrel_setIsLocal(h, 1);
}

}   // namespace tindrel::fw
