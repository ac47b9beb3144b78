// What the table cannot say: per-class behaviour hooks.
#include <cmath>

#include "sim_internal.h"

using namespace tsim;

namespace {

int prop(const Channel &c, const char *name)
{
    return c.info->cls->prop(name);
}
double &val(Channel &c, int p)
{
    return c.values[static_cast<size_t>(c.info->cls->props[static_cast<size_t>(p)].slot)];
}
void markUnsupported(ChannelInfo &ci, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (int p = ci.cls->prop(n); p >= 0)
            ci.unsupported.insert(p);
}

// ---------------------------------------------------------------- digital output
// Subclass 16 and 18 outputs can dim (duty cycle); subclass 17 drives LEDs
// (duty cycle, current limit, forward voltage); others only switch.
constexpr int kSubclassDuty = 16, kSubclassLED = 17, kSubclassFrequency = 18;

void digitalOutputPrepare(ChannelInfo &ci)
{
    bool duty = ci.subclass == kSubclassDuty || ci.subclass == kSubclassLED || ci.subclass == kSubclassFrequency;
    if (!duty)
        markUnsupported(ci, {"DutyCycle"});
    if (ci.subclass != kSubclassLED)
        markUnsupported(ci, {"LEDCurrentLimit", "LEDForwardVoltage"});
    if (ci.subclass != kSubclassFrequency)
        markUnsupported(ci, {"Frequency"});
}

// Forward voltages each LED driver offers.
struct ForwardVoltages {
    int deviceId;
    int codes[4];
};
constexpr ForwardVoltages kForwardVoltages[] = {{16, {1, 2, 4, 7}}, {17, {1, 2, 4, 7}}, {71, {3, 5, 6, 8}}};

TindrelReturnCode digitalOutputBeforeSet(Channel &c, int p, double v)
{
    if (p != prop(c, "LEDForwardVoltage"))
        return TINDREL_OK;
    int dev = c.info->device->deviceId;
    for (const auto &fv : kForwardVoltages) {
        if (fv.deviceId != dev)
            continue;
        for (int code : fv.codes)
            if (code == static_cast<int>(v))
                return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "LED forward voltage code %d is not offered by device %d", static_cast<int>(v), dev);
    }
    return TINDREL_OK;
}

void digitalOutputAfterSet(Channel &c, int p)
{
    int state = prop(c, "State"), duty = prop(c, "DutyCycle");
    if (p == state && c.supports(duty))
        val(c, duty) = val(c, state) != 0 ? 1.0 : 0.0;
    else if (p == duty)
        val(c, state) = val(c, duty) > 0 ? 1 : 0;
}

const ClassHooks kDigitalOutputHooks{digitalOutputPrepare, digitalOutputBeforeSet, digitalOutputAfterSet};

// ---------------------------------------------------------------- digital input
// Only device 55 has a choice of input mode and sensor power supply.
void digitalInputPrepare(ChannelInfo &ci)
{
    if (ci.device->deviceId != 55)
        markUnsupported(ci, {"InputMode", "PowerSupply"});
}
const ClassHooks kDigitalInputHooks{digitalInputPrepare};

struct HookRow {
    Tindrel_ChannelClass cls;
    const ClassHooks *hooks;
};
const HookRow kHooks[] = {
    {TINDREL_CHCLASS_DIGITALOUTPUT, &kDigitalOutputHooks},
    {TINDREL_CHCLASS_DIGITALINPUT, &kDigitalInputHooks},
};

} // namespace

namespace tsim {

const ClassHooks *hooksFor(Tindrel_ChannelClass cls)
{
    for (const auto &r : kHooks)
        if (r.cls == cls)
            return r.hooks;
    return nullptr;
}

} // namespace tsim
