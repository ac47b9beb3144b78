#include "FirmwareLookup.h"

#include <chrono>
#include <thread>

#include "ChannelHandle.h"
#include "DeviceAddress.h"
#include "FirmwareCatalogue.h"
#include "TindrelTreeNode.h"
#include "tindrel22.h"

namespace tindrel::fw {

namespace {

constexpr uint32_t kLoaderOpenMs = 1000;
constexpr int kIdentityAsks = 100;
constexpr auto kIdentityPause = std::chrono::milliseconds(10);

// Opens the device's loader and reads the actual product code and identifier.
bool identifyLoaderDevice(TindrelHandle device, int32_t devClass, DeviceFirmwareId &id)
{
    DeviceAddress address;
    int isRemote = 0;
    if (Tindrel_getDeviceSerialNumber(device, &address.serial) != TINDREL_OK)
        return false;
    if (devClass == TINDREL_DEVCLASS_XLNK) {
        address.onHubPort = true;
        if (Tindrel_getHubPort(device, &address.hubPort) != TINDREL_OK)
            return false;
    }
    if (Tindrel_getIsRemote(device, &isRemote) != TINDREL_OK)
        return false;
    address.isRemote = isRemote != 0;
    if (address.isRemote) {
        const char *server = nullptr;
        if (Tindrel_getServerName(device, &server) != TINDREL_OK || !server)
            return false;
        address.serverName = server;
    }

    ChannelHandle loader;
    if (loader.create(ChannelHandle::opsFor<TindrelFirmwareUpgradeHandle, TindrelFirmwareUpgrade_create,
                                            TindrelFirmwareUpgrade_delete>()) != TINDREL_OK)
        return false;
    addressHandle(loader.get(), address);
    if (Tindrel_openWaitForAttachment(loader.get(), kLoaderOpenMs) != TINDREL_OK)
        return false;
    auto *h = loader.as<TindrelFirmwareUpgradeHandle>();
    TindrelReturnCode rc = TINDREL_EUNKNOWNVAL;
    for (int ask = 0; ask < kIdentityAsks; ++ask) {
        rc = TindrelFirmwareUpgrade_getActualDeviceXLNKID(h, &id.xlnkId);
        if (rc != TINDREL_EUNKNOWNVAL)
            break;
        std::this_thread::sleep_for(kIdentityPause);
    }
    if (rc != TINDREL_OK)
        return false;
    const char *sku = nullptr;
    if (TindrelFirmwareUpgrade_getActualDeviceSKU(h, &sku) != TINDREL_OK || !sku)
        return false;
    id.fwString = QString::fromUtf8(sku);
    return true;   // the loader handle is closed and deleted here
}

}   // namespace

std::optional<FirmwareUpgrade> latestFirmwareForTindrel(TindrelHandle device, const std::vector<FirmwareUpgrade> &list)
{
    int32_t devClass = 0, devId = 0;
    const char *fwString = nullptr;
    if (Tindrel_getDeviceClass(device, &devClass) != TINDREL_OK || Tindrel_getDeviceID(device, &devId) != TINDREL_OK ||
        Tindrel_getDeviceFirmwareUpgradeString(device, &fwString) != TINDREL_OK || !fwString)
        return std::nullopt;
    DeviceFirmwareId id;
    id.fwString = QString::fromUtf8(fwString);
    id.hubPortDevice = devClass == TINDREL_DEVCLASS_XLNK;
    if (TindrelDevice::isLoaderDeviceId(devId)) {
        if (!identifyLoaderDevice(device, devClass, id))
            return std::nullopt;
    } else if (id.hubPortDevice && Tindrel_getDeviceXLNKID(device, &id.xlnkId) != TINDREL_OK) {
        return std::nullopt;
    }
    return latestFirmware(id, list);
}

}   // namespace tindrel::fw
