#include "DeviceAccess.h"

#include "Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace tindrel::server {
namespace {

namespace fs = std::filesystem;

fs::path under(const fs::path &root, std::string_view absolute) { return root / fs::path(absolute).relative_path(); }

std::optional<std::string> readText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeAtomically(const fs::path &path, const std::string &text)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    const fs::path temporary = path.parent_path() / (".tindrel-" + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out)
            return false;
    }
    ::chmod(temporary.c_str(), 0644);
    fs::rename(temporary, path, ec);
    if (ec)
        fs::remove(temporary, ec);
    return !ec;
}

}   // namespace

std::string deviceRuleText()
{
    return "# Tindrels: access for the logged-in user (and group plugdev) to the devices,\n"
           "# USB vendor 7d1e, products 2000 to 9fff. Installed by the Tindrel Control Panel.\n"
           "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"7d1e\", "
           "ATTR{idProduct}==\"[2-9][0-9a-f][0-9a-f][0-9a-f]\", MODE=\"0660\", GROUP=\"plugdev\", "
           "TAG+=\"uaccess\"\n"
           "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"7d1e\", "
           "ATTRS{idProduct}==\"[2-9][0-9a-f][0-9a-f][0-9a-f]\", MODE=\"0660\", GROUP=\"plugdev\", "
           "TAG+=\"uaccess\"\n";
}

DeviceAccessState checkDeviceAccess(const fs::path &root)
{
    const auto installed = readText(under(root, paths::kDeviceRuleFile));
    if (!installed || *installed != deviceRuleText())
        return DeviceAccessState::NotInstalled;
    std::error_code ec;
    if (!fs::is_socket(under(root, paths::kUdevControlSocket), ec))
        return DeviceAccessState::UdevNotRunning;
    return DeviceAccessState::Active;
}

int installDeviceAccess(const fs::path &root, const fs::path &package, const ProgramRunner &run)
{
    const fs::path shipped = package / paths::kDeviceRuleName;
    struct stat st { };
    if (::lstat(shipped.c_str(), &st) != 0)
        return 5;
    if (!S_ISREG(st.st_mode) || st.st_uid != 0 || (st.st_mode & 022) != 0)
        return 7;
    const auto text = readText(shipped);
    if (!text || *text != deviceRuleText())
        return 7;
    if (!writeAtomically(under(root, paths::kDeviceRuleFile), *text))
        return 4;
    std::error_code ec;
    if (!fs::is_socket(under(root, paths::kUdevControlSocket), ec))
        return 6;
    const std::string udevadm(paths::kUdevadmProgram);
    if (run({udevadm, "control", "--reload"}) != 0)
        return 4;
    // Devices already plugged in get the new rule now; a failure here only
    // means they need replugging.
    run({udevadm, "trigger", "--action=add", "--subsystem-match=usb", "--attr-match=idVendor=7d1e"});
    return 0;
}

}   // namespace tindrel::server
