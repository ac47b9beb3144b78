#include "DictionaryLogic.h"

#include <cstring>
#include <set>

namespace tindrel {

std::vector<std::string> splitKeyList(const char *answer)
{
    std::vector<std::string> keys;
    if (!answer)
        return keys;
    const char *p = answer;
    while (*p) {
        const char *end = std::strchr(p, '\n');
        const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (n > 0)
            keys.emplace_back(p, n);
        p += n;
        if (*p == '\n')
            ++p;
    }
    return keys;
}

DictionaryPairs TindrelDictionaryScanner::scan(const ScanCall &scanKeys, const GetCall &getValue)
{
    std::vector<std::string> keys;
    std::set<std::string> seen;
    std::vector<char> buffer(kDictionaryBufferSize);
    for (;;) {
        buffer.assign(buffer.size(), '\0');
        const char *start = keys.empty() ? nullptr : keys.back().c_str();
        if (scanKeys(start, buffer.data(), buffer.size()) != TINDREL_OK)
            break;
        buffer.back() = '\0';
        std::vector<std::string> round = splitKeyList(buffer.data());
        if (round.empty())
            break;
        // An answer with no key not seen before would make the scan go
        // round for ever.
        const std::size_t before = keys.size();
        for (std::string &key : round)
            if (seen.insert(key).second)
                keys.push_back(std::move(key));
        if (keys.size() == before)
            break;
    }
    DictionaryPairs pairs;
    for (const std::string &key : keys) {
        buffer.assign(buffer.size(), '\0');
        QString value;
        if (getValue(key.c_str(), buffer.data(), buffer.size()) == TINDREL_OK) {
            buffer.back() = '\0';
            value = QString::fromUtf8(buffer.data());
        }
        pairs[QString::fromUtf8(key.c_str())] = value;
    }
    return pairs;
}

std::vector<QString> sortedKeysOf(const DictionaryPairs &pairs)
{
    std::vector<QString> keys;
    keys.reserve(pairs.size());
    for (const auto &entry : pairs)
        keys.push_back(entry.first);
    return keys;
}

}   // namespace tindrel
