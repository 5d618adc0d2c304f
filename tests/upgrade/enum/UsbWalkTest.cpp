// The walk over well-formed simulated trees: what is requested, in which order, and which
// configuration string ends up in DeviceConfigText.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "UsbWalkTestSupport.h"

namespace upgrade::sim {
namespace {

using StringRequestList = std::vector<std::pair<int, int>>;

TEST_F(WalkTest, NoControllerOpensLeavesTheTextAsTheCallerSetIt) {
    tree.AddController(4, "ROOT4", 2);
    tree.SetControllerOpens(4, false);
    std::strcpy(DeviceConfigText, "LEFT BY CALLER");

    EXPECT_EQ(Walk(), "LEFT BY CALLER");
    std::vector<std::string> expected;
    for (int number = 0; number < 10; ++number)
        expected.push_back("\\\\.\\HCD" + std::to_string(number));
    EXPECT_EQ(tree.OpenedPaths(), expected);
    EXPECT_TRUE(tree.Requests().empty());
}

TEST_F(WalkTest, ConfigurationStringIsDeliveredInUpperCase) {
    SimHub& root = tree.AddController(0, "USB#ROOT_HUB20#4&2b0c2d6&0", 4);
    tree.Plug(root, 2, MakeDevice(u"fw:kx-v5_v1.2.dfu psr:kx~v5[a].psr"));

    EXPECT_EQ(Walk(), "FW:KX-V5_V1.2.DFU PSR:KX~V5[A].PSR");
    EXPECT_EQ(tree.OpenedPaths()[1], "\\\\.\\USB#ROOT_HUB20#4&2b0c2d6&0");
}

TEST_F(WalkTest, RequestsUseTheDriverRecordSizes) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B"));
    Walk();

    const auto& requests = tree.Requests();
    ASSERT_GE(requests.size(), 7u);
    EXPECT_EQ(requests[0].kind, RequestKind::RootHubName);
    EXPECT_EQ(requests[0].bufferSize, 6u);
    EXPECT_EQ(requests[1].kind, RequestKind::RootHubName);
    EXPECT_EQ(requests[1].bufferSize, 4u + 2u * 5u);  // "ROOT" and its terminator
    EXPECT_EQ(requests[2].kind, RequestKind::NodeInformation);
    EXPECT_EQ(requests[2].bufferSize, 76u);
    EXPECT_EQ(requests[3].kind, RequestKind::ConnectionInformation);
    EXPECT_EQ(requests[3].bufferSize, 365u);
    EXPECT_EQ(requests[3].port, 1u);
    // Configuration 0 in two steps: its 9-byte descriptor, then the whole set.
    const auto total = static_cast<std::uint16_t>(MakeDevice(u"").configurations[0].size());
    EXPECT_EQ(requests[4].kind, RequestKind::Descriptor);
    EXPECT_EQ(requests[4].wValue, 0x0200);
    EXPECT_EQ(requests[4].wLength, 9);
    EXPECT_EQ(requests[4].bufferSize, 21u);
    EXPECT_EQ(requests[5].wValue, 0x0200);
    EXPECT_EQ(requests[5].wLength, total);
    EXPECT_EQ(requests[5].bufferSize, 12u + total);
    // String descriptors: 255 bytes asked, in a 267-byte buffer.
    EXPECT_EQ(requests[6].wValue, 0x0300);
    EXPECT_EQ(requests[6].wIndex, 0);
    EXPECT_EQ(requests[6].wLength, 255);
    EXPECT_EQ(requests[6].bufferSize, 267u);
    // A device that is not a hub is never asked for a hub name.
    EXPECT_EQ(RequestsOfKind(RequestKind::ConnectionName), 0);
}

TEST_F(WalkTest, StringsAreReadForEveryIndexInEveryLanguageInOrder) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B", {0x0409, 0x0404}));
    Walk();

    const StringRequestList expected = {{0, 0},      {1, 0x0409}, {1, 0x0404}, {2, 0x0409},
                                        {2, 0x0404}, {3, 0x0409}, {3, 0x0404}, {4, 0x0409},
                                        {4, 0x0404}, {5, 0x0409}, {5, 0x0404}};
    EXPECT_EQ(tree.StringRequests(), expected);
}

TEST_F(WalkTest, ConfigurationStringInAnyLanguageMatchesAndTheLastLanguageWins) {
    SimHub& root = tree.AddController(0, "ROOT", 2);
    SimDevice& first = tree.Plug(root, 1, MakeDevice(u"plain", {0x0409, 0x0404}));
    first.SetString(4, 0x0404, u"FW:TW PSR:TW");
    Walk();
    EXPECT_STREQ(DeviceConfigText, "FW:TW PSR:TW");

    SimDevice& second = tree.Plug(root, 2, MakeDevice(u"FW:EN PSR:EN", {0x0409, 0x0404}));
    second.SetString(4, 0x0404, u"FW:ZH PSR:ZH");
    EXPECT_EQ(Walk(), "FW:ZH PSR:ZH");
}

TEST_F(WalkTest, TheLaterControllerWins) {
    SimHub& early = tree.AddController(1, "ROOT1", 2);
    SimHub& late = tree.AddController(7, "ROOT7", 2);
    tree.Plug(late, 1, MakeDevice(u"FW:LATE PSR:7"));
    tree.Plug(early, 2, MakeDevice(u"FW:EARLY PSR:1"));

    EXPECT_EQ(Walk(), "FW:LATE PSR:7");
}

TEST_F(WalkTest, TheHigherPortOfAHubWinsAndANonMatchingDeviceErasesNothing) {
    SimHub& root = tree.AddController(0, "ROOT", 4);
    tree.Plug(root, 3, MakeDevice(u"FW:PORT3 PSR:3"));
    tree.Plug(root, 1, MakeDevice(u"FW:PORT1 PSR:1"));
    tree.Plug(root, 4, MakeDevice(u"no markers here"));

    EXPECT_EQ(Walk(), "FW:PORT3 PSR:3");
}

TEST_F(WalkTest, DeviceBehindExternalHubsIsFound) {
    SimHub& root = tree.AddController(2, "ROOT", 2);
    SimHub& hub = tree.PlugHub(root, 2, "USB#VID_05E3&PID_0608#1", 4);
    SimHub& inner = tree.PlugHub(hub, 3, "USB#VID_05E3&PID_0608#2", 2);
    tree.Plug(inner, 2, MakeDevice(u"fw:deep.dfu psr:deep.psr"));

    EXPECT_EQ(Walk(), "FW:DEEP.DFU PSR:DEEP.PSR");
    const auto& opened = tree.OpenedPaths();
    EXPECT_NE(std::find(opened.begin(), opened.end(), "\\\\.\\USB#VID_05E3&PID_0608#2"),
              opened.end());
}

TEST_F(WalkTest, AHubsOwnStringIsMatchedAfterEverythingBelowIt) {
    SimHub& root = tree.AddController(0, "ROOT", 2);
    SimDevice hubDevice = MakeDevice(u"FW:HUB PSR:HUB");
    hubDevice.hubName = "HUB";
    SimHub& hub = tree.PlugHub(root, 1, std::move(hubDevice), 2);
    tree.Plug(hub, 2, MakeDevice(u"FW:BELOW PSR:BELOW"));

    EXPECT_EQ(Walk(), "FW:HUB PSR:HUB");

    // A device on a later port of the root hub still comes after the hub.
    tree.Plug(root, 2, MakeDevice(u"FW:AFTER PSR:AFTER"));
    EXPECT_EQ(Walk(), "FW:AFTER PSR:AFTER");
}

TEST_F(WalkTest, OnlyTheConfigurationStringIsMatched) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice& device = tree.Plug(root, 1, MakeDevice(u"plain configuration"));
    for (const std::uint8_t index : {1, 2, 3, 5}) device.SetString(index, 0x0409, u"FW:X PSR:Y");

    EXPECT_EQ(Walk(), "");
    // The other strings were read all the same.
    const StringRequestList expected = {{0, 0},      {1, 0x0409}, {2, 0x0409},
                                        {3, 0x0409}, {4, 0x0409}, {5, 0x0409}};
    EXPECT_EQ(tree.StringRequests(), expected);
}

TEST_F(WalkTest, OnlyConfigurationZeroIsRead) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice& device = tree.Plug(root, 1, MakeDevice(u"plain"));
    device.configurations.push_back(
        ConfigurationSet({ConfigurationDescriptorBytes(6, 2), InterfaceDescriptorBytes(0, 0)}));
    device.SetString(6, 0x0409, u"FW:SECOND PSR:CONFIG");

    EXPECT_EQ(Walk(), "");
    for (const SimRequest& request : tree.Requests()) {
        if (request.kind == RequestKind::Descriptor && (request.wValue >> 8) == 2) {
            EXPECT_EQ(request.wValue, 0x0200);
        }
        if (request.kind == RequestKind::Descriptor && (request.wValue >> 8) == 3) {
            EXPECT_NE(request.wValue & 0xFF, 6);
        }
    }
}

TEST_F(WalkTest, DeviceWithoutConfigurationStringContributesNothing) {
    SimHub& root = tree.AddController(0, "ROOT", 2);
    SimDevice device = MakeDevice(u"FW:A PSR:B");
    device.configurations[0] =
        ConfigurationSet({ConfigurationDescriptorBytes(0), InterfaceDescriptorBytes(0, 0)});
    device.deviceDescriptor = DeviceDescriptorBytes(0, 0, 0);
    tree.Plug(root, 1, device);

    EXPECT_EQ(Walk(), "");
    EXPECT_TRUE(tree.StringRequests().empty()) << "no string index, no string list";
}

TEST_F(WalkTest, UnreadableStringsContributeNothing) {
    SimHub& root = tree.AddController(0, "ROOT", 2);
    SimDevice& noConfigurationString = tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B"));
    noConfigurationString.strings.erase({4, 0x0409});
    SimDevice& noLanguages = tree.Plug(root, 2, MakeDevice(u"FW:C PSR:D"));
    noLanguages.strings.erase({0, 0});

    EXPECT_EQ(Walk(), "");
    // Without string 0 nothing else is asked of that device.
    const auto strings = tree.StringRequests();
    EXPECT_EQ(strings.back(), std::make_pair(0, 0));
}

TEST_F(WalkTest, PortsWithoutAConnectedDeviceAreNotAskedForDescriptors) {
    SimHub& root = tree.AddController(0, "ROOT", 3);
    SimDevice failed = MakeDevice(u"FW:FAILED PSR:ENUM");
    failed.connectionStatus = 2;  // DeviceFailedEnumeration
    tree.Plug(root, 2, failed);

    EXPECT_EQ(Walk(), "");
    EXPECT_EQ(RequestsOfKind(RequestKind::ConnectionInformation), 3);
    EXPECT_EQ(RequestsOfKind(RequestKind::Descriptor), 0);
}

}  // namespace
}  // namespace upgrade::sim
