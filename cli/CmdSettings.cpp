// tindrel save / tindrel apply: the settable properties of channels, to and
// from a channel settings file (SettingsFile.h).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Arguments.h"
#include "ChannelSettingsIO.h"
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
    std::vector<std::string> problems;
    captureChannel(*t.cls, h, out, problems);
    for (const std::string &problem : problems)
        report(kExitOk, describe(t) + ": " + problem);
    // The address as asked for keeps its label and its server.
    if (t.address.label)
        out.address.label = t.address.label->toStdString();
    else
        out.address.label.reset();
    if (!out.address.serverName && t.address.serverName) {
        out.address.serverName = t.address.serverName->toStdString();
        out.address.remote = true;
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
        const SetOutcome set = setChannel(*t.cls, handle.get(), *c);
        for (const std::string &problem : set.problems)
            report(kExitDifferences, describe(t) + ": " + problem);
        const ReadBackOutcome back = readBack(handle.get(), set.set);
        for (const std::string &problem : back.problems)
            report(kExitDifferences, describe(t) + ": " + problem);
        for (const std::string &difference : back.differences)
            std::printf("%s: %s\n", describe(t).c_str(), difference.c_str());
        const size_t matching = back.matching;
        const size_t problems = set.problems.size() + back.problems.size() + back.differences.size();
        std::printf("%s: %zu of %zu properties applied and read back the same\n", describe(t).c_str(), matching,
                    set.asked);
        if (problems)
            status = kExitDifferences;
    }
    return status;
}

}   // namespace tindrel::cli
