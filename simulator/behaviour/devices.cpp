// Digital outputs and inputs, LCDs and data adapters.
#include "common.h"

namespace tsim::behaviour {

namespace {

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
    std::initializer_list<int> codes;
};
const ForwardVoltages kForwardVoltages[] = {{16, {1, 2, 4, 7}}, {17, {1, 2, 4, 7}}, {71, {3, 5, 6, 8}}};

TindrelReturnCode digitalOutputBeforeSet(Channel &c, int p, double v)
{
    if (p != PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "LEDForwardVoltage"))
        return TINDREL_OK;
    for (const auto &fv : kForwardVoltages)
        if (fv.deviceId == c.info->device->deviceId && !codeIn(v, fv.codes))
            return refuseCode(c, p, v);
    return TINDREL_OK;
}

void digitalOutputAfterSet(Channel &c, int p)
{
    int state = PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "State"), duty = PROP(TINDREL_CHCLASS_DIGITALOUTPUT, "DutyCycle");
    if (p == state && c.supports(duty))
        value(c, duty) = value(c, state) != 0 ? c.maxs[slotOf(c, duty)] : c.mins[slotOf(c, duty)];
    else if (p == duty)
        value(c, state) = value(c, duty) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------- digital input
void digitalInputPrepare(ChannelInfo &ci)
{
    if (!deviceIn(ci, {55}))
        markUnsupported(ci, {"InputMode", "PowerSupply"});
}

// ---------------------------------------------------------------- displays and more
constexpr int kSubclassTextLCD = 81;
struct ScreenSize {
    int rows, cols;
};
const ScreenSize kScreenSizes[] = {{0, 0},  {0, 0},  {1, 8},  {2, 8},  {1, 16}, {2, 16}, {4, 16},
                                   {2, 20}, {4, 20}, {2, 24}, {1, 40}, {2, 40}, {4, 40}};

void lcdPrepare(ChannelInfo &ci)
{
    if (ci.subclass != kSubclassTextLCD) {
        markUnsupported(ci, {"ScreenSize", "CursorOn", "CursorBlink"});
        ci.initial[ci.cls->prop("Width")] = 128;
        ci.initial[ci.cls->prop("Height")] = 64;
    } else {
        markUnsupported(ci, {"FrameBuffer", "Sleeping"});
        // Only the adapter for separate displays is told its screen size.
        if (!deviceIn(ci, {46}))
            markUnsupported(ci, {"ScreenSize"});
    }
}

void lcdAfterSet(Channel &c, int p)
{
    constexpr auto K = TINDREL_CHCLASS_LCD;
    if (p != PROP(K, "ScreenSize"))
        return;
    const ScreenSize &sz = kScreenSizes[static_cast<int>(value(c, p))];
    value(c, PROP(K, "Width")) = sz.cols;
    value(c, PROP(K, "Height")) = sz.rows;
}

constexpr int kSPIAdapter = 160, kI2CAdapter = 134, kSerialAdapter = 162;
void dataAdapterPrepare(ChannelInfo &ci)
{
    if (deviceIn(ci, {kI2CAdapter, kSerialAdapter}))
        markUnsupported(ci, {"SPIMode", "SPIChipSelect", "Endianness"});
    if (deviceIn(ci, {kSPIAdapter}))
        ci.initial[ci.cls->prop("Frequency")] = 7;   // 1500 kHz
}
TindrelReturnCode dataAdapterBeforeSet(Channel &c, int p, double v)
{
    constexpr auto K = TINDREL_CHCLASS_DATAADAPTER;
    if (p == PROP(K, "DataAdapterVoltage") && !codeIn(v, {1, 3, 4, 5}))
        return refuseCode(c, p, v);
    // I2C clocks 10 to 400 kHz, SPI clocks 188 kHz to 6 MHz.
    if (p == PROP(K, "Frequency") && deviceIn(*c.info, {kI2CAdapter}) && !codeIn(v, {1, 2, 3}))
        return refuseCode(c, p, v);
    if (p == PROP(K, "Frequency") && deviceIn(*c.info, {kSPIAdapter}) && !codeIn(v, {4, 5, 6, 7, 8, 9}))
        return refuseCode(c, p, v);
    return TINDREL_OK;
}

}   // namespace

const ClassHooks kDigitalOutputHooks{digitalOutputPrepare, digitalOutputBeforeSet, digitalOutputAfterSet};
const ClassHooks kDigitalInputHooks{digitalInputPrepare};
const ClassHooks kLCDHooks{lcdPrepare, nullptr, lcdAfterSet};
const ClassHooks kDataAdapterHooks{dataAdapterPrepare, dataAdapterBeforeSet};

}   // namespace tsim::behaviour
