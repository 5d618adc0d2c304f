// The device end of the serial line that the port tests talk to: the master side of a pty
// natively, a second COM port joined to the first by a pty pair under Wine.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace serialtest {

class FarEnd {
  public:
    virtual ~FarEnd() = default;
    // The name the port under test opens.
    virtual std::string PortName() const = 0;
    // Sends bytes to the port (as the headset would).
    virtual void Send(const std::string& bytes) = 0;
    // Collects what the port sent until count bytes have come or the time is up.
    virtual std::string Receive(std::size_t count,
                                std::chrono::milliseconds limit = std::chrono::seconds(5)) = 0;
};

// This platform's far end, or null with the reason when no test line is set up.
std::unique_ptr<FarEnd> OpenFarEnd(std::string* whyNot);

}  // namespace serialtest
