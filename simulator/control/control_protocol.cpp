#include "control_protocol.h"

#include "PercentEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace tindrel::control {

namespace {

constexpr TindrelReturnCode kBadRequest = TINDREL_EINVALIDARG;

std::string failureReply(TindrelReturnCode code, const SimCalls &calls)
{
    std::string detail = calls.lastErrorDetail ? calls.lastErrorDetail() : std::string();
    if (detail.empty())
        detail = "the call failed";
    return errorReply(code, detail);
}

Tindrel_ChannelClass channelClassArg(const Request &request, size_t index)
{
    return static_cast<Tindrel_ChannelClass>(request.args[index].integer);
}

// Reads a text into a buffer that grows to the size the call asks for; the
// text may grow between the calls, so a few rounds settle it. Empty when it
// kept growing.
template <class Read>
std::optional<std::pair<TindrelReturnCode, std::string>> readGrowing(size_t start, Read read)
{
    std::string buf(start, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        size_t len = buf.size();
        const TindrelReturnCode rc = read(buf.data(), &len);
        if ((rc == TINDREL_ENOSPC || rc == TINDREL_OK) && len > buf.size()) {
            buf.assign(len, '\0');
            continue;
        }
        buf.resize(rc == TINDREL_OK ? strnlen(buf.data(), buf.size()) : 0);
        return std::pair{rc, std::move(buf)};
    }
    return std::nullopt;
}

std::string runList(const Request &, const SimCalls &calls)
{
    const auto read = readGrowing(64 * 1024, calls.list);
    if (!read)
        return errorReply(TINDREL_ENOSPC, "the list kept growing while it was read");
    return read->first == TINDREL_OK ? okReply(read->second) : failureReply(read->first, calls);
}

std::string runIdCall(TindrelReturnCode (*fn)(const char *), const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc = fn(request.args[0].text.c_str());
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runAttach(const Request &r, const SimCalls &c) { return runIdCall(c.attachDevice, r, c); }
std::string runDetach(const Request &r, const SimCalls &c) { return runIdCall(c.detachDevice, r, c); }
std::string runAddServer(const Request &r, const SimCalls &c) { return runIdCall(c.addServer, r, c); }
std::string runRemoveServer(const Request &r, const SimCalls &c) { return runIdCall(c.removeServer, r, c); }

std::string runError(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc =
        calls.injectError(request.args[0].text.c_str(), channelClassArg(request, 1), request.args[2].integer,
                          request.args[3].integer, request.args[4].text.c_str());
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runSet(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc =
        calls.setInputValue(request.args[0].text.c_str(), channelClassArg(request, 1), request.args[2].integer,
                            request.args[3].text.c_str(), request.args[4].number);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runGet(const Request &request, const SimCalls &calls)
{
    double value = 0.0;
    const TindrelReturnCode rc = calls.getPropertyValue(request.args[0].text.c_str(), channelClassArg(request, 1),
                                                        request.args[2].integer, request.args[3].text.c_str(), &value);
    if (rc != TINDREL_OK)
        return failureReply(rc, calls);
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return okReply(std::string_view(text, static_cast<size_t>(result.ptr - text)));
}

std::string runLoad(const Request &request, const SimCalls &calls)
{
    char err[2048] = "";
    const TindrelReturnCode rc = calls.loadRigFile(request.args[0].text.c_str(), err, sizeof err);
    if (rc == TINDREL_OK)
        return okReply();
    return err[0] != '\0' ? errorReply(rc, err) : failureReply(rc, calls);
}

std::string runFailUpgrade(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc =
        calls.setUpgradeFault(request.args[0].text.c_str(), TINDRELSIM_UPGRADE_FAIL, request.args[1].integer);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runUnplugUpgrade(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc = calls.setUpgradeFault(request.args[0].text.c_str(), TINDRELSIM_UPGRADE_UNPLUG, 1);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runMotor(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc = calls.setMotorCondition(request.args[0].text.c_str(), request.args[1].integer,
                                                         request.args[2].text.c_str(), request.args[3].number);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string runShaft(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc =
        calls.turnShaft(request.args[0].text.c_str(), request.args[1].integer, request.args[2].number);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

// A finger on a touch input is a touch value near full scale; lifting it
// brings the value to 0, and the channel reports the touch and its end.
constexpr double kFingerTouchValue = 0.9;
std::string runTouchValue(const Request &request, const SimCalls &calls, double touchValue)
{
    const TindrelReturnCode rc = calls.setInputValue(request.args[0].text.c_str(), TINDREL_CHCLASS_CAPACITIVETOUCH,
                                                     request.args[1].integer, "TouchValue", touchValue);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}
std::string runTouch(const Request &r, const SimCalls &c) { return runTouchValue(r, c, kFingerTouchValue); }
std::string runRelease(const Request &r, const SimCalls &c) { return runTouchValue(r, c, 0.0); }

std::string runSupply(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc = calls.setGuardSupply(request.args[0].text.c_str(), request.args[1].integer,
                                                      request.args[2].number, request.args[3].number);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

std::string notOffered() { return errorReply(TINDREL_EUNSUPPORTED, "this library does not show its displays"); }

// Lines of a text joined by " | " into one reply line.
std::string joinLines(std::string text)
{
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3))
        text.replace(at, 1, " | ");
    return text;
}

// The rows of a text display, separated by " | ".
std::string runLcdText(const Request &request, const SimCalls &calls)
{
    if (!calls.getLCDText)
        return notOffered();
    std::vector<char> buf(4096);
    size_t len = buf.size();
    const TindrelReturnCode rc =
        calls.getLCDText(request.args[0].text.c_str(), request.args[1].integer, buf.data(), &len);
    if (rc != TINDREL_OK)
        return failureReply(rc, calls);
    return okReply(joinLines(buf.data()));
}

// The picture of an LCD into a plain PGM file, one grey level per dot.
std::string runLcdImage(const Request &request, const SimCalls &calls)
{
    if (!calls.getLCDPicture)
        return notOffered();
    int width = 0, height = 0;
    size_t len = 0;
    calls.getLCDPicture(request.args[0].text.c_str(), request.args[1].integer, nullptr, &len, &width, &height);
    std::vector<uint8_t> levels(len);
    const TindrelReturnCode rc = calls.getLCDPicture(request.args[0].text.c_str(), request.args[1].integer,
                                                     levels.data(), &len, &width, &height);
    if (rc != TINDREL_OK)
        return failureReply(rc, calls);
    if (width < 0 || height < 0 || levels.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
        return errorReply(TINDREL_EUNEXPECTED, "the display gave a picture smaller than its size");
    std::FILE *file = std::fopen(request.args[2].text.c_str(), "w");
    if (!file)
        return errorReply(TINDREL_EIO, "cannot write " + request.args[2].text);
    std::fprintf(file, "P2\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            std::fprintf(file, x ? " %u" : "%u", static_cast<unsigned>(levels[static_cast<size_t>(y * width + x)]));
        std::fputc('\n', file);
    }
    const bool ok = std::fclose(file) == 0;
    return ok ? okReply(std::to_string(width) + "x" + std::to_string(height))
              : errorReply(TINDREL_EIO, "cannot write " + request.args[2].text);
}

// A bus adapter's transfers, oldest first, separated by " | ".
std::string runBusLog(const Request &request, const SimCalls &calls)
{
    if (!calls.getBusLog)
        return errorReply(TINDREL_EUNSUPPORTED, "this library does not show its bus traffic");
    const auto read = readGrowing(
        4096, [&](char *buf, size_t *len) { return calls.getBusLog(request.args[0].text.c_str(), buf, len); });
    if (!read)
        return errorReply(TINDREL_ENOSPC, "the log kept growing while it was read");
    if (read->first != TINDREL_OK)
        return failureReply(read->first, calls);
    std::string log = read->second;
    while (!log.empty() && log.back() == '\n')
        log.pop_back();
    return okReply(joinLines(log));
}

// The LEDs' colours as RRGGBBWW words, up to the last lit LED.
std::string runLeds(const Request &request, const SimCalls &calls)
{
    if (!calls.getLEDColors)
        return notOffered();
    size_t count = 0;
    calls.getLEDColors(request.args[0].text.c_str(), request.args[1].integer, nullptr, &count);
    std::vector<uint8_t> rgbw(count * 4);
    const TindrelReturnCode rc =
        calls.getLEDColors(request.args[0].text.c_str(), request.args[1].integer, rgbw.data(), &count);
    if (rc != TINDREL_OK)
        return failureReply(rc, calls);
    size_t last = 0;
    for (size_t i = 0; i < count; ++i)
        if (rgbw[4 * i] || rgbw[4 * i + 1] || rgbw[4 * i + 2] || rgbw[4 * i + 3])
            last = i + 1;
    std::string text;
    char word[12];
    for (size_t i = 0; i < last; ++i) {
        std::snprintf(word, sizeof word, i ? " %02X%02X%02X%02X" : "%02X%02X%02X%02X", rgbw[4 * i], rgbw[4 * i + 1],
                      rgbw[4 * i + 2], rgbw[4 * i + 3]);
        text += word;
    }
    return okReply(text);
}

std::string runOrient(const Request &request, const SimCalls &calls)
{
    const TindrelReturnCode rc =
        calls.setOrientation(request.args[0].text.c_str(), request.args[1].number, request.args[2].number,
                             request.args[3].number, request.args.size() > 4 ? request.args[4].number : 0.0);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

// Holds a tag to a reader or takes it away, and forces a receiver's fix off
// or on: an input driven from outside, as `set` does.
std::string runDrive(const Request &request, const SimCalls &calls, Tindrel_ChannelClass cls, const char *property,
                     double value)
{
    const TindrelReturnCode rc = calls.setInputValue(request.args[0].text.c_str(), cls, 0, property, value);
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}
std::string runPlaceTag(const Request &r, const SimCalls &c)
{
    return runDrive(r, c, TINDREL_CHCLASS_RFID, "TagPresent", 1);
}
std::string runRemoveTag(const Request &r, const SimCalls &c)
{
    return runDrive(r, c, TINDREL_CHCLASS_RFID, "TagPresent", 0);
}
std::string runLoseFix(const Request &r, const SimCalls &c)
{
    return runDrive(r, c, TINDREL_CHCLASS_GPS, "PositionFixState", 0);
}
std::string runRegainFix(const Request &r, const SimCalls &c)
{
    return runDrive(r, c, TINDREL_CHCLASS_GPS, "PositionFixState", 1);
}
// Another client of a dictionary (its channel 0) sets or removes a key.
std::string runDictionarySet(const Request &request, const SimCalls &calls)
{
    if (!calls.setDictionaryKey)
        return errorReply(TINDREL_EUNSUPPORTED, "this library does not offer dictionary changes");
    const TindrelReturnCode rc = calls.setDictionaryKey(request.args[0].text.c_str(), 0, request.args[1].text.c_str(),
                                                        request.args[2].text.c_str());
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}
std::string runDictionaryRemove(const Request &request, const SimCalls &calls)
{
    if (!calls.removeDictionaryKey)
        return errorReply(TINDREL_EUNSUPPORTED, "this library does not offer dictionary changes");
    const TindrelReturnCode rc =
        calls.removeDictionaryKey(request.args[0].text.c_str(), 0, request.args[1].text.c_str());
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}
std::string runFailCalls(const Request &request, const SimCalls &calls)
{
    if (!calls.failCalls)
        return errorReply(TINDREL_EUNSUPPORTED, "This library cannot fail calls on purpose");
    const TindrelReturnCode rc =
        calls.failCalls(request.args[0].number, static_cast<uint32_t>(request.args[1].integer));
    return rc == TINDREL_OK ? okReply() : failureReply(rc, calls);
}

constexpr CommandSpec kCommands[] = {
    {"list", "print the computers, devices and channels as JSON", {}, 0, &runList},
    {"attach", "plug a device (and everything below it) in", {{"deviceId", ArgKind::Word}}, 1, &runAttach},
    {"detach", "unplug a device (and everything below it)", {{"deviceId", ArgKind::Word}}, 1, &runDetach},
    {"add-server", "bring a remote server up", {{"serverId", ArgKind::Word}}, 1, &runAddServer},
    {"remove-server", "take a remote server down", {{"serverId", ArgKind::Word}}, 1, &runRemoveServer},
    {"error",
     "raise an error event on a channel",
     {{"deviceId", ArgKind::Word},
      {"channelClass", ArgKind::Int},
      {"channelIndex", ArgKind::Int},
      {"code", ArgKind::Int},
      {"text...", ArgKind::Rest}},
     5,
     &runError},
    {"set",
     "drive an input's value",
     {{"deviceId", ArgKind::Word},
      {"channelClass", ArgKind::Int},
      {"channelIndex", ArgKind::Int},
      {"property", ArgKind::Word},
      {"value", ArgKind::Number}},
     5,
     &runSet},
    {"get",
     "print a property's current value",
     {{"deviceId", ArgKind::Word},
      {"channelClass", ArgKind::Int},
      {"channelIndex", ArgKind::Int},
      {"property", ArgKind::Word}},
     4,
     &runGet},
    {"load", "replace the rig by the one in a rig file", {{"rigfile", ArgKind::Path}}, 1, &runLoad},
    {"fail-upgrade",
     "make the device's next count firmware upgrades fail half-way (0 clears)",
     {{"deviceId", ArgKind::Word}, {"count", ArgKind::Int}},
     2,
     &runFailUpgrade},
    {"unplug-upgrade",
     "unplug the device half-way through its next firmware upgrade",
     {{"deviceId", ArgKind::Word}},
     1,
     &runUnplugUpgrade},
    {"motor",
     "set a motor shaft's load (-1..1 of stall torque), hold (1 blocks it) or connection (0 cuts it)",
     {{"deviceId", ArgKind::Word},
      {"motorIndex", ArgKind::Int},
      {"condition", ArgKind::Word},
      {"value", ArgKind::Number}},
     4,
     &runMotor},
    {"shaft",
     "turn an encoder's shaft at a speed in counts per second",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}, {"countsPerSecond", ArgKind::Number}},
     3,
     &runShaft},
    {"touch",
     "put a finger on a capacitive touch input",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}},
     2,
     &runTouch},
    {"release",
     "lift the finger from a capacitive touch input",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}},
     2,
     &runRelease},
    {"supply",
     "drive a power guard's supply voltage and board temperature (an open channel)",
     {{"deviceId", ArgKind::Word},
      {"channelIndex", ArgKind::Int},
      {"volts", ArgKind::Number},
      {"celsius", ArgKind::Number}},
     4,
     &runSupply},
    {"lcd-text",
     "print the rows a text LCD shows",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}},
     2,
     &runLcdText},
    {"lcd-image",
     "write what an LCD looks like (contrast and backlight applied) into a PGM image file",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}, {"file", ArgKind::Path}},
     3,
     &runLcdImage},
    {"leds",
     "print the colours an LED array shows (RRGGBBWW, up to the last lit LED)",
     {{"deviceId", ArgKind::Word}, {"channelIndex", ArgKind::Int}},
     2,
     &runLeds},
    {"bus-log",
     "print a bus adapter's transfers, what was sent and what came back (oldest first)",
     {{"deviceId", ArgKind::Word}},
     1,
     &runBusLog},
    {"orient",
     "turn a motion device (degrees; it keeps turning at turnRate per second)",
     {{"deviceId", ArgKind::Word},
      {"roll", ArgKind::Number},
      {"pitch", ArgKind::Number},
      {"heading", ArgKind::Number},
      {"turnRate", ArgKind::Number}},
     5,
     &runOrient},
    {"place-tag",
     "hold a tag to the device's reader (until remove-tag)",
     {{"deviceId", ArgKind::Word}},
     1,
     &runPlaceTag},
    {"remove-tag", "take the tag away from the device's reader", {{"deviceId", ArgKind::Word}}, 1, &runRemoveTag},
    {"lose-fix",
     "make the device's position receiver lose its fix (until regain-fix)",
     {{"deviceId", ArgKind::Word}},
     1,
     &runLoseFix},
    {"regain-fix", "give the device's position receiver its fix back", {{"deviceId", ArgKind::Word}}, 1, &runRegainFix},
    {"dict-set",
     "set a dictionary's key to a value, as another client of its server (the window hears of it)",
     {{"deviceId", ArgKind::Word}, {"key", ArgKind::Word}, {"value...", ArgKind::Rest}},
     3,
     &runDictionarySet},
    {"dict-remove",
     "remove a key from a dictionary, as another client of its server",
     {{"deviceId", ArgKind::Word}, {"key", ArgKind::Word}},
     2,
     &runDictionaryRemove},
    {"fail-calls",
     "make a share (0..1; 0 ends it) of the calls on attached channels fail, reproducibly from the seed",
     {{"share", ArgKind::Number}, {"seed", ArgKind::Int}},
     2,
     &runFailCalls},
};

std::optional<int32_t> parseInt(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<double> parseNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string usageOf(const CommandSpec &command)
{
    std::string text = command.name;
    for (const ParamSpec &param : command.parameters())
        text.append(" <").append(param.name).append(">");
    return text;
}

// Replies are single lines: line breaks and other control characters in a
// detail or payload become spaces (JSON stays valid: raw control characters
// cannot occur inside its strings).
std::string oneLine(std::string_view text)
{
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return line;
}

std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

}   // namespace

std::span<const CommandSpec> commandTable() { return kCommands; }

const CommandSpec *findCommand(std::string_view name)
{
    for (const CommandSpec &command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

std::string encodeArg(std::string_view raw) { return tindrel::percentEncode(raw); }

std::optional<std::string> decodeArg(std::string_view encoded)
{
    // NUL cannot pass through C strings: "sen\0sor" would be read as "sen".
    return tindrel::percentDecode(encoded, [](unsigned char byte, bool) { return byte != 0; });
}

std::string buildRequestLine(std::string_view command, const std::vector<std::string> &args)
{
    std::string line = encodeArg(command);
    for (const std::string &arg : args)
        line.append(" ").append(encodeArg(arg));
    return line;
}

std::variant<Request, ProtocolError> parseRequest(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() > kMaxRequestLine)
        return ProtocolError{kBadRequest, "request longer than " + std::to_string(kMaxRequestLine) + " bytes"};
    const std::vector<std::string_view> words = splitWords(line);
    if (words.empty())
        return ProtocolError{kBadRequest, "empty request"};
    const CommandSpec *command = findCommand(words[0]);
    if (command == nullptr) {
        const std::optional<std::string> name = decodeArg(words[0]);
        return ProtocolError{kBadRequest, "unknown command '" + oneLine(name.value_or(std::string(words[0]))) + "'"};
    }
    const std::span<const ParamSpec> params = command->parameters();
    const bool hasRest = !params.empty() && params.back().kind == ArgKind::Rest;
    const size_t given = words.size() - 1;
    const size_t fixed = hasRest ? params.size() - 1 : params.size();
    if (given < fixed || (!hasRest && given > fixed))
        return ProtocolError{kBadRequest, "usage: " + usageOf(*command)};

    Request request;
    request.command = command;
    for (size_t p = 0; p < params.size(); ++p) {
        const ParamSpec &param = params[p];
        Arg arg;
        if (param.kind == ArgKind::Rest) {
            for (size_t w = 1 + p; w < words.size(); ++w) {
                const std::optional<std::string> word = decodeArg(words[w]);
                if (!word)
                    return ProtocolError{kBadRequest, std::string("badly encoded <") + param.name + ">"};
                if (!arg.text.empty())
                    arg.text.push_back(' ');
                arg.text += *word;
            }
            request.args.push_back(std::move(arg));
            break;
        }
        const std::optional<std::string> decoded = decodeArg(words[1 + p]);
        if (!decoded || decoded->empty())
            return ProtocolError{kBadRequest, std::string("badly encoded <") + param.name + ">"};
        arg.text = *decoded;
        if (param.kind == ArgKind::Int) {
            const std::optional<int32_t> value = parseInt(arg.text);
            if (!value)
                return ProtocolError{kBadRequest, std::string("<") + param.name + "> must be a 32-bit integer, not '" +
                                                      oneLine(arg.text) + "'"};
            arg.integer = *value;
        } else if (param.kind == ArgKind::Number) {
            const std::optional<double> value = parseNumber(arg.text);
            if (!value)
                return ProtocolError{kBadRequest, std::string("<") + param.name + "> must be a finite number, not '" +
                                                      oneLine(arg.text) + "'"};
            arg.number = *value;
        }
        request.args.push_back(std::move(arg));
    }
    return request;
}

std::string execute(const Request &request, const SimCalls &calls) { return request.command->handler(request, calls); }

std::string handleLine(std::string_view line, const SimCalls &calls)
{
    auto parsed = parseRequest(line);
    if (const auto *error = std::get_if<ProtocolError>(&parsed))
        return errorReply(error->code, error->detail);
    return execute(std::get<Request>(parsed), calls);
}

std::string okReply(std::string_view payload)
{
    if (payload.empty())
        return "ok";
    return "ok " + oneLine(payload);
}

std::string errorReply(TindrelReturnCode code, std::string_view detail)
{
    std::string reply = "error " + std::to_string(code);
    if (!detail.empty())
        reply.append(" ").append(oneLine(detail));
    return reply;
}

std::optional<Reply> parseReply(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line == "ok")
        return Reply{true, TINDREL_OK, {}};
    if (line.starts_with("ok "))
        return Reply{true, TINDREL_OK, std::string(line.substr(3))};
    if (!line.starts_with("error "))
        return std::nullopt;
    line.remove_prefix(6);
    const size_t space = line.find(' ');
    const std::string_view codeText = line.substr(0, space);
    const std::optional<int32_t> code = parseInt(codeText);
    if (!code || *code == TINDREL_OK)
        return std::nullopt;
    return Reply{false, *code, space == std::string_view::npos ? std::string() : std::string(line.substr(space + 1))};
}

std::string commandUsage()
{
    std::string text;
    for (const CommandSpec &command : kCommands)
        text.append("  ").append(usageOf(command)).append("\n      ").append(command.summary).append("\n");
    return text;
}

}   // namespace tindrel::control
