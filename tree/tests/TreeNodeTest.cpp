// Node rules that need no device library: identity, order, expansion, the
// hub port's table view, the search, and the index behind DeviceTree::find.
#include <gtest/gtest.h>

#include <random>

#include "DeviceTree.h"
#include "TindrelTreeNode.h"

namespace {

struct DeviceSpec {
    QString name = QStringLiteral("Device");
    int32_t serial = 100;
    int32_t devClass = 1;
    int32_t hubPort = 0;
    bool remote = false;
    QString unique;
    int32_t devId = 5;
    int32_t version = 100;
    bool portMode = false;
};

std::unique_ptr<TindrelDevice> device(const DeviceSpec &s)
{
    auto d = std::make_unique<TindrelDevice>();
    d->devname = s.name;
    d->setName(s.name);
    d->devSerial = s.serial;
    d->devClass = s.devClass;
    d->hubPort = s.hubPort;
    d->isRemote = s.remote;
    d->serverUniqueName = s.unique;
    d->devId = s.devId;
    d->version = s.version;
    d->hubPortDevice = s.portMode;
    if (s.devClass != TINDREL_DEVCLASS_XLNK)
        d->serialNumber = s.serial;
    return d;
}

std::unique_ptr<TindrelChannel> channel(int index, int32_t cls = TINDREL_CHCLASS_DIGITALINPUT,
                                        const QString &name = QStringLiteral("Digital Input"))
{
    auto c = std::make_unique<TindrelChannel>();
    c->setName(name);
    c->channel = index;
    c->chClass = cls;
    return c;
}

std::unique_ptr<ComputerNode> computer(bool remote, const QString &unique = {})
{
    auto c = std::make_unique<ComputerNode>();
    c->isRemote = remote;
    c->serverUniqueName = unique;
    c->serverName = unique;
    c->serverHostName = unique + QStringLiteral(".local");
    c->updateName();
    return c;
}

QStringList childNames(const TindrelTreeNode &n)
{
    QStringList out;
    for (const auto &c : n.children())
        out << c->name();
    return out;
}

}   // namespace

TEST(TreeNodeEquality, DevicesCompareByIdentityFieldsOnly)
{
    const DeviceSpec base;
    const auto a = device(base);
    struct Case {
        const char *what;
        void (*change)(DeviceSpec &);
        bool equal;
    };
    const Case cases[] = {
        {"serial", [](DeviceSpec &s) { s.serial = 101; }, false},
        {"class", [](DeviceSpec &s) { s.devClass = 2; }, false},
        {"hub port", [](DeviceSpec &s) { s.hubPort = 3; }, false},
        {"remote flag", [](DeviceSpec &s) { s.remote = true; }, false},
        {"device id", [](DeviceSpec &s) { s.devId = 6; }, false},
        {"device name", [](DeviceSpec &s) { s.name = QStringLiteral("Other"); }, false},
        {"version", [](DeviceSpec &s) { s.version = 200; }, true},
        {"port-mode flag", [](DeviceSpec &s) { s.portMode = true; }, true},
        {"unique name of a local device", [](DeviceSpec &s) { s.unique = QStringLiteral("x"); }, true},
    };
    for (const Case &c : cases) {
        DeviceSpec other = base;
        c.change(other);
        const auto b = device(other);
        EXPECT_EQ(a->isEqual(*b), c.equal) << c.what;
        EXPECT_EQ(b->isEqual(*a), c.equal) << c.what;
        EXPECT_EQ(a->identityKey() == b->identityKey(), c.equal) << c.what;
    }
    // Remote devices also need the same server.
    DeviceSpec r1 = base, r2 = base;
    r1.remote = r2.remote = true;
    r1.unique = QStringLiteral("alpha");
    r2.unique = QStringLiteral("beta");
    EXPECT_FALSE(device(r1)->isEqual(*device(r2)));
    EXPECT_NE(device(r1)->identityKey(), device(r2)->identityKey());
    r2.unique = r1.unique;
    EXPECT_TRUE(device(r1)->isEqual(*device(r2)));
}

TEST(TreeNodeEquality, ComputersPortsChannelsAndMixedKinds)
{
    EXPECT_TRUE(computer(false)->isEqual(*computer(false)));
    EXPECT_TRUE(computer(true, "a")->isEqual(*computer(true, "a")));
    EXPECT_FALSE(computer(true, "a")->isEqual(*computer(true, "b")));
    EXPECT_FALSE(computer(true, "a")->isEqual(*computer(false)));

    EXPECT_TRUE(HubPortNode(2, 500).isEqual(HubPortNode(2, 500)));
    EXPECT_FALSE(HubPortNode(2, 500).isEqual(HubPortNode(3, 500)));
    EXPECT_FALSE(HubPortNode(2, 500).isEqual(HubPortNode(2, 501)));

    // A node of another kind is equal only to itself.
    const auto d = device({});
    const TindrelTreeNode plain(d->name());
    EXPECT_FALSE(d->isEqual(plain));
    EXPECT_FALSE(plain.isEqual(*d));
    EXPECT_FALSE(computer(false)->isEqual(HubPortNode(0, 0)));
    EXPECT_TRUE(plain.isEqual(plain));

    // Channels: index, class, and equal parents (or none).
    EXPECT_TRUE(channel(0)->isEqual(*channel(0)));
    EXPECT_FALSE(channel(0)->isEqual(*channel(1)));
    EXPECT_FALSE(channel(0)->isEqual(*channel(0, TINDREL_CHCLASS_DIGITALOUTPUT)));
    auto p1 = device({}), p2 = device({});
    DeviceSpec other;
    other.serial = 7;
    auto p3 = device(other);
    auto *c1 = p1->addChild(channel(0));
    auto *c2 = p2->addChild(channel(0));
    auto *c3 = p3->addChild(channel(0));
    EXPECT_TRUE(c1->isEqual(*c2));
    EXPECT_FALSE(c1->isEqual(*c3));
    EXPECT_FALSE(c1->isEqual(*channel(0)));
}

TEST(TreeNodeSort, NameThenSerialThenChannelWithPlainTextOrder)
{
    TindrelTreeNode root;
    root.addChild(std::make_unique<HubPortNode>(2, 1));
    root.addChild(std::make_unique<HubPortNode>(10, 1));
    root.addChild(std::make_unique<HubPortNode>(1, 1));
    root.sort();
    EXPECT_EQ(childNames(root), (QStringList{"Port 1", "Port 10", "Port 2"}));

    TindrelTreeNode byNumbers;
    DeviceSpec s;
    s.serial = 30;
    byNumbers.addChild(device(s));
    s.serial = 20;
    byNumbers.addChild(device(s));
    byNumbers.addChild(channel(3, TINDREL_CHCLASS_DIGITALINPUT, QStringLiteral("Device")));
    byNumbers.addChild(channel(1, TINDREL_CHCLASS_DIGITALINPUT, QStringLiteral("Device")));
    byNumbers.addChild(channel(2, TINDREL_CHCLASS_DIGITALINPUT, QStringLiteral("a lower-case name")));
    byNumbers.sort();
    std::vector<std::pair<std::optional<int32_t>, std::optional<int32_t>>> keys;
    for (const auto &c : byNumbers.children())
        keys.emplace_back(c->serialNumberForTable(), c->channelForTable());
    // Upper case before lower case; absent serial numbers before present ones.
    EXPECT_EQ(byNumbers.children().back()->name(), QStringLiteral("a lower-case name"));
    const std::vector<std::pair<std::optional<int32_t>, std::optional<int32_t>>> expected{
        {std::nullopt, 1}, {std::nullopt, 3}, {20, std::nullopt}, {30, std::nullopt}, {std::nullopt, 2}};
    EXPECT_EQ(keys, expected);

    // Sorting is one level deep.
    auto *sub = byNumbers.children().front().get();
    sub->addChild(channel(9, 1, QStringLiteral("z")));
    sub->addChild(channel(8, 1, QStringLiteral("y")));
    byNumbers.sort();
    EXPECT_EQ(childNames(*sub), (QStringList{"z", "y"}));
}

TEST(TreeNodeSort, SortedInsertionMatchesAppendThenSortEvenAfterRenames)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 50; ++round) {
        TindrelTreeNode fast, slow;
        for (int i = 0; i < 60; ++i) {
            DeviceSpec s;
            s.name = QStringLiteral("D%1").arg(rng() % 12);
            s.serial = static_cast<int32_t>(rng() % 5);
            s.devId = i;   // tells equal-sorting nodes apart
            fast.insertChildSorted(device(s));
            slow.addChild(device(s));
            slow.sort();
            const size_t pick = rng() % fast.children().size();
            switch (rng() % 4) {
            case 0: {   // rename a node in both lists
                const QString n = QStringLiteral("R%1").arg(rng() % 12);
                auto *f = static_cast<TindrelDevice *>(fast.children()[pick].get());
                for (const auto &c : slow.children())
                    if (static_cast<TindrelDevice *>(c.get())->devId == f->devId)
                        c->setName(n);
                f->setName(n);
                break;
            }
            case 1: {   // a device gains a channel: its channel column changes
                auto *f = static_cast<TindrelDevice *>(fast.children()[pick].get());
                const int index = static_cast<int>(rng() % 4);
                for (const auto &c : slow.children())
                    if (static_cast<TindrelDevice *>(c.get())->devId == f->devId)
                        c->addChild(channel(index));
                f->addChild(channel(index));
                break;
            }
            default:
                break;
            }
        }
        ASSERT_EQ(fast.children().size(), slow.children().size());
        for (size_t i = 0; i < fast.children().size(); ++i)
            ASSERT_EQ(static_cast<TindrelDevice *>(fast.children()[i].get())->devId,
                      static_cast<TindrelDevice *>(slow.children()[i].get())->devId)
                << "round " << round << " position " << i;
    }
}

TEST(TreeNodeExpansion, SingleChannelDeviceIsALeafShowingItsChannel)
{
    auto d = device({});
    EXPECT_FALSE(d->canExpand());
    EXPECT_EQ(d->channelForTable(), std::nullopt);

    d->addChild(channel(4));
    EXPECT_FALSE(d->canExpand());
    EXPECT_EQ(d->channelForTable(), 4);

    d->addChild(channel(5));
    EXPECT_TRUE(d->canExpand());
    EXPECT_EQ(d->channelForTable(), std::nullopt);

    // A single child that is not a channel (a hub port) makes it expandable.
    auto hub = device({});
    hub->addChild(std::make_unique<HubPortNode>(0, 100));
    EXPECT_TRUE(hub->canExpand());

    DeviceSpec hubSpec;
    hubSpec.devClass = TINDREL_DEVCLASS_HUB;
    EXPECT_TRUE(device(hubSpec)->shouldExpand());
    EXPECT_FALSE(device({})->shouldExpand());
    EXPECT_TRUE(computer(false)->shouldExpand());
    EXPECT_FALSE(TindrelTreeNode().shouldExpand());
}

TEST(TreeNodeHubPort, ShowsThePluggedDeviceOrElseItsPortModeDevices)
{
    HubPortNode port(3, 500);
    EXPECT_EQ(port.name(), QStringLiteral("Port 3"));
    DeviceSpec portMode;
    portMode.devClass = TINDREL_DEVCLASS_XLNK;
    portMode.portMode = true;
    portMode.name = QStringLiteral("Digital Input Mode");
    port.addChild(device(portMode));
    portMode.name = QStringLiteral("Voltage Input Mode");
    port.addChild(device(portMode));
    EXPECT_FALSE(port.xlnkDeviceAttached());
    EXPECT_FALSE(port.shouldExpand());
    EXPECT_EQ(port.childCountForTable(), 2);
    EXPECT_EQ(port.childForTable(1)->name(), QStringLiteral("Voltage Input Mode"));

    DeviceSpec real;
    real.devClass = TINDREL_DEVCLASS_XLNK;
    real.name = QStringLiteral("Humidity Sensor");
    TindrelTreeNode *plugged = port.addChild(device(real));
    EXPECT_TRUE(port.xlnkDeviceAttached());
    EXPECT_TRUE(port.shouldExpand());
    EXPECT_EQ(port.childCountForTable(), 1);
    EXPECT_EQ(port.childForTable(0), plugged);
    EXPECT_EQ(port.childForTable(1), nullptr);

    port.removeChild(plugged);
    EXPECT_EQ(port.childCountForTable(), 2);
    EXPECT_EQ(port.childForTable(0)->name(), QStringLiteral("Digital Input Mode"));
}

TEST(TreeNodeFirmware, UpgradeOfferedByVersionRestoreModeOrLoaderId)
{
    struct Case {
        int32_t version, devClass, devId;
        std::optional<int32_t> fwVersion;
        bool expected;
    };
    const Case cases[] = {
        {100, 1, 5, std::nullopt, false},   // no record: never
        {100, 23, 102, std::nullopt, false},
        {100, 1, 5, 110, true},
        {110, 1, 5, 110, false},
        {120, 1, 5, 110, false},
        {120, 23, 5, 110, true},    // restore mode
        {120, 1, 102, 110, true},   // loader ids
        {120, 1, 103, 110, true},
        {120, 1, 143, 110, true},
        {120, 1, 145, 110, true},
        {120, 1, 144, 110, false},
    };
    for (const Case &c : cases) {
        DeviceSpec s;
        s.version = c.version;
        s.devClass = c.devClass;
        s.devId = c.devId;
        auto d = device(s);
        if (c.fwVersion) {
            FirmwareUpgrade fw;
            fw.version = *c.fwVersion;
            d->fw = fw;
        }
        EXPECT_EQ(d->hasFirmwareUpgrade(), c.expected) << c.version << " " << c.devClass << " " << c.devId;
    }
}

TEST(TreeNodeFind, PreOrderFirstMatchBelowTheRootOnly)
{
    TindrelTreeNode root(QStringLiteral("Tindrels"));
    auto *local = root.addChild(computer(false));
    DeviceSpec s;
    s.devClass = TINDREL_DEVCLASS_HUB;
    s.name = QStringLiteral("Hub");
    auto *hub = local->addChild(device(s));
    auto *port = hub->addChild(std::make_unique<HubPortNode>(1, 100));
    DeviceSpec inner;
    inner.devClass = TINDREL_DEVCLASS_XLNK;
    inner.hubPort = 1;
    auto *deep = port->addChild(device(inner));
    auto *later = local->addChild(device(inner));   // an equal node later in pre-order

    EXPECT_EQ(TindrelTreeNode::FindNode(*device(inner), root), deep);
    EXPECT_EQ(TindrelTreeNode::FindNode(*device(inner), *local), deep);
    EXPECT_EQ(TindrelTreeNode::FindNode(*device(inner), *port), deep);
    EXPECT_EQ(TindrelTreeNode::FindNode(*device(inner), *deep), nullptr);   // itself is not compared
    EXPECT_EQ(TindrelTreeNode::FindNode(HubPortNode(1, 100), root), port);
    EXPECT_EQ(TindrelTreeNode::FindNode(HubPortNode(2, 100), root), nullptr);
    EXPECT_EQ(TindrelTreeNode::FindNode(*computer(true, "x"), root), nullptr);
    (void)later;
}

TEST(TreeNodeFind, IndexedLookupGivesTheSameNodeAsTheWalk)
{
    std::mt19937 rng(99);
    DeviceTree tree;
    std::vector<TindrelTreeNode *> holders{&tree.root()};
    auto randomSpec = [&] {
        DeviceSpec s;
        s.name = QStringLiteral("D%1").arg(rng() % 4);
        s.serial = static_cast<int32_t>(rng() % 3);
        s.devClass = (rng() % 3 == 0) ? TINDREL_DEVCLASS_XLNK : 1;
        s.hubPort = s.devClass == TINDREL_DEVCLASS_XLNK ? static_cast<int32_t>(rng() % 2) : 0;
        s.remote = rng() % 2;
        s.unique = QStringLiteral("S%1").arg(rng() % 2);
        return s;
    };
    for (int i = 0; i < 400; ++i) {
        TindrelTreeNode *parent = holders[rng() % holders.size()];
        std::unique_ptr<TindrelTreeNode> node;
        switch (rng() % 4) {
        case 0:
            node = computer(rng() % 2, QStringLiteral("S%1").arg(rng() % 2));
            break;
        case 1:
            node = std::make_unique<HubPortNode>(static_cast<int32_t>(rng() % 3), static_cast<int32_t>(rng() % 3));
            break;
        default:
            node = device(randomSpec());
        }
        holders.push_back(tree.insert(*parent, std::move(node)));
        if (i % 37 == 36 && holders.size() > 3) {
            // Take a random subtree out again.
            TindrelTreeNode *victim = holders[1 + rng() % (holders.size() - 1)];
            auto gone = tree.remove(*victim);
            holders.erase(std::remove_if(holders.begin(), holders.end(),
                                         [&](TindrelTreeNode *n) {
                                             for (auto *p = n; p; p = p->parent())
                                                 if (p == gone.get())
                                                     return true;
                                             return false;
                                         }),
                          holders.end());
        }
        for (int probe = 0; probe < 10; ++probe) {
            const auto sought = device(randomSpec());
            const TindrelTreeNode *within = holders[rng() % holders.size()];
            ASSERT_EQ(tree.find(*sought, *within), TindrelTreeNode::FindNode(*sought, *within));
            const HubPortNode port(static_cast<int32_t>(rng() % 3), static_cast<int32_t>(rng() % 3));
            ASSERT_EQ(tree.find(port, *within), TindrelTreeNode::FindNode(port, *within));
        }
    }
}
