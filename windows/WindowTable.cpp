// The example windows of this program, by the name the tree's double-click
// derives from the channel class. A new window adds one row here.
#include "DigitalInputController.h"
#include "DigitalOutputController.h"
#include "GPSController.h"
#include "IRController.h"
#include "RFIDController.h"
#include "VoltageInputController.h"
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
    // Communication devices.
    {"IR", Form::Window, &make<IRController>},
    {"RFID", Form::Window, &make<RFIDController>},
    {"GPS", Form::Window, &make<GPSController>},
};

}   // namespace

WindowRegistry WindowRegistry::standard() { return WindowRegistry(windows); }

}   // namespace tindrel
