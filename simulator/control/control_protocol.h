// The line protocol between the tindrelsim tool and the control server that
// runs inside a program using the simulated device library.
//
// A request is one line: the command name and its arguments separated by
// spaces, each argument percent-encoded (bytes outside '!'..'~' and '%' as
// %XX). The reply is one line: "ok", "ok <payload>" or
// "error <code> <detail>". One request per connection.
//
// Every command is described once in commandTable(); the server's parser,
// its dispatch and the tool's usage text are all made from that table.
#ifndef TINDREL_CONTROL_PROTOCOL_H
#define TINDREL_CONTROL_PROTOCOL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tindrelsim.h"

namespace tindrel::control {

// The longest request line the server accepts, without its newline.
inline constexpr size_t kMaxRequestLine = 4096;

enum class ArgKind {
    Word,     // any non-empty text
    Int,      // a 32-bit integer, decimal or 0x hexadecimal
    Number,   // a finite floating-point number
    Path,     // a file path; the tool makes it absolute before sending it
    Rest      // the rest of the line, words joined by single spaces (may be empty)
};

struct ParamSpec {
    const char *name;
    ArgKind kind;
};

struct Request;

// The simulator calls a request can make. A table of plain functions so that
// the protocol can be driven by a fake in tests.
struct SimCalls {
    TindrelReturnCode (*list)(char *buf, size_t *len);
    TindrelReturnCode (*attachDevice)(const char *deviceId);
    TindrelReturnCode (*detachDevice)(const char *deviceId);
    TindrelReturnCode (*addServer)(const char *serverId);
    TindrelReturnCode (*removeServer)(const char *serverId);
    TindrelReturnCode (*injectError)(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                     int32_t code, const char *description);
    TindrelReturnCode (*setInputValue)(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                       const char *property, double value);
    TindrelReturnCode (*getPropertyValue)(const char *deviceId, Tindrel_ChannelClass channelClass, int channelIndex,
                                          const char *property, double *value);
    TindrelReturnCode (*loadRigFile)(const char *path, char *err, size_t errLen);
    // The detail text of the calling thread's last error.
    std::string (*lastErrorDetail)();
    TindrelReturnCode (*setUpgradeFault)(const char *deviceId, TindrelSimUpgradeFault fault, int count);
    TindrelReturnCode (*setMotorCondition)(const char *deviceId, int motorIndex, const char *condition, double value);
    TindrelReturnCode (*turnShaft)(const char *deviceId, int channelIndex, double countsPerSecond);
    TindrelReturnCode (*setGuardSupply)(const char *deviceId, int channelIndex, double volts, double celsius);
    TindrelReturnCode (*setOrientation)(const char *deviceId, double roll, double pitch, double yaw, double turnRate);
    // What displays show (absent in a table that does not offer them).
    TindrelReturnCode (*getLCDText)(const char *deviceId, int channelIndex, char *buf, size_t *len) = nullptr;
    // The grey level of each dot (0 black to 255 full light).
    TindrelReturnCode (*getLCDPicture)(const char *deviceId, int channelIndex, uint8_t *levels, size_t *len, int *width,
                                       int *height) = nullptr;
    TindrelReturnCode (*getLEDColors)(const char *deviceId, int channelIndex, uint8_t *rgbw, size_t *count) = nullptr;
    // A bus adapter's transfers, one line each.
    TindrelReturnCode (*getBusLog)(const char *deviceId, char *buf, size_t *len) = nullptr;
    // Another client's changes to a dictionary.
    TindrelReturnCode (*setDictionaryKey)(const char *deviceId, int channelIndex, const char *key,
                                          const char *value) = nullptr;
    TindrelReturnCode (*removeDictionaryKey)(const char *deviceId, int channelIndex, const char *key) = nullptr;
    TindrelReturnCode (*failCalls)(double share, uint32_t seed) = nullptr;
};

// One reply line, without its newline.
using Handler = std::string (*)(const Request &request, const SimCalls &calls);

struct CommandSpec {
    const char *name;
    const char *summary;
    ParamSpec params[5];
    size_t paramCount;
    Handler handler;

    std::span<const ParamSpec> parameters() const { return {params, paramCount}; }
};

std::span<const CommandSpec> commandTable();
const CommandSpec *findCommand(std::string_view name);

// An argument after decoding and checking against its kind.
struct Arg {
    std::string text;
    int32_t integer = 0;
    double number = 0.0;
};

struct Request {
    const CommandSpec *command = nullptr;
    std::vector<Arg> args;
};

struct ProtocolError {
    TindrelReturnCode code;
    std::string detail;
};

std::string encodeArg(std::string_view raw);
std::optional<std::string> decodeArg(std::string_view encoded);

// "<name> <arg> <arg>..." with every argument encoded.
std::string buildRequestLine(std::string_view command, const std::vector<std::string> &args);

// Parses one request line (without its newline).
std::variant<Request, ProtocolError> parseRequest(std::string_view line);

// Runs a request and returns the reply line; a failing call's reply carries
// its code and the last-error detail.
std::string execute(const Request &request, const SimCalls &calls);
// Parses and runs; malformed lines get an error reply.
std::string handleLine(std::string_view line, const SimCalls &calls);

std::string okReply(std::string_view payload = {});
std::string errorReply(TindrelReturnCode code, std::string_view detail);

// A reply as the tool sees it.
struct Reply {
    bool ok = false;
    TindrelReturnCode code = 0;
    std::string text;   // the payload of "ok", the detail of "error"
};
std::optional<Reply> parseReply(std::string_view line);

// "  attach <deviceId>   plug a device (and everything below it) in", one per command.
std::string commandUsage();

}   // namespace tindrel::control

#endif
