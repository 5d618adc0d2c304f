// The walk when the drivers fail, answer short or inconsistently, report hub loops, or memory
// runs out: the item concerned is skipped, the rest of the tree is still walked, and every
// handle and record is given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "UsbWalkTestSupport.h"

namespace upgrade::sim {
namespace {

// Controller 0: a root hub with a device on port 1 and an external hub "HUB" on port 2 whose
// port 1 holds another device. Controller 1: one device. Each device names itself.
void BuildTree(SimulatedUsbTree& tree) {
    SimHub& root0 = tree.AddController(0, "ROOT0", 3);
    tree.Plug(root0, 1, MakeDevice(u"FW:ROOT0.1 PSR:A", {0x0409, 0x0404}));
    SimHub& hub = tree.PlugHub(root0, 2, "HUB", 2);
    tree.Plug(hub, 1, MakeDevice(u"FW:HUB.1 PSR:B"));
    SimHub& root1 = tree.AddController(1, "ROOT1", 1);
    tree.Plug(root1, 1, MakeDevice(u"FW:ROOT1.1 PSR:C"));
}

struct FailureCase {
    const char* name;
    std::function<void(const SimRequest&, SimReply&)> tamper;
    const char* expected;  // DeviceConfigText after the walk
    bool hubWalked;        // requests reached the external hub "HUB"
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

bool IsController0(const SimRequest& request) {
    return request.node == "HCD0";
}

std::vector<FailureCase> FailureCases() {
    return {
        {"NothingFails", nullptr, "FW:ROOT1.1 PSR:C", true},
        {"RootHubNameProbeFails",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::RootHubName && r.bufferSize == 6) reply.ok = false;
         },
         "", false},
        {"RootHubNameSecondRequestFails",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::RootHubName && r.bufferSize > 6 && !IsController0(r))
                 reply.ok = false;
         },
         "FW:HUB.1 PSR:B", true},
        {"RootHubNameLengthShorterThanTheRecord",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::RootHubName && !IsController0(r)) reply.buffer[0] = 4;
         },
         "FW:HUB.1 PSR:B", true},
        {"RootHubNameLengthHuge",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::RootHubName && !IsController0(r))
                 std::fill(reply.buffer, reply.buffer + 4, 0xFF);
         },
         "FW:HUB.1 PSR:B", true},
        {"NodeInformationFails",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::NodeInformation && r.node == "ROOT1") reply.ok = false;
         },
         "FW:HUB.1 PSR:B", true},
        {"ConnectionInformationFailsOnOnePort",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::ConnectionInformation && r.node == "ROOT1")
                 reply.ok = false;
         },
         "FW:HUB.1 PSR:B", true},
        {"ExternalHubHasNoName",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::ConnectionName) reply.ok = false;
         },
         "FW:ROOT1.1 PSR:C", false},
        {"ExternalHubNameLengthTen",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::ConnectionName) reply.buffer[4] = 10;
         },
         "FW:ROOT1.1 PSR:C", false},
        {"ExternalHubNameSecondRequestFails",
         [](const SimRequest& r, SimReply& reply) {
             if (r.kind == RequestKind::ConnectionName && r.bufferSize > 10) reply.ok = false;
         },
         "FW:ROOT1.1 PSR:C", false},
    };
}

class DriverFailureTest : public WalkTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DriverFailureTest, SkipsWhatFailedAndWalksOn) {
    BuildTree(tree);
    tree.tamper = GetParam().tamper;
    EXPECT_EQ(Walk(), GetParam().expected);
    const auto& requests = tree.Requests();
    EXPECT_EQ(std::any_of(requests.begin(), requests.end(),
                          [](const SimRequest& request) { return request.node == "HUB"; }),
              GetParam().hubWalked);
}

INSTANTIATE_TEST_SUITE_P(Requests, DriverFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(WalkTest, ExternalHubThatDoesNotOpenIsSkippedWithItsOwnStrings) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice hubDevice = MakeDevice(u"FW:HUB PSR:OWN");
    hubDevice.hubName = "HUB";
    SimHub& hub = tree.PlugHub(root, 1, std::move(hubDevice), 1);
    tree.Plug(hub, 1, MakeDevice(u"FW:BELOW PSR:B"));
    hub.opens = false;

    EXPECT_EQ(Walk(), "");
}

TEST_F(WalkTest, HubNameWithoutTerminatorIsReadOnlyWithinItsRecord) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B"));
    tree.AddController(1, "ROOU", 1);
    // The root hub name loses its terminator: "ROOT" followed by 'U' instead of the zero unit,
    // which names controller 1's hub.
    tree.tamper = [](const SimRequest& r, SimReply& reply) {
        if (r.kind == RequestKind::RootHubName && r.node == "HCD0" && r.bufferSize > 6)
            reply.buffer[reply.bufferSize - 2] = 'U';
    };
    EXPECT_EQ(Walk(), "");
    const auto& opened = tree.OpenedPaths();
    EXPECT_EQ(std::count(opened.begin(), opened.end(), "\\\\.\\ROOTU"), 1);
}

TEST_F(WalkTest, HubLoopEndsAtTheDeepestTierUsbAllows) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimHub& loop = tree.PlugHub(root, 1, "LOOP", 1);
    tree.Plug(loop, 1, MakeHubDevice("LOOP"));

    EXPECT_EQ(Walk(), "");
    const auto& opened = tree.OpenedPaths();
    // Tiers 2 to 6 below the root hub.
    EXPECT_EQ(std::count(opened.begin(), opened.end(), "\\\\.\\LOOP"), kMaxHubTier - 1);
}

TEST_F(WalkTest, FiveExternalHubsInSeriesAreWalked) {
    SimHub* hub = &tree.AddController(0, "ROOT", 1);
    for (int tier = 2; tier <= kMaxHubTier; ++tier)
        hub = &tree.PlugHub(*hub, 1, "HUB" + std::to_string(tier), 1);
    tree.Plug(*hub, 1, MakeDevice(u"FW:TIER7 PSR:7"));

    EXPECT_EQ(Walk(), "FW:TIER7 PSR:7");
}

// Builds the tree anew and fails only allocation number `failing`.
TEST(WalkAllocationTest, EveryFailedAllocationIsSkippedAndNothingLeaks) {
    SimulatedUsbTree counting;
    BuildTree(counting);
    WalkUsbDeviceTree(counting);
    const int allocations = counting.AllocationCount();
    ASSERT_GT(allocations, 50);

    for (int failing = 1; failing <= allocations; ++failing) {
        SCOPED_TRACE(failing);
        SimulatedUsbTree tree;
        BuildTree(tree);
        int count = 0;
        tree.failAllocation = [&count, failing](std::size_t) { return ++count == failing; };
        std::memset(DeviceConfigText, 0, sizeof DeviceConfigText);
        WalkUsbDeviceTree(tree);
        EXPECT_EQ(tree.OpenHandles(), 0);
        EXPECT_EQ(tree.LiveRecords(), 0);
        EXPECT_EQ(tree.Misuses(), 0);
        // Controller 1 is walked last and its device wins unless one of its own records failed.
        const std::string text = DeviceConfigText;
        EXPECT_TRUE(text == "FW:ROOT1.1 PSR:C" || text == "FW:HUB.1 PSR:B") << text;
    }
}

TEST_F(WalkTest, NoConnectionBufferSkipsTheRestOfThatHub) {
    SimHub& root = tree.AddController(0, "ROOT", 3);
    tree.Plug(root, 1, MakeDevice(u"FW:PORT1 PSR:1"));
    tree.Plug(root, 3, MakeDevice(u"FW:PORT3 PSR:3"));
    int connectionBuffers = 0;
    tree.failAllocation = [&connectionBuffers](std::size_t size) {
        return size == 365 && ++connectionBuffers == 2;
    };
    EXPECT_EQ(Walk(), "FW:PORT1 PSR:1");
    EXPECT_EQ(RequestsOfKind(RequestKind::ConnectionInformation), 1);
}

TEST_F(WalkTest, NoRoomForAStringLeavesOnlyThatStringUnread) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice& device = tree.Plug(root, 1, MakeDevice(u"FW:EN PSR:1", {0x0409, 0x0404}));
    device.SetString(4, 0x0404, u"FW:ZH PSR:2");
    int entries = 0;
    // Entries in reading order: the language list, then strings 1 to 3 in both languages;
    // the ninth holds string 4 in the second language.
    tree.failAllocation = [&entries](std::size_t size) {
        return size == sizeof(UsbStringEntry) && ++entries == 9;
    };
    EXPECT_EQ(Walk(), "FW:EN PSR:1");
    EXPECT_EQ(tree.StringRequests().back(), std::make_pair(5, 0x0404));
}

}  // namespace
}  // namespace upgrade::sim
