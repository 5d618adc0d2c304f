// Host side of the DFU wire protocol (messages described in docs/dfu-engine.md): a UsbDevice
// whose requests travel as messages through Exchange. Shared by the local and loopback back
// ends.
#pragma once

#include <vector>

#include "Transport.h"

namespace dfuengine {

class WireDevice : public UsbDevice {
  public:
    bool Describe(DfuDescription& out) override;
    UsbResult Control(const UsbSetup& setup, std::uint8_t* data, std::size_t& transferred) override;
    UsbResult Reset() override;

    // Sends one request message and receives its reply; false when the link is broken.
    virtual bool Exchange(const std::vector<std::uint8_t>& request,
                          std::vector<std::uint8_t>& reply) = 0;

  private:
    // Buffers kept across requests so that a transfer allocates nothing once they have grown.
    std::vector<std::uint8_t> request_;
    std::vector<std::uint8_t> reply_;
};

// Reads a DESCRIBE reply payload (15 bytes).
bool DecodeDescription(const std::uint8_t* payload, std::size_t size, DfuDescription& out);

}  // namespace dfuengine
