// The tindrelsim tool: command line, finding the socket, one exchange.
#ifndef TINDREL_CONTROL_CLIENT_H
#define TINDREL_CONTROL_CLIENT_H

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control_paths.h"

namespace tindrel::control {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // an error reply, or no server to talk to
inline constexpr int kExitUsage = 2;    // bad arguments

struct CommandLine {
    enum class Kind { Run, Help, Usage } kind = Kind::Usage;
    std::string error;          // for Usage
    std::string socketPath;     // --socket
    std::optional<pid_t> pid;   // --pid
    std::string requestLine;    // the encoded request
};

// Parses the arguments after the program name. Relative rig file paths are
// made absolute against cwd, since the server runs elsewhere.
CommandLine parseCommandLine(const std::vector<std::string> &args, const std::string &cwd);

std::string usageText();

struct Exchange {
    bool delivered = false;
    std::string reply;   // the reply line, without its newline
    std::string error;   // why nothing was delivered
};

// Sends one request line and reads the reply line.
Exchange exchange(const std::string &socketPath, const std::string &requestLine, std::chrono::milliseconds timeout);

// The whole tool: returns its exit status.
int runTool(const std::vector<std::string> &args, const SocketEnvironment &env, const std::string &cwd,
            std::ostream &out, std::ostream &err);

}   // namespace tindrel::control

#endif
