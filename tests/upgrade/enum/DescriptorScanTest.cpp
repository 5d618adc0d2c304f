// The scan of a configuration descriptor set: its bounds, its steps and its early ends.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "upgrade/enum/DescriptorScan.h"

namespace upgrade {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Offsets of the descriptors the scan visits.
std::vector<std::size_t> Visited(const Bytes& set, std::size_t length) {
    std::vector<std::size_t> offsets;
    DescriptorScan scan(set.data(), length);
    const std::uint8_t* descriptor = nullptr;
    while (scan.Next(&descriptor))
        offsets.push_back(static_cast<std::size_t>(descriptor - set.data()));
    return offsets;
}

struct ScanCase {
    const char* name;
    Bytes set;
    std::vector<std::size_t> visited;
};

void PrintTo(const ScanCase& c, std::ostream* out) {
    *out << c.name;
}

class DescriptorScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(DescriptorScanTest, VisitsDescriptorsThatEndWithinTheSet) {
    EXPECT_EQ(Visited(GetParam().set, GetParam().set.size()), GetParam().visited);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, DescriptorScanTest,
    ::testing::Values(ScanCase{"Empty", {}, {}}, ScanCase{"TwoBytesAreTooFewToVisit", {2, 4}, {}},
                      ScanCase{"ThreeBytes", {3, 4, 0}, {0}},
                      ScanCase{"StepsByLength", {4, 2, 0, 0, 3, 4, 0, 5, 5, 0, 0, 0}, {0, 4, 7}},
                      ScanCase{"ZeroLengthEndsTheScan", {3, 2, 0, 0, 4, 0, 3, 4, 0}, {0}},
                      ScanCase{"LengthPastTheEndIsNotVisited", {3, 2, 0, 9, 4, 0, 0}, {0}},
                      ScanCase{"OneByteDescriptorsStepOneByOne", {1, 1, 1, 3, 0, 0}, {0, 1, 2, 3}},
                      ScanCase{"StopsWhenFewerThanThreeRemain", {3, 1, 0, 2, 1}, {0}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(ConfigurationSetLengthTest, IsTotalLengthCutToTheBytesHeld) {
    const Bytes set{9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ConfigurationSetLength(set.data(), set.size()), 18u);
    EXPECT_EQ(ConfigurationSetLength(set.data(), 12), 12u);
    const Bytes huge{9, 2, 0xFF, 0xFF, 1};
    EXPECT_EQ(ConfigurationSetLength(huge.data(), huge.size()), 5u);
    EXPECT_EQ(ConfigurationSetLength(huge.data(), 3), 3u);
}

TEST(DescriptorStringIndexTest, CollectsConfigurationAndInterfaceIndexesInOrder) {
    const Bytes set{9,  2, 0,    0, 1, 1, 7,  0x80, 50,         // configuration, iConfiguration 7
                    9,  4, 0,    0, 1, 3, 0,  0,    5,          // interface, iInterface 5
                    7,  5, 0x81, 3, 8, 0, 10,                   // endpoint (byte 6 is not an index)
                    9,  4, 1,    0, 1, 3, 0,  0,    0,          // interface without a string
                    11, 4, 2,    0, 1, 3, 0,  0,    9,  0, 0};  // 11-byte interface, iInterface 9
    std::vector<int> indexes;
    ForEachDescriptorStringIndex(set.data(), set.size(),
                                 [&](std::uint8_t index) { indexes.push_back(index); });
    EXPECT_EQ(indexes, (std::vector<int>{7, 5, 9}));
}

TEST(DescriptorStringIndexTest, WrongConfigurationOrInterfaceLengthEndsTheScan) {
    for (const Bytes& set : {Bytes{9, 4, 0, 0, 1, 3, 0, 0, 5, 10, 2, 0, 0, 1,
                                   1, 6, 0, 0, 0, 9, 4, 0, 0, 1,  3, 0, 0, 8},
                             Bytes{9, 4, 0, 0, 1, 3, 0, 0, 5, 10, 4, 0, 0, 1,
                                   3, 0, 0, 6, 0, 9, 4, 0, 0, 1,  3, 0, 0, 8}}) {
        std::vector<int> indexes;
        ForEachDescriptorStringIndex(set.data(), set.size(),
                                     [&](std::uint8_t index) { indexes.push_back(index); });
        EXPECT_EQ(indexes, std::vector<int>{5});
    }
}

}  // namespace
}  // namespace upgrade
