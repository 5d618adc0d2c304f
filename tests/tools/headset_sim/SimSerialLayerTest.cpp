// The tool's own pieces against the simulator: the port list finds the simulated headset's
// COM link, the serial port object opens it, and the protocol reads the whole query sequence.
// The test's main thread plays the window thread.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "SimClient.h"
#include "device/ports/ComPortList.h"
#include "device/ports/PortTables.h"
#include "device/protocol/Protocol.h"
#include "serial/Comport.h"
#include "ui/WindowThread.h"

namespace headsetsim::test {
namespace {

namespace fs = std::filesystem;

class RowsOnly : public device::ComPortListSink {
  public:
    std::vector<std::string> rows;
    void Clear() override { rows.clear(); }
    void AddRow(const std::string& text) override { rows.push_back(text); }
    void SetSelected(int32_t) override {}
};

bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        ui::TWindowThread::RunPending();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST(SimSerialLayerTest, TheToolReadsTheQuerySequenceThroughItsSerialPort) {
    char pattern[] = "/tmp/qv-simcom-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    ::setenv("QV_COM_DIR", dir.c_str(), 1);
    ui::TWindowThread::Reset();
    ui::TWindowThread::Attach();

    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--com", "COM9"}));
    RowsOnly listBox;
    device::RefreshComPortList(listBox);
    ASSERT_EQ(listBox.rows, std::vector<std::string>{"COM9  -  "});

    std::string received;
    {
        TComPort port;
        port.SetDeviceName(device::ListedPortNames[0]);
        port.SetBaudRate(TBaudRate::br115200);
        port.SetDataBits(TDataBits::db8);
        port.SetParity(TParity::paNone);
        port.SetStopBits(TStopBits::sb1);
        port.SetOnRxChar([&](TCustomComPort* sender) {
            const int32_t count = sender->InputCount();
            std::string bytes(static_cast<size_t>(count), '\0');
            if (count > 0) sender->Read(&bytes[0], count, true);
            received += bytes;
        });
        port.Open();

        std::vector<std::string> log;
        for (int32_t code : {7, 8, 9, 10, 1, 2, 3, 4, 5}) {
            received.clear();
            port.WriteString(device::FormatRequest(code, device::RequestValues()));
            ASSERT_TRUE(PumpUntil([&] {
                return std::count(received.begin(), received.end(), '\n') >= 2;
            })) << code
                << ": " << received;
            const size_t lf = received.find('\n');
            const std::string ack = received.substr(0, lf);
            const std::string status =
                received.substr(lf + 1, received.find('\n', lf + 1) - lf - 1);
            EXPECT_EQ(device::ClassifyLine(ack), device::LineKind::Acknowledgement);
            ASSERT_EQ(device::ClassifyLine(status), device::LineKind::Status);
            const device::StatusReply reply = device::ParseStatusLine(status);
            EXPECT_EQ(reply.Code, code);
            log.push_back(device::ReplyLogLine(reply));
        }
        port.Close();
        EXPECT_EQ(log, (std::vector<std::string>{
                           "UART_CMD_QUERY_ID Signature = 84894534",
                           "UART_CMD_QUERY_FW_VERSION Ver = 1.02",
                           "CMD_QUERY_DEVICE_NAME DeviceName = KX-V5",
                           "CMD_QUERY_BD_ADDRESS Addr = 00:1A:7D:DA:71:13",
                           "UART_CMD_QUERY_SPEED_DIAL1 Phone_Number = ''",
                           "UART_CMD_QUERY_SPEED_DIAL2 Phone_Number = ''",
                           "UART_CMD_QUERY_SPEED_DIAL3 Phone_Number = ''",
                           "UART_CMD_QUERY_MUSIC_MIX_SETTING Percentage = 50 %",
                           "UART_CMD_QUERY_GPS_MIX_SETTING Percentage = 70 VoiceSharing = 1",
                       }));
    }
    sim.Stop();
    ::unsetenv("QV_COM_DIR");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace headsetsim::test
