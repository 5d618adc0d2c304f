// The window thread and the calls other threads hand to it.
//
// Worker threads (the serial event thread, the DFU engine's threads) never touch window
// state directly: they queue a call for the window thread and, for Synchronize, block until
// it has run there. The message loop of the active back end drains the queue whenever it
// processes messages; the back end installs a wake hook so that a queued call interrupts a
// blocking wait for the next message.
#pragma once

#include <exception>
#include <functional>

namespace ui {

class TWindowThread {
  public:
    // Marks the calling thread as the window thread (done by the application object).
    static void Attach();
    static bool IsCurrent();

    // Runs fn on the window thread and returns when it has returned there. An exception
    // thrown by fn is re-thrown in the caller. Called on the window thread, fn runs at once.
    // Returns false without running fn once the window thread has shut the queue down.
    static bool Synchronize(const std::function<void()>& fn);

    // Queues fn for the window thread without waiting for it (fire and forget).
    static void Post(std::function<void()> fn);

    // Runs every call queued so far, in order. Called by the message loop on the window thread.
    // Returns the number of calls run.
    static int RunPending();

    // Installed by the back end: wakes its message loop after a call was queued.
    static void SetWakeHook(std::function<void()> hook);

    // Ends the queue: pending and later Synchronize calls return false without running,
    // so no worker blocks forever on a window thread that has stopped pumping.
    static void Shutdown();
    // Re-opens the queue (a new application object, as in tests).
    static void Reset();
};

// The standard error display for an exception that escaped an event handler. The
// application object installs the real display; until then the message goes to stderr.
void ShowException(const std::exception& e);
void ShowExceptionMessage(const char* message);
void SetExceptionDisplay(std::function<void(const char* message)> display);

}  // namespace ui
