#include "OpenChannel.h"

#include <string>

#include "Arguments.h"
#include "LibraryError.h"

namespace tindrel::cli {

std::string libraryMessage(TindrelReturnCode code) { return errorMessage(code).toStdString(); }

OpenSettings attachedAddress(TindrelHandle ch)
{
    OpenSettings a;
    int channel = 0, hubPort = 0, portDevice = 0, remote = 0;
    int32_t serial = 0, devClass = 0;
    if (Tindrel_getChannel(ch, &channel) == TINDREL_OK)
        a.channel = channel;
    if (Tindrel_getDeviceSerialNumber(ch, &serial) == TINDREL_OK)
        a.serialNumber = serial;
    if (Tindrel_getDeviceClass(ch, &devClass) == TINDREL_OK && devClass == TINDREL_DEVCLASS_XLNK &&
        Tindrel_getHubPort(ch, &hubPort) == TINDREL_OK)
        a.hubPort = hubPort;
    if (Tindrel_getIsHubPortDevice(ch, &portDevice) == TINDREL_OK)
        a.hubPortDevice = portDevice != 0;
    if (Tindrel_getIsRemote(ch, &remote) == TINDREL_OK && remote) {
        a.remote = true;
        const char *server = nullptr;
        if (Tindrel_getServerName(ch, &server) == TINDREL_OK && server && *server)
            a.serverName = QString::fromUtf8(server);
    }
    return a;
}

std::optional<Failure> createChannel(ChannelHandle &handle, const ClassInfo &cls)
{
    const TindrelReturnCode rc = handle.create(cls.ops);
    if (rc != TINDREL_OK)
        return Failure{kExitRefused, "cannot make a " + cls.libraryName() + " handle: " + libraryMessage(rc)};
    return std::nullopt;
}

std::optional<Failure> openChannel(ChannelHandle &handle, const ClassInfo &cls, const OpenSettings &s,
                                   uint32_t timeoutMs)
{
    const TindrelHandle ch = handle.get();
    std::optional<Failure> failure;
    // The first failing step is reported, with the detail read at once while
    // the thread's last error still describes it.
    auto check = [&](TindrelReturnCode rc, const char *step) {
        if (rc != TINDREL_OK && !failure)
            failure = Failure{kExitRefused, std::string(step) + ": " + libraryMessage(rc)};
    };
    if (s.logFile)
        check(TindrelLog_enable(TINDREL_LOG_INFO, s.logFile->toUtf8().constData()), "enabling the library log");
    if (s.label)
        check(Tindrel_setDeviceLabel(ch, s.label->toUtf8().constData()), "setting the device label");
    if (s.serverName) {
        check(Tindrel_setServerName(ch, s.serverName->toUtf8().constData()), "setting the server name");
        if (s.password)
            check(TindrelNet_setServerPassword(s.serverName->toUtf8().constData(), s.password->toUtf8().constData()),
                  "setting the server password");
    }
    check(Tindrel_setChannel(ch, s.channel), "setting the channel");
    check(Tindrel_setDeviceSerialNumber(ch, s.librarySerialNumber()), "setting the serial number");
    check(Tindrel_setHubPort(ch, s.hubPort), "setting the hub port");
    check(Tindrel_setIsHubPortDevice(ch, s.hubPortDevice ? 1 : 0), "setting the hub-port-device flag");
    if (s.opensRemotely()) {
        check(Tindrel_setIsRemote(ch, 1), "setting the remote flag");
        check(TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICEREMOTE), "enabling server discovery");
    } else {
        check(Tindrel_setIsLocal(ch, 1), "setting the local flag");
    }
    if (failure)
        return failure;
    const TindrelReturnCode rc = Tindrel_openWaitForAttachment(ch, timeoutMs);
    if (rc == TINDREL_ETIMEDOUT)
        return Failure{kExitNoChannel, "no " + cls.libraryName() + " channel at " + addressText(s) +
                                           " attached within " + std::to_string(timeoutMs) + " ms"};
    if (rc != TINDREL_OK)
        return Failure{kExitRefused, "opening the " + cls.libraryName() + " channel at " + addressText(s) +
                                         " failed: " + libraryMessage(rc)};
    return std::nullopt;
}

}   // namespace tindrel::cli
