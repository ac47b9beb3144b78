// The device server's protocol: length-prefixed frames over one TCP
// connection. A client says hello with the server's password; the server
// welcomes it and lists its channels, then both sides exchange small
// messages. Values travel as the class table describes them (property
// indices, value slots, event slots and their argument records), so one
// message shape serves every class.
//
// Every decoder treats its input as hostile: lengths and counts are bounded,
// and a frame that does not parse in full is refused as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "../sim_internal.h"

namespace tsim::wire {

inline constexpr uint32_t kMagic = 0x314c4454;   // "TDL1"
inline constexpr uint16_t kVersion = 1;
inline constexpr size_t kMaxFrame = 1u << 20;     // payload bytes of one frame
inline constexpr size_t kMaxString = 64u << 10;   // bytes of one string
inline constexpr size_t kMaxValues = 256;         // value slots of one channel
inline constexpr size_t kMaxRaw = 4096;           // words of a raw signal

// Client to server.
struct Hello {
    uint32_t magic = kMagic;
    uint16_t version = kVersion;
    std::string client, password;
};
struct Open {
    uint32_t request = 0, key = 0;
};
struct Close {
    uint32_t key = 0;
};
struct Set {
    uint32_t request = 0, key = 0;
    uint16_t prop = 0;
    double value = 0;
};
// Either way: a link check and its answer.
struct Ping {
    uint64_t token = 0;
    bool answer = false;
};

// Server to client.
struct Welcome {
    std::string name, uniqueName, host;
    uint16_t major = 0, minor = 0;
};
struct Denied {
    int32_t code = 0;
    std::string detail;
};
struct DeviceRecord {
    uint32_t key = 0, parent = 0;   // parent 0: none
    std::string sku, name, label, fwString, className;
    int32_t deviceId = 0, deviceClass = 0, version = 0, serial = 0, hubPort = 0;
    uint32_t xlnkId = 0;
    bool hubPortDevice = false;
    bool operator==(const DeviceRecord &) const = default;
};
struct ChannelRecord {
    uint32_t key = 0, device = 0;
    int32_t cls = 0, subclass = 0, index = 0;
    std::string name;
    std::vector<uint16_t> unsupported;   // property indices
    bool operator==(const ChannelRecord &) const = default;
};
struct ChannelGone {
    uint32_t key = 0;
};
// The server's handle on the channel attached (true) or detached.
struct Attachment {
    uint32_t key = 0;
    bool attached = false;
};
struct Reply {
    uint32_t request = 0;
    int32_t code = 0;
    std::string detail;
};
struct State {
    uint32_t key = 0;
    std::vector<double> values, mins, maxs;
};
struct Event {
    uint32_t key = 0;
    uint16_t slot = 0;     // SLOT_ERROR or SLOT_FIRST_EVENT + event index
    uint64_t sentNs = 0;   // sender's monotonic clock, for latency figures
    EventArgs args;
};

using Message = std::variant<Hello, Open, Close, Set, Ping, Welcome, Denied, DeviceRecord, ChannelRecord, ChannelGone,
                             Attachment, Reply, State, Event>;

// Appends one frame holding m to out.
void encode(const Message &m, std::string &out);

// Splits frames off the front of a byte stream.
class Decoder {
public:
    // Adds received bytes.
    void feed(const char *data, size_t n) { buffer_.append(data, n); }
    // The next whole message, or nothing when more bytes are needed. After
    // a malformed frame error() is set and every later call returns nothing.
    std::optional<Message> next();
    const std::string &error() const { return error_; }
    size_t buffered() const { return buffer_.size() - consumed_; }

private:
    std::string buffer_;
    size_t consumed_ = 0;
    std::string error_;
};

// Decodes one frame's type and payload; nothing, with err, when malformed.
std::optional<Message> decodePayload(uint8_t type, std::string_view payload, std::string &err);

}   // namespace tsim::wire
