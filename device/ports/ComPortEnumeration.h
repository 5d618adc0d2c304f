// Finding the present COM ports and their device descriptions.
#pragma once

#include <cstdint>
#include <string>

namespace device {

// More than three characters, "COM" in any case, then a decimal digit. Other members of the
// ports class (LPT1, ECP printer ports) are left out by this.
bool IsComPortName(const std::string& name);

// Writes the name and description of each present COM port into entries 0, 1, 2, ... of the
// caller's tables (kMaxPorts entries of entryWidth bytes each) and their number into count.
// True when at least one port was found; on every failure count is 0. Ports beyond kMaxPorts
// are left out in the order the platform lists them; a name or description longer than
// entryWidth - 1 bytes is cut to fit and is always zero-terminated.
bool EnumerateComPorts(int32_t& count, char* names, int32_t entryWidth, char* descriptions);

}  // namespace device
