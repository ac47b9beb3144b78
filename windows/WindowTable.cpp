// The example windows of this program, by the name the tree's double-click
// derives from the channel class. A new window adds one row here.
#include "DigitalInputController.h"
#include "DigitalOutputController.h"
#include "PowerGuardController.h"
#include "RCServoController.h"
#include "StepperController.h"
#include "VoltageInputController.h"
#include "VoltageOutputController.h"
#include "VoltageRatioController.h"
#include "WindowRegistry.h"

namespace tindrel {

namespace {

template <class Window>
ExampleWindow *make()
{
    return makeWindow<Window>();
}

using Form = ExampleWindow::Form;

constexpr WindowRegistry::Entry windows[] = {
    {"DigitalInput", Form::Window, &make<DigitalInputController>},
    {"DigitalOutput", Form::Window, &make<DigitalOutputController>},
    {"VoltageInput", Form::Window, &make<VoltageInputController>},
    {"VoltageRatioInput", Form::Window, &make<VoltageRatioController>},
    // Stepper, RC servo, voltage output and power guard windows.
    {"Stepper", Form::Window, &make<StepperController>},
    {"RCServo", Form::Window, &make<RCServoController>},
    {"VoltageOutput", Form::Window, &make<VoltageOutputController>},
    {"PowerGuard", Form::Window, &make<PowerGuardController>},
};

}   // namespace

WindowRegistry WindowRegistry::standard() { return WindowRegistry(windows); }

}   // namespace tindrel
