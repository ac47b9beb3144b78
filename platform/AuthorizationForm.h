// The 32-byte external form of an authorization as the control panel hands
// it to raiseTool. It names the calling process (pid, start time, real uid);
// raiseTool accepts it only when it names its actual parent, and it grants
// nothing by itself: every right is still asked of the authority.
//
// Layout (host byte order):
//   0  8  magic "TNDRAUTH"
//   8  4  version (1)
//  12  4  pid
//  16  8  process start time, in clock ticks since boot (/proc/<pid>/stat field 22)
//  24  4  real uid
//  28  4  zero
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tindrel::platform {

struct ProcessSubject {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    uid_t uid = 0;
    bool operator==(const ProcessSubject &) const = default;
};

inline constexpr std::size_t kAuthorizationFormSize = 32;
using AuthorizationFormBytes = std::array<std::byte, kAuthorizationFormSize>;

AuthorizationFormBytes encodeAuthorizationForm(const ProcessSubject &subject);
std::optional<ProcessSubject> decodeAuthorizationForm(const AuthorizationFormBytes &bytes);

// Start time (field 22) from the text of /proc/<pid>/stat. The command name
// in parentheses may itself hold spaces and parentheses.
std::optional<std::uint64_t> parseStatStartTime(std::string_view statText);

}   // namespace tindrel::platform

namespace tindrel::platform {

// True when the bytes decode to exactly the given subject.
bool formNamesSubject(const AuthorizationFormBytes &bytes, const ProcessSubject &subject);

}   // namespace tindrel::platform
