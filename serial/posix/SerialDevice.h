// A serial device (tty) behind a handle of the POSIX communications layer.
//
// The device works like a Windows serial driver: a background I/O thread moves received
// bytes from the tty into the device's own input queue (sized by SetupComm) as soon as they
// arrive, records the EV_RXCHAR event for the next WaitCommEvent, completes overlapped reads,
// writes and event waits, and signals their events. Everything blocks in poll(); nothing is
// polled on a timer. When the tty hangs up (the far end of a pty closed, a USB adapter
// unplugged) the device counts as lost: pending and later operations fail with
// ERROR_ACCESS_DENIED, as they do on Windows once a device is gone.
//
// Every member function returns a Win32 error code (ERROR_SUCCESS or ERROR_IO_PENDING for
// success), which the API layer turns into the BOOL result and the last error.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/posix/KernelObjects.h"

namespace commapi::posix {

class SerialDevice : public KernelObject {
  public:
    // Opens the tty at path exclusively. ERROR_FILE_NOT_FOUND when it does not exist,
    // ERROR_ACCESS_DENIED when it is in use or not permitted.
    static DWORD Open(const std::string& path, std::shared_ptr<SerialDevice>* device);

    SerialDevice(int fd, int wakeRead, int wakeWrite);
    ~SerialDevice() override;
    void OnClose() override;

    DWORD Purge(DWORD flags);
    DWORD Setup(DWORD inQueue, DWORD outQueue);
    DWORD GetState(DCB* dcb);
    DWORD SetState(const DCB& dcb);
    DWORD GetTimeouts(COMMTIMEOUTS* timeouts);
    DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD SetMask(DWORD mask);
    DWORD WaitEvent(DWORD* mask, OVERLAPPED* overlapped, const std::shared_ptr<Event>& event);
    DWORD ClearError(DWORD* errors, COMSTAT* status);
    DWORD Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped,
               const std::shared_ptr<Event>& event);
    DWORD Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped,
                const std::shared_ptr<Event>& event);
    // The state of an overlapped transfer of this device, read under the device's lock:
    // true once it has ended, with its error code and byte count.
    bool Result(const OVERLAPPED* overlapped, DWORD* error, DWORD* bytes);

  private:
    using Clock = std::chrono::steady_clock;

    struct Transfer {
        char* readBuffer = nullptr;
        const char* writeBuffer = nullptr;
        DWORD count = 0;
        DWORD done = 0;
        OVERLAPPED* overlapped = nullptr;
        std::shared_ptr<Event> event;
        bool hasDeadline = false;
        Clock::time_point deadline;
        DWORD interval = 0;  // read interval time-out in ms, 0: none
        Clock::time_point lastByte;
    };
    struct EventWait {
        DWORD* mask = nullptr;
        OVERLAPPED* overlapped = nullptr;
        std::shared_ptr<Event> event;
    };

    void IoLoop();
    void Wake();
    void DrainWake();
    int PollTimeout(Clock::time_point now) const;
    // The helpers below run with mutex_ held.
    void ReceiveAvailable();
    void SendPending();
    void ServiceReads(Clock::time_point now);
    void ServiceWrites(Clock::time_point now);
    void ServiceEventWait();
    void FailEverything(DWORD error);
    bool HasRoom() const { return input_.size() < inputCapacity_; }
    void LoseDevice();
    static void Begin(OVERLAPPED* overlapped, const std::shared_ptr<Event>& event);
    static void Finish(OVERLAPPED* overlapped, const std::shared_ptr<Event>& event, DWORD error,
                       DWORD bytes);

    std::mutex mutex_;
    const int fd_;
    const int wakeRead_;
    const int wakeWrite_;
    std::thread ioThread_;
    bool closing_ = false;
    bool lost_ = false;
    bool hangupSeen_ = false;

    std::deque<char> input_;
    std::size_t inputCapacity_ = 4096;
    DWORD lineErrors_ = 0;
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    DWORD history_ = 0;
    std::unique_ptr<EventWait> eventWait_;
    std::deque<Transfer> reads_;
    std::deque<Transfer> writes_;
};

}  // namespace commapi::posix
