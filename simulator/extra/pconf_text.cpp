#include "pconf_text.h"

#include <charconv>
#include <cstdio>

namespace tindrel {

std::optional<std::string> pconfFormatKey(const char *fmt, va_list ap)
{
    if (fmt == nullptr)
        return std::nullopt;
    va_list measure;
    va_copy(measure, ap);
    const int needed = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (needed < 0)
        return std::nullopt;
    std::string key(static_cast<size_t>(needed) + 1, '\0');
    va_list copy;
    va_copy(copy, ap);
    std::vsnprintf(key.data(), key.size(), fmt, copy);
    va_end(copy);
    key.resize(static_cast<size_t>(needed));
    return key;
}

std::optional<std::vector<std::string>> pconfSplitKey(std::string_view key)
{
    if (!pconfIsValidUtf8(key))
        return std::nullopt;
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = key.find('.', start);
        const std::string_view part = key.substr(start, dot == std::string_view::npos ? key.npos : dot - start);
        if (part.empty())
            return std::nullopt;
        parts.emplace_back(part);
        if (dot == std::string_view::npos)
            return parts;
        start = dot + 1;
    }
}

std::optional<int64_t> pconfParseInteger(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return std::nullopt;   // "+-5"
    }
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool pconfIsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

}   // namespace tindrel
