// The decisions of raiseTool: which run this is, reading the authorization
// and the command block, choosing and checking the right, carrying out the
// command and mapping its result to the exit status. The operating system is
// reached only through the interfaces in SystemServices.h.
#pragma once

#include "Protocol.h"
#include "SystemServices.h"

#include <string>

namespace tindrel::raisetool {

enum class RunMode { Normal, SelfRepair, Refused };

// Exactly the program name gives a normal run, the program name plus
// "--self-repair" the repair run; anything else (including argc 0) is refused.
RunMode runModeFromArguments(int argc, const char *const *argv);

struct Services {
    platform::ByteSource &input;
    platform::SelfLocator &self;
    platform::Authority &authority;
    platform::PrivilegedExecution &privileged;
    platform::Files &files;
    platform::ServiceManager &serviceManager;
    platform::DriverLoader &driver;
    platform::SystemLog &log;
    platform::ProcessIdentity &identity;
};

// One whole run; returns the exit status.
int run(RunMode mode, Services &services);

// Reads until the buffer is full, the input ends or fails; retries
// interrupted reads. Returns the number of bytes read.
std::size_t readFully(platform::ByteSource &input, std::span<std::byte> buffer);

// The caller: the parent process and its start time, read so that a parent
// that changed while its record was read is noticed (then nothing).
std::optional<platform::ProcessSubject> identifyCaller(platform::ProcessIdentity &identity);

// Carries out one decoded block (after the block has been read) for the
// caller, including the right check and the allow-list. Exposed for the
// fuzzer and tests.
Status execute(const DecodedBlock &block, const platform::ProcessSubject &caller, Services &services);

// The mode the repair gives the tool's file.
mode_t repairedMode(mode_t mode);

// The system-log line for a failed delete; bytes outside printable ASCII in
// the path are shown as \xNN so a path cannot forge log lines.
std::string unlinkFailedMessage(std::string_view path, int error);

}   // namespace tindrel::raisetool
