// The daemon's built-in web server: one status page listing the
// configuration it runs with. Requests are answered whole and the
// connection closed (HTTP/1.0).
#pragma once

#include "DaemonConfig.h"

#include <string>
#include <string_view>

namespace tindrel::daemon {

std::string htmlEscape(std::string_view text);
std::string statusPage(const DaemonConfig &config, const std::string &configPath, const std::string &startedAt);

struct HttpReply {
    int status = 0;
    std::string text;   // the whole response, headers and body
};

// The answer to one request (the bytes up to the blank line); status 0 while
// the request is not complete yet.
HttpReply answer(std::string_view request, const std::string &page);

inline constexpr std::size_t kMaxRequestSize = 8192;

}   // namespace tindrel::daemon
