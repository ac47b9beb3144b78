// Text helpers of the configuration tree: key formatting and splitting,
// strict number parsing and UTF-8 checking. Pure functions.
#ifndef TINDREL_PCONF_TEXT_H
#define TINDREL_PCONF_TEXT_H

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel {

// The printf-style key; nullopt for a null format or a formatting failure.
std::optional<std::string> pconfFormatKey(const char *fmt, va_list ap);

// "a.b.c" -> {"a", "b", "c"}; nullopt for an empty key or an empty part
// ("a..b", ".a", "a.") and for parts that are not valid UTF-8.
std::optional<std::vector<std::string>> pconfSplitKey(std::string_view key);

// A whole decimal integer with an optional sign, surrounding blanks allowed;
// nullopt for anything else (empty, garbage, trailing text, overflow).
std::optional<int64_t> pconfParseInteger(std::string_view text);

bool pconfIsValidUtf8(std::string_view text);

}   // namespace tindrel

#endif
