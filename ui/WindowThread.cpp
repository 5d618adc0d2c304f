#include "ui/WindowThread.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace ui {
namespace {

struct QueuedCall {
    std::function<void()> fn;
    bool waited = false;  // a Synchronize caller blocks on this call
    bool done = false;    // guarded by the queue mutex
    bool ran = false;     // fn was run (false: dropped by Shutdown)
    std::exception_ptr error;
};

struct CallQueue {
    std::mutex mutex;
    std::condition_variable doneSignal;
    std::deque<std::shared_ptr<QueuedCall>> calls;
    std::function<void()> wake;
    std::thread::id windowThread;
    bool shutDown = false;
};

// Never destroyed: the application object, a static itself, may still shut the queue down
// while the program exits.
CallQueue& Queue() {
    static CallQueue* queue = new CallQueue;
    return *queue;
}

std::mutex& DisplayMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

std::function<void(const char*)>& Display() {
    static auto* display = new std::function<void(const char*)>;
    return *display;
}

}  // namespace

void TWindowThread::Attach() {
    std::lock_guard<std::mutex> lock(Queue().mutex);
    Queue().windowThread = std::this_thread::get_id();
}

bool TWindowThread::IsCurrent() {
    std::lock_guard<std::mutex> lock(Queue().mutex);
    return Queue().windowThread == std::this_thread::get_id();
}

bool TWindowThread::Synchronize(const std::function<void()>& fn) {
    if (IsCurrent()) {
        fn();
        return true;
    }
    auto call = std::make_shared<QueuedCall>();
    call->fn = fn;
    call->waited = true;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(Queue().mutex);
        if (Queue().shutDown) return false;
        Queue().calls.push_back(call);
        wake = Queue().wake;
    }
    if (wake) wake();
    std::unique_lock<std::mutex> lock(Queue().mutex);
    Queue().doneSignal.wait(lock, [&] { return call->done; });
    // Take the error out: the caller's thread is then the only owner of the exception object,
    // whichever thread drops the queued call last.
    std::exception_ptr error = std::move(call->error);
    call->error = nullptr;
    bool ran = call->ran;
    lock.unlock();
    if (error) std::rethrow_exception(error);
    return ran;
}

void TWindowThread::Post(std::function<void()> fn) {
    auto call = std::make_shared<QueuedCall>();
    call->fn = std::move(fn);
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(Queue().mutex);
        if (Queue().shutDown) return;
        Queue().calls.push_back(call);
        wake = Queue().wake;
    }
    if (wake) wake();
}

int TWindowThread::RunPending() {
    int count = 0;
    for (;;) {
        std::shared_ptr<QueuedCall> call;
        {
            std::lock_guard<std::mutex> lock(Queue().mutex);
            if (Queue().calls.empty()) break;
            call = Queue().calls.front();
            Queue().calls.pop_front();
        }
        std::exception_ptr error;
        try {
            call->fn();
        } catch (...) {
            error = std::current_exception();
        }
        ++count;
        if (!call->waited && error) {
            // Nobody waits for a posted call: its error goes to the standard display (an
            // exception not derived from std::exception with an empty message).
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                ShowException(e);
            } catch (...) {
                ShowExceptionMessage("");
            }
        }
        {
            std::lock_guard<std::mutex> lock(Queue().mutex);
            call->error = std::move(error);
            call->ran = true;
            call->done = true;
        }
        Queue().doneSignal.notify_all();
    }
    return count;
}

void TWindowThread::SetWakeHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(Queue().mutex);
    Queue().wake = std::move(hook);
}

void TWindowThread::Shutdown() {
    std::deque<std::shared_ptr<QueuedCall>> dropped;
    {
        std::lock_guard<std::mutex> lock(Queue().mutex);
        Queue().shutDown = true;
        dropped.swap(Queue().calls);
        for (auto& call : dropped) call->done = true;
    }
    Queue().doneSignal.notify_all();
}

void TWindowThread::Reset() {
    std::lock_guard<std::mutex> lock(Queue().mutex);
    Queue().shutDown = false;
    Queue().calls.clear();
}

void ShowException(const std::exception& e) {
    ShowExceptionMessage(e.what());
}

void ShowExceptionMessage(const char* message) {
    std::function<void(const char*)> display;
    {
        std::lock_guard<std::mutex> lock(DisplayMutex());
        display = Display();
    }
    if (display) {
        display(message);
    } else {
        std::fprintf(stderr, "%s\n", message);
    }
}

void SetExceptionDisplay(std::function<void(const char* message)> display) {
    std::lock_guard<std::mutex> lock(DisplayMutex());
    Display() = std::move(display);
}

}  // namespace ui
