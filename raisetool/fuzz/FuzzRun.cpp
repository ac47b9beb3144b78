// libFuzzer target: one whole raiseTool run (argument mode, authorization,
// command block arriving in pieces, right check, command) against in-memory
// services, checking the tool's safety rules on every input.
//
// Input: byte 0 selects the run (bits 0-1 mode, 2 effective root, 3 admin
// granted, 4 user granted, 5 form accepted, 6 reads interrupted, 7 the user
// right is granted on the caller's own password rather than by an
// administrator), byte 1 the read piece size (0 means whole), the rest is
// standard input.
#include "AllowList.h"
#include "FakeServices.h"
#include "Tool.h"

#include <cstdlib>
#include <string_view>

using namespace tindrel::raisetool;
using namespace tindrel::platform::fakes;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t flags = data[0];
    const std::size_t piece = data[1] == 0 ? SIZE_MAX : data[1];
    const auto *begin = reinterpret_cast<const std::byte *>(data + 2);
    FakeInput input(std::vector<std::byte>(begin, begin + (size - 2)), piece, (flags & 0x40) != 0);

    FakeSelf self;
    FakeAuthority authority;
    authority.acceptForm = (flags & 0x20) != 0;
    if (flags & 0x08)
        authority.grant("com.tindrels.raisetool.admin");
    if (flags & 0x10)
        authority.grant("com.tindrels.raisetool.user",
                        (flags & 0x80) ? FakeAuthority::Proof::OwnPassword : FakeAuthority::Proof::Administrator);
    FakePrivilegedExecution privileged;
    FakeFiles files;
    files.addDirectory("/etc");
    files.addFile("/etc/existing", "old");
    files.addSymlink("/etc/link");
    files.addDirectory("/etc/tindrel22networkserver");
    files.addFile("/etc/tindrel22networkserver/tindrel22networkserver.pc", "old");
    files.addDirectory("/etc/systemd");
    files.addDirectory("/etc/systemd/system");
    files.addSymlink("/etc/systemd/system/tindrel22networkserver.service");
    files.addFile("/opt/tindrel/raiseTool", "elf", 0777, 1000, 1000);
    FakeServiceManager serviceManager;
    FakeDriver driver;
    FakeLog log;
    FakeIdentity identity;
    identity.root = (flags & 0x04) != 0;

    static constexpr RunMode kModes[] = {RunMode::Normal, RunMode::SelfRepair, RunMode::Refused, RunMode::Normal};
    const RunMode mode = kModes[flags & 0x03];
    Services services{input, self, authority, privileged, files, serviceManager, driver, log, identity};
    const int status = run(mode, services);

    // Only the documented statuses come out (a privileged copy's status is
    // passed through; the fake copy ends with 0).
    require(status == 0 || (status >= 2 && status <= 7) || status == 255);
    // Never reads more than the authorization and one block.
    require(input.consumed() <= 32 + kBlockSize);

    bool changedFiles = false;
    for (const auto &call : files.calls) {
        if (startsWith(call, "replace ") || startsWith(call, "unlink ") || startsWith(call, "mkdir ") ||
            startsWith(call, "chown ")) {
            changedFiles = true;
            const std::string_view path = std::string_view(call).substr(call.find(' ') + 1);
            if (!startsWith(call, "mkdir ") && !startsWith(call, "chown ")) {
                require(isAcceptablePath(path));
                // Only the panel's own files are ever written or removed.
                require(isAllowed(DeleteFile{std::string(path)}));
            }
        }
    }
    const bool acted = changedFiles || !serviceManager.runs.empty();
    // Nothing is done without a granted right, nor after a refused start,
    // a short block or a command number above 3.
    if (acted) {
        require(status != 2 && status != 3 && status != 255);
        require(!authority.asked.empty() && authority.granted.contains(authority.asked.back()));
        // Root acted: an administrator must have said yes, not merely the
        // caller with its own password.
        require(authority.administratorAuthorized);
    }
    if (status == 2 || status == 255)
        require(!acted && driver.loads == 0);
    for (const auto &[verb, target] : serviceManager.runs) {
        require(isServiceVerb(verb));
        require(isAcceptableServiceTarget(target));
        require(isAllowed(ServiceCommand{target, verb}));
    }
    // The non-root run hands everything to the privileged copy and does
    // nothing itself.
    if (privileged.starts)
        require(!acted && authority.asked.empty() && driver.loads == 0);
    // A repair leaves the tool set-user-ID without group and other write.
    // (An authorized command may also delete or rewrite the tool's file.)
    const auto *tool = files.find("/opt/tindrel/raiseTool");
    if (!tool)
        require(changedFiles && status == 0);
    else if (tool->mode != 0777)
        require(mode == RunMode::SelfRepair && (tool->mode & 04000) && !(tool->mode & 022));
    return 0;
}
