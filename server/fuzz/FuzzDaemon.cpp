// libFuzzer target: the daemon's configuration file and the requests its
// web server answers. A configuration is either read or refused with a
// message; a request gets an answer with a status, or waits for more bytes.
#include "DaemonConfig.h"
#include "WebServer.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

using namespace tindrel::daemon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);

    const auto config = daemonConfigFromText(text, "fuzz.conf");
    if (const auto *problem = std::get_if<std::string>(&config)) {
        if (problem->empty())
            std::abort();
    } else {
        const auto &read = std::get<DaemonConfig>(config);
        const std::string page = statusPage(read, text, "now");
        if (page.find("<script") != std::string::npos)
            std::abort();   // configuration text must never become markup
    }

    const std::string escaped = htmlEscape(text);
    if (escaped.find_first_of("<>\"") != std::string::npos)
        std::abort();

    const HttpReply reply = answer(text, "<html>page</html>");
    if (reply.status != 0 && reply.text.rfind("HTTP/1.0 ", 0) != 0)
        std::abort();
    if (reply.status == 0 && size > kMaxRequestSize)
        std::abort();   // an oversized request must be refused, not buffered forever
    return 0;
}
