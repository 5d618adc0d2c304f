// The Windows port discovery over a model of the device-setup library and the registry
// (FakeSetupApi): the present members of the "Ports" class with their descriptions, and the
// serial device map when the setup library lists no COM port or cannot be used.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/ports/PortBackend.h"
#include "tests/device/FakeSetupApi.h"

namespace device {
namespace {

using fake_setup::Device;
using fake_setup::Text;
using fake_setup::Value;

using Listed = std::vector<std::pair<std::string, std::string>>;  // name, description

Device Port(const std::string& name, const std::string& description) {
    Device device;
    device.portName = Text(name);
    device.description = Text(description);
    return device;
}

// A REG_MULTI_SZ value: each text with its zero, and one more zero at the end.
Value MultiString(const std::vector<std::string>& texts) {
    Value value{REG_MULTI_SZ, {}};
    for (const std::string& text : texts) value.bytes += text + '\0';
    value.bytes += '\0';
    return value;
}

class PortBackendWinModelTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_setup::Reset(); }
    void TearDown() override {
        // Every key is closed and every device list freed, whatever was found.
        EXPECT_EQ(model.openKeys, 0);
        EXPECT_EQ(model.openLists, 0);
    }

    Listed List(bool expectListed = true) {
        std::vector<FoundPort> ports;
        EXPECT_EQ(PlatformPortBackend().ListPorts(ports), expectListed);
        Listed listed;
        for (const FoundPort& port : ports) listed.emplace_back(port.Name, port.Description);
        return listed;
    }

    fake_setup::Model& model = fake_setup::State();
};

TEST_F(PortBackendWinModelTest, SetupClassListsItsComPortsWithTheirDescriptions) {
    Device lowerCase = Port("com3", "Communications Port");
    Device unterminated = Port("COM9", "Modem");
    unterminated.portName->bytes = "COM9";  // stored without its terminating zero
    Device noDescription = Port("COM6", "");
    noDescription.description.reset();
    Device multiStringDescription = Port("COM7", "");
    multiStringDescription.description = Value{REG_MULTI_SZ, std::string("A\0B\0\0", 5)};
    Device keyFails = Port("COM8", "Unreachable");
    keyFails.keyOpens = false;
    Device numberName = Port("COM2", "Number");
    numberName.portName = Value{REG_DWORD, std::string("\x02\0\0\0", 4)};
    Device noName = Port("COM1", "No name");
    noName.portName.reset();
    model.devices = {Port("COM4", "USB Serial Device"),
                     Port("LPT1", "Printer Port"),
                     lowerCase,
                     unterminated,
                     noDescription,
                     multiStringDescription,
                     keyFails,
                     numberName,
                     noName,
                     Port("COMX", "Not a number")};
    // Not read: the setup class lists COM ports.
    model.deviceMap->push_back({"\\Device\\Serial0", Text("COM77")});

    EXPECT_EQ(List(), (Listed{{"COM4", "USB Serial Device"},
                              {"com3", "Communications Port"},
                              {"COM9", "Modem"},
                              {"COM6", ""},
                              {"COM7", ""}}));
    EXPECT_EQ(model.listsMade, 1);
    EXPECT_EQ(model.deviceMapReads, 0);
}

// A port on USB carries the vendor and product IDs of its first (most specific) hardware ID;
// any other port, or an ID that is not of the USB form, gives none.
TEST_F(PortBackendWinModelTest, UsbPortsCarryTheIdsOfTheirHardwareId) {
    const struct {
        const char* situation;
        std::optional<Value> hardwareIds;
        std::uint16_t vendor, product;
    } cases[] = {
        {"USB with revision",
         MultiString({"USB\\VID_1209&PID_4B58&REV_0100", "USB\\VID_1209&PID_4B58"}), 0x1209,
         0x4B58},
        {"lower-case hex", MultiString({"USB\\VID_04d8&PID_000a"}), 0x04D8, 0x000A},
        {"not USB", MultiString({"ACPI\\PNP0501", "*PNP0501"}), 0, 0},
        {"FTDI's bus", MultiString({"FTDIBUS\\VID_0403+PID_6001+A50285BIA"}), 0, 0},
        {"not hex", MultiString({"USB\\VID_12G9&PID_4B58"}), 0, 0},
        {"a plain string", Text("USB\\VID_1209&PID_4B58"), 0, 0},
        {"no hardware IDs", std::nullopt, 0, 0},
    };
    for (const auto& c : cases) {
        fake_setup::Reset();
        Device port = Port("COM4", "USB Serial Device");
        port.hardwareIds = c.hardwareIds;
        model.devices = {port};
        std::vector<FoundPort> ports;
        ASSERT_TRUE(PlatformPortBackend().ListPorts(ports)) << c.situation;
        ASSERT_EQ(ports.size(), 1u) << c.situation;
        EXPECT_EQ(ports[0].UsbVendor, c.vendor) << c.situation;
        EXPECT_EQ(ports[0].UsbProduct, c.product) << c.situation;
    }
}

// Wine's setup library lists no member of the "Ports" class, even for mapped ports; without
// the library, its entries or the class the map is the only source too.
TEST_F(PortBackendWinModelTest, SetupClassWithoutComPortsLeavesItToTheSerialDeviceMap) {
    struct Case {
        const char* situation;
        void (*arrange)(fake_setup::Model&);
    } cases[] = {
        {"no member", [](fake_setup::Model&) {}},
        {"only a printer port",
         [](fake_setup::Model& m) { m.devices = {Port("LPT1", "Printer Port")}; }},
        {"no setup library", [](fake_setup::Model& m) { m.libraryLoads = false; }},
        {"no Ports class", [](fake_setup::Model& m) { m.portsClasses = 0; }},
        {"no device list", [](fake_setup::Model& m) { m.deviceListOpens = false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        fake_setup::Reset();
        c.arrange(model);
        model.deviceMap = {{"\\Device\\Serial0", Text("COM5")},
                           {"\\Device\\Serial1", Value{REG_DWORD, std::string("\x05\0\0\0", 4)}},
                           {"\\Device\\QvSerial", Text("COM87")}};
        EXPECT_EQ(List(), (Listed{{"COM5", ""}, {"COM87", ""}}));
        EXPECT_EQ(model.deviceMapReads, 1);
    }
}

TEST_F(PortBackendWinModelTest, NeitherSourceMeansTheSystemCouldNotBeAsked) {
    model.libraryLoads = false;
    model.deviceMap.reset();
    EXPECT_TRUE(List(false).empty());
    // A setup class that could be read but held no COM port still counts as asked.
    fake_setup::Reset();
    model.devices = {Port("LPT1", "Printer Port")};
    model.deviceMap.reset();
    EXPECT_TRUE(List(true).empty());
}

}  // namespace
}  // namespace device
