// The port's conversation with the system, call by call, against a recording stand-in for
// the communications operations: the order and arguments of opening and closing, the control
// block built from the settings, what the setters apply, and the release of everything after
// a step of opening fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "serial/Comport.h"
#include "tests/serial/ComErrorExpect.h"
#include "tests/serial/FakeCommApi.h"

using namespace commapi;
using serialtest::RaisesComError;
using Calls = std::vector<std::string>;

namespace {

// The driver's block before the port touches it: every field holds something the port must
// either keep (a "...Default" setting) or overwrite.
DCB DriverDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.fBinary = 0;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 1;
    dcb.fInX = 0;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 'a';
    dcb.XoffChar = 'b';
    dcb.ErrorChar = 'c';
    dcb.EofChar = 'd';
    dcb.EvtChar = 'e';
    return dcb;
}

class ComPortCallsTest : public ::testing::Test {
  protected:
    ComPortCallsTest() { fakecomm::Reset(DriverDcb()); }

    // Named, with a handler and at 115200 8N1, as the main window has it.
    static void ConfigureAsTheWindow(TComPort& port) {
        port.SetDeviceName("COM2");
        port.SetOnRxChar([](TCustomComPort*) {});
        port.SetBaudRate(TBaudRate::br115200);
        port.SetDataBits(TDataBits::db8);
        port.SetParity(TParity::paNone);
        port.SetStopBits(TStopBits::sb1);
    }

    static Calls TakeCalls() {
        Calls calls = fakecomm::Current().calls;
        fakecomm::Current().calls.clear();
        return calls;
    }

    static const DCB& Applied() { return fakecomm::Current().appliedDcb; }
};

TEST_F(ComPortCallsTest, OpeningMakesTheSystemCallsInOrder) {
    TComPort port;
    ConfigureAsTheWindow(port);
    EXPECT_TRUE(TakeCalls().empty());  // closed: the setters only store
    port.Open();
    const Calls expected = {
        "SetLastError(0)",
        "CreateEventA(security null, manual 0, signalled 0, name null) -> event1",
        "CreateEventA(security null, manual 1, signalled 1, name null) -> event2",
        "CreateEventA(security null, manual 1, signalled 1, name null) -> event3",
        "CreateFileA(COM2, access 0xC0000000, share 0, security null, disposition 3, "
        "flags 0x40000080, template null)",
        "PurgeComm(device, 0xA)",
        "PurgeComm(device, 0x5)",
        "SetupComm(device, 4096, 2048)",
        "GetCommState(device, length 28)",
        "SetCommState(device, length 28)",
        "GetCommTimeouts(device)",
        "SetCommTimeouts(device, 0, 0, 0, 0, 0)",
        "SetCommMask(device, 0x1)",
        "CreateThreadWithPriority(15)",
    };
    EXPECT_EQ(expected, TakeCalls());
    EXPECT_TRUE(port.Active());

    // 115200 8N1, binary, no option flag, XON/XOFF 0x11/0x13, the other characters and both
    // limits 0; DTR, RTS and XON/XOFF control as the driver had them.
    EXPECT_EQ(28u, Applied().DCBlength);
    EXPECT_EQ(115200u, Applied().BaudRate);
    EXPECT_EQ(8, Applied().ByteSize);
    EXPECT_EQ(NOPARITY, Applied().Parity);
    EXPECT_EQ(ONESTOPBIT, Applied().StopBits);
    EXPECT_EQ(0x0001u | 0x0020u | 0x0100u | 0x3000u, fakecomm::Flags(Applied()));
    EXPECT_EQ(0x11, Applied().XonChar);
    EXPECT_EQ(0x13, Applied().XoffChar);
    EXPECT_EQ(0, Applied().ErrorChar);
    EXPECT_EQ(0, Applied().EofChar);
    EXPECT_EQ(0, Applied().EvtChar);
    EXPECT_EQ(0, Applied().XonLim);
    EXPECT_EQ(0, Applied().XoffLim);

    port.Open();  // already open: nothing happens
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(ComPortCallsTest, ClosingStopsTheThreadThenClosesTheDeviceAndTheEventsInOrder) {
    TComPort port;
    ConfigureAsTheWindow(port);
    port.Open();
    TakeCalls();
    port.Close();
    const Calls expected = {
        "SetCommMask(device, 0x0)",
        "SetEvent(event1)",
        "WaitForSingleObject(thread, 4294967295)",
        "CloseHandle(thread)",
        "CloseHandle(device)",
        "CloseHandle(event3)",
        "CloseHandle(event2)",
        "CloseHandle(event1)",
    };
    EXPECT_EQ(expected, TakeCalls());
    EXPECT_FALSE(port.Active());
    EXPECT_TRUE(fakecomm::Current().open.empty());
    port.Close();  // already closed: nothing happens
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(ComPortCallsTest, TheControlBlockIsFilledFromTheSettings) {
    struct Case {
        const char* name;
        std::function<void(TComPort&)> set;
        std::function<DWORD(const DCB&)> field;
        DWORD expected;
    };
    auto baud = [](const DCB& dcb) -> DWORD { return dcb.BaudRate; };
    auto byteSize = [](const DCB& dcb) -> DWORD { return dcb.ByteSize; };
    auto parity = [](const DCB& dcb) -> DWORD { return dcb.Parity; };
    auto stopBits = [](const DCB& dcb) -> DWORD { return dcb.StopBits; };
    auto flags = [](DWORD mask) {
        return [mask](const DCB& dcb) -> DWORD { return fakecomm::Flags(dcb) & mask; };
    };
    const DWORD kOptionBits = 0x4ECE;
    auto options = [](TOptions value) { return [value](TComPort& p) { p.SetOptions(value); }; };
    const Case cases[] = {
        {"default speed", [](TComPort&) {}, baud, 9600},
        {"br50", [](TComPort& p) { p.SetBaudRate(TBaudRate::br50); }, baud, 50},
        {"br2000", [](TComPort& p) { p.SetBaudRate(TBaudRate::br2000); }, baud, 2000},
        {"br15625", [](TComPort& p) { p.SetBaudRate(TBaudRate::br15625); }, baud, 15625},
        {"br128000", [](TComPort& p) { p.SetBaudRate(TBaudRate::br128000); }, baud, 128000},
        {"br256000", [](TComPort& p) { p.SetBaudRate(TBaudRate::br256000); }, baud, 256000},
        {"custom speed", [](TComPort& p) { p.SetCustomBaudRate(250000); }, baud, 250000},
        {"default data bits", [](TComPort&) {}, byteSize, 7},
        {"db4", [](TComPort& p) { p.SetDataBits(TDataBits::db4); }, byteSize, 4},
        {"db9", [](TComPort& p) { p.SetDataBits(TDataBits::db9); }, byteSize, 9},
        {"default parity", [](TComPort&) {}, parity, EVENPARITY},
        {"paNone", [](TComPort& p) { p.SetParity(TParity::paNone); }, parity, NOPARITY},
        {"paOdd", [](TComPort& p) { p.SetParity(TParity::paOdd); }, parity, ODDPARITY},
        {"paMark", [](TComPort& p) { p.SetParity(TParity::paMark); }, parity, MARKPARITY},
        {"paSpace", [](TComPort& p) { p.SetParity(TParity::paSpace); }, parity, SPACEPARITY},
        {"default stop bits", [](TComPort&) {}, stopBits, TWOSTOPBITS},
        {"sb1", [](TComPort& p) { p.SetStopBits(TStopBits::sb1); }, stopBits, ONESTOPBIT},
        {"sb1_5", [](TComPort& p) { p.SetStopBits(TStopBits::sb1_5); }, stopBits, ONE5STOPBITS},
        {"default DTR", [](TComPort&) {}, flags(0x0030), 0x0020},
        {"dcDisable", [](TComPort& p) { p.FlowControl().SetDTR(TDTRControl::dcDisable); },
         flags(0x0030), 0x0000},
        {"dcEnable", [](TComPort& p) { p.FlowControl().SetDTR(TDTRControl::dcEnable); },
         flags(0x0030), 0x0010},
        {"default RTS", [](TComPort&) {}, flags(0x3000), 0x3000},
        {"rcDisable", [](TComPort& p) { p.FlowControl().SetRTS(TRTSControl::rcDisable); },
         flags(0x3000), 0x0000},
        {"rcEnable", [](TComPort& p) { p.FlowControl().SetRTS(TRTSControl::rcEnable); },
         flags(0x3000), 0x1000},
        {"rcHandshake", [](TComPort& p) { p.FlowControl().SetRTS(TRTSControl::rcHandshake); },
         flags(0x3000), 0x2000},
        {"default XON/XOFF", [](TComPort&) {}, flags(0x0300), 0x0100},
        {"xcDisable", [](TComPort& p) { p.FlowControl().SetXOnXOff(TXOnXOffControl::xcDisable); },
         flags(0x0300), 0x0000},
        {"xcInput", [](TComPort& p) { p.FlowControl().SetXOnXOff(TXOnXOffControl::xcInput); },
         flags(0x0300), 0x0200},
        {"xcInputOutput",
         [](TComPort& p) { p.FlowControl().SetXOnXOff(TXOnXOffControl::xcInputOutput); },
         flags(0x0300), 0x0300},
        {"no option", [](TComPort&) {}, flags(kOptionBits), 0},
        {"opCheckParity", options({TOption::opCheckParity}), flags(kOptionBits), 0x0002},
        {"opOutputCTSFlow", options({TOption::opOutputCTSFlow}), flags(kOptionBits), 0x0004},
        {"opOutputDSRFlow", options({TOption::opOutputDSRFlow}), flags(kOptionBits), 0x0008},
        {"opDSRSensitivity", options({TOption::opDSRSensitivity}), flags(kOptionBits), 0x0040},
        {"opTXContinueOnXOff", options({TOption::opTXContinueOnXOff}), flags(kOptionBits), 0x0080},
        {"opUseErrorChar", options({TOption::opUseErrorChar}), flags(kOptionBits), 0x0400},
        {"opDiscardNullBytes", options({TOption::opDiscardNullBytes}), flags(kOptionBits), 0x0800},
        {"opAbortOnError", options({TOption::opAbortOnError}), flags(kOptionBits), 0x4000},
        {"binary, always", [](TComPort&) {}, flags(0x0001), 0x0001},
        {"XOn limit", [](TComPort& p) { p.FlowControl().SetXOnLimit(10); },
         [](const DCB& dcb) -> DWORD { return dcb.XonLim; }, 10},
        {"XOff limit", [](TComPort& p) { p.FlowControl().SetXOffLimit(20); },
         [](const DCB& dcb) -> DWORD { return dcb.XoffLim; }, 20},
        {"error character", [](TComPort& p) { p.Characters().SetError('?'); },
         [](const DCB& dcb) -> DWORD { return static_cast<DWORD>(dcb.ErrorChar); }, '?'},
        {"end-of-file character", [](TComPort& p) { p.Characters().SetEof('z'); },
         [](const DCB& dcb) -> DWORD { return static_cast<DWORD>(dcb.EofChar); }, 'z'},
        {"event character", [](TComPort& p) { p.Characters().SetEvent('\n'); },
         [](const DCB& dcb) -> DWORD { return static_cast<DWORD>(dcb.EvtChar); }, '\n'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakecomm::Reset(DriverDcb());
        TComPort port;
        port.SetDeviceName("COM2");
        c.set(port);
        port.Open();
        EXPECT_EQ(c.expected, c.field(Applied()));
    }
}

TEST_F(ComPortCallsTest, SettersApplyTheirGroupAtOnceOnlyWhileOpen) {
    struct Case {
        const char* name;
        std::function<void(TComPort&)> set;
        Calls whileOpen;
    };
    const Calls dcb = {"GetCommState(device, length 28)", "SetCommState(device, length 28)"};
    const Case cases[] = {
        {"new speed", [](TComPort& p) { p.SetBaudRate(TBaudRate::br9600); }, dcb},
        {"same speed", [](TComPort& p) { p.SetBaudRate(TBaudRate::br115200); }, {}},
        {"custom speed", [](TComPort& p) { p.SetCustomBaudRate(250000); }, dcb},
        {"same data bits", [](TComPort& p) { p.SetDataBits(TDataBits::db8); }, {}},
        {"new parity", [](TComPort& p) { p.SetParity(TParity::paOdd); }, dcb},
        {"new stop bits", [](TComPort& p) { p.SetStopBits(TStopBits::sb2); }, dcb},
        {"options", [](TComPort& p) { p.SetOptions({TOption::opAbortOnError}); }, dcb},
        {"DTR", [](TComPort& p) { p.FlowControl().SetDTR(TDTRControl::dcEnable); }, dcb},
        {"same XOn limit", [](TComPort& p) { p.FlowControl().SetXOnLimit(0); }, {}},
        {"XOn character", [](TComPort& p) { p.Characters().SetXOn(0x01); }, dcb},
        {"input queue",
         [](TComPort& p) { p.BufferSizes().SetInput(1024); },
         {"SetupComm(device, 1024, 2048)"}},
        {"output queue",
         [](TComPort& p) { p.BufferSizes().SetOutput(512); },
         {"SetupComm(device, 4096, 512)"}},
        {"read interval",
         [](TComPort& p) { p.Timeouts().SetReadInterval(1); },
         {"GetCommTimeouts(device)", "SetCommTimeouts(device, 1, 0, 0, 0, 0)"}},
        {"read multiplier",
         [](TComPort& p) { p.Timeouts().SetReadMultiplier(2); },
         {"GetCommTimeouts(device)", "SetCommTimeouts(device, 0, 2, 0, 0, 0)"}},
        {"read constant",
         [](TComPort& p) { p.Timeouts().SetReadConstant(3); },
         {"GetCommTimeouts(device)", "SetCommTimeouts(device, 0, 0, 3, 0, 0)"}},
        {"write multiplier",
         [](TComPort& p) { p.Timeouts().SetWriteMultiplier(4); },
         {"GetCommTimeouts(device)", "SetCommTimeouts(device, 0, 0, 0, 4, 0)"}},
        {"write constant",
         [](TComPort& p) { p.Timeouts().SetWriteConstant(5); },
         {"GetCommTimeouts(device)", "SetCommTimeouts(device, 0, 0, 0, 0, 5)"}},
        {"thread priority",
         [](TComPort& p) { p.SetThreadPriority(TThreadPriority::tpLower); },
         {"SetThreadPriority(thread, -1)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            TComPort closed;
            ConfigureAsTheWindow(closed);
            TakeCalls();
            c.set(closed);
            EXPECT_TRUE(TakeCalls().empty());
        }
        TComPort open;
        ConfigureAsTheWindow(open);
        open.Open();
        TakeCalls();
        c.set(open);
        EXPECT_EQ(c.whileOpen, TakeCalls());
    }
}

TEST_F(ComPortCallsTest, AFailedStepOfOpeningReleasesEverythingAndRaisesTheSystemText) {
    const char* const steps[] = {
        "CreateEventA",    "CreateFileA",
        "PurgeComm",       "SetupComm",
        "GetCommState",    "SetCommState",
        "GetCommTimeouts", "SetCommTimeouts",
        "SetCommMask",     "CreateThreadWithPriority",
    };
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        fakecomm::Reset(DriverDcb());
        fakecomm::Current().failures[step] = ERROR_GEN_FAILURE;
        TComPort port;
        ConfigureAsTheWindow(port);
        bool ownError = std::string(step) == "CreateThreadWithPriority";
        EXPECT_TRUE(RaisesComError([&] { port.Open(); }, ownError ? 0 : 31,
                                   ownError ? "Can't create thread" : "Message 31"));
        EXPECT_FALSE(port.Active());
        EXPECT_TRUE(fakecomm::Current().open.empty())
            << "left open: " << fakecomm::Current().open.begin()->second;
        if (!ownError) {
            const Calls& calls = fakecomm::Current().calls;
            EXPECT_NE(calls.end(),
                      std::find(calls.begin(), calls.end(),
                                "FormatMessageA(0x1200, source null, 31, language 0, size 256, "
                                "arguments null)"));
        }
        // Another attempt starts from scratch.
        fakecomm::Current().failures.clear();
        port.Open();
        EXPECT_TRUE(port.Active());
    }
}

TEST_F(ComPortCallsTest, AWriteNotWaitedForSendsACopyAndTheNextWriteFinishesIt) {
    TComPort port;
    ConfigureAsTheWindow(port);
    port.Open();
    fakecomm::Current().failures["WriteFile"] = ERROR_IO_PENDING;
    TakeCalls();
    std::string first = "AT+QVCMD1=7\r";
    port.WriteString(first);
    EXPECT_EQ(first, fakecomm::Current().written);
    EXPECT_NE(static_cast<const void*>(first.data()), fakecomm::Current().writtenFrom);
    const Calls started = {
        "ClearCommError(device, status null)",
        "ResetEvent(event3)",
        "WriteFile(device, 12, event3)",
    };
    EXPECT_EQ(started, TakeCalls());

    port.WriteString("");  // finishes the first, sends nothing
    const Calls finished = {
        "GetOverlappedResult(device, event3, wait 1)",
        "ClearCommError(device, status null)",
    };
    EXPECT_EQ(finished, TakeCalls());
    port.WriteString("AT\r");  // the empty write left nothing to wait for
    EXPECT_EQ(started[0], TakeCalls().at(0));

    // Waited for: sent from the caller's own bytes.
    fakecomm::Current().failures.clear();
    char bytes[] = {'O', 'K'};
    port.Write(bytes, 2, true);
    EXPECT_EQ(static_cast<const void*>(bytes), fakecomm::Current().writtenFrom);
}

TEST_F(ComPortCallsTest, APendingTransferThatEndsShortRaisesTimeoutAlsoWhenItHasEndedAlready) {
    const struct {
        const char* name;
        const char* operation;
        std::function<void(TComPort&)> transfer;  // raises for the short one
    } kinds[] = {
        {"read", "ReadFile",
         [](TComPort& p) {
             char buffer[10];
             p.Read(buffer, 10, true);
         }},
        {"write", "WriteFile", [](TComPort& p) { p.Write("0123456789", 10, true); }},
        {"write not waited for", "WriteFile",
         [](TComPort& p) {
             p.WriteString("0123456789");
             p.WriteString("");  // finishes the first
         }},
    };
    for (const auto& kind : kinds) {
        for (bool endedBeforeTheWait : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (endedBeforeTheWait ? ", ended" : ", running"));
            fakecomm::Reset(DriverDcb());
            TComPort port;
            ConfigureAsTheWindow(port);
            port.Open();
            fakecomm::Current().failures[kind.operation] = ERROR_IO_PENDING;
            fakecomm::Current().pendingMoves = 3;
            fakecomm::Current().pendingEndsBeforeWait = endedBeforeTheWait;
            EXPECT_TRUE(RaisesComError([&] { kind.transfer(port); }, 0, "Timeout"));
            EXPECT_TRUE(port.Active());
            // The short transfer is over: the next one starts at once and completes whole.
            fakecomm::Current().failures.clear();
            TakeCalls();
            kind.transfer(port);
            const Calls calls = TakeCalls();
            EXPECT_EQ(calls.end(), std::find_if(calls.begin(), calls.end(), [](const auto& c) {
                          return c.find("wait 1") != std::string::npos;
                      }));
        }
    }
}

}  // namespace
