// Where the present serial ports come from: the platform's device lists on Windows, the COM
// link folder elsewhere, or a fake in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace device {

struct FoundPort {
    std::string Name;         // as the system stores it, such as COM5
    std::string Description;  // empty when it cannot be read
    // The USB vendor and product IDs of the device the port belongs to; 0 when the port is
    // not on USB or the system does not say.
    std::uint16_t UsbVendor = 0;
    std::uint16_t UsbProduct = 0;
};

class PortBackend {
  public:
    virtual ~PortBackend() = default;
    // Appends the ports present now, in any order; names that are not COM ports may be
    // among them. False when the platform could not be asked at all.
    virtual bool ListPorts(std::vector<FoundPort>& ports) = 0;
};

// The back end of the platform the program is built for.
PortBackend& PlatformPortBackend();

// The back end used by the enumeration; nullptr restores the platform's. For tests.
void SetPortBackend(PortBackend* backend);
PortBackend& CurrentPortBackend();

}  // namespace device
