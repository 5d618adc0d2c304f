// Linux back end of the USB driver requests, read from sysfs (and usbfs for strings).
//
// The Windows names are mapped onto the kernel's view of the bus:
// - "\\.\HCD<n>" is the n-th root hub directory "usb<bus>" in bus-number order;
// - a hub's name is its sysfs device name ("usb1" for a root hub, "1-4" or "1-4.2" for an
//   external hub), and the device on port p of hub H is "<bus>-p" below a root hub and "H.p"
//   below an external hub;
// - the port count of a hub is its "maxchild" attribute;
// - the device descriptor and the configuration descriptor sets come from the "descriptors"
//   file (the device descriptor, then every configuration's full set in index order);
// - string descriptors are not kept by sysfs in raw form. They are read from the device with a
//   GET_DESCRIPTOR control transfer through usbfs (/dev/bus/usb/BBB/DDD, USBDEVFS_CONTROL),
//   which gives every string in every language exactly as on Windows. When the usbfs node
//   cannot be opened for writing (no permission; usbfs answers no request on a node opened
//   for reading only), the strings the kernel has already read are used
//   instead: "manufacturer", "product", "serial" for the device's indexes, and, when
//   configuration 0 is the active configuration, "configuration" for its iConfiguration and
//   each interface directory's "interface" for the iInterface of its current alternate
//   setting. The kernel reads those in the device's first language only, so string 0 then
//   lists the one language 0x0409 and the texts are answered in it.
#pragma once

#include <string>

#include "upgrade/enum/UsbHostDriver.h"

namespace upgrade {

class SysfsUsbHost final : public UsbHostDriver {
  public:
    explicit SysfsUsbHost(std::string devicesDirectory = "/sys/bus/usb/devices",
                          std::string usbfsDirectory = "/dev/bus/usb");

    UsbNodeHandle OpenNode(const char* devicePath) override;
    void CloseNode(UsbNodeHandle node) override;
    bool GetRootHubName(UsbNodeHandle controller, void* output, std::uint32_t outputSize,
                        std::uint32_t* bytesReturned) override;
    bool GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                            std::uint32_t* bytesReturned) override;
    bool GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                      std::uint32_t* bytesReturned) override;
    bool GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                         std::uint32_t* bytesReturned) override;
    bool GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                               std::uint32_t* bytesReturned) override;

  private:
    std::string devicesDirectory_;
    std::string usbfsDirectory_;
};

}  // namespace upgrade
