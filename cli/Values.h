#pragma once

// Reading property values typed by a person or found in a settings file, and
// describing a property for help texts. Pure functions.

#include <optional>
#include <string>
#include <string_view>

#include "ClassTable.h"

namespace tindrel::cli {

// Text to a value the property's setter takes: a whole number in the
// property's integer type, a finite decimal number for doubles, and for
// on/off properties (integers limited to 0..1) also true/false, on/off,
// yes/no. On failure returns nothing and sets *problem to a sentence.
std::optional<Value> parseValue(const PropertyInfo &property, std::string_view text, std::string *problem);

// A number from a settings file (JSON integer, double or boolean) checked
// the same way.
std::optional<Value> valueFromNumber(const PropertyInfo &property, std::variant<int64_t, double> number,
                                     std::string *problem);

// "whole number (32-bit)", "decimal number", "on/off (0 or 1)", "3 decimal numbers".
std::string describeType(const PropertyInfo &property);
// "0 to 1", "no limit".
std::string describeLimits(const PropertyInfo &property);

// Two values are the same setting: equal integers, or doubles that agree to
// a relative 1e-9 (a value read back after a set may carry rounding noise).
bool sameSetting(const Value &a, const Value &b);

}   // namespace tindrel::cli
