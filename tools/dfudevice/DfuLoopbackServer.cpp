// Loopback TCP server for a simulated DFU device (framing in DfuLoopbackServer.h).
#include "DfuLoopbackServer.h"

#include <vector>

#include "DfuWireServer.h"
#include "transport/LoopbackSocket.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace qvdfu {
namespace {

using Native = loopback::Socket;
void CloseNative(Native s) {
    loopback::CloseSocket(s);
}
bool ValidNative(Native s) {
    return s != loopback::kNoSocket;
}
#if defined(_WIN32)
constexpr int kShutBoth = SD_BOTH;
#else
constexpr int kShutBoth = SHUT_RDWR;
#endif

Native ToNative(std::intptr_t s) {
    return static_cast<Native>(s);
}

// Waits until s has data or stop is set. Shutting a socket down does not wake a blocked recv on
// every platform (not under Wine), so the wait looks at the flag now and then.
bool WaitReadable(Native s, const std::atomic<bool>& stop) {
    while (!stop) {
        fd_set read;
        FD_ZERO(&read);
        FD_SET(s, &read);
        timeval timeout{0, 50 * 1000};
        const int n = select(static_cast<int>(s) + 1, &read, nullptr, nullptr, &timeout);
        if (n > 0) return true;
        if (n < 0) return false;
    }
    return false;
}

bool ReadAll(Native s, std::uint8_t* data, std::size_t size, const std::atomic<bool>& stop) {
    return loopback::ReceiveAll(s, data, size, [&] { return WaitReadable(s, stop); });
}

bool WriteAll(Native s, const std::uint8_t* data, std::size_t size) {
    return loopback::SendAll(s, data, size);
}

}  // namespace

DfuLoopbackServer::DfuLoopbackServer(DfuDevice& device) : device_(device) {
#if defined(_WIN32)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

DfuLoopbackServer::~DfuLoopbackServer() {
    Stop();
#if defined(_WIN32)
    WSACleanup();
#endif
}

bool DfuLoopbackServer::Start(std::uint16_t port) {
    Native s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (!ValidNative(s)) return false;
    int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SocketLength length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 8) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseNative(s);
        return false;
    }
    listener_ = static_cast<std::intptr_t>(s);
    port_ = ntohs(address.sin_port);
    stop_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void DfuLoopbackServer::Stop() {
    stop_ = true;
    if (acceptThread_.joinable()) acceptThread_.join();
    if (listener_ != -1) {
        CloseNative(ToNative(listener_));
        listener_ = -1;
    }
    std::list<Connection> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& c : connections_) shutdown(ToNative(c.socket), kShutBoth);
        connections.swap(connections_);
    }
    for (auto& c : connections) {
        c.thread.join();
        CloseNative(ToNative(c.socket));
    }
}

void DfuLoopbackServer::AcceptLoop() {
    const Native listener = ToNative(listener_);
    while (!stop_) {
        // Wake up now and then to notice Stop: closing a socket does not reliably end a
        // blocking accept on every platform.
        fd_set read;
        FD_ZERO(&read);
        FD_SET(listener, &read);
        timeval timeout{0, 50 * 1000};
        if (select(static_cast<int>(listener) + 1, &read, nullptr, nullptr, &timeout) <= 0) {
            continue;
        }
        Native client = accept(listener, nullptr, nullptr);
        if (!ValidNative(client)) continue;
        int yes = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
        ReapFinished();
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.emplace_back();
        Connection& c = connections_.back();
        c.socket = static_cast<std::intptr_t>(client);
        c.thread = std::thread([this, &c] { Serve(c); });
    }
}

// Hosts connect for each device listing: ended connections are cleaned up as new ones come.
void DfuLoopbackServer::ReapFinished() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->done) {
            it->thread.join();
            CloseNative(ToNative(it->socket));
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void DfuLoopbackServer::Serve(Connection& connection) {
    const Native s = ToNative(connection.socket);
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> reply;
    for (;;) {
        std::uint8_t header[4];
        if (!ReadAll(s, header, 4, stop_)) break;
        const std::size_t size = static_cast<std::size_t>(header[0]) | (header[1] << 8) |
                                 (header[2] << 16) | (static_cast<std::size_t>(header[3]) << 24);
        if (size == 0 || size > dfuwire::kMaxMessage) break;
        request.resize(size);
        if (!ReadAll(s, request.data(), size, stop_)) break;
        ServeWireMessage(device_, request.data(), size, reply);
        const std::size_t n = reply.size();
        const std::uint8_t prefix[4] = {
            static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        if (!WriteAll(s, prefix, 4) || !WriteAll(s, reply.data(), n)) break;
    }
    shutdown(s, kShutBoth);
    connection.done = true;
}

}  // namespace qvdfu
