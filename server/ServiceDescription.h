// The daemon's service description: a systemd unit holding three facts,
// the service label, the program with its arguments, and whether it starts
// at boot (an [Install] section wanted by multi-user.target).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel::server {

struct ServiceDescription {
    std::string label;
    std::vector<std::string> programArguments;
    bool runAtLoad = false;
    bool operator==(const ServiceDescription &) const = default;
};

// The network server's description with its fixed label, program and
// configuration path.
ServiceDescription networkServerDescription(bool runAtLoad);

struct RenderedUnit {
    std::string text;
    std::string error;   // set when the description cannot be written as a unit
};
RenderedUnit renderUnit(const ServiceDescription &description);

// Reads back what renderUnit wrote; nothing for a text without a label or a
// program.
std::optional<ServiceDescription> parseUnit(std::string_view text);

}   // namespace tindrel::server
