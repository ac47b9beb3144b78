// Fixed paths and names of the whole system, collected in one place.
//
// Linux locations used by this system:
//   daemon configuration file   /etc/tindrel22networkserver/tindrel22networkserver.pc
//   daemon dictionary directory /etc/tindrel22networkserver/dictionary.d
//   daemon service description  /etc/systemd/system/tindrel22networkserver.service
//   daemon executable           /usr/local/bin/tindrel22networkserver
//   service-manager program     /usr/libexec/tindrel22/tindrel22-service
//                               (run by raiseTool as: <program> <verb> <target>)
//   driver package              /usr/lib/tindrel22/driver
//   driver loader program       /usr/libexec/tindrel22/tindrel22-driver-load
//                               (run by raiseTool as: <program> <driver package>)
//   privileged execution        /usr/bin/pkexec
//   daemon log files            /var/log/tindrel22networkserver.log,
//                               /var/log/tindrel22networkserver_webserveraccess.log
//   daemon shared files         /usr/share/tindrel22networkserver/ (html/, mimetypes.kv)
//   supervisor state            /run/tindrel22/ (pid file, daemon output)
//   device access rule          /etc/udev/rules.d/70-tindrel22.rules, shipped in the driver package
//   library log                 $XDG_STATE_HOME/tindrelcontrolpanel22/tindrelcontrolpanel22.log
//                               (~/.local/state/... when XDG_STATE_HOME is unset)
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tindrel::paths {

inline constexpr std::string_view kServerConfigFile = "/etc/tindrel22networkserver/tindrel22networkserver.pc";
inline constexpr std::string_view kServerDictionaryDir = "/etc/tindrel22networkserver/dictionary.d";
inline constexpr std::string_view kServerServiceDescription = "/etc/systemd/system/tindrel22networkserver.service";
inline constexpr std::string_view kServerExecutable = "/usr/local/bin/tindrel22networkserver";
inline constexpr std::string_view kServerProcessName = "tindrel22networkserver";
inline constexpr std::string_view kServerServiceLabel = "com.tindrels.tindrel22networkserver";

// Programs that raiseTool runs as root. Compiled in; nothing at run time
// changes them.
inline constexpr std::string_view kServiceManagerProgram = "/usr/libexec/tindrel22/tindrel22-service";
inline constexpr std::string_view kDriverPackage = "/usr/lib/tindrel22/driver";
inline constexpr std::string_view kDriverLoaderProgram = "/usr/libexec/tindrel22/tindrel22-driver-load";
inline constexpr std::string_view kPrivilegedExecutionProgram = "/usr/bin/pkexec";

// The network server daemon's fixed files (written into its configuration
// by the panel on every write).
inline constexpr std::string_view kServerLogFile = "/var/log/tindrel22networkserver.log";
inline constexpr std::string_view kServerAccessLogFile = "/var/log/tindrel22networkserver_webserveraccess.log";
inline constexpr std::string_view kServerMimeTypesFile = "/usr/share/tindrel22networkserver/mimetypes.kv";
inline constexpr std::string_view kServerDocroot = "/usr/share/tindrel22networkserver/html";

// The service-manager program: systemd when it is the init system (this
// directory exists then), otherwise its own supervisor keeping state here.
inline constexpr std::string_view kSystemdRunDirectory = "/run/systemd/system";
inline constexpr std::string_view kSystemctlProgram = "/usr/bin/systemctl";
inline constexpr std::string_view kSupervisorStateDir = "/run/tindrel22";

// Device access: the udev rule for vendor 0x7D1E, shipped as a file of the
// driver package and installed into the rules directory by the loader.
inline constexpr std::string_view kDeviceRuleName = "70-tindrel22.rules";
inline constexpr std::string_view kDeviceRuleFile = "/etc/udev/rules.d/70-tindrel22.rules";
inline constexpr std::string_view kUdevControlSocket = "/run/udev/control";
inline constexpr std::string_view kUdevadmProgram = "/usr/bin/udevadm";

// The repair run's single argument.
inline constexpr std::string_view kSelfRepairArgument = "--self-repair";

// polkit action ids. The lock of the server panel uses kPanelLockAction,
// whose description is "Tindrel Control Panel".
inline constexpr std::string_view kAdminAction = "com.tindrels.raisetool.admin";
inline constexpr std::string_view kUserAction = "com.tindrels.raisetool.user";
inline constexpr std::string_view kUnknownAction = "system.unknown";
inline constexpr std::string_view kPanelLockAction = "com.tindrels.controlpanel.lock";
inline constexpr std::string_view kPanelLockDescription = "Tindrel Control Panel";

inline constexpr std::string_view kLibraryLogFileName = "tindrelcontrolpanel22.log";
inline constexpr std::string_view kLogSubdirectory = "tindrelcontrolpanel22";

// The user's log directory: $XDG_STATE_HOME/tindrelcontrolpanel22, or
// ~/.local/state/tindrelcontrolpanel22 when XDG_STATE_HOME is unset, empty or
// not absolute. The directory (and missing parents) is created with mode 0700
// when absent. Returns nothing when no home is known or creation fails.
std::optional<std::filesystem::path> userLogDirectory();

// Pure part of userLogDirectory(), for callers that supply the variables.
std::optional<std::filesystem::path> userLogDirectoryFor(const char *xdgStateHome, const char *home);

// Full path of the library log in the user's log directory (created on demand).
std::optional<std::filesystem::path> libraryLogFile();

}   // namespace tindrel::paths
