// The communications operations on POSIX: Win32 semantics on top of ttys.
//
// Handles, events and threads live in posix/KernelObjects, the serial device with its I/O
// thread in posix/SerialDevice, COM name lookup in posix/ComNames. This file turns their
// error codes into the Win32 convention: a FALSE (or invalid) result and the last error.
#include <cstring>
#include <system_error>
#include <thread>

#include "serial/CommApi.h"
#include "serial/posix/ComNames.h"
#include "serial/posix/KernelObjects.h"
#include "serial/posix/SerialDevice.h"
#include "serial/posix/SystemMessages.h"

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace commapi {

using posix::Event;
using posix::LastError;
using posix::LookUp;
using posix::SerialDevice;
using posix::Thread;

namespace {

constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

BOOL Fail(DWORD error) {
    LastError() = error;
    return FALSE;
}

// ERROR_SUCCESS gives TRUE; anything else, ERROR_IO_PENDING included, FALSE and the error.
BOOL Outcome(DWORD error) {
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// Runs op on the device behind file, or fails with ERROR_INVALID_HANDLE.
template <typename Operation>
BOOL OnDevice(HANDLE file, Operation op) {
    std::shared_ptr<SerialDevice> device = LookUp<SerialDevice>(file);
    if (!device) return Fail(ERROR_INVALID_HANDLE);
    return Outcome(op(*device));
}

}  // namespace

HANDLE CreateFileA(const char* fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                   HANDLE) {
    if (fileName == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<SerialDevice> device;
    DWORD error = SerialDevice::Open(posix::ResolveDeviceName(fileName), &device);
    if (error != ERROR_SUCCESS) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    return posix::InsertHandle(device);
}

BOOL CloseHandle(HANDLE object) {
    std::shared_ptr<posix::KernelObject> removed = posix::RemoveHandle(object);
    if (!removed) return Fail(ERROR_INVALID_HANDLE);
    removed->OnClose();
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, const char*) {
    return posix::InsertHandle(
        std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
    std::shared_ptr<Event> target = LookUp<Event>(event);
    if (!target) return Fail(ERROR_INVALID_HANDLE);
    target->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    std::shared_ptr<Event> target = LookUp<Event>(event);
    if (!target) return Fail(ERROR_INVALID_HANDLE);
    target->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    if (std::shared_ptr<Event> event = LookUp<Event>(object)) return event->Wait(milliseconds);
    if (std::shared_ptr<Thread> thread = LookUp<Thread>(object)) {
        return thread->Ended().Wait(milliseconds);
    }
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    return OnDevice(file, [&](SerialDevice& device) { return device.Purge(flags); });
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    return OnDevice(file, [&](SerialDevice& device) { return device.Setup(inQueue, outQueue); });
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
    if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(file, [&](SerialDevice& device) { return device.GetState(dcb); });
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
    if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(file, [&](SerialDevice& device) { return device.SetState(*dcb); });
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(file, [&](SerialDevice& device) { return device.GetTimeouts(timeouts); });
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(file, [&](SerialDevice& device) { return device.SetTimeouts(*timeouts); });
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    return OnDevice(file, [&](SerialDevice& device) { return device.SetMask(eventMask); });
}

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
    // Only overlapped waits are offered; the port never waits any other way.
    if (eventMask == nullptr || overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::shared_ptr<Event> event = LookUp<Event>(overlapped->hEvent);
    if (!event) return Fail(ERROR_INVALID_PARAMETER);
    return OnDevice(
        file, [&](SerialDevice& device) { return device.WaitEvent(eventMask, overlapped, event); });
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) {
    return OnDevice(file, [&](SerialDevice& device) { return device.ClearError(errors, status); });
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped) {
    if (overlapped == nullptr || (buffer == nullptr && bytesToRead != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::shared_ptr<Event> event = LookUp<Event>(overlapped->hEvent);
    if (!event) return Fail(ERROR_INVALID_PARAMETER);
    if (bytesRead != nullptr) *bytesRead = 0;
    return OnDevice(file, [&](SerialDevice& device) {
        return device.Read(buffer, bytesToRead, bytesRead, overlapped, event);
    });
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped) {
    if (overlapped == nullptr || (buffer == nullptr && bytesToWrite != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::shared_ptr<Event> event = LookUp<Event>(overlapped->hEvent);
    if (!event) return Fail(ERROR_INVALID_PARAMETER);
    if (bytesWritten != nullptr) *bytesWritten = 0;
    return OnDevice(file, [&](SerialDevice& device) {
        return device.Write(buffer, bytesToWrite, bytesWritten, overlapped, event);
    });
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::shared_ptr<SerialDevice> device = LookUp<SerialDevice>(file);
    std::shared_ptr<Event> event = LookUp<Event>(overlapped->hEvent);
    for (;;) {
        DWORD error = ERROR_SUCCESS;
        DWORD bytes = 0;
        bool ended = false;
        if (device) {
            ended = device->Result(overlapped, &error, &bytes);
        } else {
            // The handle has been closed, which ended every transfer it had.
            ended = overlapped->Internal != STATUS_PENDING;
            error = static_cast<DWORD>(overlapped->Internal);
            bytes = static_cast<DWORD>(overlapped->InternalHigh);
        }
        if (ended) {
            if (bytesTransferred != nullptr) *bytesTransferred = bytes;
            return Outcome(error);
        }
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        if (!event) return Fail(ERROR_INVALID_HANDLE);
        event->Wait(INFINITE);
    }
}

DWORD GetLastError() {
    return LastError();
}

void SetLastError(DWORD errorCode) {
    LastError() = errorCode;
}

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, char* buffer, DWORD size,
                     void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = posix::SystemMessageText(messageId);
    if (text == nullptr) {
        Fail(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::size_t length = std::strlen(text);
    if (length + 1 > size) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

HANDLE CreateThreadWithPriority(ThreadStartRoutine start, void* argument, int priority,
                                DWORD* threadId) {
    auto thread = std::make_shared<Thread>();
    DWORD number = posix::NewThreadNumber();
    try {
        std::thread([thread, start, argument, priority, number] {
            posix::AdoptThreadNumber(number);
#ifdef __linux__
            thread->SetNativeId(static_cast<long>(syscall(SYS_gettid)));
#endif
            // Priority first, then the work: the effect of creating the thread suspended.
            thread->ApplyPriority(priority);
            start(argument);
            thread->MarkEnded();
        }).detach();
    } catch (const std::system_error&) {
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId != nullptr) *threadId = number;
    return posix::InsertHandle(thread);
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    std::shared_ptr<Thread> target = LookUp<Thread>(thread);
    if (!target) return Fail(ERROR_INVALID_HANDLE);
    target->ApplyPriority(priority);
    return TRUE;
}

DWORD GetCurrentThreadId() {
    return posix::CurrentThreadNumber();
}

}  // namespace commapi
