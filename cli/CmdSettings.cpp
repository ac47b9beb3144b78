// tindrel save / tindrel apply: the settable properties of channels, to and
// from a channel settings file (SettingsFile.h).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Arguments.h"
#include "ClassTable.h"
#include "Commands.h"
#include "DeviceTree.h"
#include "Enumerate.h"
#include "Lookup.h"
#include "OpenChannel.h"
#include "SettingsFile.h"
#include "TreeText.h"
#include "Values.h"

namespace tindrel::cli {

namespace {

constexpr OptionSpec kSaveOptions[] = {
    {"all", false}, {"output", true}, {"timeout", true}, {"settle", true}, {"local", false}};
constexpr OptionSpec kApplyOptions[] = {{"all", false}, {"timeout", true}, {"settle", true}, {"local", false}};

struct Target {
    const ClassInfo *cls;
    OpenSettings address;
};

settings::ChannelAddress toFileAddress(const OpenSettings &a)
{
    settings::ChannelAddress out;
    out.serialNumber = a.serialNumber;
    out.hubPort = a.hubPort;
    out.channel = a.channel;
    out.hubPortDevice = a.hubPortDevice;
    out.remote = a.opensRemotely();
    if (a.serverName)
        out.serverName = a.serverName->toStdString();
    if (a.label)
        out.label = a.label->toStdString();
    return out;
}

OpenSettings fromFileAddress(const settings::ChannelAddress &a)
{
    OpenSettings out;
    out.serialNumber = a.serialNumber;
    out.hubPort = a.hubPort;
    out.channel = a.channel;
    out.hubPortDevice = a.hubPortDevice;
    out.remote = a.remote;
    if (a.serverName)
        out.serverName = QString::fromStdString(*a.serverName);
    if (a.label)
        out.label = QString::fromStdString(*a.label);
    return out;
}

settings::Number toNumber(const Value &v)
{
    if (const double *d = std::get_if<double>(&v))
        return *d;
    if (const int64_t *i = std::get_if<int64_t>(&v))
        return *i;
    if (const uint64_t *u = std::get_if<uint64_t>(&v))
        return static_cast<int64_t>(*u);
    return int64_t{0};
}

std::string describe(const Target &t) { return t.cls->name + std::string(" ") + addressText(t.address); }

// Every channel of the tree (of the given classes, or all) as targets.
std::vector<Target> treeTargets(const DeviceTree &tree, const std::vector<const ClassInfo *> &only)
{
    std::vector<Target> out;
    for (const ChannelEntry &e : channelsOf(tree.root())) {
        const ClassInfo *cls = classByNumber(e.node->chClass);
        if (!cls || (!only.empty() && std::find(only.begin(), only.end(), cls) == only.end()))
            continue;
        out.push_back({cls, e.address});
    }
    return out;
}

std::optional<Failure> treeOptions(const Arguments &args, long long *settleMs)
{
    *settleMs = kDefaultSettleMs;
    return numberOption(args, "settle", 0, 60000, settleMs);
}

// Reads one channel's settable properties; problems with single properties
// are reported and leave them out.
std::optional<Failure> saveChannel(const Target &t, uint32_t timeout, settings::ChannelSettings &out)
{
    ChannelHandle handle;
    if (auto f = createChannel(handle, *t.cls))
        return f;
    if (auto f = openChannel(handle, *t.cls, t.address, timeout))
        return f;
    const TindrelHandle h = handle.get();
    out.className = t.cls->name;
    OpenSettings actual = attachedAddress(h);
    actual.label = t.address.label;
    if (!actual.serverName && t.address.serverName)
        actual.serverName = t.address.serverName;
    out.address = toFileAddress(actual);
    settings::DeviceNote note;
    const char *text = nullptr;
    if (Tindrel_getDeviceName(h, &text) == TINDREL_OK && text)
        note.name = text;
    if (Tindrel_getDeviceSKU(h, &text) == TINDREL_OK && text)
        note.sku = text;
    Tindrel_getDeviceID(h, &note.deviceId);
    int version = 0;
    if (Tindrel_getDeviceVersion(h, &version) == TINDREL_OK)
        note.version = version;
    out.device = note;
    for (const PropertyInfo &p : t.cls->properties) {
        if (!p.writable())
            continue;
        Value v;
        const TindrelReturnCode rc = p.get(h, v);
        if (rc == TINDREL_OK)
            out.properties.emplace_back(p.name, toNumber(v));
        else if (rc != TINDREL_EUNSUPPORTED)
            report(kExitOk, describe(t) + ": " + p.name + " not saved: " + libraryMessage(rc));
    }
    return std::nullopt;
}

bool writeFile(const std::string &path, const std::string &text, std::string *problem)
{
    // Written beside the target and renamed over it, so a failed write never
    // leaves half a file where a good one was.
    const std::string temp = path + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f << text;
        f.flush();
        if (!f) {
            *problem = std::strerror(errno);
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        *problem = std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}   // namespace

int runSave(Words words)
{
    std::string problem;
    auto args = parseArguments(words, kSaveOptions, &problem);
    if (!args)
        return report(kExitUsage, "save: " + problem);
    uint32_t timeout = kDefaultOpenTimeoutMs;
    if (auto f = timeoutOption(*args, &timeout))
        return report(f->status, f->message);
    long long settleMs = 0;
    if (auto f = treeOptions(*args, &settleMs))
        return report(f->status, f->message);
    if (!args->groups.front().address.given.empty())
        return report(kExitUsage, "save: address flags go after the class they belong to "
                                  "(tindrel save CLASS -n SERIAL -c CHANNEL ...)");

    // Each class word starts one channel; the flags after it are its address.
    std::vector<Target> targets;
    std::vector<const ClassInfo *> classes;
    for (size_t g = 1; g < args->groups.size(); ++g) {
        auto cls = findClass(args->groups[g].word);
        if (!cls)
            return report(cls.error().status, cls.error().message);
        targets.push_back({*cls, args->groups[g].address.settings});
        classes.push_back(*cls);
    }
    if (args->has("all")) {
        for (size_t g = 1; g < args->groups.size(); ++g)
            if (args->groups[g].address.any())
                return report(kExitUsage, "save --all takes class names without addresses");
        DeviceTree tree;
        if (auto f = collectTree(tree, !args->has("local"), static_cast<int>(settleMs)))
            return report(f->status, f->message);
        targets = treeTargets(tree, classes);
    } else if (targets.empty()) {
        return report(kExitUsage, "usage: tindrel save CLASS [ADDRESS FLAGS] [CLASS [ADDRESS FLAGS]...] "
                                  "[--output FILE], or tindrel save --all [CLASS...]");
    }

    settings::SettingsFile file;
    int status = kExitOk;
    for (const Target &t : targets) {
        settings::ChannelSettings c;
        if (auto f = saveChannel(t, timeout, c)) {
            // The others are still saved; the status tells a script one is missing.
            report(f->status, f->message);
            if (status == kExitOk)
                status = f->status;
            continue;
        }
        file.channels.push_back(std::move(c));
    }
    const std::string text = settings::writeSettings(file);
    if (const auto path = args->value("output")) {
        if (!writeFile(*path, text, &problem))
            return report(kExitFile, "cannot write " + *path + ": " + problem);
    } else {
        std::fputs(text.c_str(), stdout);
    }
    return status;
}

int runApply(Words words)
{
    std::string problem;
    auto args = parseArguments(words, kApplyOptions, &problem);
    if (!args)
        return report(kExitUsage, "apply: " + problem);
    if (args->positional.size() != 1 || args->address().any())
        return report(kExitUsage, "usage: tindrel apply FILE [--all]");
    uint32_t timeout = kDefaultOpenTimeoutMs;
    if (auto f = timeoutOption(*args, &timeout))
        return report(f->status, f->message);
    long long settleMs = 0;
    if (auto f = treeOptions(*args, &settleMs))
        return report(f->status, f->message);

    const std::string &path = args->positional[0];
    std::string text;
    {
        std::ifstream f(path, std::ios::binary);
        if (!f)
            return report(kExitFile, "cannot read " + path + ": " + std::strerror(errno));
        std::ostringstream buffer;
        buffer << f.rdbuf();
        text = buffer.str();
    }
    const auto file = settings::readSettings(text, &problem);
    if (!file)
        return report(kExitFile, path + ": " + problem);

    // What goes where: each entry to its own address, or with --all to every
    // channel of its class.
    std::vector<std::pair<const settings::ChannelSettings *, Target>> work;
    int status = kExitOk;
    std::vector<const ClassInfo *> classes;
    for (size_t i = 0; i < file->channels.size(); ++i) {
        const settings::ChannelSettings &c = file->channels[i];
        const ClassInfo *cls = classByName(c.className);
        if (!cls) {
            report(kExitDifferences, path + ": channels[" + std::to_string(i) + "]: no channel class \"" + c.className +
                                         "\" in the class table; skipped");
            status = kExitDifferences;
            continue;
        }
        if (args->has("all") && std::find(classes.begin(), classes.end(), cls) != classes.end())
            return report(kExitUsage, "apply --all: " + path + " has more than one " + cls->name +
                                          " channel; with --all each class may appear once");
        classes.push_back(cls);
        work.push_back({&c, {cls, fromFileAddress(c.address)}});
    }
    if (args->has("all")) {
        DeviceTree tree;
        if (auto f = collectTree(tree, !args->has("local"), static_cast<int>(settleMs)))
            return report(f->status, f->message);
        std::vector<std::pair<const settings::ChannelSettings *, Target>> spread;
        for (const auto &[c, t] : work) {
            const auto all = treeTargets(tree, {t.cls});
            if (all.empty()) {
                report(kExitDifferences, std::string("no ") + t.cls->name + " channel is attached");
                status = kExitDifferences;
            }
            for (const Target &each : all)
                spread.push_back({c, each});
        }
        work = std::move(spread);
    }

    for (const auto &[c, t] : work) {
        ChannelHandle handle;
        std::optional<Failure> f = createChannel(handle, *t.cls);
        if (!f)
            f = openChannel(handle, *t.cls, t.address, timeout);
        if (f) {
            report(f->status, describe(t) + ": not applied: " + f->message);
            status = kExitDifferences;
            continue;
        }
        // Set in table order (with the scale first and engagement last),
        // then read everything back.
        std::vector<std::string> names;
        for (const PropertyInfo &p : t.cls->properties)
            for (const auto &[name, number] : c->properties)
                if (t.cls->property(name) == &p)
                    names.push_back(name);
        for (const auto &[name, number] : c->properties)
            if (!t.cls->property(name))
                names.push_back(name);
        names = settings::applyOrder(std::move(names));
        std::vector<std::pair<const PropertyInfo *, Value>> wanted;
        size_t problems = 0;
        for (const std::string &name : names) {
            const auto it = std::find_if(c->properties.begin(), c->properties.end(),
                                         [&](const auto &entry) { return entry.first == name; });
            const PropertyInfo *p = t.cls->property(name);
            if (!p) {
                report(kExitDifferences,
                       describe(t) + ": " + t.cls->libraryName() + " has no property \"" + name + "\"");
                ++problems;
                continue;
            }
            auto v = valueFromNumber(*p, it->second, &problem);
            if (!v) {
                report(kExitDifferences, describe(t) + ": " + problem);
                ++problems;
                continue;
            }
            const TindrelReturnCode rc = p->set(handle.get(), *v);
            if (rc != TINDREL_OK) {
                report(kExitDifferences, describe(t) + ": setting " + p->name + " to " + formatValue(*v) +
                                             " failed: " + libraryMessage(rc));
                ++problems;
                continue;
            }
            wanted.emplace_back(p, *v);
        }
        size_t matching = 0;
        for (const auto &[p, v] : wanted) {
            Value back;
            const TindrelReturnCode rc = p->get(handle.get(), back);
            if (rc != TINDREL_OK) {
                report(kExitDifferences, describe(t) + ": " + p->name + " cannot be read back: " + libraryMessage(rc));
                ++problems;
            } else if (!sameSetting(v, back)) {
                std::printf("%s: %s differs: set %s, reads %s\n", describe(t).c_str(), p->name, formatValue(v).c_str(),
                            formatValue(back).c_str());
                ++problems;
            } else {
                ++matching;
            }
        }
        std::printf("%s: %zu of %zu properties applied and read back the same\n", describe(t).c_str(), matching,
                    names.size());
        if (problems)
            status = kExitDifferences;
    }
    return status;
}

}   // namespace tindrel::cli
