// tindrel22-driver-load PACKAGE: installs the device access rule of the
// driver package and has udev apply it. Run as root by raiseTool; the exit
// status is the result (see DeviceAccess.h).
#include "DeviceAccess.h"
#include "LinuxServices.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tindrel22-driver-load PACKAGE\n");
        return 4;
    }
    return tindrel::server::installDeviceAccess("/", argv[1], [](const std::vector<std::string> &args) {
        const auto r = tindrel::platform::linux_impl::runProgramAndWait(args.front(), args);
        return r.started && r.exit.waited && r.exit.exitedNormally ? r.exit.status : -1;
    });
}
