// Holds a loopback TCP port for the simulated DFU device from start-up on, so that the port
// can be told before the device listens on it (only when the headset enters DFU mode). The
// socket is bound with SO_REUSEADDR and never listens: the device's own listener (also
// SO_REUSEADDR) can then bind the same port, while other programs that bind it are refused.
#pragma once

#include <cstdint>
#include <string>

namespace headsetsim {

class LoopbackPortReservation {
  public:
    LoopbackPortReservation() = default;
    ~LoopbackPortReservation();
    LoopbackPortReservation(const LoopbackPortReservation&) = delete;
    LoopbackPortReservation& operator=(const LoopbackPortReservation&) = delete;

    // Takes a free port of 127.0.0.1; false with the reason when none can be had.
    bool Reserve(std::string& error);
    std::uint16_t Port() const { return port_; }

  private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace headsetsim
