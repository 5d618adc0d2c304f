// The Linux back end over a fake sysfs tree in a temporary folder: the walk must give the same
// result as on Windows for the same devices.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/usbtree/SimulatedDescriptors.h"
#include "upgrade/enum/UsbHostSysfs.h"
#include "upgrade/enum/UsbWalk.h"

namespace upgrade {
namespace {

namespace fs = std::filesystem;
using sim::Bytes;

class SysfsUsbHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "usbwalk-sysfs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        devices_ = root_ / "devices";
        fs::create_directories(devices_);
        std::memset(DeviceConfigText, 0, sizeof DeviceConfigText);
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& device, const std::string& attribute, const std::string& text) {
        fs::create_directories(devices_ / device);
        std::ofstream(devices_ / device / attribute, std::ios::binary) << text;
    }
    void WriteDescriptors(const std::string& device, const Bytes& deviceDescriptor,
                          const Bytes& configurationSet) {
        std::string bytes(deviceDescriptor.begin(), deviceDescriptor.end());
        bytes.append(configurationSet.begin(), configurationSet.end());
        Write(device, "descriptors", bytes);
    }

    void AddHub(const std::string& device, int ports, int bus, int address) {
        WriteDescriptors(device, sim::DeviceDescriptorBytes(0, 0, 0, 9),
                         sim::ConfigurationSet({sim::ConfigurationDescriptorBytes(0),
                                                sim::InterfaceDescriptorBytes(0, 0, 9)}));
        Write(device, "maxchild", std::to_string(ports) + "\n");
        Write(device, "busnum", std::to_string(bus) + "\n");
        Write(device, "devnum", std::to_string(address) + "\n");
        Write(device, "bConfigurationValue", "1\n");
    }

    // A device like the headset, with the kernel's cached texts of its strings.
    void AddDevice(const std::string& device, const std::string& configuration, int bus,
                   int address) {
        WriteDescriptors(device, sim::DeviceDescriptorBytes(1, 2, 3),
                         sim::ConfigurationSet({sim::ConfigurationDescriptorBytes(4, 1),
                                                sim::InterfaceDescriptorBytes(0, 5),
                                                sim::EndpointDescriptorBytes(0x81)}));
        Write(device, "bConfigurationValue", "1\n");
        Write(device, "configuration", configuration + "\n");
        Write(device, "manufacturer", "FW:MAKER PSR:M\n");
        Write(device, "product", "KX-V5\n");
        Write(device, "serial", "000102\n");
        Write(device, "busnum", std::to_string(bus) + "\n");
        Write(device, "devnum", std::to_string(address) + "\n");
        Write(device, "speed", "12\n");
        fs::create_directories(devices_ / (device + ":1.0"));
    }

    std::string Walk(const std::string& usbfs = "/nonexistent-usbfs") {
        SysfsUsbHost host(devices_.string(), usbfs);
        WalkUsbDeviceTree(host);
        return DeviceConfigText;
    }

    fs::path root_;
    fs::path devices_;
};

TEST_F(SysfsUsbHostTest, FindsTheLastMatchingDeviceBehindRootAndExternalHubs) {
    AddHub("usb1", 4, 1, 1);
    fs::create_directories(devices_ / "1-0:1.0");
    AddDevice("1-1", "fw:kx_v5.dfu psr:kx_v5.psr", 1, 2);
    AddHub("1-3", 2, 1, 3);
    AddDevice("1-3.2", "FW:BELOW.DFU PSR:HUB.PSR", 1, 4);

    EXPECT_EQ(Walk(), "FW:BELOW.DFU PSR:HUB.PSR");

    fs::remove_all(devices_ / "1-3.2");
    std::memset(DeviceConfigText, 0, sizeof DeviceConfigText);
    EXPECT_EQ(Walk(), "FW:KX_V5.DFU PSR:KX_V5.PSR");
}

TEST_F(SysfsUsbHostTest, ControllersFollowBusNumbers) {
    AddHub("usb10", 1, 10, 1);
    AddDevice("10-1", "FW:BUS10 PSR:10", 10, 2);
    AddHub("usb2", 1, 2, 1);
    AddDevice("2-1", "FW:BUS2 PSR:2", 2, 2);

    EXPECT_EQ(Walk(), "FW:BUS10 PSR:10");
}

TEST_F(SysfsUsbHostTest, ConfigurationTextCountsOnlyWhenConfigurationZeroIsActive) {
    AddHub("usb1", 1, 1, 1);
    AddDevice("1-1", "FW:A PSR:B", 1, 2);
    Write("1-1", "bConfigurationValue", "2\n");

    EXPECT_EQ(Walk(), "");
}

TEST_F(SysfsUsbHostTest, Utf8TextsComeBackUnchangedExceptAsciiLetters) {
    AddHub("usb1", 1, 1, 1);
    AddDevice("1-1", "fw:\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80.dfu psr:x", 1, 2);

    EXPECT_EQ(Walk(), "FW:\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80.DFU PSR:X");
}

TEST_F(SysfsUsbHostTest, FailedControlTransferLeavesTheStringUnread) {
    AddHub("usb1", 1, 1, 1);
    AddDevice("1-1", "FW:A PSR:B", 1, 2);
    // A usbfs node that opens but is no usbfs device: every control transfer fails.
    fs::create_directories(root_ / "usbfs" / "001");
    std::ofstream(root_ / "usbfs" / "001" / "002") << "not a device";

    EXPECT_EQ(Walk((root_ / "usbfs").string()), "");
}

TEST_F(SysfsUsbHostTest, UsbfsNodeThatOpensOnlyForReadingGivesWayToTheCachedTexts) {
    AddHub("usb1", 1, 1, 1);
    AddDevice("1-1", "fw:a psr:b", 1, 2);
    // A directory opens for reading and never for writing, even for root: like a usbfs node
    // an ordinary user may read but not write, on which usbfs refuses every request.
    fs::create_directories(root_ / "usbfs" / "001" / "002");

    EXPECT_EQ(Walk((root_ / "usbfs").string()), "FW:A PSR:B");
}

TEST_F(SysfsUsbHostTest, OnlyHubDeviceNamesOpen) {
    AddHub("usb1", 2, 1, 1);
    AddDevice("1-1", "FW:A PSR:B", 1, 2);
    Write("outside", "descriptors", std::string(18, '\t'));
    SysfsUsbHost host(devices_.string(), "/nonexistent-usbfs");
    for (const char* path : {"\\\\.\\1-1", "\\\\.\\..", "\\\\.\\usb1/../outside", "\\\\.\\outside",
                             "\\\\.\\HCD1", "\\\\.\\HCD", "usb1", "\\\\.\\1-", "\\\\.\\-1"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(host.OpenNode(path), nullptr);
    }
    for (const char* path : {"\\\\.\\HCD0", "\\\\.\\usb1"}) {
        UsbNodeHandle node = host.OpenNode(path);
        EXPECT_NE(node, nullptr) << path;
        if (node != nullptr) host.CloseNode(node);
    }
}

TEST_F(SysfsUsbHostTest, RepliesAreShapedLikeTheWindowsDriverRecords) {
    AddHub("usb3", 2, 3, 1);
    AddDevice("3-1", "FW:A PSR:B", 3, 7);
    Write("3-1", "speed", "1.5\n");
    SysfsUsbHost host(devices_.string(), "/nonexistent-usbfs");
    UsbNodeHandle controller = host.OpenNode("\\\\.\\HCD0");
    ASSERT_NE(controller, nullptr);
    std::uint8_t name[32] = {};
    std::uint32_t returned = 0;
    ASSERT_TRUE(host.GetRootHubName(controller, name, 6, &returned));
    EXPECT_EQ(returned, 6u);
    const std::uint32_t actualLength = reinterpret_cast<UsbRootHubName*>(name)->ActualLength;
    EXPECT_EQ(actualLength, 4u + 2u * 5u);  // "usb3"
    host.CloseNode(controller);

    UsbNodeHandle hub = host.OpenNode("\\\\.\\usb3");
    ASSERT_NE(hub, nullptr);
    UsbNodeInformation information{};
    ASSERT_TRUE(host.GetNodeInformation(hub, &information, sizeof information, &returned));
    EXPECT_EQ(returned, 76u);
    EXPECT_EQ(information.HubDescriptor.bNumberOfPorts, 2);

    std::uint8_t buffer[kConnectionInformationBufferSize] = {};
    auto* connection = reinterpret_cast<UsbNodeConnectionInformation*>(buffer);
    connection->ConnectionIndex = 1;
    ASSERT_TRUE(host.GetNodeConnectionInformation(hub, buffer, sizeof buffer, &returned));
    EXPECT_EQ(returned, 35u);
    // Packed fields are copied out before they are compared.
    std::uint32_t status = connection->ConnectionStatus;
    EXPECT_EQ(status, kDeviceConnected);
    EXPECT_EQ(connection->DeviceDescriptor.iProduct, 2);
    EXPECT_EQ(connection->CurrentConfigurationValue, 1);
    EXPECT_EQ(connection->LowSpeed, 1);
    EXPECT_EQ(connection->DeviceIsHub, 0);
    const std::uint16_t address = connection->DeviceAddress;
    EXPECT_EQ(address, 7);
    connection->ConnectionIndex = 2;
    ASSERT_TRUE(host.GetNodeConnectionInformation(hub, buffer, sizeof buffer, &returned));
    status = connection->ConnectionStatus;
    EXPECT_EQ(status, kNoDeviceConnected);
    connection->ConnectionIndex = 3;
    EXPECT_FALSE(host.GetNodeConnectionInformation(hub, buffer, sizeof buffer, &returned));
    host.CloseNode(hub);
}

TEST_F(SysfsUsbHostTest, CachedTextsAnswerTheStringIndexesTheyBelongTo) {
    AddHub("usb1", 1, 1, 1);
    AddDevice("1-1", "FW:A PSR:B", 1, 2);
    Write("1-1:1.0", "bAlternateSetting", " 0\n");
    Write("1-1:1.0", "interface", "DFU\n");
    SysfsUsbHost host(devices_.string(), "/nonexistent-usbfs");
    UsbNodeHandle hub = host.OpenNode("\\\\.\\usb1");
    ASSERT_NE(hub, nullptr);
    auto read = [&](std::uint8_t index, std::uint16_t length) {
        std::vector<std::uint8_t> buffer(12 + 255, 0);
        auto* request = reinterpret_cast<UsbDescriptorRequest*>(buffer.data());
        request->ConnectionIndex = 1;
        request->SetupPacket.wValue = static_cast<std::uint16_t>(0x0300 | index);
        request->SetupPacket.wIndex = 0x0409;
        request->SetupPacket.wLength = length;
        std::uint32_t returned = 0;
        if (!host.GetDescriptorFromNodeConnection(
                hub, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &returned))
            return std::string("failed");
        return std::string(buffer.begin() + 12, buffer.begin() + returned);
    };
    EXPECT_EQ(read(0, 255), std::string("\x04\x03\x09\x04", 4));
    EXPECT_EQ(read(2, 255), std::string("\x0c\x03K\0X\0-\0V\0"
                                        "5\0",
                                        12));
    EXPECT_EQ(read(5, 255), std::string("\x08\x03"
                                        "D\0F\0U\0",
                                        8));
    EXPECT_EQ(read(5, 4), std::string("\x08\x03"
                                      "D\0",
                                      4))
        << "cut to wLength";
    EXPECT_EQ(read(9, 255), "failed") << "no text kept for this index";
    Write("1-1:1.0", "bAlternateSetting", " 1\n");
    EXPECT_EQ(read(5, 255), "failed") << "another alternate setting is current";
    host.CloseNode(hub);
}

}  // namespace
}  // namespace upgrade
