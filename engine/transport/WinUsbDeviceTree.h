// The WinUSB back end's view of the device tree, read through WinUsbApi: which USB devices are
// present, where each sits (parent hub and port), which carry a DFU interface and whether WinUSB
// serves it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WinUsbApi.h"

namespace dfuengine {

// A present USB device node: a whole device, not a hub and not one function of it.
struct UsbDeviceNode {
    std::wstring instanceId;  // USB\VID_1209&PID_4B58\QV0001
    std::wstring service;     // its driver ("WinUSB", "usbccgp", "usbser"...); empty: none
    std::wstring hubId;       // the parent hub's instance ID
    DWORD port = 0;           // the hub port (1 up)
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    // "<hub instance ID>#<port>": stays the same while the device re-enumerates in place.
    std::wstring Location() const;
};

// A node that carries a DFU interface: the device itself, or one function (&MI_xx) of a
// composite device.
struct DfuNode {
    std::wstring instanceId;     // the node WinUSB would serve
    std::wstring service;        // its driver; empty: none
    std::wstring interfacePath;  // the device interface WinUSB registered; empty: none
    UsbDeviceNode device;        // the USB device it belongs to
    bool function = false;       // one function of a composite device
    std::uint8_t dfuInterface = 0;

    bool ServedByWinUsb() const;
    // The name the engine lists: the interface path, or else the instance ID.
    const std::wstring& Name() const { return interfacePath.empty() ? instanceId : interfacePath; }
};

// Every present USB device node (hubs and functions left out).
std::vector<UsbDeviceNode> FindUsbDevices(WinUsbApi& api);

// Every present node with a DFU interface, whatever its driver. Its configuration descriptor is
// read through the parent hub, so that no device is opened (WinUSB grants one handle a device,
// which another program may hold).
std::vector<DfuNode> FindDfuNodes(WinUsbApi& api);

// A handle on the hub's device interface (for hub requests), or INVALID_HANDLE_VALUE.
HANDLE OpenHub(WinUsbApi& api, const std::wstring& hubId);

// Whether a node of this instance ID is present (configured in the device tree) now.
bool NodePresent(WinUsbApi& api, const std::wstring& instanceId);

// Case-insensitive comparison, as Windows compares device names.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace dfuengine
