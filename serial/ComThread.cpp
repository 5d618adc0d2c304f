#include "serial/ComThread.h"

#include <condition_variable>
#include <mutex>

#include "serial/Comport.h"
#include "ui/WindowThread.h"

using namespace commapi;

struct TComThread::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool terminated = false;
};

namespace {

thread_local TComThread* currentThread = nullptr;

// The state of one call handed to the window thread, guarded by the thread's mutex.
struct HandOver {
    bool finished = false;  // the call ran, or was dropped without running
    bool ran = false;
    std::exception_ptr error;
};

}  // namespace

TComThread::TComThread(TCustomComPort* port) : port_(port), shared_(std::make_shared<Shared>()) {}

TComThread* TComThread::Create(TCustomComPort* port, int priority) {
    auto* thread = new TComThread(port);
    thread->handle_ =
        commapi::CreateThreadWithPriority(&TComThread::ThreadStart, thread, priority, nullptr);
    if (thread->handle_ == nullptr) {
        delete thread;
        return nullptr;
    }
    return thread;
}

TComThread::~TComThread() {
    if (handle_ != nullptr) commapi::CloseHandle(handle_);
}

DWORD TComThread::ThreadStart(void* argument) {
    auto* thread = static_cast<TComThread*>(argument);
    thread->Execute();
    if (thread->freeOnEnd_) delete thread;
    return 0;
}

void TComThread::Execute() {
    currentThread = this;
    try {
        while (!Terminated() && !loopEnded_) port_->ThreadProc(this);
    } catch (...) {
        // The error that ended the loop stays with the thread; nobody is shown it.
        fatalException_ = std::current_exception();
        // A lost device closes the port. Close, called here, runs on the window thread.
        if (port_->threadErrorCode_ == ERROR_ACCESS_DENIED && !Terminated()) port_->Close();
    }
    currentThread = nullptr;
}

void TComThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->terminated = true;
    }
    shared_->changed.notify_all();
}

bool TComThread::Terminated() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->terminated;
}

void TComThread::WaitFor() {
    commapi::WaitForSingleObject(handle_, INFINITE);
}

void TComThread::SetPriority(int priority) {
    commapi::SetThreadPriority(handle_, priority);
}

TComThread* TComThread::Current() {
    return currentThread;
}

bool TComThread::Synchronize(std::function<void()> fn) {
    std::shared_ptr<Shared> shared = shared_;
    auto handOver = std::make_shared<HandOver>();
    // Released when the queued call is destroyed: after it ran, or when the window thread's
    // queue dropped it unrun. Either way this thread must stop waiting.
    std::shared_ptr<void> release(nullptr, [shared, handOver](void*) {
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            handOver->finished = true;
        }
        shared->changed.notify_all();
    });
    ui::TWindowThread::Post([shared, handOver, fn = std::move(fn), release = std::move(release)] {
        {
            // A call of a thread that has been told to stop belongs to a closed port.
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->terminated) return;
        }
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        handOver->ran = true;
        handOver->error = error;
    });
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->changed.wait(lock, [&] { return handOver->finished || shared->terminated; });
    if (!handOver->finished || !handOver->ran) return false;
    if (handOver->error) std::rethrow_exception(handOver->error);
    return true;
}
