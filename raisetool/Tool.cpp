#include "Tool.h"

#include "AllowList.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tindrel::raisetool {
namespace {

using platform::ByteSource;
using platform::DriverLoader;
using platform::Files;
using platform::ProcessSubject;

int code(Status status) { return static_cast<int>(status); }

// Normal run without root: run a privileged copy of the tool for the repair
// and pass the command block through to it. The copy reads one block and no
// more, so nothing beyond one block is passed on (or waited for).
int runPrivilegedCopy(const std::string &ownPath, Services &s)
{
    auto child = s.privileged.start(ownPath, std::string(paths::kSelfRepairArgument));
    if (!child)
        return code(Status::CannotStart);
    std::array<std::byte, kCopyPieceSize> piece;
    for (std::size_t copied = 0; copied < kBlockSize;) {
        const auto got = s.input.read(std::span(piece).first(std::min(piece.size(), kBlockSize - copied)));
        if (got.status == ByteSource::Status::Interrupted)
            continue;
        if (got.status != ByteSource::Status::Data)
            break;
        // A copy that stopped reading ends the copying; its status decides.
        if (!child->write(std::span<const std::byte>(piece.data(), got.count)))
            break;
        copied += got.count;
    }
    child->closeInput();
    const auto exit = child->wait();
    if (!exit.waited || !exit.exitedNormally)
        return code(Status::CannotStart);
    return exit.status;
}

// Repair run: make the tool's own file root-owned and set-user-ID.
bool repairOwnFile(const std::string &ownPath, Services &s)
{
    if (!s.authority.takeOverPrivileged())
        return false;
    auto file = s.files.openLocked(ownPath);
    if (!file)
        return false;
    const auto status = file->status();
    if (!status)
        return false;
    // The path must still name the image we are running; otherwise someone
    // swapped the file and we would bless theirs.
    const auto running = s.self.runningImage();
    if (!running || *running != status->identity)
        return false;
    if (status->owner != 0 && !file->changeOwner(0, status->group))
        return false;
    return file->changeMode(repairedMode(status->mode));
}

Status writeFile(const WriteFile &command, Services &s)
{
    if (!isAcceptablePath(command.path))
        return Status::Failed;
    const std::string directory = directoryOf(command.path);
    switch (s.files.makeDirectory(directory, 0755)) {
    case Files::DirectoryResult::Created:
        if (!s.files.changeOwner(directory, s.identity.effectiveUser(), 0))
            return Status::Failed;
        break;
    case Files::DirectoryResult::Existed:
        break;
    case Files::DirectoryResult::Failed:
        return Status::Failed;
    }
    return s.files.replaceFile(command.path, command.content) == 0 ? Status::Done : Status::Failed;
}

Status deleteFile(const DeleteFile &command, Services &s)
{
    const int error = isAcceptablePath(command.path) ? s.files.removeFile(command.path) : EINVAL;
    if (error == 0)
        return Status::Done;
    s.log.error(unlinkFailedMessage(command.path, error));
    return Status::Failed;
}

Status serviceCommand(const ServiceCommand &command, Services &s)
{
    if (!isServiceVerb(command.verb) || !isAcceptableServiceTarget(command.target))
        return Status::Failed;
    return s.serviceManager.run(command.verb, command.target) ? Status::Done : Status::Failed;
}

Status loadDriver(Services &s)
{
    switch (s.driver.load()) {
    case DriverLoader::Result::Loaded:
        return Status::Done;
    case DriverLoader::Result::NotFound:
        return Status::DriverNotFound;
    case DriverLoader::Result::BlockedByPolicy:
        return Status::DriverBlockedByPolicy;
    case DriverLoader::Result::AuthenticationFailed:
        return Status::DriverAuthenticationFailed;
    case DriverLoader::Result::Failed:
        break;
    }
    return Status::Failed;
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}   // namespace

RunMode runModeFromArguments(int argc, const char *const *argv)
{
    if (argc == 1 && argv && argv[0])
        return RunMode::Normal;
    if (argc == 2 && argv && argv[0] && argv[1] && paths::kSelfRepairArgument == argv[1])
        return RunMode::SelfRepair;
    return RunMode::Refused;
}

std::size_t readFully(ByteSource &input, std::span<std::byte> buffer)
{
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const auto got = input.read(buffer.subspan(filled));
        if (got.status == ByteSource::Status::Interrupted)
            continue;
        if (got.status != ByteSource::Status::Data || got.count == 0)
            break;
        filled += std::min(got.count, buffer.size() - filled);
    }
    return filled;
}

mode_t repairedMode(mode_t mode) { return static_cast<mode_t>(((mode & 07777) & ~mode_t{020} & ~mode_t{02}) | 04000); }

std::string unlinkFailedMessage(std::string_view path, int error)
{
    std::string shown;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return "Unlink file (" + shown + ") failed: " + std::to_string(error) + ".\n";
}

std::optional<ProcessSubject> identifyCaller(platform::ProcessIdentity &identity)
{
    const pid_t parent = identity.parentProcess();
    const auto start = identity.startTime(parent);
    // A parent that ended while we read its record may have left its pid to
    // another process; the record would then describe someone else.
    if (!start || identity.parentProcess() != parent)
        return std::nullopt;
    return ProcessSubject{parent, *start, identity.realUser()};
}

Status execute(const DecodedBlock &block, const ProcessSubject &caller, Services &s)
{
    if (std::holds_alternative<LoadDriver>(block.command))
        return loadDriver(s);
    if (std::holds_alternative<UnknownCommand>(block.command))
        return Status::NotAuthorized;
    // Every other command acts as root, so whatever right the block names,
    // an administrator must have allowed it: a right that the caller may
    // grant itself with its own password is never enough on its own.
    const auto refusal = [&](std::string_view right) -> std::optional<Status> {
        const bool granted = s.authority.checkRight(right, caller);
        // The answer is about the caller we named; if our parent changed
        // meanwhile, the one who asked is gone and nobody is served.
        if (s.identity.parentProcess() != caller.pid)
            return Status::CannotStart;
        return granted ? std::nullopt : std::optional<Status>(Status::NotAuthorized);
    };
    const std::string_view named = rightName(block.right);
    if (const auto refused = refusal(named))
        return *refused;
    if (named != paths::kAdminAction) {
        if (const auto refused = refusal(paths::kAdminAction))
            return *refused;
    }
    // Only the panel's own files and service, whoever asks.
    if (!isAllowed(block.command)) {
        if (const auto *remove = std::get_if<DeleteFile>(&block.command))
            s.log.error(unlinkFailedMessage(remove->path, EPERM));
        return Status::Failed;
    }
    return std::visit(Overloaded{
                          [&](const WriteFile &c) { return writeFile(c, s); },
                          [&](const DeleteFile &c) { return deleteFile(c, s); },
                          [&](const ServiceCommand &c) { return serviceCommand(c, s); },
                          [&](const LoadDriver &) { return loadDriver(s); },
                          [&](const UnknownCommand &) { return Status::NotAuthorized; },
                          [&](const MalformedCommand &) { return Status::Failed; },
                      },
                      block.command);
}

int run(RunMode mode, Services &s)
{
    if (mode == RunMode::Refused)
        return code(Status::CannotStart);
    const auto ownPath = s.self.ownPath();
    if (!ownPath)
        return code(Status::CannotStart);
    const auto caller = identifyCaller(s.identity);
    if (!caller)
        return code(Status::CannotStart);
    if (mode == RunMode::Normal) {
        platform::Authority::ExternalForm form;
        if (readFully(s.input, form) != form.size() || !s.authority.acceptExternalForm(form, *caller))
            return code(Status::CannotStart);
        if (!s.identity.effectiveUserIsRoot())
            return runPrivilegedCopy(*ownPath, s);
    } else if (!repairOwnFile(*ownPath, s)) {
        return code(Status::CannotStart);
    }
    Block block;
    if (readFully(s.input, block) != block.size())
        return code(Status::ShortBlock);
    return code(execute(decodeBlock(block), *caller, s));
}

}   // namespace tindrel::raisetool
