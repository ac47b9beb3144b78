// Linux implementations of the server administration services.
#pragma once

#include "ServerServices.h"

#include <string>

namespace tindrel::platform::linux_impl {

// Reads /proc. A record's name is the kernel's command name (at most 15
// characters), widened to the base name of the command line's first word
// when that begins with the kernel's name, so that names longer than 15
// characters can be compared in full. Zombies are not live processes.
class ProcProcessTable : public ProcessTable {
public:
    explicit ProcProcessTable(std::string procRoot = "/proc")
        : root_(std::move(procRoot))
    { }
    std::optional<std::vector<ProcessRecord>> snapshot() override;

private:
    std::string root_;
};

// The name a /proc entry stands for, from its stat and cmdline texts;
// nothing for a zombie or an unparsable stat line.
std::optional<std::string> processNameFrom(std::string_view statText, std::string_view cmdline);

// fork and execve of a fixed helper path; SIGPIPE is ignored by the process
// from the first run on, so a helper that dies early cannot kill the panel.
class ForkHelperLauncher : public HelperLauncher {
public:
    explicit ForkHelperLauncher(std::string helperPath)
        : path_(std::move(helperPath))
    { }
    HelperOutcome runOnce(std::span<const std::byte> input) override;

private:
    std::string path_;
};

class RealSleeper : public Sleeper {
public:
    void sleepMs(int ms) override;
};

}   // namespace tindrel::platform::linux_impl
