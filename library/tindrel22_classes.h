/*
 * Tindrel22 device library: the channel classes.
 *
 * The getters, setters and value events of every class are listed once in
 * tindrel22_classes.def; this header turns that list into declarations:
 *
 *   TINDREL_CLASS(C, chclass)      TindrelCHandle, TindrelC_create, TindrelC_delete
 *   TINDREL_RO(C, P, T, init)      TindrelC_getP(h, T *)
 *   TINDREL_RW(C, P, T, lo, hi, init)
 *                                  TindrelC_getP(h, T *), TindrelC_setP(h, T)
 *   TINDREL_RWR(C, P, T, lo, hi, init)
 *                                  as RW, plus TindrelC_getMinP / getMaxP
 *   TINDREL_ROR(C, P, T, lo, hi, init)
 *                                  as RO, plus TindrelC_getMinP / getMaxP
 *   TINDREL_ROV(C, P, N, lo, hi)   TindrelC_getP(h, double (*)[N]) and its
 *                                  getMinP / getMaxP (one value per axis)
 *   TINDREL_EVENT(C, E, sig, (params), source, trigger)
 *                                  TindrelC_OnECallback(h, ctx, params...) and
 *                                  TindrelC_setOnEHandler(h, fn, ctx)
 *   TINDREL_EVENT0(C, E)           the same for an event without values
 *
 * lo / hi are the usual limits (a set outside them fails with
 * TINDREL_EINVALIDARG); init is the value a channel starts with. Devices may
 * narrow limits or not support a property at all (TINDREL_EUNSUPPORTED).
 * Calls with unusual arguments are declared by hand below the table.
 */
#ifndef TINDREL22_CLASSES_H
#define TINDREL22_CLASSES_H

#include "tindrel22_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Enumerated settings. */
typedef enum {
    TINDREL_LED_FORWARD_VOLTAGE_1_7V = 1,
    TINDREL_LED_FORWARD_VOLTAGE_2_75V = 2,
    TINDREL_LED_FORWARD_VOLTAGE_3_2V = 3,
    TINDREL_LED_FORWARD_VOLTAGE_3_9V = 4,
    TINDREL_LED_FORWARD_VOLTAGE_4_0V = 5,
    TINDREL_LED_FORWARD_VOLTAGE_4_8V = 6,
    TINDREL_LED_FORWARD_VOLTAGE_5_0V = 7,
    TINDREL_LED_FORWARD_VOLTAGE_5_6V = 8
} Tindrel_LEDForwardVoltage;

typedef enum { TINDREL_INPUT_MODE_NPN = 1, TINDREL_INPUT_MODE_PNP = 2 } Tindrel_InputMode;

typedef enum {
    TINDREL_POWER_SUPPLY_OFF = 1,
    TINDREL_POWER_SUPPLY_12V = 2,
    TINDREL_POWER_SUPPLY_24V = 3
} Tindrel_PowerSupply;

typedef enum {
    TINDREL_VOLTAGE_RANGE_10mV = 1,
    TINDREL_VOLTAGE_RANGE_40mV = 2,
    TINDREL_VOLTAGE_RANGE_200mV = 3,
    TINDREL_VOLTAGE_RANGE_312_5mV = 4,
    TINDREL_VOLTAGE_RANGE_400mV = 5,
    TINDREL_VOLTAGE_RANGE_1000mV = 6,
    TINDREL_VOLTAGE_RANGE_2V = 7,
    TINDREL_VOLTAGE_RANGE_5V = 8,
    TINDREL_VOLTAGE_RANGE_15V = 9,
    TINDREL_VOLTAGE_RANGE_40V = 10,
    TINDREL_VOLTAGE_RANGE_AUTO = 11
} Tindrel_VoltageRange;

/* Sensor-type codes: 0 is the plain voltage (ratio); other codes are the
 * catalogue numbers of the sensors listed in tindrel22_sensors.def. */
typedef int32_t Tindrel_VoltageSensorType;
typedef int32_t Tindrel_VoltageRatioSensorType;
#define TINDREL_SENSOR_TYPE_VOLTAGE      0
#define TINDREL_SENSOR_TYPE_VOLTAGERATIO 0

/* Bridge gains 1x, 2x, 4x, 8x, 16x, 32x, 64x, 128x. */
typedef enum {
    TINDREL_BRIDGE_GAIN_1 = 1,
    TINDREL_BRIDGE_GAIN_2 = 2,
    TINDREL_BRIDGE_GAIN_4 = 3,
    TINDREL_BRIDGE_GAIN_8 = 4,
    TINDREL_BRIDGE_GAIN_16 = 5,
    TINDREL_BRIDGE_GAIN_32 = 6,
    TINDREL_BRIDGE_GAIN_64 = 7,
    TINDREL_BRIDGE_GAIN_128 = 8
} Tindrel_BridgeGain;

typedef enum {
    TINDREL_THERMOCOUPLE_TYPE_J = 1,
    TINDREL_THERMOCOUPLE_TYPE_K = 2,
    TINDREL_THERMOCOUPLE_TYPE_E = 3,
    TINDREL_THERMOCOUPLE_TYPE_T = 4
} Tindrel_ThermocoupleType;

typedef enum {
    TINDREL_RTD_TYPE_PT100_3850 = 1,
    TINDREL_RTD_TYPE_PT1000_3850 = 2,
    TINDREL_RTD_TYPE_PT100_3920 = 3,
    TINDREL_RTD_TYPE_PT1000_3920 = 4
} Tindrel_RTDType;

typedef enum {
    TINDREL_RTD_WIRE_SETUP_2WIRE = 1,
    TINDREL_RTD_WIRE_SETUP_3WIRE = 2,
    TINDREL_RTD_WIRE_SETUP_4WIRE = 3
} Tindrel_RTDWireSetup;

typedef enum { TINDREL_SPL_RANGE_102dB = 1, TINDREL_SPL_RANGE_82dB = 2 } Tindrel_SPLRange;

typedef enum {
    TINDREL_ENCODER_IO_MODE_PUSH_PULL = 1,
    TINDREL_ENCODER_IO_MODE_LINE_DRIVER_2K2 = 2,
    TINDREL_ENCODER_IO_MODE_LINE_DRIVER_10K = 3,
    TINDREL_ENCODER_IO_MODE_OPEN_COLLECTOR_2K2 = 4,
    TINDREL_ENCODER_IO_MODE_OPEN_COLLECTOR_10K = 5
} Tindrel_EncoderIOMode;

typedef enum { TINDREL_FILTER_TYPE_ZERO_CROSSING = 1, TINDREL_FILTER_TYPE_LOGIC_LEVEL = 2 } Tindrel_FrequencyFilterType;

typedef enum { TINDREL_FAN_MODE_OFF = 1, TINDREL_FAN_MODE_ON = 2, TINDREL_FAN_MODE_AUTO = 3 } Tindrel_FanMode;

typedef enum { TINDREL_STEPPER_CONTROL_MODE_STEP = 0, TINDREL_STEPPER_CONTROL_MODE_RUN = 1 } Tindrel_StepperControlMode;

typedef enum {
    TINDREL_RCSERVO_VOLTAGE_5V = 1,
    TINDREL_RCSERVO_VOLTAGE_6V = 2,
    TINDREL_RCSERVO_VOLTAGE_7_4V = 3
} Tindrel_RCServoVoltage;

typedef enum { TINDREL_VOLTAGE_OUTPUT_RANGE_10V = 1, TINDREL_VOLTAGE_OUTPUT_RANGE_5V = 2 } Tindrel_VoltageOutputRange;

typedef enum {
    TINDREL_LED_COLOR_ORDER_RGB = 1,
    TINDREL_LED_COLOR_ORDER_GRB = 2,
    TINDREL_LED_COLOR_ORDER_RGBW = 3,
    TINDREL_LED_COLOR_ORDER_GRBW = 4
} Tindrel_LEDColorOrder;

/* Screen sizes of character display adapters. */
typedef enum {
    TINDREL_LCD_SCREEN_SIZE_NONE = 1,
    TINDREL_LCD_SCREEN_SIZE_1x8 = 2,
    TINDREL_LCD_SCREEN_SIZE_2x8 = 3,
    TINDREL_LCD_SCREEN_SIZE_1x16 = 4,
    TINDREL_LCD_SCREEN_SIZE_2x16 = 5,
    TINDREL_LCD_SCREEN_SIZE_4x16 = 6,
    TINDREL_LCD_SCREEN_SIZE_2x20 = 7,
    TINDREL_LCD_SCREEN_SIZE_4x20 = 8,
    TINDREL_LCD_SCREEN_SIZE_2x24 = 9,
    TINDREL_LCD_SCREEN_SIZE_1x40 = 10,
    TINDREL_LCD_SCREEN_SIZE_2x40 = 11,
    TINDREL_LCD_SCREEN_SIZE_4x40 = 12
} Tindrel_LCDScreenSize;

typedef enum {
    TINDREL_LCD_FONT_USER1 = 1,
    TINDREL_LCD_FONT_USER2 = 2,
    TINDREL_LCD_FONT_6x10 = 3,
    TINDREL_LCD_FONT_5x8 = 4,
    TINDREL_LCD_FONT_6x12 = 5
} Tindrel_LCDFont;

typedef enum {
    TINDREL_LCD_PIXEL_OFF = 0,
    TINDREL_LCD_PIXEL_ON = 1,
    TINDREL_LCD_PIXEL_INVERT = 2
} Tindrel_LCDPixelState;

typedef enum {
    TINDREL_DATAADAPTER_VOLTAGE_EXTERN = 1,
    TINDREL_DATAADAPTER_VOLTAGE_2_5V = 3,
    TINDREL_DATAADAPTER_VOLTAGE_3_3V = 4,
    TINDREL_DATAADAPTER_VOLTAGE_5V = 5
} Tindrel_DataAdapterVoltage;

typedef enum {
    TINDREL_DATAADAPTER_FREQUENCY_10kHz = 1,
    TINDREL_DATAADAPTER_FREQUENCY_100kHz = 2,
    TINDREL_DATAADAPTER_FREQUENCY_400kHz = 3,
    TINDREL_DATAADAPTER_FREQUENCY_188kHz = 4,
    TINDREL_DATAADAPTER_FREQUENCY_375kHz = 5,
    TINDREL_DATAADAPTER_FREQUENCY_750kHz = 6,
    TINDREL_DATAADAPTER_FREQUENCY_1500kHz = 7,
    TINDREL_DATAADAPTER_FREQUENCY_3MHz = 8,
    TINDREL_DATAADAPTER_FREQUENCY_6MHz = 9
} Tindrel_DataAdapterFrequency;

typedef enum {
    TINDREL_SPI_MODE_0 = 1,
    TINDREL_SPI_MODE_1 = 2,
    TINDREL_SPI_MODE_2 = 3,
    TINDREL_SPI_MODE_3 = 4
} Tindrel_SPIMode;

typedef enum {
    TINDREL_SPI_CHIP_SELECT_ACTIVE_LOW = 1,
    TINDREL_SPI_CHIP_SELECT_ACTIVE_HIGH = 2,
    TINDREL_SPI_CHIP_SELECT_LOW = 3,
    TINDREL_SPI_CHIP_SELECT_HIGH = 4
} Tindrel_SPIChipSelect;

typedef enum {
    TINDREL_DATAADAPTER_ENDIANNESS_MSB_FIRST = 1,
    TINDREL_DATAADAPTER_ENDIANNESS_LSB_FIRST = 2
} Tindrel_DataAdapterEndianness;

typedef enum {
    TINDREL_RFID_PROTOCOL_EM4100 = 1,
    TINDREL_RFID_PROTOCOL_ISO11785_FDX_B = 2,
    TINDREL_RFID_PROTOCOL_TINDRELTAG = 3,
    TINDREL_RFID_PROTOCOL_HID_GENERIC = 4,
    TINDREL_RFID_PROTOCOL_HID_H10301 = 5
} Tindrel_RFIDProtocol;

/* The unit of a sensor reading. */
typedef enum {
    TINDREL_UNIT_NONE = 0,
    TINDREL_UNIT_BOOLEAN = 1,
    TINDREL_UNIT_PERCENT = 2,
    TINDREL_UNIT_DECIBEL = 3,
    TINDREL_UNIT_MILLIMETER = 4,
    TINDREL_UNIT_CENTIMETER = 5,
    TINDREL_UNIT_METER = 6,
    TINDREL_UNIT_KILOGRAM = 8,
    TINDREL_UNIT_MILLIAMPERE = 9,
    TINDREL_UNIT_AMPERE = 10,
    TINDREL_UNIT_KILOPASCAL = 11,
    TINDREL_UNIT_VOLT = 12,
    TINDREL_UNIT_DEGREE_CELSIUS = 13,
    TINDREL_UNIT_LUX = 14,
    TINDREL_UNIT_DEGREE = 15,
    TINDREL_UNIT_NEWTON = 16,
    TINDREL_UNIT_GAUSS = 17,
    TINDREL_UNIT_PH = 18,
    TINDREL_UNIT_WATT = 22
} Tindrel_Unit;

typedef struct {
    Tindrel_Unit unit;
    const char *name;
    const char *symbol;
} Tindrel_UnitInfo;

/* A learned infrared code's parameters: 200 bytes. */
typedef struct {
    uint32_t bitCount;
    uint32_t encoding; /* 2 space, 3 pulse, 4 bi-phase, 5 RC5, 6 RC6 */
    uint32_t length;   /* 1 unknown, 2 constant, 3 variable */
    uint32_t gap;
    uint32_t trail;
    uint32_t header[2];
    uint32_t one[2];
    uint32_t zero[2];
    uint32_t repeat[26]; /* ended by the first 0 */
    uint32_t minRepeat;
    double dutyCycle;
    uint32_t carrierFrequency;
    char toggleMask[33];
    char padding[3];
} Tindrel_IRCodeInfo;

/* One LED's colour for TindrelLEDArray_setLEDs. */
typedef struct {
    uint8_t r, g, b, w;
} Tindrel_LEDColor;

typedef struct {
    int16_t tm_ms, tm_sec, tm_min, tm_hour;
} Tindrel_GPSTime;

typedef struct {
    int16_t tm_mday, tm_mon, tm_year;
} Tindrel_GPSDate;

/* Completion of an asynchronous call. */
typedef void (*Tindrel_AsyncCallback)(TindrelHandle ch, void *ctx, TindrelReturnCode result);

#define TINDREL_UNPAREN(...) __VA_ARGS__

#define TINDREL_CLASS(C, chclass)                                                                                      \
    typedef struct _Tindrel##C *Tindrel##C##Handle;                                                                    \
    TINDREL_API TindrelReturnCode Tindrel##C##_create(Tindrel##C##Handle *ch);                                         \
    TINDREL_API TindrelReturnCode Tindrel##C##_delete(Tindrel##C##Handle *ch);
#define TINDREL_RO(C, P, T, init) TINDREL_API TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_RW(C, P, T, lo, hi, init)                                                                              \
    TINDREL_RO(C, P, T, init)                                                                                          \
    TINDREL_API TindrelReturnCode Tindrel##C##_set##P(Tindrel##C##Handle ch, T value);
#define TINDREL_RWR(C, P, T, lo, hi, init)                                                                             \
    TINDREL_RW(C, P, T, lo, hi, init)                                                                                  \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, T *value);                             \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_ROR(C, P, T, lo, hi, init)                                                                             \
    TINDREL_RO(C, P, T, init)                                                                                          \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, T *value);                             \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_ROV(C, P, N, lo, hi)                                                                                   \
    TINDREL_API TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, double(*value)[N]);                       \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, double(*value)[N]);                    \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, double(*value)[N]);
#define TINDREL_EVENT(C, E, sig, params, source, trigger)                                                              \
    typedef void (*Tindrel##C##_On##E##Callback)(Tindrel##C##Handle ch, void *ctx, TINDREL_UNPAREN params);            \
    TINDREL_API TindrelReturnCode Tindrel##C##_setOn##E##Handler(Tindrel##C##Handle ch,                                \
                                                                 Tindrel##C##_On##E##Callback fptr, void *ctx);

#define TINDREL_EVENT0(C, E)                                                                                           \
    typedef void (*Tindrel##C##_On##E##Callback)(Tindrel##C##Handle ch, void *ctx);                                    \
    TINDREL_API TindrelReturnCode Tindrel##C##_setOn##E##Handler(Tindrel##C##Handle ch,                                \
                                                                 Tindrel##C##_On##E##Callback fptr, void *ctx);

#include "tindrel22_classes.def"

#undef TINDREL_EVENT0
#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT

/* Calls with arguments the table cannot describe. */

/* Reports the unit of the sensor value (for the sensor type set). */
TINDREL_API TindrelReturnCode TindrelVoltageInput_getSensorUnit(TindrelVoltageInputHandle ch, Tindrel_UnitInfo *unit);
TINDREL_API TindrelReturnCode TindrelVoltageRatioInput_getSensorUnit(TindrelVoltageRatioInputHandle ch,
                                                                     Tindrel_UnitInfo *unit);

TINDREL_API TindrelReturnCode TindrelHub_setPortPower(TindrelHubHandle ch, int port, int state);

TINDREL_API TindrelReturnCode TindrelFrequencyCounter_reset(TindrelFrequencyCounterHandle ch);

/* Adds offset to the reported position (so -position makes it read 0). */
TINDREL_API TindrelReturnCode TindrelBLDCMotor_addPositionOffset(TindrelBLDCMotorHandle ch, double offset);
TINDREL_API TindrelReturnCode TindrelMotorPositionController_addPositionOffset(TindrelMotorPositionControllerHandle ch,
                                                                               double offset);
TINDREL_API TindrelReturnCode TindrelStepper_addPositionOffset(TindrelStepperHandle ch, double offset);
/* Failsafe: unless resetFailsafe is called within failsafeTime ms, the
 * motor is disengaged and a TINDREL_EEVENT_FAILSAFE error event follows; the
 * channel then refuses further calls until the failsafe is enabled again
 * (the motor stays disengaged) or the channel is closed and opened again. */
TINDREL_API TindrelReturnCode TindrelStepper_enableFailsafe(TindrelStepperHandle ch, uint32_t failsafeTime);
TINDREL_API TindrelReturnCode TindrelStepper_resetFailsafe(TindrelStepperHandle ch);

TINDREL_API TindrelReturnCode TindrelGyroscope_zero(TindrelGyroscopeHandle ch);

/* Thirteen hard- and soft-iron correction parameters. */
TINDREL_API TindrelReturnCode TindrelMagnetometer_setCorrectionParameters(
    TindrelMagnetometerHandle ch, double magneticField, double offset0, double offset1, double offset2, double gain0,
    double gain1, double gain2, double T0, double T1, double T2, double T3, double T4, double T5);
TINDREL_API TindrelReturnCode TindrelMagnetometer_resetCorrectionParameters(TindrelMagnetometerHandle ch);
TINDREL_API TindrelReturnCode TindrelMagnetometer_saveCorrectionParameters(TindrelMagnetometerHandle ch);

/* Sets LEDs startAddress..endAddress from count colours (repeated when
 * count is smaller than the range), fading over fadeTime ms. */
TINDREL_API TindrelReturnCode TindrelLEDArray_setLEDs(TindrelLEDArrayHandle ch, uint32_t startAddress,
                                                      uint32_t endAddress, const Tindrel_LEDColor *leds, size_t count,
                                                      uint32_t fadeTime);
TINDREL_API TindrelReturnCode TindrelLEDArray_clearLEDs(TindrelLEDArrayHandle ch);

/* LCD drawing goes to the frame buffer selected by setFrameBuffer; nothing
 * shows until flush. Text displays use character cells for x and y. */
TINDREL_API TindrelReturnCode TindrelLCD_initialize(TindrelLCDHandle ch);
TINDREL_API TindrelReturnCode TindrelLCD_clear(TindrelLCDHandle ch);
TINDREL_API TindrelReturnCode TindrelLCD_flush(TindrelLCDHandle ch);
TINDREL_API TindrelReturnCode TindrelLCD_writeText(TindrelLCDHandle ch, Tindrel_LCDFont font, int xPosition,
                                                   int yPosition, const char *text);
TINDREL_API TindrelReturnCode TindrelLCD_setCharacterBitmap(TindrelLCDHandle ch, Tindrel_LCDFont font,
                                                            const char *character, const uint8_t *bitmap);
TINDREL_API TindrelReturnCode TindrelLCD_setFontSize(TindrelLCDHandle ch, Tindrel_LCDFont font, int width, int height);
TINDREL_API TindrelReturnCode TindrelLCD_saveFrameBuffer(TindrelLCDHandle ch, int frameBuffer);
TINDREL_API TindrelReturnCode TindrelLCD_drawLine(TindrelLCDHandle ch, int x1, int y1, int x2, int y2);
TINDREL_API TindrelReturnCode TindrelLCD_drawRect(TindrelLCDHandle ch, int x1, int y1, int x2, int y2, int filled,
                                                  int inverted);
TINDREL_API TindrelReturnCode TindrelLCD_drawPixel(TindrelLCDHandle ch, int x, int y, Tindrel_LCDPixelState state);
TINDREL_API TindrelReturnCode TindrelLCD_copy(TindrelLCDHandle ch, int sourceFramebuffer, int destFramebuffer,
                                              int sourceX1, int sourceY1, int sourceX2, int sourceY2, int destX,
                                              int destY, int inverted);
TINDREL_API TindrelReturnCode TindrelLCD_writeBitmap(TindrelLCDHandle ch, int xPosition, int yPosition, int xSize,
                                                     int ySize, const uint8_t *bitmap);
/* Asynchronous forms: return at once; fptr (may be NULL) gets the result on
 * a library thread. */
TINDREL_API void TindrelLCD_drawLine_async(TindrelLCDHandle ch, int x1, int y1, int x2, int y2,
                                           Tindrel_AsyncCallback fptr, void *ctx);
TINDREL_API void TindrelLCD_drawRect_async(TindrelLCDHandle ch, int x1, int y1, int x2, int y2, int filled,
                                           int inverted, Tindrel_AsyncCallback fptr, void *ctx);
TINDREL_API void TindrelLCD_copy_async(TindrelLCDHandle ch, int sourceFramebuffer, int destFramebuffer, int sourceX1,
                                       int sourceY1, int sourceX2, int sourceY2, int destX, int destY, int inverted,
                                       Tindrel_AsyncCallback fptr, void *ctx);
TINDREL_API void TindrelLCD_writeText_async(TindrelLCDHandle ch, Tindrel_LCDFont font, int xPosition, int yPosition,
                                            const char *text, Tindrel_AsyncCallback fptr, void *ctx);
TINDREL_API void TindrelLCD_flush_async(TindrelLCDHandle ch, Tindrel_AsyncCallback fptr, void *ctx);

/* SPI: the reply has as many bytes as were sent; recvLen in: room, out: bytes received. */
TINDREL_API TindrelReturnCode TindrelDataAdapter_sendPacket(TindrelDataAdapterHandle ch, const uint8_t *data,
                                                            size_t length);
TINDREL_API TindrelReturnCode TindrelDataAdapter_sendPacketWaitResponse(TindrelDataAdapterHandle ch,
                                                                        const uint8_t *data, size_t length,
                                                                        uint8_t *recvData, size_t *recvDataLen);
/* I2C: writes data to the device at address, then reads *recvDataLen bytes. */
TINDREL_API TindrelReturnCode TindrelDataAdapter_i2cSendReceive(TindrelDataAdapterHandle ch, uint32_t address,
                                                                const uint8_t *data, size_t length, uint8_t *recvData,
                                                                size_t *recvDataLen);

/* IR codes are hexadecimal text. */
TINDREL_API TindrelReturnCode TindrelIR_transmit(TindrelIRHandle ch, const char *code, Tindrel_IRCodeInfo *codeInfo);
TINDREL_API TindrelReturnCode TindrelIR_transmitRaw(TindrelIRHandle ch, const uint32_t *data, size_t dataLen,
                                                    uint32_t carrierFrequency, double dutyCycle, uint32_t gap);
TINDREL_API TindrelReturnCode TindrelIR_getLastCode(TindrelIRHandle ch, char *code, size_t codeLen, uint32_t *bitCount);
TINDREL_API TindrelReturnCode TindrelIR_getLastLearnedCode(TindrelIRHandle ch, char *code, size_t codeLen,
                                                           Tindrel_IRCodeInfo *codeInfo);

/* Writes tagString to the tag in the field; lockTag 1 makes it read-only. */
TINDREL_API TindrelReturnCode TindrelRFID_write(TindrelRFIDHandle ch, const char *tagString,
                                                Tindrel_RFIDProtocol protocol, int lockTag);
TINDREL_API TindrelReturnCode TindrelRFID_getLastTag(TindrelRFIDHandle ch, char *tagString, size_t tagStringLen,
                                                     Tindrel_RFIDProtocol *protocol);

/* UTC time and date of the receiver; TINDREL_EUNKNOWNVAL before a fix. */
TINDREL_API TindrelReturnCode TindrelGPS_getTime(TindrelGPSHandle ch, Tindrel_GPSTime *time);
TINDREL_API TindrelReturnCode TindrelGPS_getDate(TindrelGPSHandle ch, Tindrel_GPSDate *date);

/* Dictionary: add fails on an existing key, update on a missing one, set
 * does either. get copies the value; scan lists keys after start (NULL:
 * from the first) in order, one per line, as many as fit. */
TINDREL_API TindrelReturnCode TindrelDictionary_add(TindrelDictionaryHandle ch, const char *key, const char *value);
TINDREL_API TindrelReturnCode TindrelDictionary_update(TindrelDictionaryHandle ch, const char *key, const char *value);
TINDREL_API TindrelReturnCode TindrelDictionary_set(TindrelDictionaryHandle ch, const char *key, const char *value);
TINDREL_API TindrelReturnCode TindrelDictionary_remove(TindrelDictionaryHandle ch, const char *key);
TINDREL_API TindrelReturnCode TindrelDictionary_removeAll(TindrelDictionaryHandle ch);
TINDREL_API TindrelReturnCode TindrelDictionary_get(TindrelDictionaryHandle ch, const char *key, char *value,
                                                    size_t valueLen);
TINDREL_API TindrelReturnCode TindrelDictionary_scan(TindrelDictionaryHandle ch, const char *start, char *keyList,
                                                     size_t keyListLen);

/* Firmware upgrade, on the loader channel of a device rebooted with
 * Tindrel_rebootFirmwareUpgrade. The actual identity may answer
 * TINDREL_EUNKNOWNVAL for a short while after attach: ask again later. */
TINDREL_API TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceXLNKID(TindrelFirmwareUpgradeHandle ch,
                                                                           uint32_t *xlnkId);
TINDREL_API TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceSKU(TindrelFirmwareUpgradeHandle ch,
                                                                        const char **sku);
TINDREL_API TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceVersion(TindrelFirmwareUpgradeHandle ch,
                                                                            int *version);
/* Blocks while the image is written; ProgressChange events report 0 to 1. */
TINDREL_API TindrelReturnCode TindrelFirmwareUpgrade_sendFirmware(TindrelFirmwareUpgradeHandle ch, const uint8_t *data,
                                                                  size_t length);

#ifdef __cplusplus
}
#endif

#endif
