// Simulated DFU devices behind the kernel's usbfs interface, emulated with umockdev: each device
// plugged into a port of bus 1 gets a sysfs entry (what libusb and udev read to list it) and a
// /dev/bus/usb node whose ioctls (claim, release, kernel driver, control URBs, reset ...) this
// bus answers from the device, so that an unmodified libusb, in this process or in a child such
// as dfu-util, runs against it.
//
// A device that leaves the bus (detach, reset into another mode, a fault that makes it vanish)
// loses its node: the node's open files answer ENODEV, a "remove" event goes out, and once the
// device answers again it enumerates anew with the next device number, at the same port path,
// as a real device does.
//
// The process must run under umockdev's preload library (umockdev-wrapper); InMockEnvironment
// tells. The first bus made in a process must exist before libusb is first initialised.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "DfuDevice.h"

namespace qvdfu {

struct PlugOptions {
    // A kernel driver bound to the DFU interface in run-time mode (empty: none), as when a
    // driver claims the interface; usbfs refuses a claim until it is detached.
    std::string runtimeDriver;
    // The device node carries no write permission, as a node without the udev rule has for a
    // user: opening it for writing fails with EACCES for anyone who cannot override file
    // permissions.
    bool readOnlyNode = false;
};

// What happened on one plugged device's nodes, for tests.
struct PortCounters {
    unsigned long enumerations = 0;    // nodes made (the first one included)
    unsigned long driverDetaches = 0;  // USBDEVFS_DISCONNECT of a bound kernel driver
    unsigned long driverAttaches = 0;  // USBDEVFS_CONNECT that bound it again
    unsigned long controlUrbs = 0;     // control transfers submitted
};

class UsbfsBus {
  public:
    UsbfsBus();
    ~UsbfsBus();
    UsbfsBus(const UsbfsBus&) = delete;
    UsbfsBus& operator=(const UsbfsBus&) = delete;

    // Whether umockdev's preload library is in this process.
    static bool InMockEnvironment();

    // Plugs the device (which must outlive its plugging) into port 1..15 of bus 1; it
    // enumerates at once when it answers. Its sysfs name is "1-<port>", its name for the engine
    // "usb:1-<port>".
    void Plug(DfuDevice& device, int port, const PlugOptions& options = {});
    // Pulls it out: its node goes away as a real unplug makes it go.
    void Unplug(int port);

    // A hung device: from now on its class and vendor requests (the DFU requests) are not
    // answered until the host discards them (as libusb does at its time-out); standard requests
    // still are, as a device's USB core answers them. false answers them all again.
    void SetHung(int port, bool hung);

    // The device number of the node the device has now; 0 while it has none.
    int DeviceNumber(int port);
    // The /dev path of that node ("/dev/bus/usb/001/007"); empty while it has none.
    std::string DeviceNode(int port);
    // The driver bound to the DFU interface now: the run-time driver, "usbfs" while a program
    // has claimed the interface, or empty.
    std::string BoundDriver(int port);
    PortCounters Counters(int port);

    // Waits until the device has a node whose number differs from `notNumber` (0: any node);
    // false after the time-out.
    bool WaitForNode(int port, int notNumber, int timeoutMs);

    // umockdev's test bed root (the environment variable UMOCKDEV_DIR of children).
    std::string RootDir() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qvdfu
