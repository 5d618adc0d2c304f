// The serial port against a real tty (behaviour only a pty shows natively: line settings,
// name forms, exclusivity, hang-up, time-outs): a pty pair whose slave side is mapped as COM5 and
// whose master side plays the headset. The test's main thread is the window thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "serial/Comport.h"
#include "tests/serial/ComErrorExpect.h"
#include "tests/serial/PtyPair.h"
#include "tests/serial/ReceivingPortTest.h"
#include "tests/serial/WindowPump.h"

using namespace std::chrono_literals;
using serialtest::RaisesComError;

namespace {

class ComPortTest : public serialtest::ReceivingPortTest {
  protected:
    ComPortTest() {
        links_.Link("COM5", pty_.SlavePath());
        UseDevice("COM5");
    }
    // The port closes before the pty goes away.
    ~ComPortTest() override { port_.Close(); }

    serialtest::PtyPair pty_;
    serialtest::ComLinks links_;
};

speed_t Speed(const termios& settings) {
    return cfgetospeed(&settings);
}

TEST_F(ComPortTest, OpensTheLineAt115200EightDataBitsNoParityOneStopBit) {
    port_.Open();
    ASSERT_TRUE(port_.Active());
    termios line = pty_.SlaveSettings();
    EXPECT_EQ(B115200, Speed(line));
    EXPECT_EQ(static_cast<tcflag_t>(CS8), line.c_cflag & CSIZE);
    EXPECT_EQ(0u, line.c_cflag & (PARENB | CSTOPB));
    EXPECT_EQ(0u, line.c_lflag & (ICANON | ECHO));  // raw: bytes pass unchanged
}

TEST_F(ComPortTest, TheDeviceNamespaceFormNamesTheSamePort) {
    port_.SetDeviceName("\\\\.\\COM5");
    port_.Open();
    port_.WriteString("AT+QVCMD1=7\r");
    EXPECT_EQ("AT+QVCMD1=7\r", pty_.Receive(12));
}

TEST_F(ComPortTest, ASetterOnAClosedPortOnlyStoresUntilOpen) {
    speed_t before = Speed(pty_.SlaveSettings());
    ASSERT_NE(static_cast<speed_t>(B9600), before);
    port_.SetBaudRate(TBaudRate::br9600);
    EXPECT_EQ(before, Speed(pty_.SlaveSettings()));
    port_.Open();
    EXPECT_EQ(B9600, Speed(pty_.SlaveSettings()));
}

TEST_F(ComPortTest, ASetterOnAnOpenPortAppliesAtOnce) {
    port_.Open();
    port_.SetBaudRate(TBaudRate::br57600);
    port_.SetStopBits(TStopBits::sb2);
    termios settings = pty_.SlaveSettings();
    EXPECT_EQ(B57600, Speed(settings));
    EXPECT_NE(0u, settings.c_cflag & CSTOPB);
    port_.SetBaudRate(TBaudRate::br57600);  // the same value: nothing to apply
    port_.SetStopBits(TStopBits::sb1);
    EXPECT_EQ(0u, pty_.SlaveSettings().c_cflag & CSTOPB);
}

TEST_F(ComPortTest, AnUnsupportedLineSettingRaisesTheSystemErrorAndLeavesThePortOpen) {
    port_.Open();
    EXPECT_TRUE(RaisesComError([&] { port_.SetDataBits(TDataBits::db9); }, 87,
                               "The parameter is incorrect"));
    EXPECT_TRUE(port_.Active());
}

TEST_F(ComPortTest, SettingObjectsApplyTheirGroupToAnOpenPort) {
    port_.Open();
    port_.FlowControl().SetXOnXOff(TXOnXOffControl::xcInputOutput);
    port_.Characters().SetXOn(0x01);
    termios settings = pty_.SlaveSettings();
    EXPECT_EQ(static_cast<tcflag_t>(IXON | IXOFF), settings.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(0x01, settings.c_cc[VSTART]);
}

TEST_F(ComPortTest, DeviceNameAndSynchronizeEventsRefuseChangesWhileOpen) {
    port_.Open();
    EXPECT_TRUE(RaisesComError([&] { port_.SetDeviceName("COM6"); }, 0,
                               "Can't perform this operation on an open port"));
    EXPECT_TRUE(RaisesComError([&] { port_.SetSynchronizeEvents(false); }, 0,
                               "Can't perform this operation on an open port"));
    port_.SetDeviceName("COM5");  // the same name is accepted silently
    EXPECT_EQ("COM5", port_.DeviceName());
    EXPECT_TRUE(port_.SynchronizeEvents());
    EXPECT_TRUE(port_.Active());
}

TEST_F(ComPortTest, AMissingPortFailsWithCodeTwoAndAnotherNameCanBeTriedAfter) {
    port_.SetDeviceName("COM7");
    EXPECT_TRUE(
        RaisesComError([&] { port_.Open(); }, 2, "The system cannot find the file specified"));
    EXPECT_FALSE(port_.Active());
    port_.SetDeviceName("COM5");
    port_.Open();
    EXPECT_TRUE(port_.Active());
}

TEST_F(ComPortTest, APortInUseFailsWithAccessDenied) {
    port_.Open();
    TComPort second;
    second.SetDeviceName("COM5");
    EXPECT_TRUE(RaisesComError([&] { second.Open(); }, 5, "Access is denied"));
    EXPECT_FALSE(second.Active());
    port_.WriteString("still mine");
    EXPECT_EQ("still mine", pty_.Receive(10));
    // Released by Close: the other object may have it now.
    port_.Close();
    second.Open();
    EXPECT_TRUE(second.Active());
}

TEST_F(ComPortTest, ASecondWriteWaitsUntilTheFirstHasBeenSent) {
    port_.Open();
    std::string first(256 * 1024, '\0');
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>('a' + i % 26);
    {
        // More than the tty can take while nobody reads: the transfer stays pending, and the
        // call returns anyway; the caller's bytes may go away at once.
        std::string temporary = first;
        port_.WriteString(temporary);
    }
    std::atomic<bool> secondReturned{false};
    std::thread writer([&] {
        port_.WriteString("tail");
        secondReturned = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(secondReturned);
    std::string received = pty_.Receive(first.size() + 4, 20s);
    writer.join();
    EXPECT_TRUE(secondReturned);
    EXPECT_TRUE(received == first + "tail") << "received " << received.size() << " bytes";
}

TEST_F(ComPortTest, BytesReceivedBeforeOpenAreDiscarded) {
    pty_.Send("stale");
    ASSERT_TRUE(pty_.WaitUntilSlaveReadable());
    OpenReceiving();
    pty_.Send("fresh");
    ASSERT_TRUE(ReceivedAtLeast(5));
    pump_.For(50ms);
    EXPECT_EQ("fresh", received_);
}

TEST_F(ComPortTest, APeerHangUpClosesThePortWithoutAMessage) {
    OpenReceiving();
    pty_.Send("OK\n");
    ASSERT_TRUE(ReceivedAtLeast(3));
    pty_.HangUp();
    ASSERT_TRUE(pump_.Until([&] { return !port_.Active(); }));
    pump_.For(50ms);
    EXPECT_TRUE(pump_.Shown().empty());
}

TEST_F(ComPortTest, AfterTheDeviceIsLostEveryTransferReportsAccessDenied) {
    port_.Open();  // no handler: no event thread closes the port for us
    pty_.HangUp();
    ASSERT_TRUE(pump_.Until([&] {
        try {
            port_.InputCount();
            return false;
        } catch (const EComError&) {
            return true;
        }
    }));
    // The port stays open and says why, every time, until the window closes it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_TRUE(RaisesComError([&] { port_.WriteString("AT\r"); }, 5, "Access is denied"));
        char buffer[2];
        EXPECT_TRUE(RaisesComError([&] { port_.Read(buffer, 2, true); }, 5, "Access is denied"));
    }
    EXPECT_TRUE(port_.Active());
}

TEST_F(ComPortTest, AShortReadRaisesTimeoutAndTheNextReadStartsNormally) {
    // A total time-out ends the read later; an interval of MAXDWORD alone ends it at once.
    const struct {
        const char* name;
        std::uint32_t interval;
        std::uint32_t constant;
    } cases[] = {
        {"ends after a total time-out", 0, 50},
        {"ends at once", 0xFFFFFFFF, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        port_.Timeouts().SetReadInterval(c.interval);
        port_.Timeouts().SetReadConstant(c.constant);
        port_.Open();
        pty_.Send("abc");
        ASSERT_TRUE(pump_.Until([&] { return port_.InputCount() == 3; }));
        char buffer[16] = {};
        EXPECT_TRUE(RaisesComError([&] { port_.Read(buffer, 10, true); }, 0, "Timeout"));
        EXPECT_TRUE(port_.Active());
        EXPECT_EQ("abc", std::string(buffer, 3));
        pty_.Send("defg");
        ASSERT_TRUE(pump_.Until([&] { return port_.InputCount() == 4; }));
        port_.Read(buffer, 4, true);
        EXPECT_EQ("defg", std::string(buffer, 4));
        port_.Close();
    }
}

TEST_F(ComPortTest, AShortReadThatEndedBeforeItsWaitStillRaisesTimeout) {
    port_.Timeouts().SetReadConstant(50);
    port_.Open();
    pty_.Send("abc");
    ASSERT_TRUE(pump_.Until([&] { return port_.InputCount() == 3; }));
    char buffer[16] = {};
    port_.Read(buffer, 10, false);       // under way: three of ten bytes, until the time-out
    std::this_thread::sleep_for(300ms);  // it has ended, short, long before the next read
    pty_.Send("defg");
    ASSERT_TRUE(pump_.Until([&] { return port_.InputCount() == 4; }));
    // The next read finishes the short one first, and goes no further.
    EXPECT_TRUE(RaisesComError([&] { port_.Read(buffer + 10, 4, true); }, 0, "Timeout"));
    EXPECT_TRUE(port_.Active());
    EXPECT_EQ("abc", std::string(buffer, 3));
    EXPECT_EQ(4, port_.InputCount());
    port_.Read(buffer, 4, true);
    EXPECT_EQ("defg", std::string(buffer, 4));
}

TEST_F(ComPortTest, NegativeByteCountsAndMissingBuffersAreRefused) {
    port_.Open();
    char buffer[4] = {};
    const std::function<void()> operations[] = {
        [&] { port_.Read(buffer, -1, true); },  [&] { port_.Write(buffer, -4, false); },
        [&] { port_.Read(nullptr, 4, true); },  [&] { port_.Write(nullptr, 4, false); },
        [&] { port_.Write(nullptr, 4, true); },
    };
    for (const auto& operation : operations) {
        EXPECT_TRUE(RaisesComError(operation, 87, "The parameter is incorrect"));
    }
    // Nothing was sent and the port still works.
    port_.WriteString("AT\r");
    EXPECT_EQ("AT\r", pty_.Receive(3));
}

TEST_F(ComPortTest, ASmallInputQueueHoldsBackBytesWithoutLosingThem) {
    port_.BufferSizes().SetInput(16);
    OpenReceiving();
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += static_cast<char>('0' + i % 10);
    pty_.Send(burst);
    ASSERT_TRUE(ReceivedAtLeast(burst.size()));
    EXPECT_EQ(burst, received_);
}

}  // namespace
