#include "Enumerate.h"

#include <algorithm>
#include <chrono>

namespace tindrel::cli {

void settle(ManagerEvents &manager, int settleMs, const std::function<bool()> &stop)
{
    using Clock = std::chrono::steady_clock;
    const auto quiet = std::chrono::milliseconds(settleMs);
    const auto hardEnd = Clock::now() + quiet + std::chrono::seconds(10);
    while (!(stop && stop())) {
        const auto quietEnd = manager.lastEvent() + quiet;
        const auto now = Clock::now();
        if (now >= quietEnd || now >= hardEnd)
            return;
        manager.serve(std::min(quietEnd, hardEnd), stop);
    }
}

std::optional<Failure> collectTree(DeviceTree &tree, bool remote, int settleMs)
{
    ManagerEvents manager([&tree](TindrelHandle ch, bool attached) {
        if (attached)
            tree.attach(ch);
        else
            tree.detach(ch);
    });
    if (auto f = manager.open(remote))
        return f;
    settle(manager, settleMs);
    manager.stop();
    return std::nullopt;
}

}   // namespace tindrel::cli
