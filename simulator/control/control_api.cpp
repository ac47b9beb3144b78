// TindrelSim_startControlServer / TindrelSim_stopControlServer: the control
// server of this process, bound to the simulated library's own calls.

#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>

#include "control_paths.h"
#include "control_server.h"
#include "tindrel22.h"
#include "tindrelsim.h"

namespace {

using tindrel::control::ControlServer;
using tindrel::control::SimCalls;

std::string lastErrorDetail()
{
    TindrelReturnCode code = 0;
    const char *description = nullptr;
    size_t length = 0;
    if (Tindrel_getLastError(&code, &description, nullptr, &length) != TINDREL_OK || length == 0)
        return description != nullptr ? description : "";
    std::string detail(length, '\0');
    if (Tindrel_getLastError(&code, &description, detail.data(), &length) != TINDREL_OK)
        return description != nullptr ? description : "";
    detail.resize(detail.find('\0') == std::string::npos ? detail.size() : detail.find('\0'));
    if (detail.empty() && description != nullptr)
        detail = description;
    return detail;
}

constexpr SimCalls kLibraryCalls = {
    &TindrelSim_list,          &TindrelSim_attachDevice,     &TindrelSim_detachDevice,
    &TindrelSim_addServer,     &TindrelSim_removeServer,     &TindrelSim_injectError,
    &TindrelSim_setInputValue, &TindrelSim_getPropertyValue, &TindrelSim_loadRigFile,
    &lastErrorDetail,          &TindrelSim_setUpgradeFault,  &TindrelSim_setMotorCondition,
    &TindrelSim_turnShaft,     &TindrelSim_setGuardSupply,   &TindrelSim_setOrientation,
    &TindrelSim_getLCDText,    &TindrelSim_getLCDPicture,    &TindrelSim_getLEDColors,
    &TindrelSim_getBusLog,     &TindrelSim_setDictionaryKey, &TindrelSim_removeDictionaryKey,
    &TindrelSim_failCalls,
};

// The C interface names no server object, so the process keeps its one
// control server here.
struct ProcessControlServer {
    std::mutex mutex;
    std::unique_ptr<ControlServer> server;
};

ProcessControlServer &processControlServer()
{
    static ProcessControlServer instance;
    return instance;
}

}   // namespace

extern "C" {

TindrelReturnCode TindrelSim_startControlServer(const char *path)
{
    ProcessControlServer &state = processControlServer();
    std::lock_guard lock(state.mutex);
    if (state.server)
        return TindrelSim_setLastError(TINDREL_EBUSY,
                                       ("the control server already listens on " + state.server->path()).c_str());
    const std::string socketPath =
        path != nullptr ? std::string(path)
                        : tindrel::control::defaultSocketPath(tindrel::control::currentSocketEnvironment(), getpid());
    ControlServer::StartResult started = ControlServer::start(socketPath, kLibraryCalls);
    if (!started.server)
        return TindrelSim_setLastError(started.code, started.detail.c_str());
    state.server = std::move(started.server);
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_stopControlServer(void)
{
    ProcessControlServer &state = processControlServer();
    std::unique_ptr<ControlServer> stopping;
    {
        std::lock_guard lock(state.mutex);
        stopping = std::move(state.server);
    }
    stopping.reset();   // joins the server thread outside the lock
    return TINDREL_OK;
}

}   // extern "C"
