// The board list's two ways into the device library: reading an
// announcement's key/value record, and resolving a board's host name on the
// local network (as discovery found it, not through the machine's name
// service).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "SbcBoard.h"
#include "tindrel22_core.h"

namespace tindrel::server {

class KvAnnouncement : public Announcement {
public:
    explicit KvAnnouncement(kv_t kv)
        : kv_(kv)
    { }
    const char *text(const char *key, const char *def) const override;
    int32_t number(const char *key, int32_t def) const override;

private:
    kv_t kv_;
};

// Resolves a host name to IPv4 addresses. Blocking; called on a background
// thread, so an implementation must be safe to call from any thread.
class BoardAddressResolver {
public:
    static constexpr int kMaxAddresses = 5;
    virtual ~BoardAddressResolver() = default;
    // Nothing when the host cannot be resolved.
    virtual std::optional<std::vector<QString>> resolve(const QString &host) = 0;
};

class LibraryAddressResolver : public BoardAddressResolver {
public:
    std::optional<std::vector<QString>> resolve(const QString &host) override;
};

}   // namespace tindrel::server
