// tindrel22-service: the service manager that raiseTool runs as root for
// the service command (see ServiceControl.h).
#include "LinuxServices.h"
#include "Paths.h"
#include "ServiceControl.h"

#include <cstdio>
#include <memory>

using namespace tindrel;

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const server::ServiceSetup setup = server::networkServerSetup();
    std::unique_ptr<server::ServiceBackend> backend;
    if (server::systemdIsInit()) {
        backend = std::make_unique<server::SystemdBackend>(
            setup, std::string(paths::kSystemctlProgram), [](const std::vector<std::string> &a) {
                const auto r = platform::linux_impl::runProgramAndWait(a.front(), a);
                return r.started && r.exit.waited && r.exit.exitedNormally ? r.exit.status : -1;
            });
    } else {
        backend = std::make_unique<server::Supervisor>(setup);
    }
    std::string error;
    const int status = server::runServiceVerb(setup, *backend, args, error);
    if (!error.empty())
        std::fprintf(stderr, "tindrel22-service: %s\n", error.c_str());
    return status;
}
