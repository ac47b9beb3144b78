// libFuzzer target: the small parsers that read untrusted bytes outside the
// command block (the authorization form and /proc stat lines), plus the
// block decoder on exactly-sized blocks.
#include "AuthorizationForm.h"
#include "Protocol.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace tindrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    {
        const auto start = platform::parseStatStartTime(std::string_view(reinterpret_cast<const char *>(data), size));
        (void)start;
    }
    if (size >= platform::kAuthorizationFormSize) {
        platform::AuthorizationFormBytes form;
        std::memcpy(form.data(), data, form.size());
        if (const auto subject = platform::decodeAuthorizationForm(form)) {
            // What decodes must encode back to the same bytes.
            if (platform::encodeAuthorizationForm(*subject) != form)
                std::abort();
        }
    }
    raisetool::Block block{};
    std::memcpy(block.data(), data, std::min(size, block.size()));
    const auto decoded = raisetool::decodeBlock(block);
    // Decoded strings never hold a NUL and always fit their field.
    if (const auto *write = std::get_if<raisetool::WriteFile>(&decoded.command)) {
        if (write->path.size() >= raisetool::kPathSize || write->content.size() >= raisetool::kContentSize ||
            write->path.find('\0') != std::string::npos)
            std::abort();
        // A decoded command rebuilds into a block that decodes the same.
        const auto rebuilt = raisetool::makeWriteFileBlock(write->path, write->content, decoded.right);
        if (!rebuilt)
            std::abort();
        const auto again = raisetool::decodeBlock(*rebuilt);
        const auto *same = std::get_if<raisetool::WriteFile>(&again.command);
        if (!same || same->path != write->path || same->content != write->content)
            std::abort();
    }
    if (const auto *service = std::get_if<raisetool::ServiceCommand>(&decoded.command)) {
        if (service->target.size() >= raisetool::kTargetSize || service->verb.size() >= raisetool::kVerbSize)
            std::abort();
    }
    return 0;
}
