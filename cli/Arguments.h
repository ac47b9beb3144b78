#pragma once

// The command line of one tindrel command: the channel address flags
// (-n -v -c -h -L -r -s -p and -l, the flags the example windows take),
// the command's own --options and its positional words. Pure functions.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "OpenSettings.h"

namespace tindrel::cli {

struct OptionSpec {
    const char *name;   // without the leading "--"
    bool takesValue;
};

// One channel address as written on the command line, with the flags that
// were actually given (so a channel's address can be shown back as typed).
struct AddressArgs {
    OpenSettings settings;
    std::vector<std::string> given;   // flag letters in the order seen
    bool any() const { return !given.empty(); }
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::optional<std::string>> options;   // --name [value]
    // Address flags with the positional word (if any) they follow: groups[0]
    // holds flags before the first positional word.
    struct Group {
        std::string word;   // the positional word that starts the group ("" for the first)
        AddressArgs address;
    };
    std::vector<Group> groups;

    bool has(const std::string &name) const { return options.count(name) > 0; }
    std::optional<std::string> value(const std::string &name) const;
    // All address flags of the command line together (later flags win).
    AddressArgs address() const;
};

// Parses argv words (after the command word). Address flags are strict: -n,
// -v and -c need a whole number, -s, -p, -L and -l a value. A word that
// reads as a number ("-0.5") is positional, so negative values can be set.
// "--" makes every later word positional. On failure returns nothing and
// sets *problem.
std::optional<Arguments> parseArguments(std::span<const std::string> words, std::span<const OptionSpec> options,
                                        std::string *problem);

// The address as flags ("-n 561302 -v 2 -c 0 -h"), for lists and messages.
std::string addressText(const OpenSettings &s);

// A whole number option ("--interval 5"), strictly parsed.
std::optional<long long> parseWholeNumber(const std::string &text);

}   // namespace tindrel::cli
