#include "discovery.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tsim::remote {

namespace {
constexpr std::string_view kDirPrefix = "dir:";
constexpr const char *kDefaultDirectory = "/run/tindrel22/discovery";
}   // namespace

std::unique_ptr<Discovery> makeDiscovery(std::string &err)
{
    const char *chosen = std::getenv("TINDREL_DISCOVERY");
    if (chosen && *chosen) {
        const std::string_view way = chosen;
        if (way == "avahi")
            return makeAvahiDiscovery(err);
        if (way.starts_with(kDirPrefix) && way.size() > kDirPrefix.size())
            return makeDirectoryDiscovery(std::string(way.substr(kDirPrefix.size())));
        err = "TINDREL_DISCOVERY is \"" + std::string(way) + "\"; expected \"avahi\" or \"dir:PATH\"";
        return nullptr;
    }
    std::string avahiErr;
    if (auto avahi = makeAvahiDiscovery(avahiErr))
        return avahi;
    const char *dir = std::getenv("TINDREL_DISCOVERY_DIR");
    return makeDirectoryDiscovery(dir && *dir ? dir : kDefaultDirectory);
}

std::unique_ptr<Discovery> makeDiscovery()
{
    std::string err;
    auto discovery = makeDiscovery(err);
    if (!discovery)
        std::fprintf(stderr, "tindrel22: discovery: %s\n", err.c_str());
    return discovery;
}

}   // namespace tsim::remote
