// The read-back of the simulated device library, through its test-control calls.
#include "DisplayReadBack.h"

#include <tindrelsim.h>

namespace tindrel {

namespace {

class SimulatorReadBack final : public DisplayReadBack {
public:
    std::optional<ReadBackFrame> lcdFrame(TindrelHandle channel) override
    {
        ReadBackFrame f;
        size_t len = 0;
        if (TindrelSim_getLCDPictureOf(channel, nullptr, &len, &f.width, &f.height) != TINDREL_ENOSPC && len == 0)
            return std::nullopt;
        f.levels.resize(len);
        if (TindrelSim_getLCDPictureOf(channel, f.levels.data(), &len, &f.width, &f.height) != TINDREL_OK)
            return std::nullopt;
        return f;
    }
    std::optional<std::vector<ReadBackLed>> ledColors(TindrelHandle channel) override
    {
        size_t count = 0;
        TindrelSim_getLEDColorsOf(channel, nullptr, &count);
        std::vector<uint8_t> raw(count * 4);
        if (count == 0 || TindrelSim_getLEDColorsOf(channel, raw.data(), &count) != TINDREL_OK)
            return std::nullopt;
        std::vector<ReadBackLed> out;
        for (size_t i = 0; i + 3 < raw.size(); i += 4)
            out.push_back({raw[i], raw[i + 1], raw[i + 2], raw[i + 3]});
        return out;
    }
};

}   // namespace

std::unique_ptr<DisplayReadBack> makeDisplayReadBack() { return std::make_unique<SimulatorReadBack>(); }

}   // namespace tindrel
