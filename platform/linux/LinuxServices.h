// Linux implementations of the platform service interfaces.
#pragma once

#include "AuthorizationForm.h"
#include "SystemServices.h"

#include <sys/resource.h>

#include <string>
#include <vector>

namespace tindrel::platform::linux_impl {

// Puts a set-user-ID program into a known state before it does anything
// else: empties the environment, makes sure descriptors 0 to 2 are open
// (on /dev/null when the caller closed them), closes every other
// descriptor, forbids core dumps, lifts the file-size limit, restores every
// signal to its default with an empty signal mask and ignores SIGPIPE, sets
// every resource limit to defaultResourceLimits() (without the privilege to
// raise a hard limit: the soft limit to the default within the present hard
// limit), resets the scheduling priority (nice 0, normal policy, default I/O
// priority), sets the file-creation mask to 022 and changes to "/". Returns
// false when the process could not be put into that state.
bool hardenProcess();

struct ResourceLimitDefault {
    int resource;
    rlim_t soft;
    rlim_t hard;
};
// One entry for every resource limit the kernel knows (RLIMIT_*): the
// limits a fresh root login would have; no core dumps.
const std::vector<ResourceLimitDefault> &defaultResourceLimits();

// Nice 0, the normal scheduling policy and the default I/O priority: a
// caller may have lowered any of them, and children inherit them. Only
// system calls, so it may run between fork and exec. Returns false when a
// privileged process could not reset them.
bool resetSchedulingPriority();

// The environment every child of the tool gets.
const std::vector<std::string> &minimalChildEnvironment();

// Start time (clock ticks since boot) of a process, from /proc/<pid>/stat.
std::optional<std::uint64_t> processStartTime(pid_t pid);

// Reads a file descriptor; retries nothing itself (interruptions are
// reported so the caller decides).
class FdByteSource : public ByteSource {
public:
    explicit FdByteSource(int fd)
        : fd_(fd)
    { }
    Result read(std::span<std::byte> buffer) override;

private:
    int fd_;
};

// The running executable through /proc/self/exe.
class ProcSelfLocator : public SelfLocator {
public:
    std::optional<std::string> ownPath() override;
    std::optional<FileIdentity> runningImage() override;
};

// A name of the kind replaceFile gives its temporary files: ".tindrel-"
// followed by ten of a-z and 0-9.
bool isToolTemporaryName(std::string_view name);

// replaceFile writes a locked temporary file beside the target and renames
// it over the target. Before that it removes the temporary files that
// killed writers left in the folder (see isToolTemporaryName: regular files
// only, owned by the effective user, changed before this write began and
// locked by no live writer; links are never followed).
class LinuxFiles : public Files {
public:
    DirectoryResult makeDirectory(const std::string &path, mode_t mode) override;
    bool changeOwner(const std::string &path, uid_t owner, gid_t group) override;
    int replaceFile(const std::string &path, std::string_view content) override;
    int removeFile(const std::string &path) override;
    std::unique_ptr<LockedFile> openLocked(const std::string &path) override;
};

struct ChildResult {
    bool started = false;
    ChildExit exit;
};

// Runs program with the given arguments (argv[0] is the program path) and
// the minimal environment; standard input and output on /dev/null, as root
// in all its user and group ids when the caller's effective user is root.
// Waits for it to end.
ChildResult runProgramAndWait(const std::string &program, const std::vector<std::string> &arguments);

// Privileged execution through pkexec: `<pkexec> <program> <argument>`,
// with a pipe to its standard input.
class PkexecExecution : public PrivilegedExecution {
public:
    explicit PkexecExecution(std::string pkexecProgram)
        : pkexec_(std::move(pkexecProgram))
    { }
    std::unique_ptr<PrivilegedChild> start(const std::string &program, const std::string &argument) override;

private:
    std::string pkexec_;
};

// Runs a fixed service-manager program with the verb and the target as two
// separate arguments (never through a shell).
class ProgramServiceManager : public ServiceManager {
public:
    explicit ProgramServiceManager(std::string program)
        : program_(std::move(program))
    { }
    bool run(std::string_view verb, std::string_view target) override;

private:
    std::string program_;
};

// Loads the driver by running a fixed loader program with the driver
// package as its one argument. An absent package is NotFound without
// running anything; the loader's exit status 0 is Loaded, 5 NotFound,
// 6 BlockedByPolicy, 7 AuthenticationFailed, anything else Failed.
class PackageDriverLoader : public DriverLoader {
public:
    PackageDriverLoader(std::string package, std::string loader)
        : package_(std::move(package))
        , loader_(std::move(loader))
    { }
    Result load() override;

private:
    std::string package_;
    std::string loader_;
};

// syslog(3); the connection is opened on construction and closed on
// destruction.
class Syslog : public SystemLog {
public:
    explicit Syslog(const char *ident);
    ~Syslog() override;
    Syslog(const Syslog &) = delete;
    Syslog &operator=(const Syslog &) = delete;
    void error(std::string_view message) override;
};

class LinuxProcessIdentity : public ProcessIdentity {
public:
    bool effectiveUserIsRoot() override;
    uid_t effectiveUser() override;
    uid_t realUser() override;
    pid_t parentProcess() override;
    std::optional<std::uint64_t> startTime(pid_t pid) override;
};

}   // namespace tindrel::platform::linux_impl
