#include "DaemonConfig.h"

#include "Paths.h"
#include "tindrel22extra.h"

#include <memory>

namespace tindrel::daemon {
namespace {

struct PconfRelease {
    void operator()(pconf_t *pc) const { pconf_release(&pc); }
};
using Pconf = std::unique_ptr<pconf_t, PconfRelease>;

class Reader {
public:
    Reader(pconf_t *pc, std::string name)
        : pc_(pc)
        , name_(std::move(name))
    { }
    const char *raw(const char *key) { return pconf_getstr(pc_, nullptr, "%s", key); }
    void flag(const char *key, bool &out)
    {
        const char *v = raw(key);
        if (!v)
            return;
        const std::string s = v;
        if (s == "true")
            out = true;
        else if (s == "false")
            out = false;
        else
            fail(key, s, "true or false");
    }
    void port(const char *key, std::uint16_t &out)
    {
        const char *v = raw(key);
        if (!v)
            return;
        const std::string s = v;
        unsigned long n = 0;
        bool ok = !s.empty() && s.size() <= 5;
        for (const char c : s) {
            ok = ok && c >= '0' && c <= '9';
            n = n * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!ok || n < 1 || n > 65535)
            fail(key, s, "a port number from 1 to 65535");
        else
            out = static_cast<std::uint16_t>(n);
    }
    void text(const char *key, std::string &out)
    {
        if (const char *v = raw(key))
            out = v;
    }
    void fail(const char *key, const std::string &value, const char *wanted)
    {
        if (error.empty())
            error = name_ + ": " + key + " is \"" + value + "\", but must be " + wanted;
    }
    std::string error;

private:
    pconf_t *pc_;
    std::string name_;
};

std::variant<DaemonConfig, std::string> fromPconf(pconf_t *pc, const std::string &name)
{
    DaemonConfig c;
    c.docroot = paths::kServerDocroot;
    c.logFile = paths::kServerLogFile;
    c.accessLog = paths::kServerAccessLogFile;
    c.mimeTypes = paths::kServerMimeTypesFile;
    c.dictionaryDirectory = paths::kServerDictionaryDir;
    Reader r(pc, name);
    r.flag("tindrel.startatboot", c.startAtBoot);
    r.flag("tindrel.enabled", c.enabled);
    r.port("tindrel.network.ipv4.port", c.port);
    r.flag("tindrel.network.publish.enabled", c.publish);
    r.text("tindrel.network.publish.name", c.publishName);
    c.passwordSet = r.raw("tindrel.auth.password") && *r.raw("tindrel.auth.password");
    if (c.passwordSet)
        c.password = r.raw("tindrel.auth.password");
    r.flag("tindrel.www.enabled", c.webserverEnabled);
    r.port("tindrel.www.network.ipv4.port", c.webserverPort);
    r.text("tindrel.www.docroot", c.docroot);
    r.text("tindrel.logging.level", c.logLevel);
    r.text("tindrel.logging.file", c.logFile);
    r.text("tindrel.www.logging.accesslog", c.accessLog);
    r.text("tindrel.www.mimetypes", c.mimeTypes);
    r.text("tindrel.feature.dictionary.directory", c.dictionaryDirectory);
    r.flag("tindrel.feature.dictionary.enabled", c.dictionaryEnabled);
    r.flag("tindrel.feature.control.enabled", c.controlEnabled);
    if (c.logLevel != "error" && c.logLevel != "warning" && c.logLevel != "info" && c.logLevel != "debug")
        r.fail("tindrel.logging.level", c.logLevel, "error, warning, info or debug");
    if (c.enabled && c.webserverEnabled && c.port == c.webserverPort)
        r.fail("tindrel.www.network.ipv4.port", std::to_string(c.webserverPort),
               "another port than tindrel.network.ipv4.port");
    if (!r.error.empty())
        return r.error;
    return c;
}

}   // namespace

std::variant<DaemonConfig, std::string> loadDaemonConfig(const std::string &path)
{
    pconf_t *pc = nullptr;
    char error[8192] = {};
    if (pconf_parsepc(&pc, error, sizeof error, "%s", path.c_str()) != 0)
        return std::string("cannot read the configuration: ") + error;
    Pconf owner(pc);
    return fromPconf(pc, path);
}

std::variant<DaemonConfig, std::string> daemonConfigFromText(const std::string &text, const std::string &name)
{
    pconf_t *pc = nullptr;
    char error[8192] = {};
    if (pconf_parsepcs(&pc, error, sizeof error, text.c_str()) != 0)
        return std::string("cannot read the configuration: ") + error;
    Pconf owner(pc);
    return fromPconf(pc, name);
}

std::vector<std::pair<std::string, std::string>> describe(const DaemonConfig &c)
{
    const auto b = [](bool v) { return std::string(v ? "true" : "false"); };
    return {
        {"tindrel.startatboot", b(c.startAtBoot)},
        {"tindrel.enabled", b(c.enabled)},
        {"tindrel.network.ipv4.port", std::to_string(c.port)},
        {"tindrel.network.publish.enabled", b(c.publish)},
        {"tindrel.network.publish.name", c.publishName},
        {"tindrel.auth.password", c.passwordSet ? "(set, not shown)" : "(none)"},
        {"tindrel.www.enabled", b(c.webserverEnabled)},
        {"tindrel.www.network.ipv4.port", std::to_string(c.webserverPort)},
        {"tindrel.www.docroot", c.docroot},
        {"tindrel.www.logging.accesslog", c.accessLog},
        {"tindrel.www.mimetypes", c.mimeTypes},
        {"tindrel.logging.level", c.logLevel},
        {"tindrel.logging.file", c.logFile},
        {"tindrel.feature.dictionary.enabled", b(c.dictionaryEnabled)},
        {"tindrel.feature.dictionary.directory", c.dictionaryDirectory},
        {"tindrel.feature.control.enabled", b(c.controlEnabled)},
    };
}

}   // namespace tindrel::daemon
