// Power guards: the guarded supply's voltage and the board's temperature,
// driven by tindrelsim; past the over-voltage threshold or the temperature
// limit the guard switches the power off and raises an error event.
#include "common.h"

namespace tsim::behaviour {

namespace {

// A supply and board at rest until tindrelsim drives them.
constexpr double kRestingSupplyVolts = 12.0;
constexpr double kRestingCelsius = 25.0;

struct GuardState : ClassState {
    double supplyVolts = kRestingSupplyVolts;
    double celsius = kRestingCelsius;
    // Raised once for each fault, again only after it cleared.
    bool overVoltageRaised = false, overTempRaised = false;
};
std::unique_ptr<ClassState> guardState(const Channel &) { return std::make_unique<GuardState>(); }

void raise(Raised &extra, int code, std::string text)
{
    EventArgs a;
    a.i[0] = code;
    a.s[0] = std::move(text);
    extra.emplace_back(ClassHooks::kErrorEvent, std::move(a));
}

void guardStep(Channel &c, double, double, Raised &extra)
{
    constexpr auto K = TINDREL_CHCLASS_POWERGUARD;
    auto &s = stateOf<GuardState>(c);
    const int power = PROP(K, "PowerEnabled");
    const double threshold = value(c, PROP(K, "OverVoltage"));
    char text[160];
    const bool overVoltage = s.supplyVolts > threshold;
    if (overVoltage && !s.overVoltageRaised) {
        value(c, power) = 0;
        std::snprintf(text, sizeof text, "Over-voltage: the supply is at %.2f V, above the %.2f V limit; power is off.",
                      s.supplyVolts, threshold);
        raise(extra, TINDREL_EEVENT_OVERVOLTAGE, text);
    }
    s.overVoltageRaised = overVoltage;
    const bool overTemp = s.celsius > guardTemperatureLimit;
    if (overTemp && !s.overTempRaised) {
        value(c, power) = 0;
        std::snprintf(text, sizeof text, "Over-temperature: the board is at %.1f °C, above %.1f °C; power is off.",
                      s.celsius, guardTemperatureLimit);
        raise(extra, TINDREL_EEVENT_OVERTEMP, text);
    }
    s.overTempRaised = overTemp;
}

// Power stays off while a fault lasts.
TindrelReturnCode guardBeforeSet(Channel &c, int p, double v)
{
    constexpr auto K = TINDREL_CHCLASS_POWERGUARD;
    auto &s = stateOf<GuardState>(c);
    if (p != PROP(K, "PowerEnabled") || v == 0)
        return TINDREL_OK;
    if (s.supplyVolts > value(c, PROP(K, "OverVoltage")))
        return fail(TINDREL_EINVALIDSTATE, "The supply is at %.2f V, above the over-voltage limit of %.2f V",
                    s.supplyVolts, value(c, PROP(K, "OverVoltage")));
    if (s.celsius > guardTemperatureLimit)
        return fail(TINDREL_EINVALIDSTATE, "The board is at %.1f °C, above its limit of %.1f °C", s.celsius,
                    guardTemperatureLimit);
    return TINDREL_OK;
}

}   // namespace

const ClassHooks kPowerGuardHooks{nullptr, guardBeforeSet, nullptr, guardStep, guardState};

TindrelReturnCode driveGuardSupply(Channel &guard, double volts, double celsius)
{
    if (!std::isfinite(volts) || !std::isfinite(celsius))
        return fail(TINDREL_EINVALIDARG, "Supply voltage and temperature must be finite numbers");
    if (!guard.holder)
        return fail(TINDREL_EINVALIDSTATE, "The power guard is not open: open its channel first");
    auto &s = stateOf<GuardState>(guard);
    s.supplyVolts = volts;
    s.celsius = celsius;
    return TINDREL_OK;
}

}   // namespace tsim::behaviour
