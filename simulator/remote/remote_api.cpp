// The simulator's calls for network serving and its links.
#include <unistd.h>

#include "../engine.h"
#include "link.h"
#include "serve.h"

using namespace tsim;

extern "C" {

TindrelReturnCode TindrelSim_startNetworkServer(const TindrelSimNetworkServerOptions *options, int *boundPort)
{
    if (!options)
        return fail(TINDREL_EFAULT, "Server options must not be NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.serving);
    if (e.netServer)
        return fail(TINDREL_EBUSY, "This process serves its devices already (port %d)", e.netServer->port());
    remote::ServeOptions o;
    o.bindAddress = options->bindAddress ? options->bindAddress : "";
    o.port = options->port;
    o.password = options->password ? options->password : "";
    char host[256] = "";
    ::gethostname(host, sizeof host - 1);
    o.host = options->hostName && *options->hostName ? options->hostName : host;
    o.name = options->serverName && *options->serverName ? options->serverName : o.host;
    std::string err;
    e.netServer = remote::NetServer::start(o, err);
    if (!e.netServer)
        return fail(TINDREL_EBUSY, "Cannot serve devices on %s port %d: %s",
                    o.bindAddress.empty() ? "every interface" : o.bindAddress.c_str(), o.port, err.c_str());
    if (boundPort)
        *boundPort = e.netServer->port();
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_stopNetworkServer(void)
{
    std::unique_ptr<remote::NetServer> ending;
    {
        std::lock_guard<std::mutex> lk(engine().serving);
        ending = std::move(engine().netServer);
    }
    ending.reset();
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_getNetworkLinkStats(const char *serverName, TindrelSimLinkStats *stats)
{
    if (!serverName || !stats)
        return fail(TINDREL_EFAULT, "Server name and figures must not be NULL");
    remote::LinkStats s;
    if (!engine().netLinks().stats(serverName, s))
        return fail(TINDREL_ENOENT, "No network server named \"%s\" was found", serverName);
    *stats = {s.events, s.bytes, s.connections, s.latencyP50Ms, s.latencyP99Ms, s.latencyMaxMs};
    return TINDREL_OK;
}

}   // extern "C"
