// The walk over devices that report malformed configuration descriptor sets and string
// descriptors: nothing is read out of bounds, no scan loops, and only well-formed replies
// take part in the match.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "UsbWalkTestSupport.h"

namespace upgrade::sim {
namespace {

// A set with the wTotalLength given explicitly (ConfigurationSet would correct it).
Bytes RawSet(std::initializer_list<Bytes> descriptors, std::uint16_t totalLength) {
    Bytes set = ConfigurationSet(descriptors);
    set[2] = static_cast<std::uint8_t>(totalLength & 0xFF);
    set[3] = static_cast<std::uint8_t>(totalLength >> 8);
    return set;
}

Bytes Resized(Bytes descriptor, std::uint8_t length) {
    descriptor.resize(length, 0);
    descriptor[0] = length;
    return descriptor;
}

// The same bytes with another bLength.
Bytes WithLengthByte(Bytes descriptor, std::uint8_t length) {
    descriptor[0] = length;
    return descriptor;
}

struct SetCase {
    const char* name;
    Bytes set;
    bool matches;                  // the configuration string (index 4) is taken
    bool interfaceStringRead;      // string 5 is asked for
    bool secondConfigurationRead;  // the whole set is asked for after the first 9 bytes
};

void PrintTo(const SetCase& c, std::ostream* out) {
    *out << c.name;
}

const Bytes kConfiguration = ConfigurationDescriptorBytes(4);
const Bytes kInterface = InterfaceDescriptorBytes(0, 5);
const Bytes kEndpoint = EndpointDescriptorBytes(0x81);

std::vector<SetCase> SetCases() {
    return {
        {"WellFormed", ConfigurationSet({kConfiguration, kInterface, kEndpoint}), true, true, true},
        {"ConfigurationLengthNine", ConfigurationSet({Resized(kConfiguration, 9), kInterface}),
         true, true, true},
        {"ConfigurationLengthZeroEndsTheScan",
         ConfigurationSet({WithLengthByte(kConfiguration, 0), kInterface}), false, false, true},
        {"ZeroLengthDescriptorEndsTheScan",
         ConfigurationSet({kConfiguration, Bytes{0, 5, 0x81, 3}, kInterface}), true, false, true},
        {"DescriptorRunningPastTheEnd",
         ConfigurationSet({kConfiguration, Bytes{40, 4, 0, 0, 1, 0xFE, 1, 1, 5}}), true, false,
         true},
        {"OneAndTwoByteDescriptorsAreSteppedOver",
         ConfigurationSet({kConfiguration, Bytes{2, 0x24}, Bytes{1}, kInterface}), true, true,
         true},
        {"TwoTrailingBytesAreIgnored", ConfigurationSet({kConfiguration, kInterface, Bytes{9, 4}}),
         true, true, true},
        {"ConfigurationLengthSeven", ConfigurationSet({Resized(kConfiguration, 7), kInterface}),
         false, false, true},
        {"ConfigurationLengthTen", ConfigurationSet({Resized(kConfiguration, 10), kInterface}),
         false, false, true},
        {"InterfaceLengthTenEndsTheStringScan",
         ConfigurationSet({kConfiguration, Resized(kInterface, 10), kEndpoint}), true, false, true},
        {"InterfaceLengthElevenIsAccepted",
         ConfigurationSet({kConfiguration, Resized(kInterface, 11), kEndpoint}), true, true, true},
        {"TotalLengthEightIsRefused", RawSet({kConfiguration, kInterface}, 8), false, false, false},
        {"TotalLengthBeyondWhatTheDeviceSends", RawSet({kConfiguration, kInterface}, 200), false,
         false, true},
        {"TotalLengthShorterThanTheSetCutsTheScan", RawSet({kConfiguration, kInterface}, 12), true,
         false, true},
        {"SetShorterThanAConfigurationDescriptor", Bytes{9, 2, 9, 0, 1}, false, false, false},
    };
}

class MalformedSetTest : public WalkTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(MalformedSetTest, OnlyWellFormedConfigurationDescriptorsMatch) {
    const SetCase& c = GetParam();
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice device = MakeDevice(u"FW:A.DFU PSR:B.PSR");
    device.configurations[0] = c.set;
    tree.Plug(root, 1, device);

    EXPECT_EQ(Walk(), c.matches ? "FW:A.DFU PSR:B.PSR" : "");
    const auto strings = tree.StringRequests();
    EXPECT_EQ(std::count(strings.begin(), strings.end(), std::make_pair(5, 0x0409)),
              c.interfaceStringRead ? 1 : 0);
    const auto& requests = tree.Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const SimRequest& request) {
                                return request.kind == RequestKind::Descriptor &&
                                       request.wValue == 0x0200 && request.wLength != 9;
                            }),
              c.secondConfigurationRead ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Sets, MalformedSetTest, ::testing::ValuesIn(SetCases()),
                         [](const ::testing::TestParamInfo<SetCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(WalkTest, SecondReadWithAnotherTotalLengthIsRefused) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B"));
    tree.tamper = [](const SimRequest& request, SimReply& reply) {
        if (request.kind == RequestKind::Descriptor && request.wValue == 0x0200 &&
            request.wLength != 9)
            reply.buffer[12 + 2] ^= 1;
    };
    EXPECT_EQ(Walk(), "");
}

TEST_F(WalkTest, ConfigurationReplyOfTheWrongSizeIsRefused) {
    for (const int delta : {-1, +1}) {
        SCOPED_TRACE(delta);
        SimulatedUsbTree sized;
        SimHub& root = sized.AddController(0, "ROOT", 1);
        sized.Plug(root, 1, MakeDevice(u"FW:A PSR:B"));
        sized.tamper = [delta](const SimRequest& request, SimReply& reply) {
            if (request.kind == RequestKind::Descriptor && request.wValue == 0x0200 &&
                request.wLength != 9)
                reply.bytesReturned += delta;
        };
        WalkUsbDeviceTree(sized);
        EXPECT_STREQ(DeviceConfigText, "");
        ExpectCleanAfterWalk(sized);
    }
}

struct StringCase {
    const char* name;
    Bytes descriptor;  // configuration string as the device sends it
    bool matches;
};

void PrintTo(const StringCase& c, std::ostream* out) {
    *out << c.name;
}

Bytes MatchingText(std::uint8_t length, std::uint8_t type = 3) {
    Bytes bytes = StringDescriptorBytes(u"FW:A PSR:B");  // 22 bytes
    bytes[0] = length;
    bytes[1] = type;
    return bytes;
}

std::vector<StringCase> StringCases() {
    Bytes longer = MatchingText(22);
    longer.insert(longer.end(), {'x', 0});
    return {
        {"WellFormed", MatchingText(22), true},
        {"OddLength", MatchingText(21), false},
        {"OddLengthCoveringEveryByte",
         [] {
             Bytes b = MatchingText(23);
             b.push_back('!');
             return b;
         }(),
         false},
        {"LengthBeyondTheBytesSent", MatchingText(30), false},
        {"MoreBytesSentThanTheLengthSays", longer, false},
        {"WrongDescriptorType", MatchingText(22, 4), false},
        {"LengthZero", Bytes{0, 3}, false},
        {"LengthOne", Bytes{1}, false},
        {"EmptyText", Bytes{2, 3}, false},
        {"LongestText", StringDescriptorBytes(u"FW:" + std::u16string(119, u'x') + u"PSR:"), true},
    };
}

class MalformedStringTest : public WalkTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(MalformedStringTest, OnlyWholeEvenStringDescriptorsAreKept) {
    SimHub& root = tree.AddController(0, "ROOT", 1);
    SimDevice& device = tree.Plug(root, 1, MakeDevice(u"unused"));
    device.strings[{4, 0x0409}] = GetParam().descriptor;

    EXPECT_EQ(!Walk().empty(), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Strings, MalformedStringTest, ::testing::ValuesIn(StringCases()),
                         [](const ::testing::TestParamInfo<StringCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(WalkTest, MalformedLanguageListEndsTheStringList) {
    SimHub& root = tree.AddController(0, "ROOT", 2);
    tree.Plug(root, 1, MakeDevice(u"FW:A PSR:B")).strings[{0, 0}] = Bytes{5, 3, 9, 4, 0};
    tree.Plug(root, 2, MakeDevice(u"FW:C PSR:D")).strings[{0, 0}] = Bytes{2, 3};

    EXPECT_EQ(Walk(), "");
    const std::vector<std::pair<int, int>> onlyLanguageLists = {{0, 0}, {0, 0}};
    EXPECT_EQ(tree.StringRequests(), onlyLanguageLists);
}

}  // namespace
}  // namespace upgrade::sim
