// Narrow interfaces to the operating-system services that the privileged
// helper tool needs. The tool's decisions are written against these only;
// the Linux implementations live in linux/, in-memory fakes in fakes/.
#pragma once

#include "AuthorizationForm.h"

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tindrel::platform {

// A source of bytes, normally standard input.
class ByteSource {
public:
    enum class Status { Data, End, Interrupted, Error };
    struct Result {
        Status status;
        std::size_t count = 0;   // bytes placed in the buffer when status is Data
    };
    virtual ~ByteSource() = default;
    // Reads at most buffer.size() bytes (buffer is never empty).
    virtual Result read(std::span<std::byte> buffer) = 0;
};

// Identity of a file as the kernel knows it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

// The tool's own executable.
class SelfLocator {
public:
    virtual ~SelfLocator() = default;
    virtual std::optional<std::string> ownPath() = 0;
    // Identity of the image the process is actually running.
    virtual std::optional<FileIdentity> runningImage() = 0;
};

// The authorization the caller hands over and the rights it grants.
class Authority {
public:
    static constexpr std::size_t kExternalFormSize = 32;
    using ExternalForm = std::array<std::byte, kExternalFormSize>;
    virtual ~Authority() = default;
    // True when the external form names `caller`, this process's actual
    // caller. Accepting a form grants nothing by itself.
    virtual bool acceptExternalForm(const ExternalForm &form, const ProcessSubject &caller) = 0;
    // Repair run: true when the privileged execution service really handed
    // the process administrator rights.
    virtual bool takeOverPrivileged() = 0;
    // True only on an explicit yes for the named right, asked for `caller`;
    // errors, a missing agent or a dismissed dialog are a no.
    virtual bool checkRight(std::string_view right, const ProcessSubject &caller) = 0;
};

struct ChildExit {
    bool waited = false;           // the wait itself succeeded
    bool exitedNormally = false;   // ended by exit(), not by a signal
    int status = 0;                // exit status when exitedNormally
};

// A program started as root whose standard input we feed.
class PrivilegedChild {
public:
    virtual ~PrivilegedChild() = default;
    virtual bool write(std::span<const std::byte> bytes) = 0;
    virtual void closeInput() = 0;
    virtual ChildExit wait() = 0;
};

class PrivilegedExecution {
public:
    virtual ~PrivilegedExecution() = default;
    // Runs program as root with exactly one argument; null on failure.
    virtual std::unique_ptr<PrivilegedChild> start(const std::string &program, const std::string &argument) = 0;
};

struct FileStatus {
    FileIdentity identity;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;   // permission and set-id bits only (07777)
};

// A file held open with an exclusive lock; released when destroyed.
class LockedFile {
public:
    virtual ~LockedFile() = default;
    virtual std::optional<FileStatus> status() = 0;
    virtual bool changeOwner(uid_t owner, gid_t group) = 0;
    virtual bool changeMode(mode_t mode) = 0;
};

class Files {
public:
    enum class DirectoryResult { Created, Existed, Failed };
    virtual ~Files() = default;
    // Creates one directory level with the given mode.
    virtual DirectoryResult makeDirectory(const std::string &path, mode_t mode) = 0;
    virtual bool changeOwner(const std::string &path, uid_t owner, gid_t group) = 0;
    // Replaces the whole content of a regular file, or creates it. Never
    // follows a symbolic link in the last component; an existing file keeps
    // its mode and owner; the file holds either the old or the new content
    // at every moment. Returns 0 or an errno value.
    virtual int replaceFile(const std::string &path, std::string_view content) = 0;
    // Removes a directory entry (a link itself, never its target).
    // Returns 0 or an errno value.
    virtual int removeFile(const std::string &path) = 0;
    // Opens read-only, non-blocking, with an exclusive lock; null on failure.
    virtual std::unique_ptr<LockedFile> openLocked(const std::string &path) = 0;
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // Runs the service manager with the verb and the target as two separate
    // arguments and waits for it to end. False only when it could not be
    // started or waited for; its own exit status is not looked at.
    virtual bool run(std::string_view verb, std::string_view target) = 0;
};

class DriverLoader {
public:
    enum class Result { Loaded, NotFound, BlockedByPolicy, AuthenticationFailed, Failed };
    virtual ~DriverLoader() = default;
    virtual Result load() = 0;
};

class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void error(std::string_view message) = 0;
};

class ProcessIdentity {
public:
    virtual ~ProcessIdentity() = default;
    virtual bool effectiveUserIsRoot() = 0;
    virtual uid_t effectiveUser() = 0;
    virtual uid_t realUser() = 0;
    // The parent process as it is at this moment (it changes when the
    // parent ends and the process is handed to another one).
    virtual pid_t parentProcess() = 0;
    // Start time of a process (clock ticks since boot); nothing when the
    // process record cannot be read.
    virtual std::optional<std::uint64_t> startTime(pid_t pid) = 0;
};

}   // namespace tindrel::platform
