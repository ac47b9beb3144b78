#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

namespace tindrel::fw {

// What the double-click on a device with a firmware upgrade asks.
struct DecisionInput {
    bool isRemote = false;
    int32_t serverMajor = 0;
    int32_t serverMinor = 0;
    int32_t devId = 0;
    int32_t devClass = 0;
    int32_t deviceVersion = 0;
    int32_t imageVersion = 0;
};

struct UpgradeDecision {
    enum class Kind {
        Refuse,   // an alert with one default button; no upgrade and no window
        Ask       // a prompt; upgradeButton starts the upgrade, any other declines
    };
    Kind kind = Kind::Ask;
    QString title;
    QString text;
    QStringList buttons;   // the first is the default
    int upgradeButton = -1;
};

// The server is older than 2.3 and the image needs a newer one.
bool needsNewerServer(const DecisionInput &in);

UpgradeDecision upgradeDecision(const DecisionInput &in);

}   // namespace tindrel::fw
