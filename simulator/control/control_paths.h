// Where control sockets live and how the tool finds the one to talk to.
//
// A process listens on $XDG_RUNTIME_DIR/tindrelsim-<pid>.sock, or on
// /tmp/tindrelsim-<uid>-<pid>.sock when XDG_RUNTIME_DIR is unset (or not an
// absolute path).
#ifndef TINDREL_CONTROL_PATHS_H
#define TINDREL_CONTROL_PATHS_H

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel::control {

struct SocketEnvironment {
    std::string runtimeDir;   // empty when XDG_RUNTIME_DIR is unusable
    uid_t uid = 0;
};

// The environment of the calling process.
SocketEnvironment currentSocketEnvironment();

std::string defaultSocketPath(const SocketEnvironment &env, pid_t pid);

// The process ID in a socket's file name, when the name is one of ours:
// "tindrelsim-<pid>.sock" in the runtime directory, "tindrelsim-<uid>-<pid>.sock"
// (with our uid) in /tmp.
std::optional<pid_t> pidFromSocketName(std::string_view name, bool inRuntimeDir, uid_t uid);

struct SocketCandidate {
    std::string path;
    pid_t pid = 0;
};

// The control sockets present in the directory the environment points to.
std::vector<SocketCandidate> findSockets(const SocketEnvironment &env);

struct SocketChoice {
    std::string path;         // empty when none could be chosen
    std::string error;        // why, for the user
    bool ambiguous = false;   // several programs run: the user has to choose
};

// Picks the socket of the single live process among the candidates. Sockets
// left behind by processes that have ended are ignored.
SocketChoice chooseSocket(const std::vector<SocketCandidate> &candidates, const std::function<bool(pid_t)> &isAlive);

// The socket of process pid, wherever of the default directories it is.
SocketChoice socketForPid(const SocketEnvironment &env, pid_t pid);

bool processIsAlive(pid_t pid);

}   // namespace tindrel::control

#endif
