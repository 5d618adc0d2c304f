// The USB descriptors of the simulated device, as a real headset firmware should offer them:
// device, configuration (interfaces, the DFU functional descriptor), strings, and the BOS with
// the Microsoft OS 2.0 platform capability whose descriptor set asks Windows for WinUSB (the
// compatible ID and a DeviceInterfaceGUID), so that no driver needs installing.
//
// Plain data, built once per mode: any back end (the WinUSB model, a Linux one) serves them.
// docs/dfu-engine.md lists the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvdfu {

// What a configuration offers around its DFU interface.
enum class InterfaceLayout {
    // The DFU interface alone (interface number as configured, normally 0).
    dfu_only,
    // A CDC ACM serial function (interfaces 0 and 1, grouped by an interface association) and
    // the DFU interface 2: a composite device, each function a node of its own on Windows.
    serial_then_dfu,
    // A vendor-specific interface 0, then the DFU interface 1, in one device that is not
    // composite (bDeviceClass 0xFF): the DFU interface is not the first of its node.
    vendor_then_dfu,
    // The serial function alone, no DFU interface (bDeviceClass 0x02).
    serial_only,
};

// The bMS_VendorCode of the platform capability: the vendor request that reads the MS OS 2.0
// descriptor set, with wIndex MS_OS_20_DESCRIPTOR_INDEX (7).
constexpr std::uint8_t kMsOs20VendorCode = 0x20;
constexpr std::uint16_t kMsOs20DescriptorIndex = 0x07;
// The device interface class WinUSB registers for the headset's DFU interface (our own GUID).
constexpr const char* kHeadsetInterfaceGuid = "{9F6C2D4A-5B3E-4C71-A8D0-3E2B1F7C6A59}";

struct DescriptorConfig {
    std::uint16_t vendor = 0x1209;
    std::uint16_t product = 0x4B58;
    std::uint16_t release = 0x0100;
    std::string manufacturer = "Quorvane";
    std::string productName = "KX-V5 Headset";
    std::string serialNumber = "QV0001";  // empty: the device has no serial number
    InterfaceLayout layout = InterfaceLayout::dfu_only;
    std::uint8_t dfuOnlyInterface = 0;  // the DFU interface's number in the dfu_only layout
    bool dfuMode = false;               // DFU interface protocol 2 (DFU mode), else 1
    std::uint8_t attributes = 0x0F;
    std::uint16_t detachTimeoutMs = 1000;
    std::uint16_t transferSize = 1024;
    // The BOS with the MS OS 2.0 descriptor set that binds WinUSB to the DFU interface (bcdUSB
    // 0x0201); false: bcdUSB 0x0200 and no BOS, so Windows binds no driver of itself.
    bool msOs20 = true;
    // The DeviceInterfaceGUIDs registry property; empty: none (WinUSB then registers no device
    // interface an application could open).
    std::string interfaceGuid = kHeadsetInterfaceGuid;
};

struct UsbDescriptors {
    std::vector<std::uint8_t> device;                // 18 bytes
    std::vector<std::uint8_t> configuration;         // the whole set, wTotalLength bytes
    std::vector<std::vector<std::uint8_t>> strings;  // by index; 0: the language IDs
    std::vector<std::uint8_t> bos;                   // empty without MS OS 2.0
    std::vector<std::uint8_t> msOs20;                // the MS OS 2.0 descriptor set
};

UsbDescriptors BuildDescriptors(const DescriptorConfig& config);

// The DFU interface's number in a layout; -1 when it has none.
int DfuInterfaceNumber(InterfaceLayout layout, std::uint8_t dfuOnlyInterface);

}  // namespace qvdfu
