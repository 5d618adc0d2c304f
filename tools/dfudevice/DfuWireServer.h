// The device side of the DFU wire protocol (transport/WireProtocol.h): one request message in,
// one reply message out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DfuDevice.h"
#include "transport/WireProtocol.h"

namespace qvdfu {

// Serves one request message; reply is overwritten (its capacity is reused).
void ServeWireMessage(DfuDevice& device, const std::uint8_t* request, std::size_t size,
                      std::vector<std::uint8_t>& reply);

}  // namespace qvdfu
