// The socket pieces both ends of the loopback DFU link use (the engine's client and the
// simulated device's server): the platform's socket handle, and sending or receiving a whole
// buffer. Header-only, so that the simulator needs nothing of the engine library.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace loopback {

#if defined(_WIN32)
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
inline void CloseSocket(Socket s) {
    closesocket(s);
}
#else
using Socket = int;
const Socket kNoSocket = -1;
inline void CloseSocket(Socket s) {
    close(s);
}
#endif

// A peer that went away must give an error, not SIGPIPE.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

inline bool SendAll(Socket s, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const int n =
            send(s, reinterpret_cast<const char*>(data), static_cast<int>(size), kSendFlags);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Receives exactly size bytes. beforeRead() is asked before each read; false gives up (a
// server waits there for data or its stop flag).
template <class BeforeRead>
bool ReceiveAll(Socket s, std::uint8_t* data, std::size_t size, BeforeRead beforeRead) {
    while (size > 0) {
        if (!beforeRead()) return false;
        const int n = recv(s, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

inline bool ReceiveAll(Socket s, std::uint8_t* data, std::size_t size) {
    return ReceiveAll(s, data, size, [] { return true; });
}

}  // namespace loopback
