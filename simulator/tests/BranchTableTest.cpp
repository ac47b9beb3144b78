// Every row of the motor windows' branch table in the rig document names a
// device of the default rig that takes that branch.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tindrelsim.h"

namespace {

using nlohmann::json;

struct Row {
    std::string window, branch, device;
    int line = 0;
};

std::vector<Row> branchRows()
{
    std::ifstream in(TINDREL_RIG_DOC_FILE);
    std::vector<Row> rows;
    std::string text;
    bool inTable = false;
    int line = 0;
    const std::regex row(R"(^\|\s*(\w+)\s*\|\s*([^|]+?)\s*\|\s*`([^`]+)`\s*\|\s*$)");
    while (std::getline(in, text)) {
        ++line;
        // The motor windows' rows; other families check their own sections.
        if (text.rfind("#", 0) == 0)
            inTable = text == "### Motors";
        std::smatch m;
        if (inTable && std::regex_match(text, m, row))
            rows.push_back({m[1], m[2], m[3], line});
    }
    return rows;
}

}   // namespace

TEST(BranchTable, EveryMotorWindowRowIsReachableInTheDefaultRig)
{
    const json rig = json::parse(TindrelSim_defaultRigText());
    std::map<std::string, json> devices;
    for (const auto &d : rig.at("devices"))
        devices[d.at("id").get<std::string>()] = d;

    const std::vector<Row> rows = branchRows();
    ASSERT_GT(rows.size(), 10u) << "the branch table of RIG.md was not found";
    // The device IDs a window names, for its fall-through rows.
    std::map<std::string, std::set<int>> named;
    const std::regex deviceBranch(R"(^device ID (\d+)$)"), subclassBranch(R"(^subclass (\d+)$)");
    for (const Row &r : rows) {
        std::smatch m;
        if (std::regex_match(r.branch, m, deviceBranch))
            named[r.window].insert(std::stoi(m[1]));
    }
    for (const Row &r : rows) {
        SCOPED_TRACE("RIG.md line " + std::to_string(r.line) + ": " + r.window + " / " + r.branch);
        auto it = devices.find(r.device);
        ASSERT_NE(it, devices.end()) << r.device << " is not in the default rig";
        const json &d = it->second;
        EXPECT_TRUE(d.value("present", true)) << r.device << " is not plugged in at start";
        const json *channel = nullptr;
        for (const auto &c : d.value("channels", json::array()))
            if (c.at("class") == r.window)
                channel = &c;
        ASSERT_NE(channel, nullptr) << r.device << " has no " << r.window << " channel";
        const int id = d.at("deviceId").get<int>();
        std::smatch m;
        if (std::regex_match(r.branch, m, deviceBranch))
            EXPECT_EQ(id, std::stoi(m[1]));
        else if (std::regex_match(r.branch, m, subclassBranch))
            EXPECT_EQ(channel->value("subclass", 1), std::stoi(m[1]));
        else if (r.branch == "other device ID")
            EXPECT_FALSE(named[r.window].count(id)) << "device ID " << id << " has a row of its own";
        else
            EXPECT_EQ(r.branch, "any") << "unknown kind of branch";
    }
}
