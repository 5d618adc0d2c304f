// Back end for devices served over loopback TCP, named by the environment variable
// QV_DFU_LOOPBACK ("host:port", several separated by ';'). Device names: "loopback:host:port".
// Each message of the DFU wire protocol travels as a 4-byte little-endian length + message.
#include <cstdlib>
#include <cstring>
#include <string>

#include "LoopbackSocket.h"
#include "Transport.h"
#include "WireDevice.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace dfuengine {
namespace {

const std::wstring kPrefix = L"loopback:";
constexpr std::size_t kMaxReply = 8 + 65536;
constexpr int kReplyTimeoutMs = 5000;

using Native = loopback::Socket;
using loopback::kNoSocket;
using loopback::ReceiveAll;
using loopback::SendAll;
void CloseNative(Native s) {
    loopback::CloseSocket(s);
}

#if defined(_WIN32)
void SetTimeout(Native s) {
    DWORD ms = kReplyTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#else
void SetTimeout(Native s) {
    timeval tv{kReplyTimeoutMs / 1000, (kReplyTimeoutMs % 1000) * 1000};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}
struct SocketLibrary {};
#endif

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// "host:port" -> a connected socket, or kNoSocket.
Native Connect(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) return kNoSocket;
    const std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return kNoSocket;
    }
    Native s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s != kNoSocket) {
        if (connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
            CloseNative(s);
            s = kNoSocket;
        } else {
            int yes = 1;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                       sizeof yes);
            SetTimeout(s);
        }
    }
    freeaddrinfo(found);
    return s;
}

// One opened device: a connection made on first use and made again after a failure, so that a
// server that restarts (the simulator re-enumerating) is reached again.
class LoopbackDevice : public WireDevice {
  public:
    explicit LoopbackDevice(std::string address) : address_(std::move(address)) {}
    ~LoopbackDevice() override { Close(); }

    bool Exchange(const std::vector<std::uint8_t>& request,
                  std::vector<std::uint8_t>& reply) override {
        if (socket_ == kNoSocket) socket_ = Connect(address_);
        if (socket_ == kNoSocket) return false;
        const std::size_t n = request.size();
        const std::uint8_t prefix[4] = {
            static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        std::uint8_t header[4];
        if (!SendAll(socket_, prefix, 4) || !SendAll(socket_, request.data(), n) ||
            !ReceiveAll(socket_, header, 4)) {
            Close();
            return false;
        }
        const std::size_t size = static_cast<std::size_t>(header[0]) | (header[1] << 8) |
                                 (header[2] << 16) | (static_cast<std::size_t>(header[3]) << 24);
        if (size == 0 || size > kMaxReply) {
            Close();
            return false;
        }
        reply.resize(size);
        if (!ReceiveAll(socket_, reply.data(), size)) {
            Close();
            return false;
        }
        return true;
    }

  private:
    void Close() {
        if (socket_ != kNoSocket) CloseNative(socket_);
        socket_ = kNoSocket;
    }

    std::string address_;
    Native socket_ = kNoSocket;
};

std::vector<std::string> Addresses() {
    std::vector<std::string> out;
    const char* value = std::getenv("QV_DFU_LOOPBACK");
    if (value == nullptr) return out;
    std::string all(value);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find_first_of(";,", start);
        if (end == std::string::npos) end = all.size();
        if (end > start) out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

class LoopbackBackend : public Backend {
  public:
    void List(std::vector<ListedDevice>& devices) override {
        for (const auto& address : Addresses()) {
            LoopbackDevice device(address);
            DfuDescription d;
            if (device.Describe(d)) devices.push_back({kPrefix + Widen(address), {}});
        }
    }

    std::unique_ptr<UsbDevice> Open(const std::wstring& name, OpenFailure&) override {
        if (name.compare(0, kPrefix.size(), kPrefix) != 0) return nullptr;
        return std::make_unique<LoopbackDevice>(Narrow(name.substr(kPrefix.size())));
    }

  private:
    SocketLibrary library_;
};

}  // namespace

std::unique_ptr<Backend> MakeLoopbackBackend() {
    return std::make_unique<LoopbackBackend>();
}

}  // namespace dfuengine
