// The KX-V5's USB vendor and product IDs, in run-time and in DFU mode. 1209:4B58 is a
// placeholder that the simulated headset uses too: the real IDs come from the firmware team,
// and this is the one place where they go.
#pragma once

#include <cstdint>

namespace device {

constexpr std::uint16_t kHeadsetUsbVendor = 0x1209;
constexpr std::uint16_t kHeadsetUsbProduct = 0x4B58;
// In DFU mode (a firmware may give another product ID there; the simulator keeps the same).
constexpr std::uint16_t kHeadsetDfuUsbProduct = 0x4B58;

}  // namespace device
