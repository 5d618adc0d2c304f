// The messages of the loopback DFU link, for both of its ends: the engine's host side and the
// simulated device's server. Header-only, like LoopbackSocket.h. A message (after the 4-byte
// length prefix the socket adds) is:
//   request  op (1) | payload       DESCRIBE; CONTROL (8-byte setup + OUT data); RESET
//   reply    status (1) | payload
// DESCRIBE's reply payload: vendor, product, release (u16 LE each), mode (1 run-time, 2 DFU),
// interface, bmAttributes, wDetachTimeOut, wTransferSize, bcdDFU (u16 LE) = 15 bytes.
// CONTROL's reply payload: the IN data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dfuwire {

enum Op : std::uint8_t { kOpDescribe = 1, kOpControl = 2, kOpReset = 3 };

enum Status : std::uint8_t {
    kOk = 0,
    kGone = 1,       // no device, or it went away
    kStall = 2,      // the device stalled the request
    kMalformed = 3,  // the request message itself was bad
    kFailed = 4,     // anything else (a reset that could not be done)
};

constexpr std::size_t kDescriptionLength = 15;
// The largest request: op, setup and the most OUT data a setup packet can announce.
constexpr std::size_t kMaxMessage = 1 + 8 + 65535;

}  // namespace dfuwire
