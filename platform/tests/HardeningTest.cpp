#include "LinuxServices.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

extern char **environ;

using tindrel::platform::linux_impl::defaultResourceLimits;
using tindrel::platform::linux_impl::hardenProcess;

namespace {

// Each failed check sets one bit of the child's exit status.
enum Check : int {
    EnvironmentCleared = 1 << 0,
    StandardDescriptorsOpen = 1 << 1,
    OtherDescriptorsClosed = 1 << 2,
    NoCoreDumps = 1 << 3,
    FileSizeUnlimited = 1 << 4,
    SignalsReset = 1 << 5,
    UmaskAndDirectory = 1 << 6,
    HardenFailed = 1 << 7,
};

// Exit statuses hold 8 bits; the limit and priority checks report through a
// second child with their own bits.
enum LimitCheck : int {
    LimitsReset = 1 << 0,
    PriorityReset = 1 << 1,
    LimitHardenFailed = 1 << 2,
};

// Runs hardenProcess() in a child whose state a hostile caller prepared,
// and returns the bits of the checks that failed.
int hardenHostileChild(bool closeStandardDescriptors)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::setenv("LD_PRELOAD", "/tmp/evil.so", 1);
        ::setenv("GIO_MODULE_DIR", "/tmp/evil", 1);
        const int stray = ::open("/dev/null", O_RDONLY);   // inherited, not close-on-exec
        ::dup2(stray, 57);
        if (closeStandardDescriptors) {
            ::close(0);
            ::close(1);
            ::close(2);
        }
        const rlimit tiny{100, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const rlimit core{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_CORE, &core);
        ::signal(SIGTERM, SIG_IGN);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
        ::umask(0);
        ::chdir("/tmp");

        int failed = hardenProcess() ? 0 : HardenFailed;
        if (environ && environ[0])
            failed |= EnvironmentCleared;
        for (int fd = 0; fd <= 2; ++fd)
            if (::fcntl(fd, F_GETFD) < 0)
                failed |= StandardDescriptorsOpen;
        if (::fcntl(stray, F_GETFD) >= 0 || ::fcntl(57, F_GETFD) >= 0)
            failed |= OtherDescriptorsClosed;
        rlimit limit{};
        ::getrlimit(RLIMIT_CORE, &limit);
        if (limit.rlim_cur != 0 || ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0)
            failed |= NoCoreDumps;
        ::getrlimit(RLIMIT_FSIZE, &limit);
        if (limit.rlim_cur != RLIM_INFINITY)
            failed |= FileSizeUnlimited;
        struct sigaction action { };
        ::sigaction(SIGTERM, nullptr, &action);
        const bool termDefault = action.sa_handler == SIG_DFL;
        ::sigaction(SIGPIPE, nullptr, &action);
        const bool pipeIgnored = action.sa_handler == SIG_IGN;
        sigset_t mask;
        ::sigprocmask(SIG_BLOCK, nullptr, &mask);
        if (!termDefault || !pipeIgnored || sigismember(&mask, SIGINT))
            failed |= SignalsReset;
        const mode_t mask2 = ::umask(0);
        char cwd[8] = {};
        if (mask2 != 022 || !::getcwd(cwd, sizeof cwd) || cwd[0] != '/' || cwd[1] != '\0')
            failed |= UmaskAndDirectory;
        ::_exit(failed);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Raising a hard limit needs CAP_SYS_RESOURCE (bit 24), which root in a
// container may lack.
bool mayRaiseHardLimits()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 24) & 1;
    }
    return false;
}

// Runs hardenProcess() in a child whose limits and priority a caller lowered
// (and whose stack limit it raised); returns the bits of the failed checks.
int hardenLoweredLimitsChild()
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const rlimit few{16, 16};
        ::setrlimit(RLIMIT_NOFILE, &few);
        const rlimit seconds{100, 100};
        ::setrlimit(RLIMIT_CPU, &seconds);
        const rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_MSGQUEUE, &small);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_STACK, &unlimited);
        ::setpriority(PRIO_PROCESS, 0, 15);
        const sched_param normal{};
        ::sched_setscheduler(0, SCHED_IDLE, &normal);

        const bool privileged = ::geteuid() == 0;
        const bool raiseHard = mayRaiseHardLimits();
        int failed = hardenProcess() ? 0 : LimitHardenFailed;
        for (const auto &[resource, soft, hard] : defaultResourceLimits()) {
            rlimit limit{};
            ::getrlimit(resource, &limit);
            // Without privilege the hard limits a caller lowered stay lowered.
            const rlim_t wantHard = raiseHard ? hard : std::min(hard, limit.rlim_max);
            if (limit.rlim_max != wantHard || limit.rlim_cur != std::min(soft, wantHard))
                failed |= LimitsReset;
        }
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, 0);
        if (privileged && (nice != 0 || ::sched_getscheduler(0) != SCHED_OTHER))
            failed |= PriorityReset;
        ::_exit(failed);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(Hardening, PutsAHostileInheritedStateBackInOrder) { EXPECT_EQ(hardenHostileChild(false), 0); }

TEST(Hardening, ResetsEveryResourceLimitAndThePriorityACallerChanged) { EXPECT_EQ(hardenLoweredLimitsChild(), 0); }

TEST(Hardening, DefaultLimitsNameEveryResourceOnceAndForbidCoreDumps)
{
    std::set<int> seen;
    for (const auto &[resource, soft, hard] : defaultResourceLimits()) {
        EXPECT_TRUE(seen.insert(resource).second) << resource;
        EXPECT_LE(soft, hard) << resource;
        if (resource == RLIMIT_CORE) {
            EXPECT_EQ(hard, 0u);
        }
    }
    for (int resource = 0; resource < RLIM_NLIMITS; ++resource)
        EXPECT_TRUE(seen.contains(resource)) << resource;
}

TEST(Hardening, ReopensClosedStandardDescriptors) { EXPECT_EQ(hardenHostileChild(true), 0); }

}   // namespace
