#include "AuthorizationForm.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tindrel::platform {
namespace {

constexpr char kMagic[8] = {'T', 'N', 'D', 'R', 'A', 'U', 'T', 'H'};
constexpr std::uint32_t kVersion = 1;

template <typename T>
void put(AuthorizationFormBytes &bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename T>
T get(const AuthorizationFormBytes &bytes, std::size_t offset)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

}   // namespace

AuthorizationFormBytes encodeAuthorizationForm(const ProcessSubject &subject)
{
    AuthorizationFormBytes bytes{};
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    put<std::uint32_t>(bytes, 8, kVersion);
    put<std::int32_t>(bytes, 12, static_cast<std::int32_t>(subject.pid));
    put<std::uint64_t>(bytes, 16, subject.startTime);
    put<std::uint32_t>(bytes, 24, static_cast<std::uint32_t>(subject.uid));
    return bytes;
}

std::optional<ProcessSubject> decodeAuthorizationForm(const AuthorizationFormBytes &bytes)
{
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 || get<std::uint32_t>(bytes, 8) != kVersion ||
        get<std::uint32_t>(bytes, 28) != 0)
        return std::nullopt;
    const auto pid = get<std::int32_t>(bytes, 12);
    if (pid <= 0)
        return std::nullopt;
    return ProcessSubject{static_cast<pid_t>(pid), get<std::uint64_t>(bytes, 16),
                          static_cast<uid_t>(get<std::uint32_t>(bytes, 24))};
}

std::optional<std::uint64_t> parseStatStartTime(std::string_view statText)
{
    // "pid (comm) state ppid ..." : fields after the last ')' start at field 3.
    const auto close = statText.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = statText.substr(close + 1);
    int field = 2;
    while (!rest.empty()) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const auto end = std::min(rest.find(' '), rest.size());
        ++field;
        if (field == 22) {
            std::string_view token = rest.substr(0, end);
            if (!token.empty() && token.back() == '\n')
                token.remove_suffix(1);
            std::uint64_t value = 0;
            const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
            if (ec != std::errc() || ptr != token.data() + token.size() || token.empty())
                return std::nullopt;
            return value;
        }
        rest.remove_prefix(end);
    }
    return std::nullopt;
}

}   // namespace tindrel::platform

namespace tindrel::platform {

bool formNamesSubject(const AuthorizationFormBytes &bytes, const ProcessSubject &subject)
{
    const auto decoded = decodeAuthorizationForm(bytes);
    return decoded && *decoded == subject;
}

}   // namespace tindrel::platform
