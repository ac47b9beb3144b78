// Last error per thread, error texts and the library log.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sim_internal.h"
#include "tindrelsim.h"

namespace {

struct LastError {
    TindrelReturnCode code = TINDREL_OK;
    std::string detail;
};
thread_local LastError lastError;
thread_local int failingLastErrorReads = 0;

struct CodeText {
    TindrelReturnCode code;
    const char *text;
};
const CodeText kCodeTexts[] = {
    {TINDREL_OK, "Success"},
    {TINDREL_ENOTPERMITTED, "Not Permitted"},
    {TINDREL_ENOENT, "No Such Entity"},
    {TINDREL_ETIMEDOUT, "Timed Out"},
    {TINDREL_EINTERRUPTED, "Interrupted"},
    {TINDREL_EIO, "IO Issue"},
    {TINDREL_ENOMEMORY, "Memory Issue"},
    {TINDREL_EACCESS, "Access (Permission) Issue"},
    {TINDREL_EFAULT, "Address Issue"},
    {TINDREL_EBUSY, "Resource Busy"},
    {TINDREL_EEXIST, "Object Exists"},
    {TINDREL_ENOTDIR, "Object is not a directory"},
    {TINDREL_EISDIR, "Object is a directory"},
    {TINDREL_EUNSUPPORTED, "Not Supported"},
    {TINDREL_EINVALIDARG, "Invalid Argument"},
    {TINDREL_ENOSPC, "No Space"},
    {TINDREL_EUNEXPECTED, "Unexpected Error"},
    {TINDREL_EPIPE, "Broken Pipe"},
    {TINDREL_EBADVERSION, "Bad Version"},
    {TINDREL_EUNKNOWNVAL, "Unknown or Invalid Value"},
    {TINDREL_ENOTATTACHED, "Device not Attached"},
    {TINDREL_EINVALIDPACKET, "Invalid or Unexpected Packet"},
    {TINDREL_ETOOBIG, "Argument List Too Long"},
    {TINDREL_EBADCLASS, "Wrong Channel Class"},
    {TINDREL_EDUPLICATE, "Duplicate"},
    {TINDREL_ECLOSED, "Closed"},
    {TINDREL_EINVALIDSTATE, "Invalid State"},
    {TINDREL_EWRONGDEVICE, "Wrong Device"},
};

const char *textFor(TindrelReturnCode code)
{
    for (const auto &ct : kCodeTexts)
        if (ct.code == code)
            return ct.text;
    return nullptr;
}

// The log: a file (or standard error) and a level, guarded by a mutex.
struct FileCloser {
    void operator()(FILE *f) const
    {
        if (f && f != stderr)
            std::fclose(f);
    }
};
struct Log {
    std::mutex m;
    std::unique_ptr<FILE, FileCloser> file;
    std::atomic<int> level{0};
};
Log &theLog()
{
    static Log *log = new Log;   // never destroyed: library threads may log during exit
    return *log;
}

const char *levelName(Tindrel_LogLevel l)
{
    static const char *const names[] = {"", "CRIT", "ERROR", "WARN", "INFO", "DEBUG", "VERBOSE"};
    return (l >= 1 && l <= 6) ? names[l] : "?";
}

}   // namespace

namespace tsim {

std::string vstrprintf(const char *fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string s(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, ap);
    s.resize(static_cast<size_t>(n));
    return s;
}

std::string strprintf(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vstrprintf(fmt, ap);
    va_end(ap);
    return s;
}

TindrelReturnCode fail(TindrelReturnCode code, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    lastError.code = code;
    lastError.detail = vstrprintf(fmt, ap);
    va_end(ap);
    logLine(TINDREL_LOG_ERROR, "error 0x%02x (%s): %s", static_cast<unsigned>(code), Tindrel_strerror(code),
            lastError.detail.c_str());
    return code;
}

TindrelReturnCode ok() { return TINDREL_OK; }

void logLine(Tindrel_LogLevel level, const char *fmt, ...)
{
    Log &log = theLog();
    if (static_cast<int>(level) > log.level.load(std::memory_order_relaxed))
        return;
    va_list ap;
    va_start(ap, fmt);
    std::string text = vstrprintf(fmt, ap);
    va_end(ap);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::lock_guard<std::mutex> lk(log.m);
    if (!log.file)
        return;
    std::fprintf(log.file.get(), "%s [%s] %s\n", stamp, levelName(level), text.c_str());
    std::fflush(log.file.get());
}

}   // namespace tsim

using namespace tsim;

extern "C" {

TindrelReturnCode Tindrel_getLastError(TindrelReturnCode *code, const char **description, char *detail,
                                       size_t *detailLen)
{
    // Never changes the stored error, so the two-call pattern sees the same text twice.
    if (!detailLen)
        return TINDREL_EFAULT;
    if (failingLastErrorReads > 0) {
        --failingLastErrorReads;
        return TINDREL_EUNEXPECTED;
    }
    if (code)
        *code = lastError.code;
    if (description)
        *description = Tindrel_strerror(lastError.code);
    size_t need = lastError.detail.size() + 1;
    if (!detail) {
        *detailLen = need;
        return TINDREL_OK;
    }
    if (*detailLen < need) {
        *detailLen = need;
        return TINDREL_ENOSPC;
    }
    std::memcpy(detail, lastError.detail.c_str(), need);
    *detailLen = need;
    return TINDREL_OK;
}

TindrelReturnCode Tindrel_getErrorDescription(TindrelReturnCode code, const char **description)
{
    if (!description)
        return fail(TINDREL_EFAULT, "Description pointer is NULL");
    const char *t = textFor(code);
    if (!t)
        return fail(TINDREL_EINVALIDARG, "Unknown return code %d", code);
    *description = t;
    return TINDREL_OK;
}

const char *Tindrel_strerror(TindrelReturnCode code)
{
    const char *t = textFor(code);
    return t ? t : "Unknown Error";
}

TindrelReturnCode TindrelLog_enable(Tindrel_LogLevel level, const char *path)
{
    if (level < TINDREL_LOG_CRITICAL || level > TINDREL_LOG_VERBOSE)
        return fail(TINDREL_EINVALIDARG, "Log level %d is out of range (1 - 6)", static_cast<int>(level));
    std::unique_ptr<FILE, FileCloser> f;
    if (path) {
        f.reset(std::fopen(path, "a"));
        if (!f)
            return fail(TINDREL_EIO, "Cannot open log file %s: %s", path, std::strerror(errno));
    } else {
        f.reset(stderr);
    }
    Log &log = theLog();
    {
        std::lock_guard<std::mutex> lk(log.m);
        log.file = std::move(f);
        log.level = level;
    }
    logLine(TINDREL_LOG_INFO, "log enabled at level %d", static_cast<int>(level));
    return TINDREL_OK;
}

TindrelReturnCode TindrelLog_disable(void)
{
    Log &log = theLog();
    std::lock_guard<std::mutex> lk(log.m);
    log.level = 0;
    log.file.reset();
    return TINDREL_OK;
}

TindrelReturnCode TindrelSim_failLastErrorReads(int count)
{
    failingLastErrorReads = count > 0 ? count : 0;
    return TINDREL_OK;
}

}   // extern "C"
