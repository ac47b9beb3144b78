// tindrel list: the device tree, once or followed as devices come and go.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "Arguments.h"
#include "ClassTable.h"
#include "Commands.h"
#include "DeviceTree.h"
#include "Enumerate.h"
#include "Lookup.h"
#include "ManagerEvents.h"
#include "OpenChannel.h"
#include "Signals.h"
#include "TreeText.h"

namespace tindrel::cli {

namespace {

constexpr OptionSpec kOptions[] = {{"json", false}, {"watch", false}, {"settle", true}, {"local", false}};

// One attach or detach as --watch prints it, read from the event's handle.
nlohmann::ordered_json changeJson(TindrelHandle ch, bool attached)
{
    TindrelChannel node(ch);
    const OpenSettings a = attachedAddress(ch);
    const char *deviceName = nullptr;
    Tindrel_getDeviceName(ch, &deviceName);
    nlohmann::ordered_json j;
    j["event"] = attached ? "attach" : "detach";
    const ClassInfo *cls = classByNumber(node.chClass);
    j["class"] = cls ? cls->name : node.chClsName.toStdString();
    j["name"] = node.name().toStdString();
    j["channel"] = a.channel;
    j["deviceName"] = deviceName ? deviceName : "";
    j["address"] = addressJson(a);
    return j;
}

std::string changeText(const nlohmann::ordered_json &j)
{
    return (j["event"] == "attach" ? "attached  " : "detached  ") + j["class"].get<std::string>() + "  \"" +
           j["name"].get<std::string>() + "\" of " + j["deviceName"].get<std::string>() + "  " +
           j["address"]["flags"].get<std::string>() + "\n";
}

}   // namespace

int runList(Words words)
{
    std::string problem;
    auto args = parseArguments(words, kOptions, &problem);
    if (!args)
        return report(kExitUsage, "list: " + problem);
    if (!args->positional.empty() || args->address().any())
        return report(kExitUsage, "usage: tindrel list [--json] [--watch] [--local] [--settle MS]");
    long long settleMs = kDefaultSettleMs;
    if (auto f = numberOption(*args, "settle", 0, 60000, &settleMs))
        return report(f->status, f->message);
    const bool json = args->has("json");
    const bool watch = args->has("watch");

    std::atomic<bool> stop{false};
    std::unique_ptr<SimulatorControl> control;
    DeviceTree tree;
    bool following = false;
    ManagerEvents manager([&](TindrelHandle ch, bool attached) {
        if (following) {
            const auto change = changeJson(ch, attached);
            std::fputs(json ? (change.dump() + "\n").c_str() : changeText(change).c_str(), stdout);
            std::fflush(stdout);
        }
        if (attached)
            tree.attach(ch);
        else
            tree.detach(ch);
    });
    // Destroyed before the manager: the signal thread may wake it.
    std::unique_ptr<StopSignals> stopSignals;
    if (watch) {
        stopSignals = std::make_unique<StopSignals>([&] {
            stop = true;
            manager.wake();
        });
        control = std::make_unique<SimulatorControl>();
    }
    if (auto f = manager.open(!args->has("local")))
        return report(f->status, f->message);
    settle(manager, static_cast<int>(settleMs), [&] { return stop.load(); });

    if (json) {
        auto j = treeJson(tree.root());
        if (watch) {
            nlohmann::ordered_json line;
            line["event"] = "list";
            line["computers"] = j["computers"];
            std::printf("%s\n", line.dump().c_str());
        } else {
            std::printf("%s\n", j.dump(2).c_str());
        }
    } else {
        std::fputs(treeTable(tree.root()).c_str(), stdout);
    }
    std::fflush(stdout);
    if (watch) {
        following = true;
        while (!stop)
            manager.serve(std::chrono::steady_clock::now() + std::chrono::hours(1), [&] { return stop.load(); });
    }
    manager.stop();
    return kExitOk;
}

}   // namespace tindrel::cli
