#include "wire.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

namespace tsim::wire {

namespace {

// Writes fields; every message lists its fields once, in fields() below,
// for this and for the Reader alike.
class Writer {
public:
    explicit Writer(std::string &out)
        : out_(out)
    { }
    template <class T>
    requires std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_same_v<T, Tindrel_IRCodeInfo>
    void operator()(const T &v)
    {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof v);
        out_.append(b, sizeof b);
    }
    void operator()(const bool &b) { (*this)(static_cast<uint8_t>(b ? 1 : 0)); }
    void operator()(const std::string &s)
    {
        const size_t n = std::min(s.size(), kMaxString);
        (*this)(static_cast<uint32_t>(n));
        out_.append(s.data(), n);
    }
    template <class T>
    void operator()(const std::vector<T> &v)
    {
        const size_t n = std::min(v.size(), std::is_same_v<T, uint32_t> ? kMaxRaw : kMaxValues);
        (*this)(static_cast<uint16_t>(n));
        for (size_t i = 0; i < n; ++i)
            (*this)(v[i]);
    }
    void operator()(const Tindrel_UnitInfo &u)
    {
        (*this)(static_cast<int32_t>(u.unit));
        (*this)(std::string(u.name ? u.name : ""));
        (*this)(std::string(u.symbol ? u.symbol : ""));
    }

private:
    std::string &out_;
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

class Reader {
public:
    explicit Reader(std::string_view in)
        : in_(in)
    { }
    template <class T>
    requires std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_same_v<T, Tindrel_IRCodeInfo>
    void operator()(T &v)
    {
        if (take(sizeof(T)))
            std::memcpy(&v, in_.data() + pos_ - sizeof(T), sizeof(T));
    }
    void operator()(bool &b)
    {
        uint8_t v = 0;
        (*this)(v);
        if (v > 1)
            bad("a flag of " + std::to_string(v));
        b = v == 1;
    }
    void operator()(std::string &s)
    {
        uint32_t n = 0;
        (*this)(n);
        if (n > kMaxString)
            return bad("a string of " + std::to_string(n) + " bytes");
        if (take(n))
            s.assign(in_.substr(pos_ - n, n));
    }
    template <class T>
    void operator()(std::vector<T> &v)
    {
        uint16_t n = 0;
        (*this)(n);
        if (n > (std::is_same_v<T, uint32_t> ? kMaxRaw : kMaxValues))
            return bad(std::to_string(n) + " values in a list");
        v.resize(n);
        for (uint16_t i = 0; i < n && ok(); ++i)
            (*this)(v[i]);
    }
    void operator()(Tindrel_UnitInfo &u)
    {
        int32_t unit = 0;
        std::string name, symbol;
        (*this)(unit);
        (*this)(name);
        (*this)(symbol);
        // Only codes inside the unit list's range can be held as a unit.
        if (unit < TINDREL_UNIT_NONE || unit > TINDREL_UNIT_WATT)
            return bad("a unit of " + std::to_string(unit));
        u = {static_cast<Tindrel_Unit>(unit), interned(name), interned(symbol)};
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

// The fields of each message, in their order on the wire (M is the message,
// const for writing).
template <class A, class M>
requires std::is_same_v<std::remove_const_t<M>, EventArgs>
void fields(A &a, M &m)
{
    for (auto &d : m.d)
        a(d);
    a(m.ts);
    for (auto &i : m.i)
        a(i);
    a(m.u64);
    a(m.s[0]);
    a(m.s[1]);
    a(m.raw);
    a(m.unit);
    a(m.ir);
}
template <class A, class M>
void fields(A &a, M &m)
{
    using T = std::remove_const_t<M>;
    if constexpr (std::is_same_v<T, Hello>) {
        a(m.magic), a(m.version), a(m.client), a(m.password);
    } else if constexpr (std::is_same_v<T, Open>) {
        a(m.request), a(m.key);
    } else if constexpr (std::is_same_v<T, Close> || std::is_same_v<T, ChannelGone>) {
        a(m.key);
    } else if constexpr (std::is_same_v<T, Set>) {
        a(m.request), a(m.key), a(m.prop), a(m.value);
    } else if constexpr (std::is_same_v<T, Ping>) {
        a(m.token), a(m.answer);
    } else if constexpr (std::is_same_v<T, Welcome>) {
        a(m.name), a(m.uniqueName), a(m.host), a(m.major), a(m.minor);
    } else if constexpr (std::is_same_v<T, Denied>) {
        a(m.code), a(m.detail);
    } else if constexpr (std::is_same_v<T, DeviceRecord>) {
        a(m.key), a(m.parent), a(m.sku), a(m.name), a(m.label), a(m.fwString), a(m.className);
        a(m.deviceId), a(m.deviceClass), a(m.version), a(m.serial), a(m.hubPort), a(m.xlnkId), a(m.hubPortDevice);
    } else if constexpr (std::is_same_v<T, ChannelRecord>) {
        a(m.key), a(m.device), a(m.cls), a(m.subclass), a(m.index), a(m.name), a(m.unsupported);
    } else if constexpr (std::is_same_v<T, Attachment>) {
        a(m.key), a(m.attached);
    } else if constexpr (std::is_same_v<T, Reply>) {
        a(m.request), a(m.code), a(m.detail);
    } else if constexpr (std::is_same_v<T, State>) {
        a(m.key), a(m.values), a(m.mins), a(m.maxs);
    } else {
        static_assert(std::is_same_v<T, Event>);
        a(m.key), a(m.slot), a(m.sentNs);
        fields(a, m.args);
    }
}

// What a message must hold beyond its fields' own limits.
std::string problem(const Message &m)
{
    if (auto *s = std::get_if<State>(&m))
        if (s->mins.size() != s->values.size() || s->maxs.size() != s->values.size())
            return "a channel state whose values and limits differ in number";
    return {};
}

// Decodes a message of the variant's alternative I, when type says it is that one.
template <size_t I = 0>
std::optional<Message> decodeAs(size_t index, Reader &r)
{
    if constexpr (I < std::variant_size_v<Message>) {
        if (index != I)
            return decodeAs<I + 1>(index, r);
        std::variant_alternative_t<I, Message> m{};
        fields(r, m);
        return Message(std::move(m));
    } else {
        return std::nullopt;
    }
}

}   // namespace

void encode(const Message &m, std::string &out)
{
    const size_t start = out.size();
    out.append(4, '\0');
    out.push_back(static_cast<char>(m.index() + 1));
    Writer w(out);
    std::visit([&](const auto &v) { fields(w, v); }, m);
    const uint32_t len = static_cast<uint32_t>(out.size() - start - 4);
    std::memcpy(&out[start], &len, 4);
}

std::optional<Message> decodePayload(uint8_t type, std::string_view payload, std::string &err)
{
    if (type < 1 || type > std::variant_size_v<Message>) {
        err = "a message of unknown type " + std::to_string(type);
        return std::nullopt;
    }
    Reader r(payload);
    auto m = decodeAs(type - 1u, r);
    if (m)
        if (std::string p = problem(*m); !p.empty())
            r.bad(p);
    if (!r.done(err))
        return std::nullopt;
    if (auto *e = std::get_if<Event>(&*m))
        e->args.ir.toggleMask[sizeof e->args.ir.toggleMask - 1] = '\0';   // always a C string
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
