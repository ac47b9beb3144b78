#include "ServiceControl.h"

#include "LinuxServices.h"
#include "Paths.h"
#include "ServerLinux.h"
#include "ServiceDescription.h"
#include "ServiceState.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace tindrel::server {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The name a live process stands for; nothing when it is gone or a zombie.
std::optional<std::string> liveName(pid_t pid)
{
    const std::string base = "/proc/" + std::to_string(pid);
    const auto stat = readText(base + "/stat");
    if (!stat)
        return std::nullopt;
    return platform::linux_impl::processNameFrom(*stat, readText(base + "/cmdline").value_or(""));
}

// Starts the program detached (a new session, reparented away from us) and
// returns its pid.
std::optional<pid_t> spawnDetached(const std::vector<std::string> &args, const fs::path &output)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const auto &environment = platform::linux_impl::minimalChildEnvironment();
    std::vector<char *> envp;
    for (const auto &e : environment)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int pidPipe[2];
    if (out < 0 || devNull < 0 || ::pipe2(pidPipe, O_CLOEXEC) != 0) {
        if (out >= 0)
            ::close(out);
        if (devNull >= 0)
            ::close(devNull);
        return std::nullopt;
    }
    const pid_t first = ::fork();
    if (first == 0) {
        ::setsid();
        const pid_t daemon = ::fork();
        if (daemon != 0) {
            [[maybe_unused]] auto n = ::write(pidPipe[1], &daemon, sizeof daemon);
            ::_exit(daemon > 0 ? 0 : 1);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sig != SIGKILL && sig != SIGSTOP)
                ::signal(sig, SIG_DFL);
        }
        ::umask(022);
        if (::chdir("/") != 0 || ::dup2(devNull, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            ::_exit(127);
        ::syscall(SYS_close_range, 3U, ~0U, 0U);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pidPipe[1]);
    ::close(out);
    ::close(devNull);
    if (first < 0) {
        ::close(pidPipe[0]);
        return std::nullopt;
    }
    pid_t daemon = -1;
    ssize_t n;
    do {
        n = ::read(pidPipe[0], &daemon, sizeof daemon);
    } while (n < 0 && errno == EINTR);
    ::close(pidPipe[0]);
    int status = 0;
    while (::waitpid(first, &status, 0) < 0 && errno == EINTR) { }
    if (n != sizeof daemon || daemon <= 0)
        return std::nullopt;
    return daemon;
}

}   // namespace

ServiceSetup networkServerSetup()
{
    return {std::string(paths::kServerServiceDescription), std::string(paths::kServerServiceLabel),
            std::string(paths::kServerProcessName), fs::path(paths::kSupervisorStateDir)};
}

bool systemdIsInit()
{
    std::error_code ec;
    return fs::is_directory(paths::kSystemdRunDirectory, ec);
}

int runServiceVerb(const ServiceSetup &setup, ServiceBackend &backend, const std::vector<std::string> &args,
                   std::string &error)
{
    if (args.size() == 1 && args[0] == "boot")
        return backend.boot();
    if (args.size() != 2) {
        error = "usage: tindrel22-service load|unload DESCRIPTION, start|stop LABEL, or boot";
        return 4;
    }
    const std::string &verb = args[0];
    const std::string &target = args[1];
    if (verb == "load" || verb == "unload") {
        if (target != setup.descriptionPath) {
            error = "not a service description of this system: " + target;
            return 4;
        }
        return verb == "load" ? backend.load() : backend.unload();
    }
    if (verb == "start" || verb == "stop") {
        if (target != setup.label) {
            error = "not a service of this system: " + target;
            return 4;
        }
        return verb == "start" ? backend.start() : backend.stop();
    }
    error = "unknown verb: " + verb;
    return 4;
}

SystemdBackend::SystemdBackend(ServiceSetup setup, std::string systemctl, CommandRunner run)
    : setup_(std::move(setup))
    , systemctl_(std::move(systemctl))
    , run_(std::move(run))
{ }

std::string SystemdBackend::unit() const { return fs::path(setup_.descriptionPath).filename().string(); }

int SystemdBackend::load()
{
    const auto text = readText(setup_.descriptionPath);
    const auto description = text ? parseUnit(*text) : std::nullopt;
    if (!description)
        return 4;
    run_({systemctl_, "daemon-reload"});
    return run_({systemctl_, description->runAtLoad ? "enable" : "disable", unit()}) == 0 ? 0 : 4;
}

int SystemdBackend::unload() { return stop(); }

int SystemdBackend::start() { return run_({systemctl_, "start", unit()}) == 0 ? 0 : 4; }

int SystemdBackend::stop() { return run_({systemctl_, "stop", unit()}) == 0 ? 0 : 4; }

Supervisor::Supervisor(ServiceSetup setup)
    : setup_(std::move(setup))
{ }

fs::path Supervisor::pidFile() const { return setup_.stateDir / (setup_.processName + ".pid"); }

fs::path Supervisor::outputFile() const { return setup_.stateDir / (setup_.processName + ".out"); }

std::optional<pid_t> Supervisor::runningPid() const
{
    const auto text = readText(pidFile());
    if (!text)
        return std::nullopt;
    char *end = nullptr;
    const long pid = std::strtol(text->c_str(), &end, 10);
    if (pid <= 0 || (end && *end != '\n' && *end != '\0'))
        return std::nullopt;
    const auto name = liveName(static_cast<pid_t>(pid));
    // A pid the system gave to another program since is not ours.
    if (!name || !sameProcessName(*name, setup_.processName))
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool Supervisor::startsAtBoot() const
{
    const auto text = readText(setup_.descriptionPath);
    const auto description = text ? parseUnit(*text) : std::nullopt;
    return description && description->runAtLoad;
}

int Supervisor::load() { return startsAtBoot() ? start() : 0; }

int Supervisor::unload() { return stop(); }

int Supervisor::boot() { return startsAtBoot() ? start() : 0; }

int Supervisor::start()
{
    if (runningPid())
        return 0;
    const auto text = readText(setup_.descriptionPath);
    const auto description = text ? parseUnit(*text) : std::nullopt;
    if (!description || description->label != setup_.label || description->programArguments.front().front() != '/')
        return 4;
    std::error_code ec;
    fs::create_directories(setup_.stateDir, ec);
    const auto pid = spawnDetached(description->programArguments, outputFile());
    if (!pid)
        return 4;
    const fs::path temporary = pidFile().string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << *pid << "\n";
        if (!out)
            return 4;
    }
    fs::rename(temporary, pidFile(), ec);
    return ec ? 4 : 0;
}

int Supervisor::stop()
{
    const auto pid = runningPid();
    std::error_code ec;
    if (!pid) {
        fs::remove(pidFile(), ec);
        return 0;
    }
    ::kill(*pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stopGraceMs);
    while (liveName(*pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (liveName(*pid))
        ::kill(*pid, SIGKILL);
    fs::remove(pidFile(), ec);
    return 0;
}

}   // namespace tindrel::server
