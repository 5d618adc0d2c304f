// Reading a USB configuration descriptor set (the configuration descriptor and everything that
// follows it in wTotalLength): its interfaces, interface associations and the DFU interface with
// its functional descriptor. Portable: any back end that reads raw descriptors uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Transport.h"

namespace dfuengine {

// The interface numbers of the configuration, in the order their first descriptor appears.
std::vector<std::uint8_t> InterfaceNumbers(const std::uint8_t* config, std::size_t size);

// How many interfaces make the function that starts at interface `first`: the bInterfaceCount
// of an interface association descriptor whose bFirstInterface is `first`, else 1.
unsigned FunctionInterfaceCount(const std::uint8_t* config, std::size_t size, std::uint8_t first);

// Finds a DFU interface (class 0xFE, subclass 0x01) with its functional descriptor among the
// interfaces in `interfaces` (all when empty) and fills interfaceNumber, dfuMode, attributes,
// detachTimeoutMs, transferSize and dfuVersion. False when there is none, or the walk meets a
// malformed descriptor first.
bool FindDfuInterface(const std::uint8_t* config, std::size_t size,
                      const std::vector<std::uint8_t>& interfaces, DfuDescription& out);

}  // namespace dfuengine
