#pragma once

// The channel settings file: the settable properties of some channels with
// each channel's address, as written by `tindrel save` and read by
// `tindrel apply` (and meant for the panel's windows as well). JSON; the
// layout is described in cli/README.md. Pure functions, no device library.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tindrel::settings {

inline constexpr const char *kFormatName = "tindrel-channel-settings";
inline constexpr int kFormatVersion = 1;

// A stored property value: a whole number or a decimal number.
using Number = std::variant<int64_t, double>;

struct ChannelAddress {
    int32_t serialNumber = 0;   // 0: any
    int32_t hubPort = 0;
    int32_t channel = 0;
    bool hubPortDevice = false;
    bool remote = false;
    std::optional<std::string> serverName;   // implies remote
    std::optional<std::string> label;
    bool operator==(const ChannelAddress &) const = default;
};

// What the channel was when it was saved; for people reading the file.
struct DeviceNote {
    std::string name;
    std::string sku;
    int32_t deviceId = 0;
    int32_t version = 0;
    bool operator==(const DeviceNote &) const = default;
};

struct ChannelSettings {
    std::string className;   // short class name, "VoltageInput"
    ChannelAddress address;
    std::optional<DeviceNote> device;
    std::vector<std::pair<std::string, Number>> properties;   // in the order written
    bool operator==(const ChannelSettings &) const = default;
};

struct SettingsFile {
    std::vector<ChannelSettings> channels;
    bool operator==(const SettingsFile &) const = default;
};

// The file's text (ends with a line break).
std::string writeSettings(const SettingsFile &file);

// Reads a file's text. On failure returns nothing and *problem says where
// ("line 3, column 7: ..." or "channels[1].properties.DutyCycle: ...").
// Keys this version does not know are ignored, so later versions can add some.
std::optional<SettingsFile> readSettings(const std::string &text, std::string *problem);

// The order in which properties are set: a scale factor first (positions
// and velocities are read in its units), then the given order, and motor
// engagement last (a motor starts only once its limits and target are set).
std::vector<std::string> applyOrder(std::vector<std::string> names);

}   // namespace tindrel::settings
