#pragma once

// Finding classes, properties and events by the names a person types, with
// the messages and exit statuses for names that are not in the class table.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "Arguments.h"
#include "ClassTable.h"
#include "Exit.h"

namespace tindrel::cli {

// A value or the failure that explains why there is none.
template <class T>
class Found {
public:
    Found(T value)
        : v_(std::move(value))
    { }
    Found(Failure failure)
        : v_(std::move(failure))
    { }
    explicit operator bool() const { return std::holds_alternative<T>(v_); }
    const T &operator*() const { return std::get<T>(v_); }
    const Failure &error() const { return std::get<Failure>(v_); }

private:
    std::variant<T, Failure> v_;
};

Found<const ClassInfo *> findClass(const std::string &name);
Found<const PropertyInfo *> findProperty(const ClassInfo &cls, const std::string &name);
Found<const EventInfo *> findEvent(const ClassInfo &cls, const std::string &name);

// --timeout MS (whole milliseconds, 0 to one hour) into *ms when given.
std::optional<Failure> timeoutOption(const Arguments &args, uint32_t *ms);
// A whole-number option between lo and hi into *out when given.
std::optional<Failure> numberOption(const Arguments &args, const char *name, long long lo, long long hi,
                                    long long *out);

}   // namespace tindrel::cli
