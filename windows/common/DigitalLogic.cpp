#include "DigitalLogic.h"

namespace tindrel::digital {

QStringList forwardVoltageChoices(int deviceId)
{
    switch (deviceId) {
    case 16:
    case 17:
        return {QStringLiteral("1.7 V"), QStringLiteral("2.75 V"), QStringLiteral("3.9 V"), QStringLiteral("5.0 V")};
    case 71:
        return {QStringLiteral("3.2 V"), QStringLiteral("4.0 V"), QStringLiteral("4.8 V"), QStringLiteral("5.6 V")};
    default:
        return {};
    }
}

QString forwardVoltageTitleToSelect(int code)
{
    if (code >= 1 && code <= 7)
        return *titleForCode(forwardVoltages, code);
    return QStringLiteral("5.6 V");
}

bool hasDutyCycle(int channelSubclass) { return channelSubclass >= 16 && channelSubclass <= 18; }

int powerSupplyCodeForItem(int item) { return item == 0 ? 1 : item == 1 ? 2 : 3; }
int powerSupplyItemForCode(int code) { return code == 1 ? 0 : code == 2 ? 1 : 2; }
int inputModeCodeForItem(int item) { return item == 0 ? 1 : 2; }
int inputModeItemForCode(int code) { return code == 1 ? 0 : 1; }

}   // namespace tindrel::digital
