// The device side of the DFU wire protocol: one request message in, one reply message out.
// Messages (without the 4-byte length prefix the socket adds) are:
//   request  op (1) | payload       op 1 DESCRIBE, 2 CONTROL (8-byte setup + OUT data), 3 RESET
//   reply    status (1) | payload   status 0 ok, 1 absent/gone, 2 stall, 3 malformed request,
//                                   4 failed otherwise (a reset that could not be done)
// DESCRIBE's payload: vendor, product, release (u16 LE each), mode (1 run-time, 2 DFU),
// interface, bmAttributes, wDetachTimeOut, wTransferSize, bcdDFU (u16 LE) = 15 bytes.
// CONTROL's payload: the IN data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DfuDevice.h"

namespace qvdfu {

enum WireOp : std::uint8_t { kOpDescribe = 1, kOpControl = 2, kOpReset = 3 };
enum WireStatus : std::uint8_t {
    kWireOk = 0,
    kWireGone = 1,
    kWireStall = 2,
    kWireMalformed = 3,
    kWireFailed = 4,
};
constexpr std::size_t kWireDescriptionLength = 15;
constexpr std::size_t kWireMaxMessage = 8 + 65535 + 1;

// Serves one request message; reply is overwritten (its capacity is reused).
void ServeWireMessage(DfuDevice& device, const std::uint8_t* request, std::size_t size,
                      std::vector<std::uint8_t>& reply);

}  // namespace qvdfu
