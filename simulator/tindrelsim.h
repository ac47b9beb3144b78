/*
 * Control of the simulated device library: load a rig, plug and unplug
 * devices, bring remote servers up and down, inject error events and drive
 * input values. Used by tests, by the command-line tool tindrelsim and by
 * programs that want to name a rig file.
 *
 * Devices and servers are named by the "id" they have in the rig. Calls
 * return 0 on success or a Tindrel return code; on failure the calling
 * thread's last error (Tindrel_getLastError) holds a detail text.
 */
#ifndef TINDRELSIM_H
#define TINDRELSIM_H

#include <stddef.h>
#include <stdint.h>

#include "tindrel22_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the whole rig: every present channel detaches, then the new rig's
 * present devices attach. A malformed rig leaves the old one in place and
 * writes "file:line:column: problem" into err. */
TINDREL_API TindrelReturnCode TindrelSim_loadRigFile(const char *path, char *err, size_t errLen);
TINDREL_API TindrelReturnCode TindrelSim_loadRigText(const char *text, const char *sourceName, char *err,
                                                     size_t errLen);
/* The embedded default rig; loaded by itself the first time the library is
 * used when no other rig was loaded before (and TINDREL_RIG names no file). */
TINDREL_API TindrelReturnCode TindrelSim_loadDefaultRig(void);
TINDREL_API const char *TindrelSim_defaultRigText(void);
/* An empty rig: nothing attached, no servers. */
TINDREL_API TindrelReturnCode TindrelSim_clear(void);

/* Plugging. Attaching a device attaches all its channels (and its hub-port
 * devices); detaching detaches them and everything below it. */
TINDREL_API TindrelReturnCode TindrelSim_attachDevice(const char *deviceId);
TINDREL_API TindrelReturnCode TindrelSim_detachDevice(const char *deviceId);
/* Remote servers: adding announces the server (discovery) and attaches its
 * present devices; removing detaches them and announces the removal. */
TINDREL_API TindrelReturnCode TindrelSim_addServer(const char *serverId);
TINDREL_API TindrelReturnCode TindrelSim_removeServer(const char *serverId);

/* An asynchronous error event on the channel (class, index) of a device. */
TINDREL_API TindrelReturnCode TindrelSim_injectError(const char *deviceId, Tindrel_ChannelClass channelClass,
                                                     int channelIndex, int32_t code, const char *description);
/* Drives an input's value from outside (a digital input's "State", a voltage
 * input's "Voltage"): the channel reports it as if measured, also when it
 * is set before the channel is opened or between two of its sessions. */
TINDREL_API TindrelReturnCode TindrelSim_setInputValue(const char *deviceId, Tindrel_ChannelClass channelClass,
                                                       int channelIndex, const char *property, double value);
/* Conditions of the simulated shaft of motor motorIndex of a device (shared
 * by its motor, controller and encoder channels): "load" is a torque against
 * positive motion as a fraction of the stall torque (-1 to 1); "hold" 1
 * blocks the shaft (it stalls), 0 frees it; "connection" 0 cuts the motor
 * leads (error event 0x1011, no torque), 1 mends them. A device or index
 * without a motor or motor controller channel is refused (TINDREL_ENOENT).
 * Conditions and shaft positions go with the rig: a rig loaded or cleared
 * starts every shaft at rest, free and connected. */
TINDREL_API TindrelReturnCode TindrelSim_setMotorCondition(const char *deviceId, int motorIndex, const char *condition,
                                                           double value);
/* Turns the shaft of an encoder channel (channelIndex of the device's
 * encoders) at countsPerSecond from now on; the encoder counts it and gives
 * an index pulse once per revolution of 1440 counts. Until a shaft is turned
 * it follows the rig's waveform. An encoder on a motor board counts the
 * motor's shaft instead and cannot be turned from here (TINDREL_EINVALIDSTATE). */
TINDREL_API TindrelReturnCode TindrelSim_turnShaft(const char *deviceId, int channelIndex, double countsPerSecond);
/* A power guard's guarded supply (volts) and board temperature (degrees
 * Celsius), as if measured: past the over-voltage threshold or the board's
 * temperature limit the guard switches the power off and raises an
 * over-voltage or over-temperature error event. The channel must be open. */
TINDREL_API TindrelReturnCode TindrelSim_setGuardSupply(const char *deviceId, int channelIndex, double volts,
                                                        double celsius);
/* Turns the body of a motion device: roll about its x axis and pitch about
 * its y axis (-180 to 180), heading clockwise from north (degrees); it then
 * keeps turning by turnRate degrees per second (0: holds still). Every
 * motion device turns slowly on its own until this is called. */
TINDREL_API TindrelReturnCode TindrelSim_setOrientation(const char *deviceId, double roll, double pitch, double yaw,
                                                        double turnRate);
/* Where the body of a motion device is now (degrees, as set above); a body
 * turns toward what it was set to at a limited rate. */
TINDREL_API TindrelReturnCode TindrelSim_getOrientation(const char *deviceId, double *roll, double *pitch, double *yaw);
/* Reads back any property the application set (for tests). */
TINDREL_API TindrelReturnCode TindrelSim_getPropertyValue(const char *deviceId, Tindrel_ChannelClass channelClass,
                                                          int channelIndex, const char *property, double *value);

/* Firmware transfers to a device that go wrong on purpose: the next count
 * transfers stop half-way with an input/output error (FAIL), or the device
 * is unplugged half-way through the next count transfers (UNPLUG). OK with
 * any count clears the plan. */
typedef enum {
    TINDRELSIM_UPGRADE_OK = 0,
    TINDRELSIM_UPGRADE_FAIL = 1,
    TINDRELSIM_UPGRADE_UNPLUG = 2
} TindrelSimUpgradeFault;
TINDREL_API TindrelReturnCode TindrelSim_setUpgradeFault(const char *deviceId, TindrelSimUpgradeFault fault, int count);

/* Another client of the server changes the dictionary (channel channelIndex
 * of a device): sets key to value (added or updated) or removes it. The
 * handle holding the channel gets the add, update or remove event. */
TINDREL_API TindrelReturnCode TindrelSim_setDictionaryKey(const char *deviceId, int channelIndex, const char *key,
                                                          const char *value);
TINDREL_API TindrelReturnCode TindrelSim_removeDictionaryKey(const char *deviceId, int channelIndex, const char *key);
/* The local network server's dictionary directory: every "<sn>.dpc" file in
 * it whose dictionary.enabled is true offers a local dictionary device
 * "dictionary-<sn>" (serial number sn, the file's label); a file that goes
 * or is disabled takes it away. The directory is looked at a few times a
 * second. NULL goes back to the rig's "dictionaryDirectory" (or
 * TINDREL_DICTIONARY_DIR when set); "" watches nothing. */
TINDREL_API TindrelReturnCode TindrelSim_watchDictionaryDirectory(const char *directory);

/* A JSON text listing computers, devices (id, name, serial, attached) and
 * channels. *len in: buffer size; out: size needed including the NUL. */
TINDREL_API TindrelReturnCode TindrelSim_list(char *buf, size_t *len);

/* Sets the calling thread's last error (Tindrel_getLastError) and returns
 * code: for code layered on this library, such as the control server. */
TINDREL_API TindrelReturnCode TindrelSim_setLastError(TindrelReturnCode code, const char *detail);

/* The next count calls of Tindrel_getLastError on the calling thread fail
 * with TINDREL_EUNEXPECTED, as when the library cannot report a detail
 * (for tests of callers that must then report nothing). */
TINDREL_API TindrelReturnCode TindrelSim_failLastErrorReads(int count);

/* The next createCount calls of TindrelManager_create and the next openCount
 * calls of TindrelManager_open fail (TINDREL_EUNEXPECTED, with a detail in
 * the last error), as when the library cannot reach the USB subsystem. */
TINDREL_API TindrelReturnCode TindrelSim_failManagerCalls(int createCount, int openCount);

/* Every manager callback starts delayMs after the library picked it for
 * delivery, as when the delivering thread is preempted right then: a close
 * made meanwhile finds the callback already started. 0 ends the delay. */
TINDREL_API TindrelReturnCode TindrelSim_delayManagerCallbacks(int delayMs);

/* From now on share (0 to 1) of the device calls on attached channels (property
 * reads and writes, methods) fail as a misbehaving device makes them fail: timed
 * out, input/output error, busy, interrupted, with a detail in the last error.
 * Which calls fail follows from seed alone, given the same calls in the same
 * order. 0 ends it. Each call restarts the counts below. */
TINDREL_API TindrelReturnCode TindrelSim_failCalls(double share, uint32_t seed);
typedef enum {
    TINDRELSIM_CALLS_ALL = 0,
    TINDRELSIM_CALLS_READS = 1,  /* property reads */
    TINDRELSIM_CALLS_CHANGES = 2 /* property writes and methods */
} TindrelSimCallKind;
/* The calls failed on purpose since TindrelSim_failCalls on channels of the
 * class (TINDREL_CHCLASS_NOTHING: every class). */
TINDREL_API uint64_t TindrelSim_failedCalls(Tindrel_ChannelClass channelClass, TindrelSimCallKind kind);

/* What a display shows since its last flush, for tests and the panel's
 * preview. The LCD's picture, one byte per dot (1 on), row by row: a graphic
 * display's frame, a text display's characters drawn in 6 x 9 cells. *len in:
 * buffer size; out: bytes needed (TINDREL_ENOSPC when the buffer is short,
 * *width and *height set either way). The ...Of forms take an open handle. */
TINDREL_API TindrelReturnCode TindrelSim_getLCDFrame(const char *deviceId, int channelIndex, uint8_t *dots, size_t *len,
                                                     int *width, int *height);
TINDREL_API TindrelReturnCode TindrelSim_getLCDFrameOf(TindrelHandle ch, uint8_t *dots, size_t *len, int *width,
                                                       int *height);
/* What the display looks like: one grey level per dot of the frame above
 * (0 black to 255 full light), the backlight shining through dots the
 * contrast darkens. No backlight gives a dark picture, a low contrast lit
 * dots close to the background, and too high a contrast greys the
 * background as well; a sleeping graphic display is dark. Contrast and
 * backlight act at once, without a flush. Sizes as for the frame. */
TINDREL_API TindrelReturnCode TindrelSim_getLCDPicture(const char *deviceId, int channelIndex, uint8_t *levels,
                                                       size_t *len, int *width, int *height);
TINDREL_API TindrelReturnCode TindrelSim_getLCDPictureOf(TindrelHandle ch, uint8_t *levels, size_t *len, int *width,
                                                         int *height);
/* A text display's rows as flushed, separated by "\n"; characters outside
 * printable ASCII (custom characters) and the backslash read "\xNN". */
TINDREL_API TindrelReturnCode TindrelSim_getLCDText(const char *deviceId, int channelIndex, char *buf, size_t *len);
/* The colours LEDs show now, four bytes each (red, green, blue, white): the
 * fade reached so far, through the gamma curve, times the brightness, dark
 * when the power is off. *count in: room in LEDs; out: the array's LEDs. */
TINDREL_API TindrelReturnCode TindrelSim_getLEDColors(const char *deviceId, int channelIndex, uint8_t *rgbw,
                                                      size_t *count);
TINDREL_API TindrelReturnCode TindrelSim_getLEDColorsOf(TindrelHandle ch, uint8_t *rgbw, size_t *count);
/* How many signals an infrared channel has sent (codes and raw timings)
 * since the rig was loaded, over all the sessions of the channel. */
TINDREL_API TindrelReturnCode TindrelSim_getIRSignalsSent(const char *deviceId, int channelIndex, uint64_t *count);

/* A data adapter's bus traffic, oldest first, one line per transfer, also
 * those nobody answered ("SPI sent 01 02 reply FE FD", "SPI sent 9F no
 * answer", "I2C 0x48 sent 00 reply 17 80", "I2C 0x33 no answer", "Serial sent
 * 41 42 reply 41 42"). The newest 256 transfers are kept. */
TINDREL_API TindrelReturnCode TindrelSim_getBusLog(const char *deviceId, char *buf, size_t *len);

/* Listens on a local socket for the tindrelsim command-line tool. With path
 * NULL the path is $XDG_RUNTIME_DIR/tindrelsim-<pid>.sock, or
 * /tmp/tindrelsim-<uid>-<pid>.sock when XDG_RUNTIME_DIR is unset. */
TINDREL_API TindrelReturnCode TindrelSim_startControlServer(const char *path);
TINDREL_API TindrelReturnCode TindrelSim_stopControlServer(void);

/* Serves the local devices of this process's rig to clients of the device
 * library on other processes or machines, over TCP. bindAddress NULL or ""
 * for every interface; port 0 for any free port (the port taken is written
 * to *boundPort when not NULL); password NULL or "" for none. One server a
 * process: a second start fails with TINDREL_EBUSY. */
typedef struct {
    const char *bindAddress;
    int port;
    const char *password;
    const char *serverName; /* as clients show it */
    const char *hostName;   /* as clients show it; NULL: this machine's */
} TindrelSimNetworkServerOptions;
TINDREL_API TindrelReturnCode TindrelSim_startNetworkServer(const TindrelSimNetworkServerOptions *options,
                                                            int *boundPort);
TINDREL_API TindrelReturnCode TindrelSim_stopNetworkServer(void);

/* Figures of the link to a network server found by discovery, by its name:
 * value events received, bytes, connections made, and the time value events
 * took from the server's send to their delivery here (same machine only). */
typedef struct {
    uint64_t events, bytes, connections;
    double latencyP50Ms, latencyP99Ms, latencyMaxMs;
} TindrelSimLinkStats;
TINDREL_API TindrelReturnCode TindrelSim_getNetworkLinkStats(const char *serverName, TindrelSimLinkStats *stats);

#ifdef __cplusplus
}
#endif

#endif
