// raiseTool: carries out one privileged command per run for the control
// panel. Everything here is wiring; the decisions live in Tool.cpp.
#include "LinuxServices.h"
#include "Paths.h"
#include "PolkitAuthority.h"
#include "Tool.h"

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define RAISETOOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAISETOOL_ASAN 1
#endif
#endif

#ifdef RAISETOOL_ASAN
// Sanitizer builds only: the tool empties its environment, so suppressions
// cannot come from LSAN_OPTIONS. glib and polkit keep allocations for the
// life of the process; they are not the tool's leaks.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libglib-2.0\nleak:libgobject-2.0\nleak:libgio-2.0\nleak:libpolkit-gobject-1\n";
}
#endif

using namespace tindrel;
using namespace tindrel::platform::linux_impl;

int main(int argc, char **argv)
{
    // Before anything else: the caller controls our environment, descriptors,
    // limits and signals.
    if (!hardenProcess())
        return static_cast<int>(raisetool::Status::CannotStart);

    const auto mode = raisetool::runModeFromArguments(argc, argv);

    FdByteSource input(STDIN_FILENO);
    ProcSelfLocator self;
    PolkitAuthority authority;
    PkexecExecution privileged{std::string(paths::kPrivilegedExecutionProgram)};
    LinuxFiles files;
    ProgramServiceManager serviceManager{std::string(paths::kServiceManagerProgram)};
    PackageDriverLoader driver{std::string(paths::kDriverPackage), std::string(paths::kDriverLoaderProgram)};
    Syslog log("raiseTool");
    LinuxProcessIdentity identity;

    raisetool::Services services{input, self, authority, privileged, files, serviceManager, driver, log, identity};
    return raisetool::run(mode, services);
}
