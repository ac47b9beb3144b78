#include "XdgUrlOpener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

extern char **environ;

namespace tindrel::platform::linux_impl {

bool XdgUrlOpener::openUrl(const std::string &url)
{
    // A URL that starts with '-' would be taken for an option.
    if (url.empty() || url.front() == '-')
        return false;
    std::vector<char *> argv{const_cast<char *>(program_.c_str()), const_cast<char *>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program_.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
    return true;
}

}   // namespace tindrel::platform::linux_impl
