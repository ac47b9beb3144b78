#include "FirmwareUpgrader.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <QFile>

#include "ChannelHandle.h"
#include "TindrelTreeNode.h"
#include "tindrel22.h"

namespace tindrel::fw {

namespace {

constexpr uint32_t kOpenMs = 1500;
constexpr uint32_t kLoaderOpenMs = 2500;
constexpr uint32_t kLoaderTimeoutMs = 1500;
// A second look for a device that was found in neither mode.
constexpr uint32_t kLookAgainMs = 500;
constexpr auto kPortOffPause = std::chrono::milliseconds(100);

const char *text(TindrelReturnCode rc)
{
    const char *t = Tindrel_strerror(rc);
    return t ? t : "unknown error";
}

// printf-style "%s"/"%d" filling for the console lines.
std::string fill(const char *format, const char *value)
{
    std::string s(format);
    const auto at = s.find("%s");
    if (at != std::string::npos)
        s.replace(at, 2, value);
    return s;
}

void onProgress(TindrelFirmwareUpgradeHandle, void *ctx, double progress)
{
    static_cast<ProgressTarget *>(ctx)->progressFromLibrary(progress);
}

bool readImage(const QString &path, std::vector<uint8_t> &buffer)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // One byte more than allowed tells a file that is too long.
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxImageBytes) + 1);
    if (bytes.isEmpty() || static_cast<size_t>(bytes.size()) > kMaxImageBytes)
        return false;
    buffer.assign(bytes.begin(), bytes.end());
    return true;
}

// A hub and the device on its port 0 have the same serial number and hub
// port, so a handle addressed at the one may find the other's loader: true
// when the attached loader is on a hub port exactly when the target is.
bool isTargetsLoader(TindrelHandle h, const UpgradeTarget &target)
{
    int32_t devClass = 0;
    if (Tindrel_getDeviceClass(h, &devClass) != TINDREL_OK)
        return true;   // nothing to tell them apart by
    return (devClass == TINDREL_DEVCLASS_XLNK) == (target.devClass == TINDREL_DEVCLASS_XLNK);
}

// At most this many other devices' loaders are passed over.
constexpr size_t kMaxPassedOver = 16;

// One attempt; on failure returns the console line (with %s for the code's text) and the code.
struct AttemptFailure {
    const char *format = nullptr;
    TindrelReturnCode rc = TINDREL_OK;
};

AttemptFailure attempt(const UpgradeTarget &target, const std::vector<uint8_t> &image, ProgressTarget *progress,
                       Console console)
{
    const auto makeLoader = [&target](ChannelHandle &h) {
        const TindrelReturnCode rc =
            h.create(ChannelHandle::opsFor<TindrelFirmwareUpgradeHandle, TindrelFirmwareUpgrade_create,
                                           TindrelFirmwareUpgrade_delete>());
        if (rc == TINDREL_OK)
            addressHandle(h.get(), target.address);
        return rc;
    };
    // Other devices' loaders, held open so that the next handle passes them over.
    std::vector<std::unique_ptr<ChannelHandle>> passedOver;
    auto loaderOwner = std::make_unique<ChannelHandle>();
    if (const TindrelReturnCode rc = makeLoader(*loaderOwner))
        return {"Error on fw wait for attach: %s\n", rc};
    // Finds the device running its own firmware (within openMs) and reboots it
    // into its loader; rebooted stays false when it was not found so (it may
    // be in its loader already).
    bool rebooted = false;
    const auto bootIntoLoader = [&](uint32_t openMs) -> AttemptFailure {
        ChannelHandle normal;
        const TindrelReturnCode made = normal.createOfClass(target.normalClass);
        if (made != TINDREL_OK)
            return {"Error on wait for attach (1): %s\n", made};
        if (target.devClass == TINDREL_DEVCLASS_XLNK)
            powerCycleHubPort(target, console);
        addressHandle(normal.get(), target.address);
        char line[96];
        std::snprintf(line, sizeof line, "Opening with serial: %d, hubport: %d\n", target.address.serial,
                      target.address.hubPort);
        console.out << line << std::flush;
        const TindrelReturnCode opened = Tindrel_openWaitForAttachment(normal.get(), openMs);
        if (opened != TINDREL_OK && opened != TINDREL_ETIMEDOUT)
            return {"Error on wait for attach (1): %s\n", opened};
        if (opened == TINDREL_OK) {
            console.out << "Rebooting into firmware upgrade mode...\n" << std::flush;
            if (TindrelReturnCode rc = Tindrel_rebootFirmwareUpgrade(normal.get(), kLoaderTimeoutMs))
                return {"Error rebooting into firmware upgrade mode: %s\n", rc};
            rebooted = true;
        }
        return {};
    };
    if (!target.showsLoader)
        if (const AttemptFailure f = bootIntoLoader(kOpenMs); f.format)
            return f;

    console.out << "Opening in firmware upgrade mode...\n" << std::flush;
    bool lookedAgain = false;
    for (;;) {
        const TindrelReturnCode rc = Tindrel_openWaitForAttachment(loaderOwner->get(), kLoaderOpenMs);
        if (rc == TINDREL_ETIMEDOUT && !target.showsLoader && !rebooted && !lookedAgain) {
            // Not running its firmware a moment ago, and no loader now: it
            // was leaving a loader it had been left in. Once more, from the top.
            lookedAgain = true;
            loaderOwner = std::make_unique<ChannelHandle>();
            if (const TindrelReturnCode made = makeLoader(*loaderOwner))
                return {"Error on fw wait for attach: %s\n", made};
            if (const AttemptFailure f = bootIntoLoader(kLookAgainMs); f.format)
                return f;
            if (!rebooted)
                return {"Error on fw wait for attach: %s\n", rc};
            console.out << "Opening in firmware upgrade mode...\n" << std::flush;
            continue;
        }
        if (rc)
            return {"Error on fw wait for attach: %s\n", rc};
        if (isTargetsLoader(loaderOwner->get(), target) || passedOver.size() == kMaxPassedOver)
            break;
        passedOver.push_back(std::move(loaderOwner));
        loaderOwner = std::make_unique<ChannelHandle>();
        if (const TindrelReturnCode made = makeLoader(*loaderOwner))
            return {"Error on fw wait for attach: %s\n", made};
    }
    passedOver.clear();
    ChannelHandle &loader = *loaderOwner;
    auto *fwHandle = loader.as<TindrelFirmwareUpgradeHandle>();
    if (progress) {
        TindrelFirmwareUpgrade_setOnProgressChangeHandler(fwHandle, &onProgress, progress);
        loader.addRemover([](TindrelHandle h) {
            TindrelFirmwareUpgrade_setOnProgressChangeHandler(reinterpret_cast<TindrelFirmwareUpgradeHandle>(h),
                                                              nullptr, nullptr);
        });
    }
    console.out << "Sending firmware to device...\n" << std::flush;
    if (TindrelReturnCode rc = TindrelFirmwareUpgrade_sendFirmware(fwHandle, image.data(), image.size()))
        return {"Error sending firmware to device: %s\n", rc};
    console.out << "Rebooting device...\n" << std::flush;
    if (target.devClass == TINDREL_DEVCLASS_XLNK && powerCycleHubPort(target, console))
        return {};
    if (TindrelReturnCode rc = Tindrel_reboot(loader.get()))
        return {"Error rebooting device: %s\n", rc};
    return {};
}

}   // namespace

UpgradeTarget UpgradeTarget::fromNode(const TindrelDevice &node)
{
    UpgradeTarget t;
    t.hasFirmwareUpgrade = node.hasFirmwareUpgrade();
    if (node.fw)
        t.fw = *node.fw;
    t.address.serial = node.devSerial;
    t.address.onHubPort = node.devClass == TINDREL_DEVCLASS_XLNK;
    t.address.hubPort = node.hubPort;
    t.address.isRemote = node.isRemote;
    t.address.serverName = node.serverName.toUtf8();
    t.devClass = node.devClass;
    const auto *first =
        node.children().empty() ? nullptr : dynamic_cast<const TindrelChannel *>(node.children().front().get());
    if (node.devClass == TINDREL_DEVCLASS_HUB)
        t.normalClass = TINDREL_CHCLASS_HUB;
    else if (first)
        t.normalClass = static_cast<Tindrel_ChannelClass>(first->chClass);
    t.showsLoader = first && first->chClass == TINDREL_CHCLASS_FIRMWAREUPGRADE;
    return t;
}

bool powerCycleHubPort(const UpgradeTarget &target, Console console)
{
    ChannelHandle hub;
    if (TindrelReturnCode rc =
            hub.create(ChannelHandle::opsFor<TindrelHubHandle, TindrelHub_create, TindrelHub_delete>())) {
        console.err << fill("Error on hub wait for attach: %s\n", text(rc)) << std::flush;
        return false;
    }
    Tindrel_setDeviceSerialNumber(hub.get(), target.address.serial);
    if (target.address.isRemote) {
        Tindrel_setIsRemote(hub.get(), 1);
        Tindrel_setServerName(hub.get(), target.address.serverName.constData());
    } else {
        Tindrel_setIsLocal(hub.get(), 1);
    }
    char line[64];
    std::snprintf(line, sizeof line, "Opening hub with serial: %d\n", target.address.serial);
    console.out << line << std::flush;
    if (TindrelReturnCode rc = Tindrel_openWaitForAttachment(hub.get(), kOpenMs)) {
        console.err << fill("Error on hub wait for attach: %s\n", text(rc)) << std::flush;
        return false;
    }
    console.out << "Power cycling hub port\n" << std::flush;
    auto *h = hub.as<TindrelHubHandle>();
    TindrelReturnCode rc = TindrelHub_setPortPower(h, target.address.hubPort, 0);
    if (rc == TINDREL_OK) {
        std::this_thread::sleep_for(kPortOffPause);
        rc = TindrelHub_setPortPower(h, target.address.hubPort, 1);
    }
    if (rc != TINDREL_OK) {
        console.err << fill("Error power cycling hub port: %s\n", text(rc)) << std::flush;
        return false;
    }
    return true;
}

bool upgradeFirmware(const UpgradeTarget &target, ProgressTarget *progress, Console console,
                     const std::atomic<bool> *cancel)
{
    if (!target.hasFirmwareUpgrade)
        return true;
    std::vector<uint8_t> image;
    if (!readImage(target.fw.filePath, image))
        return false;
    for (int budget = kRetries;; --budget) {
        const AttemptFailure failure = attempt(target, image, progress, console);
        if (!failure.format) {
            console.out << "Success!\n\n" << std::flush;
            return true;
        }
        console.err << fill(failure.format, text(failure.rc)) << std::flush;
        if (budget == 0 || (cancel && cancel->load())) {
            console.err << "Fail!\n\n" << std::flush;
            return false;
        }
        console.out << "Trying again...\n" << std::flush;
    }
}

}   // namespace tindrel::fw
