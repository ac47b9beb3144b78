// The network server daemon's view of its configuration file.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tindrel::daemon {

struct DaemonConfig {
    bool startAtBoot = false;
    bool enabled = true;
    std::uint16_t port = 5661;
    bool publish = true;
    std::string publishName;
    bool passwordSet = false;
    std::string password;   // what clients must give; never logged
    bool webserverEnabled = true;
    std::uint16_t webserverPort = 8989;
    std::string docroot;
    std::string logLevel = "info";
    std::string logFile;
    std::string accessLog;
    std::string mimeTypes;
    std::string dictionaryDirectory;
    bool dictionaryEnabled = true;
    bool controlEnabled = true;
};

// The configuration, or a message that says what is wrong with it (file,
// key and the value found).
std::variant<DaemonConfig, std::string> loadDaemonConfig(const std::string &path);
std::variant<DaemonConfig, std::string> daemonConfigFromText(const std::string &text, const std::string &name);

// The settings as (key, shown value) rows, for the status page and the log;
// the password is never shown.
std::vector<std::pair<std::string, std::string>> describe(const DaemonConfig &config);

}   // namespace tindrel::daemon
