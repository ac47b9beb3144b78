#include "SettingsFile.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace tindrel::settings {

namespace {

using Json = nlohmann::ordered_json;

struct Problem {
    std::string text;
};

[[noreturn]] void fail(const std::string &where, const std::string &what) { throw Problem{where + ": " + what}; }

const Json *member(const Json &object, const char *key) { return object.contains(key) ? &object.at(key) : nullptr; }

std::string stringAt(const Json &object, const char *key, const std::string &where, bool required)
{
    const Json *v = member(object, key);
    if (!v) {
        if (required)
            fail(where, std::string("\"") + key + "\" is missing");
        return {};
    }
    if (!v->is_string())
        fail(where + "." + key, "not a text");
    return v->get<std::string>();
}

std::optional<std::string> optionalString(const Json &object, const char *key, const std::string &where)
{
    if (!member(object, key) || object.at(key).is_null())
        return std::nullopt;
    return stringAt(object, key, where, true);
}

int32_t intAt(const Json &object, const char *key, const std::string &where, int32_t fallback)
{
    const Json *v = member(object, key);
    if (!v)
        return fallback;
    if (!v->is_number_integer())
        fail(where + "." + key, "not a whole number");
    const int64_t i = v->get<int64_t>();
    if (i < INT32_MIN || i > INT32_MAX)
        fail(where + "." + key, "out of range");
    return static_cast<int32_t>(i);
}

bool boolAt(const Json &object, const char *key, const std::string &where)
{
    const Json *v = member(object, key);
    if (!v)
        return false;
    if (!v->is_boolean())
        fail(where + "." + key, "not true or false");
    return v->get<bool>();
}

Json numberJson(const Number &n)
{
    if (const int64_t *i = std::get_if<int64_t>(&n))
        return *i;
    return std::get<double>(n);
}

std::string lineAndColumn(const std::string &text, size_t offset)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}   // namespace

std::string writeSettings(const SettingsFile &file)
{
    Json root;
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    Json channels = Json::array();
    for (const ChannelSettings &c : file.channels) {
        Json ch;
        ch["class"] = c.className;
        Json a;
        a["serialNumber"] = c.address.serialNumber;
        a["hubPort"] = c.address.hubPort;
        a["channel"] = c.address.channel;
        a["hubPortDevice"] = c.address.hubPortDevice;
        a["remote"] = c.address.remote || c.address.serverName.has_value();
        if (c.address.serverName)
            a["serverName"] = *c.address.serverName;
        if (c.address.label)
            a["label"] = *c.address.label;
        ch["address"] = std::move(a);
        if (c.device) {
            Json d;
            d["name"] = c.device->name;
            d["sku"] = c.device->sku;
            d["deviceId"] = c.device->deviceId;
            d["version"] = c.device->version;
            ch["device"] = std::move(d);
        }
        Json props = Json::object();
        for (const auto &[name, value] : c.properties)
            props[name] = numberJson(value);
        ch["properties"] = std::move(props);
        channels.push_back(std::move(ch));
    }
    root["channels"] = std::move(channels);
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<SettingsFile> readSettings(const std::string &text, std::string *problem)
{
    std::string dummy;
    if (!problem)
        problem = &dummy;
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error &e) {
        *problem = lineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0) + ": not valid JSON";
        return std::nullopt;
    }
    try {
        if (!root.is_object())
            fail("file", "not a settings object");
        const std::string format = stringAt(root, "format", "file", true);
        if (format != kFormatName)
            fail("format", "\"" + format + "\" is not a channel settings file");
        const Json *version = member(root, "version");
        if (!version || !version->is_number_integer())
            fail("version", "missing or not a whole number");
        if (version->get<int64_t>() > kFormatVersion)
            fail("version", "version " + std::to_string(version->get<int64_t>()) +
                                " was written by a newer program (this one reads version " +
                                std::to_string(kFormatVersion) + ")");
        if (version->get<int64_t>() < 1)
            fail("version", "not a known version");
        const Json *channels = member(root, "channels");
        if (!channels || !channels->is_array())
            fail("channels", "missing or not a list");
        SettingsFile out;
        for (size_t i = 0; i < channels->size(); ++i) {
            const std::string where = "channels[" + std::to_string(i) + "]";
            const Json &ch = channels->at(i);
            if (!ch.is_object())
                fail(where, "not an object");
            ChannelSettings c;
            c.className = stringAt(ch, "class", where, true);
            if (c.className.empty())
                fail(where + ".class", "empty");
            const Json *a = member(ch, "address");
            if (!a || !a->is_object())
                fail(where + ".address", "missing or not an object");
            const std::string aw = where + ".address";
            c.address.serialNumber = intAt(*a, "serialNumber", aw, 0);
            c.address.hubPort = intAt(*a, "hubPort", aw, 0);
            c.address.channel = intAt(*a, "channel", aw, 0);
            c.address.hubPortDevice = boolAt(*a, "hubPortDevice", aw);
            c.address.remote = boolAt(*a, "remote", aw);
            c.address.serverName = optionalString(*a, "serverName", aw);
            c.address.label = optionalString(*a, "label", aw);
            if (c.address.serverName)
                c.address.remote = true;
            if (const Json *d = member(ch, "device"); d && d->is_object()) {
                const std::string dw = where + ".device";
                c.device = DeviceNote{stringAt(*d, "name", dw, false), stringAt(*d, "sku", dw, false),
                                      intAt(*d, "deviceId", dw, 0), intAt(*d, "version", dw, 0)};
            }
            const Json *props = member(ch, "properties");
            if (!props || !props->is_object())
                fail(where + ".properties", "missing or not an object");
            for (auto it = props->begin(); it != props->end(); ++it) {
                const std::string pw = where + ".properties." + it.key();
                const Json &v = it.value();
                if (v.is_boolean())
                    c.properties.emplace_back(it.key(), int64_t{v.get<bool>() ? 1 : 0});
                else if (v.is_number_integer() && !v.is_number_unsigned())
                    c.properties.emplace_back(it.key(), v.get<int64_t>());
                else if (v.is_number_unsigned()) {
                    if (v.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
                        fail(pw, "out of range");
                    c.properties.emplace_back(it.key(), static_cast<int64_t>(v.get<uint64_t>()));
                } else if (v.is_number_float())
                    c.properties.emplace_back(it.key(), v.get<double>());
                else
                    fail(pw, "not a number");
            }
            out.channels.push_back(std::move(c));
        }
        return out;
    } catch (const Problem &p) {
        *problem = p.text;
        return std::nullopt;
    } catch (const Json::exception &e) {
        *problem = e.what();
        return std::nullopt;
    }
}

std::vector<std::string> applyOrder(std::vector<std::string> names)
{
    auto rank = [](const std::string &n) { return n == "RescaleFactor" ? 0 : (n == "Engaged" ? 2 : 1); };
    std::stable_sort(names.begin(), names.end(),
                     [&](const std::string &a, const std::string &b) { return rank(a) < rank(b); });
    return names;
}

}   // namespace tindrel::settings
