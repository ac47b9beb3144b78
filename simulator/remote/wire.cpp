#include "wire.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

namespace tsim::wire {

namespace {

// Frame types on the wire; the order of Message's alternatives.
enum Type : uint8_t {
    kHello = 1,
    kOpen,
    kClose,
    kSet,
    kPing,
    kWelcome,
    kDenied,
    kDevice,
    kChannel,
    kChannelGone,
    kAttachment,
    kReply,
    kState,
    kEvent,
};

class Writer {
public:
    explicit Writer(std::string &out)
        : out_(out)
    { }
    template <class T>
    void num(T v)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof v);
        out_.append(b, sizeof b);
    }
    void str(const std::string &s)
    {
        const size_t n = std::min(s.size(), kMaxString);
        num<uint32_t>(static_cast<uint32_t>(n));
        out_.append(s.data(), n);
    }
    void flag(bool b) { num<uint8_t>(b ? 1 : 0); }
    void doubles(const std::vector<double> &v)
    {
        num<uint16_t>(static_cast<uint16_t>(std::min(v.size(), kMaxValues)));
        for (size_t i = 0; i < std::min(v.size(), kMaxValues); ++i)
            num(v[i]);
    }

private:
    std::string &out_;
};

class Reader {
public:
    explicit Reader(std::string_view in)
        : in_(in)
    { }
    template <class T>
    T num()
    {
        T v{};
        if (!take(sizeof(T)))
            return v;
        std::memcpy(&v, in_.data() + pos_ - sizeof(T), sizeof(T));
        return v;
    }
    std::string str()
    {
        const uint32_t n = num<uint32_t>();
        if (n > kMaxString) {
            bad("a string of " + std::to_string(n) + " bytes");
            return {};
        }
        if (!take(n))
            return {};
        return std::string(in_.substr(pos_ - n, n));
    }
    bool flag()
    {
        const uint8_t b = num<uint8_t>();
        if (b > 1)
            bad("a flag of " + std::to_string(b));
        return b == 1;
    }
    std::vector<double> doubles()
    {
        const uint16_t n = num<uint16_t>();
        if (n > kMaxValues) {
            bad(std::to_string(n) + " values");
            return {};
        }
        std::vector<double> v;
        v.reserve(n);
        for (uint16_t i = 0; i < n && ok(); ++i)
            v.push_back(num<double>());
        return v;
    }
    void bad(std::string what)
    {
        if (err_.empty())
            err_ = std::move(what);
    }
    bool ok() const { return err_.empty(); }
    // Whole and nothing left over.
    bool done(std::string &err)
    {
        if (ok() && pos_ != in_.size())
            bad(std::to_string(in_.size() - pos_) + " bytes after the message");
        err = err_;
        return ok();
    }

private:
    bool take(size_t n)
    {
        if (!ok())
            return false;
        if (in_.size() - pos_ < n) {
            bad("a message cut short");
            return false;
        }
        pos_ += n;
        return true;
    }
    std::string_view in_;
    size_t pos_ = 0;
    std::string err_;
};

// Unit names and symbols come back as strings the library keeps for good;
// a peer can make only so many of them.
const char *interned(const std::string &s)
{
    static std::mutex m;
    static auto *pool = new std::set<std::string>;
    std::lock_guard<std::mutex> lk(m);
    auto it = pool->find(s);
    if (it != pool->end())
        return it->c_str();
    if (pool->size() >= 512 || s.size() > 64)
        return "";
    return pool->insert(s).first->c_str();
}

void putArgs(Writer &w, const EventArgs &a)
{
    for (double d : a.d)
        w.num(d);
    w.num(a.ts);
    for (int i : a.i)
        w.num<int32_t>(i);
    w.num(a.u64);
    w.str(a.s[0]);
    w.str(a.s[1]);
    const size_t raw = std::min(a.raw.size(), kMaxRaw);
    w.num<uint16_t>(static_cast<uint16_t>(raw));
    for (size_t i = 0; i < raw; ++i)
        w.num(a.raw[i]);
    w.num<int32_t>(static_cast<int32_t>(a.unit.unit));
    w.str(a.unit.name ? a.unit.name : "");
    w.str(a.unit.symbol ? a.unit.symbol : "");
    w.num(a.ir);
}

EventArgs getArgs(Reader &r)
{
    EventArgs a;
    for (double &d : a.d)
        d = r.num<double>();
    a.ts = r.num<double>();
    for (int &i : a.i)
        i = r.num<int32_t>();
    a.u64 = r.num<uint64_t>();
    a.s[0] = r.str();
    a.s[1] = r.str();
    const uint16_t raw = r.num<uint16_t>();
    if (raw > kMaxRaw)
        r.bad(std::to_string(raw) + " words of a raw signal");
    for (uint16_t i = 0; i < raw && r.ok(); ++i)
        a.raw.push_back(r.num<uint32_t>());
    a.unit.unit = static_cast<Tindrel_Unit>(r.num<int32_t>());
    a.unit.name = interned(r.str());
    a.unit.symbol = interned(r.str());
    a.ir = r.num<Tindrel_IRCodeInfo>();
    a.ir.toggleMask[sizeof a.ir.toggleMask - 1] = '\0';   // always a C string
    return a;
}

void body(Writer &w, const Hello &m)
{
    w.num(m.magic);
    w.num(m.version);
    w.str(m.client);
    w.str(m.password);
}
void body(Writer &w, const Open &m)
{
    w.num(m.request);
    w.num(m.key);
}
void body(Writer &w, const Close &m) { w.num(m.key); }
void body(Writer &w, const Set &m)
{
    w.num(m.request);
    w.num(m.key);
    w.num(m.prop);
    w.num(m.value);
}
void body(Writer &w, const Ping &m)
{
    w.num(m.token);
    w.flag(m.answer);
}
void body(Writer &w, const Welcome &m)
{
    w.str(m.name);
    w.str(m.uniqueName);
    w.str(m.host);
    w.num(m.major);
    w.num(m.minor);
}
void body(Writer &w, const Denied &m)
{
    w.num(m.code);
    w.str(m.detail);
}
void body(Writer &w, const DeviceRecord &m)
{
    w.num(m.key);
    w.num(m.parent);
    for (const std::string *s : {&m.sku, &m.name, &m.label, &m.fwString, &m.className})
        w.str(*s);
    for (int32_t v : {m.deviceId, m.deviceClass, m.version, m.serial, m.hubPort})
        w.num(v);
    w.num(m.xlnkId);
    w.flag(m.hubPortDevice);
}
void body(Writer &w, const ChannelRecord &m)
{
    w.num(m.key);
    w.num(m.device);
    w.num(m.cls);
    w.num(m.subclass);
    w.num(m.index);
    w.str(m.name);
    w.num<uint16_t>(static_cast<uint16_t>(std::min(m.unsupported.size(), kMaxValues)));
    for (size_t i = 0; i < std::min(m.unsupported.size(), kMaxValues); ++i)
        w.num(m.unsupported[i]);
}
void body(Writer &w, const ChannelGone &m) { w.num(m.key); }
void body(Writer &w, const Attachment &m)
{
    w.num(m.key);
    w.flag(m.attached);
}
void body(Writer &w, const Reply &m)
{
    w.num(m.request);
    w.num(m.code);
    w.str(m.detail);
}
void body(Writer &w, const State &m)
{
    w.num(m.key);
    w.doubles(m.values);
    w.doubles(m.mins);
    w.doubles(m.maxs);
}
void body(Writer &w, const Event &m)
{
    w.num(m.key);
    w.num(m.slot);
    w.num(m.sentNs);
    putArgs(w, m.args);
}

}   // namespace

void encode(const Message &m, std::string &out)
{
    const size_t start = out.size();
    out.append(4, '\0');
    out.push_back(static_cast<char>(m.index() + 1));
    Writer w(out);
    std::visit([&](const auto &v) { body(w, v); }, m);
    const uint32_t len = static_cast<uint32_t>(out.size() - start - 4);
    std::memcpy(&out[start], &len, 4);
}

std::optional<Message> decodePayload(uint8_t type, std::string_view payload, std::string &err)
{
    Reader r(payload);
    Message m;
    switch (type) {
    case kHello: {
        Hello h;
        h.magic = r.num<uint32_t>();
        h.version = r.num<uint16_t>();
        h.client = r.str();
        h.password = r.str();
        m = std::move(h);
        break;
    }
    case kOpen: {
        Open o;
        o.request = r.num<uint32_t>();
        o.key = r.num<uint32_t>();
        m = o;
        break;
    }
    case kClose:
        m = Close{r.num<uint32_t>()};
        break;
    case kSet: {
        Set s;
        s.request = r.num<uint32_t>();
        s.key = r.num<uint32_t>();
        s.prop = r.num<uint16_t>();
        s.value = r.num<double>();
        m = s;
        break;
    }
    case kPing: {
        Ping p;
        p.token = r.num<uint64_t>();
        p.answer = r.flag();
        m = p;
        break;
    }
    case kWelcome: {
        Welcome w;
        w.name = r.str();
        w.uniqueName = r.str();
        w.host = r.str();
        w.major = r.num<uint16_t>();
        w.minor = r.num<uint16_t>();
        m = std::move(w);
        break;
    }
    case kDenied: {
        Denied d;
        d.code = r.num<int32_t>();
        d.detail = r.str();
        m = std::move(d);
        break;
    }
    case kDevice: {
        DeviceRecord d;
        d.key = r.num<uint32_t>();
        d.parent = r.num<uint32_t>();
        for (std::string *s : {&d.sku, &d.name, &d.label, &d.fwString, &d.className})
            *s = r.str();
        for (int32_t *v : {&d.deviceId, &d.deviceClass, &d.version, &d.serial, &d.hubPort})
            *v = r.num<int32_t>();
        d.xlnkId = r.num<uint32_t>();
        d.hubPortDevice = r.flag();
        m = std::move(d);
        break;
    }
    case kChannel: {
        ChannelRecord c;
        c.key = r.num<uint32_t>();
        c.device = r.num<uint32_t>();
        c.cls = r.num<int32_t>();
        c.subclass = r.num<int32_t>();
        c.index = r.num<int32_t>();
        c.name = r.str();
        const uint16_t n = r.num<uint16_t>();
        if (n > kMaxValues)
            r.bad(std::to_string(n) + " unsupported properties");
        for (uint16_t i = 0; i < n && r.ok(); ++i)
            c.unsupported.push_back(r.num<uint16_t>());
        m = std::move(c);
        break;
    }
    case kChannelGone:
        m = ChannelGone{r.num<uint32_t>()};
        break;
    case kAttachment: {
        Attachment a;
        a.key = r.num<uint32_t>();
        a.attached = r.flag();
        m = a;
        break;
    }
    case kReply: {
        Reply p;
        p.request = r.num<uint32_t>();
        p.code = r.num<int32_t>();
        p.detail = r.str();
        m = std::move(p);
        break;
    }
    case kState: {
        State s;
        s.key = r.num<uint32_t>();
        s.values = r.doubles();
        s.mins = r.doubles();
        s.maxs = r.doubles();
        if (r.ok() && (s.mins.size() != s.values.size() || s.maxs.size() != s.values.size()))
            r.bad("a channel state whose values and limits differ in number");
        m = std::move(s);
        break;
    }
    case kEvent: {
        Event e;
        e.key = r.num<uint32_t>();
        e.slot = r.num<uint16_t>();
        e.sentNs = r.num<uint64_t>();
        e.args = getArgs(r);
        m = std::move(e);
        break;
    }
    default:
        err = "a message of unknown type " + std::to_string(type);
        return std::nullopt;
    }
    if (!r.done(err))
        return std::nullopt;
    return m;
}

std::optional<Message> Decoder::next()
{
    if (!error_.empty())
        return std::nullopt;
    const size_t avail = buffer_.size() - consumed_;
    if (avail < 5)
        return std::nullopt;
    uint32_t len = 0;
    std::memcpy(&len, buffer_.data() + consumed_, 4);
    if (len < 1 || len > kMaxFrame + 1) {
        error_ = "a frame of " + std::to_string(len) + " bytes";
        return std::nullopt;
    }
    if (avail < 4 + static_cast<size_t>(len))
        return std::nullopt;
    const auto type = static_cast<uint8_t>(buffer_[consumed_ + 4]);
    std::string_view payload(buffer_.data() + consumed_ + 5, len - 1);
    std::string err;
    auto m = decodePayload(type, payload, err);
    consumed_ += 4 + len;
    if (!m) {
        error_ = err;
        return std::nullopt;
    }
    // Drop what was read once it is most of the buffer.
    if (consumed_ == buffer_.size() || (consumed_ > 65536 && consumed_ * 2 > buffer_.size())) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    return m;
}

}   // namespace tsim::wire
