#include "ClassTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>

namespace tindrel::cli {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// ---------------------------------------------------------------- property values

template <class T>
constexpr Scalar scalarOf()
{
    if constexpr (std::is_floating_point_v<T>)
        return Scalar::Floating;
    else if constexpr (std::is_enum_v<T>)
        return Scalar::Signed;   // enumerated settings are small positive numbers
    else if constexpr (std::is_unsigned_v<T>)
        return Scalar::Unsigned;
    else
        return Scalar::Signed;
}

template <class T>
Value toValue(T v)
{
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<double>(v);
    else if constexpr (std::is_enum_v<T>)
        return static_cast<int64_t>(v);
    else if constexpr (std::is_unsigned_v<T>)
        return static_cast<uint64_t>(v);
    else
        return static_cast<int64_t>(v);
}

// The value a setter takes. The caller has checked the text against the
// property's scalar kind and size (Values.cpp); this only converts.
template <class T>
T fromValue(const Value &v)
{
    if constexpr (std::is_floating_point_v<T>) {
        if (const double *d = std::get_if<double>(&v))
            return static_cast<T>(*d);
        if (const int64_t *i = std::get_if<int64_t>(&v))
            return static_cast<T>(*i);
        if (const uint64_t *u = std::get_if<uint64_t>(&v))
            return static_cast<T>(*u);
        return T{};
    } else {
        if (const int64_t *i = std::get_if<int64_t>(&v))
            return static_cast<T>(*i);
        if (const uint64_t *u = std::get_if<uint64_t>(&v))
            return static_cast<T>(*u);
        if (const double *d = std::get_if<double>(&v))
            return static_cast<T>(std::llround(*d));
        return T{};
    }
}

// ---------------------------------------------------------------- event values

// A field that is an integer, for the length of an array that comes before it.
template <class A>
std::optional<uint64_t> integerOf(const A &a)
{
    if constexpr (std::is_integral_v<A>)
        return a < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(a));
    else
        return std::nullopt;
}

template <class A>
Value boxField(const A &a, const EventField &field, std::optional<uint64_t> nextInteger)
{
    using Plain = std::remove_cv_t<std::remove_pointer_t<A>>;
    if constexpr (std::is_floating_point_v<A> || std::is_integral_v<A> || std::is_enum_v<A>) {
        return toValue(a);
    } else if constexpr (std::is_same_v<A, const char *> || std::is_same_v<A, char *>) {
        return std::string(a ? a : "");
    } else if constexpr (std::is_same_v<Plain, double> || std::is_same_v<Plain, uint32_t>) {
        // An array: its length is in the table, or in the argument after it.
        size_t n = field.arrayLength > 0 ? static_cast<size_t>(field.arrayLength) : 0;
        if (n == 0 && nextInteger)
            n = static_cast<size_t>(std::min<uint64_t>(*nextInteger, 1u << 20));
        std::vector<double> out;
        if (a) {
            out.reserve(n);
            for (size_t i = 0; i < n; ++i)
                out.push_back(static_cast<double>(a[i]));
        }
        return out;
    } else if constexpr (std::is_same_v<Plain, Tindrel_UnitInfo>) {
        return std::string(a && a->symbol ? a->symbol : "");
    } else if constexpr (std::is_same_v<Plain, Tindrel_IRCodeInfo>) {
        if (!a)
            return std::string();
        char text[96];
        std::snprintf(text, sizeof text, "bits=%u encoding=%u carrier=%u", a->bitCount, a->encoding,
                      a->carrierFrequency);
        return std::string(text);
    } else {
        static_assert(sizeof(A) == 0, "an event argument type the program cannot copy");
    }
}

template <class F>
struct Trampoline;

template <class H, class... A>
struct Trampoline<void (*)(H, void *, A...)> {
    static void call(H, void *ctx, A... args)
    {
        auto *sub = static_cast<EventSubscription *>(ctx);
        if (!sub || !sub->receiver)
            return;
        const std::vector<EventField> &fields = sub->event->fields();
        EventValues values;
        values.event = sub->event;
        if constexpr (sizeof...(A) > 0) {
            constexpr size_t n = sizeof...(A);
            const std::array<std::optional<uint64_t>, n + 1> integers = {integerOf(args)..., std::nullopt};
            values.fields.reserve(n);
            size_t i = 0;
            static const EventField unnamed;
            (
                [&] {
                    const EventField &f = i < fields.size() ? fields[i] : unnamed;
                    values.fields.push_back(boxField(args, f, integers[i + 1]));
                    ++i;
                }(),
                ...);
        }
        sub->receiver->onEvent(std::move(values));
    }
};

#define TINDREL_NOTHING(...)
#define TINDREL_H(C, h) reinterpret_cast<Tindrel##C##Handle>(h)
#define TINDREL_SCALAR_GET(C, Getter, T)                                                                               \
    [](TindrelHandle h, Value &out) -> TindrelReturnCode {                                                             \
        T v{};                                                                                                         \
        const TindrelReturnCode rc = Tindrel##C##_##Getter(TINDREL_H(C, h), &v);                                       \
        if (rc == TINDREL_OK)                                                                                          \
            out = toValue(v);                                                                                          \
        return rc;                                                                                                     \
    }
#define TINDREL_SCALAR_SET(C, P, T)                                                                                    \
    [](TindrelHandle h, const Value &in) -> TindrelReturnCode {                                                        \
        return Tindrel##C##_set##P(TINDREL_H(C, h), fromValue<T>(in));                                                 \
    }
#define TINDREL_VECTOR_GET(C, Getter, N)                                                                               \
    [](TindrelHandle h, Value &out) -> TindrelReturnCode {                                                             \
        double v[N] = {};                                                                                              \
        const TindrelReturnCode rc = Tindrel##C##_##Getter(TINDREL_H(C, h), &v);                                       \
        if (rc == TINDREL_OK)                                                                                          \
            out = std::vector<double>(v, v + N);                                                                       \
        return rc;                                                                                                     \
    }
#define TINDREL_BITS(T) (sizeof(T) > 4 ? 64 : 32)

struct PropertyRow {
    Tindrel_ChannelClass cls;
    PropertyInfo info;
};
struct EventRow {
    Tindrel_ChannelClass cls;
    EventInfo info;
};
struct ClassRow {
    const char *name;
    Tindrel_ChannelClass number;
    ChannelHandle::Ops ops;
};

#define TINDREL_CLASS(C, chclass) [[maybe_unused]] constexpr Tindrel_ChannelClass cls_##C = chclass;
#define TINDREL_RO                TINDREL_NOTHING
#define TINDREL_RW                TINDREL_NOTHING
#define TINDREL_RWR               TINDREL_NOTHING
#define TINDREL_ROR               TINDREL_NOTHING
#define TINDREL_ROV               TINDREL_NOTHING
#define TINDREL_EVENT             TINDREL_NOTHING
#define TINDREL_EVENT0            TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
#undef TINDREL_EVENT0

const ClassRow kClassRows[] = {
#define TINDREL_CLASS(C, chclass)                                                                                      \
    {#C, chclass, ChannelHandle::opsFor<Tindrel##C##Handle, &Tindrel##C##_create, &Tindrel##C##_delete>()},
#define TINDREL_RO     TINDREL_NOTHING
#define TINDREL_RW     TINDREL_NOTHING
#define TINDREL_RWR    TINDREL_NOTHING
#define TINDREL_ROR    TINDREL_NOTHING
#define TINDREL_ROV    TINDREL_NOTHING
#define TINDREL_EVENT  TINDREL_NOTHING
#define TINDREL_EVENT0 TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
#undef TINDREL_EVENT0
};

const PropertyRow kPropertyRows[] = {
#define TINDREL_CLASS TINDREL_NOTHING
#define TINDREL_RO(C, P, T, init)                                                                                      \
    {cls_##C,                                                                                                          \
     {#P, #T, Access::ReadOnly, false, 1, scalarOf<T>(), TINDREL_BITS(T), 1, 0, double(init),                          \
      TINDREL_SCALAR_GET(C, get##P, T), nullptr, nullptr, nullptr}},
#define TINDREL_RW(C, P, T, lo, hi, init)                                                                              \
    {cls_##C,                                                                                                          \
     {#P, #T, Access::ReadWrite, false, 1, scalarOf<T>(), TINDREL_BITS(T), double(lo), double(hi), double(init),       \
      TINDREL_SCALAR_GET(C, get##P, T), TINDREL_SCALAR_SET(C, P, T), nullptr, nullptr}},
#define TINDREL_RWR(C, P, T, lo, hi, init)                                                                             \
    {cls_##C,                                                                                                          \
     {#P, #T, Access::ReadWrite, true, 1, scalarOf<T>(), TINDREL_BITS(T), double(lo), double(hi), double(init),        \
      TINDREL_SCALAR_GET(C, get##P, T), TINDREL_SCALAR_SET(C, P, T), TINDREL_SCALAR_GET(C, getMin##P, T),              \
      TINDREL_SCALAR_GET(C, getMax##P, T)}},
#define TINDREL_ROR(C, P, T, lo, hi, init)                                                                             \
    {cls_##C,                                                                                                          \
     {#P, #T, Access::ReadOnly, true, 1, scalarOf<T>(), TINDREL_BITS(T), double(lo), double(hi), double(init),         \
      TINDREL_SCALAR_GET(C, get##P, T), nullptr, TINDREL_SCALAR_GET(C, getMin##P, T),                                  \
      TINDREL_SCALAR_GET(C, getMax##P, T)}},
#define TINDREL_ROV(C, P, N, lo, hi)                                                                                   \
    {cls_##C,                                                                                                          \
     {#P, "double[" #N "]", Access::ReadOnly, true, N, Scalar::Floating, 64, double(lo), double(hi), 0.0,              \
      TINDREL_VECTOR_GET(C, get##P, N), nullptr, TINDREL_VECTOR_GET(C, getMin##P, N),                                  \
      TINDREL_VECTOR_GET(C, getMax##P, N)}},
#define TINDREL_EVENT  TINDREL_NOTHING
#define TINDREL_EVENT0 TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
#undef TINDREL_EVENT0
};

#define TINDREL_SUBSCRIBE(C, E)                                                                                        \
    [](TindrelHandle h, EventSubscription *sub) -> TindrelReturnCode {                                                 \
        return Tindrel##C##_setOn##E##Handler(TINDREL_H(C, h),                                                         \
                                              sub ? &Trampoline<Tindrel##C##_On##E##Callback>::call : nullptr, sub);   \
    }

const EventRow kEventRows[] = {
#define TINDREL_CLASS TINDREL_NOTHING
#define TINDREL_RO    TINDREL_NOTHING
#define TINDREL_RW    TINDREL_NOTHING
#define TINDREL_RWR   TINDREL_NOTHING
#define TINDREL_ROR   TINDREL_NOTHING
#define TINDREL_ROV   TINDREL_NOTHING
#define TINDREL_EVENT(C, E, sig, params, source, trigger)                                                              \
    {cls_##C, {#E, #sig, #params, #source, #trigger, TINDREL_SUBSCRIBE(C, E)}},
#define TINDREL_EVENT0(C, E) {cls_##C, {#E, "NONE", "()", "", "", TINDREL_SUBSCRIBE(C, E)}},
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
#undef TINDREL_EVENT0
};

std::vector<ClassInfo> buildClasses()
{
    std::vector<ClassInfo> out;
    for (const ClassRow &c : kClassRows) {
        ClassInfo info{c.name, c.number, c.ops, {}, {}};
        for (const PropertyRow &p : kPropertyRows)
            if (p.cls == c.number)
                info.properties.push_back(p.info);
        for (const EventRow &e : kEventRows)
            if (e.cls == c.number) {
                info.events.push_back(e.info);
                info.events.back().parsedFields = parseParameterList(e.info.parameterList);
            }
        out.push_back(std::move(info));
    }
    return out;
}

const std::vector<ClassInfo> &classes()
{
    static const std::vector<ClassInfo> table = buildClasses();
    return table;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool isIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}   // namespace

std::string formatValue(const Value &v)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(uint64_t u) const { return std::to_string(u); }
        std::string operator()(double d) const
        {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", d);
            // The shortest of %.15g .. %.17g that reads back to the same double.
            for (int precision = 15; precision < 17; ++precision) {
                char shorter[40];
                std::snprintf(shorter, sizeof shorter, "%.*g", precision, d);
                if (std::strtod(shorter, nullptr) == d)
                    return shorter;
            }
            return text;
        }
        std::string operator()(const std::string &s) const { return s; }
        std::string operator()(const std::vector<double> &v) const
        {
            std::string out;
            for (size_t i = 0; i < v.size(); ++i) {
                if (i)
                    out += ';';
                out += (*this)(v[i]);
            }
            return out;
        }
    };
    return std::visit(Visitor{}, v);
}

std::vector<EventField> parseParameterList(std::string_view list)
{
    list = trim(list);
    if (!list.empty() && list.front() == '(')
        list.remove_prefix(1);
    if (!list.empty() && list.back() == ')')
        list.remove_suffix(1);
    std::vector<EventField> out;
    while (!trim(list).empty()) {
        const size_t comma = list.find(',');
        std::string_view part = trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        EventField f;
        if (const size_t open = part.find('['); open != std::string_view::npos) {
            f.arrayLength = std::atoi(std::string(part.substr(open + 1)).c_str());
            part = trim(part.substr(0, open));
        }
        size_t nameStart = part.size();
        while (nameStart > 0 && isIdentifierChar(part[nameStart - 1]))
            --nameStart;
        f.name = std::string(part.substr(nameStart));
        f.type = std::string(trim(part.substr(0, nameStart)));
        out.push_back(std::move(f));
    }
    return out;
}

std::optional<std::string_view> EventInfo::triggerProperty() const
{
    const std::string_view t = trigger;
    if (t.empty() || t == "*")
        return std::nullopt;
    return t;
}

const PropertyInfo *ClassInfo::property(std::string_view n) const
{
    for (const PropertyInfo &p : properties)
        if (equalsIgnoringCase(p.name, n))
            return &p;
    return nullptr;
}

const EventInfo *ClassInfo::event(std::string_view n) const
{
    for (const EventInfo &e : events)
        if (equalsIgnoringCase(e.name, n))
            return &e;
    return nullptr;
}

std::span<const ClassInfo> allClasses() { return classes(); }

const ClassInfo *classByName(std::string_view name)
{
    if (name.size() > 7 && equalsIgnoringCase(name.substr(0, 7), "Tindrel"))
        if (const ClassInfo *c = classByName(name.substr(7)))
            return c;
    for (const ClassInfo &c : classes())
        if (equalsIgnoringCase(c.name, name))
            return &c;
    return nullptr;
}

const ClassInfo *classByNumber(int number)
{
    for (const ClassInfo &c : classes())
        if (c.number == number)
            return &c;
    return nullptr;
}

std::vector<std::string> columnNames(const EventInfo &event)
{
    std::vector<std::string> out;
    for (const EventField &f : event.fields()) {
        if (f.arrayLength > 0) {
            for (int i = 0; i < f.arrayLength; ++i)
                out.push_back(f.name + std::to_string(i));
        } else {
            out.push_back(f.name);
        }
    }
    return out;
}

}   // namespace tindrel::cli
