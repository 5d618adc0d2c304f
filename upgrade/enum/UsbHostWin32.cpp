// Win32 back end of the USB driver requests: CreateFileA on the controller and hub devices
// and DeviceIoControl with the USB hub driver requests, one buffer as input and output.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
// usbioctl.h is written for the driver kit's include order: it needs the USB descriptor
// types of usb200.h and the request numbers of usbiodef.h, which it pulls in itself.
#include <usbioctl.h>

#include "upgrade/enum/UsbHostDriver.h"
#include "upgrade/enum/UsbRecords.h"

namespace upgrade {
namespace {

// Our records are the system's records, byte for byte.
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == sizeof(UsbNodeConnectionInformation),
              "connection information matches the system record");
static_assert(sizeof(USB_DESCRIPTOR_REQUEST) == sizeof(UsbDescriptorRequest),
              "descriptor request header matches the system record");
static_assert(sizeof(USB_NODE_INFORMATION) == sizeof(UsbNodeInformation),
              "node information matches the system record");
static_assert(sizeof(USB_ROOT_HUB_NAME) == sizeof(UsbRootHubName), "root hub name record");
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == sizeof(UsbNodeConnectionName),
              "connection name record");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceIsHub) ==
                  offsetof(UsbNodeConnectionInformation, DeviceIsHub),
              "DeviceIsHub offset");
static_assert(offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus) ==
                  offsetof(UsbNodeConnectionInformation, ConnectionStatus),
              "ConnectionStatus offset");
static_assert(sizeof(USB_PIPE_INFO) == sizeof(UsbPipeInfo), "pipe record");
static_assert(offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts) ==
                  offsetof(UsbNodeInformation, HubDescriptor.bNumberOfPorts),
              "bNumberOfPorts offset");
static_assert(offsetof(USB_NODE_CONNECTION_NAME, NodeName) ==
                  offsetof(UsbNodeConnectionName, NodeName),
              "connection name text offset");
static_assert(offsetof(USB_ROOT_HUB_NAME, RootHubName) == offsetof(UsbRootHubName, RootHubName),
              "root hub name text offset");
static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == 0x220408, "root hub name request");
static_assert(IOCTL_USB_GET_NODE_INFORMATION == 0x220408, "node information request");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION == 0x22040C, "connection request");
static_assert(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION == 0x220410, "descriptor request");
static_assert(IOCTL_USB_GET_NODE_CONNECTION_NAME == 0x220414, "connection name request");

class Win32UsbHost final : public UsbHostDriver {
  public:
    // CreateFileA with write access, shared writing, no security attributes, OPEN_EXISTING,
    // no flags and no template, as the hub drivers expect for their requests.
    UsbNodeHandle OpenNode(const char* devicePath) override {
        HANDLE handle = CreateFileA(devicePath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

    void CloseNode(UsbNodeHandle node) override { CloseHandle(node); }

    // The root hub name request carries no input.
    bool GetRootHubName(UsbNodeHandle controller, void* output, std::uint32_t outputSize,
                        std::uint32_t* bytesReturned) override {
        return Request(controller, IOCTL_USB_GET_ROOT_HUB_NAME, nullptr, 0, output, outputSize,
                       bytesReturned);
    }

    bool GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                            std::uint32_t* bytesReturned) override {
        return Request(hub, IOCTL_USB_GET_NODE_INFORMATION, buffer, size, buffer, size,
                       bytesReturned);
    }

    bool GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                      std::uint32_t* bytesReturned) override {
        return Request(hub, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, buffer, size, buffer, size,
                       bytesReturned);
    }

    // The hub driver sends the setup packet to the device on the named port.
    bool GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                         std::uint32_t* bytesReturned) override {
        return Request(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer, size, buffer,
                       size, bytesReturned);
    }

    bool GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                               std::uint32_t* bytesReturned) override {
        return Request(hub, IOCTL_USB_GET_NODE_CONNECTION_NAME, buffer, size, buffer, size,
                       bytesReturned);
    }

  private:
    static bool Request(UsbNodeHandle node, DWORD code, void* input, std::uint32_t inputSize,
                        void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned) {
        DWORD returned = 0;
        const BOOL ok =
            DeviceIoControl(node, code, input, inputSize, output, outputSize, &returned, nullptr);
        *bytesReturned = returned;
        return ok != FALSE;
    }
};

}  // namespace

UsbHostDriver& PlatformUsbHostDriver() {
    static Win32UsbHost host;
    return host;
}

}  // namespace upgrade
