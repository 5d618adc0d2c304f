// Under Wine the test rig (wine/run_with_pty_line.sh) joins two COM ports with a pty pair
// and names them in QV_TEST_COM_PORT (for the port under test) and QV_TEST_COM_PEER (for
// this far end, driven with plain synchronous Win32 calls).
#include <windows.h>

#include <cstdlib>
#include <thread>

#include "tests/serial/FarEnd.h"

namespace serialtest {
namespace {

// A port name from the environment in the device-namespace form, which every COM number
// needs from COM10 on.
std::string PortFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return {};
    std::string port = value;
    if (port.compare(0, 4, "\\\\.\\") != 0) port = "\\\\.\\" + port;
    return port;
}

class ComPeerFarEnd : public FarEnd {
  public:
    ComPeerFarEnd(std::string portName, HANDLE peer)
        : portName_(std::move(portName)), peer_(peer) {}
    ~ComPeerFarEnd() override { CloseHandle(peer_); }
    std::string PortName() const override { return portName_; }

    void Send(const std::string& bytes) override {
        DWORD written = 0;
        WriteFile(peer_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

    std::string Receive(std::size_t count, std::chrono::milliseconds limit) override {
        std::string received;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
            // Read exactly what is queued: behaves the same on Windows and Wine.
            COMSTAT status{};
            DWORD errors = 0;
            ClearCommError(peer_, &errors, &status);
            DWORD take =
                static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, count - received.size()));
            if (take == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            std::string chunk(take, '\0');
            DWORD got = 0;
            ReadFile(peer_, &chunk[0], take, &got, nullptr);
            received.append(chunk.data(), got);
        }
        return received;
    }

  private:
    std::string portName_;
    HANDLE peer_;
};

}  // namespace

std::unique_ptr<FarEnd> OpenFarEnd(std::string* whyNot) {
    std::string port = PortFromEnvironment("QV_TEST_COM_PORT");
    std::string peerName = PortFromEnvironment("QV_TEST_COM_PEER");
    if (port.empty() || peerName.empty()) {
        *whyNot = "no test line: run under the Wine pty rig (QV_TEST_COM_PORT, QV_TEST_COM_PEER)";
        return nullptr;
    }
    HANDLE peer = CreateFileA(peerName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (peer == INVALID_HANDLE_VALUE) {
        *whyNot = "cannot open " + peerName + ", error " + std::to_string(GetLastError());
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(peer, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    SetCommState(peer, &dcb);
    // Reads return at once with what is queued, so a byte taken by someone else on the line
    // can never leave Receive blocked past its limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(peer, &timeouts);
    PurgeComm(peer, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return std::make_unique<ComPeerFarEnd>(port, peer);
}

}  // namespace serialtest
