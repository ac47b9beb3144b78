// tindrel upgrade: needs the firmware catalogue and upgrade procedure.
#include "Commands.h"
#include "Exit.h"

namespace tindrel::cli {

int runUpgrade(Words)
{
    return report(kExitUnavailable, "upgrade: this build has no firmware catalogue; nothing was upgraded");
}

}   // namespace tindrel::cli
