#include "serial/Comport.h"

#include <cstring>

#include "serial/ComThread.h"
#include "ui/WindowThread.h"

using namespace commapi;

namespace {

DWORD BaudRateValue(TBaudRate rate, std::int32_t custom) {
    static const DWORD kRates[] = {0,     50,    75,    110,   150,   300,    600,    1200,  1800,
                                   2000,  2400,  3600,  4800,  7200,  9600,   10400,  14400, 15625,
                                   19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};
    if (rate == TBaudRate::brCustom) return static_cast<DWORD>(custom);
    return kRates[static_cast<int>(rate)];
}

int Win32Priority(TThreadPriority priority) {
    switch (priority) {
        case TThreadPriority::tpIdle:
            return THREAD_PRIORITY_IDLE;
        case TThreadPriority::tpLowest:
            return THREAD_PRIORITY_LOWEST;
        case TThreadPriority::tpLower:
            return THREAD_PRIORITY_BELOW_NORMAL;
        case TThreadPriority::tpNormal:
            return THREAD_PRIORITY_NORMAL;
        case TThreadPriority::tpHigher:
            return THREAD_PRIORITY_ABOVE_NORMAL;
        case TThreadPriority::tpHighest:
            return THREAD_PRIORITY_HIGHEST;
        case TThreadPriority::tpTimeCritical:
            break;
    }
    return THREAD_PRIORITY_TIME_CRITICAL;
}

}  // namespace

TCustomComPort::TCustomComPort()
    : flowControl_(new TFlowControl(this)),
      characters_(new TCharacters(this)),
      bufferSizes_(new TBufferSizes(this)),
      timeouts_(new TTimeouts(this)),
      handle_(INVALID_HANDLE_VALUE) {}

TCustomComPort::~TCustomComPort() {
    Close();
}

bool TCustomComPort::Active() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

void TCustomComPort::SetActive(bool value) {
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TCustomComPort::Open() {
    if (Active()) return;
    try {
        CreateHandle();
    } catch (...) {
        FreeHandle();
        throw;
    }
}

void TCustomComPort::CreateHandle() {
    FreeHandle();
    commapi::SetLastError(0);
    std::memset(&overlappedWait_, 0, sizeof overlappedWait_);

    eventWait_ = commapi::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Check(eventWait_ != nullptr);
    overlappedWait_.hEvent = eventWait_;
    eventRead_ = commapi::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    Check(eventRead_ != nullptr);
    eventWrite_ = commapi::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    Check(eventWrite_ != nullptr);

    handle_ =
        commapi::CreateFileA(deviceName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    Check(handle_ != INVALID_HANDLE_VALUE);

    Check(commapi::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR));
    Check(commapi::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR));
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
    SetComEventMask();
}

void TCustomComPort::Close() {
    if (TComThread* current = TComThread::Current();
        current != nullptr && current->Port() == this) {
        // Called by the event thread (a lost device): the port is closed on the window thread.
        current->Synchronize([this] { Close(); });
        return;
    }
    if (!Active()) return;
    FreeHandle();
}

void TCustomComPort::FreeHandle() {
    DestroyThread();
    // Closing the device abandons any transfer still under way.
    readPending_ = false;
    writePending_ = false;
    if (handle_ != INVALID_HANDLE_VALUE) {
        commapi::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    for (HANDLE* event : {&eventWrite_, &eventRead_, &eventWait_}) {
        if (*event != nullptr) {
            commapi::CloseHandle(*event);
            *event = nullptr;
        }
    }
}

void TCustomComPort::Check(bool succeeded) {
    if (succeeded) return;
    DWORD code = commapi::GetLastError();
    if (code == 0 || code == ERROR_IO_PENDING) return;
    commapi::SetLastError(0);
    RaiseError(static_cast<int>(code), SystemErrorText(code));
}

void TCustomComPort::RaiseError(int code, const std::string& message) {
    throw EComError(message, code);
}

void TCustomComPort::CheckActive() {
    if (!Active()) RaiseError(0, sErrClosedPort);
}

void TCustomComPort::RaiseInvalidParameter() {
    RaiseError(static_cast<int>(ERROR_INVALID_PARAMETER), SystemErrorText(ERROR_INVALID_PARAMETER));
}

void TCustomComPort::SetDeviceName(const std::string& value) {
    if (value == deviceName_) return;
    if (Active()) RaiseError(0, sErrOpenPort);
    deviceName_ = value;
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    if (value == baudRate_) return;
    baudRate_ = value;
    ApplyDCB();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    if (value == customBaudRate_) return;
    customBaudRate_ = value;
    baudRate_ = TBaudRate::brCustom;
    ApplyDCB();
}

void TCustomComPort::SetDataBits(TDataBits value) {
    if (value == dataBits_) return;
    dataBits_ = value;
    ApplyDCB();
}

void TCustomComPort::SetParity(TParity value) {
    if (value == parity_) return;
    parity_ = value;
    ApplyDCB();
}

void TCustomComPort::SetStopBits(TStopBits value) {
    if (value == stopBits_) return;
    stopBits_ = value;
    ApplyDCB();
}

void TCustomComPort::SetOptions(TOptions value) {
    if (value == options_) return;
    options_ = value;
    ApplyDCB();
}

void TCustomComPort::SetSynchronizeEvents(bool value) {
    if (value == synchronizeEvents_) return;
    if (Active()) RaiseError(0, sErrOpenPort);
    synchronizeEvents_ = value;
}

void TCustomComPort::SetThreadPriority(TThreadPriority value) {
    if (value == threadPriority_) return;
    threadPriority_ = value;
    if (thread_ != nullptr) thread_->SetPriority(Win32Priority(value));
}

void TCustomComPort::SetOnRxChar(TComNotifyEvent handler) {
    DWORD before = EventMask();
    onRxChar_ = std::move(handler);
    if (Active() && EventMask() != before) SetComEventMask();
}

void TCustomComPort::ApplyDCB() {
    if (!Active()) return;
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    Check(commapi::GetCommState(handle_, &dcb));
    CopyDCB(&dcb);
    Check(commapi::SetCommState(handle_, &dcb));
}

void TCustomComPort::CopyDCB(DCB* dcb) const {
    if (baudRate_ != TBaudRate::brDefault)
        dcb->BaudRate = BaudRateValue(baudRate_, customBaudRate_);
    if (dataBits_ != TDataBits::dbDefault) {
        dcb->ByteSize = static_cast<BYTE>(static_cast<int>(dataBits_) + 3);  // db4 is 4
    }
    if (parity_ != TParity::paDefault) {
        dcb->Parity = static_cast<BYTE>(static_cast<int>(parity_) - 1);  // paNone is NOPARITY
    }
    if (stopBits_ != TStopBits::sbDefault) {
        dcb->StopBits = static_cast<BYTE>(static_cast<int>(stopBits_) - 1);  // sb1 is ONESTOPBIT
    }
    dcb->XonChar = characters_->XOn();
    dcb->XoffChar = characters_->XOff();
    dcb->ErrorChar = characters_->Error();
    dcb->EofChar = characters_->Eof();
    dcb->EvtChar = characters_->Event();
    if (flowControl_->DTR() != TDTRControl::dcDefault) {
        dcb->fDtrControl = static_cast<DWORD>(flowControl_->DTR()) - 1;  // dcDisable is 0
    }
    if (flowControl_->RTS() != TRTSControl::rcDefault) {
        dcb->fRtsControl = static_cast<DWORD>(flowControl_->RTS()) - 1;  // rcDisable is 0
    }
    switch (flowControl_->XOnXOff()) {
        case TXOnXOffControl::xcDefault:
            break;
        case TXOnXOffControl::xcDisable:
            dcb->fOutX = 0, dcb->fInX = 0;
            break;
        case TXOnXOffControl::xcInput:
            dcb->fOutX = 0, dcb->fInX = 1;
            break;
        case TXOnXOffControl::xcOutput:
            dcb->fOutX = 1, dcb->fInX = 0;
            break;
        case TXOnXOffControl::xcInputOutput:
            dcb->fOutX = 1, dcb->fInX = 1;
            break;
    }
    dcb->XonLim = flowControl_->XOnLimit();
    dcb->XoffLim = flowControl_->XOffLimit();
    dcb->fParity = options_.Contains(TOption::opCheckParity);
    dcb->fOutxCtsFlow = options_.Contains(TOption::opOutputCTSFlow);
    dcb->fOutxDsrFlow = options_.Contains(TOption::opOutputDSRFlow);
    dcb->fDsrSensitivity = options_.Contains(TOption::opDSRSensitivity);
    dcb->fTXContinueOnXoff = options_.Contains(TOption::opTXContinueOnXOff);
    dcb->fErrorChar = options_.Contains(TOption::opUseErrorChar);
    dcb->fNull = options_.Contains(TOption::opDiscardNullBytes);
    dcb->fAbortOnError = options_.Contains(TOption::opAbortOnError);
    dcb->fBinary = 1;
}

void TCustomComPort::ApplyBuffer() {
    if (!Active()) return;
    Check(commapi::SetupComm(handle_, static_cast<DWORD>(bufferSizes_->Input()),
                             static_cast<DWORD>(bufferSizes_->Output())));
}

void TCustomComPort::ApplyTimeouts() {
    if (!Active()) return;
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    Check(commapi::GetCommTimeouts(handle_, &timeouts));
    timeouts.ReadIntervalTimeout = timeouts_->ReadInterval();
    timeouts.ReadTotalTimeoutMultiplier = timeouts_->ReadMultiplier();
    timeouts.ReadTotalTimeoutConstant = timeouts_->ReadConstant();
    timeouts.WriteTotalTimeoutMultiplier = timeouts_->WriteMultiplier();
    timeouts.WriteTotalTimeoutConstant = timeouts_->WriteConstant();
    Check(commapi::SetCommTimeouts(handle_, &timeouts));
}

DWORD TCustomComPort::EventMask() const {
    return onRxChar_ ? EV_RXCHAR : 0;
}

void TCustomComPort::SetComEventMask() {
    DWORD mask = EventMask();
    if (mask == 0) DestroyThread();
    Check(commapi::SetCommMask(handle_, mask));
    if (mask != 0 && thread_ == nullptr) CreateThread();
}

void TCustomComPort::CreateThread() {
    thread_ = TComThread::Create(this, Win32Priority(threadPriority_));
    if (thread_ == nullptr) RaiseError(0, sErrCreateThread);
}

void TCustomComPort::DestroyThread() {
    if (thread_ == nullptr) return;
    TComThread* thread = thread_;
    thread_ = nullptr;
    thread->Terminate();
    // Completes the thread's pending event wait. Signalling the wait event as well wakes the
    // thread even from a driver that does not complete the wait (a device already gone), so
    // waiting for the thread below cannot hang.
    if (handle_ != INVALID_HANDLE_VALUE) commapi::SetCommMask(handle_, 0);
    if (eventWait_ != nullptr) commapi::SetEvent(eventWait_);
    if (TComThread::Current() == thread) {
        // Only with SynchronizeEvents false can a handler stop its own thread; the thread
        // sees the stop flag when the handler returns and releases itself then.
        thread->FreeOnEnd();
        return;
    }
    thread->WaitFor();
    delete thread;
}

void TCustomComPort::WriteString(const std::string& text) {
    Write(text.data(), static_cast<std::int32_t>(text.size()), false);
}

void TCustomComPort::Write(const void* buffer, std::int32_t count, bool wait) {
    CheckActive();
    // Refused before anything happens: the bytes are copied at once when not waited for.
    if (count < 0 || (count > 0 && buffer == nullptr)) RaiseInvalidParameter();
    WaitForWriteCompletion();
    writeCount_ = count;
    writeBuffer_ = buffer;
    if (count == 0) return;
    std::memset(&overlappedWrite_, 0, sizeof overlappedWrite_);
    overlappedWrite_.hEvent = eventWrite_;
    commapi::ResetEvent(eventWrite_);
    if (!wait) {
        const char* bytes = static_cast<const char*>(buffer);
        writeCopy_.assign(bytes, bytes + count);
        writeBuffer_ = writeCopy_.data();
    }
    if (commapi::WriteFile(handle_, writeBuffer_, static_cast<DWORD>(count), nullptr,
                           &overlappedWrite_)) {
        CheckImmediateCount(&overlappedWrite_, count);
    } else {
        // Only a write that is under way is pending: one that failed to start is not waited for.
        writePending_ = commapi::GetLastError() == ERROR_IO_PENDING;
        Check(false);
    }
    if (wait) WaitForWriteCompletion();
}

void TCustomComPort::WaitForWriteCompletion() {
    FinishPendingTransfer(writePending_, &overlappedWrite_, writeCount_);
}

void TCustomComPort::Read(void* buffer, std::int32_t count, bool wait) {
    CheckActive();
    if (count < 0 || (count > 0 && buffer == nullptr)) RaiseInvalidParameter();
    WaitForReadCompletion();
    readCount_ = count;
    readBuffer_ = buffer;
    if (count == 0) return;
    std::memset(&overlappedRead_, 0, sizeof overlappedRead_);
    overlappedRead_.hEvent = eventRead_;
    commapi::ResetEvent(eventRead_);
    if (commapi::ReadFile(handle_, buffer, static_cast<DWORD>(count), nullptr, &overlappedRead_)) {
        CheckImmediateCount(&overlappedRead_, count);
    } else {
        readPending_ = commapi::GetLastError() == ERROR_IO_PENDING;
        Check(false);
    }
    if (wait) WaitForReadCompletion();
}

void TCustomComPort::CheckImmediateCount(OVERLAPPED* overlapped, std::int32_t count) {
    // A transfer that completed at once is not pending, so no completion wait will look at
    // its count. A short one (the driver's time-outs allow it) is reported here;
    // otherwise Read would pass the unfilled part of the buffer off as received bytes.
    DWORD moved = 0;
    Check(commapi::GetOverlappedResult(handle_, overlapped, &moved, FALSE));
    if (moved != static_cast<DWORD>(count)) RaiseError(0, sErrTimeout);
}

void TCustomComPort::WaitForReadCompletion() {
    FinishPendingTransfer(readPending_, &overlappedRead_, readCount_);
}

void TCustomComPort::FinishPendingTransfer(bool& pending, OVERLAPPED* overlapped,
                                           std::int32_t count) {
    // Whether the transfer is still running or has ended meanwhile (its event signalled), its
    // count is checked: a short one is a "Timeout" either way. It is over once looked at, so
    // the next transfer of its kind starts normally even when this one raises.
    if (pending) {
        pending = false;
        DWORD moved = 0;
        Check(commapi::GetOverlappedResult(handle_, overlapped, &moved, TRUE));
        if (moved != static_cast<DWORD>(count)) RaiseError(0, sErrTimeout);
    }
    CheckLineErrors();
}

void TCustomComPort::CheckLineErrors() {
    CheckActive();
    DWORD errors = 0;
    Check(commapi::ClearCommError(handle_, &errors, nullptr));
    // No OnLineError handler exists in this program: the call only clears the error state.
}

std::int32_t TCustomComPort::InputCount() {
    DWORD errors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    Check(commapi::ClearCommError(handle_, &errors, &status));
    return static_cast<std::int32_t>(status.cbInQue);
}

std::string TCustomComPort::ReadWaiting() {
    std::string bytes;
    std::int32_t n = InputCount();
    while (n > 0) {
        char chunk[256];
        const std::int32_t count = std::min<std::int32_t>(n, sizeof chunk);
        Read(chunk, count, true);
        bytes.append(chunk, static_cast<size_t>(count));
        n -= count;
    }
    return bytes;
}

void TCustomComPort::ThreadProc(TComThread* thread) {
    // A wait that fails leaves the mask as it was; cleared here, a failed wait can never be
    // delivered as the events of the previous one.
    evtMask_ = 0;
    if (commapi::WaitCommEvent(handle_, &evtMask_, &overlappedWait_)) {
        if (!thread->Terminated()) ThreadDoEvent(thread, evtMask_);
        return;
    }
    // Taken before the stop flag is tested: that test takes a lock, and waiting for a lock
    // may make system calls that change the thread's last error.
    DWORD error = commapi::GetLastError();
    if (thread->Terminated()) return;
    threadErrorCode_ = error;
    if (threadErrorCode_ == ERROR_IO_PENDING) {
        if (commapi::WaitForSingleObject(eventWait_, INFINITE) != WAIT_OBJECT_0 ||
            thread->Terminated()) {
            return;
        }
        // A wait that completed with an error (the device was lost meanwhile) is handled
        // like one that failed at once. Aborted waits (995: Wine's answer to a mask change)
        // just end the cycle.
        DWORD unused = 0;
        if (commapi::GetOverlappedResult(handle_, &overlappedWait_, &unused, FALSE)) {
            ThreadDoEvent(thread, evtMask_);
            return;
        }
        threadErrorCode_ = commapi::GetLastError();
        if (threadErrorCode_ == ERROR_OPERATION_ABORTED ||
            threadErrorCode_ == ERROR_IO_INCOMPLETE) {
            return;
        }
    }
    commapi::SetLastError(0);
    // The error comes back from the window thread and ends this thread.
    if (!thread->Synchronize([this] { RaiseThreadError(); })) thread->EndLoop();
}

void TCustomComPort::RaiseThreadError() {
    RaiseError(static_cast<int>(threadErrorCode_), SystemErrorText(threadErrorCode_));
}

void TCustomComPort::ThreadDoEvent(TComThread* thread, DWORD occurred) {
    if (!synchronizeEvents_) {
        DoEvents(occurred);
        return;
    }
    // Not handed over (window thread gone): there is nobody left to deliver to.
    if (!thread->Synchronize([this, occurred] { DoEvents(occurred); }) && !thread->Terminated()) {
        thread->EndLoop();
    }
}

void TCustomComPort::DoEvents(DWORD occurred) {
    try {
        if ((occurred & EV_RXCHAR) && onRxChar_) {
            // Called through a copy: the handler may assign another one while it runs, which
            // would otherwise destroy the very function object that is running.
            TComNotifyEvent handler = onRxChar_;
            handler(this);
        }
    } catch (const std::exception& error) {
        ui::ShowException(error);
    }
}
