#include "AllowList.h"

#include "Paths.h"

namespace tindrel::raisetool {
namespace {

bool isDictionaryFile(std::string_view path)
{
    const std::string_view dir = paths::kServerDictionaryDir;
    if (path.size() <= dir.size() + 1 || path.substr(0, dir.size()) != dir || path[dir.size()] != '/')
        return false;
    const std::string_view name = path.substr(dir.size() + 1);
    return name.front() != '.' && name.find('/') == std::string_view::npos;
}

bool isPanelFile(std::string_view path)
{
    return path == paths::kServerConfigFile || path == paths::kServerServiceDescription || isDictionaryFile(path);
}

bool isPanelService(std::string_view target)
{
    return target == paths::kServerServiceLabel || target == paths::kServerServiceDescription;
}

}   // namespace

bool isAllowed(const Command &command)
{
    if (const auto *write = std::get_if<WriteFile>(&command))
        return isPanelFile(write->path);
    if (const auto *remove = std::get_if<DeleteFile>(&command))
        return isPanelFile(remove->path);
    if (const auto *service = std::get_if<ServiceCommand>(&command))
        return isServiceVerb(service->verb) && isPanelService(service->target);
    return std::holds_alternative<LoadDriver>(command);
}

}   // namespace tindrel::raisetool
