// The port's behaviour without a device: defaults, the refusals of a closed port and a
// missing port. Runs on every platform, under Wine against the real Win32 calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "serial/Comport.h"
#include "tests/serial/ComErrorExpect.h"

using serialtest::RaisesComError;

TEST(ComPortClosedTest, StartsClosedWithTheDocumentedDefaults) {
    TComPort port;
    EXPECT_FALSE(port.Active());
    EXPECT_EQ("COM1", port.DeviceName());
    EXPECT_EQ(TBaudRate::brDefault, port.BaudRate());
    EXPECT_EQ(4096, port.BufferSizes().Input());
    EXPECT_EQ(2048, port.BufferSizes().Output());
    EXPECT_EQ(0x11, port.Characters().XOn());
    EXPECT_EQ(0x13, port.Characters().XOff());
    EXPECT_EQ(0u, port.Timeouts().ReadConstant());
    EXPECT_TRUE(port.SynchronizeEvents());
    EXPECT_EQ(TThreadPriority::tpTimeCritical, port.ThreadPriority());
}

TEST(ComPortClosedTest, TransfersOnAClosedPortRaiseCodeZero) {
    TComPort port;
    char buffer[4] = {};
    const std::function<void()> operations[] = {
        [&] { port.Read(buffer, 4, true); },
        [&] { port.Write(buffer, 4, true); },
        [&] { port.WriteString("AT\r"); },
        [&] { port.WriteString(""); },
    };
    for (const auto& operation : operations) {
        EXPECT_TRUE(RaisesComError(operation, 0, "Can't perform this operation on a closed port"));
    }
}

// The message is the system's own text (Wine words its texts differently from Windows).
TEST(ComPortClosedTest, InputCountOnAClosedPortRaisesTheInvalidHandleError) {
    TComPort port;
    ASSERT_FALSE(SystemErrorText(6).empty());
    EXPECT_TRUE(RaisesComError([&] { port.InputCount(); }, 6, SystemErrorText(6)));
}

TEST(ComPortClosedTest, SettersOnAClosedPortOnlyStore) {
    TComPort port;
    port.SetDeviceName("COM3");
    port.SetBaudRate(TBaudRate::br115200);
    port.SetSynchronizeEvents(false);
    port.SetCustomBaudRate(250000);
    EXPECT_EQ("COM3", port.DeviceName());
    EXPECT_EQ(TBaudRate::brCustom, port.BaudRate());
    EXPECT_FALSE(port.SynchronizeEvents());
    EXPECT_FALSE(port.Active());
}

TEST(ComPortClosedTest, OpeningAMissingPortRaisesFileNotFoundAndLeavesThePortClosed) {
#ifndef _WIN32
    setenv("QV_COM_DIR", "/nonexistent/qv-com-links", 1);
#endif
    TComPort port;
    port.SetDeviceName("COM231");
    ASSERT_FALSE(SystemErrorText(2).empty());
    EXPECT_TRUE(RaisesComError([&] { port.Open(); }, 2, SystemErrorText(2)));
    EXPECT_FALSE(port.Active());
    // Closed again: a second attempt fails the same way instead of finding leftovers.
    EXPECT_TRUE(RaisesComError([&] { port.Open(); }, 2, SystemErrorText(2)));
    port.Close();
#ifndef _WIN32
    unsetenv("QV_COM_DIR");
#endif
}
