#include "HelperTransport.h"

#include "LinuxServices.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tindrel::server {

int performCommand(platform::HelperLauncher &launcher, const raisetool::Block &block,
                   const std::optional<platform::AuthorizationFormBytes> &form)
{
    if (!form)
        return -1;
    std::vector<std::byte> input(form->size() + block.size());
    std::copy(form->begin(), form->end(), input.begin());
    std::copy(block.begin(), block.end(), input.begin() + static_cast<std::ptrdiff_t>(form->size()));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const platform::HelperOutcome outcome = launcher.runOnce(input);
        switch (outcome.kind) {
        case platform::HelperOutcome::Kind::Exited:
            return outcome.status;
        case platform::HelperOutcome::Kind::NotRun:
            return -1;
        case platform::HelperOutcome::Kind::Signalled:
            break;   // once more
        }
    }
    return -1;
}

std::optional<platform::AuthorizationFormBytes> ownAuthorizationForm()
{
    const pid_t self = ::getpid();
    const auto start = platform::linux_impl::processStartTime(self);
    if (!start)
        return std::nullopt;
    return platform::encodeAuthorizationForm({self, *start, ::getuid()});
}

}   // namespace tindrel::server
