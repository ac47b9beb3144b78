#include "Dictionaries.h"

#include "tindrel22extra.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace tindrel::server {
namespace {

constexpr std::size_t kErrorBufferSize = 1024;
constexpr std::int32_t kLowestProposedBase = 1000;

struct PconfRelease {
    void operator()(pconf_t *pc) const { pconf_release(&pc); }
};
using Pconf = std::unique_ptr<pconf_t, PconfRelease>;

Pconf parseText(const std::string &text)
{
    pconf_t *pc = nullptr;
    std::vector<char> error(kErrorBufferSize);
    if (pconf_parsepcs(&pc, error.data(), error.size(), text.c_str()) != 0 || !pc)
        return nullptr;
    return Pconf(pc);
}

std::optional<std::string> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}   // namespace

std::optional<std::string> readTextFile(const std::string &path) { return readFile(path); }

std::optional<TindrelDictionary> dictionaryFromText(const std::string &text)
{
    Pconf pc = parseText(text);
    if (!pc)
        return std::nullopt;
    TindrelDictionary d;
    d.label = pconf_getstr(pc.get(), "", "dictionary.label");
    d.sn = pconf_get32(pc.get(), 0, "dictionary.sn");
    d.enabled = pconf_getbool(pc.get(), 0, "dictionary.enabled") != 0;
    return d;
}

std::string dictionaryFilePath(const std::string &directory, std::int32_t sn)
{
    return directory + "/" + std::to_string(sn) + ".dpc";
}

std::vector<TindrelDictionary> readDictionaryDirectory(const std::string &directory)
{
    std::vector<TindrelDictionary> out;
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec)
        return out;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            return out;
        const auto &entry = *it;
        std::error_code kindError;
        if (entry.is_directory(kindError))
            continue;
        const std::string name = entry.path().filename().string();
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".dpc") != 0)
            continue;
        const auto text = readFile(entry.path());
        if (!text)
            continue;
        if (auto d = dictionaryFromText(*text))
            out.push_back(std::move(*d));
    }
    return out;
}

std::optional<std::int32_t> nextDictionarySerial(const std::vector<TindrelDictionary> &dictionaries)
{
    std::int32_t largest = kLowestProposedBase;
    for (const auto &d : dictionaries)
        largest = std::max(largest, d.sn);
    if (largest == std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return largest + 1;
}

std::int32_t serialValue(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min(limit, value * 10 + (text[i] - '0'));
    if (negative)
        value = -value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

SerialCheck checkDictionarySerial(const std::optional<std::string> &text)
{
    if (!text)
        return SerialCheck::RefusedSilently;
    return serialValue(*text) <= 999 ? SerialCheck::RefusedWithAlert : SerialCheck::Valid;
}

RenderedConfig renderDictionaryOver(const TindrelDictionary &d, const std::optional<std::string> &text)
{
    Pconf pc = text ? parseText(*text) : nullptr;
    if (!pc) {
        pconf_t *fresh = nullptr;
        if (pconf_create(&fresh) != 0 || !fresh)
            return {};
        pc.reset(fresh);
    }
    pconf_t *c = pc.get();
    pconf_setcreatemissing(c, 1);
    // Labels go out as UTF-8, so a label outside ASCII reads back unchanged.
    // A key that cannot take its value (a plain "dictionary" value where
    // the table goes, a label that is not UTF-8) is reported, never left out.
    const std::pair<std::string, const char *> keys[] = {{d.label, "dictionary.label"},
                                                         {std::to_string(d.sn), "dictionary.sn"},
                                                         {d.enabled ? "true" : "false", "dictionary.enabled"}};
    for (const auto &[value, key] : keys)
        if (pconf_set(c, value.c_str(), "%s", key) != 0)
            return {RenderedConfig::Result::Conflict, key};
    std::vector<char> buffer(kDictionaryRenderBufferSize);
    if (pconf_renderpc(c, buffer.data(), buffer.size()) != 0)
        return {RenderedConfig::Result::TooLarge, {}};
    return {RenderedConfig::Result::Ok, std::string(buffer.data())};
}

}   // namespace tindrel::server
