// The line that names the headset's firmware and PSR files, taken from the configuration text
// found by the USB device tree walk.
#pragma once

#include <string>

namespace device {

// "<Firmware file> : <firmware name>        <psr file> : <psr name>" from an upper-case
// configuration text holding "FW:" and "PSR:". The firmware name runs from after the first
// "FW:" to the end, cut at ".XPV" with ".xpv/.xdv" appended; the psr name likewise from after
// the first "PSR:", cut at ".PSR" with ".psr" appended.
std::string DeviceConfigLine(const char* configText);

}  // namespace device
