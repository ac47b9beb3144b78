#pragma once

// The contrast and backlight rows both LCD windows have.

#include "SliderRow.h"

#include <tindrel22.h>

#include <functional>

namespace tindrel {

using LCDCheck = std::function<bool(TindrelReturnCode)>;

// Each row sends its value to the screen `lcd` gives at the time; `check`
// reports a refused call the way the window does.
inline void sendLCDLight(SliderRow &contrast, SliderRow &backlight, std::function<TindrelLCDHandle()> lcd,
                         LCDCheck check)
{
    contrast.setSender([lcd, check](double v) { return check(TindrelLCD_setContrast(lcd(), v)); });
    backlight.setSender([lcd, check](double v) { return check(TindrelLCD_setBacklight(lcd(), v)); });
}

// At attach: the device's limits, so a row cannot ask for a value the screen
// refuses, and the value it has now.
inline void takeLCDLight(SliderRow &contrast, SliderRow &backlight, TindrelLCDHandle lcd, const LCDCheck &check)
{
    double min = 0, max = 1, value = 0;
    check(TindrelLCD_getMinContrast(lcd, &min));
    check(TindrelLCD_getMaxContrast(lcd, &max));
    check(TindrelLCD_getContrast(lcd, &value));
    contrast.setRange(min, max, value);
    contrast.accept(value);
    min = 0, max = 1, value = 0;
    check(TindrelLCD_getMinBacklight(lcd, &min));
    check(TindrelLCD_getMaxBacklight(lcd, &max));
    check(TindrelLCD_getBacklight(lcd, &value));
    backlight.setRange(min, max, value);
    backlight.accept(value);
}

}   // namespace tindrel
