// The platform layer under the USB device tree walk: the requests the walk makes to the USB
// host-controller and hub drivers, shaped as the Windows drivers answer them.
//
// Every request takes one buffer used as input and output (METHOD_BUFFERED) and reports the
// bytes written back; the buffer contents follow the records of UsbRecords.h byte for byte.
// A back end answers each request as the Windows drivers would: a request fails, succeeds
// with fewer bytes than asked, or fills the records with whatever the device reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace upgrade {

// An open host controller or hub; null when a node does not open.
using UsbNodeHandle = void*;

class UsbHostDriver {
  public:
    virtual ~UsbHostDriver() = default;

    // Opens "\\.\HCD<n>" (a host controller) or "\\.\<hub name>" (a hub) for requests, as
    // CreateFileA with GENERIC_WRITE, FILE_SHARE_WRITE and OPEN_EXISTING does.
    virtual UsbNodeHandle OpenNode(const char* devicePath) = 0;
    virtual void CloseNode(UsbNodeHandle node) = 0;

    // IOCTL_USB_GET_ROOT_HUB_NAME to a controller: no input, a UsbRootHubName record out.
    virtual bool GetRootHubName(UsbNodeHandle controller, void* output, std::uint32_t outputSize,
                                std::uint32_t* bytesReturned) = 0;
    // IOCTL_USB_GET_NODE_INFORMATION to a hub: a UsbNodeInformation record in and out.
    virtual bool GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                    std::uint32_t* bytesReturned) = 0;
    // IOCTL_USB_GET_NODE_CONNECTION_INFORMATION: the port's UsbNodeConnectionInformation
    // (ConnectionIndex set by the caller) followed by room for pipe records.
    virtual bool GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                              std::uint32_t* bytesReturned) = 0;
    // IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: a UsbDescriptorRequest header naming the
    // port and the GET_DESCRIPTOR setup packet, followed by room for the descriptor bytes.
    virtual bool GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer,
                                                 std::uint32_t size,
                                                 std::uint32_t* bytesReturned) = 0;
    // IOCTL_USB_GET_NODE_CONNECTION_NAME: a UsbNodeConnectionName record naming the port; the
    // name of the hub attached there comes back.
    virtual bool GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                       std::uint32_t* bytesReturned) = 0;

    // Zero-filled memory for the walk's records, and its release. Null when it cannot be had.
    virtual void* AllocateRecord(std::size_t size) { return std::calloc(1, size); }
    virtual void ReleaseRecord(void* record) { std::free(record); }
};

// The back end of this platform: the Windows drivers, or the Linux sysfs and usbfs layer.
UsbHostDriver& PlatformUsbHostDriver();

}  // namespace upgrade
