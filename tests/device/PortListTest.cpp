#include <gtest/gtest.h>

#include "FakePorts.h"
#include "device/ports/ComPortList.h"

namespace device {
namespace {

class PortListTest : public ::testing::Test, public PortTablesFixture {
  protected:
    FakeListBox listBox;
};

TEST_F(PortListTest, SortsByPortNumberAndFillsTheRows) {
    backend.ports = {{"COM10", "USB Serial Device"},
                     {"COM2", "Communications Port"},
                     {"com3", "Bluetooth link"},
                     {"COM1", ""}};
    RefreshComPortList(listBox);
    ASSERT_EQ(ListedPortCount, 4);
    EXPECT_STREQ(ListedPortNames[0], "COM1");
    EXPECT_STREQ(ListedPortNames[1], "COM2");
    EXPECT_STREQ(ListedPortNames[2], "com3");  // shown as stored, sorted as 3
    EXPECT_STREQ(ListedPortNames[3], "COM10");
    EXPECT_STREQ(ListedPortDescriptions[3], "USB Serial Device");
    EXPECT_EQ(listBox.rows,
              (std::vector<std::string>{"COM1  -  ", "COM2  -  Communications Port",
                                        "com3  -  Bluetooth link", "COM10  -  USB Serial Device"}));
    EXPECT_EQ(listBox.selected, -1);
}

TEST_F(PortListTest, ClearsEntriesLeftFromALongerList) {
    backend.ports = {{"COM1", "a"}, {"COM2", "b"}, {"COM3", "c"}};
    RefreshComPortList(listBox);
    backend.ports = {{"COM7", "z"}};
    RefreshComPortList(listBox);
    EXPECT_EQ(ListedPortCount, 1);
    EXPECT_STREQ(ListedPortNames[0], "COM7");
    EXPECT_STREQ(ListedPortNames[1], "");
    EXPECT_STREQ(ListedPortDescriptions[2], "");
    EXPECT_EQ(listBox.rows, std::vector<std::string>{"COM7  -  z"});
}

TEST_F(PortListTest, NoPortKeepsTheOldRowsAndTablesAndOnlyZeroesTheCount) {
    backend.ports = {{"COM4", "USB Serial Device"}};
    RefreshComPortList(listBox);
    SelectUsbPort(listBox);
    ASSERT_EQ(listBox.selected, 0);

    backend.ports.clear();
    RefreshComPortList(listBox);
    EXPECT_EQ(ListedPortCount, 0);
    EXPECT_EQ(listBox.rows, std::vector<std::string>{"COM4  -  USB Serial Device"});
    EXPECT_EQ(listBox.clears, 1);
    EXPECT_STREQ(ListedPortNames[0], "COM4");

    SelectUsbPort(listBox);  // nothing is listed, so nothing changes
    EXPECT_EQ(listBox.selected, 0);

    backend.fails = true;  // a failed enumeration behaves the same
    RefreshComPortList(listBox);
    EXPECT_EQ(listBox.rows.size(), 1u);
}

struct UsbCase {
    const char* name;
    std::vector<FoundPort> ports;
    int32_t selected;
};

void PrintTo(const UsbCase& c, std::ostream* os) {
    *os << c.name;
}

class SelectUsbPortTest : public PortListTest, public ::testing::WithParamInterface<UsbCase> {};

TEST_P(SelectUsbPortTest, SelectsTheFirstPortDescribedAsUsb) {
    backend.ports = GetParam().ports;
    RefreshComPortList(listBox);
    SelectUsbPort(listBox);
    EXPECT_EQ(listBox.selected, GetParam().selected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SelectUsbPortTest,
    ::testing::Values(
        UsbCase{"UsbAfterBuiltIn",
                {{"COM1", "Communications Port (COM1)"}, {"COM4", "USB Serial Device (COM4)"}},
                1},
        UsbCase{"UsbMustStandAtTheBeginning", {{"COM1", "Serial Adapter (USB)"}}, -1},
        UsbCase{"LowerNumberWins",
                {{"COM9", "USB Serial Device"}, {"COM5", "USB-SERIAL CH340"}, {"COM1", "x"}},
                1},
        UsbCase{"AnyCase", {{"COM2", "Bluetooth"}, {"COM3", "usb serial"}}, 1},
        UsbCase{"EmptyDescription", {{"COM1", ""}}, -1}),
    [](const ::testing::TestParamInfo<UsbCase>& info) { return std::string(info.param.name); });

TEST_F(PortListTest, ARefreshWithoutUsbPortLeavesNoSelection) {
    backend.ports = {{"COM3", "USB Serial Device"}};
    RefreshComPortList(listBox);
    SelectUsbPort(listBox);
    ASSERT_EQ(listBox.selected, 0);

    backend.ports = {{"COM1", "Communications Port"}, {"COM2", "Bluetooth link"}};
    RefreshComPortList(listBox);
    SelectUsbPort(listBox);
    EXPECT_EQ(listBox.selected, -1);
}

TEST_F(PortListTest, SnapshotFillsItsOwnTablesOnly) {
    backend.ports = {{"COM2", "b"}, {"COM1", "a"}};
    RefreshComPortList(listBox);
    listBox.SetSelected(1);

    backend.ports = {{"COM12", "USB Serial Device"}, {"COM3", "c"}};
    SnapshotComPorts();
    EXPECT_EQ(SnapshotPortCount, 2);
    EXPECT_STREQ(SnapshotPortNames[0], "COM3");
    EXPECT_STREQ(SnapshotPortNames[1], "COM12");
    EXPECT_STREQ(SnapshotPortDescriptions[1], "USB Serial Device");
    EXPECT_EQ(ListedPortCount, 2);
    EXPECT_STREQ(ListedPortNames[0], "COM1");
    EXPECT_EQ(listBox.rows.size(), 2u);
    EXPECT_EQ(listBox.selected, 1);

    backend.ports.clear();
    SnapshotComPorts();
    EXPECT_EQ(SnapshotPortCount, 0);
    EXPECT_STREQ(SnapshotPortNames[0], "COM3");
}

TEST(PortNumber, ReadsTheNumberAfterCom) {
    EXPECT_EQ(PortNumber("COM1"), 1);
    EXPECT_EQ(PortNumber("com3"), 3);
    EXPECT_EQ(PortNumber("COM256"), 256);
    EXPECT_EQ(PortNumber("COM99999999999"), INT32_MAX);
    EXPECT_EQ(PortNumber("LPT1"), 0);
}

}  // namespace
}  // namespace device
