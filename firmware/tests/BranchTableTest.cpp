// Every firmware row of the rig document's branch table names a device of
// the default rig that really takes that branch with the shipped images.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "FirmwareCatalogue.h"
#include "FirmwareController.h"
#include "UpgradeDecision.h"
#include "tindrelsim.h"

using namespace tindrel::fw;
using json = nlohmann::json;

namespace {

struct Rig {
    json doc;
    std::map<std::string, json> devices;
    std::map<std::string, json> servers;
};

struct Device {
    const json &d;
    const Rig &rig;
    std::string id() const { return d.at("id"); }
    int devId() const { return d.at("deviceId"); }
    int devClass() const { return d.at("class"); }
    int version() const { return d.value("version", 0); }
    bool remote() const { return d.contains("server"); }
    std::string family() const { return d.value("firmwareUpgradeString", std::string()); }
    bool isLoader() const { return devId() == 102 || devId() == 103 || devId() == 143 || devId() == 145; }
    std::pair<int, int> serverVersion() const
    {
        if (!remote())
            return {0, 0};
        const json v = rig.servers.at(d.at("server")).value("version", json::array({2, 3}));
        return {v[0], v[1]};
    }
    // What the lookup finds: loaders report the same family and identifier.
    std::optional<FirmwareUpgrade> image(const std::vector<FirmwareUpgrade> &list) const
    {
        if (isLoader() && !d.value("identifies", true))
            return std::nullopt;
        return latestFirmware({QString::fromStdString(family()), devClass() == 21, d.value("xlnkId", 0u)}, list);
    }
    // As TindrelDevice::hasFirmwareUpgrade.
    bool red(const std::vector<FirmwareUpgrade> &list) const
    {
        auto fw = image(list);
        return fw && (fw->version > version() || devClass() == 23 || isLoader());
    }
    UpgradeDecision decision(const std::vector<FirmwareUpgrade> &list) const
    {
        const auto [major, minor] = serverVersion();
        return upgradeDecision({remote(), major, minor, devId(), devClass(), version(), image(list)->version});
    }
};

class BranchTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig.doc = json::parse(TindrelSim_defaultRigText());
        for (const auto &d : rig.doc.at("devices"))
            rig.devices[d.at("id")] = d;
        for (const auto &s : rig.doc.at("computers"))
            rig.servers[s.at("id")] = s;
        list = loadFirmwares(tindrel::FirmwareController::shippedFolder());
        std::ifstream in(TINDREL_IMAGES_JSON);
        const json images = json::parse(in);
        for (const auto &img : images.at("images"))
            described.push_back(img);
    }
    // The description of the image the device gets.
    json describedImage(const Device &dev) const
    {
        const auto fw = dev.image(list);
        for (const auto &img : described)
            if (fw && img.at("family") == dev.family() && img.at("version") == fw->version)
                return img;
        return json::object();
    }

    Rig rig;
    std::vector<FirmwareUpgrade> list;
    std::vector<json> described;
};

}   // namespace

TEST_F(BranchTable, EveryFirmwareRowHoldsForTheDefaultRig)
{
    using Kind = UpgradeDecision::Kind;
    const auto asks = [&](const Device &d) { return d.red(list) && d.decision(list).kind == Kind::Ask; };
    const auto oldServerRefuses = [&](int id) {
        return [&, id](const Device &d) {
            return d.devId() == id && d.red(list) && d.serverVersion() < std::pair(2, 3) &&
                   d.decision(list).kind == Kind::Refuse;
        };
    };
    const auto loader = [&](int id, bool onPort) {
        return [&, id, onPort](const Device &d) {
            return d.devId() == id && (d.devClass() == 21) == onPort && d.red(list) && d.d.contains("afterUpgrade");
        };
    };
    const std::map<std::string, std::function<bool(const Device &)>> branches = {
        {"newest of two images of one family and identifier",
         [&](const Device &d) {
             int same = 0;
             for (const auto &fw : list)
                 same += fw.fwString == QString::fromStdString(d.family()) && fw.xlnkId == d.d.value("xlnkId", 0u);
             return same >= 2 && asks(d);
         }},
        {"upgrade with the same major version",
         [&](const Device &d) { return asks(d) && d.decision(list).upgradeButton == 0 && d.devClass() != 23; }},
        {"major upgrade, decline is the default",
         [&](const Device &d) { return asks(d) && d.decision(list).upgradeButton == 1; }},
        {"up to date, not red",
         [&](const Device &d) { return d.image(list) && d.image(list)->version == d.version() && !d.red(list); }},
        {"newer than every image, not red",
         [&](const Device &d) { return d.image(list) && d.image(list)->version < d.version() && !d.red(list); }},
        {"image only for another hub-port identifier, not red",
         [&](const Device &d) {
             bool other = false;
             for (const auto &fw : list)
                 other = other ||
                         (fw.fwString == QString::fromStdString(d.family()) && fw.xlnkId != d.d.value("xlnkId", 0u));
             return d.devClass() == 21 && other && !d.image(list);
         }},
        {"no image of its family, not red",
         [&](const Device &d) { return !d.family().empty() && !d.image(list) && !d.isLoader(); }},
        {"hub upgraded through the hub channel", [&](const Device &d) { return d.devClass() == 8 && asks(d); }},
        {"restore mode",
         [&](const Device &d) {
             return d.devClass() == 23 && d.red(list) && d.decision(list).title == QStringLiteral("Firmware Restore") &&
                    d.d.contains("afterUpgrade");
         }},
        {"loader device 102", loader(102, false)},
        {"loader device 103 on a hub port", loader(103, true)},
        {"loader device 143", loader(143, false)},
        {"loader device 145 on a hub port", loader(145, true)},
        {"loader that never identifies, not red",
         [&](const Device &d) { return d.isLoader() && !d.d.value("identifies", true) && !d.red(list); }},
        {"server older than 2.3 refuses device 64", oldServerRefuses(64)},
        {"server older than 2.3 refuses device 67", oldServerRefuses(67)},
        {"server older than 2.3 refuses device 123", oldServerRefuses(123)},
        {"device 123 on a 2.3 server is offered the upgrade",
         [&](const Device &d) { return d.devId() == 123 && d.serverVersion() >= std::pair(2, 3) && asks(d); }},
        {"remote device upgraded on its server", [&](const Device &d) { return d.remote() && asks(d); }},
        {"image for another device refused",
         [&](const Device &d) {
             return asks(d) && describedImage(d).value("contentFamily", d.family()) != d.family();
         }},
        {"damaged image refused",
         [&](const Device &d) { return asks(d) && describedImage(d).value("damaged", false); }},
    };

    std::ifstream in(TINDREL_RIG_DOC);
    ASSERT_TRUE(in) << TINDREL_RIG_DOC;
    const std::regex row(R"(^\| Firmware upgrade \| (.+) \| (\S+) \|$)");
    std::set<std::string> seen;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, row))
            continue;
        const std::string branch = m[1], id = m[2];
        seen.insert(branch);
        const auto check = branches.find(branch);
        ASSERT_NE(check, branches.end()) << "no check for the branch \"" << branch << "\"";
        const auto device = rig.devices.find(id);
        ASSERT_NE(device, rig.devices.end()) << id << " is not in the default rig";
        EXPECT_TRUE(check->second(Device{device->second, rig})) << id << " does not take \"" << branch << "\"";
    }
    for (const auto &[branch, check] : branches)
        EXPECT_TRUE(seen.count(branch)) << "the branch table lacks \"" << branch << "\"";
}
