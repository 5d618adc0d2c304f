#include "tests/serial/FakeCommApi.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace fakecomm {
namespace {

struct EventState {
    bool manualReset = false;
    bool signalled = false;
};

State state;
std::map<commapi::HANDLE, EventState> events;
std::uintptr_t nextHandle = 0x100;
int eventCount = 0;
thread_local commapi::DWORD lastError = 0;

std::string Format(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void Log(const std::string& call) {
    state.calls.push_back(call);
}

// The error the named operation has been told to fail with, or 0.
commapi::DWORD Failure(const char* operation) {
    auto it = state.failures.find(operation);
    return it == state.failures.end() ? 0 : it->second;
}

commapi::BOOL Result(const char* operation) {
    commapi::DWORD error = Failure(operation);
    if (error == 0) return 1;
    lastError = error;
    return 0;
}

commapi::HANDLE NewHandle(const std::string& name) {
    auto handle = reinterpret_cast<commapi::HANDLE>(nextHandle);
    nextHandle += 4;
    state.open[handle] = name;
    return handle;
}

std::string Name(commapi::HANDLE handle) {
    auto it = state.open.find(handle);
    if (it != state.open.end()) return it->second;
    return handle == commapi::INVALID_HANDLE_VALUE ? "invalid" : "closed";
}

const char* Null(const void* pointer) {
    return pointer == nullptr ? "null" : "given";
}

// A transfer completes at once with `moved` bytes, or stays pending when the fake was told to
// fail it with ERROR_IO_PENDING; it then ends with the bytes State::pendingMoves says.
commapi::BOOL Transfer(const char* operation, commapi::DWORD count, commapi::DWORD moved,
                       commapi::OVERLAPPED* overlapped) {
    overlapped->InternalHigh = moved;
    commapi::DWORD error = Failure(operation);
    if (error == 0) {
        events[overlapped->hEvent].signalled = true;
        return 1;
    }
    lastError = error;
    overlapped->InternalHigh =
        state.pendingMoves < 0 ? count : static_cast<commapi::DWORD>(state.pendingMoves);
    if (error == commapi::ERROR_IO_PENDING && state.pendingEndsBeforeWait)
        events[overlapped->hEvent].signalled = true;
    return 0;
}

}  // namespace

void Reset(const commapi::DCB& driverDcb) {
    state = State{};
    state.driverDcb = driverDcb;
    events.clear();
    eventCount = 0;
    lastError = 0;
}

State& Current() {
    return state;
}

commapi::DWORD Flags(const commapi::DCB& dcb) {
    commapi::DWORD flags = 0;
    std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 8, sizeof flags);
    return flags;
}

}  // namespace fakecomm

namespace commapi {

using fakecomm::Format;
using fakecomm::Log;
using fakecomm::Name;
using fakecomm::Null;
using fakecomm::state;

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    Log(
        Format("CreateFileA(%s, access 0x%08X, share %u, security %s, disposition %u, "
               "flags 0x%08X, template %s)",
               fileName, desiredAccess, shareMode, Null(securityAttributes), creationDisposition,
               flagsAndAttributes, Null(templateFile)));
    if (!fakecomm::Result("CreateFileA")) return INVALID_HANDLE_VALUE;
    return fakecomm::NewHandle("device");
}

BOOL CloseHandle(HANDLE object) {
    Log("CloseHandle(" + Name(object) + ")");
    fakecomm::events.erase(object);
    return state.open.erase(object) != 0;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset, BOOL initialState,
                    const char* name) {
    std::string handleName = Format("event%d", ++fakecomm::eventCount);
    Log(Format("CreateEventA(security %s, manual %d, signalled %d, name %s) -> %s",
               Null(eventAttributes), manualReset, initialState, Null(name), handleName.c_str()));
    if (!fakecomm::Result("CreateEventA")) return nullptr;
    HANDLE event = fakecomm::NewHandle(handleName);
    fakecomm::events[event] = {manualReset != 0, initialState != 0};
    return event;
}

BOOL SetEvent(HANDLE event) {
    Log("SetEvent(" + Name(event) + ")");
    fakecomm::events[event].signalled = true;
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    Log("ResetEvent(" + Name(event) + ")");
    fakecomm::events[event].signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    Log(Format("WaitForSingleObject(%s, %u)", Name(object).c_str(), milliseconds));
    auto it = fakecomm::events.find(object);
    if (it == fakecomm::events.end()) return WAIT_OBJECT_0;  // an ended thread
    if (!it->second.signalled) return WAIT_TIMEOUT;
    if (!it->second.manualReset) it->second.signalled = false;
    return WAIT_OBJECT_0;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    Log(Format("PurgeComm(%s, 0x%X)", Name(file).c_str(), flags));
    return fakecomm::Result("PurgeComm");
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    Log(Format("SetupComm(%s, %u, %u)", Name(file).c_str(), inQueue, outQueue));
    return fakecomm::Result("SetupComm");
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
    Log(Format("GetCommState(%s, length %u)", Name(file).c_str(), dcb->DCBlength));
    if (!fakecomm::Result("GetCommState")) return FALSE;
    DWORD length = dcb->DCBlength;
    *dcb = state.driverDcb;
    dcb->DCBlength = length;
    return TRUE;
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
    Log(Format("SetCommState(%s, length %u)", Name(file).c_str(), dcb->DCBlength));
    if (!fakecomm::Result("SetCommState")) return FALSE;
    state.appliedDcb = *dcb;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    Log("GetCommTimeouts(" + Name(file) + ")");
    if (!fakecomm::Result("GetCommTimeouts")) return FALSE;
    *timeouts = COMMTIMEOUTS{7, 7, 7, 7, 7};  // the driver's values, all overwritten
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* t) {
    Log(Format("SetCommTimeouts(%s, %u, %u, %u, %u, %u)", Name(file).c_str(),
               t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier, t->ReadTotalTimeoutConstant,
               t->WriteTotalTimeoutMultiplier, t->WriteTotalTimeoutConstant));
    return fakecomm::Result("SetCommTimeouts");
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    Log(Format("SetCommMask(%s, 0x%X)", Name(file).c_str(), eventMask));
    return fakecomm::Result("SetCommMask");
}

BOOL WaitCommEvent(HANDLE file, DWORD*, OVERLAPPED*) {
    // Only the event thread waits, and the fake starts none.
    Log("WaitCommEvent(" + Name(file) + ")");
    fakecomm::lastError = ERROR_GEN_FAILURE;
    return FALSE;
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) {
    Log(Format("ClearCommError(%s, status %s)", Name(file).c_str(), Null(status)));
    if (!fakecomm::Result("ClearCommError")) return FALSE;
    if (errors != nullptr) *errors = 0;
    if (status != nullptr) *status = COMSTAT{};
    return TRUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD*, OVERLAPPED* overlapped) {
    Log(Format("ReadFile(%s, %u, %s)", Name(file).c_str(), bytesToRead,
               Name(overlapped->hEvent).c_str()));
    DWORD moved = state.readCompletes < 0 ? bytesToRead : static_cast<DWORD>(state.readCompletes);
    std::memset(buffer, 'r', moved);
    return fakecomm::Transfer("ReadFile", bytesToRead, moved, overlapped);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD*,
               OVERLAPPED* overlapped) {
    Log(Format("WriteFile(%s, %u, %s)", Name(file).c_str(), bytesToWrite,
               Name(overlapped->hEvent).c_str()));
    state.written.assign(static_cast<const char*>(buffer), bytesToWrite);
    state.writtenFrom = buffer;
    return fakecomm::Transfer("WriteFile", bytesToWrite, bytesToWrite, overlapped);
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    Log(Format("GetOverlappedResult(%s, %s, wait %d)", Name(file).c_str(),
               Name(overlapped->hEvent).c_str(), wait));
    fakecomm::events[overlapped->hEvent].signalled = true;
    *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
    return fakecomm::Result("GetOverlappedResult");
}

DWORD GetLastError() {
    return fakecomm::lastError;
}

void SetLastError(DWORD errorCode) {
    Log(Format("SetLastError(%u)", errorCode));
    fakecomm::lastError = errorCode;
}

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments) {
    Log(Format("FormatMessageA(0x%X, source %s, %u, language %u, size %u, arguments %s)", flags,
               Null(source), messageId, languageId, size, Null(arguments)));
    // Ends the way the system's texts do, with a period and a line break.
    int length = std::snprintf(buffer, size, "Message %u. \r\n", messageId);
    return static_cast<DWORD>(length);
}

HANDLE CreateThreadWithPriority(ThreadStartRoutine, void*, int priority, DWORD*) {
    Log(Format("CreateThreadWithPriority(%d)", priority));
    if (!fakecomm::Result("CreateThreadWithPriority")) return nullptr;
    return fakecomm::NewHandle("thread");
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    Log(Format("SetThreadPriority(%s, %d)", Name(thread).c_str(), priority));
    return TRUE;
}

DWORD GetCurrentThreadId() {
    return 1;
}

}  // namespace commapi
