// tindrel help: the commands, the classes, and each class's properties and
// events as the class table declares them.
#include <cstdio>

#include "ClassTable.h"
#include "Commands.h"
#include "Exit.h"
#include "Lookup.h"
#include "Values.h"

namespace tindrel::cli {

namespace {

constexpr const char *kUsage =
    "Usage: tindrel COMMAND [ARGUMENTS...]\n"
    "\n"
    "Commands:\n"
    "  list [--json] [--watch] [--local] [--settle MS]\n"
    "        the device tree: computers, devices, hub ports and channels\n"
    "  get CLASS [ADDRESS] [PROPERTY] [--json]\n"
    "        one property of a channel (every property without PROPERTY)\n"
    "  set CLASS [ADDRESS] PROPERTY VALUE [--json]\n"
    "        sets a property and prints the value the channel then reports\n"
    "  watch CLASS [ADDRESS] [EVENT...] [--json] [--interval MS] [--trigger VALUE]\n"
    "        [--count N] [--output FILE] [--queue N] [--no-header]\n"
    "        streams value events as CSV (or JSON lines) until interrupted\n"
    "  save CLASS [ADDRESS] [CLASS [ADDRESS]...] [--output FILE] | save --all [CLASS...]\n"
    "        writes the settable properties of channels as a settings file\n"
    "  apply FILE [--all]\n"
    "        sets the properties of a settings file and reports what reads back differently\n"
    "  upgrade [--dry-run]\n"
    "        upgrades the firmware of every device that has a newer shipped image\n"
    "  help [CLASS]\n"
    "        this text, or the properties and events of a class (also: tindrel CLASS --help)\n"
    "\n"
    "ADDRESS flags (as the example windows take them):\n"
    "  -n SERIAL   device serial number (the hub's for a device on a hub port); 0 or none: any\n"
    "  -v PORT     hub port (default 0)         -c CHANNEL  channel index (default 0)\n"
    "  -h          the channel is a hub port in port mode\n"
    "  -L LABEL    device label                 -l FILE     library log into FILE\n"
    "  -r          open on any network server   -s SERVER   open on this server (implies -r)\n"
    "  -p PASSWORD password of the server named by -s\n"
    "  --timeout MS  how long to wait for the channel to attach (default 3000)\n"
    "\n"
    "Exit status: 0 done; 1 the library refused a call; 2 wrong command line; 3 unknown class,\n"
    "property or event; 4 value does not fit the property or it is read-only; 5 no such channel\n"
    "attached; 6 file problem; 7 apply: some values differ or channels were not reached;\n"
    "8 watch: lines were dropped; 9 upgrade: a device failed; 10 not available in this build.\n";

std::string limitsText(const PropertyInfo &p)
{
    std::string out = describeLimits(p);
    if (p.ranged)
        out += " (the channel reports its own)";
    return out;
}

}   // namespace

int report(int status, const std::string &message)
{
    std::fprintf(stderr, "tindrel: %s\n", message.c_str());
    return status;
}

void printUsage(std::FILE *to) { std::fputs(kUsage, to); }

int printClassHelp(const ClassInfo &c)
{
    std::printf("%s (%s, channel class %d)\n", c.name, c.libraryName().c_str(), static_cast<int>(c.number));
    if (c.properties.empty()) {
        std::printf("\nNo properties.\n");
    } else {
        std::printf("\nProperties:\n");
        std::printf("  %-28s %-10s %-36s %-30s %s\n", "NAME", "ACCESS", "TYPE", "LIMITS", "START");
        for (const PropertyInfo &p : c.properties) {
            const std::string start = p.width > 1 ? std::string("-") : formatValue(Value(p.init));
            std::printf("  %-28s %-10s %-36s %-30s %s\n", p.name, p.writable() ? "settable" : "read-only",
                        describeType(p).c_str(), limitsText(p).c_str(),
                        p.init == TINDREL_UNKNOWN_VALUE ? "unknown" : start.c_str());
        }
    }
    if (c.events.empty()) {
        std::printf("\nNo value events.\n");
    } else {
        std::printf("\nEvents:\n");
        for (const EventInfo &e : c.events) {
            std::string fields;
            for (const std::string &col : columnNames(e))
                fields += (fields.empty() ? "" : ",") + col;
            std::string when;
            if (const auto t = e.triggerProperty())
                when = "reports " + std::string(e.source) + " when it changes by " + std::string(*t);
            else if (std::string_view(e.trigger) == "*")
                when = "reports " + std::string(e.source) + " every data interval";
            else if (*e.source)
                when = "reports each change of " + std::string(e.source);
            else
                when = "raised by the channel's own activity";
            std::printf("  %-26s %s\n  %-26s columns: %s\n", e.name, when.c_str(), "",
                        fields.empty() ? "(none)" : fields.c_str());
        }
    }
    return kExitOk;
}

int runHelp(Words words)
{
    if (words.empty()) {
        printUsage(stdout);
        std::printf("\nClasses:");
        int n = 0;
        for (const ClassInfo &c : allClasses())
            std::printf("%s%s", n++ % 8 == 0 ? "\n  " : " ", c.name);
        std::printf("\n");
        return kExitOk;
    }
    if (words.size() > 1)
        return report(kExitUsage, "usage: tindrel help [CLASS]");
    auto cls = findClass(words[0]);
    if (!cls)
        return report(cls.error().status, cls.error().message);
    return printClassHelp(**cls);
}

}   // namespace tindrel::cli
