#include "discovery_record.h"

#include "PercentEncoding.h"

#include <charconv>
#include <cstdint>

namespace tsim::remote {
namespace {

constexpr std::string_view kHeader = "tindrel22-server 1";
// The lines every record has once, in this order of the seen[] flags.
constexpr std::string_view kSingle[] = {"name", "host", "address", "port", "pid"};

bool hasControl(std::string_view text)
{
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

std::string escape(std::string_view text) { return tindrel::percentEncode(text); }

// Only the escaped form is written: a byte outside printable ASCII as it stands is refused.
std::optional<std::string> unescape(std::string_view text)
{
    return tindrel::percentDecode(
        text, [](unsigned char byte, bool escaped) { return escaped || (byte > 0x20 && byte < 0x7f); });
}

template <typename Int>
std::optional<Int> decimal(std::string_view text)
{
    Int value{};
    if (text.empty() || text.size() > 10 || text[0] < '1' || text[0] > '9')
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}   // namespace

std::string recordProblem(const ServiceRecord &record)
{
    if (record.name.empty())
        return "the publish name is empty";
    if (record.name.size() > kMaxNameBytes)
        return "the publish name is longer than " + std::to_string(kMaxNameBytes) + " bytes";
    if (hasControl(record.name))
        return "the publish name holds a control character";
    if (record.host.size() > kMaxHostBytes || hasControl(record.host))
        return "the host name is too long or holds a control character";
    if (record.address.size() > kMaxHostBytes || hasControl(record.address))
        return "the address is too long or holds a control character";
    if (record.port < 1 || record.port > 65535)
        return "port " + std::to_string(record.port) + " is outside 1 to 65535";
    if (record.txt.size() > kMaxTxtItems)
        return "more than " + std::to_string(kMaxTxtItems) + " announcement keys";
    for (const auto &[key, value] : record.txt) {
        if (key.empty() || key.find('=') != std::string::npos || hasControl(key))
            return "announcement key \"" + key + "\" is empty or holds '=' or a control character";
        if (key.size() + 1 + value.size() > kMaxTxtItemBytes)
            return "announcement key \"" + key + "\" with its value is longer than " +
                   std::to_string(kMaxTxtItemBytes) + " bytes";
    }
    return {};
}

std::string recordFileName(const std::string &name)
{
    return tindrel::percentEncode(name,
                                  [](unsigned char c) {
                                      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                             (c >= '0' && c <= '9') || c == '_' || c == '-';
                                  }) +
           std::string(kRecordFileSuffix);
}

std::string formatRecordFile(const RecordFile &file)
{
    const ServiceRecord &r = file.record;
    std::string out = std::string(kHeader) + '\n';
    out += "name " + escape(r.name) + '\n';
    out += "host " + escape(r.host) + '\n';
    out += "address " + escape(r.address) + '\n';
    out += "port " + std::to_string(r.port) + '\n';
    out += "pid " + std::to_string(file.pid) + '\n';
    for (const auto &[key, value] : r.txt)
        out += "txt " + escape(key) + ' ' + escape(value) + '\n';
    return out;
}

std::optional<RecordFile> parseRecordFile(std::string_view text, std::string &err)
{
    if (text.size() > kMaxRecordFileBytes) {
        err = "larger than " + std::to_string(kMaxRecordFileBytes) + " bytes";
        return std::nullopt;
    }
    if (text.empty() || text.back() != '\n') {
        err = "does not end with a whole line";
        return std::nullopt;
    }
    RecordFile file;
    bool seen[5] = {};   // name, host, address, port, pid
    std::size_t lineNo = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        const auto fail = [&](const std::string &why) {
            err = "line " + std::to_string(lineNo) + ": " + why;
            return std::nullopt;
        };
        if (lineNo == 1) {
            if (line != kHeader)
                return fail("not a server record (expected \"" + std::string(kHeader) + "\")");
            continue;
        }
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return fail("expected \"key value\"");
        const std::string_view key = line.substr(0, space);
        const std::string_view value = line.substr(space + 1);
        int single = -1;
        for (int i = 0; i < 5; ++i)
            if (key == kSingle[i])
                single = i;
        if (single >= 0) {
            if (seen[single])
                return fail("\"" + std::string(key) + "\" given twice");
            seen[single] = true;
        }
        if (single == 3 || single == 4) {
            const auto number = decimal<long>(value);
            if (!number)
                return fail("\"" + std::string(key) + "\" is not a positive number");
            if (single == 3) {
                if (*number > 65535)
                    return fail("port is above 65535");
                file.record.port = static_cast<int>(*number);
            } else {
                if (*number > 2147483647)
                    return fail("pid is above the largest process id");
                file.pid = *number;
            }
        } else if (single >= 0) {
            auto decoded = unescape(value);
            if (!decoded)
                return fail("badly escaped " + std::string(key));
            std::string *fields[] = {&file.record.name, &file.record.host, &file.record.address};
            *fields[single] = std::move(*decoded);
        } else if (key == "txt") {
            const std::size_t split = value.find(' ');
            if (split == std::string_view::npos)
                return fail("expected \"txt key value\"");
            auto k = unescape(value.substr(0, split));
            auto v = unescape(value.substr(split + 1));
            if (!k || !v)
                return fail("badly escaped announcement key or value");
            if (file.record.txt.size() == kMaxTxtItems)
                return fail("more than " + std::to_string(kMaxTxtItems) + " announcement keys");
            file.record.txt.emplace_back(std::move(*k), std::move(*v));
        }
        // Other keys come from newer publishers and are passed over.
    }
    for (int i = 0; i < 5; ++i) {
        if (!seen[i]) {
            err = "no \"" + std::string(kSingle[i]) + "\" line";
            return std::nullopt;
        }
    }
    if (std::string problem = recordProblem(file.record); !problem.empty()) {
        err = problem;
        return std::nullopt;
    }
    return file;
}

}   // namespace tsim::remote
