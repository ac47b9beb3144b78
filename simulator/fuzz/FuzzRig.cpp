// libFuzzer target: rig files through the rig reader. A rig that does not
// load must say where and why; one that loads holds only channels of the
// devices it lists.
#include "sim_internal.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    tsim::Rig rig;
    std::string err;
    if (!tsim::parseRig(text, "fuzz.json", rig, err)) {
        if (err.rfind("fuzz.json:", 0) != 0)
            std::abort();   // a refusal without its place
        if (!rig.devices.empty() || !rig.channels.empty())
            std::abort();   // a refused rig must leave the old one alone
        return 0;
    }
    for (const auto &channel : rig.channels)
        if (!channel || !channel->device)
            std::abort();
    return 0;
}
