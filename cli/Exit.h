#pragma once

#include <optional>
#include <string>

namespace tindrel::cli {

// Exit statuses of tindrel (documented in tindrel.1 and README.md).
enum Exit : int {
    kExitOk = 0,
    kExitRefused = 1,         // the library refused a call; its detail text is printed
    kExitUsage = 2,           // wrong command line (unknown command, option or flag; missing word)
    kExitUnknownName = 3,     // no such class, property or event in the class table
    kExitBadValue = 4,        // a value that does not fit the property, or a property that cannot be set
    kExitNoChannel = 5,       // no channel at that address attached in time
    kExitFile = 6,            // a file could not be read, parsed or written
    kExitDifferences = 7,     // apply: some channel reads back other values, or was not reached
    kExitDropped = 8,         // watch: lines were dropped because the output was slower than the events
    kExitUpgradeFailed = 9,   // upgrade: a device could not be upgraded
    kExitUnavailable = 10,    // the command is not available in this build
};

// A failure with the status it ends the program with.
struct Failure {
    int status = kExitRefused;
    std::string message;
};

}   // namespace tindrel::cli
