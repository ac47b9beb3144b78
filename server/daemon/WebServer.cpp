#include "WebServer.h"

#include <sstream>

namespace tindrel::daemon {
namespace {

HttpReply reply(int status, const char *reason, const std::string &type, const std::string &body, bool head = false)
{
    std::ostringstream out;
    out << "HTTP/1.0 " << status << ' ' << reason << "\r\n"
        << "Content-Type: " << type << "\r\n"
        << "Content-Length: " << body.size() << "\r\n"
        << "Cache-Control: no-store\r\n"
        << "Connection: close\r\n\r\n";
    if (!head)
        out << body;
    return {status, out.str()};
}

}   // namespace

std::string htmlEscape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string statusPage(const DaemonConfig &config, const std::string &configPath, const std::string &startedAt)
{
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tindrel Network Server</title></head>\n"
        << "<body>\n<h1>Tindrel Network Server</h1>\n"
        << "<p>Running since " << htmlEscape(startedAt) << " with the configuration " << htmlEscape(configPath)
        << ":</p>\n<table>\n";
    for (const auto &[key, value] : describe(config))
        out << "<tr><th align=\"left\">" << htmlEscape(key) << "</th><td>" << htmlEscape(value) << "</td></tr>\n";
    out << "</table>\n</body></html>\n";
    return out.str();
}

HttpReply answer(std::string_view request, const std::string &page)
{
    const auto end = request.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        if (request.size() >= kMaxRequestSize)
            return reply(431, "Request Header Fields Too Large", "text/plain", "Request too large\n");
        return {};
    }
    const std::string_view line = request.substr(0, request.find("\r\n"));
    const auto space = line.find(' ');
    const auto space2 = space == std::string_view::npos ? space : line.find(' ', space + 1);
    if (space == std::string_view::npos || space2 == std::string_view::npos)
        return reply(400, "Bad Request", "text/plain", "Bad request\n");
    const std::string_view method = line.substr(0, space);
    std::string_view target = line.substr(space + 1, space2 - space - 1);
    if (const auto q = target.find('?'); q != std::string_view::npos)
        target = target.substr(0, q);
    if (method != "GET" && method != "HEAD")
        return reply(405, "Method Not Allowed", "text/plain", "Only GET and HEAD\n");
    if (target != "/" && target != "/index.html")
        return reply(404, "Not Found", "text/plain", "Not found\n", method == "HEAD");
    return reply(200, "OK", "text/html; charset=utf-8", page, method == "HEAD");
}

}   // namespace tindrel::daemon
