// The example windows of this program, by the name the tree's double-click
// derives from the channel class. A new window adds one row here.
#include "DictionaryController.h"
#include "DigitalInputController.h"
#include "DigitalOutputController.h"
#include "GPSController.h"
#include "IRController.h"
#include "PowerGuardController.h"
#include "RCServoController.h"
#include "RFIDController.h"
#include "StepperController.h"
#include "VoltageInputController.h"
#include "VoltageOutputController.h"
#include "VoltageRatioController.h"
// Motors.
#include "BLDCMotorController.h"
#include "DCMotorController.h"
#include "MotorPositionController.h"
#include "MotorVelocityController.h"
// Displays and bus adapters.
#include "DataAdapterController.h"
#include "GraphicLCDController.h"
#include "LEDArrayController.h"
#include "TextLCDController.h"
#include "WindowRegistry.h"
// Motion sensing
#include "AccelerometerController.h"
#include "GyroscopeController.h"
#include "MagnetometerController.h"
#include "SpatialController.h"

// Single-value sensors and counting inputs.
#include "CapacitiveTouchController.h"
#include "CurrentInputController.h"
#include "DistanceSensorController.h"
#include "EncoderController.h"
#include "FrequencyCounterController.h"
#include "HumiditySensorController.h"
#include "LightSensorController.h"
#include "PHSensorController.h"
#include "PressureSensorController.h"
#include "ResistanceInputController.h"
#include "SoundSensorController.h"
#include "TemperatureSensorController.h"

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
    // Motors.
    {"DCMotor", Form::Window, &make<DCMotorController>},
    {"BLDCMotor", Form::Window, &make<BLDCMotorController>},
    {"MotorPositionController", Form::Window, &make<MotorPositionController>},
    {"MotorVelocityController", Form::Window, &make<MotorVelocityController>},
    // Single-value sensors and counting inputs.
    {"TemperatureSensor", Form::Window, &make<TemperatureSensorController>},
    {"HumiditySensor", Form::Window, &make<HumiditySensorController>},
    {"PressureSensor", Form::Window, &make<PressureSensorController>},
    {"LightSensor", Form::Window, &make<LightSensorController>},
    {"SoundSensor", Form::Window, &make<SoundSensorController>},
    {"DistanceSensor", Form::Window, &make<DistanceSensorController>},
    {"PHSensor", Form::Window, &make<PHSensorController>},
    {"CurrentInput", Form::Window, &make<CurrentInputController>},
    {"ResistanceInput", Form::Window, &make<ResistanceInputController>},
    {"Encoder", Form::Window, &make<EncoderController>},
    {"FrequencyCounter", Form::Window, &make<FrequencyCounterController>},
    {"CapacitiveTouch", Form::Window, &make<CapacitiveTouchController>},
    // Stepper, RC servo, voltage output and power guard windows.
    {"Stepper", Form::Window, &make<StepperController>},
    {"RCServo", Form::Window, &make<RCServoController>},
    {"VoltageOutput", Form::Window, &make<VoltageOutputController>},
    {"PowerGuard", Form::Window, &make<PowerGuardController>},
    // Displays and bus adapters.
    {"LEDArray", Form::View, &make<LEDArrayController>},
    {"TextLCD", Form::Window, &make<TextLCDController>},
    {"GraphicLCD", Form::Window, &make<GraphicLCDController>},
    {"DataAdapter", Form::View, &make<DataAdapterController>},
    // Motion sensing
    {"Accelerometer", Form::Window, &make<AccelerometerController>},
    {"Gyroscope", Form::Window, &make<GyroscopeController>},
    {"Magnetometer", Form::Window, &make<MagnetometerController>},
    {"Spatial", Form::Window, &make<SpatialController>},
    // Communication devices.
    {"IR", Form::Window, &make<IRController>},
    {"RFID", Form::Window, &make<RFIDController>},
    {"GPS", Form::Window, &make<GPSController>},
    // A network server's dictionary.
    {"Dictionary", Form::View, &make<DictionaryController>},
};

}   // namespace

WindowRegistry WindowRegistry::standard() { return WindowRegistry(windows); }

}   // namespace tindrel
