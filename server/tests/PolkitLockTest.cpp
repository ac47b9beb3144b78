// The panel lock's authority against a real polkit daemon, run by
// raisetool/tests/private-polkit.sh (TINDREL_E2E_POLKIT=1) inside a private
// mount namespace whose rule grants the raiseTool actions to the user
// "daemon" only. Elsewhere the tests report skipped.
#include "Paths.h"
#include "PolkitPanelAuthority.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

using namespace tindrel;
using platform::linux_impl::PolkitPanelAuthority;

namespace {

// Runs the check in a child process that is `user`; the child's exit status
// carries the answer (1 yes, 0 no, 2 could not become the user).
int answerAs(const char *user, const std::function<bool()> &check)
{
    const passwd *pw = ::getpwnam(user);
    if (!pw)
        return -1;
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(2);
        ::_exit(check() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Polkit, TheAuthorityAsksPolkitAboutThisVeryProcess)
{
    if (!std::getenv("TINDREL_E2E_POLKIT"))
        GTEST_SKIP() << "needs the private polkit daemon of private-polkit.sh";
    const auto quiet = [](std::string_view action) {
        return [action] {
            PolkitPanelAuthority authority{std::string(action), {}};
            return authority.isAuthorized(false);
        };
    };
    // The rule grants the helper's actions to "daemon" and to nobody else.
    EXPECT_EQ(answerAs("daemon", quiet(paths::kAdminAction)), 1);
    EXPECT_EQ(answerAs("nobody", quiet(paths::kAdminAction)), 0);
    // The lock's own action asks for an administrator: without an agent to
    // ask, even with interaction allowed, the answer is no.
    EXPECT_EQ(answerAs("daemon", quiet(paths::kPanelLockAction)), 0);
    EXPECT_EQ(answerAs("daemon",
                       [] {
                           PolkitPanelAuthority authority{std::string(paths::kPanelLockAction), {}};
                           return authority.isAuthorized(true);
                       }),
              0);
    // Locking again with nothing kept changes nothing and does not fail.
    EXPECT_EQ(answerAs("daemon",
                       [] {
                           PolkitPanelAuthority authority{std::string(paths::kAdminAction),
                                                          {std::string(paths::kPanelLockAction)}};
                           authority.revoke();
                           return authority.isAuthorized(false);
                       }),
              1);
}

}   // namespace
