#include "control_paths.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>

namespace tindrel::control {

namespace {

constexpr std::string_view kPrefix = "tindrelsim-";
constexpr std::string_view kSuffix = ".sock";
constexpr const char *kFallbackDir = "/tmp";

std::optional<long long> wholeNumber(std::string_view text)
{
    long long value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool isSocket(const std::string &path)
{
    struct stat info { };
    return lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

void scanDirectory(const std::string &dir, bool inRuntimeDir, uid_t uid, std::vector<SocketCandidate> &out)
{
    std::unique_ptr<DIR, int (*)(DIR *)> stream(opendir(dir.c_str()), &closedir);
    if (!stream)
        return;
    while (const dirent *entry = readdir(stream.get())) {
        const std::optional<pid_t> pid = pidFromSocketName(entry->d_name, inRuntimeDir, uid);
        if (!pid)
            continue;
        std::string path = dir + "/" + entry->d_name;
        if (isSocket(path))
            out.push_back({std::move(path), *pid});
    }
}

}   // namespace

SocketEnvironment currentSocketEnvironment()
{
    SocketEnvironment env;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        env.runtimeDir = runtime;
    env.uid = getuid();
    return env;
}

std::string defaultSocketPath(const SocketEnvironment &env, pid_t pid)
{
    if (!env.runtimeDir.empty())
        return env.runtimeDir + "/" + std::string(kPrefix) + std::to_string(pid) + std::string(kSuffix);
    return std::string(kFallbackDir) + "/" + std::string(kPrefix) + std::to_string(env.uid) + "-" +
           std::to_string(pid) + std::string(kSuffix);
}

std::optional<pid_t> pidFromSocketName(std::string_view name, bool inRuntimeDir, uid_t uid)
{
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return std::nullopt;
    name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (!inRuntimeDir) {
        const size_t dash = name.find('-');
        if (dash == std::string_view::npos)
            return std::nullopt;
        const std::optional<long long> owner = wholeNumber(name.substr(0, dash));
        if (!owner || *owner != static_cast<long long>(uid))
            return std::nullopt;
        name.remove_prefix(dash + 1);
    }
    const std::optional<long long> pid = wholeNumber(name);
    if (!pid || *pid <= 0 || *pid > 0x7FFFFFFF)
        return std::nullopt;
    return static_cast<pid_t>(*pid);
}

std::vector<SocketCandidate> findSockets(const SocketEnvironment &env)
{
    std::vector<SocketCandidate> found;
    if (!env.runtimeDir.empty())
        scanDirectory(env.runtimeDir, true, env.uid, found);
    else
        scanDirectory(kFallbackDir, false, env.uid, found);
    return found;
}

SocketChoice chooseSocket(const std::vector<SocketCandidate> &candidates, const std::function<bool(pid_t)> &isAlive)
{
    std::vector<const SocketCandidate *> live;
    for (const SocketCandidate &candidate : candidates) {
        if (!isAlive(candidate.pid))
            continue;
        bool seen = false;
        for (const SocketCandidate *other : live)
            seen = seen || other->pid == candidate.pid;
        if (!seen)
            live.push_back(&candidate);
    }
    if (live.empty())
        return {"", "no running program with a simulated device library was found; start the control panel "
                    "first, or name its socket with --socket PATH"};
    if (live.size() == 1)
        return {live.front()->path, ""};
    std::string error = "several programs are running; choose one with --pid PID:";
    for (const SocketCandidate *candidate : live)
        error.append("\n  ").append(std::to_string(candidate->pid)).append("  ").append(candidate->path);
    return {"", error, true};
}

SocketChoice socketForPid(const SocketEnvironment &env, pid_t pid)
{
    SocketEnvironment fallback = env;
    fallback.runtimeDir.clear();
    const std::string paths[] = {defaultSocketPath(env, pid), defaultSocketPath(fallback, pid)};
    for (const std::string &path : paths)
        if (isSocket(path))
            return {path, ""};
    std::string error = "process " + std::to_string(pid) + " has no control socket (looked for " + paths[0];
    if (paths[1] != paths[0])
        error.append(" and ").append(paths[1]);
    return {"", error + ")"};
}

bool processIsAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}   // namespace tindrel::control
