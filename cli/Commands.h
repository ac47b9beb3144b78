#pragma once

// The commands of tindrel. Each takes the words after its own name, prints
// its results on standard output and its problems on standard error
// ("tindrel: ..."), and returns the exit status.

#include <span>
#include <string>

namespace tindrel::cli {

using Words = std::span<const std::string>;

int runList(Words words);
int runGet(Words words);
int runSet(Words words);
int runWatch(Words words);
int runSave(Words words);
int runApply(Words words);
int runUpgrade(Words words);
int runHelp(Words words);

// Prints "tindrel: <message>" on standard error and returns status.
int report(int status, const std::string &message);

// Starts the simulator's control socket (for the tindrelsim tool) while a
// long-running command runs; does nothing with a real device library.
class SimulatorControl {
public:
    SimulatorControl();
    ~SimulatorControl();
    SimulatorControl(const SimulatorControl &) = delete;
    SimulatorControl &operator=(const SimulatorControl &) = delete;

private:
    bool running_ = false;
};

}   // namespace tindrel::cli
