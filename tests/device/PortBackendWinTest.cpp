// The Windows back end over the real setup library and registry (SetupApi_win.cpp), as they
// behave under Wine, whose setup library lists no ports: the serial device map of the registry
// must still make every port reachable. PortBackendWinModelTest covers the rest over a model.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "device/ports/PortBackend.h"

namespace device {
namespace {

const char kDeviceMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kTestValue[] = "\\Device\\QvTestSerial";

class SerialDeviceMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDeviceMap, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            GTEST_SKIP() << "the serial device map cannot be written here";
        }
    }
    void TearDown() override {
        if (key != nullptr) {
            RegDeleteValueA(key, kTestValue);
            RegCloseKey(key);
        }
    }
    void AddPort(const char* name) {
        ASSERT_EQ(RegSetValueExA(key, kTestValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                                 static_cast<DWORD>(strlen(name) + 1)),
                  ERROR_SUCCESS);
    }

    HKEY key = nullptr;
};

TEST_F(SerialDeviceMapTest, ListsMappedPortsWithEmptyDescriptions) {
    AddPort("COM77");
    std::vector<FoundPort> ports;
    ASSERT_TRUE(PlatformPortBackend().ListPorts(ports));
    const bool fromSetupClass = std::any_of(
        ports.begin(), ports.end(), [](const FoundPort& p) { return !p.Description.empty(); });
    if (fromSetupClass) GTEST_SKIP() << "the setup library lists ports on this system";
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [](const FoundPort& p) { return p.Name == "COM77"; });
    ASSERT_NE(found, ports.end());
    EXPECT_EQ(found->Description, "");
}

}  // namespace
}  // namespace device
