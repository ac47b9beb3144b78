// tindrel upgrade in a build without the firmware folder.
#include "Commands.h"
#include "Exit.h"

namespace tindrel::cli {

int runUpgrade(Words)
{
    return report(kExitUnavailable, "upgrade: this build has no firmware catalogue; nothing was upgraded");
}

}   // namespace tindrel::cli
