// Text as a run of printable ASCII: every byte outside '!'..'~', and '%'
// itself, stands as '%' and two hex digits. Control-socket words and
// discovery records are carried this way, so that spaces and line ends
// inside a value never split it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tindrel {

// A byte that stands for itself.
constexpr bool isPercentPlain(unsigned char c) { return c > 0x20 && c < 0x7f && c != '%'; }

// With the bytes that may stand for themselves chosen by plain(byte).
template <class Plain>
std::string percentEncode(std::string_view raw, Plain plain)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (plain(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        }
    }
    return out;
}

inline std::string percentEncode(std::string_view raw) { return percentEncode(raw, isPercentPlain); }

constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes the text stands for, or nothing when a '%' is not followed by
// two hex digits or when allowed(byte, escaped) refuses a byte, as it stood
// (escaped false) or as a '%' gave it (escaped true).
template <class Allowed>
std::optional<std::string> percentDecode(std::string_view encoded, Allowed allowed)
{
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<unsigned char>(encoded[i]);
        if (c != '%') {
            if (!allowed(c, false))
                return std::nullopt;
            out += static_cast<char>(c);
            continue;
        }
        if (i + 2 >= encoded.size())
            return std::nullopt;
        const int high = hexDigitValue(encoded[i + 1]);
        const int low = hexDigitValue(encoded[i + 2]);
        if (high < 0 || low < 0 || !allowed(static_cast<unsigned char>(high * 16 + low), true))
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}   // namespace tindrel
