// Serves one DfuDevice over loopback TCP: each message of the DFU wire protocol
// (DfuWireServer.h) travels as a 4-byte little-endian length followed by the message.
// Every connection gets its own thread; the device itself serialises the requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>

#include "DfuDevice.h"

namespace qvdfu {

class DfuLoopbackServer {
  public:
    explicit DfuLoopbackServer(DfuDevice& device);
    ~DfuLoopbackServer();
    DfuLoopbackServer(const DfuLoopbackServer&) = delete;
    DfuLoopbackServer& operator=(const DfuLoopbackServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port). False when the port cannot be bound.
    bool Start(std::uint16_t port = 0);
    std::uint16_t Port() const { return port_; }
    // Closes the listener and every connection; returns when all threads have ended.
    void Stop();

  private:
    struct Connection {
        std::intptr_t socket = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop();
    void Serve(Connection& connection);
    void ReapFinished();

    DfuDevice& device_;
    std::intptr_t listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::list<Connection> connections_;
};

}  // namespace qvdfu
