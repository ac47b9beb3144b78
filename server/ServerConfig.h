// The network server daemon's configuration file as the panel sees it: the
// keys it shows and edits, their defaults, and the fixed keys it writes.
// Every read and write parses the file afresh; keys the panel does not
// manage survive a write.
#pragma once

#include <optional>
#include <string>

namespace tindrel::server {

struct ServerSettings {
    bool startAtBoot = false;
    bool enabled = true;
    std::string port = "5661";   // as typed: written without validation
    bool publish = true;
    std::string publishName;
    std::string password;
    bool webserverEnabled = true;
    std::string webserverPort = "8989";
    std::string docroot;   // set to the default by the constructor
    bool dictionaryEnabled = true;
    bool controlEnabled = true;

    ServerSettings();
    bool operator==(const ServerSettings &) const = default;
};

// Reads the settings from the file; defaults when it is missing or cannot
// be parsed.
ServerSettings readServerSettings(const std::string &path);
// The same from configuration text (nothing: the defaults).
ServerSettings settingsFromText(const std::optional<std::string> &text);

struct RenderedConfig {
    // Conflict: the existing file holds a plain value where one of the keys
    // written needs a table (or the other way round), so the key cannot be
    // set without losing what is there.
    enum class Result { Ok, NoConfiguration, TooLarge, Conflict };
    Result result = Result::NoConfiguration;
    std::string text;   // Ok: the file's new text; Conflict: the key that could not be set
};

// The file's new text: the existing configuration (parsed from the file at
// `path`; an empty one when that fails) with the panel's keys set. The text
// must fit the 4096-byte render buffer, and every key must take its value,
// or nothing is produced.
RenderedConfig renderServerSettings(const ServerSettings &settings, const std::string &path);
// The same over configuration text held in memory (nothing: no file).
RenderedConfig renderServerSettingsOver(const ServerSettings &settings, const std::optional<std::string> &text);

inline constexpr std::size_t kRenderBufferSize = 4096;

}   // namespace tindrel::server
