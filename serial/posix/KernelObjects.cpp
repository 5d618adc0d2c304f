#include "serial/posix/KernelObjects.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <unordered_map>

#ifdef __linux__
#include <sys/resource.h>
#endif

namespace commapi::posix {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of 4 like Win32 handles; never 0 and never INVALID_HANDLE_VALUE.
    std::uintptr_t next = 0x104;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

std::uintptr_t Key(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> lock(Table().mutex);
    std::uintptr_t key = Table().next;
    Table().next += 4;
    Table().objects.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(Table().mutex);
    auto it = Table().objects.find(Key(handle));
    return it == Table().objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(Table().mutex);
    auto it = Table().objects.find(Key(handle));
    if (it == Table().objects.end()) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(it->second);
    Table().objects.erase(it);
    return object;
}

void Event::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    if (manualReset_) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

DWORD Event::Wait(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto signalled = [this] { return signalled_; };
    if (milliseconds == INFINITE) {
        changed_.wait(lock, signalled);
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled)) {
        return WAIT_TIMEOUT;
    }
    if (!manualReset_) signalled_ = false;
    return WAIT_OBJECT_0;
}

void Thread::SetNativeId(long nativeId) {
    std::lock_guard<std::mutex> lock(mutex_);
    nativeId_ = nativeId;
}

void Thread::MarkEnded() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
    }
    ended_.Set();
}

void Thread::ApplyPriority(int priority) {
#ifdef __linux__
    // Win32 priority levels mapped onto nice values. Raising the priority needs privileges;
    // without them the thread simply keeps the normal priority, which is all a thread that
    // only waits needs.
    int nice = 0;
    if (priority <= THREAD_PRIORITY_IDLE) {
        nice = 19;
    } else if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
        nice = -20;
    } else {
        nice = -5 * priority;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ && nativeId_ != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(nativeId_), nice);
    }
#else
    (void)priority;
#endif
}

DWORD& LastError() {
    thread_local DWORD lastError = 0;
    return lastError;
}

namespace {

std::atomic<DWORD> nextThreadNumber{1};
thread_local DWORD threadNumber = 0;

}  // namespace

DWORD NewThreadNumber() {
    return nextThreadNumber.fetch_add(1);
}

void AdoptThreadNumber(DWORD number) {
    threadNumber = number;
}

DWORD CurrentThreadNumber() {
    if (threadNumber == 0) threadNumber = NewThreadNumber();
    return threadNumber;
}

}  // namespace commapi::posix
