// qvdfu on Linux: the headset's /dev/ttyACM* or /dev/ttyUSB* found by its USB IDs in a fake
// sysfs tree, listed after the COM links of the simulator, and only the headset's asked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "console/HeadsetPorts.h"
#include "device/HeadsetUsbIds.h"

namespace service {
namespace {

namespace fs = std::filesystem;

class LinuxTtyPortsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-ttys-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root / "dosdevices");
        fs::create_directories(root / "sys/class/tty");
        ::setenv("QV_COM_DIR", (root / "dosdevices").c_str(), 1);
        ::setenv("QV_SYSFS_ROOT", (root / "sys").c_str(), 1);
        ::unsetenv("QV_HEADSET_PORTS");
    }
    void TearDown() override {
        ::unsetenv("QV_COM_DIR");
        ::unsetenv("QV_SYSFS_ROOT");
        ::unsetenv("QV_HEADSET_PORTS");
        fs::remove_all(root);
    }

    // A tty as the kernel shows it: /sys/class/tty/<name> links to the tty's node, which lies
    // below its USB device's interface (or, for a port not on USB, elsewhere).
    void Tty(const std::string& name, const char* usbDevice, const char* vendor,
             const char* product) {
        fs::path node;
        if (usbDevice != nullptr) {
            const fs::path device = root / "sys/devices/pci0000:00/usb1" / usbDevice;
            node = device / (std::string(usbDevice) + ":1.0/tty") / name;
            fs::create_directories(node);
            std::ofstream(device / "idVendor") << vendor << "\n";
            std::ofstream(device / "idProduct") << product << "\n";
            std::ofstream(device / "product") << "Some Product\n";
        } else {
            node = root / "sys/devices/platform/serial8250/tty" / name;
            fs::create_directories(node);
        }
        fs::create_symlink(node, root / "sys/class/tty" / name);
    }

    fs::path root;
};

TEST_F(LinuxTtyPortsTest, FindsTheHeadsetsTtyByItsUsbIds) {
    char vendor[8], product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", device::kHeadsetUsbVendor);
    std::snprintf(product, sizeof product, "%04x", device::kHeadsetUsbProduct);
    Tty("ttyACM0", "1-3", vendor, product);   // the headset's serial function
    Tty("ttyACM1", "1-4", "2341", "0043");    // another CDC ACM device (a board)
    Tty("ttyUSB0", "1-5", "0403", "6001");    // a USB serial adapter
    Tty("ttyS0", nullptr, nullptr, nullptr);  // not on USB, and not a USB serial name
    fs::create_symlink("/dev/null", root / "dosdevices/com7");  // the simulator's link

    const std::vector<ListedPort> ports = ListSerialPorts();
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].name, "COM7");
    EXPECT_EQ(ports[1].name, "/dev/ttyACM0");
    EXPECT_EQ(ports[1].description, "USB Serial Device (Some Product)");
    EXPECT_TRUE(ports[1].mayAsk);
    EXPECT_EQ(ports[2].name, "/dev/ttyACM1");
    EXPECT_FALSE(ports[2].mayAsk);
    EXPECT_EQ(ports[3].name, "/dev/ttyUSB0");
    EXPECT_FALSE(ports[3].mayAsk);

    // One named by hand is asked whatever its IDs.
    ::setenv("QV_HEADSET_PORTS", "/dev/ttyUSB0", 1);
    EXPECT_TRUE(ListSerialPorts()[3].mayAsk);
}

}  // namespace
}  // namespace service
