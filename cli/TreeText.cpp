#include "TreeText.h"

#include <algorithm>

#include "Arguments.h"
#include "ClassTable.h"

namespace tindrel::cli {

namespace {

std::string className(int number, const QString &libraryName)
{
    if (const ClassInfo *c = classByNumber(number))
        return c->name;
    return libraryName.toStdString();
}

const ComputerNode *computerOf(const TindrelTreeNode &node)
{
    for (const TindrelTreeNode *n = &node; n; n = n->parent())
        if (const auto *c = dynamic_cast<const ComputerNode *>(n))
            return c;
    return nullptr;
}

void collect(const TindrelTreeNode &node, std::vector<ChannelEntry> &out)
{
    for (const auto &child : node.children()) {
        if (const auto *ch = dynamic_cast<const TindrelChannel *>(child.get()))
            out.push_back({ch, deviceOf(*ch), addressOf(*ch)});
        collect(*child, out);
    }
}

struct Row {
    std::string name, serial, port, channel, cls, version, address;
};

std::string number(const std::optional<int32_t> &v) { return v ? std::to_string(*v) : std::string(); }

void rows(const TindrelTreeNode &node, int depth, std::vector<Row> &out)
{
    Row r;
    r.name = std::string(static_cast<size_t>(depth) * 2, ' ') + node.name().toStdString();
    if (const auto *d = dynamic_cast<const TindrelDevice *>(&node)) {
        r.serial = std::to_string(d->devSerial);
        if (d->devClass == TINDREL_DEVCLASS_XLNK)
            r.port = std::to_string(d->hubPort);
        r.version = number(d->version);
        if (d->hubPortDevice)
            r.name += " (port mode)";
    } else if (const auto *p = dynamic_cast<const HubPortNode *>(&node)) {
        r.serial = std::to_string(p->devSerial);
    } else if (const auto *c = dynamic_cast<const TindrelChannel *>(&node)) {
        const OpenSettings a = addressOf(*c);
        r.serial = std::to_string(a.serialNumber);
        if (const TindrelDevice *d = deviceOf(*c); d && d->devClass == TINDREL_DEVCLASS_XLNK)
            r.port = std::to_string(a.hubPort);
        r.channel = number(c->channel);
        r.cls = className(c->chClass, c->chClsName);
        r.address = addressText(a);
    }
    out.push_back(std::move(r));
    for (const auto &child : node.children())
        rows(*child, depth + 1, out);
}

}   // namespace

const TindrelDevice *deviceOf(const TindrelTreeNode &node)
{
    for (const TindrelTreeNode *n = node.parent(); n; n = n->parent())
        if (const auto *d = dynamic_cast<const TindrelDevice *>(n))
            return d;
    return nullptr;
}

OpenSettings addressOf(const TindrelChannel &channel)
{
    OpenSettings a;
    a.channel = channel.channel.value_or(0);
    if (const TindrelDevice *d = deviceOf(channel)) {
        a.serialNumber = d->devSerial;
        if (d->devClass == TINDREL_DEVCLASS_XLNK)
            a.hubPort = d->hubPort;
        a.hubPortDevice = d->hubPortDevice;
    }
    if (const ComputerNode *c = computerOf(channel); c && c->isRemote) {
        a.remote = true;
        if (!c->serverName.isEmpty())
            a.serverName = c->serverName;
    }
    return a;
}

std::vector<ChannelEntry> channelsOf(const TindrelTreeNode &root)
{
    std::vector<ChannelEntry> out;
    collect(root, out);
    return out;
}

std::string treeTable(const TindrelTreeNode &root)
{
    std::vector<Row> all{{"DEVICE / CHANNEL", "SERIAL", "PORT", "CH", "CLASS", "VERSION", "ADDRESS"}};
    for (const auto &computer : root.children())
        rows(*computer, 0, all);
    size_t w[6] = {};
    for (const Row &r : all) {
        const std::string *cells[6] = {&r.name, &r.serial, &r.port, &r.channel, &r.cls, &r.version};
        for (size_t i = 0; i < 6; ++i)
            w[i] = std::max(w[i], cells[i]->size());
    }
    std::string out;
    for (const Row &r : all) {
        const std::string *cells[7] = {&r.name, &r.serial, &r.port, &r.channel, &r.cls, &r.version, &r.address};
        std::string line;
        for (size_t i = 0; i < 7; ++i) {
            line += *cells[i];
            if (i < 6)
                line += std::string(w[i] - cells[i]->size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

nlohmann::ordered_json addressJson(const OpenSettings &a)
{
    nlohmann::ordered_json j;
    j["serialNumber"] = a.serialNumber;
    j["hubPort"] = a.hubPort;
    j["channel"] = a.channel;
    j["hubPortDevice"] = a.hubPortDevice;
    j["remote"] = a.opensRemotely();
    if (a.serverName)
        j["serverName"] = a.serverName->toStdString();
    if (a.label)
        j["label"] = a.label->toStdString();
    j["flags"] = addressText(a);
    return j;
}

nlohmann::ordered_json channelJson(const ChannelEntry &e)
{
    nlohmann::ordered_json j;
    j["kind"] = "channel";
    j["name"] = e.node->name().toStdString();
    j["class"] = className(e.node->chClass, e.node->chClsName);
    j["classNumber"] = e.node->chClass;
    j["subclass"] = e.node->chSubClass;
    j["channel"] = e.node->channel.value_or(0);
    if (e.device) {
        j["deviceName"] = e.device->devname.toStdString();
        j["deviceId"] = e.device->devId;
    }
    j["address"] = addressJson(e.address);
    return j;
}

namespace {

nlohmann::ordered_json nodeJson(const TindrelTreeNode &node)
{
    nlohmann::ordered_json j;
    if (const auto *c = dynamic_cast<const ComputerNode *>(&node)) {
        j["kind"] = "computer";
        j["name"] = c->name().toStdString();
        j["remote"] = c->isRemote;
        if (c->isRemote) {
            j["serverName"] = c->serverName.toStdString();
            j["serverHost"] = c->serverHostName.toStdString();
        }
    } else if (const auto *d = dynamic_cast<const TindrelDevice *>(&node)) {
        j["kind"] = "device";
        j["name"] = d->devname.toStdString();
        j["serialNumber"] = d->devSerial;
        j["deviceId"] = d->devId;
        j["deviceClass"] = d->devClass;
        j["version"] = d->version.value_or(0);
        if (d->devClass == TINDREL_DEVCLASS_XLNK)
            j["hubPort"] = d->hubPort;
        j["hubPortDevice"] = d->hubPortDevice;
        j["remote"] = d->isRemote;
    } else if (const auto *p = dynamic_cast<const HubPortNode *>(&node)) {
        j["kind"] = "hubPort";
        j["name"] = p->name().toStdString();
        j["hubSerialNumber"] = p->devSerial;
    } else if (const auto *ch = dynamic_cast<const TindrelChannel *>(&node)) {
        return channelJson({ch, deviceOf(*ch), addressOf(*ch)});
    } else {
        j["kind"] = "node";
        j["name"] = node.name().toStdString();
    }
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const auto &child : node.children())
        children.push_back(nodeJson(*child));
    j["children"] = std::move(children);
    return j;
}

}   // namespace

nlohmann::ordered_json treeJson(const TindrelTreeNode &root)
{
    nlohmann::ordered_json computers = nlohmann::ordered_json::array();
    for (const auto &computer : root.children())
        computers.push_back(nodeJson(*computer));
    nlohmann::ordered_json j;
    j["computers"] = std::move(computers);
    return j;
}

}   // namespace tindrel::cli
