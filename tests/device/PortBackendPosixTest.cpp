// The POSIX back end against a temporary COM link folder and a fake sysfs tree.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "FakePorts.h"
#include "device/ports/ComLinkFolder_posix.h"

namespace device {
namespace {

namespace fs = std::filesystem;

class PosixPortBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-ports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        links = root / "dosdevices";
        sysfs = root / "sys";
        fs::create_directories(links);
        ::setenv("QV_COM_DIR", links.c_str(), 1);
        ::setenv("QV_SYSFS_ROOT", sysfs.c_str(), 1);
        PortTablesFixture::ResetTables();
    }
    void TearDown() override {
        ::unsetenv("QV_COM_DIR");
        ::unsetenv("QV_SYSFS_ROOT");
        fs::remove_all(root);
        PortTablesFixture::ResetTables();
    }

    void Link(const char* name, const fs::path& target) {
        fs::create_symlink(target, links / name);
    }

    // A tty node under a USB device in the fake sysfs, reached from /sys/dev/char/<dev>.
    void UsbTty(const char* devNumber, const char* usbDevice, const char* product) {
        const fs::path device = sysfs / "devices/pci0000:00/usb1" / usbDevice;
        const fs::path tty = device / (std::string(usbDevice) + ":1.0/tty/ttyUSB0");
        fs::create_directories(tty);
        std::ofstream(device / "idVendor") << "0a12\n";
        std::ofstream(device / "idProduct") << "4B58\n";
        if (product != nullptr) std::ofstream(device / "product") << product << "\n";
        fs::create_directories(sysfs / "dev/char");
        fs::create_symlink(tty, sysfs / "dev/char" / devNumber);
    }

    std::vector<FoundPort> List() {
        std::vector<FoundPort> ports;
        EXPECT_TRUE(PlatformPortBackend().ListPorts(ports));
        std::sort(ports.begin(), ports.end(),
                  [](const FoundPort& a, const FoundPort& b) { return a.Name < b.Name; });
        return ports;
    }

    fs::path root, links, sysfs;
};

TEST_F(PosixPortBackendTest, ListsLinksToCharacterDevicesAsComPorts) {
    std::ofstream(root / "plain-file") << "x";
    Link("com5", "/dev/null");
    Link("com12", "/dev/zero");
    Link("com7", root / "gone");        // dangling: the device was removed
    Link("com9", root / "plain-file");  // not a device
    Link("COM8", "/dev/null");          // the serial layer opens lower-case links only
    Link("lpt1", "/dev/null");
    Link("comx", "/dev/null");

    const std::vector<FoundPort> ports = List();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].Name, "COM12");
    EXPECT_EQ(ports[1].Name, "COM5");
    EXPECT_EQ(ports[0].Description, "");
    EXPECT_EQ(ports[1].Description, "");
}

TEST_F(PosixPortBackendTest, DescribesUsbTtysByTheirProductString) {
    UsbTty("1:3", "1-1", "KX-V5 Headset");  // /dev/null
    UsbTty("1:7", "1-2", nullptr);          // /dev/full: a USB device without product string
    Link("com3", "/dev/null");
    Link("com4", "/dev/full");
    Link("com1", "/dev/zero");  // not on USB

    const std::vector<FoundPort> ports = List();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].Description, "");
    EXPECT_EQ(ports[1].Description, "USB Serial Device (KX-V5 Headset)");
    EXPECT_EQ(ports[2].Description, "USB Serial Device");
    EXPECT_EQ(ports[0].UsbVendor, 0);  // not on USB
    EXPECT_EQ(ports[1].UsbVendor, 0x0A12);
    EXPECT_EQ(ports[1].UsbProduct, 0x4B58);

    // End to end: sorted rows, and the USB port preselected.
    SetPortBackend(nullptr);
    FakeListBox listBox;
    RefreshComPortList(listBox);
    SelectUsbPort(listBox);
    EXPECT_EQ(listBox.rows,
              (std::vector<std::string>{"COM1  -  ", "COM3  -  USB Serial Device (KX-V5 Headset)",
                                        "COM4  -  USB Serial Device"}));
    EXPECT_EQ(listBox.selected, 1);
}

TEST_F(PosixPortBackendTest, AMissingFolderListsNothing) {
    ::setenv("QV_COM_DIR", (root / "absent").c_str(), 1);
    EXPECT_TRUE(List().empty());
}

TEST(ComLinkFolder, FollowsTheEnvironment) {
    const char* saved[] = {std::getenv("QV_COM_DIR"), std::getenv("XDG_CONFIG_HOME"),
                           std::getenv("HOME")};
    const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                                saved[2] ? saved[2] : ""};
    ::setenv("QV_COM_DIR", "/x/links", 1);
    EXPECT_EQ(ComLinkFolderPath(), "/x/links");
    ::unsetenv("QV_COM_DIR");
    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(ComLinkFolderPath(), "/x/config/QVBFU/dosdevices");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(ComLinkFolderPath(), "/home/u/.config/QVBFU/dosdevices");

    const char* names[] = {"QV_COM_DIR", "XDG_CONFIG_HOME", "HOME"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i])
            ::setenv(names[i], keep[i].c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}

TEST(ComLinkFolder, NamesLinksInLowerCase) {
    EXPECT_EQ(ComLinkNameOf("COM5"), "com5");
    EXPECT_EQ(ComLinkNameOf("com12"), "com12");
    EXPECT_EQ(ComLinkNameOf("COM"), "");
    EXPECT_EQ(ComLinkNameOf("COM5a"), "");
    EXPECT_EQ(ComLinkNameOf("LPT1"), "");
}

}  // namespace
}  // namespace device
