#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "FirmwareUpgrade.h"

namespace tindrel::fw {

// One record from one image file name (the last path component is read):
//   <family>_..<5 hex id><2 any><3 digit version>.bin.obf   hub-port device image
//   <family><1 any><3 digit version>.bin.rc4                 other devices
// Any other suffix gives a record without a family name, which never
// matches a device. A name too short for its layout, or whose version or
// identifier is not a number, gives no record.
std::optional<FirmwareUpgrade> initWithFile(const QString &path);

// Every file of the folder, in the order the listing gives them, catalogued.
std::vector<FirmwareUpgrade> loadFirmwares(const QString &folder);

// What a device reports about itself for choosing its image.
struct DeviceFirmwareId {
    QString fwString;             // firmware-upgrade string (or a loader's actual product code)
    bool hubPortDevice = false;   // device class 21: the identifier must match too
    uint32_t xlnkId = 0;
};

// The candidate of highest version (the first met among equals), or none.
std::optional<FirmwareUpgrade> latestFirmware(const DeviceFirmwareId &device, const std::vector<FirmwareUpgrade> &list);

}   // namespace tindrel::fw
