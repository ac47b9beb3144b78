// tindrel: the command-line companion of the control panel, on the same
// device library. See tindrel.1 and README.md.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "ClassTable.h"
#include "Commands.h"
#include "Exit.h"
#include "Signals.h"

#ifdef TINDREL_WITH_SIM_CONTROL
#include "tindrelsim.h"
#endif

namespace tindrel::cli {

void printUsage(std::FILE *to);
int printClassHelp(const ClassInfo &c);

SimulatorControl::SimulatorControl()
{
#ifdef TINDREL_WITH_SIM_CONTROL
    running_ = TindrelSim_startControlServer(nullptr) == TINDREL_OK;
#endif
}

SimulatorControl::~SimulatorControl()
{
#ifdef TINDREL_WITH_SIM_CONTROL
    if (running_)
        TindrelSim_stopControlServer();
#endif
}

namespace {

struct Command {
    const char *name;
    int (*run)(Words);
};

constexpr Command kCommands[] = {
    {"list", runList}, {"get", runGet},     {"set", runSet},         {"watch", runWatch},
    {"save", runSave}, {"apply", runApply}, {"upgrade", runUpgrade}, {"help", runHelp},
};

bool isHelpWord(const std::string &w) { return w == "--help" || w == "-?"; }

}   // namespace

}   // namespace tindrel::cli

int main(int argc, char **argv)
{
    using namespace tindrel::cli;
    // Before the first library call, so that the library's threads inherit
    // the mask and SIGINT/SIGTERM reach only the thread that waits for them.
    blockStopSignals();
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (words.empty()) {
        printUsage(stderr);
        return kExitUsage;
    }
    const std::string &first = words.front();
    if (isHelpWord(first)) {
        printUsage(stdout);
        return kExitOk;
    }
    if (first == "--version") {
        std::printf("tindrel %s\n", TINDREL_VERSION);
        return kExitOk;
    }
    const Words rest(words.data() + 1, words.size() - 1);
    for (const Command &c : kCommands) {
        if (first != c.name)
            continue;
        if (c.run != runHelp && rest.size() == 1 && isHelpWord(rest.front())) {
            printUsage(stdout);
            return kExitOk;
        }
        return c.run(rest);
    }
    // "tindrel CLASS --help"
    if (const ClassInfo *cls = classByName(first)) {
        if (rest.size() == 1 && isHelpWord(rest.front()))
            return printClassHelp(*cls);
        return report(kExitUsage, "a class name goes after a command: tindrel get " + std::string(cls->name) +
                                      " ... (or tindrel " + cls->name + " --help)");
    }
    return report(kExitUsage, "unknown command \"" + first + "\" (tindrel --help lists the commands)");
}
