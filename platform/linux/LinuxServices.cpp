#include "LinuxServices.h"

#include "UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/close_range.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tindrel::platform::linux_impl {
namespace {

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ChildExit waitFor(pid_t pid)
{
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid)
            break;
        if (r < 0 && errno == EINTR)
            continue;
        return {};
    }
    if (WIFEXITED(status))
        return {true, true, WEXITSTATUS(status)};
    return {true, false, 0};
}

// argv/envp arrays prepared before fork: the child only calls
// async-signal-safe functions.
struct ExecArrays {
    std::vector<char *> argv;
    std::vector<char *> envp;
    ExecArrays(const std::vector<std::string> &arguments, const std::vector<std::string> &environment)
    {
        for (const auto &a : arguments)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto &e : environment)
            envp.push_back(const_cast<char *>(e.c_str()));
        envp.push_back(nullptr);
    }
};

// In the child: become root in every id when the effective user is root.
bool becomeFullyEffective()
{
    const uid_t euid = ::geteuid();
    if (euid != 0)
        return true;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(0, 0, 0) == 0 && ::setresuid(0, 0, 0) == 0;
}

// Forks and execs; the child's standard input is stdinFd (or /dev/null when
// negative), its standard output and error /dev/null. Returns the pid, or -1
// when the child could not be created or the program could not be executed
// (reported back through a close-on-exec pipe, then the child is reaped).
pid_t spawn(const std::string &program, const std::vector<std::string> &arguments, int stdinFd, int closeInChild,
            bool elevate)
{
    const ExecArrays arrays(arguments, minimalChildEnvironment());
    UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int errorPipe[2];
    if (!devNull || ::pipe2(errorPipe, O_CLOEXEC) != 0)
        return -1;
    UniqueFd errorRead(errorPipe[0]);
    UniqueFd errorWrite(errorPipe[1]);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const int in = stdinFd >= 0 ? stdinFd : devNull.get();
        int error = 0;
        if (::dup2(in, 0) < 0 || ::dup2(devNull.get(), 1) < 0 || ::dup2(devNull.get(), 2) < 0)
            error = errno;
        if (!error && closeInChild >= 0)
            ::close(closeInChild);
        if (!error && elevate && !becomeFullyEffective())
            error = errno ? errno : EPERM;
        // The caller shares our real user until the line above, so it could
        // renice us meanwhile; and the tool's own ignored SIGPIPE must not
        // reach the program.
        if (!error && !resetSchedulingPriority())
            error = errno ? errno : EPERM;
        if (!error && ::signal(SIGPIPE, SIG_DFL) == SIG_ERR)
            error = errno;
        if (!error) {
            ::execve(program.c_str(), arrays.argv.data(), arrays.envp.data());
            error = errno;
        }
        [[maybe_unused]] const auto ignored = ::write(errorWrite.get(), &error, sizeof error);
        ::_exit(127);
    }
    errorWrite.reset();
    int childError = 0;
    ssize_t n;
    do {
        n = ::read(errorRead.get(), &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    if (n != 0) {
        waitFor(pid);
        return -1;
    }
    return pid;
}

class LinuxLockedFile : public LockedFile {
public:
    explicit LinuxLockedFile(UniqueFd fd)
        : fd_(std::move(fd))
    { }
    std::optional<FileStatus> status() override
    {
        struct stat st { };
        if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return FileStatus{{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
                          st.st_uid,
                          st.st_gid,
                          static_cast<mode_t>(st.st_mode & 07777)};
    }
    bool changeOwner(uid_t owner, gid_t group) override { return ::fchown(fd_.get(), owner, group) == 0; }
    bool changeMode(mode_t mode) override { return ::fchmod(fd_.get(), mode) == 0; }

private:
    UniqueFd fd_;   // closing it releases the lock
};

class PkexecChild : public PrivilegedChild {
public:
    PkexecChild(pid_t pid, UniqueFd input)
        : pid_(pid)
        , input_(std::move(input))
    { }
    ~PkexecChild() override
    {
        input_.reset();
        if (pid_ > 0)
            waitFor(pid_);
    }
    PkexecChild(const PkexecChild &) = delete;
    PkexecChild &operator=(const PkexecChild &) = delete;
    bool write(std::span<const std::byte> bytes) override
    {
        return input_ && writeAll(input_.get(), reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
    void closeInput() override { input_.reset(); }
    ChildExit wait() override
    {
        input_.reset();
        const auto exit = waitFor(pid_);
        pid_ = -1;
        return exit;
    }

private:
    pid_t pid_;
    UniqueFd input_;
};

std::string baseName(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directoryName(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr std::string_view kTemporaryPrefix = ".tindrel-";
constexpr std::size_t kTemporaryRandomLength = 10;
constexpr char kTemporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Creates a new temporary file in dirFd that does not exist yet and holds
// it locked (the mark of a live writer for removeStaleTemporaries); returns
// it and its name.
std::pair<UniqueFd, std::string> createTemporary(int dirFd, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[kTemporaryRandomLength];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return {};
        std::string name(kTemporaryPrefix);
        for (unsigned char r : random)
            name += kTemporaryAlphabet[r % (sizeof kTemporaryAlphabet - 1)];
        UniqueFd fd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!fd) {
            if (errno != EEXIST)
                return {};
            continue;
        }
        // Another run's clean-up may have taken the file between the open
        // and the lock; then it is no longer ours under that name.
        struct stat opened {
        }, named{};
        int locked;
        do {
            locked = ::flock(fd.get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0 || ::fstat(fd.get(), &opened) != 0)
            return {};
        if (::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(opened, named))
            return {std::move(fd), name};
    }
    errno = EEXIST;
    return {};
}

bool olderThan(const timespec &a, const timespec &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Removes what a killed writer left in dirFd: regular files of the tool's
// own temporary naming, owned by the effective user, with one link, last
// changed before `writeStart` and not locked by a live writer. Links are
// never followed; anything else is left alone.
void removeStaleTemporaries(int dirFd, const timespec &writeStart)
{
    UniqueFd scanFd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!scanFd)
        return;
    DIR *scan = ::fdopendir(scanFd.get());
    if (!scan)
        return;
    scanFd.release();   // owned by scan now
    const uid_t owner = ::geteuid();
    while (const dirent *entry = ::readdir(scan)) {
        const char *name = entry->d_name;
        struct stat st { };
        if (!isToolTemporaryName(name) || ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != owner || st.st_nlink != 1 || !olderThan(st.st_mtim, writeStart))
            continue;
        UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {
        }, again{};
        if (!fd || ::fstat(fd.get(), &opened) != 0 || !sameFile(st, opened))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;   // a live writer holds it
        if (::fstatat(dirFd, name, &again, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(st, again))
            ::unlinkat(dirFd, name, 0);
    }
    ::closedir(scan);
}

}   // namespace

bool isToolTemporaryName(std::string_view name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryRandomLength ||
        name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix)
        return false;
    const std::string_view alphabet(kTemporaryAlphabet, sizeof kTemporaryAlphabet - 1);
    return name.substr(kTemporaryPrefix.size()).find_first_not_of(alphabet) == std::string_view::npos;
}

const std::vector<ResourceLimitDefault> &defaultResourceLimits()
{
    constexpr rlim_t kInfinity = RLIM_INFINITY;
    static const std::vector<ResourceLimitDefault> limits = {
        {RLIMIT_CPU, kInfinity, kInfinity},
        {RLIMIT_FSIZE, kInfinity, kInfinity},
        {RLIMIT_DATA, kInfinity, kInfinity},
        {RLIMIT_STACK, 8 << 20, kInfinity},
        {RLIMIT_CORE, 0, 0},
        {RLIMIT_RSS, kInfinity, kInfinity},
        {RLIMIT_NPROC, kInfinity, kInfinity},
        {RLIMIT_NOFILE, 1024, 524288},
        {RLIMIT_MEMLOCK, 8 << 20, 8 << 20},
        {RLIMIT_AS, kInfinity, kInfinity},
        {RLIMIT_LOCKS, kInfinity, kInfinity},
        {RLIMIT_SIGPENDING, kInfinity, kInfinity},
        {RLIMIT_MSGQUEUE, 819200, 819200},
        {RLIMIT_NICE, 0, 0},
        {RLIMIT_RTPRIO, 0, 0},
        {RLIMIT_RTTIME, kInfinity, kInfinity},
    };
    return limits;
}

bool resetSchedulingPriority()
{
    const bool privileged = ::geteuid() == 0;
    const sched_param normal{};
    const bool policy = ::sched_setscheduler(0, SCHED_OTHER, &normal) == 0;
    const bool nice = ::setpriority(PRIO_PROCESS, 0, 0) == 0;
    // I/O priority "none": derived from the nice value again.
    ::syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, 0);
    return !privileged || (policy && nice);
}

namespace {

// A caller may lower soft and hard limits (a tiny stack, file size or
// descriptor count cuts a write short or kills us midway) or raise a soft
// limit to its hard one (an unlimited stack changes the memory layout).
bool resetResourceLimits()
{
    for (const auto &[resource, soft, hard] : defaultResourceLimits()) {
        const rlimit wanted{soft, hard};
        if (::setrlimit(resource, &wanted) == 0)
            continue;
        // Without the privilege to raise a hard limit: the default within it.
        rlimit present{};
        if (::getrlimit(resource, &present) != 0)
            return false;
        const rlimit bounded{std::min(soft, present.rlim_max), std::min(hard, present.rlim_max)};
        if (::setrlimit(resource, &bounded) != 0)
            return false;
    }
    return true;
}

}   // namespace

const std::vector<std::string> &minimalChildEnvironment()
{
    static const std::vector<std::string> environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"};
    return environment;
}

bool hardenProcess()
{
    // The environment of a set-user-ID program belongs to its caller.
    if (::clearenv() != 0)
        return false;
    // Descriptors 0 to 2 must be open, or files we open would take their
    // numbers and receive what is meant for standard input and output.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0)
            continue;
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    if (::syscall(SYS_close_range, 3U, ~0U, 0U) != 0) {
        const long max = ::sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < (max > 0 ? max : 1024); ++fd)
            ::close(static_cast<int>(fd));
    }
    // Core dumps stay off (limit 0 among the defaults, and not dumpable).
    if (!resetResourceLimits() || ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0 || !resetSchedulingPriority())
        return false;
    // Signal dispositions and the mask are inherited across exec.
    sigset_t none;
    sigemptyset(&none);
    if (::sigprocmask(SIG_SETMASK, &none, nullptr) != 0)
        return false;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::signal(sig, SIG_DFL);   // fails harmlessly for numbers without a signal
    }
    if (::signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        return false;
    ::umask(022);
    return ::chdir("/") == 0;
}

std::optional<std::uint64_t> processStartTime(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return parseStatStartTime(text.str());
}

ByteSource::Result FdByteSource::read(std::span<std::byte> buffer)
{
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n > 0)
        return {Status::Data, static_cast<std::size_t>(n)};
    if (n == 0)
        return {Status::End, 0};
    return {errno == EINTR ? Status::Interrupted : Status::Error, 0};
}

std::optional<std::string> ProcSelfLocator::ownPath()
{
    // Start with 1024 bytes and grow once when the link fills the buffer.
    for (std::size_t size : {std::size_t{1024}, std::size_t{PATH_MAX} + 1}) {
        std::string buffer(size, '\0');
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            if (buffer.empty() || buffer.front() != '/')
                return std::nullopt;
            return buffer;
        }
    }
    return std::nullopt;
}

std::optional<FileIdentity> ProcSelfLocator::runningImage()
{
    struct stat st { };
    if (::stat("/proc/self/exe", &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

Files::DirectoryResult LinuxFiles::makeDirectory(const std::string &path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) == 0)
        return DirectoryResult::Created;
    return errno == EEXIST ? DirectoryResult::Existed : DirectoryResult::Failed;
}

bool LinuxFiles::changeOwner(const std::string &path, uid_t owner, gid_t group)
{
    return ::fchownat(AT_FDCWD, path.c_str(), owner, group, AT_SYMLINK_NOFOLLOW) == 0;
}

int LinuxFiles::replaceFile(const std::string &path, std::string_view content)
{
    timespec writeStart{};
    ::clock_gettime(CLOCK_REALTIME, &writeStart);
    const std::string name = baseName(path);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    UniqueFd dir(::open(directoryName(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return errno;

    struct stat existing { };
    const bool exists = ::fstatat(dir.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    if (exists && !S_ISREG(existing.st_mode))
        return S_ISLNK(existing.st_mode) ? ELOOP : S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;

    removeStaleTemporaries(dir.get(), writeStart);
    auto created = createTemporary(dir.get(), 0666);
    UniqueFd &fd = created.first;
    const std::string &temporary = created.second;
    if (!fd)
        return errno;
    // The lock marks the temporary as live until it is renamed; this second
    // descriptor keeps it while the first is closed to learn of write errors.
    UniqueFd lockHolder(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!lockHolder) {
        const int error = errno;
        fd.reset();
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        return error;
    }
    const auto fail = [&](int error) {
        fd.reset();
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        return error;
    };
    if (exists && (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0 ||
                   ::fchmod(fd.get(), existing.st_mode & 07777) != 0))
        return fail(errno);
    if (!writeAll(fd.get(), content.data(), content.size()) || ::fsync(fd.get()) != 0)
        return fail(errno);
    if (!fd.close())
        return fail(errno);
    if (::renameat(dir.get(), temporary.c_str(), dir.get(), name.c_str()) != 0)
        return fail(errno);
    ::fsync(dir.get());   // make the rename itself durable; the data already is
    return 0;
}

int LinuxFiles::removeFile(const std::string &path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

std::unique_ptr<LockedFile> LinuxFiles::openLocked(const std::string &path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return nullptr;
    return std::make_unique<LinuxLockedFile>(std::move(fd));
}

ChildResult runProgramAndWait(const std::string &program, const std::vector<std::string> &arguments)
{
    const pid_t pid = spawn(program, arguments, -1, -1, true);
    if (pid < 0)
        return {};
    return {true, waitFor(pid)};
}

std::unique_ptr<PrivilegedChild> PkexecExecution::start(const std::string &program, const std::string &argument)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    const pid_t pid = spawn(pkexec_, {pkexec_, program, argument}, readEnd.get(), writeEnd.get(), false);
    if (pid < 0)
        return nullptr;
    return std::make_unique<PkexecChild>(pid, std::move(writeEnd));
}

bool ProgramServiceManager::run(std::string_view verb, std::string_view target)
{
    // The manager's own exit status is not looked at: only whether it ran.
    const auto result = runProgramAndWait(program_, {program_, std::string(verb), std::string(target)});
    return result.started && result.exit.waited;
}

DriverLoader::Result PackageDriverLoader::load()
{
    struct stat st { };
    if (::stat(package_.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Result::NotFound : Result::Failed;
    const auto result = runProgramAndWait(loader_, {loader_, package_});
    if (!result.started || !result.exit.waited || !result.exit.exitedNormally)
        return Result::Failed;
    switch (result.exit.status) {
    case 0:
        return Result::Loaded;
    case 5:
        return Result::NotFound;
    case 6:
        return Result::BlockedByPolicy;
    case 7:
        return Result::AuthenticationFailed;
    default:
        return Result::Failed;
    }
}

Syslog::Syslog(const char *ident) { ::openlog(ident, LOG_PID | LOG_NDELAY, LOG_AUTHPRIV); }

Syslog::~Syslog() { ::closelog(); }

void Syslog::error(std::string_view message)
{
    const std::string text(message);
    ::syslog(LOG_ERR, "%s", text.c_str());
}

bool LinuxProcessIdentity::effectiveUserIsRoot() { return ::geteuid() == 0; }

uid_t LinuxProcessIdentity::effectiveUser() { return ::geteuid(); }

uid_t LinuxProcessIdentity::realUser() { return ::getuid(); }

pid_t LinuxProcessIdentity::parentProcess() { return ::getppid(); }

std::optional<std::uint64_t> LinuxProcessIdentity::startTime(pid_t pid) { return processStartTime(pid); }

}   // namespace tindrel::platform::linux_impl
