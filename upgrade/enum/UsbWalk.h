// The USB device tree walk: visits every USB host controller, hub and port, reads the
// configuration strings of the connected devices and leaves the last one that names a
// firmware file and a PSR file in DeviceConfigText (see FirmwareText.h).
#pragma once

#include "upgrade/enum/FirmwareText.h"
#include "upgrade/enum/UsbHostDriver.h"

namespace upgrade {

// Controllers "\\.\HCD0" to "\\.\HCD9" are tried, no more.
constexpr int kHostControllerCount = 10;

// USB 2.0 (4.1.1) allows at most seven tiers: the root hub is tier 1 and hubs can be reached
// down to tier 6. A hub reported deeper than that is not descended into, so a driver that
// reports a hub loop cannot make the walk recurse without end.
constexpr int kMaxHubTier = 6;

// Walks the tree of the platform's USB drivers. Blocks for the duration of the driver
// requests, reports nothing, writes DeviceConfigText only on a match. Not re-entrant.
void WalkUsbDeviceTree();

// The same walk over a given driver layer (a simulated tree in tests, another back end).
void WalkUsbDeviceTree(UsbHostDriver& driver);

}  // namespace upgrade
