// The serial port object: opens a COM port by name with given line settings, writes without
// blocking the window, tells the window that bytes have arrived, reads them, and closes.
//
// All operations run on the window thread. While the port is open and OnRxChar is assigned,
// a TComThread waits for the port's events and hands each one to the window thread.
//
// Thread safety (who may touch what, and when):
// - Close stops the event thread and waits for it to end before it releases the device
//   handle and the events, so the thread never uses a released handle. The thread hands its
//   calls to the window thread in a way that gives up as soon as the port stops the thread,
//   so Close can wait for it even from inside a delivered OnRxChar (where the thread is
//   blocked in exactly such a hand-over) and when a delivery is queued but not yet run.
// - A call handed to the window thread that only arrives there after the port has been
//   closed (or closed and opened again) does nothing: it belongs to a stopped thread.
// - A thread that has ended on a wait error stays known to the port until Close; stopping
//   it then finds it ended and only releases it.
// - Close called on the event thread (the device-lost path) is handed to the window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/ComError.h"
#include "serial/ComSettings.h"
#include "serial/ComTypes.h"
#include "serial/CommApi.h"

class TComThread;
class TCustomComPort;

using TComNotifyEvent = std::function<void(TCustomComPort* sender)>;

class TCustomComPort {
  public:
    TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;
    virtual ~TCustomComPort();

    // Opens and configures the device and starts the event thread if a handler is assigned.
    // Does nothing if already open. Raises EComError and leaves the port closed on failure.
    void Open();
    // Stops the event thread and closes the device. Does nothing if not open.
    void Close();

    bool Active() const;
    void SetActive(bool value);

    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TOptions Options() const { return options_; }
    void SetOptions(TOptions value);
    TFlowControl& FlowControl() { return *flowControl_; }
    TCharacters& Characters() { return *characters_; }
    TBufferSizes& BufferSizes() { return *bufferSizes_; }
    TTimeouts& Timeouts() { return *timeouts_; }
    // True (the default): handlers run on the window thread. False: they run on the event
    // thread, and then must not change the port's settings or handlers while it is open.
    bool SynchronizeEvents() const { return synchronizeEvents_; }
    void SetSynchronizeEvents(bool value);
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void SetThreadPriority(TThreadPriority value);

    // Called when characters have arrived; it carries no count: the handler asks InputCount.
    const TComNotifyEvent& OnRxChar() const { return onRxChar_; }
    void SetOnRxChar(TComNotifyEvent handler);

    // Sends the string's bytes and returns once the transfer has started.
    void WriteString(const std::string& text);
    // Sends count bytes. With wait false the bytes are copied first, so the caller's buffer
    // is free when the call returns; a following write waits for this one.
    void Write(const void* buffer, std::int32_t count, bool wait);
    // Reads count bytes into buffer. With wait false the buffer must stay valid until the
    // next read has finished this one.
    // A transfer that ends with fewer bytes than asked for raises EComError code 0 "Timeout"
    // when it is finished (by its own wait, or by the next transfer of its kind), also when it
    // had already ended by then; the port stays open.
    void Read(void* buffer, std::int32_t count, bool wait);
    // The number of received bytes waiting in the driver's input queue.
    std::int32_t InputCount();
    // Reads every byte waiting in the input queue now (none: an empty string).
    std::string ReadWaiting();

    // Applying one group of settings to an open device (used by the setting objects).
    void ApplyDCB();
    void ApplyBuffer();
    void ApplyTimeouts();

  protected:
    // Opens and configures the device.
    virtual void CreateHandle();
    // Releases the event thread, the device and the events; never raises.
    void FreeHandle();
    // Raises EComError for a failed system call, except for last errors 0 and 997.
    void Check(bool succeeded);
    [[noreturn]] void RaiseError(int code, const std::string& message);

  private:
    friend class TComThread;

    // One cycle of the event thread: wait for an event, then deliver it.
    void ThreadProc(TComThread* thread);
    void ThreadDoEvent(TComThread* thread, commapi::DWORD occurred);
    void DoEvents(commapi::DWORD occurred);
    [[noreturn]] void RaiseThreadError();

    void CheckActive();
    void CopyDCB(commapi::DCB* dcb) const;
    void SetComEventMask();
    commapi::DWORD EventMask() const;
    void CreateThread();
    void DestroyThread();
    void WaitForWriteCompletion();
    void WaitForReadCompletion();
    void FinishPendingTransfer(bool& pending, commapi::OVERLAPPED* overlapped, std::int32_t count);
    void CheckImmediateCount(commapi::OVERLAPPED* overlapped, std::int32_t count);
    void CheckLineErrors();
    [[noreturn]] void RaiseInvalidParameter();

    std::string deviceName_ = "COM1";
    TBaudRate baudRate_ = TBaudRate::brDefault;
    std::int32_t customBaudRate_ = 0;
    TDataBits dataBits_ = TDataBits::dbDefault;
    TParity parity_ = TParity::paDefault;
    TStopBits stopBits_ = TStopBits::sbDefault;
    TOptions options_;
    // Created in this order, destroyed in the reverse one.
    std::unique_ptr<TFlowControl> flowControl_;
    std::unique_ptr<TCharacters> characters_;
    std::unique_ptr<TBufferSizes> bufferSizes_;
    std::unique_ptr<TTimeouts> timeouts_;
    bool synchronizeEvents_ = true;
    TThreadPriority threadPriority_ = TThreadPriority::tpTimeCritical;
    TComNotifyEvent onRxChar_;

    commapi::HANDLE handle_;
    commapi::HANDLE eventWait_ = nullptr;   // auto-reset
    commapi::HANDLE eventRead_ = nullptr;   // manual-reset, signalled when a read ends
    commapi::HANDLE eventWrite_ = nullptr;  // manual-reset, signalled when a write ends
    commapi::OVERLAPPED overlappedWait_{};
    commapi::OVERLAPPED overlappedRead_{};
    commapi::OVERLAPPED overlappedWrite_{};
    commapi::DWORD evtMask_ = 0;  // filled by the system when an event wait completes
    // A transfer answered ERROR_IO_PENDING and its count has not been checked yet.
    bool readPending_ = false;
    bool writePending_ = false;
    std::int32_t readCount_ = 0;
    void* readBuffer_ = nullptr;
    std::int32_t writeCount_ = 0;
    const void* writeBuffer_ = nullptr;
    std::vector<char> writeCopy_;  // the bytes of the last write that was not waited for
    TComThread* thread_ = nullptr;
    commapi::DWORD threadErrorCode_ = 0;  // written by the event thread only
};

class TComPort : public TCustomComPort {
  public:
    TComPort() = default;
};
