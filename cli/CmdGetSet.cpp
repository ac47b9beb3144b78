// tindrel get / tindrel set: one property of one channel.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "Arguments.h"
#include "ClassTable.h"
#include "Commands.h"
#include "EventFormat.h"
#include "Lookup.h"
#include "OpenChannel.h"
#include "TreeText.h"
#include "Values.h"

namespace tindrel::cli {

namespace {

constexpr OptionSpec kOptions[] = {{"timeout", true}, {"json", false}};

struct Opened {
    const ClassInfo *cls = nullptr;
    Arguments args;
    ChannelHandle handle;
};

// Reads the command line, finds the class, and opens its channel.
std::optional<Failure> openFromWords(Words words, const char *command, size_t minPositional, size_t maxPositional,
                                     Opened &out)
{
    std::string problem;
    auto args = parseArguments(words, kOptions, &problem);
    if (!args)
        return Failure{kExitUsage, std::string(command) + ": " + problem};
    if (args->positional.size() < minPositional || args->positional.size() > maxPositional)
        return Failure{kExitUsage, std::string("usage: tindrel ") + command +
                                       (std::string(command) == "get" ? " CLASS [ADDRESS FLAGS] [PROPERTY]"
                                                                      : " CLASS [ADDRESS FLAGS] PROPERTY VALUE")};
    out.args = std::move(*args);
    auto cls = findClass(out.args.positional[0]);
    if (!cls)
        return cls.error();
    out.cls = *cls;
    return std::nullopt;
}

std::optional<Failure> openChannelOf(Opened &o)
{
    uint32_t timeout = kDefaultOpenTimeoutMs;
    if (auto f = timeoutOption(o.args, &timeout))
        return f;
    if (auto f = createChannel(o.handle, *o.cls))
        return f;
    return openChannel(o.handle, *o.cls, o.args.address().settings, timeout);
}

}   // namespace

int runGet(Words words)
{
    Opened o;
    if (auto f = openFromWords(words, "get", 1, 2, o))
        return report(f->status, f->message);
    const PropertyInfo *only = nullptr;
    if (o.args.positional.size() == 2) {
        auto p = findProperty(*o.cls, o.args.positional[1]);
        if (!p)
            return report(p.error().status, p.error().message);
        only = *p;
    }
    if (auto f = openChannelOf(o))
        return report(f->status, f->message);
    const bool json = o.args.has("json");
    if (only) {
        Value v;
        const TindrelReturnCode rc = only->get(o.handle.get(), v);
        if (rc != TINDREL_OK)
            return report(kExitRefused, std::string("reading ") + only->name + " of the " + o.cls->libraryName() +
                                            " channel failed: " + libraryMessage(rc));
        if (json) {
            nlohmann::ordered_json j;
            j["class"] = o.cls->name;
            j["property"] = only->name;
            j["value"] = valueToJson(v);
            std::printf("%s\n", j.dump().c_str());
        } else {
            std::printf("%s\n", formatValue(v).c_str());
        }
        return kExitOk;
    }
    // Every property: a value, or the library's reason why there is none.
    nlohmann::ordered_json all;
    for (const PropertyInfo &p : o.cls->properties) {
        Value v;
        const TindrelReturnCode rc = p.get(o.handle.get(), v);
        if (json) {
            all[p.name] = rc == TINDREL_OK ? valueToJson(v) : nlohmann::ordered_json();
        } else if (rc == TINDREL_OK) {
            std::printf("%s = %s\n", p.name, formatValue(v).c_str());
        } else {
            std::printf("%s unreadable: %s\n", p.name, libraryMessage(rc).c_str());
        }
    }
    if (json)
        std::printf("%s\n", all.dump().c_str());
    return kExitOk;
}

int runSet(Words words)
{
    Opened o;
    if (auto f = openFromWords(words, "set", 3, 3, o))
        return report(f->status, f->message);
    auto p = findProperty(*o.cls, o.args.positional[1]);
    if (!p)
        return report(p.error().status, p.error().message);
    const PropertyInfo &prop = **p;
    if (!prop.writable())
        return report(kExitBadValue, std::string(prop.name) + " of " + o.cls->libraryName() + " is read-only");
    std::string problem;
    const auto value = parseValue(prop, o.args.positional[2], &problem);
    if (!value)
        return report(kExitBadValue, problem);
    if (auto f = openChannelOf(o))
        return report(f->status, f->message);
    TindrelReturnCode rc = prop.set(o.handle.get(), *value);
    if (rc != TINDREL_OK)
        return report(kExitRefused, std::string("setting ") + prop.name + " to " + o.args.positional[2] +
                                        " failed: " + libraryMessage(rc));
    // What the channel holds now (the device may round what it was given).
    Value back;
    rc = prop.get(o.handle.get(), back);
    if (rc != TINDREL_OK)
        return report(kExitRefused,
                      std::string(prop.name) + " was set but reading it back failed: " + libraryMessage(rc));
    if (o.args.has("json")) {
        nlohmann::ordered_json j;
        j["class"] = o.cls->name;
        j["property"] = prop.name;
        j["value"] = valueToJson(back);
        std::printf("%s\n", j.dump().c_str());
    } else {
        std::printf("%s\n", formatValue(back).c_str());
    }
    return kExitOk;
}

}   // namespace tindrel::cli
