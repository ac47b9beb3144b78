#include "ServerConfig.h"

#include "Paths.h"
#include "tindrel22extra.h"

#include <memory>
#include <string_view>
#include <vector>

namespace tindrel::server {
namespace {

constexpr std::size_t kErrorBufferSize = 8192;

struct PconfRelease {
    void operator()(pconf_t *pc) const { pconf_release(&pc); }
};
using Pconf = std::unique_ptr<pconf_t, PconfRelease>;

Pconf parseFile(const std::string &path)
{
    pconf_t *pc = nullptr;
    std::vector<char> error(kErrorBufferSize);
    if (pconf_parsepc(&pc, error.data(), error.size(), "%s", path.c_str()) != 0)
        return nullptr;
    return Pconf(pc);
}

Pconf parseText(const std::optional<std::string> &text)
{
    if (!text)
        return nullptr;
    pconf_t *pc = nullptr;
    std::vector<char> error(kErrorBufferSize);
    if (pconf_parsepcs(&pc, error.data(), error.size(), text->c_str()) != 0)
        return nullptr;
    return Pconf(pc);
}

ServerSettings settingsFrom(pconf_t *pc)
{
    ServerSettings s;
    if (!pc)
        return s;
    const ServerSettings d;
    s.startAtBoot = pconf_getbool(pc, d.startAtBoot, "tindrel.startatboot") != 0;
    s.enabled = pconf_getbool(pc, d.enabled, "tindrel.enabled") != 0;
    s.port = std::to_string(pconf_getu32(pc, 5661, "tindrel.network.ipv4.port"));
    s.publish = pconf_getbool(pc, d.publish, "tindrel.network.publish.enabled") != 0;
    s.publishName = pconf_getstr(pc, "", "tindrel.network.publish.name");
    s.password = pconf_getstr(pc, "", "tindrel.auth.password");
    s.webserverEnabled = pconf_getbool(pc, d.webserverEnabled, "tindrel.www.enabled") != 0;
    s.webserverPort = std::to_string(pconf_getu32(pc, 8989, "tindrel.www.network.ipv4.port"));
    s.docroot = pconf_getstr(pc, d.docroot.c_str(), "tindrel.www.docroot");
    s.dictionaryEnabled = pconf_getbool(pc, d.dictionaryEnabled, "tindrel.feature.dictionary.enabled") != 0;
    s.controlEnabled = pconf_getbool(pc, d.controlEnabled, "tindrel.feature.control.enabled") != 0;
    return s;
}

const char *flag(bool on) { return on ? "true" : "false"; }

RenderedConfig renderOver(const ServerSettings &s, Pconf pc)
{
    if (!pc) {
        pconf_t *fresh = nullptr;
        if (pconf_create(&fresh) != 0 || !fresh)
            return {};
        pc.reset(fresh);
    }
    pconf_t *c = pc.get();
    pconf_setcreatemissing(c, 1);
    // A key that cannot take its value is reported, never left out of a file
    // written as if it had been set.
    const char *conflict = nullptr;
    const auto set = [c, &conflict](std::string_view value, const char *key) {
        if (!conflict && pconf_set(c, std::string(value).c_str(), "%s", key) != 0)
            conflict = key;
    };
    const auto setOrRemove = [c, &set](const std::string &value, const char *key) {
        if (value.empty())
            pconf_remove(c, "%s", key);   // missing already is fine
        else
            set(value, key);
    };
    set(flag(s.startAtBoot), "tindrel.startatboot");
    set("info", "tindrel.logging.level");
    set(paths::kServerLogFile, "tindrel.logging.file");
    set(flag(s.enabled), "tindrel.enabled");
    set(s.port, "tindrel.network.ipv4.port");
    set(flag(s.publish), "tindrel.network.publish.enabled");
    setOrRemove(s.publishName, "tindrel.network.publish.name");
    setOrRemove(s.password, "tindrel.auth.password");
    set(flag(s.webserverEnabled), "tindrel.www.enabled");
    set(s.docroot, "tindrel.www.docroot");
    set(paths::kServerAccessLogFile, "tindrel.www.logging.accesslog");
    set(s.webserverPort, "tindrel.www.network.ipv4.port");
    set(paths::kServerMimeTypesFile, "tindrel.www.mimetypes");
    set(paths::kServerDictionaryDir, "tindrel.feature.dictionary.directory");
    set(flag(s.dictionaryEnabled), "tindrel.feature.dictionary.enabled");
    set(flag(s.controlEnabled), "tindrel.feature.control.enabled");
    if (conflict)
        return {RenderedConfig::Result::Conflict, conflict};

    std::vector<char> buffer(kRenderBufferSize);
    // A text that does not fit is refused whole, never written cut short.
    if (pconf_renderpc(c, buffer.data(), buffer.size()) != 0)
        return {RenderedConfig::Result::TooLarge, {}};
    return {RenderedConfig::Result::Ok, std::string(buffer.data())};
}

}   // namespace

ServerSettings::ServerSettings()
    : docroot(paths::kServerDocroot)
{ }

ServerSettings readServerSettings(const std::string &path) { return settingsFrom(parseFile(path).get()); }

ServerSettings settingsFromText(const std::optional<std::string> &text) { return settingsFrom(parseText(text).get()); }

RenderedConfig renderServerSettings(const ServerSettings &settings, const std::string &path)
{
    return renderOver(settings, parseFile(path));
}

RenderedConfig renderServerSettingsOver(const ServerSettings &settings, const std::optional<std::string> &text)
{
    return renderOver(settings, parseText(text));
}

}   // namespace tindrel::server
