// Placement and removal against the simulated device library: the tree is
// fed by a manager's attach and detach events, as the main window feeds it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "DeviceTree.h"
#include "tindrelsim.h"

namespace {

const char *const kRig = R"({
  "computers": [
    {"id": "lab", "name": "Lab", "uniqueName": "lab-unique", "host": "lab.local", "port": 5661, "type": 2, "present": false},
    {"id": "shop", "name": "Shop", "uniqueName": "shop-unique", "host": "shop.local", "port": 5661, "type": 2, "present": false}
  ],
  "devices": [
    {"id": "din", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "version": 100,
     "channels": [{"class": 5, "index": 1, "name": "Input"}, {"class": 5, "index": 0, "name": "Input"}]},
    {"id": "din2", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 999, "version": 100,
     "present": false, "channels": [{"class": 5}]},
    {"id": "single", "deviceId": 11, "class": 1, "name": "Single Relay", "serial": 1001, "version": 100,
     "present": false, "channels": [{"class": 6, "index": 3}]},
    {"id": "hub", "deviceId": 12, "class": 8, "name": "Port Hub", "serial": 2000, "version": 100,
     "present": false, "channels": [{"class": 13}]},
    {"id": "p2di", "deviceId": 13, "class": 21, "name": "Port Digital Input", "parent": "hub", "hubPort": 2,
     "hubPortDevice": true, "present": false, "channels": [{"class": 5}]},
    {"id": "p2do", "deviceId": 14, "class": 21, "name": "Port Digital Output", "parent": "hub", "hubPort": 2,
     "hubPortDevice": true, "present": false, "channels": [{"class": 6}]},
    {"id": "hum", "deviceId": 15, "class": 21, "name": "Humidity Sensor", "parent": "hub", "hubPort": 2,
     "present": false, "channels": [{"class": 5}]},
    {"id": "volt", "deviceId": 16, "class": 21, "name": "Voltage Sensor", "parent": "hub", "hubPort": 10,
     "present": false, "channels": [{"class": 6, "count": 2}]},
    {"id": "labBoard", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "server": "lab",
     "channels": [{"class": 5}]},
    {"id": "shopBoard", "deviceId": 10, "class": 1, "name": "Digital Board", "serial": 1000, "server": "shop",
     "channels": [{"class": 5}]}
  ]
})";

using namespace std::chrono_literals;

// A tree fed by its own manager; every access goes through the lock.
class FedTree {
public:
    FedTree()
    {
        TindrelManager_create(&manager_);
        TindrelManager_setOnAttachHandler(manager_, &FedTree::onAttach, this);
        TindrelManager_setOnDetachHandler(manager_, &FedTree::onDetach, this);
        TindrelManager_open(manager_);
    }
    ~FedTree()
    {
        TindrelManager_close(manager_);
        TindrelManager_delete(&manager_);
    }

    // Waits (10 s at most) until check holds for the tree.
    bool waitFor(const std::function<bool(DeviceTree &)> &check)
    {
        std::unique_lock<std::mutex> lock(m_);
        return changed_.wait_for(lock, 10s, [&] { return check(tree_); });
    }
    template <class F>
    auto with(F f)
    {
        std::lock_guard<std::mutex> lock(m_);
        return f(tree_);
    }

    std::vector<QString> newDevices;   // names, in order of creation
    std::vector<DeviceTree::AttachResult> attaches;
    std::vector<bool> detachRemoved;   // per detach event: did it remove a row?
    int hiddenAttaches = 0;            // class 13

private:
    static void onAttach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        auto *self = static_cast<FedTree *>(ctx);
        std::lock_guard<std::mutex> lock(self->m_);
        auto r = self->tree_.attach(ch, [self](TindrelHandle device, TindrelDevice *node) {
            // The handle is usable during the call and reads the same device.
            const char *name = nullptr;
            Tindrel_getDeviceName(device, &name);
            EXPECT_EQ(QString::fromUtf8(name), node->devname);
            self->newDevices.push_back(node->name());
        });
        if (!r.placed)
            ++self->hiddenAttaches;
        self->attaches.push_back(r);
        self->changed_.notify_all();
    }
    static void onDetach(TindrelManagerHandle, void *ctx, TindrelHandle ch)
    {
        auto *self = static_cast<FedTree *>(ctx);
        std::lock_guard<std::mutex> lock(self->m_);
        self->detachRemoved.push_back(self->tree_.detach(ch).removed);
        self->changed_.notify_all();
    }

    std::mutex m_;
    std::condition_variable changed_;
    DeviceTree tree_;
    TindrelManagerHandle manager_ = nullptr;
};

int channelCount(const TindrelTreeNode &n)
{
    int c = dynamic_cast<const TindrelChannel *>(&n) ? 1 : 0;
    for (const auto &k : n.children())
        c += channelCount(*k);
    return c;
}

TindrelTreeNode *childNamed(const TindrelTreeNode &n, const QString &name)
{
    for (const auto &k : n.children())
        if (k->name() == name)
            return k.get();
    return nullptr;
}

QStringList names(const TindrelTreeNode &n)
{
    QStringList out;
    for (const auto &k : n.children())
        out << k->name();
    return out;
}

class DeviceTreeSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        char err[512] = {};
        ASSERT_EQ(TindrelSim_loadRigText(kRig, "tree rig", err, sizeof err), TINDREL_OK) << err;
    }
    void TearDown() override { TindrelSim_clear(); }
};

}   // namespace

TEST_F(DeviceTreeSim, TwoChannelsOfOneDeviceShareOneNodeAndOneLookup)
{
    FedTree fed;
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 2; }));
    fed.with([&](DeviceTree &t) {
        ASSERT_EQ(names(t.root()), QStringList{QStringLiteral("Local Tindrels")});
        const TindrelTreeNode &local = *t.root().children().front();
        ASSERT_EQ(names(local), QStringList{QStringLiteral("Digital Board")});
        auto *board = dynamic_cast<TindrelDevice *>(local.children().front().get());
        ASSERT_NE(board, nullptr);
        EXPECT_EQ(board->devSerial, 1000);
        EXPECT_EQ(board->serialNumber, 1000);
        EXPECT_EQ(board->version, 100);
        EXPECT_EQ(board->devId, 10);
        EXPECT_TRUE(board->canExpand());
        // Channels of the same name sort by their index.
        ASSERT_EQ(board->children().size(), 2u);
        EXPECT_EQ(board->children()[0]->channel, 0);
        EXPECT_EQ(board->children()[1]->channel, 1);
        EXPECT_EQ(fed.newDevices, std::vector<QString>{QStringLiteral("Digital Board")});
        // The first event added the computer; the second found the device.
        ASSERT_EQ(fed.attaches.size(), 2u);
        EXPECT_TRUE(fed.attaches[0].computerAdded);
        EXPECT_EQ(fed.attaches[0].refresh, &local);
        EXPECT_EQ(fed.attaches[0].top, board);
        EXPECT_FALSE(fed.attaches[1].computerAdded);
        EXPECT_EQ(fed.attaches[1].refresh, board);
        EXPECT_EQ(fed.attaches[1].top, board);
    });

    // Same name, other serial number: a second row, sorted by serial.
    ASSERT_EQ(TindrelSim_attachDevice("din2"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 3; }));
    fed.with([](DeviceTree &t) {
        const TindrelTreeNode &local = *t.root().children().front();
        ASSERT_EQ(local.children().size(), 2u);
        EXPECT_EQ(local.children()[0]->serialNumber, 999);
        EXPECT_EQ(local.children()[1]->serialNumber, 1000);
    });
}

TEST_F(DeviceTreeSim, SingleChannelDeviceIsALeafAndDetachRemovesTheWholeRowOnce)
{
    FedTree fed;
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 2; }));
    ASSERT_EQ(TindrelSim_attachDevice("single"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 3; }));
    fed.with([](DeviceTree &t) {
        const TindrelTreeNode *single = childNamed(*t.root().children().front(), QStringLiteral("Single Relay"));
        ASSERT_NE(single, nullptr);
        EXPECT_FALSE(single->canExpand());
        EXPECT_EQ(single->channelForTable(), 3);
    });

    // The board's two channels detach one after the other: the first takes
    // the whole device row, the late second finds nothing and changes nothing.
    ASSERT_EQ(TindrelSim_detachDevice("din"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([&](DeviceTree &) { return fed.detachRemoved.size() == 2; }));
    fed.with([&](DeviceTree &t) {
        EXPECT_EQ(fed.detachRemoved, (std::vector<bool>{true, false}));
        EXPECT_EQ(names(*t.root().children().front()), QStringList{QStringLiteral("Single Relay")});
    });

    // The last local device gone, the local computer row goes too.
    ASSERT_EQ(TindrelSim_detachDevice("single"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return t.root().children().empty(); }));
    EXPECT_EQ(fed.with([](DeviceTree &t) { return t.indexedNodeCount(); }), 0u);
}

TEST_F(DeviceTreeSim, HubPortsHoldTheirDevicesAndClass13IsNeverShown)
{
    FedTree fed;
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 2; }));
    // The hub alone has only its class-13 channel: nothing is shown.
    ASSERT_EQ(TindrelSim_attachDevice("hub"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([&](DeviceTree &) { return fed.hiddenAttaches == 1; }));
    fed.with([](DeviceTree &t) { EXPECT_EQ(childNamed(*t.root().children().front(), "Port Hub"), nullptr); });

    for (const char *id : {"p2di", "p2do"})
        ASSERT_EQ(TindrelSim_attachDevice(id), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 4; }));
    fed.with([&](DeviceTree &t) {
        const TindrelTreeNode *hub = childNamed(*t.root().children().front(), QStringLiteral("Port Hub"));
        ASSERT_NE(hub, nullptr);
        EXPECT_TRUE(hub->shouldExpand());
        ASSERT_EQ(names(*hub), QStringList{QStringLiteral("Port 2")});
        const auto *port = dynamic_cast<const HubPortNode *>(hub->children().front().get());
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->devSerial, 2000);
        EXPECT_FALSE(port->xlnkDeviceAttached());
        EXPECT_EQ(port->childCountForTable(), 2);
        const auto *portMode = dynamic_cast<const TindrelDevice *>(port->children().front().get());
        ASSERT_NE(portMode, nullptr);
        EXPECT_EQ(portMode->hubPort, 2);
        EXPECT_EQ(portMode->serialNumber, std::nullopt);   // blank serial column
        EXPECT_EQ(portMode->devSerial, 2000);              // still the hub's serial
        // The hub was new with the first port device; the second found the port.
        EXPECT_EQ(fed.attaches.back().refresh, port);
        EXPECT_EQ(fed.attaches.back().top, port);
    });

    // A plugged-in device: the port shows only it, and should expand.
    ASSERT_EQ(TindrelSim_attachDevice("hum"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 5; }));
    fed.with([](DeviceTree &t) {
        const TindrelTreeNode *hub = childNamed(*t.root().children().front(), QStringLiteral("Port Hub"));
        const auto *port = dynamic_cast<const HubPortNode *>(hub->children().front().get());
        EXPECT_TRUE(port->shouldExpand());
        ASSERT_EQ(port->childCountForTable(), 1);
        EXPECT_EQ(port->childForTable(0)->name(), QStringLiteral("Humidity Sensor"));
        EXPECT_EQ(port->children().size(), 3u);   // the port-mode devices stay in the list
    });

    // A second port sorts by plain text ("Port 10" before "Port 2"); emptied, it goes.
    ASSERT_EQ(TindrelSim_attachDevice("volt"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 7; }));
    fed.with([](DeviceTree &t) {
        const TindrelTreeNode *hub = childNamed(*t.root().children().front(), QStringLiteral("Port Hub"));
        EXPECT_EQ(names(*hub), (QStringList{"Port 10", "Port 2"}));
    });
    ASSERT_EQ(TindrelSim_detachDevice("volt"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 5; }));
    ASSERT_EQ(TindrelSim_detachDevice("hum"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 4; }));
    fed.with([](DeviceTree &t) {
        const TindrelTreeNode *hub = childNamed(*t.root().children().front(), QStringLiteral("Port Hub"));
        ASSERT_NE(hub, nullptr);
        EXPECT_EQ(names(*hub), QStringList{QStringLiteral("Port 2")});
        EXPECT_EQ(hub->children().front()->childCountForTable(), 2);
    });
}

TEST_F(DeviceTreeSim, RemoteServersGetTheirOwnComputerAndArePrunedWhenEmpty)
{
    // Remote devices are seen only while device-server discovery is on.
    struct Discovery {
        Discovery() { TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICE); }
        ~Discovery() { TindrelNet_disableServerDiscovery(TINDRELSERVER_DEVICE); }
    } discovery;
    FedTree fed;
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 2; }));
    ASSERT_EQ(TindrelSim_addServer("lab"), TINDREL_OK);
    ASSERT_EQ(TindrelSim_addServer("shop"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 4; }));
    fed.with([](DeviceTree &t) {
        EXPECT_EQ(names(t.root()), (QStringList{"Local Tindrels", "Remote Server: Lab (lab.local)",
                                                "Remote Server: Shop (shop.local)"}));
        for (int i = 1; i <= 2; ++i) {
            const auto *server = dynamic_cast<const ComputerNode *>(t.root().children()[static_cast<size_t>(i)].get());
            ASSERT_NE(server, nullptr);
            EXPECT_TRUE(server->isRemote);
            ASSERT_EQ(server->children().size(), 1u);
            const auto *board = dynamic_cast<const TindrelDevice *>(server->children().front().get());
            ASSERT_NE(board, nullptr);
            EXPECT_TRUE(board->isRemote);
            EXPECT_EQ(board->serverUniqueName, server->serverUniqueName);
            EXPECT_EQ(board->devSerial, 1000);
            // The index agrees with the plain search.
            const TindrelDevice &probe = *board;
            EXPECT_EQ(t.find(probe, t.root()), TindrelTreeNode::FindNode(probe, t.root()));
        }
    });
    ASSERT_EQ(TindrelSim_removeServer("lab"), TINDREL_OK);
    ASSERT_TRUE(fed.waitFor([](DeviceTree &t) { return channelCount(t.root()) == 3; }));
    fed.with([](DeviceTree &t) {
        EXPECT_EQ(names(t.root()), (QStringList{"Local Tindrels", "Remote Server: Shop (shop.local)"}));
    });
}
