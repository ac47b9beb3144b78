// The RC servo's calibration: positions map linearly onto pulse widths
// (microseconds), the minimum position onto the minimum pulse width.
#pragma once

namespace tsim::behaviour {

inline double servoPulseWidth(double position, double minPos, double maxPos, double minPulse, double maxPulse)
{
    if (maxPos == minPos)
        return minPulse;
    return minPulse + (position - minPos) / (maxPos - minPos) * (maxPulse - minPulse);
}

inline double servoPosition(double pulse, double minPos, double maxPos, double minPulse, double maxPulse)
{
    if (maxPulse == minPulse)
        return minPos;
    return minPos + (pulse - minPulse) / (maxPulse - minPulse) * (maxPos - minPos);
}

}   // namespace tsim::behaviour
