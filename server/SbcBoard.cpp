#include "SbcBoard.h"

#include <QStringList>

namespace tindrel::server {

namespace {

QString utf8(const char *text) { return text ? QString::fromUtf8(text) : QString(); }

constexpr int kMacStart = 12;
constexpr int kMacLength = 17;

}   // namespace

TindrelSBC TindrelSBC::initWithServer(const TindrelServer &server, const Announcement &kv)
{
    TindrelSBC sbc = initWithServer(server);
    sbc.firmware = utf8(kv.text("fversion", sbctexts::kDefaultFirmware));
    sbc.version = kv.number("hversion", 0);
    sbc.deviceName = utf8(kv.text("name", sbctexts::kDefaultDeviceName));
    sbc.host = utf8(server.host);
    if (const char *hostname = kv.text("hostname", nullptr))
        sbc.hostname = utf8(hostname);
    else
        sbc.hostname = hostnameWithoutLocal(sbc.host);
    sbc.macAddr = macAddressFromName(sbc.name);
    sbc.addr = utf8(server.addr);
    sbc.port = server.port;
    return sbc;
}

TindrelSBC TindrelSBC::initWithServer(const TindrelServer &server)
{
    TindrelSBC sbc;
    sbc.name = utf8(server.name);
    return sbc;
}

QString hostnameWithoutLocal(const QString &host)
{
    static const QString local = QStringLiteral(".local");
    QString out;
    out.reserve(host.size());
    for (qsizetype i = 0; i < host.size();) {
        const qsizetype end = i + local.size();
        if (host.mid(i, local.size()).compare(local, Qt::CaseInsensitive) == 0 &&
            (end == host.size() || host.at(end) == QLatin1Char('.'))) {
            i = end;
            // "board.local." loses its final dot with the domain.
            if (i + 1 == host.size())
                ++i;
            continue;
        }
        out.append(host.at(i++));
    }
    return out;
}

QString macAddressFromName(const QString &name)
{
    if (name.size() < kMacStart + kMacLength)
        return {};
    return name.mid(kMacStart, kMacLength);
}

QString boardUrl(const QString &addr)
{
    const QString trimmed = addr.trimmed();
    if (trimmed.isEmpty())
        return {};
    // Only IPv6 addresses hold colons; a zone ("%eth0") is written "%25eth0".
    if (trimmed.contains(QLatin1Char(':'))) {
        QString inBrackets = trimmed;
        inBrackets.replace(QLatin1Char('%'), QStringLiteral("%25"));
        return QStringLiteral("http://[%1]").arg(inBrackets);
    }
    return QStringLiteral("http://") + trimmed;
}

QString addressesText(const std::optional<std::vector<QString>> &addresses)
{
    if (!addresses || addresses->empty())
        return QString::fromLatin1(sbctexts::kErrorLoading);
    return QStringList(addresses->begin(), addresses->end()).join(QStringLiteral(", "));
}

}   // namespace tindrel::server
