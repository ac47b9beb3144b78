#include "SbcLibrary.h"

#include "tindrel22extra.h"

namespace tindrel::server {

const char *KvAnnouncement::text(const char *key, const char *def) const { return kvgetstrc(kv_, key, def); }

int32_t KvAnnouncement::number(const char *key, int32_t def) const { return kvgeti32(kv_, key, def); }

std::optional<std::vector<QString>> LibraryAddressResolver::resolve(const QString &host)
{
    constexpr int kIPv4 = 2;
    const QByteArray name = host.toUtf8();
    char *list[kMaxAddresses] = {};
    uint32_t count = kMaxAddresses;
    if (TindrelNet_getServerAddressList(name.constData(), kIPv4, list, &count) != TINDREL_OK)
        return std::nullopt;
    // The strings are the library's until its next call on this thread.
    std::vector<QString> out;
    for (uint32_t i = 0; i < count && i < kMaxAddresses; ++i)
        if (list[i])
            out.push_back(QString::fromUtf8(list[i]));
    return out;
}

}   // namespace tindrel::server
