#include "ServerLinux.h"

#include "UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace tindrel::platform::linux_impl {
namespace {

std::optional<std::string> readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}   // namespace

std::optional<std::string> processNameFrom(std::string_view statText, std::string_view cmdline)
{
    // "pid (comm) S ...": the name may hold spaces and parentheses, so it
    // ends at the last ") ".
    const auto open = statText.find('(');
    const auto close = statText.rfind(") ");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
        close + 2 >= statText.size())
        return std::nullopt;
    if (statText[close + 2] == 'Z' || statText[close + 2] == 'X')
        return std::nullopt;
    const std::string_view comm = statText.substr(open + 1, close - open - 1);
    std::string_view first = cmdline.substr(0, cmdline.find('\0'));
    if (const auto slash = first.rfind('/'); slash != std::string_view::npos)
        first = first.substr(slash + 1);
    if (!comm.empty() && first.size() > comm.size() && first.starts_with(comm))
        return std::string(first);
    return std::string(comm);
}

std::optional<std::vector<ProcessRecord>> ProcProcessTable::snapshot()
{
    DIR *dir = ::opendir(root_.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<ProcessRecord> records;
    while (const dirent *entry = ::readdir(dir)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string base = root_ + "/" + entry->d_name;
        const auto stat = readWhole(base + "/stat");
        if (!stat)
            continue;   // ended while we looked
        const auto cmdline = readWhole(base + "/cmdline").value_or(std::string());
        if (auto name = processNameFrom(*stat, cmdline))
            records.push_back({static_cast<pid_t>(pid), std::move(*name)});
    }
    ::closedir(dir);
    return records;
}

HelperOutcome ForkHelperLauncher::runOnce(std::span<const std::byte> input)
{
    ::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    // Prepared before fork: the child of a threaded program only calls
    // async-signal-safe functions.
    char *const argv[] = {const_cast<char *>(path_.c_str()), nullptr};
    char *const envp[] = {nullptr};
    const pid_t pid = ::fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        if (::dup2(readEnd.get(), 0) < 0)
            ::_exit(1);
        ::execve(path_.c_str(), argv, envp);
        ::_exit(1);
    }
    readEnd.reset();
    bool complete = true;
    const char *data = reinterpret_cast<const char *>(input.data());
    std::size_t left = input.size();
    while (left > 0) {
        const ssize_t n = ::write(writeEnd.get(), data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = false;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    writeEnd.reset();
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid)
        return {};
    // A helper killed before it took all of its input still ran (and may be
    // run again); one that ended normally without it did not do the command.
    if (WIFSIGNALED(status))
        return {HelperOutcome::Kind::Signalled, 0};
    if (WIFEXITED(status) && complete)
        return {HelperOutcome::Kind::Exited, WEXITSTATUS(status)};
    return {};
}

void RealSleeper::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}   // namespace tindrel::platform::linux_impl
