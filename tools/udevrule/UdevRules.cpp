#include "UdevRules.h"

#include <cstdio>
#include <vector>

#include "device/HeadsetUsbIds.h"

namespace udevrule {
namespace {

// As sysfs shows an ID: four lower-case hexadecimal digits.
std::string SysfsId(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
    return text;
}

// The match of the vendor and product IDs: ATTR on the USB device itself, ATTRS on a device
// below it (the tty of its serial function), whose IDs sit on a parent.
std::string IdMatch(const std::string& key, std::uint16_t product) {
    return key + "{idVendor}==\"" + SysfsId(device::kHeadsetUsbVendor) + "\", " + key +
           "{idProduct}==\"" + SysfsId(product) + "\"";
}

}  // namespace

std::string HeadsetUdevRules() {
    const std::string grant =
        ", TAG+=\"uaccess\", GROUP=\"plugdev\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
    std::vector<std::uint16_t> products{device::kHeadsetUsbProduct};
    if (device::kHeadsetDfuUsbProduct != device::kHeadsetUsbProduct) {
        products.push_back(device::kHeadsetDfuUsbProduct);
    }
    std::string rules =
        "# " + std::string(kRuleFileName) +
        ": the Quorvane KX-V5 headset for the user at the seat (uaccess) and for the group\n"
        "# plugdev, in run-time and in DFU mode; ModemManager leaves its serial port alone.\n"
        "# Made from device/HeadsetUsbIds.h by make_udev_rule: the IDs are edited there.\n";
    for (std::uint16_t product : products) {
        rules +=
            "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", " + IdMatch("ATTR", product) + grant;
        rules += "SUBSYSTEM==\"tty\", " + IdMatch("ATTRS", product) + grant;
    }
    return rules;
}

}  // namespace udevrule
