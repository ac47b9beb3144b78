// The command block that the control panel writes to raiseTool's standard
// input after the 32-byte authorization, and the tool's exit statuses.
//
// Block: 16648 bytes; numbers are unsigned 32-bit in host byte order;
// strings are NUL-terminated and NUL-padded to their field.
//    0     4  right   (1 admin, 2 user, other: unknown)
//    4     4  command (0 write file, 1 delete file, 2 service command, 3 load driver)
//   write file:      8  256 path     264 16384 content
//   delete file:     8  256 path
//   service command: 8 1024 target  1032    10 verb
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tindrel::raisetool {

inline constexpr std::size_t kBlockSize = 16648;
inline constexpr std::size_t kRightOffset = 0;
inline constexpr std::size_t kCommandOffset = 4;
inline constexpr std::size_t kPathOffset = 8;
inline constexpr std::size_t kPathSize = 256;
inline constexpr std::size_t kContentOffset = 264;
inline constexpr std::size_t kContentSize = 16384;
inline constexpr std::size_t kTargetOffset = 8;
inline constexpr std::size_t kTargetSize = 1024;
inline constexpr std::size_t kVerbOffset = 1032;
inline constexpr std::size_t kVerbSize = 10;
inline constexpr std::size_t kCopyPieceSize = 4096;

using Block = std::array<std::byte, kBlockSize>;

enum class Right : std::uint32_t { Admin = 1, User = 2 };

enum class CommandNumber : std::uint32_t { WriteFile = 0, DeleteFile = 1, ServiceCommand = 2, LoadDriver = 3 };

// Exit statuses: the tool's only result.
enum class Status : int {
    Done = 0,
    ShortBlock = 2,
    NotAuthorized = 3,
    Failed = 4,
    DriverNotFound = 5,
    DriverBlockedByPolicy = 6,
    DriverAuthenticationFailed = 7,
    CannotStart = 255,
};

struct WriteFile {
    std::string path;
    std::string content;
};
struct DeleteFile {
    std::string path;
};
struct ServiceCommand {
    std::string target;
    std::string verb;
};
struct LoadDriver { };
// The command number is above 3.
struct UnknownCommand {
    std::uint32_t number = 0;
};
// A string field is not NUL-terminated inside its field.
struct MalformedCommand {
    std::string_view field;
};

using Command = std::variant<WriteFile, DeleteFile, ServiceCommand, LoadDriver, UnknownCommand, MalformedCommand>;

struct DecodedBlock {
    std::uint32_t right = 0;
    Command command;
};

// Decodes a complete block. Never reads outside it; strings stop at their
// field's first NUL.
DecodedBlock decodeBlock(std::span<const std::byte, kBlockSize> block);

// The polkit action id for the block's right field.
std::string_view rightName(std::uint32_t right);

// Builders for senders (the control panel and tests). Return nothing when a
// string does not fit its field with its NUL, or holds a NUL.
std::optional<Block> makeWriteFileBlock(std::string_view path, std::string_view content,
                                        std::uint32_t right = static_cast<std::uint32_t>(Right::Admin));
std::optional<Block> makeDeleteFileBlock(std::string_view path,
                                         std::uint32_t right = static_cast<std::uint32_t>(Right::Admin));
std::optional<Block> makeServiceBlock(std::string_view target, std::string_view verb,
                                      std::uint32_t right = static_cast<std::uint32_t>(Right::Admin));
Block makeLoadDriverBlock(std::uint32_t right = static_cast<std::uint32_t>(Right::Admin));
// A block with the two numbers only (for unknown command numbers).
Block makeRawBlock(std::uint32_t right, std::uint32_t command);

// A path the write-file command accepts: absolute, with a non-empty last
// component, and without "." or ".." components.
bool isAcceptablePath(std::string_view path);
// The directory part of an acceptable path ("/" for a file in the root).
std::string directoryOf(std::string_view path);
// One of "load", "unload", "start", "stop".
bool isServiceVerb(std::string_view verb);
// A service target: non-empty and not starting with '-', so the service
// manager can never take it for an option.
bool isAcceptableServiceTarget(std::string_view target);

}   // namespace tindrel::raisetool
