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

typedef enum {
    TINDREL_INPUT_MODE_NPN = 1,
    TINDREL_INPUT_MODE_PNP = 2
} Tindrel_InputMode;

typedef enum {
    TINDREL_POWER_SUPPLY_OFF = 1,
    TINDREL_POWER_SUPPLY_12V = 2,
    TINDREL_POWER_SUPPLY_24V = 3
} Tindrel_PowerSupply;

#define TINDREL_UNPAREN(...) __VA_ARGS__

#define TINDREL_CLASS(C, chclass)                                                                                   \
    typedef struct _Tindrel##C *Tindrel##C##Handle;                                                                 \
    TINDREL_API TindrelReturnCode Tindrel##C##_create(Tindrel##C##Handle *ch);                                      \
    TINDREL_API TindrelReturnCode Tindrel##C##_delete(Tindrel##C##Handle *ch);
#define TINDREL_RO(C, P, T, init) TINDREL_API TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_RW(C, P, T, lo, hi, init)                                                                           \
    TINDREL_RO(C, P, T, init)                                                                                       \
    TINDREL_API TindrelReturnCode Tindrel##C##_set##P(Tindrel##C##Handle ch, T value);
#define TINDREL_RWR(C, P, T, lo, hi, init)                                                                          \
    TINDREL_RW(C, P, T, lo, hi, init)                                                                               \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, T *value);                          \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_ROR(C, P, T, lo, hi, init)                                                                          \
    TINDREL_RO(C, P, T, init)                                                                                       \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, T *value);                          \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, T *value);
#define TINDREL_ROV(C, P, N, lo, hi)                                                                                \
    TINDREL_API TindrelReturnCode Tindrel##C##_get##P(Tindrel##C##Handle ch, double (*value)[N]);                   \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMin##P(Tindrel##C##Handle ch, double (*value)[N]);                \
    TINDREL_API TindrelReturnCode Tindrel##C##_getMax##P(Tindrel##C##Handle ch, double (*value)[N]);
#define TINDREL_EVENT(C, E, sig, params, source, trigger)                                                           \
    typedef void (*Tindrel##C##_On##E##Callback)(Tindrel##C##Handle ch, void *ctx, TINDREL_UNPAREN params);         \
    TINDREL_API TindrelReturnCode Tindrel##C##_setOn##E##Handler(Tindrel##C##Handle ch,                              \
                                                                 Tindrel##C##_On##E##Callback fptr, void *ctx);

#include "tindrel22_classes.def"

#undef TINDREL_CLASS
#undef TINDREL_RO
#undef TINDREL_RW
#undef TINDREL_RWR
#undef TINDREL_ROR
#undef TINDREL_ROV
#undef TINDREL_EVENT

#ifdef __cplusplus
}
#endif

#endif
