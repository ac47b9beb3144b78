#include "UpgradeDecision.h"

#include "tindrel22_core.h"

namespace tindrel::fw {

bool needsNewerServer(const DecisionInput &in)
{
    if (!in.isRemote)
        return false;
    const bool oldServer = in.serverMajor < 2 || (in.serverMajor == 2 && in.serverMinor <= 2);
    if (!oldServer)
        return false;
    return (in.devId == 64 && in.imageVersion > 299) || (in.devId == 67 && in.imageVersion > 199) ||
           (in.devId == 123 && in.imageVersion >= 200);
}

UpgradeDecision upgradeDecision(const DecisionInput &in)
{
    UpgradeDecision d;
    if (needsNewerServer(in)) {
        d.kind = UpgradeDecision::Kind::Refuse;
        d.title = QStringLiteral("Upgrade Required");
        d.text = QStringLiteral("The Tindrel Network Server and libraries must be upgraded (on the remote machine) to "
                                "support the latest firmware release for this Tindrel.");
        d.buttons = {QStringLiteral("OK")};
        return d;
    }
    if (in.devClass == TINDREL_DEVCLASS_FIRMWARE_UPGRADE) {
        d.title = QStringLiteral("Firmware Restore");
        d.text = QStringLiteral("This device is in restore mode, firmware should be restored.");
        d.buttons = {QStringLiteral("Restore"), QStringLiteral("Don't Restore")};
        d.upgradeButton = 0;
        return d;
    }
    d.title = QStringLiteral("Firmware Upgrade");
    if (in.imageVersion / 100 == in.deviceVersion / 100) {
        d.text = QStringLiteral("There is a firmware upgrade available for this device.");
        d.buttons = {QStringLiteral("Upgrade"), QStringLiteral("Don't Upgrade")};
        d.upgradeButton = 0;
    } else {
        d.text = QStringLiteral("There is a major firmware upgrade available for this device, which may be "
                                "incompatible with existing code/software. Review the product page, and ensure all "
                                "software has been updated before continuing.");
        // The safe choice is the default here.
        d.buttons = {QStringLiteral("Don't Upgrade"), QStringLiteral("Upgrade")};
        d.upgradeButton = 1;
    }
    return d;
}

}   // namespace tindrel::fw
