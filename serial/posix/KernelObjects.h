// Handles, events and threads of the POSIX communications layer.
//
// A HANDLE is a number that names an entry of one process-wide table; numbers are never
// reused, so a call with a closed or made-up handle fails cleanly with ERROR_INVALID_HANDLE
// instead of touching freed memory. The table holds shared references: a call that is using
// an object keeps it alive even if another thread closes the handle meanwhile.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "serial/CommApi.h"

namespace commapi::posix {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Called once when the last handle to the object is closed.
    virtual void OnClose() {}
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle);
// Removes the handle from the table and returns its object (null if unknown).
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookUp(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookUpHandle(handle));
}

// A Win32-style event: manual-reset events stay signalled until reset, auto-reset events
// release one waiter and reset themselves.
class Event : public KernelObject {
  public:
    Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}
    void Set();
    void Reset();
    // Returns WAIT_OBJECT_0 or WAIT_TIMEOUT.
    DWORD Wait(DWORD milliseconds);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool signalled_;
};

// A thread started by CreateThreadWithPriority; its handle is signalled when it has ended.
class Thread : public KernelObject {
  public:
    Thread() : ended_(true, false) {}
    Event& Ended() { return ended_; }
    void SetNativeId(long nativeId);
    void MarkEnded();
    // Applies a Win32 thread priority to the running thread; harmless after it has ended.
    void ApplyPriority(int priority);

  private:
    Event ended_;
    std::mutex mutex_;
    long nativeId_ = 0;
    bool running_ = true;
};

// The calling thread's last-error value.
DWORD& LastError();

// A small positive number that identifies the calling thread.
DWORD CurrentThreadNumber();
// A number for a thread about to be started, which that thread adopts as its first act.
DWORD NewThreadNumber();
void AdoptThreadNumber(DWORD number);

}  // namespace commapi::posix
