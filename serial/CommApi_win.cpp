// The communications operations on Windows: the Win32 API itself.
#include <new>

#include "serial/CommApi.h"

namespace commapi {

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    return ::CreateFileA(fileName, desiredAccess, shareMode, securityAttributes,
                         creationDisposition, flagsAndAttributes, templateFile);
}

BOOL CloseHandle(HANDLE object) {
    return ::CloseHandle(object);
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset, BOOL initialState,
                    const char* name) {
    return ::CreateEventA(eventAttributes, manualReset, initialState, name);
}

BOOL SetEvent(HANDLE event) {
    return ::SetEvent(event);
}
BOOL ResetEvent(HANDLE event) {
    return ::ResetEvent(event);
}
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return ::WaitForSingleObject(object, milliseconds);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    return ::PurgeComm(file, flags);
}
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(file, inQueue, outQueue);
}
BOOL GetCommState(HANDLE file, DCB* dcb) {
    return ::GetCommState(file, dcb);
}
BOOL SetCommState(HANDLE file, DCB* dcb) {
    return ::SetCommState(file, dcb);
}
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::GetCommTimeouts(file, timeouts);
}
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(file, timeouts);
}
BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    return ::SetCommMask(file, eventMask);
}
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
    return ::WaitCommEvent(file, eventMask, overlapped);
}
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) {
    return ::ClearCommError(file, errors, status);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped) {
    return ::ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
}
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped) {
    return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
}
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    return ::GetOverlappedResult(file, overlapped, bytesTransferred, wait);
}

DWORD GetLastError() {
    return ::GetLastError();
}
void SetLastError(DWORD errorCode) {
    ::SetLastError(errorCode);
}
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments) {
    return ::FormatMessageA(flags, source, messageId, languageId, buffer, size,
                            static_cast<va_list*>(arguments));
}

namespace {

struct ThreadStart {
    ThreadStartRoutine routine;
    void* argument;
};

DWORD WINAPI RunThread(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    return start.routine(start.argument);
}

}  // namespace

HANDLE CreateThreadWithPriority(ThreadStartRoutine start, void* argument, int priority,
                                DWORD* threadId) {
    auto* parameter = new (std::nothrow) ThreadStart{start, argument};
    if (parameter == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, RunThread, parameter, CREATE_SUSPENDED, &id);
    if (thread == nullptr) {
        delete parameter;
        return nullptr;
    }
    ::SetThreadPriority(thread, priority);
    ::ResumeThread(thread);
    if (threadId != nullptr) *threadId = id;
    return thread;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    return ::SetThreadPriority(thread, priority);
}
DWORD GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

}  // namespace commapi
