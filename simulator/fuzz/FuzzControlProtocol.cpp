// libFuzzer target: lines arriving on the simulator's control socket, and
// replies arriving at the tool. Whatever parses as a request must rebuild
// into a line that parses the same; every argument survives encoding.
#include "control_protocol.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

using namespace tindrel::control;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);

    // NUL cannot pass through the C strings behind the socket: an argument
    // holding one is refused, any other comes back whole.
    const auto decoded = decodeArg(encodeArg(line));
    if (line.find('\0') != std::string_view::npos ? decoded.has_value() : (!decoded || *decoded != line))
        std::abort();

    const auto parsed = parseRequest(line);
    if (const auto *request = std::get_if<Request>(&parsed)) {
        if (!request->command)
            std::abort();
        std::vector<std::string> texts;
        for (const Arg &arg : request->args)
            texts.push_back(arg.text);
        const std::string rebuilt = buildRequestLine(request->command->name, texts);
        if (rebuilt.size() > kMaxRequestLine)
            return 0;   // encoding made it too long to send: refused as such
        const auto again = parseRequest(rebuilt);
        const auto *same = std::get_if<Request>(&again);
        if (!same || same->command != request->command || same->args.size() != request->args.size())
            std::abort();
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (same->args[i].text != texts[i] || same->args[i].integer != request->args[i].integer)
                std::abort();
    } else if (std::get<ProtocolError>(parsed).detail.empty()) {
        std::abort();   // a refusal must say why
    }

    if (const auto reply = parseReply(line); reply && !reply->ok && reply->code == 0)
        std::abort();   // an error reply always carries a code
    return 0;
}
