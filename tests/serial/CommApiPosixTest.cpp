// The POSIX communications layer against a pty: the Win32 behaviour the port relies on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "serial/ComError.h"
#include "serial/CommApi.h"
#include "serial/posix/ComNames.h"
#include "tests/serial/PtyPair.h"

using namespace commapi;
using namespace std::chrono_literals;

namespace {

class CommApiTest : public ::testing::Test {
  protected:
    CommApiTest() {
        links_.Link("COM5", pty_.SlavePath());
        event_ = commapi::CreateEventA(nullptr, TRUE, TRUE, nullptr);
        overlapped_.hEvent = event_;
    }
    ~CommApiTest() override {
        if (port_ != INVALID_HANDLE_VALUE) commapi::CloseHandle(port_);
        commapi::CloseHandle(event_);
    }

    HANDLE Open(const char* name = "COM5") {
        return commapi::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    }

    DWORD QueuedInput() {
        COMSTAT status{};
        EXPECT_TRUE(commapi::ClearCommError(port_, nullptr, &status));
        return status.cbInQue;
    }

    // Waits until the device has taken count received bytes into its input queue.
    bool Queued(DWORD count) {
        for (int i = 0; i < 5000; ++i) {
            if (QueuedInput() >= count) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    serialtest::PtyPair pty_;
    serialtest::ComLinks links_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE event_;
    OVERLAPPED overlapped_{};
};

TEST(CommApiMessagesTest, SystemTextsAreTheEnglishWindowsOnes) {
    const std::pair<DWORD, const char*> texts[] = {
        {2, "The system cannot find the file specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {995,
         "The I/O operation has been aborted because of either a thread exit or an application "
         "request.\r\n"},
        {997, "Overlapped I/O operation is in progress.\r\n"},
    };
    for (const auto& [code, text] : texts) {
        char buffer[256] = {};
        DWORD length = commapi::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer,
                                               sizeof buffer, nullptr);
        EXPECT_EQ(std::string(text), std::string(buffer, length));
    }
    char buffer[256];
    EXPECT_EQ(0u, commapi::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 12345, 0, buffer,
                                          sizeof buffer, nullptr));
    EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, commapi::GetLastError());
    // The port's error texts drop the line break and the final period.
    EXPECT_EQ("The system cannot find the file specified", SystemErrorText(2));
}

TEST(CommApiNamesTest, TheLinkFolderIsPerUserAndCanBeOverridden) {
    setenv("QV_COM_DIR", "/tmp/links", 1);
    EXPECT_EQ("/tmp/links", posix::ComLinkFolder());
    unsetenv("QV_COM_DIR");
    setenv("XDG_CONFIG_HOME", "/home/u/cfg", 1);
    EXPECT_EQ("/home/u/cfg/QVBFU/dosdevices", posix::ComLinkFolder());
    EXPECT_EQ("/home/u/cfg/QVBFU/dosdevices/com12", posix::ResolveDeviceName("\\\\.\\COM12"));
    EXPECT_EQ("/home/u/cfg/QVBFU/dosdevices/com3", posix::ResolveDeviceName("com3"));
    EXPECT_EQ("/dev/ttyUSB0", posix::ResolveDeviceName("/dev/ttyUSB0"));
    EXPECT_EQ("COMX", posix::ResolveDeviceName("COMX"));
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(CommApiTest, ComNamesInEveryFormOpenTheLinkedTty) {
    for (const char* name : {"COM5", "com5", "\\\\.\\COM5"}) {
        port_ = Open(name);
        EXPECT_NE(INVALID_HANDLE_VALUE, port_) << name;
        EXPECT_TRUE(commapi::CloseHandle(port_));
        port_ = INVALID_HANDLE_VALUE;
    }
    EXPECT_NE(INVALID_HANDLE_VALUE, port_ = Open(pty_.SlavePath().c_str()));
}

TEST_F(CommApiTest, MissingPortsFailWithFileNotFound) {
    for (const char* name : {"COM6", "\\\\.\\COM6", "/nonexistent/ttyS9"}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, Open(name)) << name;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, commapi::GetLastError()) << name;
    }
}

TEST_F(CommApiTest, APortIsOpenedExclusively) {
    port_ = Open();
    ASSERT_NE(INVALID_HANDLE_VALUE, port_);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("\\\\.\\COM5"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, commapi::GetLastError());
}

TEST_F(CommApiTest, InvalidAndClosedHandlesFailWithInvalidHandle) {
    COMSTAT status{};
    EXPECT_FALSE(commapi::ClearCommError(INVALID_HANDLE_VALUE, nullptr, &status));
    EXPECT_EQ(ERROR_INVALID_HANDLE, commapi::GetLastError());
    HANDLE closed = Open();
    ASSERT_TRUE(commapi::CloseHandle(closed));
    EXPECT_FALSE(commapi::PurgeComm(closed, PURGE_RXCLEAR));
    EXPECT_EQ(ERROR_INVALID_HANDLE, commapi::GetLastError());
    EXPECT_FALSE(commapi::CloseHandle(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, commapi::GetLastError());
}

TEST_F(CommApiTest, TheLineSettingsReadBackAsTheyWereSet) {
    port_ = Open();
    DCB dcb{};
    ASSERT_TRUE(commapi::GetCommState(port_, &dcb));
    EXPECT_EQ(sizeof(DCB), 28u);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonLim = 100;
    dcb.EvtChar = '\n';
    ASSERT_TRUE(commapi::SetCommState(port_, &dcb));
    DCB back{};
    ASSERT_TRUE(commapi::GetCommState(port_, &back));
    EXPECT_EQ(115200u, back.BaudRate);
    EXPECT_EQ(8, back.ByteSize);
    EXPECT_EQ(100, back.XonLim);
    EXPECT_EQ('\n', back.EvtChar);
    termios line = pty_.SlaveSettings();
    EXPECT_EQ(B115200, cfgetospeed(&line));
}

TEST_F(CommApiTest, AnEventWaitReportsBytesThatCameWhileNoWaitWasPending) {
    port_ = Open();
    DWORD mask = 0;
    EXPECT_FALSE(commapi::WaitCommEvent(port_, &mask, &overlapped_));  // no events asked for
    EXPECT_EQ(ERROR_INVALID_PARAMETER, commapi::GetLastError());

    ASSERT_TRUE(commapi::SetCommMask(port_, EV_RXCHAR));
    pty_.Send("OK\n");
    ASSERT_TRUE(Queued(3));
    EXPECT_TRUE(commapi::WaitCommEvent(port_, &mask, &overlapped_));
    EXPECT_EQ(EV_RXCHAR, mask);

    // Reported once: the next wait is pending although the bytes are still queued.
    mask = 0;
    EXPECT_FALSE(commapi::WaitCommEvent(port_, &mask, &overlapped_));
    EXPECT_EQ(ERROR_IO_PENDING, commapi::GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, commapi::WaitForSingleObject(event_, 50));
    pty_.Send("+");
    ASSERT_EQ(WAIT_OBJECT_0, commapi::WaitForSingleObject(event_, 5000));
    DWORD moved = 0;
    EXPECT_TRUE(commapi::GetOverlappedResult(port_, &overlapped_, &moved, TRUE));
    EXPECT_EQ(EV_RXCHAR, mask);
    EXPECT_EQ(4u, QueuedInput());
}

TEST_F(CommApiTest, ClearingTheMaskCompletesAPendingWait) {
    port_ = Open();
    ASSERT_TRUE(commapi::SetCommMask(port_, EV_RXCHAR));
    DWORD mask = 0xFFFF;
    ASSERT_FALSE(commapi::WaitCommEvent(port_, &mask, &overlapped_));
    ASSERT_EQ(ERROR_IO_PENDING, commapi::GetLastError());
    ASSERT_TRUE(commapi::SetCommMask(port_, 0));
    ASSERT_EQ(WAIT_OBJECT_0, commapi::WaitForSingleObject(event_, 5000));
    DWORD moved = 0;
    EXPECT_TRUE(commapi::GetOverlappedResult(port_, &overlapped_, &moved, TRUE));
    EXPECT_EQ(0u, mask);
}

TEST_F(CommApiTest, ReadsCompleteAtOnceFromTheQueueOrLaterWhenTheBytesArrive) {
    port_ = Open();
    pty_.Send("abc");
    ASSERT_TRUE(Queued(3));
    char buffer[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(commapi::ReadFile(port_, buffer, 2, &got, &overlapped_));
    EXPECT_EQ(2u, got);
    EXPECT_EQ(1u, QueuedInput());

    EXPECT_FALSE(commapi::ReadFile(port_, buffer, 4, nullptr, &overlapped_));
    EXPECT_EQ(ERROR_IO_PENDING, commapi::GetLastError());
    EXPECT_FALSE(commapi::GetOverlappedResult(port_, &overlapped_, &got, FALSE));
    EXPECT_EQ(ERROR_IO_INCOMPLETE, commapi::GetLastError());
    pty_.Send("def");
    EXPECT_TRUE(commapi::GetOverlappedResult(port_, &overlapped_, &got, TRUE));
    EXPECT_EQ(4u, got);
    EXPECT_EQ("cdef", std::string(buffer, 4));
}

TEST_F(CommApiTest, HugeTotalTimeoutsKeepATransferPendingInsteadOfEndingItAtOnce) {
    port_ = Open();
    // Multiplier times byte count runs to centuries: as good as no time limit.
    COMMTIMEOUTS timeouts{0, MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD};
    ASSERT_TRUE(commapi::SetCommTimeouts(port_, &timeouts));
    std::string bytes(256 * 1024, 'w');  // more than the tty takes while nobody reads
    EXPECT_FALSE(commapi::WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                                    &overlapped_));
    EXPECT_EQ(ERROR_IO_PENDING, commapi::GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, commapi::WaitForSingleObject(event_, 100));

    HANDLE readEvent = commapi::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    OVERLAPPED read{};
    read.hEvent = readEvent;
    std::string buffer(8192, '\0');
    EXPECT_FALSE(
        commapi::ReadFile(port_, &buffer[0], static_cast<DWORD>(buffer.size()), nullptr, &read));
    EXPECT_EQ(ERROR_IO_PENDING, commapi::GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, commapi::WaitForSingleObject(readEvent, 100));
    commapi::CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    commapi::CloseHandle(readEvent);
}

TEST_F(CommApiTest, PurgeDiscardsQueuedInputAndAbortsAPendingRead) {
    port_ = Open();
    pty_.Send("xyz");
    ASSERT_TRUE(Queued(3));
    ASSERT_TRUE(commapi::PurgeComm(port_, PURGE_RXCLEAR));
    EXPECT_EQ(0u, QueuedInput());

    char buffer[8];
    ASSERT_FALSE(commapi::ReadFile(port_, buffer, 8, nullptr, &overlapped_));
    ASSERT_TRUE(commapi::PurgeComm(port_, PURGE_RXABORT));
    DWORD got = 99;
    EXPECT_FALSE(commapi::GetOverlappedResult(port_, &overlapped_, &got, TRUE));
    EXPECT_EQ(ERROR_OPERATION_ABORTED, commapi::GetLastError());
    EXPECT_EQ(0u, got);
}

TEST_F(CommApiTest, ClosingTheHandleReleasesWhoeverWaitsForATransfer) {
    port_ = Open();
    char buffer[8];
    ASSERT_FALSE(commapi::ReadFile(port_, buffer, 8, nullptr, &overlapped_));
    HANDLE closing = port_;
    port_ = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(commapi::CloseHandle(closing));
    DWORD got = 0;
    EXPECT_FALSE(commapi::GetOverlappedResult(closing, &overlapped_, &got, TRUE));
    EXPECT_EQ(ERROR_OPERATION_ABORTED, commapi::GetLastError());
}

TEST_F(CommApiTest, APeerHangUpFailsThePendingWaitAndLaterCallsWithAccessDenied) {
    port_ = Open();
    ASSERT_TRUE(commapi::SetCommMask(port_, EV_RXCHAR));
    DWORD mask = 0;
    ASSERT_FALSE(commapi::WaitCommEvent(port_, &mask, &overlapped_));
    pty_.HangUp();
    DWORD moved = 0;
    EXPECT_FALSE(commapi::GetOverlappedResult(port_, &overlapped_, &moved, TRUE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, commapi::GetLastError());
    EXPECT_FALSE(commapi::WaitCommEvent(port_, &mask, &overlapped_));
    EXPECT_EQ(ERROR_ACCESS_DENIED, commapi::GetLastError());
    COMSTAT status{};
    EXPECT_FALSE(commapi::ClearCommError(port_, nullptr, &status));
    EXPECT_EQ(ERROR_ACCESS_DENIED, commapi::GetLastError());
    EXPECT_FALSE(commapi::WriteFile(port_, "AT", 2, nullptr, &overlapped_));
    EXPECT_EQ(ERROR_ACCESS_DENIED, commapi::GetLastError());
}

TEST_F(CommApiTest, AnEndedThreadSignalsItsHandle) {
    DWORD id = 0;
    HANDLE thread = commapi::CreateThreadWithPriority([](void*) -> DWORD { return 0; }, nullptr,
                                                      THREAD_PRIORITY_TIME_CRITICAL, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_NE(commapi::GetCurrentThreadId(), id);
    EXPECT_EQ(WAIT_OBJECT_0, commapi::WaitForSingleObject(thread, 5000));
    EXPECT_TRUE(commapi::SetThreadPriority(thread, THREAD_PRIORITY_NORMAL));  // harmless now
    EXPECT_TRUE(commapi::CloseHandle(thread));
}

}  // namespace
