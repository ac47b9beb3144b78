#pragma once

#include <cstdint>
#include <optional>

#include <QString>

// One shipped firmware image, catalogued from its file name. The tree keeps a
// copy of the newest matching record on each device node (TindrelDevice::fw);
// the catalogue that builds these records lives with the firmware code.
struct FirmwareUpgrade {
    std::optional<QString> fwString;   // family name; absent for unknown suffixes
    int32_t version = 0;               // three decimal digits, hundreds = major
    uint32_t xlnkId = 0;               // device identifier of hub-port device images
    bool isXlnk = false;               // true for hub-port device images
    QString filePath;
};
