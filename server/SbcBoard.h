// One single-board computer found by the network discovery, and the pure
// rules that turn an announcement into what the board list shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "tindrel22_core.h"

namespace tindrel::server {

// Reads the key/value record of an announcement; missing keys (and, for
// numbers, values that are not whole 32-bit numbers) give the default.
class Announcement {
public:
    virtual ~Announcement() = default;
    virtual const char *text(const char *key, const char *def) const = 0;
    virtual int32_t number(const char *key, int32_t def) const = 0;
};

class TindrelSBC {
public:
    QString name;         // the announced server name; a board's identity
    QString deviceName;   // the board's own name
    QString hostname;     // its local host name, as it calls itself
    QString macAddr;
    QString firmware;
    QString addr;   // the announced address, then the last one resolved
    QString host;   // the host name discovery found it under
    int32_t version = 0;
    int port = 0;

    // A full record from an announcement.
    static TindrelSBC initWithServer(const TindrelServer &server, const Announcement &kv);
    // A record holding only the name: enough to find the board to remove.
    static TindrelSBC initWithServer(const TindrelServer &server);

    bool isEqualToTindrelSBC(const TindrelSBC &other) const { return name == other.name; }
    bool operator==(const TindrelSBC &other) const { return isEqualToTindrelSBC(other); }
};

namespace sbctexts {
inline const char *const kDefaultDeviceName = "TindrelSBC";
inline const char *const kDefaultFirmware = "none";
inline const char *const kLoading = "Loading...";
inline const char *const kErrorLoading = "Error Loading";
}   // namespace sbctexts

// The host name without its ".local" domain, wherever that ends a label
// ("board.local" and "board.local." become "board"; "my.localnet" stays).
QString hostnameWithoutLocal(const QString &host);
// The MAC address a board puts in its server name: 17 characters from the
// 12th (counting from 0); empty when the name is too short to hold one.
QString macAddressFromName(const QString &name);
// The board's web page: "http://" and the address (IPv6 in brackets), no
// port, no path; empty when there is no address.
QString boardUrl(const QString &addr);
// What the address label shows for a resolution: the addresses joined by
// ", ", or the error text when there are none.
QString addressesText(const std::optional<std::vector<QString>> &addresses);

}   // namespace tindrel::server
