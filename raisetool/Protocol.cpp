#include "Protocol.h"

#include "Paths.h"

#include <algorithm>
#include <cstring>

namespace tindrel::raisetool {
namespace {

std::uint32_t readNumber(std::span<const std::byte, kBlockSize> block, std::size_t offset)
{
    std::uint32_t value;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
}

// The string in a field, up to its first NUL; nothing when the field holds no NUL.
std::optional<std::string> readString(std::span<const std::byte, kBlockSize> block, std::size_t offset,
                                      std::size_t size)
{
    const auto field = block.subspan(offset, size);
    const auto nul = std::find(field.begin(), field.end(), std::byte{0});
    if (nul == field.end())
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(field.data()), static_cast<std::size_t>(nul - field.begin()));
}

void writeNumber(Block &block, std::size_t offset, std::uint32_t value)
{
    std::memcpy(block.data() + offset, &value, sizeof value);
}

bool writeString(Block &block, std::size_t offset, std::size_t size, std::string_view text)
{
    if (text.size() >= size || text.find('\0') != std::string_view::npos)
        return false;
    std::memcpy(block.data() + offset, text.data(), text.size());
    return true;
}

}   // namespace

DecodedBlock decodeBlock(std::span<const std::byte, kBlockSize> block)
{
    DecodedBlock decoded;
    decoded.right = readNumber(block, kRightOffset);
    const std::uint32_t number = readNumber(block, kCommandOffset);
    switch (number) {
    case static_cast<std::uint32_t>(CommandNumber::WriteFile): {
        auto path = readString(block, kPathOffset, kPathSize);
        auto content = readString(block, kContentOffset, kContentSize);
        if (!path)
            decoded.command = MalformedCommand{"path"};
        else if (!content)
            decoded.command = MalformedCommand{"content"};
        else
            decoded.command = WriteFile{std::move(*path), std::move(*content)};
        break;
    }
    case static_cast<std::uint32_t>(CommandNumber::DeleteFile): {
        auto path = readString(block, kPathOffset, kPathSize);
        if (!path)
            decoded.command = MalformedCommand{"path"};
        else
            decoded.command = DeleteFile{std::move(*path)};
        break;
    }
    case static_cast<std::uint32_t>(CommandNumber::ServiceCommand): {
        auto target = readString(block, kTargetOffset, kTargetSize);
        auto verb = readString(block, kVerbOffset, kVerbSize);
        if (!target)
            decoded.command = MalformedCommand{"target"};
        else if (!verb)
            decoded.command = MalformedCommand{"verb"};
        else
            decoded.command = ServiceCommand{std::move(*target), std::move(*verb)};
        break;
    }
    case static_cast<std::uint32_t>(CommandNumber::LoadDriver):
        decoded.command = LoadDriver{};
        break;
    default:
        decoded.command = UnknownCommand{number};
        break;
    }
    return decoded;
}

std::string_view rightName(std::uint32_t right)
{
    switch (right) {
    case static_cast<std::uint32_t>(Right::Admin):
        return paths::kAdminAction;
    case static_cast<std::uint32_t>(Right::User):
        return paths::kUserAction;
    default:
        return paths::kUnknownAction;
    }
}

Block makeRawBlock(std::uint32_t right, std::uint32_t command)
{
    Block block{};
    writeNumber(block, kRightOffset, right);
    writeNumber(block, kCommandOffset, command);
    return block;
}

std::optional<Block> makeWriteFileBlock(std::string_view path, std::string_view content, std::uint32_t right)
{
    Block block = makeRawBlock(right, static_cast<std::uint32_t>(CommandNumber::WriteFile));
    if (!writeString(block, kPathOffset, kPathSize, path) || !writeString(block, kContentOffset, kContentSize, content))
        return std::nullopt;
    return block;
}

std::optional<Block> makeDeleteFileBlock(std::string_view path, std::uint32_t right)
{
    Block block = makeRawBlock(right, static_cast<std::uint32_t>(CommandNumber::DeleteFile));
    if (!writeString(block, kPathOffset, kPathSize, path))
        return std::nullopt;
    return block;
}

std::optional<Block> makeServiceBlock(std::string_view target, std::string_view verb, std::uint32_t right)
{
    Block block = makeRawBlock(right, static_cast<std::uint32_t>(CommandNumber::ServiceCommand));
    if (!writeString(block, kTargetOffset, kTargetSize, target) || !writeString(block, kVerbOffset, kVerbSize, verb))
        return std::nullopt;
    return block;
}

Block makeLoadDriverBlock(std::uint32_t right)
{
    return makeRawBlock(right, static_cast<std::uint32_t>(CommandNumber::LoadDriver));
}

bool isAcceptablePath(std::string_view path)
{
    if (path.empty() || path.front() != '/' || path.back() == '/')
        return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view component = path.substr(start, end - start);
        if (component == "." || component == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::string directoryOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

bool isServiceVerb(std::string_view verb)
{
    static constexpr std::string_view kVerbs[] = {"load", "unload", "start", "stop"};
    return std::find(std::begin(kVerbs), std::end(kVerbs), verb) != std::end(kVerbs);
}

bool isAcceptableServiceTarget(std::string_view target) { return !target.empty() && target.front() != '-'; }

}   // namespace tindrel::raisetool
