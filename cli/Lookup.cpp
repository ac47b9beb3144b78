#include "Lookup.h"

namespace tindrel::cli {

Found<const ClassInfo *> findClass(const std::string &name)
{
    if (const ClassInfo *c = classByName(name))
        return c;
    return Failure{kExitUnknownName,
                   "no channel class \"" + name + "\" in the class table (\"tindrel help\" lists the classes)"};
}

Found<const PropertyInfo *> findProperty(const ClassInfo &cls, const std::string &name)
{
    if (const PropertyInfo *p = cls.property(name))
        return p;
    return Failure{kExitUnknownName, cls.libraryName() + " has no property \"" + name + "\" (\"tindrel help " +
                                         cls.name + "\" lists its properties)"};
}

Found<const EventInfo *> findEvent(const ClassInfo &cls, const std::string &name)
{
    if (const EventInfo *e = cls.event(name))
        return e;
    return Failure{kExitUnknownName, cls.libraryName() + " has no event \"" + name + "\" (\"tindrel help " + cls.name +
                                         "\" lists its events)"};
}

std::optional<Failure> numberOption(const Arguments &args, const char *name, long long lo, long long hi, long long *out)
{
    const auto text = args.value(name);
    if (!text)
        return std::nullopt;
    const auto v = parseWholeNumber(*text);
    if (!v || *v < lo || *v > hi)
        return Failure{kExitUsage, std::string("--") + name + " needs a whole number from " + std::to_string(lo) +
                                       " to " + std::to_string(hi) + ", not \"" + *text + "\""};
    *out = *v;
    return std::nullopt;
}

std::optional<Failure> timeoutOption(const Arguments &args, uint32_t *ms)
{
    long long v = *ms;
    if (auto f = numberOption(args, "timeout", 0, 3600 * 1000, &v))
        return f;
    *ms = static_cast<uint32_t>(v);
    return std::nullopt;
}

}   // namespace tindrel::cli
