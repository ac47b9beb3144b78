// Narrow interfaces to the operating-system services that the control
// panel's server administration needs: the process table, running the
// privileged helper, the panel lock's authority and opening a URL. Linux
// implementations in linux/, fakes in fakes/.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel::platform {

struct ProcessRecord {
    pid_t pid = 0;
    std::string name;   // the program's name (not cut to the kernel's 15 characters)
};

class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Every live process; nothing when the table cannot be read.
    virtual std::optional<std::vector<ProcessRecord>> snapshot() = 0;
};

// One run of the privileged helper: started with no arguments and an empty
// environment, the input written to its standard input, which is then
// closed, and waited for.
struct HelperOutcome {
    enum class Kind { NotRun, Exited, Signalled };
    Kind kind = Kind::NotRun;
    int status = 0;   // exit status when Exited
};

class HelperLauncher {
public:
    virtual ~HelperLauncher() = default;
    virtual HelperOutcome runOnce(std::span<const std::byte> input) = 0;
};

// The authority behind the panel's lock (one named right for this process).
class PanelAuthority {
public:
    virtual ~PanelAuthority() = default;
    // Blocking: true only on an explicit yes. With interaction the system may
    // ask the user for an administrator's credentials.
    virtual bool isAuthorized(bool allowInteraction) = 0;
    // Forgets any authorization the system keeps for this process.
    virtual void revoke() = 0;
};

class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleepMs(int ms) = 0;
};

}   // namespace tindrel::platform
