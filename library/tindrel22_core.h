/*
 * Tindrel22 device library: core calls shared by every channel class.
 *
 * Conventions
 *  - Every call returns a TindrelReturnCode, TINDREL_OK (0) for success.
 *    After a failure the calling thread's last error holds the code, its
 *    description and a detail text (Tindrel_getLastError).
 *  - Getters write through a pointer argument; setters take the value.
 *  - Handles are opaque. A channel handle is made by <Class>_create and freed
 *    by <Class>_delete, which also clears the caller's variable.
 *  - Handlers are registered with a function and a context pointer; a null
 *    function removes the handler. Once a setOn...Handler(h, NULL, ...) call
 *    or Tindrel_close returns, no call of the removed handler is running or
 *    will start (a removal made from inside that handler's own call does not
 *    wait for itself). Manager handlers are the exception: see
 *    TindrelManager_close.
 *  - Events arrive on library threads.
 *  - Strings returned by the library stay valid until the handle they came
 *    from is deleted (for device and server strings: while the handle's
 *    channel stays attached).
 */
#ifndef TINDREL22_CORE_H
#define TINDREL22_CORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TINDREL_API __attribute__((visibility("default")))
#else
#define TINDREL_API
#endif

typedef int32_t TindrelReturnCode;

/* Return codes. */
enum {
    TINDREL_OK = 0,
    TINDREL_ENOTPERMITTED = 1, /* operation not permitted */
    TINDREL_ENOENT = 2,        /* no such entity */
    TINDREL_ETIMEDOUT = 3,     /* a wait (for attachment, a reply) timed out */
    TINDREL_EINTERRUPTED = 4,
    TINDREL_EIO = 5, /* input/output problem */
    TINDREL_ENOMEMORY = 6,
    TINDREL_EACCESS = 7, /* access denied (for example a bad server password) */
    TINDREL_EFAULT = 8,  /* a null pointer where one is not allowed */
    TINDREL_EBUSY = 9,   /* resource busy: the channel is held by another handle */
    TINDREL_EEXIST = 10,
    TINDREL_ENOTDIR = 11,
    TINDREL_EISDIR = 12,
    TINDREL_EUNSUPPORTED = 20, /* not supported by this device or channel */
    TINDREL_EINVALIDARG = 21,  /* an argument is invalid (for example out of range) */
    TINDREL_ENOSPC = 22,       /* a buffer is too small */
    TINDREL_EUNEXPECTED = 28,
    TINDREL_EPIPE = 31,
    TINDREL_EBADVERSION = 50,
    TINDREL_EUNKNOWNVAL = 51,  /* the value is not known yet; ask again later */
    TINDREL_ENOTATTACHED = 52, /* the handle is not attached to a channel */
    TINDREL_EINVALIDPACKET = 53,
    TINDREL_ETOOBIG = 54,   /* argument or data too large */
    TINDREL_EBADCLASS = 55, /* the handle is of another class */
    TINDREL_EDUPLICATE = 56,
    TINDREL_ECLOSED = 57,       /* the handle was closed */
    TINDREL_EINVALIDSTATE = 58, /* not allowed in the channel's present state */
    TINDREL_EWRONGDEVICE = 59   /* a firmware image for another device */
};

/* Codes of asynchronous error events (Tindrel_setOnErrorHandler). */
enum {
    TINDREL_EEVENT_BADVERSION = 0x0001,
    TINDREL_EEVENT_BUSY = 0x0002,
    TINDREL_EEVENT_NETWORK = 0x0003,
    TINDREL_EEVENT_DISPATCH = 0x0004,
    TINDREL_EEVENT_FAILURE = 0x0005,
    TINDREL_EEVENT_OK = 0x1000,
    TINDREL_EEVENT_OVERRUN = 0x1002,
    TINDREL_EEVENT_PACKETLOST = 0x1003,
    TINDREL_EEVENT_WRAPAROUND = 0x1004,
    TINDREL_EEVENT_OVERTEMP = 0x1005,
    TINDREL_EEVENT_OVERCURRENT = 0x1006,
    TINDREL_EEVENT_OUTOFRANGE = 0x1007,
    TINDREL_EEVENT_BADPOWER = 0x1008,
    TINDREL_EEVENT_SATURATION = 0x1009,
    TINDREL_EEVENT_OVERVOLTAGE = 0x100B,
    TINDREL_EEVENT_FAILSAFE = 0x100C,
    TINDREL_EEVENT_VOLTAGEERROR = 0x100D,
    TINDREL_EEVENT_ENERGYDUMP = 0x100E,
    TINDREL_EEVENT_MOTORSTALL = 0x100F, /* 4111: the motor stalled and was disengaged */
    TINDREL_EEVENT_INVALIDSTATE = 0x1010,
    TINDREL_EEVENT_BADCONNECTION = 0x1011 /* 4113: the motor connection is faulty */
};

/* The library marks an unknown double value with this number. */
#define TINDREL_UNKNOWN_VALUE 1e300

/* Values of Tindrel_setDeviceSerialNumber / setHubPort / setChannel meaning "any". */
#define TINDREL_SERIALNUMBER_ANY (-1)
#define TINDREL_HUBPORT_ANY      (-1)
#define TINDREL_CHANNEL_ANY      (-1)
#define TINDREL_LABEL_ANY        NULL
#define TINDREL_SERVERNAME_ANY   NULL

/* Device classes the application tests by number. */
enum {
    TINDREL_DEVCLASS_HUB = 8,
    TINDREL_DEVCLASS_XLNK = 21,            /* a device reached through a hub port */
    TINDREL_DEVCLASS_FIRMWARE_UPGRADE = 23 /* a device in restore mode */
};

/* Channel classes. Numbers are the library's own. */
typedef enum {
    TINDREL_CHCLASS_NOTHING = 0,
    TINDREL_CHCLASS_ACCELEROMETER = 1,
    TINDREL_CHCLASS_BLDCMOTOR = 35,
    TINDREL_CHCLASS_CAPACITIVETOUCH = 14,
    TINDREL_CHCLASS_CURRENTINPUT = 2,
    TINDREL_CHCLASS_CURRENTOUTPUT = 38,
    TINDREL_CHCLASS_DATAADAPTER = 3,
    TINDREL_CHCLASS_DCMOTOR = 4,
    TINDREL_CHCLASS_DICTIONARY = 36,
    TINDREL_CHCLASS_DIGITALINPUT = 5,
    TINDREL_CHCLASS_DIGITALOUTPUT = 6,
    TINDREL_CHCLASS_DISTANCESENSOR = 7,
    TINDREL_CHCLASS_ENCODER = 8,
    TINDREL_CHCLASS_FIRMWAREUPGRADE = 32,
    TINDREL_CHCLASS_FREQUENCYCOUNTER = 9,
    TINDREL_CHCLASS_GENERIC = 33,
    TINDREL_CHCLASS_GPS = 10,
    TINDREL_CHCLASS_LCD = 11,
    TINDREL_CHCLASS_GYROSCOPE = 12,
    TINDREL_CHCLASS_HUB = 13, /* never shown in the tree */
    TINDREL_CHCLASS_HUMIDITYSENSOR = 15,
    TINDREL_CHCLASS_IR = 16,
    TINDREL_CHCLASS_LEDARRAY = 39,
    TINDREL_CHCLASS_LIGHTSENSOR = 17,
    TINDREL_CHCLASS_MAGNETOMETER = 18,
    TINDREL_CHCLASS_MESHDONGLE = 19,
    TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER = 34,
    TINDREL_CHCLASS_MOTORVELOCITYCONTROLLER = 40,
    TINDREL_CHCLASS_PHSENSOR = 37,
    TINDREL_CHCLASS_POWERGUARD = 20,
    TINDREL_CHCLASS_PRESSURESENSOR = 21,
    TINDREL_CHCLASS_RCSERVO = 22,
    TINDREL_CHCLASS_RESISTANCEINPUT = 23,
    TINDREL_CHCLASS_RFID = 24,
    TINDREL_CHCLASS_SOUNDSENSOR = 25,
    TINDREL_CHCLASS_SPATIAL = 26,
    TINDREL_CHCLASS_STEPPER = 27,
    TINDREL_CHCLASS_TEMPERATURESENSOR = 28,
    TINDREL_CHCLASS_VOLTAGEINPUT = 29,
    TINDREL_CHCLASS_VOLTAGEOUTPUT = 30,
    TINDREL_CHCLASS_VOLTAGERATIOINPUT = 31
} Tindrel_ChannelClass;

/* Handles. Every class handle converts to TindrelHandle by a plain cast. */
typedef struct _Tindrel *TindrelHandle;
typedef struct _TindrelManager *TindrelManagerHandle;

/* Generic handlers. */
typedef void (*Tindrel_OnAttachCallback)(TindrelHandle ch, void *ctx);
typedef void (*Tindrel_OnDetachCallback)(TindrelHandle ch, void *ctx);
typedef void (*Tindrel_OnErrorCallback)(TindrelHandle ch, void *ctx, int32_t code, const char *description);
typedef void (*TindrelManager_OnAttachCallback)(TindrelManagerHandle manager, void *ctx, TindrelHandle channel);
typedef void (*TindrelManager_OnDetachCallback)(TindrelManagerHandle manager, void *ctx, TindrelHandle channel);

/* Errors. */
/* Last error of the calling thread. description receives a static string.
 * Two-call pattern: pass detail NULL to learn the length needed (including the
 * terminating NUL) in *detailLen; then pass a buffer of that size. A buffer
 * that is too small gets TINDREL_ENOSPC and *detailLen is set to the size needed. */
TINDREL_API TindrelReturnCode Tindrel_getLastError(TindrelReturnCode *code, const char **description, char *detail,
                                                   size_t *detailLen);
TINDREL_API TindrelReturnCode Tindrel_getErrorDescription(TindrelReturnCode code, const char **description);
TINDREL_API const char *Tindrel_strerror(TindrelReturnCode code);

/* Library. */
TINDREL_API TindrelReturnCode Tindrel_getLibraryVersion(const char **version);
TINDREL_API TindrelReturnCode Tindrel_retain(TindrelHandle ch);
TINDREL_API TindrelReturnCode Tindrel_release(TindrelHandle *ch);
/* Makes a channel handle of the given class (same as <Class>_create). */
TINDREL_API TindrelReturnCode createTypedTindrelChannelHandle(TindrelHandle *ch, Tindrel_ChannelClass chclass);
/* Deletes a handle made by createTypedTindrelChannelHandle or <Class>_create. */
TINDREL_API TindrelReturnCode Tindrel_delete(TindrelHandle *ch);

/* Matching, opening, closing. */
TINDREL_API TindrelReturnCode Tindrel_setDeviceSerialNumber(TindrelHandle ch, int32_t serialNumber);
TINDREL_API TindrelReturnCode Tindrel_getDeviceSerialNumber(TindrelHandle ch, int32_t *serialNumber);
TINDREL_API TindrelReturnCode Tindrel_setHubPort(TindrelHandle ch, int hubPort);
TINDREL_API TindrelReturnCode Tindrel_getHubPort(TindrelHandle ch, int *hubPort);
TINDREL_API TindrelReturnCode Tindrel_setIsHubPortDevice(TindrelHandle ch, int isHubPortDevice);
TINDREL_API TindrelReturnCode Tindrel_getIsHubPortDevice(TindrelHandle ch, int *isHubPortDevice);
TINDREL_API TindrelReturnCode Tindrel_setChannel(TindrelHandle ch, int channel);
TINDREL_API TindrelReturnCode Tindrel_getChannel(TindrelHandle ch, int *channel);
TINDREL_API TindrelReturnCode Tindrel_setIsRemote(TindrelHandle ch, int isRemote);
TINDREL_API TindrelReturnCode Tindrel_getIsRemote(TindrelHandle ch, int *isRemote);
TINDREL_API TindrelReturnCode Tindrel_setIsLocal(TindrelHandle ch, int isLocal);
TINDREL_API TindrelReturnCode Tindrel_getIsLocal(TindrelHandle ch, int *isLocal);
TINDREL_API TindrelReturnCode Tindrel_setServerName(TindrelHandle ch, const char *serverName);
TINDREL_API TindrelReturnCode Tindrel_getServerName(TindrelHandle ch, const char **serverName);
TINDREL_API TindrelReturnCode Tindrel_setDeviceLabel(TindrelHandle ch, const char *label);
TINDREL_API TindrelReturnCode Tindrel_getDeviceLabel(TindrelHandle ch, const char **label);

/* Returns at once; attach follows later on a library thread, and again each
 * time a matching channel reappears, until Tindrel_close. */
TINDREL_API TindrelReturnCode Tindrel_open(TindrelHandle ch);
/* Waits up to timeoutMs for attachment; TINDREL_ETIMEDOUT when nothing
 * attached (the handle is then closed again). */
TINDREL_API TindrelReturnCode Tindrel_openWaitForAttachment(TindrelHandle ch, uint32_t timeoutMs);
TINDREL_API TindrelReturnCode Tindrel_close(TindrelHandle ch);
TINDREL_API TindrelReturnCode Tindrel_getAttached(TindrelHandle ch, int *attached);

/* Events. */
TINDREL_API TindrelReturnCode Tindrel_setOnAttachHandler(TindrelHandle ch, Tindrel_OnAttachCallback fptr, void *ctx);
TINDREL_API TindrelReturnCode Tindrel_setOnDetachHandler(TindrelHandle ch, Tindrel_OnDetachCallback fptr, void *ctx);
TINDREL_API TindrelReturnCode Tindrel_setOnErrorHandler(TindrelHandle ch, Tindrel_OnErrorCallback fptr, void *ctx);

/* Identity (valid while attached; a manager callback's handle is attached). */
TINDREL_API TindrelReturnCode Tindrel_getDeviceID(TindrelHandle ch, int32_t *deviceID);
TINDREL_API TindrelReturnCode Tindrel_getDeviceClass(TindrelHandle ch, int32_t *deviceClass);
TINDREL_API TindrelReturnCode Tindrel_getDeviceClassName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getChannelClass(TindrelHandle ch, Tindrel_ChannelClass *channelClass);
TINDREL_API TindrelReturnCode Tindrel_getChannelClassName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getChannelName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getChannelSubclass(TindrelHandle ch, int32_t *subclass);
TINDREL_API TindrelReturnCode Tindrel_getDeviceName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getDeviceSKU(TindrelHandle ch, const char **sku);
TINDREL_API TindrelReturnCode Tindrel_getDeviceVersion(TindrelHandle ch, int *version);
TINDREL_API TindrelReturnCode Tindrel_getDeviceFirmwareUpgradeString(TindrelHandle ch, const char **fwString);
TINDREL_API TindrelReturnCode Tindrel_getDeviceXLNKID(TindrelHandle ch, uint32_t *xlnkId);
TINDREL_API TindrelReturnCode Tindrel_getServerUniqueName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getServerPeerName(TindrelHandle ch, const char **name);
TINDREL_API TindrelReturnCode Tindrel_getServerHostname(TindrelHandle ch, const char **hostname);
TINDREL_API TindrelReturnCode Tindrel_getServerVersion(TindrelHandle ch, int *major, int *minor);
/* The device handle of a channel, or the parent device of a device; *parent is
 * NULL for a top-level device. The returned handle is borrowed from ch. */
TINDREL_API TindrelReturnCode Tindrel_getParent(TindrelHandle ch, TindrelHandle *parent);
/* The hub device a channel or device is reached through; NULL when none. */
TINDREL_API TindrelReturnCode Tindrel_getHub(TindrelHandle ch, TindrelHandle *hub);

/* Device control. */
TINDREL_API TindrelReturnCode Tindrel_reboot(TindrelHandle ch);
TINDREL_API TindrelReturnCode Tindrel_rebootFirmwareUpgrade(TindrelHandle ch, uint32_t upgradeTimeoutMs);

/* Manager: attach and detach events for every channel present when it opens
 * and every later change. The handle passed to a callback is borrowed.
 * Removing a manager handler (NULL function) stops further calls at once
 * but, like TindrelManager_close, does not wait for a call in progress. */
TINDREL_API TindrelReturnCode TindrelManager_create(TindrelManagerHandle *manager);
TINDREL_API TindrelReturnCode TindrelManager_delete(TindrelManagerHandle *manager);
TINDREL_API TindrelReturnCode TindrelManager_setOnAttachHandler(TindrelManagerHandle manager,
                                                                TindrelManager_OnAttachCallback fptr, void *ctx);
TINDREL_API TindrelReturnCode TindrelManager_setOnDetachHandler(TindrelManagerHandle manager,
                                                                TindrelManager_OnDetachCallback fptr, void *ctx);
TINDREL_API TindrelReturnCode TindrelManager_open(TindrelManagerHandle manager);
/* Stops event delivery: once it returns, no manager callback starts, and
 * events still queued are dropped. It does NOT wait for a callback that is
 * already running, because that callback may itself be waiting for the
 * thread that calls close (an attach handler that hands its work to the GUI
 * thread and waits, while the GUI thread closes the manager). Such a callback
 * finishes normally afterwards: its manager and channel handles stay valid
 * until it returns, even across TindrelManager_delete, so the caller only has
 * to keep the callback's context alive until it returns (or make the
 * callback's hand-off give up once the receiver is gone). */
TINDREL_API TindrelReturnCode TindrelManager_close(TindrelManagerHandle manager);

/* Log. */
typedef enum {
    TINDREL_LOG_CRITICAL = 1,
    TINDREL_LOG_ERROR = 2,
    TINDREL_LOG_WARNING = 3,
    TINDREL_LOG_INFO = 4,
    TINDREL_LOG_DEBUG = 5,
    TINDREL_LOG_VERBOSE = 6
} Tindrel_LogLevel;
/* Enables the library log at the given level into path (NULL: standard error). */
TINDREL_API TindrelReturnCode TindrelLog_enable(Tindrel_LogLevel level, const char *path);
TINDREL_API TindrelReturnCode TindrelLog_disable(void);

/* Network servers. */
typedef enum {
    TINDRELSERVER_NONE = 0,
    TINDRELSERVER_DEVICELISTENER = 1,
    TINDRELSERVER_DEVICE = 2, /* a network server offering devices */
    TINDRELSERVER_DEVICEREMOTE = 3,
    TINDRELSERVER_WWWLISTENER = 4,
    TINDRELSERVER_WWW = 5,
    TINDRELSERVER_WWWREMOTE = 6,
    TINDRELSERVER_SBC = 7 /* a single-board computer */
} TindrelServerType;

typedef struct _TindrelServer {
    const char *name;
    const char *stype;
    TindrelServerType type;
    int flags;
    const char *addr;
    const char *host;
    int port;
} TindrelServer, *TindrelServerHandle;

/* An announcement's key/value record; read with kvgeti32 / kvgetstrc. */
typedef struct _kv *kv_t;

typedef void (*TindrelNet_OnServerAddedCallback)(void *ctx, TindrelServerHandle server, kv_t kv);
typedef void (*TindrelNet_OnServerRemovedCallback)(void *ctx, TindrelServerHandle server);

TINDREL_API TindrelReturnCode TindrelNet_enableServerDiscovery(TindrelServerType serverType);
TINDREL_API TindrelReturnCode TindrelNet_disableServerDiscovery(TindrelServerType serverType);
TINDREL_API TindrelReturnCode TindrelNet_setServerPassword(const char *serverName, const char *password);
TINDREL_API TindrelReturnCode TindrelNet_setOnServerAddedHandler(TindrelNet_OnServerAddedCallback fptr, void *ctx);
TINDREL_API TindrelReturnCode TindrelNet_setOnServerRemovedHandler(TindrelNet_OnServerRemovedCallback fptr, void *ctx);
/* Resolves hostname into up to *count address strings of the given family
 * (2: IPv4). Each addressList[i] receives a string owned by the library,
 * valid until the next call on this thread. */
TINDREL_API TindrelReturnCode TindrelNet_getServerAddressList(const char *hostname, int addressFamily,
                                                              char *addressList[], uint32_t *count);

#ifdef __cplusplus
}
#endif

#endif
