#include "Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace tindrel::paths {

std::optional<std::filesystem::path> userLogDirectoryFor(const char *xdgStateHome, const char *home)
{
    if (xdgStateHome && xdgStateHome[0] == '/')
        return std::filesystem::path(xdgStateHome) / kLogSubdirectory;
    if (home && home[0] == '/')
        return std::filesystem::path(home) / ".local" / "state" / kLogSubdirectory;
    return std::nullopt;
}

std::optional<std::filesystem::path> userLogDirectory()
{
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        // Fall back to the password database when HOME is missing.
        if (const passwd *pw = getpwuid(getuid()))
            home = pw->pw_dir;
    }
    auto dir = userLogDirectoryFor(std::getenv("XDG_STATE_HOME"), home);
    if (!dir)
        return std::nullopt;
    std::error_code ec;
    if (std::filesystem::is_directory(*dir, ec))
        return dir;
    std::filesystem::create_directories(*dir, ec);
    if (ec)
        return std::nullopt;
    std::filesystem::permissions(*dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);
    return dir;
}

std::optional<std::filesystem::path> libraryLogFile()
{
    auto dir = userLogDirectory();
    if (!dir)
        return std::nullopt;
    return *dir / kLibraryLogFileName;
}

}   // namespace tindrel::paths
