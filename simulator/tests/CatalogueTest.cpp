// The default rig's products follow our own catalogue scheme, and the
// catalogue document lists every one of them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tindrelsim.h"

namespace {

using nlohmann::json;

const std::regex kProductCode("^TDR[2-9][0-9]{3}_[0-9]$");
const std::regex kFamilyCode("^TDR[2-9][0-9]{3}$");

json defaultRig() { return json::parse(TindrelSim_defaultRigText()); }

std::string familyOf(const std::string &sku) { return sku.substr(0, sku.find('_')); }

bool isPortModeDevice(const json &d) { return d.value("hubPortDevice", false); }

// A firmware loader or a device in restore mode lists its upgrade channel in
// the rig; its firmware string names the product whose image it takes.
bool carriesAnotherProductsFirmware(const json &d)
{
    for (const auto &c : d.value("channels", json::array()))
        if (c.value("class", json()) == "FirmwareUpgrade")
            return true;
    return false;
}

}   // namespace

TEST(Catalogue, EveryProductCodeAndFamilyOfTheDefaultRigIsOurOwn)
{
    const json rig = defaultRig();
    std::set<std::string> families;
    for (const auto &d : rig.at("devices"))
        families.insert(familyOf(d.at("sku").get<std::string>()));

    int checked = 0;
    for (const auto &d : rig.at("devices")) {
        const std::string id = d.at("id").get<std::string>();
        ASSERT_TRUE(d.contains("sku")) << id << " relies on the generated code";
        const std::string sku = d.at("sku").get<std::string>();
        EXPECT_TRUE(std::regex_match(sku, kProductCode)) << id << ": " << sku;
        if (!d.contains("firmwareUpgradeString"))
            continue;
        const std::string family = d.at("firmwareUpgradeString").get<std::string>();
        EXPECT_TRUE(std::regex_match(family, kFamilyCode)) << id << ": " << family;
        if (carriesAnotherProductsFirmware(d)) {
            EXPECT_NE(family, familyOf(sku)) << id;
            EXPECT_TRUE(families.count(family)) << id << " loads " << family << ", which the rig does not have";
        } else {
            EXPECT_EQ(family, familyOf(sku)) << id;
        }
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

TEST(Catalogue, OneCodeNamesOneProductAndPortModesSitOnTheirHub)
{
    const json rig = defaultRig();
    std::map<std::string, std::string> nameOfCode, codeOfDevice;
    for (const auto &d : rig.at("devices"))
        codeOfDevice[d.at("id").get<std::string>()] = d.at("sku").get<std::string>();
    for (const auto &d : rig.at("devices")) {
        const std::string id = d.at("id").get<std::string>();
        const std::string sku = d.at("sku").get<std::string>();
        if (isPortModeDevice(d)) {
            EXPECT_EQ(sku, codeOfDevice[d.at("parent").get<std::string>()]) << id << " reports its hub's code";
            continue;
        }
        const auto [known, fresh] = nameOfCode.emplace(sku, d.at("name").get<std::string>());
        EXPECT_TRUE(fresh || known->second == d.at("name").get<std::string>())
            << sku << " is both " << known->second << " and " << d.at("name");
    }
}

TEST(Catalogue, DocumentListsEveryProductOfTheDefaultRig)
{
    std::ifstream file(TINDREL_CATALOGUE_FILE);
    ASSERT_TRUE(file) << TINDREL_CATALOGUE_FILE;
    std::stringstream text;
    text << file.rdbuf();
    std::set<std::string> rows;
    std::string line;
    while (std::getline(text, line))
        rows.insert(line);

    const json rig = defaultRig();
    for (const auto &d : rig.at("devices")) {
        if (isPortModeDevice(d))
            continue;
        const std::string cells = "| " + d.at("sku").get<std::string>() + " | " + d.at("name").get<std::string>() +
                                  " | " + std::to_string(d.at("deviceId").get<int>()) + " |";
        bool listed = false;
        for (const auto &row : rows)
            listed = listed || row.rfind(cells, 0) == 0;
        EXPECT_TRUE(listed) << "CATALOGUE.md lacks a row beginning " << cells;

        // The group table shows the number as taken.
        const std::string number = d.at("sku").get<std::string>().substr(3, 4);
        const std::string group = "| " + number.substr(0, 1) + "xxx |";
        bool taken = false;
        for (const auto &row : rows)
            taken = taken || (row.rfind(group, 0) == 0 && row.find(number) != std::string::npos);
        EXPECT_TRUE(taken) << "CATALOGUE.md's group table lacks " << number;
    }
}
