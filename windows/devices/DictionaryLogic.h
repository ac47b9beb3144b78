// Reading a whole dictionary in rounds of keys, and the order its keys are
// shown in. Pure functions over the library's scan and get calls.
#pragma once

#include <tindrel22.h>

#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tindrel {

// Key to value, in ascending order of the key (case-sensitive: "B" < "a").
using DictionaryPairs = std::map<QString, QString>;

// The size of the buffers the library fills with keys and with a value.
inline constexpr std::size_t kDictionaryBufferSize = 1024;

class TindrelDictionaryScanner {
public:
    // The library's scan (keys after start, or the first keys when start is
    // null, newline-separated) and get (one key's value).
    using ScanCall = std::function<TindrelReturnCode(const char *start, char *keys, std::size_t length)>;
    using GetCall = std::function<TindrelReturnCode(const char *key, char *value, std::size_t length)>;

    // Everything the dictionary has: rounds of keys until an empty answer or
    // a failed call, then each key's value. A key whose value cannot be read
    // shows an empty value. A round that brings no key past the last one
    // ends the scan, so it never starts over.
    static DictionaryPairs scan(const ScanCall &scanKeys, const GetCall &getValue);
    // The same over a channel handle (defined with the window, which links
    // the device library); failed calls go to failed as they happen, for
    // the window's log.
    static DictionaryPairs scan(TindrelDictionaryHandle ch, const std::function<void(TindrelReturnCode)> &failed);
};

// The non-empty lines of a scan answer, in order.
std::vector<std::string> splitKeyList(const char *answer);

// The keys of pairs in ascending order.
std::vector<QString> sortedKeysOf(const DictionaryPairs &pairs);

}   // namespace tindrel
