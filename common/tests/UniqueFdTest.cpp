// The descriptor owner closes exactly once, whoever ends up holding it.
#include "UniqueFd.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

struct Pipe {
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    int fds[2] = {-1, -1};
};

}   // namespace

TEST(UniqueFd, ClosesOnDestructionResetAndReplacement)
{
    Pipe p;
    {
        tindrel::UniqueFd a(p.fds[0]);
        tindrel::UniqueFd b(p.fds[1]);
        EXPECT_TRUE(a && b);
        a = std::move(b);   // the old descriptor of a is closed, b's moves over
        EXPECT_FALSE(isOpen(p.fds[0]));
        EXPECT_TRUE(isOpen(p.fds[1]));
        EXPECT_FALSE(b);
        EXPECT_EQ(a.get(), p.fds[1]);
    }
    EXPECT_FALSE(isOpen(p.fds[1]));
}

TEST(UniqueFd, ReleaseGivesUpAndCloseReports)
{
    Pipe p;
    tindrel::UniqueFd a(p.fds[0]);
    const int raw = a.release();
    EXPECT_FALSE(a);
    EXPECT_TRUE(isOpen(raw));
    ::close(raw);

    tindrel::UniqueFd b(p.fds[1]);
    EXPECT_TRUE(b.close());
    EXPECT_FALSE(isOpen(p.fds[1]));
    EXPECT_TRUE(b.close());   // nothing left to close
    tindrel::UniqueFd moved(std::move(b));
    EXPECT_FALSE(moved);
}
