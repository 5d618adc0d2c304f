// The simulator's DFU side: after "enter DFU mode" it is a DFU device on loopback TCP; a host
// downloads an image over the DFU wire protocol, and the headset comes back on a new serial
// line running the version the image's comment names.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <regex>
#include <vector>

#include "SimClient.h"
#include "file/DfuFile.h"

namespace headsetsim::test {
namespace {

// A host speaking the loopback DFU wire protocol: length-prefixed request and reply messages.
class WireHost {
  public:
    ~WireHost() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connect(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    // Returns the reply's status byte; payload receives the rest.
    int Call(const std::vector<uint8_t>& request, std::vector<uint8_t>& payload) {
        std::vector<uint8_t> message = Le32(request.size());
        message.insert(message.end(), request.begin(), request.end());
        if (!WriteAll(message.data(), message.size())) return -1;
        uint8_t head[4];
        if (!ReadAll(head, 4)) return -1;
        const uint32_t length = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
        std::vector<uint8_t> reply(length);
        if (length == 0 || !ReadAll(reply.data(), length)) return -1;
        payload.assign(reply.begin() + 1, reply.end());
        return reply[0];
    }
    int Control(uint8_t type, uint8_t request, uint16_t value, uint16_t length,
                const std::vector<uint8_t>& out, std::vector<uint8_t>& in) {
        std::vector<uint8_t> message = {
            2, type, request,         uint8_t(value),      uint8_t(value >> 8),
            0, 0,    uint8_t(length), uint8_t(length >> 8)};
        message.insert(message.end(), out.begin(), out.end());
        return Call(message, in);
    }
    // GETSTATUS until the state is one of the wanted ones; returns the last state or -1.
    int PollUntil(std::initializer_list<int> states) {
        for (int i = 0; i < 200; ++i) {
            std::vector<uint8_t> status;
            if (Control(0xA1, 3, 0, 6, {}, status) != 0 || status.size() != 6) return -1;
            for (int s : states) {
                if (status[4] == s) return s;
            }
            usleep(10000);
        }
        return -1;
    }

  private:
    static std::vector<uint8_t> Le32(size_t v) {
        return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    bool WriteAll(const uint8_t* data, size_t size) {
        for (size_t done = 0; done < size;) {
            const ssize_t n = write(fd_, data + done, size - done);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    bool ReadAll(uint8_t* data, size_t size) {
        for (size_t done = 0; done < size;) {
            const ssize_t n = read(fd_, data + done, size - done);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    int fd_ = -1;
};

// The port a "DFU 127.0.0.1:<port>" line in text names, 0 when there is none.
uint16_t DfuPortIn(const std::string& text) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("DFU 127\\.0\\.0\\.1:(\\d+)\n"))) return 0;
    return static_cast<uint16_t>(std::stoi(match[1]));
}

// Starts the simulator with a DFU port chosen by it, tells it to enter DFU mode and connects
// host to its DFU device, which has then re-enumerated in DFU mode. The port is printed
// before READY and the device listens on that same port.
void EnterDfuMode(SimProcess& sim, const std::vector<std::string>& args, WireHost& host) {
    std::vector<std::string> all = {"--dfu-port", "0", "--dfu-timeout", "20000"};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_TRUE(sim.Start(all)) << sim.Output();
    const std::string output = sim.Output();
    const size_t ready = output.find("READY\n");
    const uint16_t chosen = DfuPortIn(output.substr(0, ready));
    ASSERT_NE(chosen, 0) << output;

    LineClient line;
    ASSERT_TRUE(line.Open(sim.TtyPath()));
    line.Send("AT+QVCMD1=20\r");
    EXPECT_EQ(line.Receive(2), "OK\r\n+QVSTS1=20\r\n");
    EXPECT_TRUE(line.HungUp());
    ASSERT_TRUE(sim.WaitForOutput("DFU 127.0.0.1:"));
    ASSERT_TRUE(sim.WaitForOutput("\n"));
    EXPECT_EQ(DfuPortIn(sim.Output().substr(ready)), chosen) << sim.Output();
    ASSERT_TRUE(host.Connect(chosen));

    std::vector<uint8_t> reply;
    ASSERT_EQ(host.Call({1}, reply), 0);  // DESCRIBE: run-time mode
    ASSERT_GE(reply.size(), 7u);
    EXPECT_EQ(reply[6], 1);
    ASSERT_EQ(host.Control(0x21, 0, 1000, 0, {}, reply), 0);  // DETACH: it re-enumerates
    ASSERT_EQ(host.Call({1}, reply), 0);
    EXPECT_EQ(reply[6], 2);  // now in DFU mode
}

// The image of a firmware file the headset takes, version 1.03, and its download in blocks of
// 1 KiB from dfuIDLE to the end of manifestation.
void DownloadImage(WireHost& host) {
    std::vector<uint8_t> file = dfufile::Build(std::vector<uint8_t>(3000, 0x5A), 0x1209, 0x4B58,
                                               0x0103, "QuorVane KX-V5 V1.03");
    file.resize(file.size() - dfufile::kSuffixLength);  // the image is what is downloaded
    std::vector<uint8_t> reply;
    uint16_t block = 0;
    for (size_t pos = 0; pos < file.size(); pos += 1024, ++block) {
        const std::vector<uint8_t> chunk(file.begin() + pos,
                                         file.begin() + std::min(file.size(), pos + 1024));
        ASSERT_EQ(host.Control(0x21, 1, block, uint16_t(chunk.size()), chunk, reply), 0);
        ASSERT_EQ(host.PollUntil({5}), 5);  // dfuDNLOAD_IDLE
    }
    ASSERT_EQ(host.Control(0x21, 1, block, 0, {}, reply), 0);  // end of download
    ASSERT_NE(host.PollUntil({8, 2}), -1);  // manifested: waiting for reset (or idle)
}

TEST(SimDfuTest, ComesBackWithTheVersionOfTheDownloadedImage) {
    SimProcess sim;
    WireHost host;
    EnterDfuMode(sim, {"--dfu-pace", "fast", "--quiet"}, host);
    if (HasFatalFailure()) return;
    ASSERT_NO_FATAL_FAILURE(DownloadImage(host));
    std::vector<uint8_t> reply;
    host.Call({3}, reply);

    ASSERT_TRUE(sim.WaitForOutput("READY\n", 10000)) << sim.Output();
    LineClient line;
    ASSERT_TRUE(line.Open(sim.TtyPath()));
    line.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(line.Receive(2), "OK\r\n+QVSTS1=8,103\r\n");
}

// At a headset's pace the device is busy after each block for the poll time-out it reports;
// at the fast pace it is ready at once.
TEST(SimDfuTest, ThePaceSetsTheBusyTimeAfterEachBlock) {
    const struct {
        std::vector<std::string> args;
        int pollMs;
        int state;  // after the first block's GETSTATUS
    } cases[] = {
        {{}, 50, 4},  // the default is real: dfuDNBUSY
        {{"--dfu-pace", "real"}, 50, 4},
        {{"--dfu-pace", "fast"}, 0, 5},  // dfuDNLOAD_IDLE
    };
    for (const auto& c : cases) {
        SimProcess sim;
        WireHost host;
        EnterDfuMode(sim, c.args, host);
        if (HasFatalFailure()) return;
        std::vector<uint8_t> reply;
        ASSERT_EQ(host.Control(0x21, 1, 0, 1024, std::vector<uint8_t>(1024, 0x11), reply), 0);
        ASSERT_EQ(host.Control(0xA1, 3, 0, 6, {}, reply), 0);
        ASSERT_EQ(reply.size(), 6u);
        EXPECT_EQ(reply[1] | reply[2] << 8 | reply[3] << 16, c.pollMs) << c.args.size();
        EXPECT_EQ(reply[4], c.state) << c.args.size();
    }
}

// A headset whose upgrade was cut off: a DFU device from the start, with no firmware and no
// serial line; once an image has been manifested and the device reset, it comes back on its
// COM link with the image's version.
TEST(SimDfuTest, StartsInDfuModeAndComesBackOnItsComPortAfterManifestation) {
    char folder[] = "/tmp/qv-sim-dfu-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--start-in-dfu", "--dfu-port", "0", "--dfu-pace", "fast", "--com",
                           "COM9", "--com-dir", folder, "--quiet"},
                          "DFU 127.0.0.1:"));
    // The port chosen at start-up, then the same port once the device listens on it.
    ASSERT_TRUE(sim.WaitForOutput("\n"));
    ASSERT_TRUE(sim.WaitForOutput("DFU 127.0.0.1:"));
    ASSERT_TRUE(sim.WaitForOutput("\n"));
    EXPECT_EQ(sim.Output().find("PTY "), std::string::npos) << "no serial line at the start";
    WireHost host;
    ASSERT_TRUE(host.Connect(DfuPortIn(sim.Output())));
    std::vector<uint8_t> reply;
    ASSERT_EQ(host.Call({1}, reply), 0);  // DESCRIBE
    ASSERT_GE(reply.size(), 7u);
    EXPECT_EQ(reply[6], 2);  // already in DFU mode
    ASSERT_NO_FATAL_FAILURE(DownloadImage(host));
    host.Call({3}, reply);  // RESET: the new firmware starts

    ASSERT_TRUE(sim.WaitForOutput("READY\n", 10000)) << sim.Output();
    ASSERT_EQ(sim.Links().size(), 1u);
    EXPECT_EQ(sim.Links()[0], std::string(folder) + "/com9");
    LineClient line;
    ASSERT_TRUE(line.Open(sim.Links()[0]));
    line.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(line.Receive(2), "OK\r\n+QVSTS1=8,103\r\n");
    sim.Stop();
    rmdir(folder);
}

TEST(SimDfuTest, ComesBackUnchangedWhenNothingIsDownloaded) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--dfu-port", "0", "--dfu-timeout", "200", "--dfu-pace", "fast"}));
    LineClient line;
    ASSERT_TRUE(line.Open(sim.TtyPath()));
    line.Send("AT+QVCMD1=20\r");
    EXPECT_EQ(line.Receive(2), "OK\r\n+QVSTS1=20\r\n");
    ASSERT_TRUE(sim.WaitForOutput("READY\n", 5000)) << sim.Output();
    ASSERT_TRUE(line.Open(sim.TtyPath()));
    line.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(line.Receive(2), "OK\r\n+QVSTS1=8,102\r\n");
}

}  // namespace
}  // namespace headsetsim::test
