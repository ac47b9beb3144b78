// The class table (from tindrel22_classes.def) and the per-class calls it
// generates: every getter, setter and handler registration is a one-line
// forward to the generic operations of the engine.
#include <cmath>
#include <type_traits>

#include "sim_internal.h"

namespace tsim {
const ClassHooks *hooksFor(Tindrel_ChannelClass cls);
}

using namespace tsim;

namespace {

template <class T>
constexpr bool kIntegral = !std::is_floating_point_v<T>;

struct ClassRow {
    Tindrel_ChannelClass cls;
    const char *name;
    const char *libraryName;
};
struct PropRow {
    Tindrel_ChannelClass cls;
    const char *name;
    PropKind kind;
    int width;
    double lo, hi, init;
    bool integral;
};
struct EventRow {
    Tindrel_ChannelClass cls;
    const char *name;
    Invoker invoke;
    const char *source;
    const char *trigger;
};

#define TINDREL_NOTHING(...)
// Events without values follow whatever TINDREL_EVENT means at the time.
#define TINDREL_EVENT0(C, E)      TINDREL_EVENT(C, E, NONE, (), , )
#define TINDREL_CLASS(C, chclass) [[maybe_unused]] constexpr Tindrel_ChannelClass cls_##C = chclass;
#define TINDREL_RO                TINDREL_NOTHING
#define TINDREL_RW                TINDREL_NOTHING
#define TINDREL_RWR               TINDREL_NOTHING
#define TINDREL_ROR               TINDREL_NOTHING
#define TINDREL_ROV               TINDREL_NOTHING
#define TINDREL_EVENT             TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_EVENT

// Argument lists of each event signature, read from EventArgs.
#define TSIG_I(a)     , a.i[0]
#define TSIG_U(a)     , static_cast<uint32_t>(a.d[0])
#define TSIG_D(a)     , a.d[0]
#define TSIG_DD(a)    , a.d[0], a.d[1]
#define TSIG_DDD(a)   , a.d[0], a.d[1], a.d[2]
#define TSIG_DU(a)    , a.d[0], const_cast<Tindrel_UnitInfo *>(&a.unit)
#define TSIG_SPL(a)   , a.d[0], a.d[1], a.d[2], a.d + 3
#define TSIG_D3T(a)   , a.d, a.ts
#define TSIG_D9T(a)   , a.d, a.d + 3, a.d + 6, a.ts
#define TSIG_IDI(a)   , a.i[0], a.d[0], a.i[1]
#define TSIG_CNT(a)   , a.u64, a.d[0]
#define TSIG_REFL(a)  , a.raw.data(), a.raw.data() + 8, static_cast<uint32_t>(a.i[0])
#define TSIG_CODE(a)  , a.s[0].c_str(), static_cast<uint32_t>(a.i[0]), a.i[1]
#define TSIG_LEARN(a) , a.s[0].c_str(), const_cast<Tindrel_IRCodeInfo *>(&a.ir)
#define TSIG_RAW(a)   , a.raw.data(), a.raw.size()
#define TSIG_TAG(a)   , a.s[0].c_str(), static_cast<Tindrel_RFIDProtocol>(a.i[0])
#define TSIG_S(a)     , a.s[0].c_str()
#define TSIG_SS(a)    , a.s[0].c_str(), a.s[1].c_str()
#define TSIG_NONE(a)

#define TINDREL_EVENT(C, E, sig, params, source, trigger)                                                              \
    void invoke_##C##_##E(void (*fn)(), TindrelHandle h, void *ctx, [[maybe_unused]] const EventArgs &a)               \
    {                                                                                                                  \
        reinterpret_cast<Tindrel##C##_On##E##Callback>(fn)(reinterpret_cast<Tindrel##C##Handle>(h),                    \
                                                           ctx TSIG_##sig(a));                                         \
    }
#define TINDREL_CLASS TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT

const ClassRow kClassRows[] = {
#define TINDREL_CLASS(C, chclass) {chclass, #C, "Tindrel" #C},
#define TINDREL_RO                TINDREL_NOTHING
#define TINDREL_RW                TINDREL_NOTHING
#define TINDREL_RWR               TINDREL_NOTHING
#define TINDREL_ROR               TINDREL_NOTHING
#define TINDREL_ROV               TINDREL_NOTHING
#define TINDREL_EVENT             TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
};

const PropRow kPropRows[] = {
#define TINDREL_CLASS                      TINDREL_NOTHING
#define TINDREL_RO(C, P, T, init)          {cls_##C, #P, PropKind::RO, 1, 1, 0, double(init), kIntegral<T>},
#define TINDREL_RW(C, P, T, lo, hi, init)  {cls_##C, #P, PropKind::RW, 1, lo, hi, double(init), kIntegral<T>},
#define TINDREL_RWR(C, P, T, lo, hi, init) {cls_##C, #P, PropKind::RWR, 1, lo, hi, double(init), kIntegral<T>},
#define TINDREL_ROR(C, P, T, lo, hi, init) {cls_##C, #P, PropKind::ROR, 1, lo, hi, double(init), kIntegral<T>},
#define TINDREL_ROV(C, P, N, lo, hi)       {cls_##C, #P, PropKind::ROV, N, lo, hi, 0.0, false},
#define TINDREL_EVENT                      TINDREL_NOTHING
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
};

const EventRow kEventRows[] = {
#define TINDREL_CLASS                                     TINDREL_NOTHING
#define TINDREL_RO                                        TINDREL_NOTHING
#define TINDREL_RW                                        TINDREL_NOTHING
#define TINDREL_RWR                                       TINDREL_NOTHING
#define TINDREL_ROR                                       TINDREL_NOTHING
#define TINDREL_ROV                                       TINDREL_NOTHING
#define TINDREL_EVENT(C, E, sig, params, source, trigger) {cls_##C, #E, invoke_##C##_##E, #source, #trigger},
#include "tindrel22_classes.def"
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT
};

// The registry built once from the rows above; read-only afterwards.
struct Registry {
    std::vector<ClassDesc> classes;
    Registry()
    {
        classes.reserve(std::size(kClassRows));
        for (const ClassRow &cr : kClassRows) {
            ClassDesc cd;
            cd.name = cr.name;
            cd.libraryName = cr.libraryName;
            cd.cls = cr.cls;
            cd.hooks = hooksFor(cr.cls);
            for (const PropRow &pr : kPropRows) {
                if (pr.cls != cr.cls)
                    continue;
                cd.props.push_back({pr.name, pr.kind, pr.width, pr.lo, pr.hi, pr.init, pr.integral, cd.width});
                cd.width += pr.width;
            }
            cd.dataInterval = cd.prop("DataInterval");
            for (const EventRow &er : kEventRows) {
                if (er.cls != cr.cls)
                    continue;
                EventDesc ed;
                ed.name = er.name;
                ed.invoke = er.invoke;
                ed.source = *er.source ? cd.prop(er.source) : -1;
                if (!*er.trigger) {
                    ed.mode = TriggerMode::OnChange;
                } else if (std::string(er.trigger) == "*") {
                    ed.mode = TriggerMode::Always;
                } else {
                    ed.mode = TriggerMode::Property;
                    ed.trigger = cd.prop(er.trigger);
                    if (ed.trigger < 0)
                        ed.mode = TriggerMode::OnChange;
                }
                ed.slot = SLOT_FIRST_EVENT + static_cast<int>(cd.events.size());
                cd.events.push_back(ed);
            }
            classes.push_back(std::move(cd));
        }
    }
};

const Registry &registry()
{
    // Never destroyed, like the engine: library threads (the generator, the
    // dictionary watcher) may still look classes up while the process exits.
    static const Registry *r = new Registry;
    return *r;
}

struct PropRef {
    const ClassDesc *cls;
    int prop;
};
PropRef propRef(Tindrel_ChannelClass cls, const char *name)
{
    const ClassDesc *c = classByNumber(cls);
    return {c, c->prop(name)};
}
PropRef eventRef(Tindrel_ChannelClass cls, const char *name)
{
    const ClassDesc *c = classByNumber(cls);
    return {c, c->event(name)};
}

template <class T>
TindrelReturnCode getScalar(void *h, const PropRef &r, Which w, T *out)
{
    if (!out)
        return fail(TINDREL_EFAULT, "Result pointer is NULL (%s %s)", r.cls->name, r.cls->props[r.prop].name);
    double d = 0;
    TindrelReturnCode rc = readProp(static_cast<TindrelHandle>(h), r.cls, r.prop, w, &d);
    if (rc == TINDREL_OK) {
        if constexpr (kIntegral<T>)
            *out = static_cast<T>(std::llround(d));
        else
            *out = static_cast<T>(d);
    }
    return rc;
}

template <class T>
TindrelReturnCode setScalar(void *h, const PropRef &r, T v)
{
    return writeProp(static_cast<TindrelHandle>(h), r.cls, r.prop, static_cast<double>(v));
}

template <int N>
TindrelReturnCode getVector(void *h, const PropRef &r, Which w, double (*out)[N])
{
    if (!out)
        return fail(TINDREL_EFAULT, "Result pointer is NULL (%s %s)", r.cls->name, r.cls->props[r.prop].name);
    return readProp(static_cast<TindrelHandle>(h), r.cls, r.prop, w, *out);
}

}   // namespace

namespace tsim {

int ClassDesc::prop(const char *n) const
{
    for (size_t i = 0; i < props.size(); ++i)
        if (std::string_view(props[i].name) == n)
            return static_cast<int>(i);
    return -1;
}

int ClassDesc::event(const char *n) const
{
    for (size_t i = 0; i < events.size(); ++i)
        if (std::string_view(events[i].name) == n)
            return static_cast<int>(i);
    return -1;
}

const ClassDesc *classByNumber(int cls)
{
    for (const ClassDesc &c : registry().classes)
        if (c.cls == cls)
            return &c;
    return nullptr;
}

const ClassDesc *classByName(const std::string &name)
{
    for (const ClassDesc &c : registry().classes)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::vector<const ClassDesc *> allClasses()
{
    std::vector<const ClassDesc *> v;
    for (const ClassDesc &c : registry().classes)
        v.push_back(&c);
    return v;
}

}   // namespace tsim

// The generated C calls.
extern "C" {
#define TINDREL_CLASS(C, chclass)                                                                                      \
    TindrelReturnCode Tindrel##C##_create(Tindrel##C##Handle *ch)                                                      \
    {                                                                                                                  \
        if (!ch)                                                                                                       \
            return fail(TINDREL_EFAULT, "Handle pointer is NULL (" #C "_create)");                                     \
        TindrelHandle h = nullptr;                                                                                     \
        TindrelReturnCode rc = createHandle(chclass, &h);                                                              \
        *ch = reinterpret_cast<Tindrel##C##Handle>(h);                                                                 \
        return rc;                                                                                                     \
    }                                                                                                                  \
    TindrelReturnCode Tindrel##C##_delete(Tindrel##C##Handle *ch)                                                      \
    {                                                                                                                  \
        if (!ch)                                                                                                       \
            return fail(TINDREL_EFAULT, "Handle pointer is NULL (" #C "_delete)");                                     \
        TindrelHandle h = reinterpret_cast<TindrelHandle>(*ch);                                                        \
        TindrelReturnCode rc = Tindrel_delete(&h);                                                                     \
        *ch = nullptr;                                                                                                 \
        return rc;                                                                                                     \
    }
#define TINDREL_RO(C, P, T, init)                                                                                      \
    TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, T *value)                                             \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getScalar(ch, r, Which::Value, value);                                                                  \
    }
#define TINDREL_RW(C, P, T, lo, hi, init)                                                                              \
    TINDREL_RO(C, P, T, init)                                                                                          \
    TindrelReturnCode Tindrel##C##_set##P(Tindrel##C##Handle ch, T value)                                              \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return setScalar(ch, r, value);                                                                                \
    }
#define TINDREL_MINMAX(C, P, T)                                                                                        \
    TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, T *value)                                          \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getScalar(ch, r, Which::Min, value);                                                                    \
    }                                                                                                                  \
    TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, T *value)                                          \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getScalar(ch, r, Which::Max, value);                                                                    \
    }
#define TINDREL_RWR(C, P, T, lo, hi, init) TINDREL_RW(C, P, T, lo, hi, init) TINDREL_MINMAX(C, P, T)
#define TINDREL_ROR(C, P, T, lo, hi, init) TINDREL_RO(C, P, T, init) TINDREL_MINMAX(C, P, T)
#define TINDREL_ROV(C, P, N, lo, hi)                                                                                   \
    TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, double(*value)[N])                                    \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getVector<N>(ch, r, Which::Value, value);                                                               \
    }                                                                                                                  \
    TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, double(*value)[N])                                 \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getVector<N>(ch, r, Which::Min, value);                                                                 \
    }                                                                                                                  \
    TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, double(*value)[N])                                 \
    {                                                                                                                  \
        static const PropRef r = propRef(cls_##C, #P);                                                                 \
        return getVector<N>(ch, r, Which::Max, value);                                                                 \
    }
#define TINDREL_EVENT(C, E, sig, params, source, trigger)                                                              \
    TindrelReturnCode Tindrel##C##_setOn##E##Handler(Tindrel##C##Handle ch, Tindrel##C##_On##E##Callback fptr,         \
                                                     void *ctx)                                                        \
    {                                                                                                                  \
        static const PropRef r = eventRef(cls_##C, #E);                                                                \
        return setEventHandler(reinterpret_cast<TindrelHandle>(ch), r.cls, r.prop, reinterpret_cast<void (*)()>(fptr), \
                               ctx);                                                                                   \
    }
#include "tindrel22_classes.def"
}   // extern "C"
