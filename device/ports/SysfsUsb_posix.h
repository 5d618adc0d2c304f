// What sysfs tells of serial ports on USB: the USB device a tty belongs to (its vendor and
// product IDs and product string), and the USB serial ttys of the system (/dev/ttyACM*,
// /dev/ttyUSB*). sysfs is $QV_SYSFS_ROOT in tests, else /sys.
#pragma once

#include <string>
#include <vector>

#include "device/ports/PortBackend.h"

namespace device {

std::string SysfsRoot();

// Walks up from a tty's sysfs node (a path whose real location is under devices/) to the USB
// device it belongs to, if any, and describes the port from it: "USB Serial Device (<product
// string>)" with the device's IDs. Leaves the port as it is for a tty not on USB.
void DescribeFromUsbDevice(const std::string& sysfsNode, FoundPort& port);

// The ttys of USB serial drivers (cdc_acm: ttyACM*, usb-serial: ttyUSB*) present now, named
// by their /dev path ("/dev/ttyACM0") and described from their USB device, sorted by name.
std::vector<FoundPort> ListUsbSerialTtys();

}  // namespace device
