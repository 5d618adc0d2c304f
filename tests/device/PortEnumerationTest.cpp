#include <gtest/gtest.h>

#include <cstring>

#include "FakePorts.h"
#include "device/ports/ComPortEnumeration.h"

namespace device {
namespace {

class EnumerateComPortsTest : public ::testing::Test, public PortTablesFixture {
  protected:
    bool Enumerate() {
        std::memset(names, 0, sizeof names);
        std::memset(descriptions, 0, sizeof descriptions);
        return EnumerateComPorts(count, &names[0][0], kPortEntryWidth, &descriptions[0][0]);
    }

    PortTable names;
    PortTable descriptions;
    int32_t count = -1;
};

TEST_F(EnumerateComPortsTest, KeepsOnlyComPortsInTheOrderFound) {
    backend.ports = {{"COM10", "USB Serial Device"},
                     {"LPT1", "Printer Port"},
                     {"com3", "Communications Port"},
                     {"COM", "too short"},
                     {"COMX1", "no digit"},
                     {"ECP1", ""},
                     {"Com2", ""}};
    EXPECT_TRUE(Enumerate());
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(names[0], "COM10");
    EXPECT_STREQ(descriptions[0], "USB Serial Device");
    EXPECT_STREQ(names[1], "com3");
    EXPECT_STREQ(names[2], "Com2");
    EXPECT_STREQ(descriptions[2], "");
    EXPECT_STREQ(names[3], "");
}

TEST_F(EnumerateComPortsTest, FailsWithCountZero) {
    backend.fails = true;
    backend.ports = {{"COM1", "x"}};
    EXPECT_FALSE(Enumerate());
    EXPECT_EQ(count, 0);

    backend.fails = false;
    backend.ports = {{"LPT1", "Printer Port"}};
    EXPECT_FALSE(Enumerate());
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(names[0], "");
}

TEST_F(EnumerateComPortsTest, CutsLongTextsAndStopsAtTheTableSize) {
    const std::string longName = "COM1" + std::string(300, '9');
    backend.ports.push_back({longName, std::string(400, 'd')});
    for (int i = 2; i <= 70; ++i) backend.ports.push_back({"COM" + std::to_string(i), ""});
    EXPECT_TRUE(Enumerate());
    EXPECT_EQ(count, kMaxPorts);
    EXPECT_EQ(std::string(names[0]), longName.substr(0, 255));
    EXPECT_EQ(std::string(descriptions[0]), std::string(255, 'd'));
    EXPECT_STREQ(names[63], "COM64");
}

}  // namespace
}  // namespace device
