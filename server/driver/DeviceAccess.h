// Device access on Linux: the Tindrels (USB vendor 0x7D1E) become usable by
// the logged-in user through one udev rule. The check asks whether the rule
// is installed and can be in force; the install puts the driver package's
// rule in place and has udev apply it. All paths are below `root` ("/" in
// use, a temporary folder in tests).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tindrel::server {

// Product IDs: 0x2000 to 0x9FFF, the high digit being the product group of
// the device catalogue (2 hubs and loaders ... 9 power and outputs).
std::string deviceRuleText();

enum class DeviceAccessState {
    Active,           // the rule is installed and udev runs
    NotInstalled,     // no rule, or another text than this version's
    UdevNotRunning,   // installed, but nothing applies it
};

DeviceAccessState checkDeviceAccess(const std::filesystem::path &root);

// Runs a program (argv[0] is its path) and returns its exit status, or -1.
using ProgramRunner = std::function<int(const std::vector<std::string> &)>;

// Results, the exit statuses of the driver loader:
//   0 installed and applied
//   4 the rule could not be written, or udev refused to reload
//   5 the package holds no rule
//   6 installed, but udev does not run here, so it cannot take effect
//   7 the package's rule failed its check (not root's, writable by others,
//     or not this version's text)
int installDeviceAccess(const std::filesystem::path &root, const std::filesystem::path &package,
                        const ProgramRunner &run);

}   // namespace tindrel::server
