#pragma once

// The channel classes, their properties and their value events as the
// command-line program sees them, generated from the library's class table
// (tindrel22_classes.def): names, types, limits, typed getters and setters,
// and a handler for every event that copies its values out.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ChannelHandle.h"
#include "tindrel22.h"

namespace tindrel::cli {

// One value of a property or of an event field. Vectors hold the axes of a
// several-valued property or the elements of an array argument.
using Value = std::variant<std::monostate, int64_t, uint64_t, double, std::string, std::vector<double>>;

// Text of a value for people and for CSV: doubles with up to 17 significant
// digits (so they read back exactly), vectors as "a;b;c", nothing as "".
std::string formatValue(const Value &v);

enum class Access { ReadOnly, ReadWrite };

// How the values of a property are stored by the library.
enum class Scalar { Signed, Unsigned, Floating };

struct PropertyInfo {
    const char *name;
    const char *typeName;   // as the table names it: "double", "uint32_t", "Tindrel_FanMode"
    Access access;
    bool ranged;   // the library reports its minimum and maximum
    int width;     // 1, or the number of axes of a vector property
    Scalar scalar;
    int bits;              // 32 or 64 for integral scalars
    double lo, hi, init;   // table limits (lo > hi: no limit) and start value
    bool boolean() const { return scalar != Scalar::Floating && lo == 0 && hi == 1; }
    bool hasLimits() const { return lo <= hi; }
    bool writable() const { return access == Access::ReadWrite; }

    TindrelReturnCode (*get)(TindrelHandle, Value &);
    TindrelReturnCode (*set)(TindrelHandle, const Value &);   // null when read-only
    TindrelReturnCode (*getMin)(TindrelHandle, Value &);      // null when not ranged
    TindrelReturnCode (*getMax)(TindrelHandle, Value &);
};

// One argument of an event callback, read from the table's parameter list.
struct EventField {
    std::string name;   // "acceleration"
    std::string type;   // "const double", "Tindrel_UnitInfo *"
    int arrayLength = 0;
};

struct EventInfo;

// What an event handler hands over: the event and its copied values, one per
// field, in the table's order.
struct EventValues {
    const EventInfo *event = nullptr;
    std::vector<Value> fields;
};

// Receives the values of events on the library's thread. Must not block.
class EventReceiver {
public:
    virtual ~EventReceiver() = default;
    virtual void onEvent(EventValues &&values) = 0;
};

// Context of one event registration: where the handler delivers.
struct EventSubscription {
    const EventInfo *event = nullptr;
    EventReceiver *receiver = nullptr;
};

struct EventInfo {
    const char *name;
    const char *signature;       // the table's shape code ("D3T")
    const char *parameterList;   // "(const double acceleration[3], double timestamp)"
    const char *source;          // property the event reports, "" when none
    const char *trigger;         // change-trigger property, "*" every interval, "" each change
    // Registers (subscription non-null) or removes (null) the event's handler.
    TindrelReturnCode (*subscribe)(TindrelHandle, EventSubscription *subscription);

    std::vector<EventField> parsedFields = {};   // filled from parameterList when the table is built

    const std::vector<EventField> &fields() const { return parsedFields; }
    // The trigger property's name when the trigger is a property.
    std::optional<std::string_view> triggerProperty() const;
};

struct ClassInfo {
    const char *name;   // short name ("VoltageInput"); the library's is "Tindrel" + name
    Tindrel_ChannelClass number;
    ChannelHandle::Ops ops;   // the class's create and delete calls
    std::vector<PropertyInfo> properties;
    std::vector<EventInfo> events;

    std::string libraryName() const { return std::string("Tindrel") + name; }
    const PropertyInfo *property(std::string_view name) const;   // case-insensitive
    const EventInfo *event(std::string_view name) const;         // case-insensitive
};

// Every class of the table, in table order.
std::span<const ClassInfo> allClasses();
// By short or library name, case-insensitive ("voltageinput", "TindrelVoltageInput").
const ClassInfo *classByName(std::string_view name);
const ClassInfo *classByNumber(int number);

// Parses a parameter list as the table writes it.
std::vector<EventField> parseParameterList(std::string_view list);

// Column names of an event's values: a field per scalar, name0..nameN-1 for
// the elements of an array.
std::vector<std::string> columnNames(const EventInfo &event);

}   // namespace tindrel::cli
