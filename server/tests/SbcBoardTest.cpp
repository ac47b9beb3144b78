#include "SbcBoard.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace tindrel::server;

namespace {

class MapAnnouncement : public Announcement {
public:
    explicit MapAnnouncement(std::map<std::string, std::string> items)
        : items_(std::move(items))
    { }
    const char *text(const char *key, const char *def) const override
    {
        const auto it = items_.find(key);
        return it == items_.end() ? def : it->second.c_str();
    }
    int32_t number(const char *key, int32_t def) const override
    {
        const auto it = items_.find(key);
        return it == items_.end() ? def : std::stoi(it->second);
    }

private:
    std::map<std::string, std::string> items_;
};

TindrelServer server(const char *name, const char *host, const char *addr = "192.168.7.30")
{
    return TindrelServer{name, "SBC", TINDRELSERVER_SBC, 0, addr, host, 5661};
}

}   // namespace

TEST(SbcRecord, AnnouncementWithEveryKeyFillsEveryProperty)
{
    const MapAnnouncement kv(
        {{"name", "Workshop SBC"}, {"hversion", "4"}, {"fversion", "1.1.3"}, {"hostname", "tindrelsbc"}});
    const TindrelSBC sbc =
        TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:5e:1a)", "tindrelsbc-5e1a.local"), kv);
    EXPECT_EQ(sbc.name, QStringLiteral("TindrelSBC (02:7d:1e:00:5e:1a)"));
    EXPECT_EQ(sbc.deviceName, QStringLiteral("Workshop SBC"));
    EXPECT_EQ(sbc.version, 4);
    EXPECT_EQ(sbc.firmware, QStringLiteral("1.1.3"));
    EXPECT_EQ(sbc.hostname, QStringLiteral("tindrelsbc")) << "the announced name wins over the host's";
    EXPECT_EQ(sbc.macAddr, QStringLiteral("02:7d:1e:00:5e:1a"));
    EXPECT_EQ(sbc.host, QStringLiteral("tindrelsbc-5e1a.local"));
    EXPECT_EQ(sbc.addr, QStringLiteral("192.168.7.30"));
    EXPECT_EQ(sbc.port, 5661);
}

TEST(SbcRecord, MissingKeysGiveTheDefaultsAndTheHostWithoutItsDomain)
{
    const TindrelSBC sbc =
        TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:61:07)", "sbc-6107.local"), MapAnnouncement({}));
    EXPECT_EQ(sbc.deviceName, QStringLiteral("TindrelSBC"));
    EXPECT_EQ(sbc.version, 0);
    EXPECT_EQ(sbc.firmware, QStringLiteral("none"));
    EXPECT_EQ(sbc.hostname, QStringLiteral("sbc-6107"));
}

TEST(SbcRecord, TextsAreUtf8AndAShortNameHoldsNoMacAddress)
{
    const MapAnnouncement kv({{"name", "Gew\xc3\xa4\x63hshaus"}, {"fversion", "2.0\xce\xb2"}});
    const TindrelSBC sbc = TindrelSBC::initWithServer(server("TindrelSBC-greenhouse", "gh.local"), kv);
    EXPECT_EQ(sbc.deviceName, QString::fromUtf8("Gew\xc3\xa4\x63hshaus"));
    EXPECT_EQ(sbc.firmware, QString::fromUtf8("2.0\xce\xb2"));
    EXPECT_TRUE(sbc.macAddr.isEmpty());
    EXPECT_TRUE(macAddressFromName(QStringLiteral("TindrelSBC (02:7d:1e:00:61:0")).isEmpty()) << "28 characters";
    EXPECT_EQ(macAddressFromName(QStringLiteral("TindrelSBC (02:7d:1e:00:61:07")), QStringLiteral("02:7d:1e:00:61:07"));
}

TEST(SbcRecord, RecordsAreEqualByNameOnly)
{
    const TindrelSBC full =
        TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:5e:1a)", "a.local", "10.0.0.1"),
                                   MapAnnouncement(std::map<std::string, std::string>{{"name", "A"}}));
    const TindrelSBC other =
        TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:5e:1a)", "b.local", "10.0.0.2"),
                                   MapAnnouncement(std::map<std::string, std::string>{{"name", "B"}}));
    const TindrelSBC removal = TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:5e:1a)", "", ""));
    EXPECT_TRUE(full.isEqualToTindrelSBC(other));
    EXPECT_TRUE(full == removal);
    EXPECT_TRUE(removal.host.isEmpty()) << "a removal record holds only the name";
    EXPECT_FALSE(full == TindrelSBC::initWithServer(server("TindrelSBC (02:7d:1e:00:5e:1b)", "a.local")));
}

TEST(SbcRecord, OnlyTheLocalDomainLeavesTheHostName)
{
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("board.local")), QStringLiteral("board"));
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("board.local.")), QStringLiteral("board"));
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("Board.LOCAL")), QStringLiteral("Board"));
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("a.local.b.local")), QStringLiteral("a.b"));
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("my.localnet.local")), QStringLiteral("my.localnet"));
    EXPECT_EQ(hostnameWithoutLocal(QStringLiteral("board")), QStringLiteral("board"));
    EXPECT_EQ(hostnameWithoutLocal(QString()), QString());
}

TEST(SbcRecord, WebPageAndAddressTexts)
{
    EXPECT_EQ(boardUrl(QStringLiteral("192.168.7.30")), QStringLiteral("http://192.168.7.30"));
    EXPECT_EQ(boardUrl(QStringLiteral("fe80::7d1e:ff:fe00:6107")), QStringLiteral("http://[fe80::7d1e:ff:fe00:6107]"));
    EXPECT_EQ(boardUrl(QStringLiteral("fe80::1%eth0")), QStringLiteral("http://[fe80::1%25eth0]"));
    EXPECT_TRUE(boardUrl(QStringLiteral(" ")).isEmpty());
    EXPECT_EQ(addressesText(std::vector<QString>{QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.6")}),
              QStringLiteral("10.0.0.5, 10.0.0.6"));
    EXPECT_EQ(addressesText(std::nullopt), QStringLiteral("Error Loading"));
    EXPECT_EQ(addressesText(std::vector<QString>{}), QStringLiteral("Error Loading")) << "nothing found is no success";
}
