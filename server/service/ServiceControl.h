// The service manager behind raiseTool's service command, run as
//   tindrel22-service VERB TARGET
// with VERB load or unload (TARGET: the service description's path) or
// start or stop (TARGET: the service label), and "boot" (no target).
// With systemd as the init system the verbs map onto systemctl; elsewhere
// (containers, CI) a supervisor of our own starts the daemon detached,
// keeps its pid, and stops it with SIGTERM.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tindrel::server {

struct ServiceSetup {
    std::string descriptionPath;   // the only description accepted
    std::string label;             // the only label accepted
    std::string processName;       // the daemon's name in the process table
    std::filesystem::path stateDir;
};

// The fixed set-up of the network server.
ServiceSetup networkServerSetup();

class ServiceBackend {
public:
    virtual ~ServiceBackend() = default;
    virtual int load() = 0;
    virtual int unload() = 0;
    virtual int start() = 0;
    virtual int stop() = 0;
    virtual int boot() = 0;
};

// Checks verb and target against the set-up and calls the backend; 4 for
// anything not allowed.
int runServiceVerb(const ServiceSetup &setup, ServiceBackend &backend, const std::vector<std::string> &args,
                   std::string &error);

using CommandRunner = std::function<int(const std::vector<std::string> &)>;

// systemctl: load reloads the units and enables or disables the unit by its
// start-at-boot fact; unload and stop stop it; start starts it.
class SystemdBackend : public ServiceBackend {
public:
    SystemdBackend(ServiceSetup setup, std::string systemctl, CommandRunner run);
    int load() override;
    int unload() override;
    int start() override;
    int stop() override;
    int boot() override { return 0; }   // systemd starts enabled units itself

private:
    std::string unit() const;
    ServiceSetup setup_;
    std::string systemctl_;
    CommandRunner run_;
};

// Our own supervisor: load starts the daemon when the description says it
// starts at boot (and unload stops it), boot does the same at boot time.
class Supervisor : public ServiceBackend {
public:
    explicit Supervisor(ServiceSetup setup);
    int load() override;
    int unload() override;
    int start() override;
    int stop() override;
    int boot() override;

    // The daemon's pid when the pid file names a live process of its name.
    std::optional<pid_t> runningPid() const;
    std::filesystem::path pidFile() const;
    std::filesystem::path outputFile() const;
    // How long stop waits for SIGTERM to work before SIGKILL.
    int stopGraceMs = 8000;

private:
    bool startsAtBoot() const;
    ServiceSetup setup_;
};

bool systemdIsInit();

}   // namespace tindrel::server
