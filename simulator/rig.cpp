// Rig files: JSON read with nlohmann-json's SAX interface so that every
// value keeps the line and column it came from, then checked field by field.
#include <arpa/inet.h>
#include <nlohmann/json.hpp>

#include <iterator>

#include "sim_internal.h"

namespace tsim {
const ClassHooks *hooksFor(Tindrel_ChannelClass cls);
}

using nlohmann::json;
using namespace tsim;

namespace {

struct Pos {
    size_t line = 1, col = 1;
};

// An input iterator over the text that publishes how far the parser has read.
struct CountingIterator {
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;
    const char *p;
    const char **reach;
    reference operator*() const { return *p; }
    CountingIterator &operator++()
    {
        ++p;
        if (p > *reach)
            *reach = p;
        return *this;
    }
    CountingIterator operator++(int)
    {
        CountingIterator old = *this;
        ++*this;
        return old;
    }
    bool operator==(const CountingIterator &o) const { return p == o.p; }
    bool operator!=(const CountingIterator &o) const { return p != o.p; }
};

// Builds the DOM and records, for each JSON pointer, where its value (or,
// for object members, its key) was read.
class PositionSax : public nlohmann::json_sax<json> {
public:
    PositionSax(const char *base, const char **reach)
        : base_(base)
        , reach_(reach)
    { }
    json root;
    std::map<std::string, size_t> offsets;
    std::string error;
    size_t errorOffset = 0;

    bool null() override { return put(json(nullptr)); }
    bool boolean(bool v) override { return put(json(v)); }
    bool number_integer(number_integer_t v) override { return put(json(v)); }
    bool number_unsigned(number_unsigned_t v) override { return put(json(v)); }
    bool number_float(number_float_t v, const string_t &) override { return put(json(v)); }
    bool string(string_t &v) override { return put(json(v)); }
    bool binary(binary_t &) override { return put(json()); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_array() override { return close(); }
    bool key(string_t &k) override
    {
        key_ = k;
        // Point at the key's opening quote.
        offsets[path() + "/" + escape(k)] = offset() - std::min(offset(), k.size() + 1);
        return true;
    }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &ex) override
    {
        errorOffset = position > 0 ? position - 1 : 0;
        error = ex.what();
        // Drop the library's "[json.exception...] parse error at line x, column y: " prefix.
        if (auto c = error.find(": "); c != std::string::npos && error.rfind("[json.exception", 0) == 0) {
            auto c2 = error.find(": ", c + 2);
            if (c2 != std::string::npos)
                error = error.substr(c2 + 2);
        }
        return false;
    }

private:
    static std::string escape(const std::string &k)
    {
        std::string out;
        for (char ch : k)
            out += ch == '~' ? "~0" : ch == '/' ? "~1" : std::string(1, ch);
        return out;
    }
    size_t offset() const { return static_cast<size_t>(*reach_ - base_); }
    std::string path() const
    {
        std::string p;
        for (const auto &s : segs_)
            p += "/" + s;
        return p;
    }
    json *place(json v)
    {
        if (stack_.empty()) {
            root = std::move(v);
            return &root;
        }
        json &top = *stack_.back();
        if (top.is_array()) {
            std::string seg = std::to_string(top.size());
            top.push_back(std::move(v));
            if (!offsets.count(path() + "/" + seg))
                offsets[path() + "/" + seg] = offset();
            return &top.back();
        }
        json &slot = top[key_];
        slot = std::move(v);
        return &slot;
    }
    std::string childSeg() const
    {
        json &top = *stack_.back();
        return top.is_array() ? std::to_string(top.size()) : escape(key_);
    }
    bool put(json v)
    {
        place(std::move(v));
        return true;
    }
    bool open(json v)
    {
        std::string seg = stack_.empty() ? "" : childSeg();
        json *p = place(std::move(v));
        if (!stack_.empty())
            segs_.push_back(seg);
        stack_.push_back(p);
        return true;
    }
    bool close()
    {
        stack_.pop_back();
        if (!stack_.empty())
            segs_.pop_back();
        return true;
    }
    const char *base_;
    const char **reach_;
    std::vector<json *> stack_;
    std::vector<std::string> segs_;
    std::string key_;
};

Pos positionOf(const std::string &text, size_t off)
{
    Pos p;
    for (size_t i = 0; i < off && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++p.line;
            p.col = 1;
        } else {
            ++p.col;
        }
    }
    return p;
}

// Reads the checked DOM into a Rig, stopping at the first problem.
class Reader {
public:
    Reader(const std::string &text, const std::string &source, const std::map<std::string, size_t> &offsets)
        : text_(text)
        , source_(source)
        , offsets_(offsets)
    { }
    std::string err;

    bool problem(const std::string &ptr, const std::string &msg)
    {
        // The nearest recorded position of the pointer or one of its parents.
        std::string p = ptr;
        size_t off = 0;
        for (;;) {
            auto it = offsets_.find(p);
            if (it != offsets_.end()) {
                off = it->second;
                break;
            }
            auto slash = p.rfind('/');
            if (slash == std::string::npos || p.empty())
                break;
            p.resize(slash);
        }
        Pos pos = positionOf(text_, off > 0 ? off - 1 : 0);
        err = strprintf("%s:%zu:%zu: %s", source_.c_str(), pos.line, pos.col, msg.c_str());
        return false;
    }

    // Object with only the given keys.
    bool keys(const json &o, const std::string &ptr, std::initializer_list<const char *> allowed, const char *what)
    {
        if (!o.is_object())
            return problem(ptr, strprintf("%s must be an object", what));
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const char *a : allowed)
                known |= it.key() == a;
            if (!known) {
                std::string list;
                for (const char *a : allowed)
                    list += std::string(list.empty() ? "" : ", ") + a;
                return problem(ptr + "/" + it.key(), strprintf("unknown key \"%s\" in %s (allowed: %s)",
                                                               it.key().c_str(), what, list.c_str()));
            }
        }
        return true;
    }
    bool str(const json &o, const std::string &ptr, const char *k, std::string &out, bool required = false)
    {
        if (!o.contains(k))
            return required ? problem(ptr, strprintf("missing \"%s\"", k)) : true;
        const json &v = o[k];
        if (!v.is_string())
            return problem(ptr + "/" + k, strprintf("\"%s\" must be a string", k));
        out = v.get<std::string>();
        return true;
    }
    template <class T>
    bool integer(const json &o, const std::string &ptr, const char *k, T &out, bool required = false,
                 long long lo = INT32_MIN, long long hi = UINT32_MAX)
    {
        if (!o.contains(k))
            return required ? problem(ptr, strprintf("missing \"%s\"", k)) : true;
        const json &v = o[k];
        if (!v.is_number_integer())
            return problem(ptr + "/" + k, strprintf("\"%s\" must be a whole number", k));
        long long n = v.is_number_unsigned() ? static_cast<long long>(v.get<unsigned long long>()) : v.get<long long>();
        if (n < lo || n > hi)
            return problem(ptr + "/" + k, strprintf("\"%s\" is %lld, outside %lld - %lld", k, n, lo, hi));
        out = static_cast<T>(n);
        return true;
    }
    bool number(const json &o, const std::string &ptr, const char *k, double &out)
    {
        if (!o.contains(k))
            return true;
        const json &v = o[k];
        if (!v.is_number())
            return problem(ptr + "/" + k, strprintf("\"%s\" must be a number", k));
        out = v.get<double>();
        return true;
    }
    bool boolean(const json &o, const std::string &ptr, const char *k, bool &out)
    {
        if (!o.contains(k))
            return true;
        const json &v = o[k];
        if (!v.is_boolean())
            return problem(ptr + "/" + k, strprintf("\"%s\" must be true or false", k));
        out = v.get<bool>();
        return true;
    }

    bool server(const json &o, const std::string &ptr, ServerInfo &s)
    {
        if (!keys(o, ptr,
                  {"id", "name", "uniqueName", "peerName", "host", "address", "port", "type", "password", "version",
                   "announce", "addresses", "resolveMs", "present"},
                  "a computer"))
            return false;
        int type = TINDRELSERVER_DEVICE;
        if (!str(o, ptr, "id", s.id, true) || !str(o, ptr, "name", s.name, true) ||
            !str(o, ptr, "uniqueName", s.uniqueName) || !str(o, ptr, "peerName", s.peerName) ||
            !str(o, ptr, "host", s.host) || !str(o, ptr, "address", s.addr) ||
            !integer(o, ptr, "port", s.port, false, 1, 65535) || !integer(o, ptr, "type", type, false, 1, 7) ||
            !str(o, ptr, "password", s.password) || !boolean(o, ptr, "present", s.presentAtLoad) ||
            !integer(o, ptr, "resolveMs", s.resolveMs, false, 0, 10000))
            return false;
        s.type = static_cast<TindrelServerType>(type);
        static const char *const stypes[] = {"",    "DeviceListener", "Device", "DeviceRemote", "WWWListener",
                                             "WWW", "WWWRemote",      "SBC"};
        s.stype = stypes[type];
        if (s.uniqueName.empty())
            s.uniqueName = s.name;
        if (s.peerName.empty())
            s.peerName = s.host;
        if (s.host.empty())
            s.host = s.name + ".local";
        if (s.addr.empty())
            s.addr = "127.0.0.1";
        if (o.contains("version")) {
            const json &v = o["version"];
            if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() || !v[1].is_number_integer())
                return problem(ptr + "/version", "\"version\" must be [major, minor]");
            s.verMajor = v[0].get<int>();
            s.verMinor = v[1].get<int>();
        }
        if (o.contains("announce")) {
            const json &a = o["announce"];
            if (!a.is_object())
                return problem(ptr + "/announce", "\"announce\" must be an object of keys and values");
            for (auto it = a.begin(); it != a.end(); ++it) {
                if (it->is_string())
                    s.announce.emplace_back(it.key(), it->get<std::string>());
                else if (it->is_number_integer())
                    s.announce.emplace_back(it.key(), std::to_string(it->get<long long>()));
                else
                    return problem(ptr + "/announce/" + it.key(),
                                   "announcement values must be strings or whole numbers");
            }
        }
        if (o.contains("addresses")) {
            const json &a = o["addresses"];
            if (!a.is_array())
                return problem(ptr + "/addresses", "\"addresses\" must be a list of IPv4 or IPv6 addresses");
            for (size_t i = 0; i < a.size(); ++i) {
                in6_addr probe{};
                const std::string text = a[i].is_string() ? a[i].get<std::string>() : std::string();
                if (inet_pton(AF_INET, text.c_str(), &probe) != 1 && inet_pton(AF_INET6, text.c_str(), &probe) != 1)
                    return problem(ptr + "/addresses/" + std::to_string(i),
                                   "each address must be an IPv4 or IPv6 address in text form");
                s.resolvesTo.push_back(text);
            }
        } else {
            s.resolvesTo.push_back(s.addr);
        }
        return true;
    }

    bool behaviour(const json &o, const std::string &ptr, Behaviour &b)
    {
        if (!keys(o, ptr, {"waveform", "amplitude", "offset", "period", "noise"}, "a behaviour"))
            return false;
        std::string w = "constant";
        if (!str(o, ptr, "waveform", w) || !number(o, ptr, "amplitude", b.amplitude) ||
            !number(o, ptr, "offset", b.offset) || !number(o, ptr, "period", b.period) ||
            !number(o, ptr, "noise", b.noise))
            return false;
        static const std::pair<const char *, Wave> waves[] = {{"constant", Wave::Constant},
                                                              {"sine", Wave::Sine},
                                                              {"square", Wave::Square},
                                                              {"ramp", Wave::Ramp},
                                                              {"noise", Wave::Noise}};
        bool found = false;
        for (auto &[n, wv] : waves)
            if (w == n) {
                b.wave = wv;
                found = true;
            }
        if (!found)
            return problem(ptr + "/waveform",
                           strprintf("unknown waveform \"%s\" (constant, sine, square, ramp or noise)", w.c_str()));
        if (b.period <= 0)
            return problem(ptr + "/period", "\"period\" must be above 0 seconds");
        b.set = true;
        return true;
    }

    bool propName(const ClassDesc &cls, const std::string &ptr, const std::string &name, int &idx)
    {
        idx = cls.prop(name.c_str());
        if (idx < 0)
            return problem(ptr, strprintf("%s has no property \"%s\"", cls.name, name.c_str()));
        return true;
    }

    bool channel(const json &o, const std::string &ptr, const std::shared_ptr<const DeviceInfo> &dev, Rig &rig)
    {
        if (!keys(o, ptr,
                  {"class", "subclass", "index", "count", "name", "behaviour", "properties", "ranges", "unsupported",
                   "hearsOwnSignal", "entries"},
                  "a channel"))
            return false;
        ChannelInfo ci;
        ci.device = dev;
        if (!o.contains("class"))
            return problem(ptr, "missing \"class\"");
        const json &cj = o["class"];
        if (cj.is_string())
            ci.cls = classByName(cj.get<std::string>());
        else if (cj.is_number_integer())
            ci.cls = classByNumber(cj.get<int>());
        else
            return problem(ptr + "/class", "\"class\" must be a class name or number");
        if (!ci.cls)
            return problem(ptr + "/class", strprintf("unknown channel class %s", cj.dump().c_str()));
        int count = 1;
        if (!integer(o, ptr, "subclass", ci.subclass, false, 0, 1000) ||
            !integer(o, ptr, "index", ci.index, false, 0, 1000000) ||
            !integer(o, ptr, "count", count, false, 1, 1000000) || !str(o, ptr, "name", ci.name) ||
            !boolean(o, ptr, "hearsOwnSignal", ci.hearsOwnSignal))
            return false;
        if (ci.name.empty())
            ci.name = ci.cls->name;
        if (o.contains("behaviour") && !behaviour(o["behaviour"], ptr + "/behaviour", ci.behaviour))
            return false;
        if (o.contains("properties")) {
            const json &ps = o["properties"];
            if (!ps.is_object())
                return problem(ptr + "/properties", "\"properties\" must be an object of names and numbers");
            for (auto it = ps.begin(); it != ps.end(); ++it) {
                std::string pp = ptr + "/properties/" + it.key();
                int idx;
                if (!propName(*ci.cls, pp, it.key(), idx))
                    return false;
                if (!it->is_number())
                    return problem(pp, strprintf("value of \"%s\" must be a number", it.key().c_str()));
                ci.initial[idx] = it->get<double>();
            }
        }
        if (o.contains("entries")) {
            const json &es = o["entries"];
            if (ci.cls->cls != TINDREL_CHCLASS_DICTIONARY)
                return problem(ptr + "/entries", "only a Dictionary channel has \"entries\"");
            if (!es.is_object())
                return problem(ptr + "/entries", "\"entries\" must be an object of keys and string values");
            for (auto it = es.begin(); it != es.end(); ++it) {
                if (!it->is_string())
                    return problem(ptr + "/entries/" + it.key(),
                                   strprintf("value of \"%s\" must be a string", it.key().c_str()));
                if (it.key().empty() || it.key().find('\n') != std::string::npos)
                    return problem(ptr + "/entries/" + it.key(), "a key must be one line of at least one byte");
                ci.entries[it.key()] = it->get<std::string>();
            }
        }
        if (o.contains("ranges")) {
            const json &rs = o["ranges"];
            if (!rs.is_object())
                return problem(ptr + "/ranges", "\"ranges\" must be an object of names and [min, max]");
            for (auto it = rs.begin(); it != rs.end(); ++it) {
                std::string pp = ptr + "/ranges/" + it.key();
                int idx;
                if (!propName(*ci.cls, pp, it.key(), idx))
                    return false;
                if (!it->is_array() || it->size() != 2 || !(*it)[0].is_number() || !(*it)[1].is_number() ||
                    (*it)[0].get<double>() > (*it)[1].get<double>())
                    return problem(pp,
                                   strprintf("range of \"%s\" must be [min, max] with min <= max", it.key().c_str()));
                ci.ranges[idx] = {(*it)[0].get<double>(), (*it)[1].get<double>()};
            }
        }
        if (o.contains("unsupported")) {
            const json &us = o["unsupported"];
            if (!us.is_array())
                return problem(ptr + "/unsupported", "\"unsupported\" must be a list of property names");
            for (size_t i = 0; i < us.size(); ++i) {
                std::string pp = ptr + "/unsupported/" + std::to_string(i);
                if (!us[i].is_string())
                    return problem(pp, "property names must be strings");
                int idx;
                if (!propName(*ci.cls, pp, us[i].get<std::string>(), idx))
                    return false;
                ci.unsupported.insert(idx);
            }
        }
        // Initial values must lie inside the channel's limits.
        for (auto &[idx, v] : ci.initial) {
            const PropDesc &p = ci.cls->props[static_cast<size_t>(idx)];
            double lo = p.lo, hi = p.hi;
            if (auto r = ci.ranges.find(idx); r != ci.ranges.end())
                std::tie(lo, hi) = r->second;
            if (p.writable() && lo <= hi && (v < lo || v > hi))
                return problem(ptr + "/properties/" + p.name, strprintf("%s %g is outside %g - %g", p.name, v, lo, hi));
        }
        if (ci.cls->hooks && ci.cls->hooks->prepare)
            ci.cls->hooks->prepare(ci);
        int first = ci.index;
        for (int i = 0; i < count; ++i) {
            auto c = std::make_shared<ChannelInfo>(ci);
            c->index = first + i;
            if (count > 1 && !o.contains("name"))
                c->name = strprintf("%s %d", ci.cls->name, c->index);
            rig.channels.push_back(std::move(c));
        }
        return true;
    }

    bool device(const json &o, const std::string &ptr, Rig &rig,
                std::map<std::string, std::shared_ptr<DeviceInfo>> &byId,
                const std::map<std::string, std::shared_ptr<const ServerInfo>> &servers)
    {
        if (!keys(o, ptr,
                  {"id", "deviceId", "class", "sku", "name", "version", "serial", "label", "firmwareUpgradeString",
                   "xlnkId", "server", "parent", "hubPort", "hubPortDevice", "present", "afterUpgrade", "identifies",
                   "channels"},
                  "a device"))
            return false;
        auto d = std::make_shared<DeviceInfo>();
        std::string server, parent, afterUpgrade;
        bool hasSerial = o.contains("serial");
        if (!str(o, ptr, "id", d->id, true) || !integer(o, ptr, "deviceId", d->deviceId, true, 0, 100000) ||
            !integer(o, ptr, "class", d->deviceClass, true, 0, 100) || !str(o, ptr, "sku", d->sku) ||
            !str(o, ptr, "name", d->name, true) || !integer(o, ptr, "version", d->version, false, 0, 100000) ||
            !integer(o, ptr, "serial", d->serial, false, 0, INT32_MAX) || !str(o, ptr, "label", d->label) ||
            !str(o, ptr, "firmwareUpgradeString", d->fwString) ||
            !integer(o, ptr, "xlnkId", d->xlnkId, false, 0, UINT32_MAX) || !str(o, ptr, "server", server) ||
            !str(o, ptr, "parent", parent) || !integer(o, ptr, "hubPort", d->hubPort, false, 0, 15) ||
            !boolean(o, ptr, "hubPortDevice", d->hubPortDevice) || !boolean(o, ptr, "present", d->presentAtLoad) ||
            !str(o, ptr, "afterUpgrade", afterUpgrade) || !boolean(o, ptr, "identifies", d->identifies))
            return false;
        if (byId.count(d->id))
            return problem(ptr + "/id", strprintf("a device with id \"%s\" is already listed", d->id.c_str()));
        if (d->label.size() > 16)
            return problem(ptr + "/label", "\"label\" is longer than 16 bytes");
        if (!parent.empty()) {
            auto p = byId.find(parent);
            if (p == byId.end())
                return problem(ptr + "/parent",
                               strprintf("parent \"%s\" is not listed before this device", parent.c_str()));
            d->parent = p->second;
            d->server = p->second->server;
            if (!hasSerial)
                d->serial = p->second->serial;   // hub port devices report the hub's serial number
        } else if (!hasSerial) {
            return problem(ptr, "missing \"serial\"");
        }
        if (!afterUpgrade.empty()) {
            auto a = byId.find(afterUpgrade);
            if (a == byId.end())
                return problem(ptr + "/afterUpgrade",
                               strprintf("device \"%s\" is not listed before this device", afterUpgrade.c_str()));
            d->afterUpgrade = a->second;
        }
        if (!server.empty()) {
            auto s = servers.find(server);
            if (s == servers.end())
                return problem(ptr + "/server", strprintf("no computer with id \"%s\"", server.c_str()));
            if (d->parent && d->parent->server != s->second)
                return problem(ptr + "/server", "a device must be on the same computer as its parent");
            d->server = s->second;
        }
        if (d->deviceClass == TINDREL_DEVCLASS_XLNK && !d->parent)
            return problem(ptr, "a hub port device (class 21) needs a \"parent\" hub");
        if (d->hubPortDevice && d->deviceClass != TINDREL_DEVCLASS_XLNK)
            return problem(ptr + "/hubPortDevice", "only class 21 devices can be hub port devices");
        static const std::pair<int, const char *> classNames[] = {
            {TINDREL_DEVCLASS_HUB, "TindrelHub"},
            {TINDREL_DEVCLASS_XLNK, "TindrelXLNK"},
            {TINDREL_DEVCLASS_FIRMWARE_UPGRADE, "TindrelFirmwareUpgrade"}};
        d->className = "TindrelUSB";
        for (auto &[n, name] : classNames)
            if (n == d->deviceClass)
                d->className = name;
        if (d->sku.empty())
            d->sku = strprintf("TDR%04d_0", d->deviceId);
        byId[d->id] = d;
        rig.devices.push_back(d);
        if (o.contains("channels")) {
            const json &cs = o["channels"];
            if (!cs.is_array())
                return problem(ptr + "/channels", "\"channels\" must be a list");
            std::set<std::pair<int, int>> seen;
            size_t before = rig.channels.size();
            for (size_t i = 0; i < cs.size(); ++i)
                if (!channel(cs[i], ptr + "/channels/" + std::to_string(i), d, rig))
                    return false;
            for (size_t i = before; i < rig.channels.size(); ++i)
                if (!seen.insert({rig.channels[i]->cls->cls, rig.channels[i]->index}).second)
                    return problem(ptr + "/channels", strprintf("two %s channels with index %d",
                                                                rig.channels[i]->cls->name, rig.channels[i]->index));
        }
        return true;
    }

    bool rig(const json &root, Rig &out)
    {
        if (!keys(root, "", {"computers", "devices", "comment", "dictionaryDirectory"}, "the rig"))
            return false;
        if (!str(root, "", "dictionaryDirectory", out.dictionaryDirectory))
            return false;
        std::map<std::string, std::shared_ptr<const ServerInfo>> servers;
        if (root.contains("computers")) {
            const json &cs = root["computers"];
            if (!cs.is_array())
                return problem("/computers", "\"computers\" must be a list");
            for (size_t i = 0; i < cs.size(); ++i) {
                auto s = std::make_shared<ServerInfo>();
                std::string ptr = "/computers/" + std::to_string(i);
                if (!server(cs[i], ptr, *s))
                    return false;
                if (servers.count(s->id))
                    return problem(ptr + "/id",
                                   strprintf("a computer with id \"%s\" is already listed", s->id.c_str()));
                servers[s->id] = s;
                out.servers.push_back(s);
            }
        }
        std::map<std::string, std::shared_ptr<DeviceInfo>> byId;
        if (root.contains("devices")) {
            const json &ds = root["devices"];
            if (!ds.is_array())
                return problem("/devices", "\"devices\" must be a list");
            for (size_t i = 0; i < ds.size(); ++i)
                if (!device(ds[i], "/devices/" + std::to_string(i), out, byId, servers))
                    return false;
        }
        return true;
    }

private:
    const std::string &text_;
    const std::string &source_;
    const std::map<std::string, size_t> &offsets_;
};

}   // namespace

namespace tsim {

const DeviceInfo *DeviceInfo::hub() const
{
    for (const DeviceInfo *p = parent.get(); p; p = p->parent.get())
        if (p->deviceClass == TINDREL_DEVCLASS_HUB)
            return p;
    return nullptr;
}

bool parseRig(const std::string &text, const std::string &source, Rig &rig, std::string &err)
{
    const char *base = text.data();
    const char *reach = base;
    PositionSax sax(base, &reach);
    CountingIterator first{base, &reach}, last{base + text.size(), &reach};
    bool ok = json::sax_parse(first, last, &sax);
    if (!ok) {
        Pos p = positionOf(text, sax.errorOffset);
        err = strprintf("%s:%zu:%zu: %s", source.c_str(), p.line, p.col,
                        sax.error.empty() ? "not valid JSON" : sax.error.c_str());
        return false;
    }
    Reader reader(text, source, sax.offsets);
    Rig out;
    if (!reader.rig(sax.root, out)) {
        err = reader.err;
        return false;
    }
    rig = std::move(out);
    return true;
}

}   // namespace tsim
