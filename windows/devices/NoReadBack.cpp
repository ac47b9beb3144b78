// The read-back of a library that cannot tell what its displays show.
#include "DisplayReadBack.h"

namespace tindrel {

namespace {

class NoReadBack final : public DisplayReadBack {
public:
    std::optional<ReadBackFrame> lcdFrame(TindrelHandle) override { return std::nullopt; }
    std::optional<std::vector<ReadBackLed>> ledColors(TindrelHandle) override { return std::nullopt; }
};

}   // namespace

std::unique_ptr<DisplayReadBack> makeDisplayReadBack() { return std::make_unique<NoReadBack>(); }

}   // namespace tindrel
