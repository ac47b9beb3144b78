// Configuration trees for the network server daemon's files, stored as TOML.
//
// A key is a dotted path: "tindrel.www.enabled" names the value "enabled" in
// the table "www" inside the table "tindrel". Values written through the API
// are always strings; values read from a file keep their TOML type, and the
// getters convert where the conversion is unambiguous (a "true" string is a
// boolean, a "5661" string an integer).

#include <toml++/toml.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pconf_text.h"
#include "tindrel22extra.h"

struct pconf {
    toml::table root;
    bool createMissing = false;
    // Text of non-string values handed out by pconf_getstr, kept alive here.
    std::map<std::string, std::string, std::less<>> renderedValues;
};

namespace {

// Files larger than this are refused instead of read into memory.
constexpr long kMaxFileSize = 16L * 1024 * 1024;

void writeError(char *errbuf, size_t errbufLen, const std::string &message)
{
    if (errbuf == nullptr || errbufLen == 0)
        return;
    const size_t n = std::min(message.size(), errbufLen - 1);
    std::memcpy(errbuf, message.data(), n);
    errbuf[n] = '\0';
}

// Looks a key up without changing anything; null when any part is missing or
// passes through something that is not a table.
const toml::node *lookup(const pconf *pc, const std::vector<std::string> &parts)
{
    const toml::table *table = &pc->root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const toml::node *child = table->get(parts[i]);
        if (child == nullptr || !child->is_table())
            return nullptr;
        table = child->as_table();
    }
    return table->get(parts.back());
}

std::optional<std::vector<std::string>> keyParts(const char *fmt, va_list ap)
{
    const std::optional<std::string> key = tindrel::pconfFormatKey(fmt, ap);
    if (!key)
        return std::nullopt;
    return tindrel::pconfSplitKey(*key);
}

const toml::node *lookupFormatted(pconf *pc, const char *fmt, va_list ap)
{
    if (pc == nullptr)
        return nullptr;
    const auto parts = keyParts(fmt, ap);
    if (!parts)
        return nullptr;
    return lookup(pc, *parts);
}

std::optional<int64_t> integerOf(const toml::node *node)
{
    if (node == nullptr)
        return std::nullopt;
    if (const auto *i = node->as_integer())
        return i->get();
    if (const auto *s = node->as_string())
        return tindrel::pconfParseInteger(s->get());
    return std::nullopt;
}

struct ReadFailure {
    TindrelReturnCode code;
    std::string problem;
};

// Reads a whole regular file. Anything else (a directory, a pipe that would
// block, a device) is refused rather than read.
std::optional<ReadFailure> readConfigFile(const std::string &path, std::string &text)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return ReadFailure{errno == ENOENT ? TINDREL_ENOENT : TINDREL_EIO,
                           std::string("cannot open: ") + std::strerror(errno)};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info { };
    if (fstat(fd, &info) != 0)
        return ReadFailure{TINDREL_EIO, std::string("cannot read: ") + std::strerror(errno)};
    if (!S_ISREG(info.st_mode))
        return ReadFailure{S_ISDIR(info.st_mode) ? TINDREL_EISDIR : TINDREL_EINVALIDARG, "not a regular file"};
    if (info.st_size > kMaxFileSize)
        return ReadFailure{TINDREL_ETOOBIG, "file is larger than 16 MiB"};
    char chunk[16384];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            return std::nullopt;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadFailure{TINDREL_EIO, std::string("cannot read: ") + std::strerror(errno)};
        }
        text.append(chunk, static_cast<size_t>(n));
        if (static_cast<long>(text.size()) > kMaxFileSize)
            return ReadFailure{TINDREL_ETOOBIG, "file is larger than 16 MiB"};
    }
}

template <typename Fn>
auto guarded(Fn &&fn, decltype(fn()) onFailure) noexcept -> decltype(fn())
{
    try {
        return fn();
    } catch (...) {
        return onFailure;
    }
}

// Whether text parses to the same tree.
bool readsBackAs(const std::string &text, const toml::table &root)
{
    try {
        return toml::parse(text) == root;
    } catch (const toml::parse_error &) {
        return false;
    }
}

int parseText(pconf_t **pc, char *errbuf, size_t errbufLen, std::string_view text, const std::string &source)
{
    if (pc == nullptr) {
        writeError(errbuf, errbufLen, source + ": no place for the configuration");
        return TINDREL_EFAULT;
    }
    if (!tindrel::pconfIsValidUtf8(text)) {
        writeError(errbuf, errbufLen, source + ": the text is not valid UTF-8");
        return TINDREL_EINVALIDARG;
    }
    auto config = std::make_unique<pconf>();
    try {
        config->root = toml::parse(text, source);
    } catch (const toml::parse_error &error) {
        writeError(errbuf, errbufLen,
                   source + ":" + std::to_string(error.source().begin.line) + ":" +
                       std::to_string(error.source().begin.column) + ": " + std::string(error.description()));
        return TINDREL_EINVALIDARG;
    }
    *pc = config.release();
    writeError(errbuf, errbufLen, "");
    return TINDREL_OK;
}

}   // namespace

extern "C" {

int pconf_parsepcs(pconf_t **pc, char *errbuf, size_t errbufLen, const char *text)
{
    if (text == nullptr) {
        writeError(errbuf, errbufLen, "(text): no text given");
        return TINDREL_EFAULT;
    }
    return guarded([&] { return parseText(pc, errbuf, errbufLen, text, "(text)"); }, TINDREL_ENOMEMORY);
}

int pconf_parsepc(pconf_t **pc, char *errbuf, size_t errbufLen, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const std::optional<std::string> path = guarded([&] { return tindrel::pconfFormatKey(fmt, ap); }, std::nullopt);
    va_end(ap);
    if (!path || path->empty()) {
        writeError(errbuf, errbufLen, "no configuration file path given");
        return TINDREL_EINVALIDARG;
    }
    return guarded(
        [&]() -> int {
            std::string text;
            if (const std::optional<ReadFailure> failure = readConfigFile(*path, text)) {
                writeError(errbuf, errbufLen, *path + ": " + failure->problem);
                return failure->code;
            }
            return parseText(pc, errbuf, errbufLen, text, *path);
        },
        TINDREL_ENOMEMORY);
}

int pconf_create(pconf_t **pc)
{
    if (pc == nullptr)
        return TINDREL_EFAULT;
    pconf_t *created = new (std::nothrow) pconf();
    if (created == nullptr)
        return TINDREL_ENOMEMORY;
    *pc = created;
    return TINDREL_OK;
}

void pconf_release(pconf_t **pc)
{
    if (pc == nullptr)
        return;
    delete *pc;
    *pc = nullptr;
}

int pconf_setcreatemissing(pconf_t *pc, int createMissing)
{
    if (pc == nullptr)
        return TINDREL_EFAULT;
    pc->createMissing = createMissing != 0;
    return TINDREL_OK;
}

int pconf_getbool(pconf_t *pc, int def, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const toml::node *node = guarded([&] { return lookupFormatted(pc, fmt, ap); }, nullptr);
    va_end(ap);
    if (node == nullptr)
        return def;
    if (const auto *b = node->as_boolean())
        return b->get() ? 1 : 0;
    if (const auto *s = node->as_string()) {
        if (s->get() == "true")
            return 1;
        if (s->get() == "false")
            return 0;
    }
    return def;
}

int32_t pconf_get32(pconf_t *pc, int32_t def, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const toml::node *node = guarded([&] { return lookupFormatted(pc, fmt, ap); }, nullptr);
    va_end(ap);
    const std::optional<int64_t> value = integerOf(node);
    if (!value || *value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max())
        return def;
    return static_cast<int32_t>(*value);
}

uint32_t pconf_getu32(pconf_t *pc, uint32_t def, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const toml::node *node = guarded([&] { return lookupFormatted(pc, fmt, ap); }, nullptr);
    va_end(ap);
    const std::optional<int64_t> value = integerOf(node);
    if (!value || *value < 0 || *value > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
        return def;
    return static_cast<uint32_t>(*value);
}

const char *pconf_getstr(pconf_t *pc, const char *def, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    const auto parts = guarded([&] { return pc == nullptr ? std::nullopt : keyParts(fmt, ap); }, std::nullopt);
    va_end(ap);
    if (!parts)
        return def;
    return guarded(
        [&]() -> const char * {
            const toml::node *node = lookup(pc, *parts);
            if (node == nullptr)
                return def;
            if (const auto *s = node->as_string())
                return s->get().c_str();
            // Plain scalars have an obvious text; tables, arrays and dates do not.
            std::string text;
            if (const auto *i = node->as_integer())
                text = std::to_string(i->get());
            else if (const auto *b = node->as_boolean())
                text = b->get() ? "true" : "false";
            else if (const auto *f = node->as_floating_point()) {
                std::ostringstream os;
                os << *f;
                text = os.str();
            } else
                return def;
            std::string joined;
            for (const std::string &part : *parts)
                joined.append(part).push_back('.');
            std::string &slot = pc->renderedValues[joined];
            if (slot != text)
                slot = std::move(text);
            return slot.c_str();
        },
        def);
}

int pconf_set(pconf_t *pc, const char *value, const char *fmt, ...)
{
    if (pc == nullptr || value == nullptr)
        return TINDREL_EFAULT;
    va_list ap;
    va_start(ap, fmt);
    const auto parts = guarded([&] { return keyParts(fmt, ap); }, std::nullopt);
    va_end(ap);
    if (!parts)
        return TINDREL_EINVALIDARG;
    // A value that would make the rendered file unreadable is refused.
    if (!tindrel::pconfIsValidUtf8(value))
        return TINDREL_EINVALIDARG;
    return guarded(
        [&]() -> int {
            toml::table *table = &pc->root;
            for (size_t i = 0; i + 1 < parts->size(); ++i) {
                const std::string &part = (*parts)[i];
                toml::node *child = table->get(part);
                if (child == nullptr) {
                    if (!pc->createMissing)
                        return TINDREL_ENOENT;
                    child = &table->insert(part, toml::table{}).first->second;
                }
                if (!child->is_table())
                    return TINDREL_ENOTDIR;   // a plain value cannot hold keys
                table = child->as_table();
            }
            const toml::node *existing = table->get(parts->back());
            if (existing == nullptr && !pc->createMissing)
                return TINDREL_ENOENT;
            if (existing != nullptr && existing->is_table())
                return TINDREL_EISDIR;   // would silently drop everything below it
            table->insert_or_assign(parts->back(), std::string(value));
            return TINDREL_OK;
        },
        TINDREL_ENOMEMORY);
}

int pconf_remove(pconf_t *pc, const char *fmt, ...)
{
    if (pc == nullptr)
        return TINDREL_EFAULT;
    va_list ap;
    va_start(ap, fmt);
    const auto parts = guarded([&] { return keyParts(fmt, ap); }, std::nullopt);
    va_end(ap);
    if (!parts)
        return TINDREL_EINVALIDARG;
    toml::table *table = &pc->root;
    for (size_t i = 0; i + 1 < parts->size(); ++i) {
        toml::node *child = table->get((*parts)[i]);
        if (child == nullptr || !child->is_table())
            return TINDREL_ENOENT;
        table = child->as_table();
    }
    return table->erase(parts->back()) > 0 ? TINDREL_OK : TINDREL_ENOENT;
}

int pconf_renderpc(pconf_t *pc, char *buf, size_t bufLen)
{
    if (buf != nullptr && bufLen > 0)
        buf[0] = '\0';
    if (pc == nullptr || buf == nullptr)
        return TINDREL_EFAULT;
    return guarded(
        [&]() -> int {
            const auto render = [&](toml::format_flags flags) {
                std::ostringstream os;
                os << toml::toml_formatter(pc->root, flags);
                return os.str();
            };
            constexpr auto flags = toml::toml_formatter::default_flags & ~toml::format_flags::indentation;
            std::string text = render(flags);
            // The formatter's literal strings cannot hold every text: a value
            // holding ''' and a line end came out as a file that no longer
            // parsed. What does not read back the same is written again with
            // basic strings and escapes only.
            if (!readsBackAs(text, pc->root))
                text = render(flags & ~toml::format_flags::allow_literal_strings &
                              ~toml::format_flags::allow_multi_line_strings);
            if (!text.empty() && text.back() != '\n')
                text.push_back('\n');
            if (text.size() + 1 > bufLen)
                return TINDREL_ENOSPC;
            std::memcpy(buf, text.c_str(), text.size() + 1);
            return TINDREL_OK;
        },
        TINDREL_ENOMEMORY);
}

}   // extern "C"
