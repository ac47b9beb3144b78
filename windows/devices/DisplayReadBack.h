#pragma once

// What a display shows, read back from the device library where it can tell
// (the simulated library's test-control calls). A real library cannot: then
// every read gives nothing and the windows show no preview.
#include <tindrel22_core.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tindrel {

struct ReadBackFrame {
    int width = 0;
    int height = 0;
    // Row by row, how bright each dot looks: 0 dark to 255 full light, the
    // display's contrast and backlight applied.
    std::vector<uint8_t> levels;
};

struct ReadBackLed {
    uint8_t red = 0, green = 0, blue = 0, white = 0;
};

class DisplayReadBack {
public:
    virtual ~DisplayReadBack() = default;
    virtual std::optional<ReadBackFrame> lcdFrame(TindrelHandle channel) = 0;
    virtual std::optional<std::vector<ReadBackLed>> ledColors(TindrelHandle channel) = 0;
};

// The read-back of the library this program is built with.
std::unique_ptr<DisplayReadBack> makeDisplayReadBack();

}   // namespace tindrel
