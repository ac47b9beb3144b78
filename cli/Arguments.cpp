#include "Arguments.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace tindrel::cli {

namespace {

bool looksNumeric(const std::string &w)
{
    if (w.size() < 2 || w[0] != '-')
        return false;
    char *end = nullptr;
    std::strtod(w.c_str(), &end);
    return end == w.c_str() + w.size();
}

std::optional<int> parseInt(const std::string &text)
{
    const auto v = parseWholeNumber(text);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*v);
}

}   // namespace

std::optional<long long> parseWholeNumber(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isdigit(static_cast<unsigned char>(text.back())))
        return std::nullopt;
    return v;
}

std::optional<std::string> Arguments::value(const std::string &name) const
{
    const auto it = options.find(name);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

AddressArgs Arguments::address() const
{
    AddressArgs all;
    for (const Group &g : groups) {
        const AddressArgs &a = g.address;
        for (const std::string &flag : a.given) {
            all.given.push_back(flag);
            const OpenSettings &s = a.settings;
            if (flag == openkeys::serial)
                all.settings.serialNumber = s.serialNumber;
            else if (flag == openkeys::hubPort)
                all.settings.hubPort = s.hubPort;
            else if (flag == openkeys::channel)
                all.settings.channel = s.channel;
            else if (flag == openkeys::hubPortDevice)
                all.settings.hubPortDevice = s.hubPortDevice;
            else if (flag == openkeys::remote)
                all.settings.remote = s.remote;
            else if (flag == openkeys::label)
                all.settings.label = s.label;
            else if (flag == openkeys::serverName)
                all.settings.serverName = s.serverName;
            else if (flag == openkeys::password)
                all.settings.password = s.password;
            else if (flag == openkeys::logFile)
                all.settings.logFile = s.logFile;
        }
    }
    return all;
}

std::optional<Arguments> parseArguments(std::span<const std::string> words, std::span<const OptionSpec> options,
                                        std::string *problem)
{
    Arguments out;
    out.groups.emplace_back();
    bool onlyPositional = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        const bool hasNext = i + 1 < words.size();
        if (onlyPositional || w.empty() || w[0] != '-' || w == "-" || looksNumeric(w)) {
            out.positional.push_back(w);
            out.groups.push_back({w, {}});
            continue;
        }
        if (w == "--") {
            onlyPositional = true;
            continue;
        }
        if (w.starts_with("--")) {
            std::string name = w.substr(2);
            std::optional<std::string> inlineValue;
            if (const size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            const OptionSpec *known = nullptr;
            for (const OptionSpec &o : options)
                if (name == o.name)
                    known = &o;
            if (!known) {
                *problem = "unknown option " + w;
                return std::nullopt;
            }
            if (known->takesValue) {
                if (inlineValue) {
                    out.options[name] = inlineValue;
                } else if (hasNext) {
                    out.options[name] = words[++i];
                } else {
                    *problem = "option --" + name + " needs a value";
                    return std::nullopt;
                }
            } else {
                if (inlineValue) {
                    *problem = "option --" + name + " takes no value";
                    return std::nullopt;
                }
                out.options[name] = std::nullopt;
            }
            continue;
        }
        // A one-letter address flag.
        const std::string flag = w.substr(1);
        AddressArgs &a = out.groups.back().address;
        OpenSettings &s = a.settings;
        auto needValue = [&]() -> const std::string * {
            if (!hasNext) {
                *problem = "flag " + w + " needs a value";
                return nullptr;
            }
            return &words[++i];
        };
        auto needInt = [&](const char *what) -> std::optional<int> {
            const std::string *v = needValue();
            if (!v)
                return std::nullopt;
            const auto n = parseInt(*v);
            if (!n)
                *problem = "flag " + w + " needs a " + what + " as a whole number, not \"" + *v + "\"";
            return n;
        };
        if (flag == openkeys::serial) {
            const auto n = needInt("serial number");
            if (!n)
                return std::nullopt;
            if (*n < 0) {
                *problem = "flag -n needs a serial number of 0 (any) or more, not " + std::to_string(*n);
                return std::nullopt;
            }
            s.serialNumber = *n;
        } else if (flag == openkeys::hubPort) {
            const auto n = needInt("hub port");
            if (!n)
                return std::nullopt;
            s.hubPort = *n;
        } else if (flag == openkeys::channel) {
            const auto n = needInt("channel index");
            if (!n)
                return std::nullopt;
            s.channel = *n;
        } else if (flag == openkeys::hubPortDevice) {
            s.hubPortDevice = true;
        } else if (flag == openkeys::remote) {
            s.remote = true;
        } else if (flag == openkeys::label || flag == openkeys::serverName || flag == openkeys::password ||
                   flag == openkeys::logFile) {
            const std::string *v = needValue();
            if (!v)
                return std::nullopt;
            const QString text = QString::fromStdString(*v);
            if (flag == openkeys::label)
                s.label = text;
            else if (flag == openkeys::serverName)
                s.serverName = text;
            else if (flag == openkeys::password)
                s.password = text;
            else
                s.logFile = text;
        } else {
            *problem = "unknown flag " + w;
            return std::nullopt;
        }
        a.given.push_back(flag);
    }
    return out;
}

std::string addressText(const OpenSettings &s)
{
    std::string out = "-n " + std::to_string(s.serialNumber);
    if (s.hubPort != 0 || s.hubPortDevice)
        out += " -v " + std::to_string(s.hubPort);
    out += " -c " + std::to_string(s.channel);
    if (s.hubPortDevice)
        out += " -h";
    if (s.serverName)
        out += " -s " + s.serverName->toStdString();
    else if (s.remote)
        out += " -r";
    if (s.label)
        out += " -L " + s.label->toStdString();
    return out;
}

}   // namespace tindrel::cli
