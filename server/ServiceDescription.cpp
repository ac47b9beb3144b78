#include "ServiceDescription.h"

#include "Paths.h"

#include <sstream>

namespace tindrel::server {
namespace {

constexpr std::string_view kLabelKey = "X-Tindrel-Label=";
constexpr std::string_view kExecKey = "ExecStart=";
constexpr std::string_view kWantedBy = "WantedBy=multi-user.target";

// One word of ExecStart, quoted; systemd expands % and $, so both are doubled.
std::optional<std::string> quoted(const std::string &word)
{
    std::string out = "\"";
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return std::nullopt;
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '%' || c == '$')
            out += c;
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> unquoteWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size())
                    ++i;
                else if ((line[i] == '%' || line[i] == '$') && i + 1 < line.size() && line[i + 1] == line[i])
                    ++i;
                word += line[i];
            }
            ++i;
        } else {
            for (; i < line.size() && line[i] != ' '; ++i)
                word += line[i];
        }
        words.push_back(std::move(word));
    }
    return words;
}

}   // namespace

ServiceDescription networkServerDescription(bool runAtLoad)
{
    return {std::string(paths::kServerServiceLabel),
            {std::string(paths::kServerExecutable), "-c", std::string(paths::kServerConfigFile)},
            runAtLoad};
}

RenderedUnit renderUnit(const ServiceDescription &d)
{
    if (d.programArguments.empty())
        return {{}, "no program"};
    if (d.label.empty() || d.label.find_first_of("\n\r") != std::string::npos)
        return {{}, "the label is empty or spans lines"};
    std::string exec;
    for (const auto &word : d.programArguments) {
        const auto q = quoted(word);
        if (!q)
            return {{}, "an argument holds a control character: " + word};
        exec += (exec.empty() ? "" : " ") + *q;
    }
    std::ostringstream out;
    out << "# The Tindrel network server, written by the Tindrel Control Panel.\n"
        << "[Unit]\n"
        << "Description=Tindrel network server\n"
        << kLabelKey << d.label << "\n"
        << "After=network.target\n\n"
        << "[Service]\n"
        << "Type=simple\n"
        << kExecKey << exec << "\n"
        << "KillSignal=SIGTERM\n";
    if (d.runAtLoad)
        out << "\n[Install]\n" << kWantedBy << "\n";
    return {out.str(), {}};
}

std::optional<ServiceDescription> parseUnit(std::string_view text)
{
    ServiceDescription d;
    std::string section;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[')) {
            section = line;
        } else if (section == "[Unit]" && line.starts_with(kLabelKey)) {
            d.label = line.substr(kLabelKey.size());
        } else if (section == "[Service]" && line.starts_with(kExecKey)) {
            d.programArguments = unquoteWords(std::string_view(line).substr(kExecKey.size()));
        } else if (section == "[Install]" && line == kWantedBy) {
            d.runAtLoad = true;
        }
    }
    if (d.label.empty() || d.programArguments.empty())
        return std::nullopt;
    return d;
}

}   // namespace tindrel::server
