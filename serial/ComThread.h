// The event thread of an open serial port: waits for the port's events and hands each one
// to the window thread.
//
// Calls handed to the window thread wait until they have run there or until the port stops
// the thread, whichever comes first; a call that reaches the window thread after the stop
// does nothing. This lets the port wait for the thread's end in Close without ever waiting
// for the window thread, which may be the very thread that is closing.
#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "serial/CommApi.h"

class TCustomComPort;

class TComThread {
  public:
    // Creates and starts the thread for port at the port's ThreadPriority; null if the
    // system could not create a thread.
    static TComThread* Create(TCustomComPort* port, int priority);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Sets the stop flag and releases a pending hand-over to the window thread.
    void Terminate();
    bool Terminated() const;
    // Waits until the thread has ended. Never called on the thread itself.
    void WaitFor();
    void SetPriority(int priority);
    TCustomComPort* Port() const { return port_; }
    // The error that ended the thread, if any (kept, never shown).
    std::exception_ptr FatalException() const { return fatalException_; }

    // The TComThread running on the calling thread, or null.
    static TComThread* Current();

    // Called on this thread: runs fn on the window thread and waits for it. Returns true
    // once fn has run there (re-raising fn's error here); false when the thread was told to
    // stop meanwhile or the window thread no longer runs calls.
    bool Synchronize(std::function<void()> fn);

    // Called on this thread by the port after a hand-over was given up: leave the loop.
    void EndLoop() { loopEnded_ = true; }
    // Called on this thread when the port lets go of it from inside a handler run here:
    // the thread deletes itself when it ends.
    void FreeOnEnd() { freeOnEnd_ = true; }

  private:
    struct Shared;
    TComThread(TCustomComPort* port);
    static commapi::DWORD ThreadStart(void* argument);
    void Execute();

    TCustomComPort* const port_;
    std::shared_ptr<Shared> shared_;
    commapi::HANDLE handle_ = nullptr;
    std::exception_ptr fatalException_;  // written by the thread, read after WaitFor
    bool loopEnded_ = false;             // this thread only
    bool freeOnEnd_ = false;             // this thread only
};
