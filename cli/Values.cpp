#include "Values.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tindrel::cli {

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::optional<Value> checkedInteger(const PropertyInfo &p, long double v, std::string_view text, std::string *problem)
{
    long double lo = 0, hi = 0;
    if (p.scalar == Scalar::Unsigned) {
        lo = 0;
        hi = p.bits == 64 ? static_cast<long double>(std::numeric_limits<uint64_t>::max())
                          : static_cast<long double>(std::numeric_limits<uint32_t>::max());
    } else {
        lo = p.bits == 64 ? static_cast<long double>(std::numeric_limits<int64_t>::min())
                          : static_cast<long double>(std::numeric_limits<int32_t>::min());
        hi = p.bits == 64 ? static_cast<long double>(std::numeric_limits<int64_t>::max())
                          : static_cast<long double>(std::numeric_limits<int32_t>::max());
    }
    if (v < lo || v > hi) {
        *problem = "\"" + std::string(text) + "\" does not fit " + p.name + " (" + describeType(p) + ")";
        return std::nullopt;
    }
    if (p.scalar == Scalar::Unsigned)
        return Value(static_cast<uint64_t>(v));
    return Value(static_cast<int64_t>(v));
}

}   // namespace

std::optional<Value> parseValue(const PropertyInfo &p, std::string_view text, std::string *problem)
{
    std::string dummy;
    if (!problem)
        problem = &dummy;
    const std::string s(text);
    if (s.empty() || std::isspace(static_cast<unsigned char>(s.front())) ||
        std::isspace(static_cast<unsigned char>(s.back()))) {
        *problem = "\"" + s + "\" is not a value for " + p.name + " (" + describeType(p) + ")";
        return std::nullopt;
    }
    if (p.boolean()) {
        const std::string l = lower(s);
        if (l == "true" || l == "on" || l == "yes")
            return Value(int64_t{1});
        if (l == "false" || l == "off" || l == "no")
            return Value(int64_t{0});
    }
    if (p.width != 1) {
        *problem = std::string(p.name) + " is a " + describeType(p) + " and cannot be set";
        return std::nullopt;
    }
    errno = 0;
    char *end = nullptr;
    if (p.scalar == Scalar::Floating) {
        const double d = std::strtod(s.c_str(), &end);
        if (end != s.c_str() + s.size() || !std::isfinite(d)) {
            *problem = "\"" + s + "\" is not a value for " + p.name + " (" + describeType(p) + ")";
            return std::nullopt;
        }
        if (errno == ERANGE && std::fabs(d) > 1) {
            *problem = "\"" + s + "\" is out of the range of a decimal number";
            return std::nullopt;
        }
        return Value(d);
    }
    const bool negative = s.front() == '-';
    if (p.scalar == Scalar::Unsigned && negative) {
        *problem = "\"" + s + "\" does not fit " + p.name + " (" + describeType(p) + ")";
        return std::nullopt;
    }
    long double v = 0;
    if (negative) {
        const long long i = std::strtoll(s.c_str(), &end, 10);
        v = static_cast<long double>(i);
    } else {
        const unsigned long long u = std::strtoull(s.c_str(), &end, 10);
        v = static_cast<long double>(u);
    }
    if (end != s.c_str() + s.size() || (!std::isdigit(static_cast<unsigned char>(s.back())))) {
        *problem = "\"" + s + "\" is not a value for " + p.name + " (" + describeType(p) + ")";
        return std::nullopt;
    }
    if (errno == ERANGE) {
        *problem = "\"" + s + "\" does not fit " + p.name + " (" + describeType(p) + ")";
        return std::nullopt;
    }
    return checkedInteger(p, v, s, problem);
}

std::optional<Value> valueFromNumber(const PropertyInfo &p, std::variant<int64_t, double> number, std::string *problem)
{
    std::string dummy;
    if (!problem)
        problem = &dummy;
    if (p.width != 1 || !p.writable()) {
        *problem = std::string(p.name) + " cannot be set";
        return std::nullopt;
    }
    if (const int64_t *i = std::get_if<int64_t>(&number)) {
        if (p.scalar == Scalar::Floating)
            return Value(static_cast<double>(*i));
        return checkedInteger(p, static_cast<long double>(*i), std::to_string(*i), problem);
    }
    const double d = std::get<double>(number);
    if (!std::isfinite(d)) {
        *problem = std::string(p.name) + " needs a finite number";
        return std::nullopt;
    }
    if (p.scalar == Scalar::Floating)
        return Value(d);
    if (d != std::floor(d)) {
        *problem = std::string(p.name) + " needs a whole number, not " + formatValue(Value(d));
        return std::nullopt;
    }
    return checkedInteger(p, static_cast<long double>(d), formatValue(Value(d)), problem);
}

std::string describeType(const PropertyInfo &p)
{
    if (p.width > 1)
        return std::to_string(p.width) + " decimal numbers";
    if (p.boolean())
        return "on/off (0 or 1)";
    switch (p.scalar) {
    case Scalar::Floating:
        return "decimal number";
    case Scalar::Unsigned:
        return p.bits == 64 ? "whole number (64-bit, not negative)" : "whole number (32-bit, not negative)";
    case Scalar::Signed:
        break;
    }
    if (std::string_view(p.typeName).starts_with("Tindrel_"))
        return std::string("code (") + p.typeName + ")";
    return p.bits == 64 ? "whole number (64-bit)" : "whole number (32-bit)";
}

std::string describeLimits(const PropertyInfo &p)
{
    if (!p.hasLimits())
        return "no limit";
    return formatValue(Value(p.lo)) + " to " + formatValue(Value(p.hi));
}

bool sameSetting(const Value &a, const Value &b)
{
    auto asDouble = [](const Value &v) -> std::optional<double> {
        if (const double *d = std::get_if<double>(&v))
            return *d;
        if (const int64_t *i = std::get_if<int64_t>(&v))
            return static_cast<double>(*i);
        if (const uint64_t *u = std::get_if<uint64_t>(&v))
            return static_cast<double>(*u);
        return std::nullopt;
    };
    if (std::holds_alternative<double>(a) || std::holds_alternative<double>(b)) {
        const auto x = asDouble(a), y = asDouble(b);
        if (!x || !y)
            return false;
        return std::fabs(*x - *y) <= 1e-9 * std::max({1.0, std::fabs(*x), std::fabs(*y)});
    }
    if (const auto x = asDouble(a), y = asDouble(b);
        x && y && std::holds_alternative<int64_t>(a) != std::holds_alternative<int64_t>(b))
        return *x == *y;
    return a == b;
}

}   // namespace tindrel::cli
